#include "wav_decoder.h"

#include <cmath>
#include <cstring>

namespace tavik {

namespace {

constexpr uint32_t TAG_PCM = 1;
constexpr uint32_t TAG_FLOAT = 3;
constexpr uint32_t TAG_EXTENSIBLE = 0xFFFE;

uint32_t le16 (const uint8_t* p) { return static_cast<uint32_t> (p[0]) | (static_cast<uint32_t> (p[1]) << 8); }

uint32_t le32 (const uint8_t* p) { return le16 (p) | (le16 (p + 2) << 16); }

bool supported (uint32_t tag, uint32_t bits)
{
	return (tag == TAG_PCM && (bits == 16 || bits == 24)) || (tag == TAG_FLOAT && bits == 32);
}

double sampleValue (const uint8_t* p, const WavLayout& layout)
{
	if (layout.formatTag == TAG_FLOAT)
	{
		const uint32_t raw = le32 (p);
		float value;
		std::memcpy (&value, &raw, sizeof (value));
		return value;
	}
	if (layout.bitsPerSample == 16)
		return static_cast<int16_t> (le16 (p)) / 32768.0;
	// 24-bit: sign-extend from the top byte.
	int32_t value = static_cast<int32_t> (le16 (p) | (static_cast<uint32_t> (p[2]) << 16));
	if (value & 0x800000)
		value -= 0x1000000;
	return value / 8388608.0;
}

} // namespace

bool readWavLayout (const uint8_t* bytes, size_t length, WavLayout& layout, std::string& error)
{
	layout = WavLayout ();
	if (length < 44 || std::memcmp (bytes, "RIFF", 4) != 0 || std::memcmp (bytes + 8, "WAVE", 4) != 0)
	{
		error = "not a RIFF/WAVE file";
		return false;
	}

	// Offsets and sizes in 64 bits: a declared size near 2^32 cannot wrap.
	const uint64_t total = length;
	uint32_t tag = 0;
	uint32_t channels = 0;
	uint32_t rate = 0;
	uint32_t bits = 0;
	uint64_t dataOffset = 0;
	uint64_t dataBytes = 0;
	uint64_t pos = 12;
	while (pos + 8 <= total)
	{
		const uint8_t* header = bytes + pos;
		const uint64_t size = le32 (header + 4);
		const uint64_t start = pos + 8;
		const bool isData = std::memcmp (header, "data", 4) == 0;
		if (size > total - start)
		{
			if (isData)
			{
				dataOffset = start;
				dataBytes = total - start;
			}
			break;
		}
		if (isData)
		{
			dataOffset = start;
			dataBytes = size;
		}
		else if (std::memcmp (header, "fmt ", 4) == 0 && size >= 16)
		{
			const uint8_t* fmt = bytes + start;
			tag = le16 (fmt);
			channels = le16 (fmt + 2);
			rate = le32 (fmt + 4);
			bits = le16 (fmt + 14);
			if (tag == TAG_EXTENSIBLE && size >= 40)
				tag = le16 (fmt + 24);
		}
		pos = start + size + (size & 1);
	}

	if (dataBytes == 0)
	{
		error = "no data chunk";
		return false;
	}
	if (channels != 1 && channels != 2)
	{
		error = "unsupported channel count " + std::to_string (channels);
		return false;
	}
	const uint64_t frameBytes = static_cast<uint64_t> (channels) * (bits / 8);
	if (bits < 8 || dataBytes < frameBytes)
	{
		error = "empty or unreadable data chunk";
		return false;
	}
	if (!supported (tag, bits))
	{
		error = "unsupported WAV format tag " + std::to_string (tag) + " / " + std::to_string (bits) + "-bit";
		return false;
	}
	layout.formatTag = tag;
	layout.channels = channels;
	layout.bitsPerSample = bits;
	layout.sampleRate = rate == 0 ? 48000.0 : static_cast<double> (rate);
	layout.dataOffset = dataOffset;
	layout.frames = dataBytes / frameBytes;
	return true;
}

void appendWavFrames (const uint8_t* bytes, const WavLayout& layout, std::vector<float>& out)
{
	const size_t sampleBytes = layout.bitsPerSample / 8;
	const size_t frameBytes = layout.channels * sampleBytes;
	const uint8_t* frame = bytes + layout.dataOffset;
	out.reserve (out.size () + layout.frames);
	for (uint64_t i = 0; i < layout.frames; ++i, frame += frameBytes)
	{
		double sum = 0.0;
		for (uint32_t c = 0; c < layout.channels; ++c)
			sum += sampleValue (frame + c * sampleBytes, layout);
		double steps = std::round (sum / layout.channels * 32767.0); // halves away from zero
		if (std::isnan (steps))
			steps = 0.0; // a float file's NaN plays as silence
		if (steps < -32768.0)
			steps = -32768.0;
		if (steps > 32767.0)
			steps = 32767.0;
		out.push_back (static_cast<float> (steps / 32768.0));
	}
}

bool decodeWav (const uint8_t* bytes, size_t length, WavAudio& out, std::string& error)
{
	WavLayout layout;
	if (!readWavLayout (bytes, length, layout, error))
		return false;
	out.samples.clear ();
	appendWavFrames (bytes, layout, out.samples);
	out.sampleRate = layout.sampleRate;
	return true;
}

bool decodeWav (const std::vector<uint8_t>& bytes, WavAudio& out, std::string& error)
{
	return decodeWav (bytes.data (), bytes.size (), out, error);
}

} // namespace tavik
