// The gong model's building blocks: settings, strike, exciter, envelope,
// release and the instrument module's voice handling.

#include "fround.h"
#include "gong_render.h"
#include "gong_voice_bank.h"
#include "instrument.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

using namespace tavik::kernel;

std::unique_ptr<InstrumentState> preparedState (double rate = 48000)
{
	auto state = createState ();
	PrepareContext context;
	context.maxBlockSize = 128;
	context.outputChannels = 2;
	context.sampleRate = rate;
	EXPECT_TRUE (prepare (*state, context));
	return state;
}

float lane (const float (&field)[MAX_MODES][PARTIAL_LANES], int voice, int mode, int side)
{
	return field[mode][laneOf (voice, side)];
}

TEST (GongSettings, ClampAndRound)
{
	auto bank = initGongVoice (48000);
	setGongParam (*bank, 0, 2.5);
	EXPECT_EQ (bank->instrument, 3);
	setGongParam (*bank, 0, 7.9);
	EXPECT_EQ (bank->instrument, 5);
	setGongParam (*bank, 0, -3);
	EXPECT_EQ (bank->instrument, 0);
	setGongParam (*bank, 7, 0.5);
	EXPECT_EQ (bank->mallet, 1);
	setGongParam (*bank, 16, 1000);
	EXPECT_EQ (bank->baseFreq, 440);
	setGongParam (*bank, 14, 0);
	EXPECT_EQ (bank->ampDecay, 0.05);
	setGongParam (*bank, 21, -2);
	EXPECT_EQ (bank->radiation, -1);
	setGongParam (*bank, 23, 0.3);
	EXPECT_EQ (bank->glideTime, 0.3);
	const GongVoiceBank before = *bank;
	setGongParam (*bank, 24, 1);
	setGongParam (*bank, -1, 1);
	EXPECT_EQ (std::memcmp (&before, bank.get (), sizeof (GongVoiceBank)), 0);
}

TEST (GongSettings, NewBankStartsFree)
{
	auto bank = initGongVoice (44100);
	EXPECT_EQ (bank->sampleRate, 44100);
	for (int v = 0; v < MAX_VOICES; ++v)
	{
		EXPECT_EQ (bank->note[v], -1);
		EXPECT_EQ (bank->rngState[v], 1);
		EXPECT_EQ (bank->hardness[v], 0.5);
		EXPECT_EQ (bank->normGain[v], 1);
	}
	for (int n = 0; n < MAX_VOICES * MAX_MODES; ++n)
		EXPECT_EQ (modeWeightAt (bank->directWeight, n), 1);
	EXPECT_EQ (bank->glideTime, 0.85);
	EXPECT_EQ (bank->ampDecay, 15);
}

