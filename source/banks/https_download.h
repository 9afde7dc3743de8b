// Downloading one file over HTTPS into an open file while hashing it. Each
// download has a handle of its own: no cookies, credentials, connection or
// cache are shared with anything else in the host's process, and neither
// the address nor any redirect may leave HTTPS.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace tavik {

struct HttpsDownloadOptions
{
	/** A CA bundle to trust instead of the system's store (tests hand it
	 *  their own). Empty: $SSL_CERT_FILE when set, else the system's store. */
	std::string caFile;
	long connectTimeoutSeconds = 30;
	/** A download that receives nothing for this long has stalled. */
	long stallTimeoutSeconds = 30;
	long totalTimeoutSeconds = 300;
	uint64_t maxBytes = uint64_t (1) << 30;
};

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
