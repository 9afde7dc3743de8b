#include "instrument.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace tavik::kernel {

namespace {

const char* const kPaths[INSTRUMENT_PARAM_COUNT] = {
	"ir.instrument",        "ir.size",         "ir.decayScale", "ir.damping",      "ir.stereoWidth",
	"strike.position",      "strike.velTone",  "mallet.type",   "exciter.noise",   "bloom.amount",
	"bloom.time",           "glide.amount",    "ombak.amount",  "ombak.rate",      "amp.decay",
	"amp.release",          "tuning.baseFreq", "master.level",  "model.stiffness", "model.coupling",
	"model.edgeLoss",       "model.radiation", "glide.depth",   "glide.time",      "performance.fixedVelocity",
	"performance.velocity",
};

bool isWhole (double v) { return std::isfinite (v) && std::floor (v) == v; }

std::unique_ptr<GongVoiceBank> tryNewBank (double sampleRate)
{
	try
	{
		return initGongVoice (sampleRate);
	}
	catch (const std::bad_alloc&)
	{
		return nullptr;
	}
}

} // namespace

const char* instrumentParameterPath (int index)
{
	return index >= 0 && index < INSTRUMENT_PARAM_COUNT ? kPaths[index] : nullptr;
}

std::unique_ptr<InstrumentState> createState ()
{
	try
	{
		auto state = std::make_unique<InstrumentState> ();
		state->bank = initGongVoice (48000);
		state->scratch = std::make_unique<RenderScratch> ();
		return state;
	}
	catch (const std::bad_alloc&)
	{
		return nullptr;
	}
}

bool prepare (InstrumentState& state, const PrepareContext& context, bool* outOfMemory)
{
	state.prepared = false;
	if (!(std::isfinite (context.sampleRate) && context.sampleRate > 0) || context.maxBlockSize != GONG_MAX_FRAMES ||
	    context.inputChannels != 0 || context.outputChannels != 2)
		return false;
	state.sampleRate = context.sampleRate;
	std::unique_ptr<GongVoiceBank> bank = tryNewBank (state.sampleRate);
	if (!bank)
	{
		if (outOfMemory)
			*outOfMemory = true;
		return false;
	}
	state.bank = std::move (bank);
	state.fixedVelocity = 0;
	state.performanceVelocity = DEFAULT_PERFORMANCE_VELOCITY;
	state.quantumPosition = 0;
	state.prepared = true;
	return true;
}

namespace {

// Parameter `index` (0..25) takes `value`: what setParameter does once it
// has found the path.
bool applyIndexed (InstrumentState& state, int index, double value)
{
	if (!state.bank || !std::isfinite (value))
		return false;
	if (index == PARAM_PERFORMANCE_FIXED_VELOCITY)
		state.fixedVelocity = value >= 0.5 ? 1 : 0;
	else if (index == PARAM_PERFORMANCE_VELOCITY)
		state.performanceVelocity = value < 0 ? 0 : value > 1 ? 1 : value;
	else
		setGongParam (*state.bank, index, value);
	return true;
}

} // namespace

bool setParameter (InstrumentState& state, const char* path, double value)
{
	if (!path || !state.bank)
		return false;
	for (int i = 0; i < INSTRUMENT_PARAM_COUNT; ++i)
		if (std::strcmp (kPaths[i], path) == 0)
			return applyIndexed (state, i, value);
	return false;
}

// The index's path, as setParameter would take it, without looking it up
// again (automation sends one of these per parameter and frame).
bool applyParameter (InstrumentState& state, int index, double value)
{
	return index >= 0 && index < INSTRUMENT_PARAM_COUNT && applyIndexed (state, index, value);
}