// A Tam-Tam strike recomputed by hand from the recipe tables.
TEST (GongStrike, TamTamModesFromTheTables)
{
	auto bank = initGongVoice (48000);
	const double f = 110, vel = 0.8;
	gongStrike (*bank, 2, 45, f, vel);
	const double rate = 48000;
	// Mode 3: ratio (194.4 / 90)^1, hz = ratio × f; decay = (90/110)^0.2 × 0.18.
	const int n = modeIndex (2, 3);
	EXPECT_DOUBLE_EQ (bank->lowHz[n], 194.4 / 90 * 110);
	EXPECT_EQ (bank->lowHz[n], bank->highHz[n]); // no ombak on the Tam-Tam
	const double decay = std::pow (90.0 / 110, 0.2) * 0.18;
	EXPECT_EQ (bank->modeRadius[n], static_cast<float> (std::exp (-decay / rate)));
	// Mode 11 of 12: s = 1; amp = single(0.35) (below 1000 Hz), tone = 0.8^(2·0.6).
	const double hz11 = 640.8 / 90 * 110;
	const double shape11 = std::sin (12 * 0.5 * M_PI * 0.15);
	const double tone11 = std::pow (0.8, 1.2);
	const double soft11 = std::pow (1 - 0.75 * 1.0, 1.0); // Yarn
	const double g11 = static_cast<float> (
		soft11 * static_cast<float> (static_cast<float> (0.35) * (0.02 + 0.98 * std::fabs (shape11)) * tone11));
	const double d = -0.5 * 0.4; // odd mode: the second partial is louder
	EXPECT_EQ (lane (bank->partialGain, 2, 11, 0), static_cast<float> ((1 + d) * g11));
	EXPECT_EQ (lane (bank->partialGain, 2, 11, 1), static_cast<float> ((1 - d) * g11));
	EXPECT_DOUBLE_EQ (bank->lowHz[modeIndex (2, 11)], hz11);
	// Bloom share of mode 11: 0.7 × 1 × 0.64 × 1^1.5 × 0.85.
	EXPECT_EQ (modeWeightAt (bank->bloomWeight, modeIndex (2, 11)), static_cast<float> (0.7 * 1 * 0.8 * 0.8 * 0.85));
	EXPECT_EQ (modeWeightAt (bank->bloomWeight, modeIndex (2, 0)), 0);
	// Strike gain 0.18 × 0.64 with the pitch factor 1 at the base frequency.
	EXPECT_EQ (bank->gain[2], static_cast<float> (0.18 * static_cast<float> (0.8 * 0.8)));
	EXPECT_EQ (bank->modeCount[2], 12);
	EXPECT_EQ (bank->serial[2], 1);
	EXPECT_EQ (bank->tailFrames[2], 12 * rate);
	EXPECT_EQ (bank->fadeStart[2], 12 * rate - 2400);
	// Hardness 0.12 + 0.1 × 0.6 × 0.6; exciter (0.014 − 0.0115 h) s at the base pitch.
	const double h = 0.12 + (0.8 - 0.7) * 0.6 * 0.6;
	EXPECT_DOUBLE_EQ (bank->hardness[2], h);
	EXPECT_EQ (bank->exciterLength[2], std::floor ((0.014 - 0.0115 * h) * rate));
	EXPECT_DOUBLE_EQ (bank->glideOffset[2], 0.7 * 0.35 * 0.008 * 0.65 * 0.64);
	EXPECT_EQ (bank->glideEnv[2], 1);
}

TEST (GongStrike, ModelsShapeTheModeSet)
{
	auto bank = initGongVoice (48000);
	setGongParam (*bank, 0, 3); // Xiaoluo: 6 modes
	gongStrike (*bank, 0, 60, 261.6, 0.7);
	for (int m = 6; m < MAX_MODES; ++m)
	{
		EXPECT_EQ (lane (bank->partialGain, 0, m, 0), 0);
		EXPECT_EQ (bank->modeRadius[modeIndex (0, m)], 0);
		EXPECT_EQ (bank->lowHz[modeIndex (0, m)], 0);
		EXPECT_EQ (modeWeightAt (bank->directWeight, modeIndex (0, m)), 1);
	}

	setGongParam (*bank, 0, 4); // Gong Ageng: ombak splits the partials
	gongStrike (*bank, 1, 45, 110, 0.7);
	for (int m = 0; m < 10; ++m)
	{
		const int n = modeIndex (1, m);
		EXPECT_NEAR (bank->highHz[n] - bank->lowHz[n], 2.5, 1e-9);
		EXPECT_EQ (lane (bank->partialGain, 1, m, 0), lane (bank->partialGain, 1, m, 1));
	}

	setGongParam (*bank, 0, 0);
	setGongParam (*bank, 4, 0); // no width: equal partial gains
	gongStrike (*bank, 2, 45, 110, 0.7);
	for (int m = 0; m < 12; ++m)
		EXPECT_EQ (lane (bank->partialGain, 2, m, 0), lane (bank->partialGain, 2, m, 1));

	gongStrike (*bank, 3, 45, 110, 0); // velocity 0: silent, no glide
	EXPECT_EQ (bank->gain[3], 0);
	EXPECT_EQ (bank->glideEnv[3], 0);
}

TEST (GongStrike, SeedsAndLifeTimes)
{
	auto bank = initGongVoice (48000);
	gongStrike (*bank, 0, 60, 261.6, 0.7);
	const double first = bank->rngState[0];
	gongStrike (*bank, 0, 60, 261.6, 0.7);
	EXPECT_NE (bank->rngState[0], first);
	EXPECT_EQ (bank->rngState[0], std::fmod (60 * 40503.0 + 2 * 2246822519.0, 4294967296.0));

	setGongParam (*bank, 14, 0.05);
	gongStrike (*bank, 1, 60, 261.6, 0.7);
	EXPECT_EQ (bank->tailFrames[1], std::floor (0.1 * 48000));
	setGongParam (*bank, 14, 12);
	gongStrike (*bank, 1, 60, 261.6, 0.7);
	EXPECT_EQ (bank->tailFrames[1], 12 * 48000);
}

