// What crosses threads: the single-producer single-consumer hand-offs
// between the audio thread and the control thread, and several plug-in
// instances rendering at once on different threads, as a host renders its
// tracks. Run under ThreadSanitizer by test.sh (ctest label "concurrency").

#include "host_facts.h"
#include "kernel_engine.h"
#include "plugin_messages.h"
#include "processor_test_host.h"
#include "realtime_diagnostic_queue.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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
		if (static_cast<uint64_t> (f.projectTimeSamples) != f.atFrame ||
		    f.ppqPosition != static_cast<double> (f.atFrame))
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
	constexpr int kBurst = 20; // never more than the queue holds
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

// State recall writes parameter values on the control thread while the
// audio thread renders automation of other parameters: no race, and once
// the writes stop, the next block hands the kernel every recalled value.
TEST (ParameterValuesAcrossThreads, RecalledValuesReachTheKernelAtTheNextBlock)
{
	KernelEngine engine;
	ASSERT_TRUE (engine.setup (48000, 256));
	// Parameters 0..12 are recalled, 13..25 automated.
	constexpr uint32_t kRecalled = 13;
	std::atomic<bool> done {false};
	std::atomic<int> blocks {0};
	std::thread recall ([&] {
		uint32_t n = 0;
		while (!done.load () || blocks.load () < 50)
		{
			const uint32_t index = n % kRecalled;
			const tavik_param_desc& row = TAVIK_PARAMS[index];
			engine.setParamValue (index, row.min + (row.max - row.min) * ((n * 37) % 101) / 100.0);
			(void) engine.paramValue ((n * 7) % TAVIK_PARAM_COUNT);
			++n;
		}
	});
	std::vector<float> left (256), right (256);
	float* outs[2] = {left.data (), right.data ()};
	for (int b = 0; b < 400; ++b)
	{
		if (b % 40 == 0)
			engine.pushNoteOn (40 + b / 40, 0.8, 0, 0, 0);
		for (int k = 0; k < 4; ++k)
			engine.pushParamNormalized (kRecalled + static_cast<uint32_t> ((b + k) % 13), ((b * 13 + k) % 97) / 96.0,
			                            k * 60);
		engine.processBlock (nullptr, 0, outs, 2, 256);
		EXPECT_FALSE (engine.failed ());
		blocks.fetch_add (1);
	}
	done.store (true);
	recall.join ();
	engine.processBlock (nullptr, 0, outs, 2, 256);
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		EXPECT_EQ (engine.kernelShadow (i), engine.paramValue (i)) << TAVIK_PARAMS[i].path;
}

// One instance's part: a seeded phrase of notes and automation rendered in
// host blocks; the left and right channels one after the other.
struct Track
{
	uint32_t seed;
	double rate;
	int block;
};

constexpr int kTrackFrames = 24000;

class TrackRender
{
public:
	explicit TrackRender (const Track& t) : track (t), random (t.seed) {}

	bool setup () { return engine.setup (track.rate, track.block); }

	// Renders the next block; false once the phrase is over.
	bool renderBlock ()
	{
		if (position >= kTrackFrames)
			return false;
		const int n = std::min (track.block, kTrackFrames - position);
		for (int i = 0; i < 3; ++i)
		{
			const int frame = static_cast<int> (next () % static_cast<uint32_t> (n));
			switch (next () % 4)
			{
				case 0:
					engine.pushNoteOn (36 + static_cast<int> (next () % 48), 0.3 + (next () % 70) / 100.0, frame, 0, 0);
					break;
				case 1: engine.pushNoteOff (36 + static_cast<int> (next () % 48), frame, 0, 0); break;
				default:
					engine.pushParamNormalized (next () % TAVIK_PARAM_COUNT, (next () % 1001) / 1000.0, frame);
					break;
			}
		}
		std::vector<float> left (static_cast<size_t> (n)), right (static_cast<size_t> (n));
		float* outs[2] = {left.data (), right.data ()};
		engine.processBlock (nullptr, 0, outs, 2, n);
		failed = failed || engine.failed ();
		output.insert (output.end (), left.begin (), left.end ());
		output.insert (output.end (), right.begin (), right.end ());
		position += n;
		return true;
	}

	void renderAll ()
	{
		while (renderBlock ())
		{
		}
	}

