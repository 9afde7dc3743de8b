// The instrument module: one instrument instance with its voice bank, the
// performance-velocity settings and the frame-loop position. Voice
// allocation and stealing, note frequencies and the stereo mix live here.
#pragma once

#include "gong_render.h"
#include "gong_voice_bank.h"

#include <cstddef>
#include <memory>

namespace tavik::kernel {

constexpr int GONG_MAX_FRAMES = 128;
constexpr int PARAM_PERFORMANCE_FIXED_VELOCITY = 24;
constexpr int PARAM_PERFORMANCE_VELOCITY = 25;
constexpr int INSTRUMENT_PARAM_COUNT = 26;
constexpr double DEFAULT_PERFORMANCE_VELOCITY = parameterDefault (PARAM_PERFORMANCE_VELOCITY);
constexpr int PROCESSOR_EVENT_NOTE_ON = 2;
constexpr int PROCESSOR_EVENT_NOTE_OFF = 3;
constexpr int PROCESSOR_EVENT_CONTROL_CHANGE = 4;
/** The one control change the instrument acts on: every voice fades out
 *  over STEAL_FADE_SECONDS, whatever it was doing. */
constexpr int CONTROL_ALL_SOUND_OFF = 120;

/** What `prepare` reads: the stream format of the instance. */
struct PrepareContext
{
	double inputChannels = 0;
	double maxBlockSize = 0;
	double outputChannels = 0;
	double sampleRate = 0;
};

/** One segment to render into the output view (channel-major, `capacity`
 *  frames per channel; frame i of the segment lands at index i). */
struct ProcessBlock
{
	double capacity = 0;
	double frames = 0;
	double offset = 0;
	const float* inputView = nullptr;
	size_t inputLength = 0;
	double inputChannels = 0;
	float* outputView = nullptr;
	size_t outputLength = 0;
	double outputChannels = 0;
};

struct InstrumentState
{
	double mixScratch[2] = {0, 0};
	double fixedVelocity = 0;
	double performanceVelocity = DEFAULT_PERFORMANCE_VELOCITY;
	bool prepared = false;
	double quantumPosition = 0;
	double sampleRate = 48000;
	std::unique_ptr<GongVoiceBank> bank;

	// Rendering memory, allocated with the state.
	std::unique_ptr<RenderScratch> scratch;
	double mixLeft[GONG_MAX_FRAMES] = {};
	double mixRight[GONG_MAX_FRAMES] = {};
};

/** Parameter path of index 0..25, or null. */
const char* instrumentParameterPath (int index);

/** A new state, bank built for 48000 Hz; null when memory runs out. */
std::unique_ptr<InstrumentState> createState ();

/** Accepts a finite positive rate, a maximum block of exactly 128 frames, no
 *  inputs and two outputs; starts from a fresh bank. False when refused, or
 *  when the new bank cannot be made (`outOfMemory` is then set). */
bool prepare (InstrumentState& state, const PrepareContext& context, bool* outOfMemory = nullptr);

bool setParameter (InstrumentState& state, const char* path, double value);
bool applyParameter (InstrumentState& state, int index, double value);
bool handleEvent (InstrumentState& state, int kind, double note, double value);
bool process (InstrumentState& state, const ProcessBlock& block);

/** Fresh bank and performance settings; keeps the rate and the prepared
 *  flag. False (nothing changed) when the new bank cannot be made. */
bool reset (InstrumentState& state);

} // namespace tavik::kernel
