// Downloading a hosted bank: the archive is fetched over HTTPS into a
// staging folder while it is hashed, checked against its pin, unpacked
// there and its bank moved into the cache in one rename. This is the code
// that reads bytes from the internet: it runs in the download helper
// (zorv-bank-fetch), never in the host's process; the tests and the
// benchmark also run it in their own.
#pragma once

#include "hosted_bank_fetch.h"
#include "hosted_bank_staging.h"

#include <atomic>
#include <string>

namespace tavik {

/** Downloads, checks, unpacks and caches the bank of a plan inside
 *  `staging`, a fresh folder beside the target that the caller made and
 *  holds. Parses the address in full first. Blocks for up to the
 *  download's time limit, plus the unpacking. Removes the staging folder
 *  whatever happens: a failure leaves no partial bank behind. */
bool downloadHostedBankInto (const HostedFetchPlan& plan, const std::string& staging, const HostedFetchOptions& options,
                             std::string& bankDirectory, std::string& error, const std::atomic<bool>* cancel);

/** The same in a staging folder of its own, after removing the staging
 *  folders nobody holds. */
bool downloadHostedBank (const HostedFetchPlan& plan, const HostedFetchOptions& options, std::string& bankDirectory,
                         std::string& error, const std::atomic<bool>* cancel);

/** Both steps, the quick checks and the download: true with the bank's
 *  cache folder, or false with the reason. Both outputs are cleared first. */
bool fetchHostedBank (const std::string& url, const std::string& digest, std::string& bankDirectory, std::string& error,
                      const HostedFetchOptions& options = HostedFetchOptions (),
                      const std::atomic<bool>* cancel = nullptr);

} // namespace tavik