	std::vector<float> output;
	bool failed = false;

private:
	uint32_t next ()
	{
		random = random * 1664525u + 1013904223u;
		return random >> 8;
	}

	Track track;
	uint32_t random;
	KernelEngine engine;
	int position = 0;
};

// Index of the first sample that differs (or the shorter length), -1 when
// the two renders are identical.
long firstDifference (const std::vector<float>& a, const std::vector<float>& b)
{
	const size_t n = std::min (a.size (), b.size ());
	for (size_t i = 0; i < n; ++i)
		if (a[i] != b[i])
			return static_cast<long> (i);
	return a.size () == b.size () ? -1 : static_cast<long> (n);
}

std::vector<float> renderAlone (const Track& t)
{
	TrackRender r (t);
	EXPECT_TRUE (r.setup ());
	r.renderAll ();
	EXPECT_FALSE (r.failed);
	return r.output;
}

const Track kTracks[] = {
	{11, 48000, 256}, {12, 44100, 512}, {13, 96000, 100}, {14, 48000, 64}, {15, 22050, 333}, {16, 48000, 1024},
};

TEST (InstancesOnThreads, TwoEnginesOnTwoThreadsRenderAsAlone)
{
	const std::vector<float> expected[2] = {renderAlone (kTracks[0]), renderAlone (kTracks[1])};
	for (int round = 0; round < 3; ++round)
	{
		std::vector<float> got[2];
		std::thread threads[2];
		for (int t = 0; t < 2; ++t)
			threads[t] = std::thread ([&, t] {
				TrackRender r (kTracks[t]);
				if (r.setup ())
					r.renderAll ();
				got[t] = r.output;
			});
		for (auto& th : threads)
			th.join ();
		for (int t = 0; t < 2; ++t)
			EXPECT_EQ (firstDifference (got[t], expected[t]), -1) << "track " << t << ", round " << round;
	}
}

// Threads racing for slots each get their own: as many creates as there are
// slots, from four threads, claim distinct slots, and one more finds none.
TEST (InstancesOnThreads, ConcurrentCreatesClaimDistinctSlots)
{
	{
		KernelEngine first; // initialises the library once for the process
		ASSERT_TRUE (first.setup (48000, 128));
	}
	const KernelLibraryApi& kernel = productKernelLibrary ();
	for (int round = 0; round < 4; ++round)
	{
		std::vector<uint32_t> handles[4];
		std::thread threads[4];
		for (int t = 0; t < 4; ++t)
			threads[t] = std::thread ([&, t] {
				for (int i = 0; i < TAVIK_KERNEL_MAX_INSTANCES / 4; ++i)
					handles[t].push_back (static_cast<uint32_t> (kernel.create (128, 0, 2, 48000)));
			});
		for (auto& th : threads)
			th.join ();
		bool slotTaken[TAVIK_KERNEL_MAX_INSTANCES] = {};
		int claimed = 0;
		for (const auto& list : handles)
			for (uint32_t h : list)
			{
				ASSERT_NE (h, 0u);
				const uint32_t slot = (h - 1) % TAVIK_KERNEL_MAX_INSTANCES;
				EXPECT_FALSE (slotTaken[slot]) << "slot " << slot << " handed out twice";
				slotTaken[slot] = true;
				++claimed;
			}
		EXPECT_EQ (claimed, TAVIK_KERNEL_MAX_INSTANCES);
		EXPECT_EQ (kernel.create (128, 0, 2, 48000), 0.0);
		for (int t = 0; t < 4; ++t)
			threads[t] = std::thread ([&, t] {
				for (uint32_t h : handles[t])
					EXPECT_EQ (kernel.destroy (h), 0.0);
			});
		for (auto& th : threads)
			th.join ();
	}
}