bool handleEvent (InstrumentState& state, int kind, double note, double value)
{
	if (!std::isfinite (note) || !std::isfinite (value) || note < 0 || note > 127 || !state.bank)
		return false;
	GongVoiceBank& bank = *state.bank;
	if (kind == PROCESSOR_EVENT_CONTROL_CHANGE)
	{
		// Every voice, released ones and stolen ones' fades included; one
		// already fading faster keeps its fade.
		if (note != CONTROL_ALL_SOUND_OFF)
			return false;
		const double fadeFrames = std::floor (STEAL_FADE_SECONDS * bank.sampleRate);
		for (int v = 0; v < BANK_VOICES; ++v)
			if (bank.note[v] >= 0 && (bank.releaseFrames[v] == 0 || bank.releaseFrames[v] > fadeFrames))
				gongReleaseVoice (bank, v, STEAL_FADE_SECONDS);
		return true;
	}
	if (kind == PROCESSOR_EVENT_NOTE_OFF)
	{
		for (int v = 0; v < MAX_VOICES; ++v)
			if (bank.note[v] == note && bank.active[v] == 1)
				gongReleaseVoice (bank, v, bank.ampRelease);
		return true;
	}
	if (kind != PROCESSOR_EVENT_NOTE_ON)
		return false;

	const double velocity = state.fixedVelocity == 1 ? state.performanceVelocity : value;
	const double frequency = bank.baseFreq * std::pow (2.0, (note - 45) / 12);

	// Retrigger: a sounding voice of the same note rings out and stays busy.
	for (int v = 0; v < MAX_VOICES; ++v)
		if (bank.note[v] == note && bank.active[v] == 1)
			gongReleaseVoice (bank, v, bank.ampRelease);

	int voice = -1;
	for (int v = 0; v < MAX_VOICES; ++v)
	{
		if (bank.note[v] < 0)
		{
			voice = v;
			break;
		}
	}
	if (voice < 0)
	{
		// Steal the oldest strike; ties go to the lower voice. Its sound
		// fades out beside the new note instead of stopping dead.
		voice = 0;
		for (int v = 1; v < MAX_VOICES; ++v)
			if (bank.serial[v] < bank.serial[voice])
				voice = v;
		gongFadeStolenVoice (bank, voice);
		gongFreeVoice (bank, voice);
	}
	const double clamped = velocity < 0 ? 0 : velocity > 1 ? 1 : velocity;
	gongStrike (bank, voice, note, frequency, clamped);
	return true;
}

bool process (InstrumentState& state, const ProcessBlock& block)
{
	const double end = block.offset + block.frames;
	if (!state.prepared || !state.bank || !state.scratch || block.inputChannels != 0 || block.outputChannels != 2 ||
	    !isWhole (block.capacity) || block.capacity < 1 || !isWhole (block.offset) || block.offset < 0 ||
	    !isWhole (block.frames) || block.frames < 0 || block.frames > GONG_MAX_FRAMES || end > GONG_MAX_FRAMES ||
	    end > block.capacity || !block.outputView || static_cast<double> (block.outputLength) < 2 * block.capacity)
		return false;

	GongVoiceBank& bank = *state.bank;
	const size_t capacity = static_cast<size_t> (block.capacity);
	int i = static_cast<int> (block.offset);
	const int stop = static_cast<int> (end);
	while (i < stop)
	{
		if (state.quantumPosition == 0)
			for (int v = 0; v < BANK_VOICES; ++v)
				gongGlideQuantum (bank, v);
		// A run stops at the next quantum start so that the glide update
		// falls every 128 rendered frames however blocks are cut.
		const int toQuantumEnd = GONG_RENDER_QUANTUM - static_cast<int> (state.quantumPosition);
		const int run = stop - i < toQuantumEnd ? stop - i : toQuantumEnd;
		float* const left = block.outputView + i;
		float* const right = block.outputView + capacity + static_cast<size_t> (i);
		const bool sounding = anyVoiceSounds (bank);
		if (sounding)
			renderBankFrames (bank, *state.scratch, run, state.mixLeft, state.mixRight);
		if (!sounding)
		{
			// Nothing sounds: the mix is +0 whatever the level does.
			std::fill (left, left + run, 0.0f);
			std::fill (right, right + run, 0.0f);
			state.mixLeft[run - 1] = state.mixRight[run - 1] = 0;
			for (int k = 0; k < run && bank.levelRampLeft > 0; ++k)
				stepLevel (bank);
		}
		else if (bank.levelRampLeft > 0)
			for (int k = 0; k < run; ++k)
			{
				const double level = stepLevel (bank);
				left[k] = static_cast<float> (state.mixLeft[k] * level);
				right[k] = static_cast<float> (state.mixRight[k] * level);
			}
		else
		{
			const double level = bank.level;
			for (int k = 0; k < run; ++k)
			{
				left[k] = static_cast<float> (state.mixLeft[k] * level);
				right[k] = static_cast<float> (state.mixRight[k] * level);
			}
		}
		state.mixScratch[0] = state.mixLeft[run - 1];
		state.mixScratch[1] = state.mixRight[run - 1];
		state.quantumPosition += run;
		if (state.quantumPosition >= GONG_RENDER_QUANTUM)
			state.quantumPosition = 0;
		i += run;
	}
	return true;
}

bool reset (InstrumentState& state)
{
	std::unique_ptr<GongVoiceBank> bank = tryNewBank (state.sampleRate);
	if (!bank)
		return false;
	state.bank = std::move (bank);
	state.fixedVelocity = 0;
	state.performanceVelocity = DEFAULT_PERFORMANCE_VELOCITY;
	state.quantumPosition = 0;
	return true;
}

} // namespace tavik::kernel
