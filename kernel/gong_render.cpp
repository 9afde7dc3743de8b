// Voice rendering, in three passes over a run of frames:
//   1. per voice and frame, the exciter sample;
//   2. the bloom levels and the mode resonators of the sounding voices,
//      packed into vector lanes (mode_resonators);
//   3. per frame and voice in order, the envelope, the stereo mix and the
//      voice's life (release, free).
// A voice's exciter and bloom do not depend on its modes, nor its modes on
// its envelope, so the passes produce exactly what a frame-by-frame,
// voice-by-voice loop produces. A voice freed in pass 3 has had passes 1 and 2
// run past its end; those results are discarded and its state restored to
// what it was when it was freed.

#include "gong_render.h"

#include "fround.h"
#include "model_math.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tavik::kernel {

void gongGlideQuantum (GongVoiceBank& bank, int voice)
{
	if (voice < 0 || voice >= BANK_VOICES)
		return;
	if (bank.note[voice] < 0 || bank.glideOffset[voice] == 0 ||
	    std::fabs (bank.glideOffset[voice] * bank.glideEnv[voice]) <= GLIDE_SETTLED)
		return;
	const double env = bank.glideEnv[voice];
	bank.glideEnv[voice] = fround (env - env * bank.glideCoef[voice]);
	const double rate = bankRate (bank);
	const int modes = static_cast<int> (bank.modeCount[voice]);
	for (int m = 0; m < MAX_MODES && m < modes; ++m)
	{
		const int n = modeIndex (voice, m);
		const double w = 1 + (1.0 / (m + 1)) * bank.glideOffset[voice] * bank.glideEnv[voice];
		const double theta0 = fround (w * bank.lowHz[n] * TWO_PI / rate);
		const double theta1 = fround (w * bank.highHz[n] * TWO_PI / rate);
		const double radius = bank.modeRadius[n];
		const int lane0 = laneOf (voice, 0);
		const int lane1 = laneOf (voice, 1);
		bank.coefCos[m][lane0] = static_cast<float> (fround (radius * std::cos (theta0)));
		bank.coefSin[m][lane0] = static_cast<float> (fround (radius * std::sin (theta0)));
		bank.coefCos[m][lane1] = static_cast<float> (fround (radius * std::cos (theta1)));
		bank.coefSin[m][lane1] = static_cast<float> (fround (radius * std::sin (theta1)));
	}
}

namespace {

// One exciter sample of a voice whose exciter is still running.
double exciterSample (GongVoiceBank& bank, int voice)
{
	const double L = bank.exciterLength[voice];
	const double t = bank.exciterRemaining[voice];
	const double h = bank.hardness[voice];

	// 32-bit xorshift noise.
	uint32_t z = static_cast<uint32_t> (bank.rngState[voice]);
	z ^= z << 13;
	z ^= z >> 17;
	z ^= z << 5;
	bank.rngState[voice] = z;

	// One-pole low-pass of the noise.
	const double c = bank.exciterPole[voice];
	bank.noiseState[voice] = fround (fround (bank.noiseState[voice] * c) + fround ((1 - c) * fround (z * 0x1p-31 - 1)));

	// Contact pulse: narrower and taller for harder mallets, area nearly constant.
	const double k = L - t;
	double pulse = 0;
	if (k >= 0 && k < L && L > 0)
	{
		const double hh = clampValue (h, 0, 1);
		pulse = fround (std::pow (std::sin ((k + 0.5) / L * PI), 1.15 + 2.35 * hh) / (L * (0.59 - 0.19 * hh)));
	}

	double ng = 0;
	if (L > 0)
	{
		const double a = h < 0 ? 0.04 : h > 1 ? 0.22 : 0.04 + 0.18 * h;
		ng = fround (a * clampValue (bank.noise, 0, 1) / std::sqrt (L));
	}
	bank.exciterRemaining[voice] = t - 1;

	const double soft = 1 - h;
	return fround (pulse * (1 + 4 * (soft * soft)) * MALLET_CONTACT_DRIVE) + fround (ng * bank.noiseState[voice]);
}

// The voice's gain for this frame (envelope step).
double envelopeGain (GongVoiceBank& bank, int voice)
{
	double g = bank.gain[voice];
	if (bank.releaseFrames[voice] > 0)
	{
		g = std::max (fround (g - bank.releaseStep[voice]), 0.0);
		bank.releaseFrames[voice] = bank.releaseFrames[voice] - 1;
	}
	else if (bank.ampDecay < DECAY_OPEN)
	{
		const double R = bank.age[voice] / (bank.ampDecay * bank.sampleRate);
		if (R >= 1)
			g = 0;
		else
		{
			double env = R < 0.8 ? std::exp (-6.9078 * R) : std::exp (-5.5262400000000005);
			env = env * 0.18 * fround (bank.velocity[voice] * bank.velocity[voice]);
			if (R > 0.8)
				env = env * ((R - 0.8) / -0.19999999999999996 + 1);
			g = fround (env);
		}
	}
	bank.gain[voice] = g;
	return g;
}

// End of the frame for a voice: age, then free or start the closing fade.
// Returns true when the voice was freed.
bool advanceLife (GongVoiceBank& bank, int voice, double g)
{
	bank.age[voice] = bank.age[voice] + 1;
	if (bank.age[voice] >= bank.tailFrames[voice])
	{
		gongFreeVoice (bank, voice);
		return true;
	}
	if (bank.releaseFrames[voice] == 0 && bank.released[voice] == 1 && g <= 0)
	{
		gongFreeVoice (bank, voice);
		return true;
	}
	if (bank.releaseFrames[voice] == 0 && bank.age[voice] >= bank.fadeStart[voice])
		gongReleaseVoice (bank, voice, TAIL_FADE_SECONDS);
	return false;
}

} // namespace

