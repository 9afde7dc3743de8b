#include "wav_bytes.h"
#include "wav_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>

namespace {

using namespace tavik::test;
using tavik::WavAudio;

// Decodes from an exact heap copy, so the sanitizer build catches any read
// past the end of the file.
bool decode (const std::string& file, WavAudio& out, std::string& error)
{
	std::unique_ptr<uint8_t[]> exact (new uint8_t[file.empty () ? 1 : file.size ()]);
	if (!file.empty ())
		std::memcpy (exact.get (), file.data (), file.size ());
	return tavik::decodeWav (exact.get (), file.size (), out, error);
}

std::string errorOf (const std::string& file)
{
	WavAudio audio;
	std::string error;
	EXPECT_FALSE (decode (file, audio, error));
	return error;
}

std::vector<float> samplesOf (const std::string& file, double* rate = nullptr)
{
	WavAudio audio;
	std::string error;
	EXPECT_TRUE (decode (file, audio, error)) << error;
	if (rate)
		*rate = audio.sampleRate;
	return audio.samples;
}

std::string float32 (std::initializer_list<float> values)
{
	std::string out;
	for (float v : values)
	{
		uint32_t raw;
		std::memcpy (&raw, &v, sizeof (raw));
		putLe (out, raw, 4);
	}
	return out;
}

std::string pcm24 (std::initializer_list<int> values)
{
	std::string out;
	for (int v : values)
		putLe (out, static_cast<uint32_t> (v), 3);
	return out;
}

TEST (WavDecoder, MonoPcm16KeepsItsValuesAndRate)
{
	double rate = 0;
	const std::vector<float> samples = samplesOf (wav16 ({0, 16384, -32768, 32767, -1}, 1, 44100), &rate);
	EXPECT_EQ (rate, 44100);
	// value / 32768, scaled to 32767 steps and rounded back to 1/32768.
	EXPECT_EQ (samples,
	           (std::vector<float> {0.0f, 16384 / 32768.0f, -32767 / 32768.0f, 32766 / 32768.0f, -1 / 32768.0f}));

	std::string error;
	WavAudio audio;
	EXPECT_TRUE (tavik::decodeWav (bytesOf (wav16 ({5}, 1, 22050)), audio, error));
	EXPECT_EQ (audio.sampleRate, 22050);
	ASSERT_EQ (audio.samples.size (), 1u);
}

TEST (WavDecoder, StereoIsMixedToMonoAndQuantisedTo16BitSteps)
{
	EXPECT_EQ (samplesOf (wav16 ({16384, 0}, 2)), std::vector<float> {0.25f});
	// 0.5 × 32767 lies halfway between two steps: away from zero both ways.
	EXPECT_EQ (samplesOf (wav16 ({16384, 16384, -16384, -16384}, 2)),
	           (std::vector<float> {16384 / 32768.0f, -16384 / 32768.0f}));
	// Left and right cancel; a full-scale pair stays below 1.
	EXPECT_EQ (samplesOf (wav16 ({32767, -32767, 32767, 32767}, 2)), (std::vector<float> {0.0f, 32766 / 32768.0f}));
}

TEST (WavDecoder, Pcm24IsSignedAndFullScaleStopsOneStepShortOfOne)
{
	const std::string file = riffWave (chunk ("fmt ", fmtPayload (1, 1, 96000, 24)) +
	                                   chunk ("data", pcm24 ({0x7FFFFF, -0x800000, 0x400000, -0x400000, 0x000001})));
	double rate = 0;
	EXPECT_EQ (samplesOf (file, &rate),
	           (std::vector<float> {32767 / 32768.0f, -32767 / 32768.0f, 16384 / 32768.0f, -16384 / 32768.0f, 0.0f}));
	EXPECT_EQ (rate, 96000);
}

TEST (WavDecoder, Float32IsQuantisedAndClamped)
{
	const float nan = std::numeric_limits<float>::quiet_NaN ();
	const float inf = std::numeric_limits<float>::infinity ();
	const std::string file = riffWave (chunk ("fmt ", fmtPayload (3, 1, 48000, 32)) +
	                                   chunk ("data", float32 ({0.25f, 1.0f, 2.0f, -2.0f, -inf, inf, nan})));
	EXPECT_EQ (samplesOf (file),
	           (std::vector<float> {0.25f, 32767 / 32768.0f, 32767 / 32768.0f, -1.0f, -1.0f, 32767 / 32768.0f, 0.0f}));
}

TEST (WavDecoder, ExtensibleFormatTakesItsTagFromTheSubFormat)
{
	EXPECT_EQ (samplesOf (riffWave (chunk ("fmt ", extensibleFmtPayload (1, 2, 48000, 16)) +
	                                chunk ("data", pcm16 ({16384, 0})))),
	           std::vector<float> {0.25f});
	EXPECT_EQ (samplesOf (riffWave (chunk ("fmt ", extensibleFmtPayload (3, 1, 48000, 32)) +
	                                chunk ("data", float32 ({-0.25f})))),
	           std::vector<float> {-0.25f});
	// Too short to hold a sub-format: the extensible tag itself is reported.
	std::string shortFmt = fmtPayload (0xFFFE, 1, 48000, 16);
	shortFmt += std::string (22, '\0');
	EXPECT_EQ (errorOf (riffWave (chunk ("fmt ", shortFmt) + chunk ("data", pcm16 ({1})))),
	           "unsupported WAV format tag 65534 / 16-bit");
}

TEST (WavDecoder, RejectsWhatItDoesNotDecodeWithItsMessage)
{
	const std::string data = chunk ("data", std::string (12, '\x01'));
	EXPECT_EQ (errorOf (riffWave (chunk ("fmt ", fmtPayload (1, 1, 48000, 8)) + data)),
	           "unsupported WAV format tag 1 / 8-bit");
	EXPECT_EQ (errorOf (riffWave (chunk ("fmt ", fmtPayload (1, 3, 48000, 16)) + data)), "unsupported channel count 3");
	EXPECT_EQ (errorOf (riffWave (chunk ("fmt ", fmtPayload (1, 1, 48000, 32)) + data)),
	           "unsupported WAV format tag 1 / 32-bit");
	EXPECT_EQ (errorOf (riffWave (chunk ("fmt ", fmtPayload (3, 1, 48000, 16)) + data)),
	           "unsupported WAV format tag 3 / 16-bit");
	EXPECT_EQ (errorOf (riffWave (chunk ("fmt ", fmtPayload (2, 2, 48000, 4)) + data)),
	           "empty or unreadable data chunk");
	// A stereo 16-bit frame needs four bytes.
	EXPECT_EQ (errorOf (riffWave (chunk ("fmt ", fmtPayload (1, 2, 48000, 16)) + chunk ("data", "abc"))),
	           "empty or unreadable data chunk");
	// No format at all reads as zero channels.
	EXPECT_EQ (errorOf (riffWave (chunk ("LIST", std::string (8, 'x')) + data)), "unsupported channel count 0");
	// A format chunk under 16 bytes is not one.
	EXPECT_EQ (errorOf (riffWave (chunk ("fmt ", fmtPayload (1, 1, 48000, 16).substr (0, 14)) + data)),
	           "unsupported channel count 0");
}

TEST (WavDecoder, NeedsRiffWaveAndData)
{
	const std::string valid = wav16 ({1, 2, 3, 4});
	EXPECT_EQ (errorOf (valid.substr (0, 43)), "not a RIFF/WAVE file");
	EXPECT_EQ (errorOf (""), "not a RIFF/WAVE file");
	std::string notRiff = valid;
	notRiff[0] = 'X';
	EXPECT_EQ (errorOf (notRiff), "not a RIFF/WAVE file");
	std::string notWave = valid;
	notWave[11] = 'X';
	EXPECT_EQ (errorOf (notWave), "not a RIFF/WAVE file");

	const std::string fmt = chunk ("fmt ", fmtPayload (1, 1, 48000, 16));
	EXPECT_EQ (errorOf (riffWave (fmt + chunk ("LIST", std::string (20, 'x')))), "no data chunk");
	EXPECT_EQ (errorOf (riffWave (fmt + chunk ("data", "") + chunk ("LIST", std::string (20, 'x')))), "no data chunk");
}

TEST (WavDecoder, SampleRateZeroMeans48000)
{
	double rate = 0;
	samplesOf (wav16 ({1}, 1, 0), &rate);
	EXPECT_EQ (rate, 48000);
}

TEST (WavDecoderChunkWalk, OddChunksArePaddedToEvenOffsets)
{
	// A three-byte chunk and its pad byte before the format: without the pad
	// the walk would land one byte off and find neither chunk.
	const std::string file = riffWave (chunk ("LIST", "abc") + chunk ("fmt ", fmtPayload (1, 1, 48000, 16)) +
	                                   chunk ("junk", "z") + chunk ("data", pcm16 ({16384})));
	EXPECT_EQ (samplesOf (file), std::vector<float> {0.5f});
}

TEST (WavDecoderChunkWalk, ALaterDataChunkReplacesAnEarlierOne)
{
	const std::string file = riffWave (chunk ("data", pcm16 ({1, 2, 3})) +
	                                   chunk ("fmt ", fmtPayload (1, 1, 48000, 16)) + chunk ("data", pcm16 ({16384})));
	EXPECT_EQ (samplesOf (file), std::vector<float> {0.5f});
	// A partial last frame is left out.
	EXPECT_EQ (samplesOf (riffWave (chunk ("fmt ", fmtPayload (1, 1, 48000, 16)) +
	                                chunk ("data", std::string ("\x00\x40\x00", 3)))),
	           std::vector<float> {0.5f});
}

TEST (WavDecoderChunkWalk, DataRunningPastTheEndIsTakenToTheEndOfTheFile)
{
	const std::string fmt = chunk ("fmt ", fmtPayload (1, 1, 48000, 16));
	EXPECT_EQ (samplesOf (riffWave (fmt + chunk ("data", pcm16 ({16384, -16384}), 1000))),
	           (std::vector<float> {0.5f, -0.5f}));
	// Declared sizes of gigabytes on a file of a few dozen bytes.
	EXPECT_EQ (samplesOf (riffWave (fmt + chunk ("data", pcm16 ({16384, 0, 16384}), 0xFFFFFFFF))),
	           (std::vector<float> {0.5f, 0.0f, 0.5f}));
	EXPECT_EQ (samplesOf (riffWave (fmt + chunk ("data", pcm16 ({16384}), 0x80000000))), std::vector<float> {0.5f});
	// Any other chunk that runs past the end stops the walk there.
	EXPECT_EQ (errorOf (riffWave (fmt + chunk ("LIST", "abcd", 0xFFFFFFFF) + chunk ("data", pcm16 ({1})))),
	           "no data chunk");
	EXPECT_EQ (samplesOf (riffWave (fmt + chunk ("data", pcm16 ({16384})) + chunk ("LIST", "abcd", 0xFFFFFFF0))),
	           std::vector<float> {0.5f});
}

TEST (WavDecoderHostileInput, SizesThatWouldWrap32BitArithmeticStopTheWalk)
{
	// At offset 12 a size of 0xFFFFFFF4 brings 12 + 8 + size to 2^32 + 8:
	// arithmetic in 32 bits would jump back to offset 8 and read the header
	// as a chunk forever. 0xFFFFFFFF is odd, so its pad byte wraps too.
	const std::string tail = chunk ("fmt ", fmtPayload (1, 1, 48000, 16)) + chunk ("data", pcm16 ({1, 2}));
	for (const uint32_t size : {0xFFFFFFF4u, 0xFFFFFFF3u, 0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFE0u})
		EXPECT_EQ (errorOf (riffWave (chunk ("junk", "", size) + tail)), "no data chunk") << size;
	// The same sizes on the format chunk leave no format behind.
	for (const uint32_t size : {0xFFFFFFF4u, 0xFFFFFFFFu})
		EXPECT_EQ (
			errorOf (riffWave (chunk ("data", pcm16 ({1, 2})) + chunk ("fmt ", fmtPayload (1, 1, 48000, 16), size))),
			"unsupported channel count 0")
			<< size;
}

TEST (WavDecoderHostileInput, EveryTruncationDecodesAPrefixOrFailsCleanly)
{
	const std::string full = riffWave (chunk ("LIST", "abc") + chunk ("fmt ", fmtPayload (1, 2, 44100, 16)) +
	                                   chunk ("data", pcm16 ({100, 200, -300, 400, 500, -600, 32767, 32767, -5, 7})));
	const std::vector<float> all = samplesOf (full);
	ASSERT_EQ (all.size (), 5u);
	const size_t dataStart = full.size () - 20; // the data chunk's payload
	for (size_t cut = 0; cut < full.size (); ++cut)
	{
		WavAudio audio;
		std::string error;
		const bool decoded = decode (full.substr (0, cut), audio, error);
		const size_t frames = cut > dataStart ? (cut - dataStart) / 4 : 0;
		if (frames == 0)
		{
			EXPECT_FALSE (decoded) << "cut at " << cut;
			EXPECT_FALSE (error.empty ());
			continue;
		}
		ASSERT_TRUE (decoded) << "cut at " << cut << ": " << error;
		EXPECT_EQ (audio.samples, std::vector<float> (all.begin (), all.begin () + frames)) << "cut at " << cut;
	}
}

TEST (WavDecoderHostileInput, LayoutReportsFramesWithoutConverting)
{
	tavik::WavLayout layout;
	std::string error;
	const std::vector<uint8_t> file = bytesOf (wav16 ({1, 2, 3, 4, 5, 6}, 2, 32000));
	ASSERT_TRUE (tavik::readWavLayout (file.data (), file.size (), layout, error));
	EXPECT_EQ (layout.frames, 3u);
	EXPECT_EQ (layout.channels, 2u);
	EXPECT_EQ (layout.sampleRate, 32000);
	std::vector<float> arena {9.0f};
	tavik::appendWavFrames (file.data (), layout, arena);
	EXPECT_EQ (arena.size (), 4u);
	EXPECT_EQ (arena[0], 9.0f); // appended after what was there
}

} // namespace
