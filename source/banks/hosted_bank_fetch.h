// Hosted banks: a zip archive on a web server, pinned by the SHA-256 digest
// of the archive. A bank is downloaded once, checked against its pin,
// unpacked and moved into the bank cache under its digest; from then on it
// loads from there like a folder bank, without any network access.
#pragma once

#include "https_download.h"
#include "zip_unpacker.h"

#include <atomic>
#include <string>

namespace tavik {

struct HostedFetchOptions
{
	HttpsDownloadOptions download;
	ZipUnpackLimits unpack;
};

/** What the quick checks found, before any network access. */
enum class HostedFetchStart
{
	Cached,   // the bank is in the cache: `bankDirectory` is set
	Failed,   // `error` says why
	Download, // the bank must be downloaded into `target`
};

struct HostedFetchPlan
{
	std::string url;
	std::string digest;
	std::string target; // the cache folder the bank will have
};

/** Checks the pin (64 lowercase hex digits), finds the cache and, when the bank is not
 *  cached yet, the address (which must be https). Touches no network. */
HostedFetchStart prepareHostedFetch (const std::string& url, const std::string& digest, HostedFetchPlan& plan,
                                     std::string& bankDirectory, std::string& error);

/** Downloads, checks, unpacks and caches the bank of a plan. Blocks for up
 *  to the download's time limit. A failure leaves neither a staging folder
 *  nor a partial bank behind. */
bool downloadHostedBank (const HostedFetchPlan& plan, const HostedFetchOptions& options, std::string& bankDirectory,
                         std::string& error, const std::atomic<bool>* cancel);

/** Both steps: true with the bank's cache folder, or false with the reason.
 *  Both outputs are cleared first. */
bool fetchHostedBank (const std::string& url, const std::string& digest, std::string& bankDirectory, std::string& error,
                      const HostedFetchOptions& options = HostedFetchOptions (),
                      const std::atomic<bool>* cancel = nullptr);

} // namespace tavik
