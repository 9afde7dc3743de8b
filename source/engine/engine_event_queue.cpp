#include "engine_event_queue.h"

#include <cstring>
#include <new>

namespace tavik {

bool EngineEventQueue::reserve (int capacity)
{
	if (capacity <= storageSize)
		return true;
	std::unique_ptr<EngineEvent[]> grown (new (std::nothrow) EngineEvent[static_cast<size_t> (capacity)]);
	std::unique_ptr<EngineEvent[]> sortRoom (new (std::nothrow) EngineEvent[static_cast<size_t> (capacity)]);
	if (!grown || !sortRoom)
		return false;
	for (int i = 0; i < count; ++i)
		grown[i] = events[i];
	events = std::move (grown);
	scratch = std::move (sortRoom);
	storageSize = capacity;
	return true;
}

bool EngineEventQueue::push (const EngineEvent& event)
{
	const bool parameter = event.kind == EngineEvent::PARAMETER;
	if (count < (parameter ? storageSize - NOTE_EVENT_CAPACITY : storageSize))
	{
		events[count++] = event;
		if (parameter && event.index < TAVIK_PARAM_COUNT)
			queuedParameters |= 1u << event.index;
		return true;
	}
	// A host sending more points than the block has frames: the parameter's
	// last value still takes effect, after the block.
	if (parameter && event.index < TAVIK_PARAM_COUNT)
	{
		overflowValues[event.index] = event.value;
		overflowed[event.index] = true;
		anyOverflow = true;
	}
	return false;
}

void EngineEventQueue::dropFront (int n)
{
	if (n <= 0)
		return;
	if (n >= count)
	{
		clear ();
		return;
	}
	std::memmove (events.get (), events.get () + n, sizeof (EngineEvent) * static_cast<size_t> (count - n));
	count -= n;
}

} // namespace tavik
