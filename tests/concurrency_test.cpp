// The single-producer single-consumer hand-offs between the audio thread
// and the control thread, stressed from two threads. Run under
// ThreadSanitizer by test.sh (ctest label "concurrency").

#include "host_facts.h"
#include "realtime_diagnostic_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace tavik;

TEST (TransportRingStress, ConsumerSeesOnlyCompleteFactsInOrder)
{
	DiagnosticTransportRing ring;
	constexpr uint64_t kFacts = 100000;
	std::atomic<bool> done {false};
	std::atomic<uint64_t> lastSeen {0};
	std::thread producer ([&] {
		for (uint64_t i = 1; i <= kFacts; ++i)
		{
			TransportFact f;
			f.atFrame = i;
			f.projectTimeSamples = static_cast<int64_t> (i);
			f.ppqPosition = static_cast<double> (i);
			ring.push (f);
			// Keep the consumer within half a ring, as a block-paced audio
			// thread and a timer-paced consumer would.
			while (i > 16 && lastSeen.load () + 16 < i)
				std::this_thread::yield ();
		}
		done.store (true);
	});
	uint64_t last = 0;
	uint64_t drained = 0;
	uint64_t torn = 0, outOfOrder = 0;
	TransportFact f;
	while (!done.load ())
	{
		if (!ring.drainLatest (f))
			continue;
		++drained;
		// The three fields were written together: a torn copy would differ.
		if (static_cast<uint64_t> (f.projectTimeSamples) != f.atFrame || f.ppqPosition != static_cast<double> (f.atFrame))
			++torn;
		if (f.atFrame <= last)
			++outOfOrder;
		last = f.atFrame;
		lastSeen.store (last);
	}
	producer.join ();
	EXPECT_EQ (torn, 0u);
	EXPECT_EQ (outOfOrder, 0u);
	if (ring.drainLatest (f))
		last = f.atFrame;
	EXPECT_EQ (last, kFacts);
	EXPECT_GT (drained, 0u);
}

TEST (RealtimeDiagnosticStress, EveryPostArrivesExactlyOnce)
{
	RealtimeDiagnosticQueue queue;
	constexpr int kBursts = 5000;
	constexpr int kBurst = 20;  // never more than the queue holds
	std::atomic<bool> done {false};
	std::thread producer ([&] {
		for (int b = 0; b < kBursts; ++b)
		{
			for (int i = 0; i < kBurst; ++i)
				queue.post (static_cast<uint32_t> (1 + (b * kBurst + i) % 24), DIAG_ERROR, PHASE_PROCESS);
			while (queue.hasPending ())
				std::this_thread::yield ();
		}
		done.store (true);
	});
	uint64_t kept = 0;
	uint64_t codeSum = 0;
	uint64_t overflows = 0;
	while (!done.load ())
	{
		tavik_runtime_diagnostic_ring ring;
		diagnosticRingInit (ring);
		queue.drainInto (ring);
		for (uint32_t i = 0; i < ring.count; ++i)
		{
			if (ring.records[i].code == DIAG_DIAGNOSTICS_OVERFLOW)
				++overflows;
			++kept;
			codeSum += ring.records[i].code;
		}
	}
	producer.join ();
	uint64_t expectedSum = 0;
	for (int n = 0; n < kBursts * kBurst; ++n)
		expectedSum += static_cast<uint64_t> (1 + n % 24);
	EXPECT_EQ (overflows, 0u);
	EXPECT_EQ (kept, static_cast<uint64_t> (kBursts * kBurst));
	EXPECT_EQ (codeSum, expectedSum);
}

} // namespace
