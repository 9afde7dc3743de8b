#include "cc_router.h"

namespace tavik {

namespace {

struct CurrentAt
{
	const CcRouter* router;
	int frame;
};

// The parameter's value at the message's frame, changes queued earlier in
// the block included, so pickup and takeover compare with what is heard.
double currentValueAt (void* context, uint32_t paramIndex)
{
	const auto* at = static_cast<const CurrentAt*> (context);
	return at->router->valueAt (paramIndex, at->frame);
}

} // namespace

void CcRouter::beginBlock (HostChangeAt hostChange, void* hostContext) noexcept
{
	map = &store.readerMap ();
	// Checked every block, not at the first message: a map freed and a new
	// one made at its address would otherwise inherit its index and state.
	// A copy is freed only after two blocks that read a later one.
	if (map != indexedMap)
	{
		ccIndexBindings (*map, slotsOf);
		state.reset (map);
		indexedMap = map;
	}
	hostChangeAt = hostChange;
	hostChangeContext = hostContext;
	for (bool& r : resultThisBlock)
		r = false;
}

double CcRouter::valueAt (uint32_t paramIndex, int frame) const noexcept
{
	if (paramIndex >= TAVIK_PARAM_COUNT)
		return 0;
	if (!hostChangeAt)
		return engine.paramNormalizedAt (paramIndex, frame);
	int hostFrame = 0;
	double hostValue = 0;
	const bool fromHost = hostChangeAt (hostChangeContext, paramIndex, frame, hostFrame, hostValue);
	// A queued value counts as the engine will hold it: through its plain value.
	const tavik_param_desc* row = &TAVIK_PARAMS[paramIndex];
	if (fromHost && (!resultThisBlock[paramIndex] || hostFrame > resultFrame[paramIndex]))
		return tavik_param_normalize (row, tavik_param_plain (row, hostValue));
	if (resultThisBlock[paramIndex])
		return tavik_param_normalize (row, tavik_param_plain (row, resultValue[paramIndex]));
	return engine.paramNormalizedAt (paramIndex, frame);
}

void CcRouter::controller (uint32_t channel, uint32_t number, int value, int frame, Report report,
                           void* context) noexcept
{
	if (channel >= MIDI_CHANNELS || number >= MIDI_CONTROLLER_NUMBERS)
		return;
	const int v = value < 0 ? 0 : value > 127 ? 127 : value;
	const int n = static_cast<int> (number);
	feed.record (n, static_cast<int> (channel) + 1, v);
	if (n == MIDI_CC_SUSTAIN)
	{
		const bool down = v >= 64;
		if (pedal[channel] && !down)
			releaseHeld (channel, frame, false);
		pedal[channel] = down;
	}
	else if (n == MIDI_CC_ALL_SOUND_OFF)
	{
		// The kernel fades every voice; nothing is left to release.
		engine.pushAllSoundOff (frame);
		for (uint32_t c = 0; c < MIDI_CHANNELS; ++c)
			for (bool& h : held[c])
				h = false;
	}
	else if (n == MIDI_CC_ALL_NOTES_OFF)
		releaseHeld (channel, frame, true);

	// A binding on any controller, a performance one included, works as well.
	if (!map)
		return;
	if (n >= 128 || slotsOf[n] == 0)
		return;
	CurrentAt at {this, frame};
	const uint32_t count = ccResolveSlots (*map, slotsOf[n], n, static_cast<int> (channel) + 1, v, &state,
	                                       currentValueAt, &at, results, RESULT_CAPACITY);
	for (uint32_t i = 0; i < count; ++i)
	{
		const uint32_t index = results[i].paramIndex;
		if (!engine.pushParamNormalized (index, results[i].value, frame))
			continue;
		resultThisBlock[index] = true;
		resultFrame[index] = frame;
		resultValue[index] = results[i].value;
		if (report)
			report (context, index, frame, results[i].value);
	}
}

void CcRouter::requeueResults () noexcept
{
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		if (resultThisBlock[i])
			engine.pushParamNormalized (i, resultValue[i], resultFrame[i]);
}

void CcRouter::noteOn (int pitch, double velocity, int frame, uint32_t route, uint32_t channel) noexcept
{
	const uint32_t c = channel & 15u;
	if (pitch >= 0 && pitch < 128)
	{
		keyDown[c][pitch] = true;
		held[c][pitch] = false;
	}
	engine.pushNoteOn (pitch, velocity, frame, route, c);
}

void CcRouter::noteOff (int pitch, int frame, uint32_t route, uint32_t channel) noexcept
{
	const uint32_t c = channel & 15u;
	if (pitch >= 0 && pitch < 128)
	{
		keyDown[c][pitch] = false;
		if (pedal[c])
		{
			held[c][pitch] = true;
			return;
		}
	}
	engine.pushNoteOff (pitch, frame, route, c);
}

void CcRouter::releaseHeld (uint32_t channel, int frame, bool keysToo) noexcept
{
	for (int p = 0; p < 128; ++p)
	{
		if (held[channel][p] || (keysToo && keyDown[channel][p]))
			engine.pushNoteOff (p, frame, 0, channel);
		held[channel][p] = false;
		if (keysToo)
			keyDown[channel][p] = false;
	}
}

} // namespace tavik
