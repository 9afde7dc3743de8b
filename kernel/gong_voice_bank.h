// The voice bank: six voices of up to twelve modes, each mode two partials
// (complex one-pole resonators), and the sound settings they are struck with.
//
// Values the model keeps in single precision are either stored as float or
// held in doubles that always carry float-representable values.
#pragma once

#include "gong_tables.h"

#include <cstdint>
#include <memory>

namespace tavik::kernel {

/** Partial lanes per mode: lane = side × 8 + voice, side 0 the first
 *  (left) partial, side 1 the second (right), so that a mode's partials
 *  fill whole vector registers. */
constexpr int VOICE_LANES = 8;
constexpr int PARTIAL_LANES = 2 * VOICE_LANES;

/** Voices the bank renders: the MAX_VOICES that notes are given to, then
 *  voices that carry the short fade of a stolen voice beside the note that
 *  took its place. */
constexpr int BANK_VOICES = VOICE_LANES;
constexpr int FADE_VOICES = BANK_VOICES - MAX_VOICES;

constexpr int laneOf (int voice, int side) { return side * VOICE_LANES + voice; }

struct alignas (64) GongVoiceBank
{
	// Sound settings (setGongParam indices 0..23), starting at the library's
	// defaults.
	double sampleRate = 48000;
	double instrument = parameterDefault (0);
	double size = parameterDefault (1);
	double decayScale = parameterDefault (2);
	double damping = parameterDefault (3);
	double stereoWidth = parameterDefault (4);
	double strikePosition = parameterDefault (5);
	double velTone = parameterDefault (6);
	double mallet = parameterDefault (7);
	double noise = parameterDefault (8);
	double bloomAmount = parameterDefault (9);
	double bloomTime = parameterDefault (10);
	double glideAmount = parameterDefault (11);
	double ombakAmount = parameterDefault (12);
	double ombakRate = parameterDefault (13);
	double ampDecay = parameterDefault (14);
	double ampRelease = parameterDefault (15);
	double baseFreq = parameterDefault (16);
	double masterLevel = parameterDefault (17);
	double stiffness = parameterDefault (18);
	double coupling = parameterDefault (19);
	double edgeLoss = parameterDefault (20);
	double radiation = parameterDefault (21);
	double glideDepth = parameterDefault (22);
	double glideTime = GLIDE_SECONDS;
	double strikeCount = 0;

	// The master level applied to the mix: masterLevel, or on its way there
	// from levelFrom with levelRampLeft frames to go.
	double level = parameterDefault (17);
	double levelFrom = 0;
	double levelRampLeft = 0;

	// Per voice.
	double note[BANK_VOICES];
	double active[BANK_VOICES];
	double released[BANK_VOICES];
	double serial[BANK_VOICES];
	double velocity[BANK_VOICES];
	double hardness[BANK_VOICES];
	double gain[BANK_VOICES];
	double normGain[BANK_VOICES];
	double modeCount[BANK_VOICES];
	double age[BANK_VOICES];
	double tailFrames[BANK_VOICES];
	double fadeStart[BANK_VOICES];
	double releaseFrames[BANK_VOICES];
	double releaseStep[BANK_VOICES];
	double exciterRemaining[BANK_VOICES];
	double exciterLength[BANK_VOICES];
	double exciterPole[BANK_VOICES];
	double noiseState[BANK_VOICES];
	double rngState[BANK_VOICES];
	double bloomLevel[BANK_VOICES];
	double bloomCoef[BANK_VOICES];
	double glideEnv[BANK_VOICES];
	double glideCoef[BANK_VOICES];
	double glideOffset[BANK_VOICES];
	// After a new amp decay: the gain the voice was heard at, crossfaded to
	// its envelope's gain over gainRampLeft more frames.
	double gainRampFrom[BANK_VOICES];
	double gainRampLeft[BANK_VOICES];

	// Per mode, n = voice × 12 + mode.
	double modeRadius[BANK_VOICES * MAX_MODES];
	double lowHz[BANK_VOICES * MAX_MODES];
	double highHz[BANK_VOICES * MAX_MODES];

	// Per mode in lane layout [mode][lane]; both sides of a voice hold the
	// same value.
	alignas (64) double directWeight[MAX_MODES][PARTIAL_LANES];
	alignas (64) double bloomWeight[MAX_MODES][PARTIAL_LANES];

	// Per partial in lane layout [mode][lane]; partial p = 2n + side.
	alignas (64) float partialGain[MAX_MODES][PARTIAL_LANES];
	alignas (64) float coefCos[MAX_MODES][PARTIAL_LANES];
	alignas (64) float coefSin[MAX_MODES][PARTIAL_LANES];
	alignas (64) float stateRe[MAX_MODES][PARTIAL_LANES];
	alignas (64) float stateIm[MAX_MODES][PARTIAL_LANES];
};

/** A new bank: every voice free, every setting at its initial value.
 *  Throws std::bad_alloc when memory cannot be had. */
std::unique_ptr<GongVoiceBank> initGongVoice (double sampleRate);

/** Applies sound parameter `index` (0..23), clamped to its range; any other
 *  index is ignored. */
void setGongParam (GongVoiceBank& bank, int index, double value);

/** Strikes `voice` (0..5) at `frequency` Hz with `velocity` in [0, 1]. */
void gongStrike (GongVoiceBank& bank, int voice, double note, double frequency, double velocity);

/** Once per 128-frame quantum: moves the voice's glide one step on. */
void gongGlideQuantum (GongVoiceBank& bank, int voice);

/** Starts a linear fade of the voice's gain over `seconds`. */
void gongReleaseVoice (GongVoiceBank& bank, int voice, double seconds);

/** Returns the voice to the free pool at once. */
void gongFreeVoice (GongVoiceBank& bank, int voice);

/** Moves the sound of playable voice `voice`, about to be stolen, to a fade
 *  voice, where it fades out over STEAL_FADE_SECONDS. */
void gongFadeStolenVoice (GongVoiceBank& bank, int voice);

/** The rate the formulas use: the bank's rate, or 48000 when it is not above 0. */
inline double bankRate (const GongVoiceBank& bank) { return bank.sampleRate > 0 ? bank.sampleRate : 48000; }

/** Frames of a gain ramp (GAIN_RAMP_SECONDS) at the bank's rate. */
double gainRampFrames (const GongVoiceBank& bank);

/** The gain voice `voice` is heard at: its envelope's, or while a crossfade
 *  after a new amp decay runs, the blend of the two. */
double heardGain (const GongVoiceBank& bank, int voice);

/** Whether any voice (fade voices included) sounds. */
bool anyVoiceSounds (const GongVoiceBank& bank);

/** One frame of the master level: the level this frame's mix is scaled by. */
double stepLevel (GongVoiceBank& bank);

// Access by the model's own indices (n = voice × 12 + mode, p = 2n + side).
inline int modeIndex (int voice, int mode) { return voice * MAX_MODES + mode; }
inline float& partialAt (float (&field)[MAX_MODES][PARTIAL_LANES], int p)
{
	const int n = p >> 1;
	return field[n % MAX_MODES][laneOf (n / MAX_MODES, p & 1)];
}
inline float partialAt (const float (&field)[MAX_MODES][PARTIAL_LANES], int p)
{
	const int n = p >> 1;
	return field[n % MAX_MODES][laneOf (n / MAX_MODES, p & 1)];
}
inline double modeWeightAt (const double (&field)[MAX_MODES][PARTIAL_LANES], int n)
{
	return field[n % MAX_MODES][laneOf (n / MAX_MODES, 0)];
}

} // namespace tavik::kernel