// Three threads, two instances each, created, interleaved block by block and
// destroyed on their own thread while the others render.
TEST (InstancesOnThreads, SixInstancesOnThreeThreadsRenderAsAlone)
{
	std::vector<float> expected[6];
	for (int i = 0; i < 6; ++i)
		expected[i] = renderAlone (kTracks[i]);
	std::vector<float> got[6];
	bool setupFailed[6] = {};
	std::thread threads[3];
	for (int t = 0; t < 3; ++t)
		threads[t] = std::thread ([&, t] {
			auto a = std::make_unique<TrackRender> (kTracks[2 * t]);
			auto b = std::make_unique<TrackRender> (kTracks[2 * t + 1]);
			setupFailed[2 * t] = !a->setup ();
			setupFailed[2 * t + 1] = !b->setup ();
			bool more = true;
			while (more)
			{
				const bool moreA = a->renderBlock ();
				const bool moreB = b->renderBlock ();
				more = moreA || moreB;
			}
			got[2 * t] = std::move (a->output);
			got[2 * t + 1] = std::move (b->output);
		});
	for (auto& th : threads)
		th.join ();
	for (int i = 0; i < 6; ++i)
	{
		EXPECT_FALSE (setupFailed[i]) << "instance " << i;
		EXPECT_EQ (firstDifference (got[i], expected[i]), -1) << "instance " << i;
	}
}

// Instances come and go on one thread (a host loading and closing
// projects) while another renders: the renderer's slot is never disturbed.
TEST (InstancesOnThreads, CreatingAndDestroyingElsewhereLeavesARenderAlone)
{
	const std::vector<float> expected = renderAlone (kTracks[3]);
	std::atomic<bool> done {false};
	std::atomic<int> created {0};
	std::thread churn ([&] {
		while (!done.load ())
		{
			KernelEngine a, b;
			if (a.setup (48000, 128) && b.setup (44100, 64))
				created.fetch_add (2);
		}
	});
	TrackRender r (kTracks[3]);
	ASSERT_TRUE (r.setup ());
	r.renderAll ();
	done.store (true);
	churn.join ();
	EXPECT_EQ (firstDifference (r.output, expected), -1);
	EXPECT_GT (created.load (), 0);
}

} // namespace

namespace {

// A host restores projects and the controller edits pads on the main thread
// while the audio thread renders: the values, the variation and the pad
// overrides cross without a lock.
TEST (StateAcrossThreads, RestoresAndPadEditsWhileTheAudioThreadRenders)
{
	using namespace Steinberg;
	using namespace Steinberg::Vst;
	HostApplication application;
	tavik::test::ProcessorHost host (&application);
	ASSERT_TRUE (host.start (48000, 128));
	tavik::TavikProcessor& processor = host.processor ();

	std::atomic<bool> done {false};
	std::atomic<int> blocks {0};
	bool finite = true;
	std::thread audio ([&] {
		for (int b = 0; !done.load () || b < 50; ++b)
		{
			if (b % 40 == 0)
				host.addNoteOn (40 + b % 30, 0.8f, b % 128);
			if (host.process (128) != kResultOk)
				finite = false;
			for (float v : host.output[0])
				finite = finite && std::isfinite (v);
			blocks.fetch_add (1);
		}
	});

	for (int i = 0; i < 300; ++i)
	{
		const std::string state = "{\"params\":{\"ir.size\":" + std::to_string (0.5 + (i % 10) / 20.0) +
		                          ",\"tuning.baseFreq\":" + std::to_string (60 + i % 200) +
		                          "},\"variation\":" + std::to_string (i % 20) + ",\"sampler\":{\"v\":1,\"pads\":{\"p" +
		                          std::to_string (i) + "\":{\"gain\":2}}}}";
		IPtr<MemoryStream> stream = owned (new MemoryStream ());
		int32 written = 0;
		stream->write (const_cast<char*> (state.data ()), static_cast<int32> (state.size ()), &written);
		int64 position = 0;
		stream->seek (0, IBStream::kIBSeekSet, &position);
		ASSERT_EQ (processor.setState (stream), kResultOk);

		IPtr<IMessage> pads = owned (new HostMessage ());
		pads->setMessageID (tavik::messages::PAD_OVERRIDES);
		const std::string map = "{\"q" + std::to_string (i) + "\":{\"velocitySensitivity\":0.5}}";
		pads->getAttributes ()->setBinary ("json", map.data (), static_cast<uint32> (map.size ()));
		ASSERT_EQ (processor.notify (pads), kResultOk);

		IPtr<MemoryStream> saved = owned (new MemoryStream ());
		ASSERT_EQ (processor.getState (saved), kResultOk);
	}
	done.store (true);
	audio.join ();
	EXPECT_TRUE (finite);
	EXPECT_GE (blocks.load (), 50);
	EXPECT_EQ (processor.engine ().sampler ().padOverridePublications (), 600u);
}

} // namespace