TEST (GongRender, NoiseGeneratorSequence)
{
	auto state = preparedState ();
	GongVoiceBank& bank = *state->bank;
	gongStrike (bank, 0, 45, 110, 0.8);
	bank.rngState[0] = 1;
	double left[3], right[3];
	renderBankFrames (bank, *state->scratch, 1, left, right);
	EXPECT_EQ (bank.rngState[0], 270369);
	renderBankFrames (bank, *state->scratch, 1, left, right);
	EXPECT_EQ (bank.rngState[0], 67634689);
	renderBankFrames (bank, *state->scratch, 1, left, right);
	EXPECT_EQ (bank.rngState[0], 2647435461.0);
}

TEST (GongRender, ExciterPlaysItsLengthThenRests)
{
	auto state = preparedState ();
	GongVoiceBank& bank = *state->bank;
	setGongParam (bank, 8, 0); // no noise: the pulse alone
	gongStrike (bank, 0, 45, 110, 0.8);
	const double length = bank.exciterLength[0];
	double left[128], right[128];
	int rendered = 0;
	while (rendered < length + 5)
	{
		renderBankFrames (bank, *state->scratch, 1, left, right);
		const bool excitedThisFrame = state->scratch->exciting[0] != 0;
		EXPECT_EQ (excitedThisFrame, rendered < length) << rendered;
		if (excitedThisFrame)
		{
			EXPECT_GT (state->scratch->excite[0][laneOf (0, 0)], 0) << rendered;
		}
		++rendered;
	}
	EXPECT_EQ (bank.exciterRemaining[0], 0);
	EXPECT_NE (bank.noiseState[0], 0); // the noise still ran, only its gain was 0
}

TEST (GongRender, DecayEnvelopeAndEnd)
{
	auto state = preparedState ();
	GongVoiceBank& bank = *state->bank;
	setGongParam (bank, 14, 1); // amp.decay 1 s
	gongStrike (bank, 0, 45, 110, 0.5);
	double left[128], right[128];
	for (int frames = 0; frames < 24000; frames += 128)
		renderBankFrames (bank, *state->scratch, std::min (128, 24000 - frames), left, right);
	renderBankFrames (bank, *state->scratch, 1, left, right); // age 24000
	EXPECT_EQ (bank.gain[0], static_cast<float> (std::exp (-6.9078 * 0.5) * 0.18 * static_cast<float> (0.25)));
	// The last fifth fades linearly towards 0 at age 48000 (R = 1); that
	// same frame the 0.05 s closing fade begins from the last tiny gain, and
	// the voice is gone at its life of 1.05 s.
	for (int frames = 24001; frames < 48000; frames += 128)
		renderBankFrames (bank, *state->scratch, std::min (128, 48000 - frames), left, right);
	EXPECT_EQ (bank.age[0], 48000);
	EXPECT_GT (bank.gain[0], 0);
	EXPECT_LT (bank.gain[0], 1e-7);
	EXPECT_EQ (bank.releaseFrames[0], 2400);
	while (bank.note[0] >= 0)
		renderBankFrames (bank, *state->scratch, 128, left, right);
	EXPECT_EQ (bank.age[0], std::floor (1.05 * 48000));
}

TEST (GongRender, OpenDecayHoldsTheStrikeGainUntilTheClosingFade)
{
	auto state = preparedState ();
	GongVoiceBank& bank = *state->bank;
	setGongParam (bank, 0, 3); // Xiaoluo: 2.5 s life
	gongStrike (bank, 0, 45, 110, 0.9);
	const double strikeGain = bank.gain[0];
	double left[128], right[128];
	while (bank.age[0] < bank.fadeStart[0] - 1)
		renderBankFrames (bank, *state->scratch,
		                  static_cast<int> (std::min (128.0, bank.fadeStart[0] - 1 - bank.age[0])), left, right);
	EXPECT_EQ (bank.gain[0], strikeGain);
	EXPECT_EQ (bank.released[0], 0);
	renderBankFrames (bank, *state->scratch, 1, left, right);
	EXPECT_EQ (bank.released[0], 1); // the 0.05 s closing fade began
	EXPECT_EQ (bank.releaseFrames[0], 2400);
	while (bank.note[0] >= 0)
		renderBankFrames (bank, *state->scratch, 128, left, right);
	EXPECT_EQ (bank.age[0], 2.5 * 48000);
}

