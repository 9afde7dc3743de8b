// Gathering the sounding voices' resonators into packed lanes and handing
// their states back. Chains follow voice order, sides 0 then 1; lane
// r = mode × chains + chain.

#include "mode_resonators.h"

namespace tavik::kernel {

void packModes (const GongVoiceBank& bank, const bool* sounding, int modes, PackedModes& lanes)
{
	int chains = 0;
	for (int v = 0; v < BANK_VOICES; ++v)
		if (sounding[v])
		{
			lanes.voiceOfChain[chains++] = v;
			lanes.voiceOfChain[chains++] = v;
		}
	modes = chains == 0 ? 0 : modes < 0 ? 0 : modes > MAX_MODES ? MAX_MODES : modes;
	for (int chain = 0; chain < chains; ++chain)
	{
		lanes.bloomLevel[chain] = bank.bloomLevel[lanes.voiceOfChain[chain]];
		lanes.bloomCoef[chain] = bank.bloomCoef[lanes.voiceOfChain[chain]];
	}
	lanes.chains = chains;
	lanes.modes = modes;
	lanes.resonators = chains * modes;
	int r = 0;
	for (int m = 0; m < modes; ++m)
		for (int chain = 0; chain < chains; ++chain, ++r)
		{
			const int lane = laneOf (lanes.voiceOfChain[chain], chain & 1);
			lanes.coefCos[r] = bank.coefCos[m][lane];
			lanes.coefSin[r] = bank.coefSin[m][lane];
			lanes.gain[r] = bank.partialGain[m][lane];
			lanes.stateRe[r] = bank.stateRe[m][lane];
			lanes.stateIm[r] = bank.stateIm[m][lane];
			lanes.directWeight[r] = bank.directWeight[m][lane];
			lanes.bloomWeight[r] = bank.bloomWeight[m][lane];
		}
	// The last vector's spare lanes ring at rest and add nothing.
	const int end = (r + MAX_VECTOR_LANES - 1) / MAX_VECTOR_LANES * MAX_VECTOR_LANES;
	for (; r < end; ++r)
	{
		lanes.coefCos[r] = lanes.coefSin[r] = lanes.gain[r] = 0;
		lanes.stateRe[r] = lanes.stateIm[r] = 0;
		lanes.directWeight[r] = 1;
		lanes.bloomWeight[r] = 0;
	}
}

void unpackModeStates (const PackedModes& lanes, GongVoiceBank& bank)
{
	int r = 0;
	for (int m = 0; m < lanes.modes; ++m)
		for (int chain = 0; chain < lanes.chains; ++chain, ++r)
		{
			const int lane = laneOf (lanes.voiceOfChain[chain], chain & 1);
			bank.stateRe[m][lane] = lanes.stateRe[r];
			bank.stateIm[m][lane] = lanes.stateIm[r];
		}
	for (int chain = 0; chain < lanes.chains; chain += 2)
		bank.bloomLevel[lanes.voiceOfChain[chain]] = lanes.bloomLevel[chain];
}

bool bloomWeightsZero (const PackedModes& lanes)
{
	for (int r = 0; r < lanes.resonators; ++r)
		if (lanes.bloomWeight[r] != 0)
			return false;
	return true;
}

} // namespace tavik::kernel
