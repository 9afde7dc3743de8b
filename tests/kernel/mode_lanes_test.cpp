// The packed resonator renderer at every vector width, against a plain
// per-resonator loop written from the model's formulas. The renderer body
// is compiled here for this file's baseline instruction set, so the 16-lane
// form the AVX-512 path uses is checked on any CPU (wider vectors are split
// by the compiler, with the same lane arithmetic).

#include "mode_resonators_impl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

namespace {

using namespace tavik::kernel;

struct Inputs
{
	int frames = 0;
	bool moving = false;
	bool steady = false;
	uint8_t exciting[MAX_SEGMENT_FRAMES] = {};
	double excite[MAX_SEGMENT_FRAMES][VOICE_LANES] = {};
};

struct Result
{
	float sums[MAX_SEGMENT_FRAMES][MAX_VECTOR_LANES] = {};
	float stateRe[PACKED_LANES] = {};
	float stateIm[PACKED_LANES] = {};
	double bloomLevel[MAX_CHAINS] = {};
};

// A bank with `voices` sounding voices among six and random resonators.
void randomLanes (std::mt19937& random, int voices, int modes, PackedModes& lanes)
{
	GongVoiceBank bank;
	std::uniform_real_distribution<float> unit (-1, 1);
	for (int m = 0; m < MAX_MODES; ++m)
		for (int lane = 0; lane < PARTIAL_LANES; ++lane)
		{
			const float radius = 0.9f + 0.0999f * (unit (random) + 1) / 2;
			const float angle = 3.1f * unit (random);
			bank.coefCos[m][lane] = radius * std::cos (angle);
			bank.coefSin[m][lane] = radius * std::sin (angle);
			bank.partialGain[m][lane] = unit (random);
			bank.stateRe[m][lane] = random () % 4 == 0 ? -0.0f : unit (random);
			bank.stateIm[m][lane] = unit (random);
			bank.directWeight[m][lane] = static_cast<float> (1 - 0.3 * (unit (random) + 1) / 2);
			bank.bloomWeight[m][lane] = m == 0 ? 0 : static_cast<float> (0.3 * (unit (random) + 1) / 2);
		}
	for (int v = 0; v < BANK_VOICES; ++v)
	{
		bank.bloomLevel[v] = static_cast<float> ((unit (random) + 1) / 2);
		bank.bloomCoef[v] = static_cast<float> ((unit (random) + 1) / 2000);
	}
	bool sounding[BANK_VOICES] = {};
	for (int placed = 0; placed < voices;)
	{
		const int v = static_cast<int> (random () % BANK_VOICES);
		if (!sounding[v])
		{
			sounding[v] = true;
			++placed;
		}
	}
	packModes (bank, sounding, modes, lanes);
}

void randomInputs (std::mt19937& random, int frames, bool moving, bool steady, Inputs& in)
{
	std::uniform_real_distribution<double> unit (0, 1);
	in.frames = frames;
	in.moving = moving;
	in.steady = steady;
	const int excited = static_cast<int> (random () % (frames + 1));
	for (int f = 0; f < frames; ++f)
	{
		in.exciting[f] = f < excited;
		for (int v = 0; v < VOICE_LANES; ++v)
			in.excite[f][v] = f < excited && random () % 3 != 0 ? unit (random) - 0.5 : 0.0;
	}
}

// The model's formulas, one resonator and one frame at a time. A steady run
// weighs with the levels it starts from.
Result reference (PackedModes lanes, const Inputs& in)
{
	Result out;
	double level[MAX_CHAINS];
	std::memcpy (level, lanes.bloomLevel, sizeof level);
	for (int f = 0; f < in.frames; ++f)
	{
		if (in.moving)
			for (int chain = 0; chain < lanes.chains; ++chain)
				level[chain] = static_cast<float> (level[chain] + (1 - level[chain]) * lanes.bloomCoef[chain]);
		float sums[MAX_CHAINS] = {};
		for (int m = 0; m < lanes.modes; ++m)
			for (int chain = 0; chain < lanes.chains; ++chain)
			{
				const int r = m * lanes.chains + chain;
				const int v = lanes.voiceOfChain[chain];
				const float re = lanes.stateRe[r];
				const float x =
					in.exciting[f] ? static_cast<float> (static_cast<double> (re) + in.excite[f][v]) : re + 0.0f;
				const float y = lanes.stateIm[r];
				lanes.stateRe[r] = lanes.coefCos[r] * x - y * lanes.coefSin[r];
				lanes.stateIm[r] = y * lanes.coefCos[r] + lanes.coefSin[r] * x;
				const float p = lanes.stateIm[r] * lanes.gain[r];
				const double b = in.steady ? lanes.bloomLevel[chain] : level[chain];
				const double weight = lanes.directWeight[r] + lanes.bloomWeight[r] * b;
				sums[chain] = sums[chain] + static_cast<float> (static_cast<double> (p) * weight);
			}
		std::memcpy (out.sums[f], sums, sizeof sums);
	}
	std::memcpy (out.stateRe, lanes.stateRe, sizeof out.stateRe);
	std::memcpy (out.stateIm, lanes.stateIm, sizeof out.stateIm);
	std::memcpy (out.bloomLevel, level, sizeof level);
	return out;
}

template <int W>
Result rendered (PackedModes lanes, Inputs& in)
{
	auto tile = std::make_unique<ModeTile> ();
	// Whatever the tile held before must not matter.
	std::memset (tile.get (), 0xff, sizeof (ModeTile));
	Result out;
	std::memset (out.sums, 0xff, sizeof out.sums); // every chain's sum must be written
	const ModeBlock block {&lanes, tile.get (), in.frames, in.moving, in.steady, in.exciting, in.excite, out.sums};
	renderModeBlockLanes<W> (block);
	std::memcpy (out.stateRe, lanes.stateRe, sizeof out.stateRe);
	std::memcpy (out.stateIm, lanes.stateIm, sizeof out.stateIm);
	std::memcpy (out.bloomLevel, lanes.bloomLevel, sizeof out.bloomLevel);
	return out;
}

bool sameBits (const Result& a, const Result& b, const PackedModes& lanes, int frames, std::string& where)
{
	for (int f = 0; f < frames; ++f)
		for (int chain = 0; chain < lanes.chains; ++chain)
			if (std::memcmp (&a.sums[f][chain], &b.sums[f][chain], sizeof (float)) != 0)
			{
				where = "sum of chain " + std::to_string (chain) + " at frame " + std::to_string (f);
				return false;
			}
	for (int chain = 0; chain < lanes.chains; ++chain)
		if (std::memcmp (&a.bloomLevel[chain], &b.bloomLevel[chain], sizeof (double)) != 0)
		{
			where = "bloom level of chain " + std::to_string (chain);
			return false;
		}
	for (int r = 0; r < lanes.resonators; ++r)
		if (std::memcmp (&a.stateRe[r], &b.stateRe[r], sizeof (float)) != 0 ||
		    std::memcmp (&a.stateIm[r], &b.stateIm[r], sizeof (float)) != 0)
		{
			where = "state of resonator " + std::to_string (r);
			return false;
		}
	return true;
}

TEST (PackedModeLanes, EveryWidthMatchesTheFormulasForEveryVoiceCountModeCountAndRun)
{
	std::mt19937 random (5);
	auto lanes = std::make_unique<PackedModes> ();
	auto in = std::make_unique<Inputs> ();
	int cases = 0;
	for (int voices = 1; voices <= BANK_VOICES; ++voices)
		for (const int modes : {0, 1, 5, 8, 10, 12})
			for (const int frames : {1, 17, 32, 33, 100, 128})
				for (const int bloom : {0, 1, 2})
				{
					// Levels that hold, levels that move, moving levels the weights ignore.
					const bool moving = bloom != 0;
					const bool steady = bloom != 1;
					randomLanes (random, voices, modes, *lanes);
					randomInputs (random, frames, moving, steady, *in);
					ASSERT_EQ (lanes->chains, 2 * voices);
					ASSERT_EQ (lanes->resonators, 2 * voices * modes);
					const Result expected = reference (*lanes, *in);
					std::string where;
					const std::string label = std::to_string (voices) + " voices, " + std::to_string (modes) +
					                          " modes, " + std::to_string (frames) + " frames" + ", bloom case " +
					                          std::to_string (bloom) + ": ";
					EXPECT_TRUE (sameBits (rendered<4> (*lanes, *in), expected, *lanes, frames, where))
						<< label << "4 lanes, " << where;
					EXPECT_TRUE (sameBits (rendered<8> (*lanes, *in), expected, *lanes, frames, where))
						<< label << "8 lanes, " << where;
					EXPECT_TRUE (sameBits (rendered<16> (*lanes, *in), expected, *lanes, frames, where))
						<< label << "16 lanes, " << where;
					++cases;
				}
	EXPECT_EQ (cases, 864);
}

TEST (PackedModeLanes, StatesAndLevelsGoBackToTheBankLayoutAndSilentVoicesStayOut)
{
	GongVoiceBank bank;
	for (int v = 0; v < BANK_VOICES; ++v)
		bank.bloomLevel[v] = 0.125 * v;
	for (int m = 0; m < MAX_MODES; ++m)
		for (int lane = 0; lane < PARTIAL_LANES; ++lane)
		{
			bank.stateRe[m][lane] = static_cast<float> (100 * m + lane);
			bank.stateIm[m][lane] = static_cast<float> (-100 * m - lane);
			bank.bloomWeight[m][lane] = 0;
		}
	const bool sounding[BANK_VOICES] = {false, true, false, false, true, false, false, false};
	auto lanes = std::make_unique<PackedModes> ();
	packModes (bank, sounding, 3, *lanes);
	ASSERT_EQ (lanes->chains, 4);
	ASSERT_EQ (lanes->resonators, 12);
	EXPECT_EQ (lanes->voiceOfChain[0], 1);
	EXPECT_EQ (lanes->voiceOfChain[2], 4);
	// Lane r = mode × chains + chain; chains are voice 1's sides, then voice 4's.
	EXPECT_EQ (lanes->stateRe[1 * 4 + 3], bank.stateRe[1][laneOf (4, 1)]);
	EXPECT_EQ (lanes->stateIm[2 * 4 + 0], bank.stateIm[2][laneOf (1, 0)]);
	EXPECT_EQ (lanes->coefCos[12], 0.0f); // spare lanes at rest
	EXPECT_TRUE (bloomWeightsZero (*lanes));
	lanes->bloomWeight[5] = 0.25;
	EXPECT_FALSE (bloomWeightsZero (*lanes));

	const GongVoiceBank before = bank;
	for (int r = 0; r < lanes->resonators; ++r)
	{
		lanes->stateRe[r] = static_cast<float> (-1 - r);
		lanes->stateIm[r] = static_cast<float> (1 + r);
	}
	lanes->bloomLevel[0] = 0.25;
	lanes->bloomLevel[2] = 0.5;
	unpackModeStates (*lanes, bank);
	for (int v = 0; v < BANK_VOICES; ++v)
		EXPECT_EQ (bank.bloomLevel[v], v == 1 ? 0.25 : v == 4 ? 0.5 : before.bloomLevel[v]) << "voice " << v;
	for (int m = 0; m < MAX_MODES; ++m)
		for (int v = 0; v < BANK_VOICES; ++v)
			for (int side = 0; side < 2; ++side)
			{
				const int lane = laneOf (v, side);
				const int chain = v == 1 ? side : v == 4 ? 2 + side : -1;
				if (chain >= 0 && m < 3)
				{
					EXPECT_EQ (bank.stateRe[m][lane], static_cast<float> (-1 - (m * 4 + chain)));
					EXPECT_EQ (bank.stateIm[m][lane], static_cast<float> (1 + m * 4 + chain));
				}
				else
				{
					EXPECT_EQ (bank.stateRe[m][lane], before.stateRe[m][lane]) << "mode " << m << " voice " << v;
					EXPECT_EQ (bank.stateIm[m][lane], before.stateIm[m][lane]);
				}
			}
}

} // namespace
