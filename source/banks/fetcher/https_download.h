// Downloading one file over HTTPS into an open file while hashing it. Each
// download has a handle of its own: no cookies, credentials, connection or
// cache are shared with any other download, and neither the address nor
// any redirect may leave HTTPS. It runs in the download helper, never in
// the host's process.
#pragma once

#include "hosted_fetch_options.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace tavik {

struct HttpsDownload
{
	bool ok = false;
	std::string error;  // why it failed, for the user
	std::string sha256; // of the body, 64 lowercase hex digits, when ok
	uint64_t bytes = 0; // body bytes written
};

/** The address's scheme in lower case; false when the address cannot be
 *  parsed as a URL. */
bool urlScheme (const std::string& url, std::string& scheme);

/** Fetches `url` and writes the body of a 200 answer to `fd`. `cancel`,
 *  when given, stops the download within about a second of being set. */
HttpsDownload downloadToFile (const std::string& url, int fd, const HttpsDownloadOptions& options,
                              const std::atomic<bool>* cancel);

} // namespace tavik