TEST (GongGlide, UpdatesStopOnceSettled)
{
	auto bank = initGongVoice (48000);
	gongStrike (*bank, 0, 45, 110, 1);
	const float before = lane (bank->coefSin, 0, 0, 0);
	gongGlideQuantum (*bank, 0);
	EXPECT_LT (lane (bank->coefSin, 0, 0, 0), before); // pitch falls towards the target
	EXPECT_LT (bank->glideEnv[0], 1);
	bank->glideEnv[0] = 0.000001 / bank->glideOffset[0]; // exactly settled
	const double env = bank->glideEnv[0];
	gongGlideQuantum (*bank, 0);
	EXPECT_EQ (bank->glideEnv[0], env);
	gongGlideQuantum (*bank, 9); // ignored
}

TEST (GongRelease, FadeLengthsAndTails)
{
	auto bank = initGongVoice (48000);
	const GongVoiceBank pristine = *bank;
	gongReleaseVoice (*bank, 0, 0.6); // free voice: nothing happens
	EXPECT_EQ (std::memcmp (&pristine, bank.get (), sizeof (GongVoiceBank)), 0);

	gongStrike (*bank, 0, 45, 110, 0.8);
	gongReleaseVoice (*bank, 0, 0.02);
	EXPECT_EQ (bank->releaseFrames[0], 960);
	EXPECT_EQ (bank->releaseStep[0], static_cast<float> (bank->gain[0] / 960));
	EXPECT_EQ (bank->active[0], 0);
	EXPECT_EQ (bank->released[0], 1);
	gongStrike (*bank, 1, 45, 110, 0.8);
	gongReleaseVoice (*bank, 1, 0.001);
	EXPECT_EQ (bank->releaseFrames[1], std::floor (0.005 * 48000));

	gongStrike (*bank, 2, 45, 110, 0.8);
	bank->age[2] = bank->tailFrames[2] - 100;
	const double tail = bank->tailFrames[2];
	gongReleaseVoice (*bank, 2, 0.6);
	EXPECT_EQ (bank->tailFrames[2], tail); // only ever shortened

	gongFreeVoice (*bank, 0);
	EXPECT_EQ (bank->note[0], -1);
	for (int m = 0; m < MAX_MODES; ++m)
		EXPECT_EQ (lane (bank->partialGain, 0, m, 0), 0);
}

TEST (InstrumentModule, PrepareAndParameterRefusals)
{
	auto state = createState ();
	PrepareContext context;
	context.outputChannels = 2;
	context.sampleRate = 48000;
	for (const double block : {64.0, 256.0, 0.0})
	{
		context.maxBlockSize = block;
		EXPECT_FALSE (prepare (*state, context));
	}
	context.maxBlockSize = 128;
	context.sampleRate = std::numeric_limits<double>::infinity ();
	EXPECT_FALSE (prepare (*state, context));
	float out[256] = {};
	ProcessBlock block;
	block.capacity = 128;
	block.frames = 1;
	block.outputChannels = 2;
	block.outputView = out;
	block.outputLength = 256;
	EXPECT_FALSE (process (*state, block)); // never prepared

	auto ready = preparedState ();
	EXPECT_FALSE (setParameter (*ready, "ir.bogus", 1));
	EXPECT_FALSE (setParameter (*ready, "ir.size", std::nan ("")));
	EXPECT_FALSE (applyParameter (*ready, 26, 1));
	EXPECT_FALSE (applyParameter (*ready, -1, 1));
	EXPECT_TRUE (applyParameter (*ready, 1, 7));
	EXPECT_EQ (ready->bank->size, 2);
	EXPECT_TRUE (applyParameter (*ready, 25, 3));
	EXPECT_EQ (ready->performanceVelocity, 1);
}

