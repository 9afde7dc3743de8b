// Coded diagnostics posted from the audio thread: a 32-entry single-producer
// single-consumer queue with an overflow count. Posting never blocks and
// never allocates; the control thread drains the entries into a record ring
// and writes their text there.
#pragma once

#include "runtime_diagnostics.h"

#include <atomic>
#include <cstdint>

namespace tavik {

class RealtimeDiagnosticQueue
{
public:
	static constexpr uint32_t CAPACITY = 32;

	RealtimeDiagnosticQueue ();

	/** Audio thread. The entry is lost (and counted) when the queue is full. */
	void post (uint32_t code, uint8_t severity, uint8_t phase);

	/** Control thread: moves every posted entry into `ring`, then records
	 *  the overflow, if any. */
	void drainInto (tavik_runtime_diagnostic_ring& ring);

	/** Entries posted and not drained, or lost since the last drain. */
	bool hasPending () const;

private:
	struct Entry
	{
		uint32_t code;
		uint8_t severity;
		uint8_t phase;
		uint16_t reserved;
	};

	Entry entries[CAPACITY];
	std::atomic<uint32_t> writeIndex {0};
	std::atomic<uint32_t> readIndex {0};
	std::atomic<uint32_t> overflow {0};
};

} // namespace tavik
