// Test helper: RIFF/WAVE files built chunk by chunk, so tests can write
// exact, odd or broken layouts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tavik::test {

inline void putLe (std::string& out, uint32_t value, int bytes)
{
	for (int i = 0; i < bytes; ++i)
		out.push_back (static_cast<char> ((value >> (8 * i)) & 0xFF));
}

/** One chunk: identifier, declared size (the payload's by default), the
 *  payload and a pad byte after an odd payload. */
inline std::string chunk (const std::string& id, const std::string& payload, int64_t declaredSize = -1)
{
	std::string out = id.substr (0, 4);
	putLe (out, declaredSize < 0 ? static_cast<uint32_t> (payload.size ()) : static_cast<uint32_t> (declaredSize), 4);
	out += payload;
	if (payload.size () % 2)
		out.push_back ('\0');
	return out;
}

/** A 16-byte "fmt " payload. */
inline std::string fmtPayload (uint32_t tag, uint32_t channels, uint32_t rate, uint32_t bits)
{
	std::string out;
	putLe (out, tag, 2);
	putLe (out, channels, 2);
	putLe (out, rate, 4);
	putLe (out, rate * channels * (bits / 8), 4);
	putLe (out, channels * (bits / 8), 2);
	putLe (out, bits, 2);
	return out;
}

/** A 40-byte extensible "fmt " payload whose sub-format names `realTag`. */
inline std::string extensibleFmtPayload (uint32_t realTag, uint32_t channels, uint32_t rate, uint32_t bits)
{
	std::string out = fmtPayload (0xFFFE, channels, rate, bits);
	putLe (out, 22, 2);   // extension size
	putLe (out, bits, 2); // valid bits
	putLe (out, 0, 4);    // channel mask
	putLe (out, realTag, 2);
	out += std::string ("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
	return out;
}

inline std::string pcm16 (std::initializer_list<int> values)
{
	std::string out;
	for (int v : values)
		putLe (out, static_cast<uint32_t> (v), 2);
	return out;
}

inline std::string pcm16 (const std::vector<int>& values)
{
	std::string out;
	for (int v : values)
		putLe (out, static_cast<uint32_t> (v), 2);
	return out;
}

/** "RIFF", the size of the rest, "WAVE" and the chunks as given. */
inline std::string riffWave (const std::string& chunks)
{
	std::string out = "RIFF";
	putLe (out, static_cast<uint32_t> (4 + chunks.size ()), 4);
	return out + "WAVE" + chunks;
}

/** A plain mono or stereo 16-bit file of interleaved `values`. */
inline std::string wav16 (const std::vector<int>& values, uint32_t channels = 1, uint32_t rate = 48000)
{
	return riffWave (chunk ("fmt ", fmtPayload (1, channels, rate, 16)) + chunk ("data", pcm16 (values)));
}

inline std::vector<uint8_t> bytesOf (const std::string& text)
{
	return std::vector<uint8_t> (text.begin (), text.end ());
}

} // namespace tavik::test
