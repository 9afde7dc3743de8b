// A plain scalar rendering of the gong model, written straight from its
// definition: one voice and one frame at a time, every array in the model's
// own layout (n = voice × 12 + mode, p = 2n + side), every value a double.
// The kernel's vectorised renderer must match it to the last bit.
#pragma once

#include <cstdint>
#include <vector>

namespace tavik::test {

struct RefBank
{
	double sampleRate = 48000;
	double settings[24] = {0, 1,   1,  1,   0.4, 0.15, 0.6, 0, 0.15, 0.7, 0.8,  0.7,
	                       1, 2.5, 15, 0.6, 110, 0.8,  0,   0, 0,    0,   0.65, 0.85};
	double strikeCount = 0;

	// Voices 0..5 take notes; 6 and 7 carry the fades of stolen voices.
	double note[8], active[8], released[8], serial[8], velocity[8], hardness[8], gain[8], normGain[8], modeCount[8],
		age[8], tailFrames[8], fadeStart[8], releaseFrames[8], releaseStep[8], exciterRemaining[8], exciterLength[8],
		exciterPole[8], noiseState[8], rngState[8], bloomLevel[8], bloomCoef[8], glideEnv[8], glideCoef[8],
		glideOffset[8], rampFrom[8], rampLeft[8];
	double directWeight[96], bloomWeight[96], modeRadius[96], lowHz[96], highHz[96];
	double partialGain[192], coefCos[192], coefSin[192], stateRe[192], stateIm[192];
	// The level the mix is scaled by, on its way to the master level.
	double level = 0.8, levelFrom = 0, levelLeft = 0;

	explicit RefBank (double rate);
};

/** The instrument with its library-level event rules, frame by frame. */
class RefInstrument
{
public:
	explicit RefInstrument (double sampleRate);

	/** Queues an event for a frame of the next block, as the library does
	 *  (values stored in single precision). */
	void pushEvent (int kind, int frame, int a, double value);

	/** Renders a block of `frames` frames into left/right. */
	void processBlock (int frames, float* left, float* right);

	RefBank bank;
	double fixedVelocity = 0;
	double performanceVelocity = 0.85;
	double quantumPosition = 0;

private:
	struct Event
	{
		int kind, frame, a;
		float value;
	};
	void applyParameter (int index, double value);
	void handleEvent (int kind, double note, double value);
	void renderFrame (float& left, float& right);
	std::vector<Event> queue;
};

double refFround (double x);
void refSetParam (RefBank& bank, int index, double value);
void refStrike (RefBank& bank, int voice, double note, double frequency, double velocity);
void refGlideQuantum (RefBank& bank, int voice);
void refRenderVoiceFrame (RefBank& bank, int voice, double mix[2]);
void refReleaseVoice (RefBank& bank, int voice, double seconds);
void refFreeVoice (RefBank& bank, int voice);

} // namespace tavik::test
