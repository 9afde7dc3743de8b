#include "gong_voice_bank.h"
#include "fround.h"
#include "model_math.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace tavik::kernel {

namespace {

// Nearest integer, halves rounded up.
double roundHalfUp (double v) { return std::floor (v + 0.5); }

} // namespace

std::unique_ptr<GongVoiceBank> initGongVoice (double sampleRate)
{
	auto bank = std::make_unique<GongVoiceBank> ();
	bank->sampleRate = sampleRate;
	for (int v = 0; v < BANK_VOICES; ++v)
	{
		bank->note[v] = -1;
		bank->active[v] = 0;
		bank->released[v] = 0;
		bank->serial[v] = 0;
		bank->velocity[v] = 0;
		bank->hardness[v] = 0.5;
		bank->gain[v] = 0;
		bank->normGain[v] = 1;
		bank->modeCount[v] = 0;
		bank->age[v] = 0;
		bank->tailFrames[v] = 0;
		bank->fadeStart[v] = 0;
		bank->releaseFrames[v] = 0;
		bank->releaseStep[v] = 0;
		bank->exciterRemaining[v] = 0;
		bank->exciterLength[v] = 0;
		bank->exciterPole[v] = 0;
		bank->noiseState[v] = 0;
		bank->rngState[v] = 1;
		bank->bloomLevel[v] = 0;
		bank->bloomCoef[v] = 0;
		bank->glideEnv[v] = 0;
		bank->glideCoef[v] = 0;
		bank->glideOffset[v] = 0;
		bank->gainRampFrom[v] = 0;
		bank->gainRampLeft[v] = 0;
	}
	for (int n = 0; n < BANK_VOICES * MAX_MODES; ++n)
	{
		bank->modeRadius[n] = 0;
		bank->lowHz[n] = 0;
		bank->highHz[n] = 0;
	}
	for (int m = 0; m < MAX_MODES; ++m)
	{
		for (int lane = 0; lane < PARTIAL_LANES; ++lane)
		{
			bank->directWeight[m][lane] = 1;
			bank->bloomWeight[m][lane] = 0;
			bank->partialGain[m][lane] = 0;
			bank->coefCos[m][lane] = 0;
			bank->coefSin[m][lane] = 0;
			bank->stateRe[m][lane] = 0;
			bank->stateIm[m][lane] = 0;
		}
	}
	return bank;
}

double gainRampFrames (const GongVoiceBank& bank)
{
	return std::max (std::floor (GAIN_RAMP_SECONDS * bankRate (bank)), 1.0);
}

double heardGain (const GongVoiceBank& bank, int voice)
{
	const double g = bank.gain[voice];
	const double left = bank.gainRampLeft[voice];
	return left > 0 ? fround (g + (bank.gainRampFrom[voice] - g) * (left / gainRampFrames (bank))) : g;
}

double stepLevel (GongVoiceBank& bank)
{
	if (bank.levelRampLeft > 0)
	{
		bank.levelRampLeft = bank.levelRampLeft - 1;
		const double target = bank.masterLevel;
		bank.level = bank.levelRampLeft == 0
		                 ? target
		                 : target + (bank.levelFrom - target) * (bank.levelRampLeft / gainRampFrames (bank));
	}
	return bank.level;
}

bool anyVoiceSounds (const GongVoiceBank& bank)
{
	for (int v = 0; v < BANK_VOICES; ++v)
		if (bank.note[v] >= 0)
			return true;
	return false;
}

namespace {

// A new master level: at once while nothing sounds, else over a ramp from
// the level heard now.
void setMasterLevel (GongVoiceBank& bank, double value)
{
	bank.masterLevel = value;
	if (bank.level == value && bank.levelRampLeft == 0)
		return;
	if (!anyVoiceSounds (bank))
	{
		bank.level = value;
		bank.levelRampLeft = 0;
		return;
	}
	bank.levelFrom = bank.level;
	bank.levelRampLeft = gainRampFrames (bank);
}

// A new amp decay moves the envelope of every ringing voice at once; each
// crossfades from the gain it is heard at to its new envelope instead.
// Voices in a release follow their ramp, which the decay does not touch.
void setAmpDecay (GongVoiceBank& bank, double value)
{
	const double old = bank.ampDecay;
	bank.ampDecay = value;
	if (old == value || (old >= DECAY_OPEN && value >= DECAY_OPEN))
		return;
	for (int v = 0; v < BANK_VOICES; ++v)
	{
		if (bank.note[v] < 0 || bank.releaseFrames[v] > 0)
			continue;
		bank.gainRampFrom[v] = heardGain (bank, v);
		bank.gainRampLeft[v] = gainRampFrames (bank);
	}
}

} // namespace

void setGongParam (GongVoiceBank& bank, int index, double value)
{
	switch (index)
	{
		case 0: bank.instrument = clampValue (roundHalfUp (value), 0, 5); break;
		case 1: bank.size = clampValue (value, 0.5, 2); break;
		case 2: bank.decayScale = clampValue (value, 0.1, 3); break;
		case 3: bank.damping = clampValue (value, 0.05, 4); break;
		case 4: bank.stereoWidth = clampValue (value, 0, 1); break;
		case 5: bank.strikePosition = clampValue (value, 0, 1); break;
		case 6: bank.velTone = clampValue (value, 0, 1); break;
		case 7: bank.mallet = clampValue (roundHalfUp (value), 0, 3); break;
		case 8: bank.noise = clampValue (value, 0, 1); break;
		case 9: bank.bloomAmount = clampValue (value, 0, 1); break;
		case 10: bank.bloomTime = clampValue (value, 0.1, 3); break;
		case 11: bank.glideAmount = clampValue (value, 0, 1); break;
		case 12: bank.ombakAmount = clampValue (value, 0, 2); break;
		case 13: bank.ombakRate = clampValue (value, 0, 8); break;
		case 14: setAmpDecay (bank, clampValue (value, 0.05, 15)); break;
		case 15: bank.ampRelease = clampValue (value, 0.02, 4); break;
		case 16: bank.baseFreq = clampValue (value, 55, 440); break;
		case 17: setMasterLevel (bank, clampValue (value, 0, 1)); break;
		case 18: bank.stiffness = clampValue (value, -1, 1); break;
		case 19: bank.coupling = clampValue (value, 0, 1); break;
		case 20: bank.edgeLoss = clampValue (value, 0, 1); break;
		case 21: bank.radiation = clampValue (value, -1, 1); break;
		case 22: bank.glideDepth = clampValue (value, 0, 1); break;
		case 23: bank.glideTime = clampValue (value, 0.1, 2.5); break;
		default: break;
	}
}

} // namespace tavik::kernel
