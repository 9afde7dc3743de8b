// Loads a sample bank directory: verifies the manifest's assets, picks one
// instrument or kit, reads its zones and decodes their WAV files into one
// mono arena. Runs on the thread that handles the load request, never on
// the audio thread. A bank comes from elsewhere: every failure, hostile
// input included, ends as one outcome and one message; every file it names,
// bank.json included, must still lie inside the bank directory once
// symbolic links are followed; and the limits below keep a hostile bank
// from exhausting the host.
#pragma once

#include "runtime_bank_outcome.h"
#include "staged_bank.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavik {

struct RuntimeBankLoad
{
	uint32_t outcome = RUNTIME_BANK_MISSING; // a RuntimeBankOutcome
	StagedBank bank;
	std::string message; // empty on success
};

/** What one load may read and build. Going past a limit is "bank-too-large",
 *  except for a bank.json above documentBytes ("bank-malformed": no real
 *  manifest comes near it), a document over documentValues (it fails to
 *  parse, with its step's "not a JSON object" message) and preset documents
 *  past their shared budget (those presets are dropped, as any unusable
 *  preset is). */
struct RuntimeBankLimits
{
	uint64_t documentBytes = uint64_t (16) << 20;       // bank.json, the instrument, one preset
	size_t documentValues = 250000;                     // JSON values in one document
	uint64_t presetDocumentBytes = uint64_t (16) << 20; // all preset documents together
	uint64_t assetBytes = uint64_t (256) << 20;         // one asset file
	uint64_t allAssetBytes = uint64_t (512) << 20;      // every asset file read
	uint64_t arenaFrames = uint64_t (1) << 27;          // even when no maximum is asked for
};

/** Loads the bank in `directory`, which must be an absolute path (an empty
 *  or relative one is "bank-missing": the host's working directory is no
 *  bank's home). `maxArenaFrames` 0 asks for no limit of
 *  the caller's own (the built-in arena limit still holds); an empty
 *  `requestedInstrument` takes the first instrument or kit with a document. */
RuntimeBankLoad loadRuntimeBank (const std::string& directory, uint64_t maxArenaFrames,
                                 const std::string& requestedInstrument);
RuntimeBankLoad loadRuntimeBank (const std::string& directory, uint64_t maxArenaFrames,
                                 const std::string& requestedInstrument, const RuntimeBankLimits& limits);

} // namespace tavik
