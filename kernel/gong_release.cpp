// The ways a voice ends: a linear fade of its gain, an immediate free, or,
// for a stolen voice, a short fade in a voice of its own beside the note
// that took its place.

#include "fround.h"
#include "gong_voice_bank.h"

#include <algorithm>
#include <cmath>

namespace tavik::kernel {

void gongReleaseVoice (GongVoiceBank& bank, int voice, double seconds)
{
	if (voice < 0 || voice >= BANK_VOICES || bank.note[voice] < 0)
		return;
	bank.released[voice] = 1;
	bank.active[voice] = 0;
	// A crossfade after a new amp decay ends here: the release starts from
	// the gain the voice is heard at.
	if (bank.gainRampLeft[voice] > 0)
	{
		bank.gain[voice] = heardGain (bank, voice);
		bank.gainRampLeft[voice] = 0;
	}
	const double L = std::max (std::floor (std::max (0.005, seconds) * bank.sampleRate), 1.0);
	bank.releaseFrames[voice] = L;
	bank.releaseStep[voice] = fround (bank.gain[voice] / L);
	// The voice is freed no later than the end of the fade.
	if (bank.tailFrames[voice] > bank.age[voice] + L)
		bank.tailFrames[voice] = bank.age[voice] + L;
}

void gongFreeVoice (GongVoiceBank& bank, int voice)
{
	if (voice < 0 || voice >= BANK_VOICES)
		return;
	bank.note[voice] = -1;
	bank.active[voice] = 0;
	bank.released[voice] = 0;
	bank.gain[voice] = 0;
	bank.releaseFrames[voice] = 0;
	bank.exciterRemaining[voice] = 0;
	bank.normGain[voice] = 0;
	bank.bloomLevel[voice] = 0;
	bank.glideEnv[voice] = 0;
	bank.glideOffset[voice] = 0;
	bank.gainRampLeft[voice] = 0;
	for (int m = 0; m < MAX_MODES; ++m)
	{
		for (const int lane : {laneOf (voice, 0), laneOf (voice, 1)})
		{
			bank.stateRe[m][lane] = 0;
			bank.stateIm[m][lane] = 0;
			bank.partialGain[m][lane] = 0;
		}
	}
}

namespace {

// Everything voice `to` needs to sound on exactly as voice `from` would.
void copyVoice (GongVoiceBank& bank, int from, int to)
{
	for (double* field :
	     {bank.note,          bank.active,      bank.released,      bank.serial,      bank.velocity,
	      bank.hardness,      bank.gain,        bank.normGain,      bank.modeCount,   bank.age,
	      bank.tailFrames,    bank.fadeStart,   bank.releaseFrames, bank.releaseStep, bank.exciterRemaining,
	      bank.exciterLength, bank.exciterPole, bank.noiseState,    bank.rngState,    bank.bloomLevel,
	      bank.bloomCoef,     bank.glideEnv,    bank.glideCoef,     bank.glideOffset, bank.gainRampFrom,
	      bank.gainRampLeft})
		field[to] = field[from];
	for (int m = 0; m < MAX_MODES; ++m)
	{
		bank.modeRadius[modeIndex (to, m)] = bank.modeRadius[modeIndex (from, m)];
		bank.lowHz[modeIndex (to, m)] = bank.lowHz[modeIndex (from, m)];
		bank.highHz[modeIndex (to, m)] = bank.highHz[modeIndex (from, m)];
		for (int side = 0; side < 2; ++side)
		{
			const int a = laneOf (from, side), b = laneOf (to, side);
			bank.directWeight[m][b] = bank.directWeight[m][a];
			bank.bloomWeight[m][b] = bank.bloomWeight[m][a];
			bank.partialGain[m][b] = bank.partialGain[m][a];
			bank.coefCos[m][b] = bank.coefCos[m][a];
			bank.coefSin[m][b] = bank.coefSin[m][a];
			bank.stateRe[m][b] = bank.stateRe[m][a];
			bank.stateIm[m][b] = bank.stateIm[m][a];
		}
	}
}

} // namespace

void gongFadeStolenVoice (GongVoiceBank& bank, int voice)
{
	if (voice < 0 || voice >= MAX_VOICES || bank.note[voice] < 0)
		return;
	// A free fade voice, else the one closest to its end (its sound is the
	// quietest left).
	int fade = MAX_VOICES;
	for (int v = MAX_VOICES; v < BANK_VOICES; ++v)
	{
		if (bank.note[v] < 0)
		{
			fade = v;
			break;
		}
		if (bank.releaseFrames[v] < bank.releaseFrames[fade])
			fade = v;
	}
	copyVoice (bank, voice, fade);
	gongReleaseVoice (bank, fade, STEAL_FADE_SECONDS);
}

} // namespace tavik::kernel