namespace {

typedef double VoiceLanes __attribute__ ((vector_size (VOICE_LANES * sizeof (double))));
typedef float VoiceLanesF __attribute__ ((vector_size (VOICE_LANES * sizeof (float))));

// Pass 1a: whether the bloom levels hold through the run. Each level follows
// b' = single(b + (1 − b) · coef); once one step leaves every sounding
// voice's level where it is, the recurrence has reached its fixed point in
// single precision and no later step moves it either. Levels that do move
// are stepped frame by frame with the modes (pass 2).
bool bloomSettled (const GongVoiceBank& bank, const bool* sounding)
{
	VoiceLanes level = {};
	VoiceLanes coef = {};
	for (int v = 0; v < BANK_VOICES; ++v)
	{
		if (!sounding[v])
			continue;
		level[v] = bank.bloomLevel[v];
		coef[v] = bank.bloomCoef[v];
	}
	const VoiceLanes next =
		__builtin_convertvector(__builtin_convertvector(level + (1 - level) * coef, VoiceLanesF), VoiceLanes);
	for (int v = 0; v < VOICE_LANES; ++v)
		if (next[v] != level[v])
			return false;
	return true;
}

// Pass 1b: exciter samples of the voices whose exciter still runs. Rows of
// frames where some voice excites are complete (0 for the other lanes).
// Returns, per voice, how many leading frames of the run it excited.
void renderExciters (GongVoiceBank& bank, RenderScratch& scratch, const bool* sounding, int frames, int* excitedFrames)
{
	int rows = 0;
	for (int v = 0; v < BANK_VOICES; ++v)
	{
		excitedFrames[v] = 0;
		if (sounding[v] && bank.exciterRemaining[v] > 0)
			excitedFrames[v] = static_cast<int> (std::min (bank.exciterRemaining[v], static_cast<double> (frames)));
		rows = std::max (rows, excitedFrames[v]);
	}
	std::memset (scratch.exciting, 0, static_cast<size_t> (frames));
	if (rows == 0)
		return;
	std::memset (scratch.excite, 0, sizeof (scratch.excite[0]) * static_cast<size_t> (rows));
	std::memset (scratch.exciting, 1, static_cast<size_t> (rows));
	for (int v = 0; v < BANK_VOICES; ++v)
	{
		for (int i = 0; i < excitedFrames[v]; ++i)
		{
			scratch.excite[i][v] = exciterSample (bank, v);
			scratch.rngAfter[i][v] = bank.rngState[v];
			scratch.noiseAfter[i][v] = bank.noiseState[v];
		}
	}
}

// Pass 3a for one voice: its output gain per frame (0 once it is freed) and
// its life. Returns the frame at which it was freed, or -1.
int renderVoiceGain (GongVoiceBank& bank, RenderScratch& scratch, int v, int frames)
{
	const bool quiet =
		bank.releaseFrames[v] == 0 && !(bank.released[v] == 1 && bank.gain[v] <= 0) && bank.gainRampLeft[v] == 0;
	if (quiet && bank.ampDecay >= DECAY_OPEN && bank.age[v] + frames < bank.fadeStart[v] &&
	    bank.age[v] + frames < bank.tailFrames[v])
	{
		// Nothing changes in this run: the gain holds and no life event falls.
		const float vg = static_cast<float> (bank.gain[v] * bank.normGain[v]);
		for (int i = 0; i < frames; ++i)
			scratch.voiceGain[i][v] = vg;
		bank.age[v] = bank.age[v] + frames;
		return -1;
	}
	for (int i = 0; i < frames; ++i)
	{
		const double g = envelopeGain (bank, v);
		double heard = g;
		if (bank.gainRampLeft[v] > 0)
		{
			bank.gainRampLeft[v] = bank.gainRampLeft[v] - 1;
			heard = heardGain (bank, v);
		}
		scratch.voiceGain[i][v] = static_cast<float> (heard * bank.normGain[v]);
		if (advanceLife (bank, v, g))
		{
			for (int k = i + 1; k < frames; ++k)
				scratch.voiceGain[k][v] = 0;
			return i;
		}
	}
	return -1;
}

} // namespace

