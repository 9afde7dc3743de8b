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

	double note[6], active[6], released[6], serial[6], velocity[6], hardness[6], gain[6], normGain[6], modeCount[6],
		age[6], tailFrames[6], fadeStart[6], releaseFrames[6], releaseStep[6], exciterRemaining[6], exciterLength[6],
		exciterPole[6], noiseState[6], rngState[6], bloomLevel[6], bloomCoef[6], glideEnv[6], glideCoef[6],
		glideOffset[6];
	double directWeight[72], bloomWeight[72], modeRadius[72], lowHz[72], highHz[72];
	double partialGain[144], coefCos[144], coefSin[144], stateRe[144], stateIm[144];

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
