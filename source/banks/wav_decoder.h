// RIFF/WAVE decoding into mono audio quantised to 16-bit steps: PCM 16 and
// 24 bit and IEEE float 32 bit, one or two channels. Bank files come from
// elsewhere, so every size in the file is distrusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavik {

struct WavAudio
{
	std::vector<float> samples; // mono
	double sampleRate = 48000;
};

/** Where a file's sample data lies and how it is laid out, as found by the
 *  chunk walk; `frames` is at least 1 and the format is one decodeWav
 *  supports. */
struct WavLayout
{
	uint32_t formatTag = 0;
	uint32_t channels = 0;
	uint32_t bitsPerSample = 0;
	double sampleRate = 48000;
	uint64_t dataOffset = 0;
	uint64_t frames = 0;
};

/** Walks the chunks and checks the format without converting anything.
 *  False with the error text when decodeWav would fail. */
bool readWavLayout (const uint8_t* bytes, size_t length, WavLayout& layout, std::string& error);

/** Appends the layout's frames, mixed to mono and quantised, to `out`.
 *  `bytes` is the file readWavLayout accepted for this layout. */
void appendWavFrames (const uint8_t* bytes, const WavLayout& layout, std::vector<float>& out);

/** True with the audio in `out`; false with the error text otherwise. */
bool decodeWav (const uint8_t* bytes, size_t length, WavAudio& out, std::string& error);
bool decodeWav (const std::vector<uint8_t>& bytes, WavAudio& out, std::string& error);

} // namespace tavik
