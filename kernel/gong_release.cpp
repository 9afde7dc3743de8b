// The two ways a voice ends: a linear fade of its gain, or an immediate free.

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

} // namespace tavik::kernel
