// The kernel's rendering against the plain scalar reference, on every vector
// path this CPU offers, for scores that touch every part of the model; and
// the independence of the output from how blocks are cut.

#include "fround.h"
#include "gong_reference.h"
#include "tavik_kernel.h"
#include "instrument.h"
#include "mode_resonators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace tavik::kernel {
double kernelContractionProbe (double a, double b, double c);
}

namespace {

using namespace tavik::kernel;

#define K(name) TAVIK_KERNEL_FN (name)

struct ScoreEvent
{
	long frame;
	int kind; // 1 parameter, 2 note on, 3 note off
	int a;
	double value;
};

struct Score
{
	double rate = 48000;
	long frames = 0;
	std::vector<ScoreEvent> events; // sorted by frame
};

struct Stereo
{
	std::vector<float> left, right;
	bool operator== (const Stereo& o) const
	{
		return left.size () == o.left.size () &&
		       std::memcmp (left.data (), o.left.data (), left.size () * sizeof (float)) == 0 &&
		       std::memcmp (right.data (), o.right.data (), right.size () * sizeof (float)) == 0;
	}
};

// A seeded score that walks through models, mallets and every setting, with
// more notes than voices, retriggers, releases and decays.
Score randomScore (uint32_t seed, double rate, double seconds)
{
	std::mt19937 random (seed);
	auto uniform = [&] (double lo, double hi) { return std::uniform_real_distribution<double> (lo, hi) (random); };
	static const double lo[26] = {0, 0.5,  0.1,  0.05, 0, 0,  0, 0, 0,  0, 0.1, 0, 0,
	                              0, 0.05, 0.02, 55,   0, -1, 0, 0, -1, 0, 0.1, 0, 0.01};
	static const double hi[26] = {5, 2, 3, 4, 1, 1, 1, 3, 1, 1, 3, 1, 2, 8, 15, 4, 440, 1, 1, 1, 1, 1, 1, 2.5, 1, 1};
	Score score;
	score.rate = rate;
	score.frames = static_cast<long> (seconds * rate);
	long frame = 0;
	std::vector<int> held;
	while (true)
	{
		frame += static_cast<long> (uniform (0, 0.35) * rate);
		if (frame >= score.frames)
			break;
		const double pick = uniform (0, 1);
		if (pick < 0.35)
		{
			const int index = static_cast<int> (uniform (0, 26));
			double value = uniform (lo[index], hi[index]);
			if (index == 0 || index == 7)
				value = std::floor (value + 0.5);
			if (index == 14 && uniform (0, 1) < 0.5)
				value = uniform (0.05, 3); // decaying envelopes half the time
			score.events.push_back ({frame, 1, index, value});
			if (uniform (0, 1) < 0.3)
			{
				const int note = static_cast<int> (uniform (30, 90));
				score.events.push_back ({frame, 2, note, uniform (0, 1)});
				held.push_back (note);
			}
		}
		else if (pick < 0.8)
		{
			const int note =
				held.empty () || uniform (0, 1) < 0.8 ? static_cast<int> (uniform (24, 100)) : held[held.size () / 2];
			score.events.push_back ({frame, 2, note, uniform (0, 1)});
			held.push_back (note);
		}
		else if (!held.empty ())
		{
			const size_t at = static_cast<size_t> (uniform (0, static_cast<double> (held.size ())));
			score.events.push_back ({frame, 3, held[at], 0});
			held.erase (held.begin () + static_cast<long> (at));
		}
	}
	return score;
}

// Renders a score through the library, cutting it into chunks of `chunk`.
Stereo renderKernel (const Score& score, uint32_t chunk)
{
	EXPECT_EQ (K (runtime_init) (), 0);
	const uint32_t h = static_cast<uint32_t> (K (create) (128, 0, 2, score.rate));
	EXPECT_NE (h, 0u);
	float* out = nullptr;
	uint32_t length = 0;
	K (output_view) (h, &out, &length);
	Stereo result;
	size_t next = 0;
	for (long start = 0; start < score.frames; start += chunk)
	{
		const uint32_t frames = static_cast<uint32_t> (std::min<long> (chunk, score.frames - start));
		for (; next < score.events.size () && score.events[next].frame < start + frames; ++next)
		{
			const ScoreEvent& e = score.events[next];
			EXPECT_EQ (K (push_event) (h, e.kind, static_cast<uint32_t> (e.frame - start), e.a, e.value), 0);
		}
		EXPECT_EQ (K (process) (h, frames), 0);
		result.left.insert (result.left.end (), out, out + frames);
		result.right.insert (result.right.end (), out + 128, out + 128 + frames);
	}
	K (destroy) (h);
	return result;
}

Stereo renderReference (const Score& score)
{
	tavik::test::RefInstrument ref (score.rate);
	// The library applies the parameter defaults at creation (plain values).
	Stereo result;
	result.left.resize (static_cast<size_t> (score.frames));
	result.right.resize (static_cast<size_t> (score.frames));
	size_t next = 0;
	for (long start = 0; start < score.frames; start += 128)
	{
		const int frames = static_cast<int> (std::min<long> (128, score.frames - start));
		for (; next < score.events.size () && score.events[next].frame < start + frames; ++next)
		{
			const ScoreEvent& e = score.events[next];
			ref.pushEvent (e.kind, static_cast<int> (e.frame - start), e.a, e.value);
		}
		ref.processBlock (frames, &result.left[static_cast<size_t> (start)],
		                  &result.right[static_cast<size_t> (start)]);
	}
	return result;
}

size_t firstDifference (const Stereo& a, const Stereo& b)
{
	for (size_t i = 0; i < a.left.size () && i < b.left.size (); ++i)
		if (std::memcmp (&a.left[i], &b.left[i], sizeof (float)) != 0 ||
		    std::memcmp (&a.right[i], &b.right[i], sizeof (float)) != 0)
			return i;
	return a.left.size () == b.left.size () ? SIZE_MAX : std::min (a.left.size (), b.left.size ());
}

bool audible (const Stereo& s)
{
	for (float x : s.left)
		if (std::fabs (x) > 1e-4f)
			return true;
	return false;
}

class PathGuard
{
public:
	PathGuard () : saved (currentSimdPath ()) {}
	~PathGuard () { setSimdPath (saved); }

private:
	SimdPath saved;
};

TEST (KernelRendering, EveryVectorPathMatchesTheScalarReference)
{
	PathGuard guard;
	struct Case
	{
		uint32_t seed;
		double rate;
		double seconds;
	};
	const Case cases[] = {{1, 48000, 4}, {2, 44100, 3}, {3, 96000, 2}, {4, 22050, 3}, {5, 48000, 3}};
	for (const Case& c : cases)
	{
		const Score score = randomScore (c.seed, c.rate, c.seconds);
		const Stereo reference = renderReference (score);
		ASSERT_TRUE (audible (reference)) << "seed " << c.seed;
		for (int p = 0; p < SIMD_PATH_COUNT; ++p)
		{
			const auto path = static_cast<SimdPath> (p);
			if (!setSimdPath (path))
				continue;
			const Stereo kernel = renderKernel (score, 128);
			const size_t diff = firstDifference (kernel, reference);
			EXPECT_EQ (diff, SIZE_MAX) << simdPathName (path) << " seed " << c.seed << " rate " << c.rate
									   << ": first difference at frame " << diff;
		}
	}
}

TEST (KernelRendering, OutputDoesNotDependOnHowBlocksAreCut)
{
	const Score score = randomScore (7, 48000, 2.5);
	const Stereo whole = renderKernel (score, 128);
	ASSERT_TRUE (audible (whole));
	for (const uint32_t chunk : {1u, 7u, 64u, 100u})
		EXPECT_EQ (firstDifference (renderKernel (score, chunk), whole), SIZE_MAX) << "chunk " << chunk;
}

TEST (KernelRendering, FullPolyphonyOnEveryModelAndMallet)
{
	PathGuard guard;
	for (int model = 0; model < 6; ++model)
	{
		Score score;
		score.frames = 48000;
		score.events.push_back ({0, 1, 0, static_cast<double> (model)});
		score.events.push_back ({0, 1, 7, static_cast<double> (model % 4)});
		for (int v = 0; v < 7; ++v)
			score.events.push_back ({v * 300L, 2, 40 + 5 * v, 0.3 + 0.1 * v});
		score.events.push_back ({30000, 3, 45, 0});
		const Stereo reference = renderReference (score);
		for (int p = 0; p < SIMD_PATH_COUNT; ++p)
		{
			if (!setSimdPath (static_cast<SimdPath> (p)))
				continue;
			EXPECT_EQ (firstDifference (renderKernel (score, 128), reference), SIZE_MAX)
				<< "model " << model << " path " << simdPathName (static_cast<SimdPath> (p));
		}
	}
}

bool isSingle (double v) { return static_cast<double> (static_cast<float> (v)) == v || std::isnan (v); }

// Every value the model keeps in single precision must be exactly a float
// while the bank renders (a dropped rounding would show here first).
TEST (KernelRendering, SinglePrecisionFieldsHoldFloats)
{
	auto state = createState ();
	PrepareContext context;
	context.maxBlockSize = 128;
	context.outputChannels = 2;
	context.sampleRate = 48000;
	ASSERT_TRUE (prepare (*state, context));
	const Score score = randomScore (11, 48000, 3);
	std::vector<float> out (256);
	ProcessBlock block;
	block.capacity = 128;
	block.outputChannels = 2;
	block.outputView = out.data ();
	block.outputLength = out.size ();
	size_t next = 0;
	for (long start = 0; start < score.frames; start += 128)
	{
		for (; next < score.events.size () && score.events[next].frame < start + 128; ++next)
		{
			const ScoreEvent& e = score.events[next];
			const double value = static_cast<float> (e.value);
			if (e.kind == 1)
				ASSERT_TRUE (applyParameter (*state, e.a, value));
			else
				ASSERT_TRUE (handleEvent (*state, e.kind, e.a, value));
		}
		block.frames = 128;
		ASSERT_TRUE (process (*state, block));
		const GongVoiceBank& b = *state->bank;
		for (int v = 0; v < MAX_VOICES; ++v)
		{
			for (const double x : {b.gain[v], b.normGain[v], b.bloomLevel[v], b.bloomCoef[v], b.glideEnv[v],
			                       b.glideCoef[v], b.exciterPole[v], b.noiseState[v], b.releaseStep[v]})
				ASSERT_TRUE (isSingle (x)) << "voice " << v << " value " << x;
			for (int m = 0; m < MAX_MODES; ++m)
			{
				ASSERT_TRUE (isSingle (b.modeRadius[modeIndex (v, m)]));
				ASSERT_TRUE (isSingle (b.directWeight[m][laneOf (v, 0)]));
				ASSERT_TRUE (isSingle (b.bloomWeight[m][laneOf (v, 0)]));
			}
		}
		for (int i = 0; i < 128; ++i)
			ASSERT_TRUE (isSingle (state->mixLeft[i]) && isSingle (state->mixRight[i])) << i;
		ASSERT_TRUE (isSingle (state->mixScratch[0]) && isSingle (state->mixScratch[1]));
	}
}

// The kernel build must keep products and sums separately rounded even
// where the instruction set could fuse them.
TEST (KernelBuild, NothingIsFusedIntoMultiplyAdd)
{
	if (!simdPathSupported (SimdPath::Avx512))
		GTEST_SKIP () << "no AVX-512 on this CPU: the probe is compiled for it";
	const double a = 1 + std::ldexp (1.0, -30);
	const double b = 1 - std::ldexp (1.0, -30);
	EXPECT_EQ (kernelContractionProbe (a, b, -1), 0.0); // fused: −2^−60
}

} // namespace