TEST (InstrumentModule, NotesVoicesAndStealing)
{
	auto state = preparedState ();
	GongVoiceBank& bank = *state->bank;
	EXPECT_TRUE (handleEvent (*state, 2, 45, 0.5));
	EXPECT_DOUBLE_EQ (bank.lowHz[modeIndex (0, 0)], 110);
	EXPECT_TRUE (handleEvent (*state, 2, 57, 0.5));
	EXPECT_DOUBLE_EQ (bank.lowHz[modeIndex (1, 0)], 220);
	for (int note = 60; note < 64; ++note)
		EXPECT_TRUE (handleEvent (*state, 2, note, 0.5));
	// Seven notes on six voices: the oldest strike (voice 0) is taken.
	EXPECT_TRUE (handleEvent (*state, 2, 70, 0.5));
	EXPECT_EQ (bank.note[0], 70);
	EXPECT_EQ (bank.serial[0], 7);
	EXPECT_TRUE (handleEvent (*state, 2, 71, 0.5));
	EXPECT_EQ (bank.note[1], 71);

	// Retrigger: the old voice fades, a new one strikes; two voices, one note.
	auto fresh = preparedState ();
	EXPECT_TRUE (handleEvent (*fresh, 2, 50, 0.9));
	EXPECT_TRUE (handleEvent (*fresh, 2, 50, 0.9));
	EXPECT_EQ (fresh->bank->note[0], 50);
	EXPECT_EQ (fresh->bank->released[0], 1);
	EXPECT_EQ (fresh->bank->note[1], 50);
	EXPECT_EQ (fresh->bank->active[1], 1);
	// Note-off reaches only the active voice; a second one finds nothing.
	EXPECT_TRUE (handleEvent (*fresh, 3, 50, 0));
	EXPECT_EQ (fresh->bank->released[1], 1);
	const double frames = fresh->bank->releaseFrames[0];
	EXPECT_TRUE (handleEvent (*fresh, 3, 50, 0));
	EXPECT_EQ (fresh->bank->releaseFrames[0], frames);

	EXPECT_FALSE (handleEvent (*state, 4, 60, 0.5)); // control change
	EXPECT_FALSE (handleEvent (*state, 2, 128, 0.5));
	EXPECT_FALSE (handleEvent (*state, 2, -1, 0.5));
	EXPECT_FALSE (handleEvent (*state, 2, 60, std::nan ("")));
}

TEST (InstrumentModule, VelocityRules)
{
	auto state = preparedState ();
	EXPECT_TRUE (handleEvent (*state, 2, 45, 2.5));
	EXPECT_EQ (state->bank->velocity[0], 1);
	EXPECT_TRUE (applyParameter (*state, 24, 1));
	EXPECT_TRUE (applyParameter (*state, 25, 0.3));
	EXPECT_TRUE (handleEvent (*state, 2, 46, 0.9));
	EXPECT_EQ (state->bank->velocity[1], 0.3);
}

TEST (InstrumentModule, SegmentsWriteOnlyTheirFramesAndCountTheQuantum)
{
	auto state = preparedState ();
	ASSERT_TRUE (handleEvent (*state, 2, 45, 1));
	float out[256];
	for (float& x : out)
		x = 99.f;
	ProcessBlock block;
	block.capacity = 128;
	block.outputChannels = 2;
	block.outputView = out;
	block.outputLength = 256;
	block.offset = 10;
	block.frames = 20;
	ASSERT_TRUE (process (*state, block));
	for (int i = 0; i < 128; ++i)
	{
		const bool inside = i >= 10 && i < 30;
		EXPECT_EQ (out[i] != 99.f, inside) << i;
		EXPECT_EQ (out[128 + i] != 99.f, inside) << i;
	}
	auto counting = preparedState ();
	block.offset = 0;
	block.frames = 50;
	for (int k = 0; k < 3; ++k)
		ASSERT_TRUE (process (*counting, block));
	EXPECT_EQ (counting->quantumPosition, 22);

	for (const auto& bad : {std::pair<double, double> {100, 29}, {0, 129}, {-1, 5}, {0.5, 5}, {0, 2.5}})
	{
		block.offset = bad.first;
		block.frames = bad.second;
		EXPECT_FALSE (process (*state, block)) << bad.first << " " << bad.second;
	}
	block.offset = 0;
	block.frames = 10;
	block.outputLength = 255;
	EXPECT_FALSE (process (*state, block));
	block.outputLength = 256;
	block.inputChannels = 1;
	EXPECT_FALSE (process (*state, block));
}

TEST (InstrumentModule, ResetKeepsRateAndPreparation)
{
	auto state = preparedState (96000);
	ASSERT_TRUE (handleEvent (*state, 2, 45, 1));
	ASSERT_TRUE (applyParameter (*state, 24, 1));
	ASSERT_TRUE (reset (*state));
	EXPECT_TRUE (state->prepared);
	EXPECT_EQ (state->sampleRate, 96000);
	EXPECT_EQ (state->bank->sampleRate, 96000);
	EXPECT_EQ (state->bank->note[0], -1);
	EXPECT_EQ (state->fixedVelocity, 0);
}

} // namespace
