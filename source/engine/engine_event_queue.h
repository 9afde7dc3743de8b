// The events of the current host block on their way to the kernel: notes,
// controllers and parameter changes, kept in frame order. Its storage is
// sized before processing starts (never on the audio thread). Parameter
// changes leave room for NOTE_EVENT_CAPACITY notes and controllers; a
// parameter change the queue cannot take leaves its value behind, to take
// effect after the block.
#pragma once

#include "parameter_table.h"

#include <cstdint>
#include <memory>

namespace tavik {

struct EngineEvent
{
	enum Kind : uint32_t
	{
		PARAMETER = 0,
		NOTE_ON = 1,
		NOTE_OFF = 2,
		CONTROLLER = 3,
	};

	uint32_t kind;
	int32_t frame;
	uint32_t index;
	double value;
	int32_t note;
	uint32_t route;
	uint32_t channel;
	uint64_t hostFrame;
	uint8_t stamped;
};

class EngineEventQueue
{
public:
	/** Events a host block may queue besides its parameter changes. */
	static constexpr int NOTE_EVENT_CAPACITY = 2048;

	/** Grows the storage to `capacity` events, keeping what is queued;
	 *  false (nothing changed) when memory is short. */
	bool reserve (int capacity);
	/** False when the queue is full for the event's kind. */
	bool push (const EngineEvent& event);
	void clear ()
	{
		count = 0;
		queuedParameters = 0;
	}
	/** Drops the first `n` events, keeping the rest in order. */
	void dropFront (int n);
	/** Stable sort by `key (event)`: events with one key keep their order. */
	template <typename Key>
	void sortBy (Key key);

	int size () const { return count; }
	/** False only when no change of parameter `index` is queued (true may
	 *  also mean one was queued and has gone since). */
	bool mayHoldParameter (uint32_t index) const
	{
		return index < TAVIK_PARAM_COUNT && (queuedParameters >> index & 1u) != 0;
	}
	int capacity () const { return storageSize; }
	EngineEvent& operator[] (int i) { return events[i]; }
	const EngineEvent& operator[] (int i) const { return events[i]; }

	/** Calls `apply (index, value)` for each parameter whose change the
	 *  queue refused since the last call, with its last refused value. */
	template <typename Apply>
	void takeOverflowed (Apply apply);

private:
	std::unique_ptr<EngineEvent[]> events;
	std::unique_ptr<EngineEvent[]> scratch;
	int storageSize = 0;
	int count = 0;
	static_assert (TAVIK_PARAM_COUNT <= 32, "a bit per parameter");
	uint32_t queuedParameters = 0; // a bit per parameter with a change pushed since the queue was empty
	double overflowValues[TAVIK_PARAM_COUNT];
	bool overflowed[TAVIK_PARAM_COUNT] = {};
	bool anyOverflow = false;
};

} // namespace tavik

#include "stable_sort.h"

namespace tavik {

template <typename Key>
void EngineEventQueue::sortBy (Key key)
{
	stableSortBy (events.get (), scratch.get (), count, key);
}

template <typename Apply>
void EngineEventQueue::takeOverflowed (Apply apply)
{
	if (!anyOverflow)
		return;
	anyOverflow = false;
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
	{
		if (!overflowed[i])
			continue;
		overflowed[i] = false;
		apply (i, overflowValues[i]);
	}
}

} // namespace tavik