void renderBankFrames (GongVoiceBank& bank, RenderScratch& scratch, int frames, double* mixLeft, double* mixRight)
{
	frames = std::min (std::max (frames, 0), MAX_SEGMENT_FRAMES);
	bool sounding[BANK_VOICES];
	bool anySounding = false;
	int modes = 0;
	for (int v = 0; v < BANK_VOICES; ++v)
	{
		sounding[v] = bank.note[v] >= 0;
		if (sounding[v])
		{
			anySounding = true;
			modes = std::max (modes, static_cast<int> (bank.modeCount[v]));
		}
	}
	if (!anySounding || frames == 0)
	{
		// Silent voices cost nothing: the mix is exactly zero.
		for (int i = 0; i < frames; ++i)
			mixLeft[i] = mixRight[i] = 0;
		return;
	}
	modes = std::min (modes, MAX_MODES);

	// Pass 1: bloom and exciter.
	const bool settled = bloomSettled (bank, sounding);
	int excitedFrames[BANK_VOICES];
	renderExciters (bank, scratch, sounding, frames, excitedFrames);

	// Pass 2: the modes of the sounding voices. Where no weight depends on
	// the bloom level (dw + 0·b = dw for every finite level), the weights
	// hold whatever the level does.
	packModes (bank, sounding, modes, scratch.lanes);
	const bool steady = settled || bloomWeightsZero (scratch.lanes);
	const ModeBlock block {&scratch.lanes, &scratch.tile,    frames,         !settled,
	                       steady,         scratch.exciting, scratch.excite, scratch.sums};
	renderModeBlock (block);
	unpackModeStates (scratch.lanes, bank);

	// Pass 3a: output gain and life per sounding voice.
	int freedAt[BANK_VOICES];
	for (int v = 0; v < BANK_VOICES; ++v)
		freedAt[v] = sounding[v] ? renderVoiceGain (bank, scratch, v, frames) : -1;

	// Pass 3b: the stereo mix, sounding voices in order. Every operand is a
	// single-precision value, so float arithmetic rounds exactly as the model
	// does. A voice that was silent throughout would add its resonators'
	// rest output times a gain of 0: a zero, which leaves a sum unchanged
	// (a sum that starts at +0 never becomes -0), so it is left out.
	// The k-th sounding voice's chains are 2k and 2k + 1. Voice by voice,
	// each frame's sums still take the voices in order.
	float left[MAX_SEGMENT_FRAMES];
	float right[MAX_SEGMENT_FRAMES];
	for (int i = 0; i < frames; ++i)
		left[i] = right[i] = 0;
	for (int v = 0, k = 0; v < BANK_VOICES; ++v)
	{
		if (!sounding[v])
			continue;
		for (int i = 0; i < frames; ++i)
		{
			const float vg = scratch.voiceGain[i][v];
			left[i] = left[i] + scratch.sums[i][2 * k] * vg;
			right[i] = right[i] + scratch.sums[i][2 * k + 1] * vg;
		}
		++k;
	}
	for (int i = 0; i < frames; ++i)
	{
		mixLeft[i] = left[i];
		mixRight[i] = right[i];
	}

	// Undo what passes 1 and 2 did to voices after they were freed: their
	// state goes back to rest and their noise generator to where it stood.
	for (int v = 0; v < BANK_VOICES; ++v)
	{
		if (freedAt[v] < 0)
			continue;
		gongFreeVoice (bank, v);
		if (freedAt[v] < excitedFrames[v])
		{
			bank.rngState[v] = scratch.rngAfter[freedAt[v]][v];
			bank.noiseState[v] = scratch.noiseAfter[freedAt[v]][v];
		}
	}
}

} // namespace tavik::kernel
