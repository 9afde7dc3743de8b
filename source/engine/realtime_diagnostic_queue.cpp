#include "realtime_diagnostic_queue.h"

#include <cstdio>

namespace tavik {

namespace {

const char* drainedMessage (uint32_t code)
{
	switch (code)
	{
		case DIAG_PROCESS_FAILED: return "audio process callback failed; output was cleared";
		case DIAG_RATE_ADAPTER_INIT_FAILED: return "sample-rate adapter failed; output was cleared";
		default: return "runtime diagnostic observed on the audio callback";
	}
}

} // namespace

RealtimeDiagnosticQueue::RealtimeDiagnosticQueue ()
{
	for (Entry& e : entries)
		e = Entry {DIAG_UNKNOWN, DIAG_ERROR, PHASE_PROCESS, 0};
}

void RealtimeDiagnosticQueue::post (uint32_t code, uint8_t severity, uint8_t phase)
{
	const uint32_t w = writeIndex.load (std::memory_order_relaxed);
	const uint32_t r = readIndex.load (std::memory_order_acquire);
	if (w - r < CAPACITY)
	{
		entries[w % CAPACITY] = Entry {code, severity, phase, 0};
		writeIndex.store (w + 1, std::memory_order_seq_cst);
	}
	else
		overflow.fetch_add (1, std::memory_order_relaxed);
}

void RealtimeDiagnosticQueue::drainInto (tavik_runtime_diagnostic_ring& ring)
{
	uint32_t r = readIndex.load (std::memory_order_relaxed);
	const uint32_t w = writeIndex.load (std::memory_order_acquire);
	for (; r != w; ++r)
	{
		const Entry e = entries[r % CAPACITY];
		diagnosticRingAppend (ring, e.code, e.severity, e.phase, drainedMessage (e.code), "audio callback");
	}
	readIndex.store (w, std::memory_order_seq_cst);
	const uint32_t dropped = overflow.exchange (0);
	if (dropped != 0)
	{
		char detail[128];
		std::snprintf (detail, sizeof (detail), "dropped=%u; source=audio callback", dropped);
		diagnosticRingAppend (ring, DIAG_DIAGNOSTICS_OVERFLOW, DIAG_WARNING, PHASE_PROCESS,
		                      "audio diagnostic queue overflowed", detail);
	}
}

bool RealtimeDiagnosticQueue::hasPending () const
{
	return writeIndex.load (std::memory_order_acquire) != readIndex.load (std::memory_order_acquire) ||
	       overflow.load () != 0;
}

} // namespace tavik
