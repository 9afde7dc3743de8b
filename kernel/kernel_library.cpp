// The kernel's library interface: slots, handles, per-slot event queues and
// output regions, and the frame-ordered dispatch of events into the
// instrument module.
//
// Instances are created, used and destroyed on several threads at once
// (one per host track), so the slot table is claimed atomically: a slot
// goes free -> claiming -> active, and only its claimer writes it until it
// is active; from then on only the handle's owner uses it. Everything else
// a slot holds is reached only through its own handle.

#include "tavik_kernel.h"
#include "instrument.h"
#include "kernel_runtime.h"
#include "mode_resonators.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace tavik::kernel {

namespace {

constexpr uint32_t MAX_INSTANCES = TAVIK_KERNEL_MAX_INSTANCES;
constexpr uint32_t MAX_FRAMES = TAVIK_KERNEL_MAX_FRAMES;
constexpr uint32_t OUT_CHANNELS = TAVIK_KERNEL_OUT_CHANNELS;
constexpr uint32_t MAX_EVENTS = TAVIK_KERNEL_MAX_EVENTS;
constexpr uint32_t PARAMETER_COUNT = TAVIK_KERNEL_PARAMETER_COUNT;
constexpr uint32_t SLOT_FLOATS = OUT_CHANNELS * MAX_FRAMES;

// Slot states (the `active` table).
constexpr uint8_t SLOT_FREE = 0;
constexpr uint8_t SLOT_ACTIVE = 1;
constexpr uint8_t SLOT_CLAIMING = 2;

// One instance's tables. Made the first time its slot is claimed and kept
// (reused by later claims) until the library goes, so that the output view
// an engine holds stays valid and idle slots cost nothing.
struct Slot
{
	uint32_t maximumBlockSize = 0;
	uint32_t eventFrames[MAX_EVENTS] = {};
	uint32_t eventKinds[MAX_EVENTS] = {};
	uint32_t eventParameters[MAX_EVENTS] = {};
	int32_t eventA[MAX_EVENTS] = {};
	float eventValues[MAX_EVENTS] = {};
	uint32_t eventCount = 0;
	std::unique_ptr<InstrumentState> state;
	ProcessBlock block;
	alignas (64) float output[SLOT_FLOATS] = {};
};

struct Library
{
	std::atomic<uint8_t> active[MAX_INSTANCES] = {};
	std::atomic<uint32_t> generations[MAX_INSTANCES] = {};
	// Written only by a slot's claimer, before the claim ends.
	std::unique_ptr<Slot> slots[MAX_INSTANCES];
};

std::unique_ptr<Library> gLibrary;
const float kEmptyView[1] = {0};

// Slot of a handle, or -1 when the handle is not a live instance.
int slotFor (uint32_t handle)
{
	if (!gLibrary || handle == 0)
		return -1;
	const uint32_t slot = (handle - 1) % MAX_INSTANCES;
	if (gLibrary->active[slot].load (std::memory_order_acquire) != SLOT_ACTIVE)
		return -1;
	const uint32_t generation = (handle - 1) / MAX_INSTANCES + 1;
	return generation == gLibrary->generations[slot].load (std::memory_order_relaxed) ? static_cast<int> (slot) : -1;
}

double handleFor (uint32_t slot)
{
	const uint32_t generation = gLibrary->generations[slot].load (std::memory_order_relaxed);
	return static_cast<double> (slot) + static_cast<double> (MAX_INSTANCES) * (static_cast<double> (generation) - 1) +
	       1;
}

// Claims the lowest free slot for the calling thread; MAX_INSTANCES when
// every slot is taken.
uint32_t claimSlot ()
{
	for (uint32_t slot = 0; slot < MAX_INSTANCES; ++slot)
	{
		uint8_t expected = SLOT_FREE;
		if (gLibrary->active[slot].compare_exchange_strong (expected, SLOT_CLAIMING, std::memory_order_acquire))
			return slot;
	}
	return MAX_INSTANCES;
}

// Ends a claim: the slot becomes active (its writes published to whichever
// thread uses the handle next) or free again.
void endClaim (uint32_t slot, bool activate)
{
	gLibrary->active[slot].store (activate ? SLOT_ACTIVE : SLOT_FREE, std::memory_order_release);
}

bool applyDefaults (InstrumentState& state)
{
	for (uint32_t i = 0; i < PARAMETER_COUNT; ++i)
		if (!applyParameter (state, static_cast<int> (i), TAVIK_KERNEL_PARAMETER_DEFAULTS[i]))
			return false;
	return true;
}

// The tables of a live instance's slot, or null when the handle is none.
Slot* liveSlot (uint32_t handle)
{
	const int slot = slotFor (handle);
	return slot < 0 ? nullptr : gLibrary->slots[slot].get ();
}

// Renders [from, to) of the slot's region.
bool renderSegment (Slot& slot, uint32_t from, uint32_t to)
{
	slot.block.offset = from;
	slot.block.frames = to - from;
	return process (*slot.state, slot.block);
}

// The slot's tables, made at its first claim: false when memory runs out.
bool makeSlotTables (uint32_t slot)
{
	if (gLibrary->slots[slot])
		return true;
	std::unique_ptr<Slot> made (new (std::nothrow) Slot);
	if (!made)
		return false;
	ProcessBlock& block = made->block;
	block.capacity = MAX_FRAMES;
	block.inputView = kEmptyView;
	block.inputLength = 0;
	block.inputChannels = 0;
	block.outputView = made->output;
	block.outputLength = SLOT_FLOATS;
	block.outputChannels = OUT_CHANNELS;
	gLibrary->slots[slot] = std::move (made);
	return true;
}

// Dispatches the group of queued events at the frame of event `e`:
// parameters first, then the rest, each in queue order. `e` moves past the
// group. False when the instrument refused one.
bool dispatchGroup (Slot& slot, uint32_t& e)
{
	InstrumentState& state = *slot.state;
	const uint32_t count = slot.eventCount;
	const uint32_t frame = slot.eventFrames[e];
	uint32_t groupEnd = e;
	while (groupEnd < count && slot.eventFrames[groupEnd] == frame)
		++groupEnd;
	for (uint32_t k = e; k < groupEnd; ++k)
		if (slot.eventKinds[k] == TAVIK_KERNEL_EVENT_PARAMETER &&
		    !applyParameter (state, static_cast<int> (slot.eventParameters[k]), slot.eventValues[k]))
			return false;
	for (uint32_t k = e; k < groupEnd; ++k)
		if (slot.eventKinds[k] != TAVIK_KERNEL_EVENT_PARAMETER &&
		    !handleEvent (state, static_cast<int> (slot.eventKinds[k]), slot.eventA[k], slot.eventValues[k]))
			return false;
	e = groupEnd;
	return true;
}

} // namespace

} // namespace tavik::kernel

