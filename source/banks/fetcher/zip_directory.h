// What a zip archive's central directory says of its entries: each name
// with the Unix file type its archiver recorded. The archive reader that
// unpacks a bank reads an entry recorded as a pipe as a regular file (an
// archiver that reads from a pipe may store its bytes under the pipe's own
// mode), so the unpacker finds pipes here, in the directory itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavik {

struct ZipDirectoryEntry
{
	std::string name;      // as stored, not converted
	uint32_t unixType = 0; // the S_IFMT bits; 0 when not made on Unix
};

/** The first `maxEntries` entries of the central directory of the zip
 *  archive open on `fd`, in directory order (zip64 directories included),
 *  up to the first damaged record. Empty when no central directory is
 *  found: the archive reader then judges the archive on its own. */
std::vector<ZipDirectoryEntry> readZipDirectory (int fd, uint32_t maxEntries);

} // namespace tavik
