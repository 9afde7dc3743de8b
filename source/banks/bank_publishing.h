// Loading a bank and handing it to the kernel engine, from a load request
// or from a restored state's bank reference, and describing the published
// bank for the state document.
#pragma once

#include "kernel_engine.h"
#include "state_document.h"

#include <string>

namespace tavik {

/** Why a loaded bank did not reach the kernel: it has no room for samples. */
constexpr const char* ENGINE_REFUSED_BANK_MESSAGE = "the engine refused the staged bank (arena capacity)";

/** Loads the bank (no arena limit) and publishes it to the engine; failures
 *  are recorded on the engine. Returns the bank reply text. */
std::string loadAndPublishRuntimeBank (KernelEngine& engine, const std::string& directory, const std::string& source,
                                       const std::string& instrument);

/** The folder a restored bank reference points at: its locator, or for a
 *  hosted bank with a pinned digest the cache folder named after it. Empty
 *  when the reference names no loadable bank (absent, no locator, or
 *  "embedded"). */
std::string recalledBankDirectory (const BankStateRef& ref);

/** Loads and publishes the bank a restored state names. True on success,
 *  with the reference's source, locator, digest and instrument in the
 *  outputs; otherwise the outputs are cleared. */
bool recallRuntimeBankFromChunk (KernelEngine& engine, const StateChunk& chunk, std::string& directory,
                                 std::string& source, std::string& digest, std::string& instrument);

/** The state document's bank reference for the engine's published bank.
 *  The texts point into the engine's bank and the given strings, which must
 *  outlive `out`. False when no bank is published or `source` is empty. */
bool fillBankStateRef (const KernelEngine& engine, const std::string& source, const std::string& locator,
                       const std::string& presetId, BankStateRefOut& out);

} // namespace tavik
