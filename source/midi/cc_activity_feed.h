// Controller activity for the UI: the thread that sees MIDI notes the
// latest value and channel of each controller number without blocking; the
// UI side drains those notes at most once per 33 ms per controller, so a
// burst of messages becomes one update carrying the latest value. One
// producer thread and one consumer thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace tavik {

/** One controller's latest activity, as drained. */
struct CcActivityRecord
{
	uint8_t cc;
	uint8_t channel;
	uint8_t value;
};

class CcActivityFeed
{
public:
	/** The shortest time between two deliveries of one controller. */
	static constexpr int64_t MIN_INTERVAL_MS = 33;
	static constexpr int CONTROLLER_COUNT = 128;

	CcActivityFeed () noexcept;
	CcActivityFeed (const CcActivityFeed&) = delete;
	CcActivityFeed& operator= (const CcActivityFeed&) = delete;

	/** The steady clock in whole milliseconds. */
	static int64_t nowMs () noexcept;

	/** Producer: notes `value` (low 7 bits) on `channel` (low 8 bits) for
	 *  controller `cc`; a value not yet drained is replaced. A controller
	 *  outside 0..127 is ignored. */
	void record (int cc, int channel, int value) noexcept;

	/** Consumer: writes the waiting controllers that are due, lowest
	 *  number first, and returns how many it wrote. A controller delivered
	 *  less than 33 ms before `now` stays waiting for a later drain. */
	uint32_t drain (int64_t now, CcActivityRecord* out, uint32_t capacity) noexcept;

	/** Whether some controller may be waiting. A hint: a consumer that
	 *  drains on every tick never needs it. */
	bool hasPending () const noexcept { return pending.load (std::memory_order_acquire); }

private:
	// Value, channel and the waiting bit share one word so that they change
	// together.
	static constexpr uint32_t WAITING = 1u << 16;

	bool anyWaiting () const noexcept;

	std::atomic<uint32_t> slots[CONTROLLER_COUNT];
	std::atomic<bool> pending {false};
	int64_t lastEmitMs[CONTROLLER_COUNT]; // consumer only
};

static_assert (sizeof (CcActivityRecord) == 3, "a drained record is three bytes");

} // namespace tavik
