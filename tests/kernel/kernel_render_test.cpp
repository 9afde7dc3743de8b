// The kernel's rendering against the plain scalar reference, on every vector
// path this CPU offers, for scores that touch every part of the model; and
// the independence of the output from how blocks are cut.

#include "fround.h"
#include "gong_reference.h"
#include "tavik_kernel.h"
#include "instrument.h"
#include "mode_resonators.h"
#include "parameter_table.h"

#include <gtest/gtest.h>

#include <algorithm>
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
		// A roll that steals faster than stolen voices fade: the third steal
		// takes over a fade voice that is still sounding.
		for (int k = 0; k < 5; ++k)
			score.events.push_back ({12000 + k * 150L, 2, 60 + k, 0.9});
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
		for (int v = 0; v < BANK_VOICES; ++v)
		{
			for (const double x :
			     {b.gain[v], b.normGain[v], b.bloomLevel[v], b.bloomCoef[v], b.glideEnv[v], b.glideCoef[v],
			      b.exciterPole[v], b.noiseState[v], b.releaseStep[v], b.gainRampFrom[v]})
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

// Clicks: the largest sample step (either channel) in [from, to).
double largestStep (const Stereo& s, long from, long to)
{
	double most = 0;
	for (long i = std::max (from, 1L); i < to && i < static_cast<long> (s.left.size ()); ++i)
	{
		const size_t k = static_cast<size_t> (i);
		most = std::max (
			{most, std::fabs (double (s.left[k]) - s.left[k - 1]), std::fabs (double (s.right[k]) - s.right[k - 1])});
	}
	return most;
}

// How far a change at `at` steps beyond the sound's own steps: the largest
// step in the 60 ms after it over the largest of the 100 ms before it and of
// the 100 ms after the change has settled. 0 when nothing sounds at all.
double stepRatio (const Stereo& s, double rate, long at)
{
	const long settle = static_cast<long> (0.06 * rate), window = static_cast<long> (0.1 * rate);
	const double after = largestStep (s, at, at + settle);
	const double own = std::max (largestStep (s, at - window, at), largestStep (s, at + settle, at + settle + window));
	return after == 0 ? 0 : own == 0 ? INFINITY : after / own;
}

const tavik::tavik_param_desc& parameterRow (int index) { return tavik::TAVIK_PARAMS[index]; }

// Every parameter, changed while a gong rings: a jump to its minimum, to its
// maximum and back, and a sweep from minimum to maximum over half a second
// with a point every 16 frames, step no further than the sound itself does.
// (Most settings only shape the next strike; level and decay act at once.)
TEST (KernelClicks, NoParameterChangeStepsBeyondTheSound)
{
	struct Rate
	{
		double rate;
		bool everyParameter;
	};
	for (const Rate r : {Rate {48000, true}, Rate {22050, false}, Rate {192000, false}})
		for (int p = 0; p < TAVIK_KERNEL_PARAMETER_COUNT; ++p)
		{
			if (!r.everyParameter && p != 14 && p != 17)
				continue;
			const tavik::tavik_param_desc& row = parameterRow (p);
			const auto at = [&] (double seconds) { return static_cast<long> (seconds * r.rate); };
			Score jumps;
			jumps.rate = r.rate;
			jumps.frames = at (1.0);
			jumps.events.push_back ({0, 2, 45, 0.9});
			for (const auto& [t, value] : {std::pair {0.4, row.min}, {0.6, row.max}, {0.8, row.min}})
				jumps.events.push_back ({at (t), 1, p, value});
			const Stereo jumped = renderKernel (jumps, 128);
			if (p == 14 || p == 17) // the ramps run per frame: blocks cut anywhere give the same sound
			{
				EXPECT_TRUE (renderKernel (jumps, 37) == jumped) << row.path << ", " << r.rate << " Hz";
			}
			for (const double t : {0.4, 0.6, 0.8})
				EXPECT_LE (stepRatio (jumped, r.rate, at (t)), 1.0)
					<< row.path << " at " << t << " s, " << r.rate << " Hz";

			Score sweep;
			sweep.rate = r.rate;
			sweep.frames = at (1.2);
			sweep.events.push_back ({0, 2, 45, 0.9});
			sweep.events.push_back ({at (0.3), 1, p, row.min});
			for (long f = at (0.3) + 16; f < at (0.8); f += 16)
				sweep.events.push_back (
					{f, 1, p, row.min + (row.max - row.min) * (f - at (0.3)) / (at (0.8) - at (0.3))});
			sweep.events.push_back ({at (0.8), 1, p, row.max});
			const Stereo swept = renderKernel (sweep, 128);
			const double own =
				std::max (largestStep (swept, at (0.2), at (0.3)), largestStep (swept, at (0.8), at (0.9)));
			const double during = largestStep (swept, at (0.3), at (0.8));
			EXPECT_TRUE (during == 0 || during <= own)
				<< row.path << " sweep: " << during << " against " << own << ", " << r.rate << " Hz";
		}
}

// A seventh note while six gongs ring steals the oldest voice: its sound
// fades beside the new strike, so the steal steps no further than the
// passage without it and the new strike's own onset would together.
TEST (KernelClicks, AStolenVoiceFadesInsteadOfStopping)
{
	for (const double rate : {22050.0, 48000.0, 192000.0})
		for (const double velocity : {0.05, 0.9})
		{
			const auto at = [&] (double seconds) { return static_cast<long> (seconds * rate); };
			Score ringing;
			ringing.rate = rate;
			ringing.frames = at (1.0);
			for (int v = 0; v < 6; ++v)
				ringing.events.push_back ({at (0.1 * v), 2, 36 + 7 * v, 0.9});
			Score stolen = ringing;
			stolen.events.push_back ({at (0.8), 2, 50, velocity});
			Score alone;
			alone.rate = rate;
			alone.frames = ringing.frames;
			alone.events.push_back ({at (0.8), 2, 50, velocity});
			const long window = at (0.02);
			const double passage = largestStep (renderKernel (ringing, 128), at (0.8), at (0.8) + window);
			const double onset = largestStep (renderKernel (alone, 128), at (0.8), at (0.8) + window);
			const double steal = largestStep (renderKernel (stolen, 128), at (0.8), at (0.8) + window);
			EXPECT_LE (steal, passage + onset)
				<< "velocity " << velocity << ", " << rate << " Hz: passage " << passage << ", onset " << onset;
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
