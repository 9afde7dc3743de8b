// Hosted banks: a zip archive on a web server, pinned by the SHA-256 digest
// of the archive. A bank is downloaded once, checked against its pin,
// unpacked and moved into the bank cache under its digest; from then on it
// loads from there like a folder bank, without any network access. The
// quick checks here run in the plug-in; the download itself runs in the
// download helper (fetcher/hosted_bank_download.h, HostedFetchWorker).
#pragma once

#include "hosted_fetch_options.h"

#include <string>

namespace tavik {

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

/** Checks the pin (64 lowercase hex digits), finds the cache and, when the
 *  bank is not cached yet, takes a first look at the address (which must
 *  be https; the download parses it in full before it goes out and refuses
 *  it in the same words). Touches no network. */
HostedFetchStart prepareHostedFetch (const std::string& url, const std::string& digest, HostedFetchPlan& plan,
                                     std::string& bankDirectory, std::string& error);

} // namespace tavik