using namespace tavik::kernel;
namespace runtime = tavik::kernel::runtime;

extern "C" {

int32_t TAVIK_KERNEL_FN (runtime_init) (void)
{
	runtime::EntryScope entry ("runtime_init");
	try
	{
		gLibrary = std::make_unique<Library> ();
	}
	catch (const std::bad_alloc&)
	{
		runtime::setPendingError ("vexil: out of memory\n");
		return 1;
	}
	applySimdPathOverride ();
	return 0;
}

void TAVIK_KERNEL_FN (set_panic_sink) (tavik_kernel_panic_sink sink, void* context)
{
	runtime::checkNotInHostCallback ("set_panic_sink");
	runtime::setPanicSink (sink, context);
}

void TAVIK_KERNEL_FN (collect) (void)
{
	runtime::EntryScope entry ("collect", false);
	runtime::releaseViews ();
}

double TAVIK_KERNEL_FN (abi_version) (void)
{
	runtime::EntryScope entry ("abi_version");
	return 2.0;
}

double TAVIK_KERNEL_FN (create) (uint32_t maxFrames, uint32_t inputChannels, uint32_t outputChannels, double sampleRate)
{
	runtime::EntryScope entry ("create");
	if (!gLibrary || !(sampleRate > 0) || !std::isfinite (sampleRate) || maxFrames == 0 || maxFrames > MAX_FRAMES ||
	    inputChannels != 0 || outputChannels != OUT_CHANNELS)
		return 0;
	const uint32_t index = claimSlot ();
	if (index == MAX_INSTANCES)
		return 0;
	uint32_t generation = gLibrary->generations[index].load (std::memory_order_relaxed) + 1;
	if (generation == 0)
		generation = 1;
	gLibrary->generations[index].store (generation, std::memory_order_relaxed);

	std::unique_ptr<InstrumentState> state = makeSlotTables (index) ? createState () : nullptr;
	if (!state)
	{
		if (gLibrary->slots[index])
			gLibrary->slots[index]->maximumBlockSize = 0;
		endClaim (index, false);
		runtime::setPendingError ("vexil: out of memory\n");
		return 0;
	}
	Slot& slot = *gLibrary->slots[index];
	PrepareContext context;
	context.inputChannels = 0;
	context.maxBlockSize = maxFrames;
	context.outputChannels = OUT_CHANNELS;
	context.sampleRate = static_cast<double> (static_cast<float> (sampleRate));
	bool outOfMemory = false;
	if (!prepare (*state, context, &outOfMemory))
	{
		slot.maximumBlockSize = 0;
		endClaim (index, false);
		if (outOfMemory)
			runtime::setPendingError ("vexil: out of memory\n");
		return 0;
	}
	slot.state = std::move (state);
	slot.maximumBlockSize = maxFrames;
	slot.eventCount = 0;
	if (!applyDefaults (*slot.state))
	{
		slot.maximumBlockSize = 0;
		endClaim (index, false);
		return 0;
	}
	std::memset (slot.output, 0, sizeof slot.output);
	endClaim (index, true);
	return handleFor (index);
}

double TAVIK_KERNEL_FN (instances) (void)
{
	runtime::EntryScope entry ("instances");
	if (!gLibrary)
		return 0;
	uint32_t live = 0;
	for (const std::atomic<uint8_t>& a : gLibrary->active)
		live += a.load (std::memory_order_relaxed) == SLOT_ACTIVE ? 1 : 0;
	return live;
}

double TAVIK_KERNEL_FN (destroy) (uint32_t handle)
{
	runtime::EntryScope entry ("destroy");
	const int index = slotFor (handle);
	if (index < 0)
		return 1;
	Slot& slot = *gLibrary->slots[index];
	slot.maximumBlockSize = 0;
	slot.eventCount = 0;
	endClaim (static_cast<uint32_t> (index), false);
	return 0;
}

double TAVIK_KERNEL_FN (push_event) (uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value)
{
	runtime::EntryScope entry ("push_event");
	Slot* const live = liveSlot (handle);
	if (!live)
		return 1;
	Slot& slot = *live;
	if (frame >= slot.maximumBlockSize)
		return 1;
	const bool inUnit = value >= 0 && value <= 1;
	switch (kind)
	{
		case TAVIK_KERNEL_EVENT_PARAMETER:
			if (a >= PARAMETER_COUNT)
				return 2;
			break;
		case TAVIK_KERNEL_EVENT_NOTE_ON:
			if (a > 127 || (!inUnit && !(value >= 2 && value <= 3)))
				return 2;
			break;
		case TAVIK_KERNEL_EVENT_NOTE_OFF:
			if (a > 127 || value != 0)
				return 2;
			break;
		case TAVIK_KERNEL_EVENT_CONTROL_CHANGE:
			if (a > 127 || !inUnit)
				return 2;
			break;
		default: return 2;
	}
	if (!std::isfinite (value))
		return 3;
	const uint32_t count = slot.eventCount;
	if (count >= MAX_EVENTS)
		return 3;
	if (count > 0 && frame < slot.eventFrames[count - 1])
		return 4;
	slot.eventFrames[count] = frame;
	slot.eventKinds[count] = kind;
	slot.eventParameters[count] = kind == TAVIK_KERNEL_EVENT_PARAMETER ? a : 0;
	slot.eventA[count] = kind == TAVIK_KERNEL_EVENT_PARAMETER ? 0 : static_cast<int32_t> (a);
	slot.eventValues[count] = static_cast<float> (value);
	slot.eventCount = count + 1;
	return 0;
}

double TAVIK_KERNEL_FN (process) (uint32_t handle, uint32_t frames)
{
	runtime::EntryScope entry ("process");
	Slot* const live = liveSlot (handle);
	if (!live)
		return 1;
	Slot& slot = *live;
	if (frames > slot.maximumBlockSize)
		return 1;
	uint32_t cursor = 0;
	uint32_t e = 0;
	while (e < slot.eventCount)
	{
		const uint32_t frame = slot.eventFrames[e];
		if (frame >= frames)
			break;
		if (frame > cursor)
		{
			if (!renderSegment (slot, cursor, frame))
				return 2;
			cursor = frame;
		}
		if (!dispatchGroup (slot, e))
			return 2;
	}
	if (cursor < frames && !renderSegment (slot, cursor, frames))
		return 2;
	slot.eventCount = 0;
	return 0;
}

double TAVIK_KERNEL_FN (apply_events) (uint32_t handle)
{
	runtime::EntryScope entry ("apply_events");
	Slot* const live = liveSlot (handle);
	if (!live)
		return 1;
	Slot& slot = *live;
	uint32_t e = 0;
	if (slot.eventCount > 0 && slot.eventFrames[0] == 0 && !dispatchGroup (slot, e))
		return 2;
	slot.eventCount = 0;
	return 0;
}

double TAVIK_KERNEL_FN (reset) (uint32_t handle)
{
	runtime::EntryScope entry ("reset");
	Slot* const live = liveSlot (handle);
	if (!live)
		return 1;
	Slot& slot = *live;
	InstrumentState& state = *slot.state;
	if (!reset (state))
	{
		runtime::setPendingError ("vexil: out of memory\n");
		return 2;
	}
	if (!applyDefaults (state))
		return 2;
	slot.eventCount = 0;
	std::memset (slot.output, 0, sizeof slot.output);
	return 0;
}

void TAVIK_KERNEL_FN (input_view) (uint32_t handle, const float** data, uint32_t* length)
{
	runtime::EntryScope entry ("input_view");
	(void) handle;
	if (data)
		*data = kEmptyView;
	if (length)
		*length = 0;
	runtime::noteViewHandedOut ();
}

void TAVIK_KERNEL_FN (output_view) (uint32_t handle, float** data, uint32_t* length)
{
	runtime::EntryScope entry ("output_view");
	Slot* const live = liveSlot (handle);
	if (data)
		*data = live ? live->output : const_cast<float*> (kEmptyView);
	if (length)
		*length = live ? SLOT_FLOATS : 0;
	runtime::noteViewHandedOut ();
}

} // extern "C"
