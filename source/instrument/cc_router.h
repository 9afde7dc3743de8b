// What the processor does with MIDI controllers, free of the SDK: each
// controller message of a block is resolved through the CC map the reader
// side of a CcMapStore holds, the results become parameter changes at the
// message's frame, and the performance controllers act on the notes:
// sustain (64) holds note-offs while the pedal is down, all sound off (120)
// fades every voice at once, all notes off (123) releases the channel's
// notes. Audio thread only; it never allocates, locks or waits.
#pragma once

#include "cc_activity_feed.h"
#include "cc_map_store.h"
#include "cc_resolve.h"
#include "cc_router_state.h"
#include "kernel_engine.h"
#include "midi_controller_params.h"

#include <cstdint>

namespace tavik {

class CcRouter
{
public:
	/** Receives each parameter value a controller set, at its frame. */
	using Report = void (*) (void* context, uint32_t paramIndex, int frame, double normalized);
	/** The host's last change of `paramIndex` at or before `frame` in this
	 *  block: its frame and normalized value; false when it sent none. */
	using HostChangeAt = bool (*) (void* context, uint32_t paramIndex, int frame, int& changeFrame, double& normalized);

	/** Every controller 0..127 routed is noted in `activity` for the
	 *  editor's drawer and MIDI learn. */
	CcRouter (KernelEngine& target, CcMapStore& maps, CcActivityFeed& activity)
		: engine (target), store (maps), feed (activity)
	{
	}

	/** Takes the block's map from the store. `hostChange` (may be null)
	 *  finds the host's own changes of the block quickly; without it the
	 *  engine's queue is searched. */
	void beginBlock (HostChangeAt hostChange = nullptr, void* hostContext = nullptr) noexcept;
	/** Ends the block: the map taken may be freed after the next one. */
	void endBlock () noexcept
	{
		map = nullptr;
		store.advanceReaderEpoch ();
	}

	/** Controller `number` (0..129) on `channel` (0..15) moved to `value`
	 *  (0..127) at `frame`. */
	void controller (uint32_t channel, uint32_t number, int value, int frame, Report report, void* context) noexcept;

	/** A parameter's normalized value at `frame` of the block being routed:
	 *  the later of the host's last change and this router's last result at
	 *  or before it (the router's at one frame, as it is queued after the
	 *  host's), else the engine's. Messages are routed in frame order, so
	 *  every result so far lies at or before `frame`. */
	double valueAt (uint32_t paramIndex, int frame) const noexcept;

	/** After a block without audio (whose changes only became values): the
	 *  last value each controller gave a parameter in it is queued again
	 *  at its frame for the next block, as the host's changes are. */
	void requeueResults () noexcept;

	void noteOn (int pitch, double velocity, int frame, uint32_t route, uint32_t channel) noexcept;
	/** Held while the channel's sustain pedal is down. */
	void noteOff (int pitch, int frame, uint32_t route, uint32_t channel) noexcept;

	bool pedalDown (uint32_t channel) const { return channel < MIDI_CHANNELS && pedal[channel]; }

	/** The most results one message can have (every binding matching). */
	static constexpr uint32_t RESULT_CAPACITY = CC_MAP_CAPACITY;

private:
	void releaseHeld (uint32_t channel, int frame, bool keysToo) noexcept;

	KernelEngine& engine;
	CcMapStore& store;
	CcActivityFeed& feed;
	const CcMap* map = nullptr;
	CcRouterState state;
	CcResolution results[RESULT_CAPACITY];
	// The slots of each controller in `indexedMap`, worked out when a block
	// first sees a map.
	const CcMap* indexedMap = nullptr;
	uint64_t slotsOf[128] = {};
	HostChangeAt hostChangeAt = nullptr;
	void* hostChangeContext = nullptr;
	bool resultThisBlock[TAVIK_PARAM_COUNT] = {};
	int resultFrame[TAVIK_PARAM_COUNT] = {};
	double resultValue[TAVIK_PARAM_COUNT] = {};
	bool pedal[MIDI_CHANNELS] = {};
	bool keyDown[MIDI_CHANNELS][128] = {};
	bool held[MIDI_CHANNELS][128] = {};
};

} // namespace tavik
