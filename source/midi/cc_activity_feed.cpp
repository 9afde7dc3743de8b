#include "cc_activity_feed.h"

#include <chrono>
#include <limits>

namespace tavik {

namespace {

// Never delivered: due at any time.
constexpr int64_t NEVER = std::numeric_limits<int64_t>::min ();

bool due (int64_t now, int64_t last)
{
	if (last == NEVER)
		return true;
	int64_t elapsed = 0;
	if (__builtin_sub_overflow (now, last, &elapsed))
		return now > last;
	return elapsed >= CcActivityFeed::MIN_INTERVAL_MS;
}

} // namespace

CcActivityFeed::CcActivityFeed () noexcept
{
	for (int cc = 0; cc < CONTROLLER_COUNT; ++cc)
	{
		slots[cc].store (0, std::memory_order_relaxed);
		lastEmitMs[cc] = NEVER;
	}
}

int64_t CcActivityFeed::nowMs () noexcept
{
	const auto ns =
		std::chrono::duration_cast<std::chrono::nanoseconds> (std::chrono::steady_clock::now ().time_since_epoch ());
	return static_cast<int64_t> (ns.count () / 1000000);
}

void CcActivityFeed::record (int cc, int channel, int value) noexcept
{
	if (static_cast<unsigned> (cc) >= static_cast<unsigned> (CONTROLLER_COUNT))
		return;
	const uint32_t word =
		WAITING | (static_cast<uint32_t> (channel) & 0xFFu) << 8 | (static_cast<uint32_t> (value) & 0x7Fu);
	slots[cc].store (word, std::memory_order_release);
	pending.store (true, std::memory_order_release);
}

uint32_t CcActivityFeed::drain (int64_t now, CcActivityRecord* out, uint32_t capacity) noexcept
{
	if (!out || capacity == 0)
		return 0;
	uint32_t written = 0;
	bool remains = false;
	for (int cc = 0; cc < CONTROLLER_COUNT; ++cc)
	{
		if (!(slots[cc].load (std::memory_order_relaxed) & WAITING))
			continue;
		if (written == capacity || !due (now, lastEmitMs[cc]))
		{
			remains = true;
			continue;
		}
		// An exchange, so that a value recorded since the check above is
		// taken rather than cleared.
		const uint32_t word = slots[cc].exchange (0, std::memory_order_acquire);
		if (word & WAITING)
		{
			out[written++] = CcActivityRecord {static_cast<uint8_t> (cc), static_cast<uint8_t> (word >> 8),
			                                   static_cast<uint8_t> (word & 0x7Fu)};
			lastEmitMs[cc] = now;
		}
	}
	// A value recorded during the drain must not be hidden by the store
	// below: the rescan's loads stay after it.
	pending.store (remains, std::memory_order_seq_cst);
	if (!remains && anyWaiting ())
		pending.store (true, std::memory_order_release);
	return written;
}

bool CcActivityFeed::anyWaiting () const noexcept
{
	for (const std::atomic<uint32_t>& slot : slots)
		if (slot.load (std::memory_order_seq_cst) & WAITING)
			return true;
	return false;
}

} // namespace tavik
