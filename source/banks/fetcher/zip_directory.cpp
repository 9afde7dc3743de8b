#include "zip_directory.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tavik {

namespace {

constexpr uint32_t END_SIGNATURE = 0x06054b50;
constexpr uint32_t ZIP64_LOCATOR_SIGNATURE = 0x07064b50;
constexpr uint32_t ZIP64_END_SIGNATURE = 0x06064b50;
constexpr uint32_t ENTRY_SIGNATURE = 0x02014b50;
constexpr size_t END_SIZE = 22;
constexpr size_t ZIP64_LOCATOR_SIZE = 20;
constexpr size_t ZIP64_END_SIZE = 56;
constexpr size_t ENTRY_SIZE = 46;
constexpr size_t MAX_COMMENT = 0xFFFF;
constexpr uint8_t MADE_ON_UNIX = 3;

uint16_t le16 (const uint8_t* p) { return static_cast<uint16_t> (p[0] | (p[1] << 8)); }
uint32_t le32 (const uint8_t* p) { return le16 (p) | (static_cast<uint32_t> (le16 (p + 2)) << 16); }
uint64_t le64 (const uint8_t* p) { return le32 (p) | (static_cast<uint64_t> (le32 (p + 4)) << 32); }

bool readAt (int fd, uint64_t offset, uint8_t* out, size_t size)
{
	for (size_t done = 0; done < size;)
	{
		const ssize_t n = ::pread (fd, out + done, size - done, static_cast<off_t> (offset + done));
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		done += static_cast<size_t> (n);
	}
	return true;
}

// The central directory lies just before its end record, and a zip64
// end record just before the zip64 locator that precedes the end record.
// The last end record in the archive's tail counts: an archive stored
// inside the archive has one of its own further up.
bool findDirectory (int fd, uint64_t fileSize, uint64_t& start, uint64_t& size)
{
	if (fileSize < END_SIZE)
		return false;
	const size_t tailSize = static_cast<size_t> (std::min<uint64_t> (fileSize, END_SIZE + MAX_COMMENT));
	const uint64_t tailStart = fileSize - tailSize;
	std::vector<uint8_t> tail (tailSize);
	if (!readAt (fd, tailStart, tail.data (), tailSize))
		return false;
	for (size_t i = tailSize - END_SIZE + 1; i-- > 0;)
	{
		const uint8_t* end = tail.data () + i;
		if (le32 (end) != END_SIGNATURE)
			continue;
		const uint64_t endOffset = tailStart + i;
		uint64_t directoryEnd = endOffset;
		uint64_t directorySize = le32 (end + 12);
		if (le16 (end + 10) == 0xFFFF || le32 (end + 12) == 0xFFFFFFFFu || le32 (end + 16) == 0xFFFFFFFFu)
		{
			uint8_t locator[ZIP64_LOCATOR_SIZE], record[ZIP64_END_SIZE];
			const uint64_t locatorOffset = endOffset - ZIP64_LOCATOR_SIZE;
			if (endOffset < ZIP64_LOCATOR_SIZE + ZIP64_END_SIZE ||
			    !readAt (fd, locatorOffset, locator, sizeof locator) || le32 (locator) != ZIP64_LOCATOR_SIGNATURE)
				return false;
			directoryEnd = le64 (locator + 8);
			if (directoryEnd > locatorOffset - ZIP64_END_SIZE || !readAt (fd, directoryEnd, record, sizeof record) ||
			    le32 (record) != ZIP64_END_SIGNATURE)
				return false;
			directorySize = le64 (record + 40);
		}
		if (directorySize > directoryEnd)
			return false;
		start = directoryEnd - directorySize;
		size = directorySize;
		return true;
	}
	return false;
}

} // namespace

std::vector<ZipDirectoryEntry> readZipDirectory (int fd, uint32_t maxEntries)
{
	std::vector<ZipDirectoryEntry> entries;
	struct stat info;
	uint64_t offset = 0, size = 0;
	if (::fstat (fd, &info) != 0 || info.st_size < 0 ||
	    !findDirectory (fd, static_cast<uint64_t> (info.st_size), offset, size))
		return entries;
	const uint64_t end = offset + size;
	while (entries.size () < maxEntries && end - offset >= ENTRY_SIZE)
	{
		uint8_t record[ENTRY_SIZE];
		if (!readAt (fd, offset, record, sizeof record) || le32 (record) != ENTRY_SIGNATURE)
			break;
		const size_t nameLength = le16 (record + 28);
		const uint64_t length = ENTRY_SIZE + nameLength + le16 (record + 30) + le16 (record + 32);
		if (length > end - offset)
			break;
		ZipDirectoryEntry entry;
		entry.name.resize (nameLength);
		if (!readAt (fd, offset + ENTRY_SIZE, reinterpret_cast<uint8_t*> (entry.name.data ()), nameLength))
			break;
		if (record[5] == MADE_ON_UNIX)
			entry.unixType = (le32 (record + 38) >> 16) & S_IFMT;
		entries.push_back (std::move (entry));
		offset += length;
	}
	return entries;
}

} // namespace tavik
