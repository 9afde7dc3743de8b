// The limits and trust of a hosted bank fetch: the download's time and size
// limits, the unpacking's, and the helper program that does both. The
// plug-in hands them to the helper; the helper's download and unpacking
// keep to them.
#pragma once

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

struct ZipUnpackLimits
{
	uint64_t maxBytes = uint64_t (2) << 30; // every file's unpacked bytes together
	uint32_t maxEntries = 10000;            // files, folders and links
};

struct HostedFetchOptions
{
	HttpsDownloadOptions download;
	ZipUnpackLimits unpack;
	/** The download helper program; empty: "zorv-bank-fetch" beside the
	 *  module (tests name the one they built). */
	std::string helperPath;
	/** How long past the download's time limit a helper may take to check,
	 *  unpack and move the bank before it is killed as hung. */
	long helperMarginSeconds = 300;
};

} // namespace tavik
