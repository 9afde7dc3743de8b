// Test helper: zip archives written byte by byte, so the tests can make the
// hostile ones no archiver would (absolute names, ".." components, links
// out, devices) and a small archive that unpacks to a lot (deflate, zlib).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tavik::test {

struct ZipEntry
{
	std::string name;
	std::string data;        // file contents, or a link's target
	uint32_t mode = 0100644; // the Unix file type and permissions
	bool deflate = false;

	static ZipEntry file (const std::string& name, const std::string& data) { return {name, data, 0100644, false}; }
	static ZipEntry folder (const std::string& name) { return {name, "", 040755, false}; }
	static ZipEntry link (const std::string& name, const std::string& target) { return {name, target, 0120777, false}; }
};

namespace zipdetail {

inline void put16 (std::string& out, uint32_t v)
{
	out.push_back (static_cast<char> (v & 0xFF));
	out.push_back (static_cast<char> ((v >> 8) & 0xFF));
}

inline void put32 (std::string& out, uint32_t v)
{
	put16 (out, v & 0xFFFF);
	put16 (out, v >> 16);
}

inline std::string rawDeflate (const std::string& data)
{
	z_stream z {};
	deflateInit2 (&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
	std::string out (deflateBound (&z, static_cast<uLong> (data.size ())), '\0');
	z.next_in = reinterpret_cast<Bytef*> (const_cast<char*> (data.data ()));
	z.avail_in = static_cast<uInt> (data.size ());
	z.next_out = reinterpret_cast<Bytef*> (out.data ());
	z.avail_out = static_cast<uInt> (out.size ());
	deflate (&z, Z_FINISH);
	out.resize (z.total_out);
	deflateEnd (&z);
	return out;
}

} // namespace zipdetail

/** A zip archive of the entries, in order, made by a Unix archiver (so the
 *  modes say what each entry is); `zip64` ends it with the zip64 end records
 *  that archivers write for large archives, or always. */
inline std::string zipBytes (const std::vector<ZipEntry>& entries, bool zip64 = false)
{
	using namespace zipdetail;
	std::string out, central;
	for (const ZipEntry& e : entries)
	{
		const uint32_t crc = static_cast<uint32_t> (
			crc32 (0, reinterpret_cast<const Bytef*> (e.data.data ()), static_cast<uInt> (e.data.size ())));
		const std::string stored = e.deflate ? rawDeflate (e.data) : e.data;
		const uint32_t method = e.deflate ? 8 : 0;
		const uint32_t offset = static_cast<uint32_t> (out.size ());
		put32 (out, 0x04034b50);
		put16 (out, 20);
		put16 (out, 0x0800); // names are UTF-8
		put16 (out, method);
		put16 (out, 0);
		put16 (out, 0x21);
		put32 (out, crc);
		put32 (out, static_cast<uint32_t> (stored.size ()));
		put32 (out, static_cast<uint32_t> (e.data.size ()));
		put16 (out, static_cast<uint32_t> (e.name.size ()));
		put16 (out, 0);
		out += e.name;
		out += stored;

		put32 (central, 0x02014b50);
		put16 (central, (3u << 8) | 20); // made on Unix
		put16 (central, 20);
		put16 (central, 0x0800);
		put16 (central, method);
		put16 (central, 0);
		put16 (central, 0x21);
		put32 (central, crc);
		put32 (central, static_cast<uint32_t> (stored.size ()));
		put32 (central, static_cast<uint32_t> (e.data.size ()));
		put16 (central, static_cast<uint32_t> (e.name.size ()));
		put16 (central, 0);
		put16 (central, 0);
		put16 (central, 0);
		put16 (central, 0);
		put32 (central, e.mode << 16 | ((e.mode & 0170000) == 040000 ? 0x10 : 0));
		put32 (central, offset);
		central += e.name;
	}
	const uint32_t centralOffset = static_cast<uint32_t> (out.size ());
	out += central;
	const uint32_t count = static_cast<uint32_t> (entries.size ());
	if (zip64)
	{
		const uint32_t recordOffset = static_cast<uint32_t> (out.size ());
		put32 (out, 0x06064b50);
		put32 (out, 44); // the record's size after this field, in 64 bits
		put32 (out, 0);
		put16 (out, (3u << 8) | 45);
		put16 (out, 45);
		put32 (out, 0);
		put32 (out, 0);
		for (const uint32_t value : {count, count, static_cast<uint32_t> (central.size ()), centralOffset})
		{
			put32 (out, value);
			put32 (out, 0);
		}
		put32 (out, 0x07064b50);
		put32 (out, 0);
		put32 (out, recordOffset);
		put32 (out, 0);
		put32 (out, 1);
	}
	put32 (out, 0x06054b50);
	put16 (out, 0);
	put16 (out, 0);
	put16 (out, zip64 ? 0xFFFF : count);
	put16 (out, zip64 ? 0xFFFF : count);
	put32 (out, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t> (central.size ()));
	put32 (out, zip64 ? 0xFFFFFFFFu : centralOffset);
	put16 (out, 0);
	return out;
}

} // namespace tavik::test
