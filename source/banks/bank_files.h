// Reading a bank's files whole and taking their SHA-256 digests. A bank's
// files come from elsewhere: only regular files are read (a FIFO would hang
// the reader, a device would never end) and never more than a set size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavik {

enum class FileRead
{
	Read,
	Unreadable, // missing, not a regular file, or an I/O error
	TooLarge,   // a regular file above the byte limit, left unread
};

/** Reads the regular file at `path` into `out` when it holds at most
 *  `maxBytes` bytes. `fileSize` receives the size found (0 when the file
 *  could not be examined). On failure `out` is left unchanged. */
FileRead readBoundedFile (const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& out, uint64_t& fileSize);

/** True when the whole regular file was read into `out` (binary); on failure
 *  `out` is unchanged. The second form refuses files above `maxBytes`. */
bool readWholeFile (const std::string& path, std::vector<uint8_t>& out);
bool readWholeFile (const std::string& path, std::vector<uint8_t>& out, uint64_t maxBytes);

/** 64 lowercase hexadecimal digits of the SHA-256 digest of the bytes. */
std::string sha256Hex (const uint8_t* bytes, size_t length);

/** A byte limit as messages give it: "16 MiB", or "1000-byte". */
std::string byteLimitText (uint64_t bytes);

} // namespace tavik
