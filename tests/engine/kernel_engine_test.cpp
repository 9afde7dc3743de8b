// KernelEngine: the event queue and its conversions, the republish rules,
// chunking, setup validation, and rendering through the rate adapter when the
// kernel refuses the host rate.

#include "kernel_engine.h"
#include "kernel_spy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace tavik;
using tavik::test::KernelCall;
using tavik::test::KernelSpy;

struct Stereo
{
	explicit Stereo (int frames, int channels = 2)
		: data (static_cast<size_t> (channels), std::vector<float> (static_cast<size_t> (frames), 7.f))
	{
		for (auto& c : data)
			pointers.push_back (c.data ());
	}
	std::vector<std::vector<float>> data;
	std::vector<float*> pointers;
	float* const* out () { return pointers.data (); }
};

class EngineWithSpy : public ::testing::Test
{
protected:
	void SetUp () override { engine = std::make_unique<KernelEngine> (spy.api ()); }
	void TearDown () override { KernelSpy::uninstall (); }

	// Renders `frames` frames in host blocks of `block`, calling `before`
	// with each block's start so that a test can queue events.
	template <typename Before>
	std::vector<float> render (int frames, int block, Before before, int channel = 0)
	{
		std::vector<float> out;
		for (int start = 0; start < frames; start += block)
		{
			const int n = std::min (block, frames - start);
			before (start, n);
			Stereo buffers (n);
			engine->processBlock (nullptr, 0, buffers.out (), 2, n);
			EXPECT_FALSE (engine->failed ()) << "block at " << start;
			out.insert (out.end (), buffers.data[static_cast<size_t> (channel)].begin (),
			            buffers.data[static_cast<size_t> (channel)].end ());
		}
		return out;
	}

	KernelSpy spy;
	std::unique_ptr<KernelEngine> engine;
};

int onset (const std::vector<float>& samples, float threshold = 1e-6f)
{
	for (size_t i = 0; i < samples.size (); ++i)
		if (std::fabs (samples[i]) > threshold)
			return static_cast<int> (i);
	return -1;
}

// Frequency of the strongest spectral line between lo and hi Hz (Goertzel scan).
double peakFrequency (const std::vector<float>& x, double rate, double lo, double hi, double step)
{
	double best = 0, bestPower = -1;
	for (double f = lo; f <= hi; f += step)
	{
		const double w = 2 * M_PI * f / rate;
		double s1 = 0, s2 = 0;
		for (float v : x)
		{
			const double s = v + 2 * std::cos (w) * s1 - s2;
			s2 = s1;
			s1 = s;
		}
		const double power = s1 * s1 + s2 * s2 - 2 * std::cos (w) * s1 * s2;
		if (power > bestPower)
			bestPower = power, best = f;
	}
	return best;
}

TEST (EngineQueue, NormalizedValuesBecomePlainValues)
{
	KernelEngine engine;
	ASSERT_TRUE (engine.pushParamNormalized (7, 0.5, 0));
	ASSERT_TRUE (engine.pushParamNormalized (7, 1.2, 0));
	ASSERT_TRUE (engine.pushParamNormalized (7, -0.4, 0));
	ASSERT_TRUE (engine.pushParamNormalized (16, 1.5, 0));
	EXPECT_FALSE (engine.pushParamNormalized (26, 0.5, 0));
	ASSERT_EQ (engine.queuedEvents (), 4);
	EXPECT_EQ (engine.queuedEvent (0).value, 2);
	EXPECT_EQ (engine.queuedEvent (1).value, 3);
	EXPECT_EQ (engine.queuedEvent (2).value, 0);
	EXPECT_EQ (engine.queuedEvent (3).value, 440);
}

TEST (EngineQueue, CapacityStableOrderAndEventKinds)
{
	KernelEngine engine;
	ASSERT_TRUE (engine.pushNoteOn (60, 0.5, 5, 0, 0));
	ASSERT_TRUE (engine.pushNoteOn (61, 0.5, 3, 0, 0));
	ASSERT_TRUE (engine.pushNoteOff (62, 3, 0, 17));
	ASSERT_TRUE (engine.pushNoteOn (63, 0.003, 0, 0, 0));
	engine.sortEventsInPlace ();
	const int expected[] = {63, 61, 62, 60};
	for (int i = 0; i < 4; ++i)
		EXPECT_EQ (engine.queuedEvent (i).note, expected[i]);
	EXPECT_EQ (engine.queuedEvent (0).value, 0.003); // no velocity resolution in this product
	EXPECT_EQ (engine.queuedEvent (2).channel, 1u);  // masked to 0..15
	EXPECT_FALSE (engine.pushController (128, 0, 0, 0, 0));
	EXPECT_FALSE (engine.pushController (1, 128, 0, 0, 0));
	EXPECT_TRUE (engine.pushController (1, 127, 0, 0, 0));
}

// The queue has room for every parameter on every frame of the largest
// block, and parameter changes never take the room kept for notes. A change
// beyond its room still takes effect, after the block.
TEST_F (EngineWithSpy, TheQueueKeepsRoomForNotesAndEveryParameterOnEveryFrame)
{
	ASSERT_TRUE (engine->setup (48000, 1024));
	EXPECT_GE (engine->queueCapacity (), TAVIK_PARAM_COUNT * 1024 + KernelEngine::NOTE_EVENT_CAPACITY);
	for (int f = 0; f < 1024; ++f)
		for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
			ASSERT_TRUE (engine->pushParamNormalized (i, 0.5, f));
	while (engine->pushParamNormalized (17, 0.5, 1023))
		;
	EXPECT_EQ (engine->queuedEvents (), engine->queueCapacity () - KernelEngine::NOTE_EVENT_CAPACITY);
	EXPECT_FALSE (engine->pushParamNormalized (16, 1.0, 1023)); // beyond the room: 440 Hz after the block
	for (int n = 0; n < KernelEngine::NOTE_EVENT_CAPACITY; ++n)
		ASSERT_TRUE (engine->pushNoteOff (n % 128, 1023, 0, 0));
	EXPECT_FALSE (engine->pushNoteOn (60, 1, 1023, 0, 0));
	EXPECT_EQ (engine->queuedEvents (), engine->queueCapacity ());
	Stereo buffers (1024);
	engine->processBlock (nullptr, 0, buffers.out (), 2, 1024);
	EXPECT_FALSE (engine->failed ());
	EXPECT_EQ (engine->paramValue (16), 440);
	for (const KernelCall& c : spy.pushes ())
		ASSERT_EQ (c.status, 0) << "kind " << c.kind << " frame " << c.frame;
	render (128, 128, [] (int, int) {});
	EXPECT_EQ (engine->kernelShadow (16), 440);
}

TEST (EngineQueue, ValuesAndVariation)
{
	KernelEngine engine;
	EXPECT_EQ (engine.paramValue (16), 110);
	EXPECT_EQ (engine.paramNormalized (18), 0.5);
	EXPECT_EQ (engine.paramValue (99), 0);
	engine.setParamValue (26, 5);
	engine.setParamValue (1, std::nan (""));
	EXPECT_EQ (engine.paramValue (1), 1);
	engine.setVariation (25);
	EXPECT_EQ (engine.variation (), 19);
	engine.setVariation (-3);
	EXPECT_EQ (engine.variation (), 0);

	// A note's velocity reaches the kernel as the host gave it.
	ASSERT_TRUE (engine.pushParamNormalized (1, 1.0, 7));
	ASSERT_TRUE (engine.pushNoteOn (60, 0.3, 900, 0, 0));
	ASSERT_TRUE (engine.pushNoteOff (60, -4, 0, 0));
	ASSERT_EQ (engine.queuedEvents (), 3);
	EXPECT_EQ (engine.queuedEvent (1).value, 0.3);

	engine.flushParameterEvents ();
	EXPECT_EQ (engine.queuedEvents (), 0);
	EXPECT_EQ (engine.paramValue (1), 2);
}

// The engine starts from the parameter table's defaults and the kernel from
// its own: they must be the same values, or a new instance would start out
// of step (and its first block would push a parameter no one changed).
TEST_F (EngineWithSpy, ANewInstanceStartsInStepWithTheKernel)
{
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
	{
		EXPECT_EQ (TAVIK_PARAMS[i].defaultPlain, TAVIK_KERNEL_PARAMETER_DEFAULTS[i]) << TAVIK_PARAMS[i].path;
		EXPECT_EQ (engine->paramValue (i), engine->kernelShadow (i)) << TAVIK_PARAMS[i].path;
	}
	ASSERT_TRUE (engine->setup (48000, 512));
	render (512, 512, [] (int, int) {});
	EXPECT_TRUE (spy.pushes ().empty ());
	engine->resetParams ();
	spy.clear ();
	render (512, 512, [] (int, int) {});
	EXPECT_TRUE (spy.pushes ().empty ());
}

// Values taken out of the queue without rendering still reach the kernel at
// the next block.
TEST_F (EngineWithSpy, FlushedParameterValuesReachTheKernelNextBlock)
{
	ASSERT_TRUE (engine->setup (48000, 256));
	render (256, 256, [] (int, int) {});
	ASSERT_FALSE (engine->republishPending ());
	ASSERT_TRUE (engine->pushParamNormalized (16, 1.0, 40));
	ASSERT_TRUE (engine->pushNoteOn (60, 0.5, 10, 0, 0));
	engine->flushParameterEvents ();
	EXPECT_EQ (engine->queuedEvents (), 0);
	EXPECT_EQ (engine->paramValue (16), 440);
	EXPECT_TRUE (engine->republishPending ());
	spy.clear ();
	render (128, 128, [] (int, int) {});
	EXPECT_EQ (engine->kernelShadow (16), 440);
	ASSERT_EQ (spy.pushes ().size (), 1u); // the value, not the flushed note
	EXPECT_EQ (spy.pushes ()[0].a, 16u);
}

// A reset returns to the defaults and silences the instrument: the kernel's
// voices go with it.
TEST_F (EngineWithSpy, ResetParamsSilencesTheKernelAndRestoresDefaults)
{
	ASSERT_TRUE (engine->setup (48000, 256));
	engine->setParamValue (17, 1.0);
	engine->setVariation (3);
	ASSERT_TRUE (engine->pushNoteOn (45, 1.0, 0, 0, 0));
	const std::vector<float> ringing = render (2048, 256, [] (int, int) {});
	EXPECT_GT (*std::max_element (ringing.begin (), ringing.end ()), 0.01f);
	spy.clear ();
	engine->resetParams ();
	int resets = 0;
	for (const KernelCall& c : spy.calls)
		resets += c.type == KernelCall::RESET ? 1 : 0;
	EXPECT_EQ (resets, 1);
	EXPECT_EQ (engine->paramValue (17), 0.8);
	EXPECT_EQ (engine->variation (), 16);
	const std::vector<float> after = render (1024, 256, [] (int, int) {});
	EXPECT_EQ (*std::max_element (after.begin (), after.end ()), 0.0f);
	EXPECT_EQ (*std::min_element (after.begin (), after.end ()), 0.0f);
}

TEST_F (EngineWithSpy, BlocksAreCutIntoKernelChunks)
{
	ASSERT_TRUE (engine->setup (48000, 512));
	render (512, 512, [] (int, int) {}); // the first block republishes nothing new
	spy.clear ();
	Stereo buffers (300);
	ASSERT_TRUE (engine->pushNoteOn (60, 0.8, 200, 0, 0));
	engine->processBlock (nullptr, 0, buffers.out (), 2, 300);
	EXPECT_EQ (spy.processedChunks (), (std::vector<uint32_t> {128, 128, 44}));
	ASSERT_EQ (spy.calls.size (), 4u);
	EXPECT_EQ (spy.calls[1].type, KernelCall::PUSH); // after the first chunk
	EXPECT_EQ (spy.calls[1].frame, 72u);
	EXPECT_EQ (spy.calls[1].a, 60u);
	EXPECT_EQ (spy.calls[1].value, 0.8);
}

TEST_F (EngineWithSpy, RepublishRules)
{
	ASSERT_TRUE (engine->setup (48000, 256));
	engine->setParamValue (1, 1.5);
	engine->setParamValue (2, 2.0);
	ASSERT_TRUE (engine->pushParamNormalized (1, 1.0, 0)); // ir.size 2 at frame 0
	render (256, 256, [] (int, int) {});
	int sizePushes = 0;
	for (const KernelCall& c : spy.pushes ())
	{
		if (c.a == 1)
		{
			++sizePushes;
			EXPECT_EQ (c.value, 2); // the queued value, not a stale republish first
		}
	}
	EXPECT_EQ (sizePushes, 1);
	EXPECT_EQ (engine->kernelShadow (2), 2.0);
	EXPECT_FALSE (engine->republishPending ());

	// A refused value is offered again at every chunk until accepted.
	spy.clear ();
	spy.refuseParameters = true;
	engine->setParamValue (3, 2.5);
	render (256, 256, [] (int, int) {});
	EXPECT_EQ (spy.pushes ().size (), 2u); // two chunks, one attempt each
	EXPECT_TRUE (engine->republishPending ());
	spy.refuseParameters = false;
	render (128, 128, [] (int, int) {});
	EXPECT_EQ (engine->kernelShadow (3), 2.5);
}

// The kernel queues 64 events per render. A chunk with more is rendered in
// pieces, split where a frame's events would not fit; a frame with more
// events than the kernel queues hands them over in parts. No event is
// refused, and every value is in the kernel by the end of its chunk.
TEST_F (EngineWithSpy, ChunksWithMoreEventsThanTheKernelQueuesAreSplit)
{
	ASSERT_TRUE (engine->setup (48000, 256));
	render (128, 128, [] (int, int) {});
	spy.clear ();
	for (int f = 0; f < 128; f += 2)
		for (uint32_t i : {1u, 2u})
			ASSERT_TRUE (engine->pushParamNormalized (i, f / 126.0, f)); // 128 events
	for (int n = 0; n < 100; ++n)
		ASSERT_TRUE (engine->pushNoteOn (40 + n % 30, 0.5, 130, 0, 0)); // 100 notes at one frame
	ASSERT_TRUE (engine->pushParamNormalized (16, 1.0, 130));
	render (256, 256, [] (int, int) {});
	int pushed = 0, applied = 0;
	for (const KernelCall& c : spy.calls)
	{
		pushed += c.type == KernelCall::PUSH ? 1 : 0;
		applied += c.type == KernelCall::APPLY ? 1 : 0;
		if (c.type != KernelCall::PROCESS)
		{
			EXPECT_EQ (c.status, 0);
		}
	}
	EXPECT_EQ (pushed, 229);
	EXPECT_EQ (applied, 1); // 101 events at frame 130: 64, then 37
	EXPECT_EQ (spy.processedChunks (), (std::vector<uint32_t> {64, 64, 2, 126}));
	// The parameter of frame 130 went ahead of the notes there.
	int notesBeforeIt = 0;
	for (const KernelCall& c : spy.calls)
	{
		if (c.type == KernelCall::PUSH && c.kind == TAVIK_KERNEL_EVENT_PARAMETER && c.a == 16)
			break;
		notesBeforeIt += c.type == KernelCall::PUSH && c.kind == TAVIK_KERNEL_EVENT_NOTE_ON ? 1 : 0;
	}
	EXPECT_EQ (notesBeforeIt, 0);
	EXPECT_EQ (engine->kernelShadow (1), 2);
	EXPECT_EQ (engine->kernelShadow (16), 440);
	EXPECT_FALSE (engine->republishPending ());
}

// Splitting changes nothing audible: automation of every parameter on every
// frame with notes among it, in host blocks of 512, renders exactly what the
// same events render in blocks of one frame (where nothing is split).
TEST_F (EngineWithSpy, DenseAutomationRendersWhatSingleFrameBlocksRender)
{
	const int frames = 4096;
	const auto automate = [&] (KernelEngine& e, int start, int n) {
		for (int f = start; f < start + n; ++f)
		{
			for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
			{
				if (i == 0 || i == 7) // keep the model and mallet, so that every strike rings the same way
					continue;
				const double phase = std::sin (f * 0.01 + i);
				e.pushParamNormalized (i, 0.45 + 0.05 * phase, f - start);
			}
			if (f % 300 == 0)
				e.pushNoteOn (45 + (f / 300) % 12, 0.9, f - start, 0, 0);
			if (f % 300 == 150)
				e.pushNoteOff (45 + (f / 300) % 12, f - start, 0, 0);
		}
	};
	ASSERT_TRUE (engine->setup (48000, 512));
	const std::vector<float> dense = render (frames, 512, [&] (int start, int n) { automate (*engine, start, n); });
	for (const KernelCall& c : spy.pushes ())
		ASSERT_EQ (c.status, 0);

	KernelEngine single (spy.api ());
	ASSERT_TRUE (single.setup (48000, 512));
	std::vector<float> reference;
	for (int f = 0; f < frames; ++f)
	{
		automate (single, f, 1);
		Stereo buffers (1);
		single.processBlock (nullptr, 0, buffers.out (), 2, 1);
		reference.push_back (buffers.data[0][0]);
	}
	ASSERT_EQ (dense.size (), reference.size ());
	EXPECT_EQ (std::memcmp (dense.data (), reference.data (), dense.size () * sizeof (float)), 0);
	EXPECT_GT (*std::max_element (dense.begin (), dense.end ()), 0.01f);
}

// Eight strikes 0.25 s apart under dense automation of eight parameters
// (a point every 16 frames): every strike sounds.
TEST_F (EngineWithSpy, EveryStrikeSoundsUnderDenseAutomation)
{
	ASSERT_TRUE (engine->setup (48000, 512));
	engine->setParamValue (0, 3);     // Xiaoluo
	engine->setParamValue (14, 0.05); // Ring
	const uint32_t automated[] = {1, 2, 3, 4, 5, 6, 8, 9};
	const int spacing = 12000;
	const std::vector<float> out = render (8 * spacing, 512, [&] (int start, int n) {
		for (int f = start; f < start + n; ++f)
		{
			if (f % 16 == 0)
				for (uint32_t i : automated)
					engine->pushParamNormalized (i, ((f / 16 + i) % 20) / 19.0, f - start);
			if (f % spacing == 0)
				engine->pushNoteOn (69, 0.9, f - start, 0, 0);
		}
	});
	for (int k = 0; k < 8; ++k)
	{
		float peak = 0;
		for (int i = k * spacing; i < k * spacing + 2400; ++i)
			peak = std::max (peak, std::fabs (out[static_cast<size_t> (i)]));
		EXPECT_GT (peak, 0.01f) << "strike " << k;
	}
}

TEST_F (EngineWithSpy, ZeroFrameBlocksOnlyUpdateValues)
{
	ASSERT_TRUE (engine->setup (48000, 256));
	render (128, 128, [] (int, int) {});
	spy.clear ();
	ASSERT_TRUE (engine->pushParamNormalized (17, 0.25, 0));
	engine->processBlock (nullptr, 0, nullptr, 0, 0);
	EXPECT_FALSE (engine->failed ());
	EXPECT_EQ (engine->paramValue (17), 0.25);
	EXPECT_FALSE (engine->republishPending ());
	EXPECT_EQ (engine->queuedEvents (), 0);
	EXPECT_TRUE (spy.calls.empty ());
}

TEST_F (EngineWithSpy, EventOrderAndDiscardedFrames)
{
	ASSERT_TRUE (engine->setup (48000, 256));
	render (128, 128, [] (int, int) {});
	spy.clear ();
	ASSERT_TRUE (engine->pushNoteOff (60, 10, 0, 0));
	ASSERT_TRUE (engine->pushNoteOn (60, 0.5, 10, 0, 0));
	ASSERT_TRUE (engine->pushNoteOn (61, 0.5, -1, 0, 0));
	ASSERT_TRUE (engine->pushNoteOn (62, 0.5, 200, 0, 0));
	Stereo buffers (128);
	engine->processBlock (nullptr, 0, buffers.out (), 2, 128);
	const std::vector<KernelCall> pushes = spy.pushes ();
	ASSERT_EQ (pushes.size (), 2u);
	EXPECT_EQ (pushes[0].kind, uint32_t (TAVIK_KERNEL_EVENT_NOTE_OFF));
	EXPECT_EQ (pushes[1].kind, uint32_t (TAVIK_KERNEL_EVENT_NOTE_ON));
	EXPECT_EQ (engine->queuedEvents (), 0);

	// Of the controllers only all sound off reaches the kernel, after the
	// frame's parameters, counted in the kernel's queue like a note.
	spy.clear ();
	ASSERT_TRUE (engine->pushController (7, 100, 4, 0, 0));
	ASSERT_TRUE (engine->pushAllSoundOff (20));
	ASSERT_TRUE (engine->pushParamNormalized (17, 0.5, 20));
	engine->processBlock (nullptr, 0, buffers.out (), 2, 128);
	const std::vector<KernelCall> controls = spy.pushes ();
	ASSERT_EQ (controls.size (), 2u);
	EXPECT_EQ (controls[0].kind, uint32_t (TAVIK_KERNEL_EVENT_PARAMETER));
	EXPECT_EQ (controls[1].kind, uint32_t (TAVIK_KERNEL_EVENT_CONTROL_CHANGE));
	EXPECT_EQ (controls[1].a, 120u);
	EXPECT_EQ (controls[1].frame, 20u);
	EXPECT_EQ (controls[1].value, 0.0);
}

// What a controller's pickup compares with: the value a parameter has at a
// frame of the block being queued, in the order the render applies changes.
TEST_F (EngineWithSpy, ParameterValuesAtAFrameOfTheQueuedBlock)
{
	ASSERT_TRUE (engine->setup (48000, 256));
	engine->setParamValue (17, 0.8);
	EXPECT_EQ (engine->paramNormalizedAt (17, 0), 0.8);
	ASSERT_TRUE (engine->pushParamNormalized (17, 0.5, 100));
	ASSERT_TRUE (engine->pushParamNormalized (17, 0.25, 40));
	ASSERT_TRUE (engine->pushParamNormalized (17, 0.75, 40)); // queued later at one frame: wins
	ASSERT_TRUE (engine->pushParamNormalized (5, 1.0, 0));
	EXPECT_EQ (engine->paramNormalizedAt (17, 39), 0.8);
	EXPECT_EQ (engine->paramNormalizedAt (17, 40), 0.75);
	EXPECT_EQ (engine->paramNormalizedAt (17, 99), 0.75);
	EXPECT_EQ (engine->paramNormalizedAt (17, 100), 0.5);
	EXPECT_EQ (engine->paramNormalizedAt (17, 5000), 0.5);
	EXPECT_EQ (engine->paramNormalizedAt (4, 50), 0.4); // nothing queued: its value
	EXPECT_EQ (engine->paramNormalizedAt (26, 50), 0.0);
	Stereo buffers (128);
	engine->processBlock (nullptr, 0, buffers.out (), 2, 128);
	EXPECT_EQ (engine->paramNormalizedAt (17, 0), 0.5);
	EXPECT_EQ (engine->paramNormalizedAt (5, 0), 1.0);
}

TEST_F (EngineWithSpy, RejectedNotesPostADiagnostic)
{
	ASSERT_TRUE (engine->setup (48000, 256));
	ASSERT_TRUE (engine->pushNoteOn (200, 0.5, 0, 0, 0)); // the kernel refuses note 200
	Stereo buffers (64);
	engine->processBlock (nullptr, 0, buffers.out (), 2, 64);
	EXPECT_TRUE (engine->hasUndrainedDiagnostics ());
	engine->drainRuntimeDiagnostics ();
	const tavik_runtime_diagnostic_ring& ring = engine->diagnosticRing ();
	ASSERT_EQ (ring.count, 1u);
	EXPECT_EQ (ring.records[0].code, uint32_t (DIAG_EVENT_REJECTED));
	EXPECT_STREQ (ring.records[0].detail, "audio callback");
}

TEST (EngineSetup, RefusesUnusableFormats)
{
	KernelEngine engine;
	testing::internal::CaptureStderr ();
	EXPECT_FALSE (engine.setup (48000, 16385));
	std::string err = testing::internal::GetCapturedStderr ();
	EXPECT_NE (err.find ("rejected host format (sampleRate=48000, maxBlockFrames=16385)"), std::string::npos);
	EXPECT_NE (err.find ("exceeds the 16384-frame ceiling"), std::string::npos);

	testing::internal::CaptureStderr ();
	EXPECT_FALSE (engine.setup (48000, 0));
	err = testing::internal::GetCapturedStderr ();
	EXPECT_NE (err.find ("rejected host format"), std::string::npos);
	EXPECT_EQ (err.find ("ceiling"), std::string::npos);

	testing::internal::CaptureStderr ();
	EXPECT_FALSE (engine.setup (0, 512));
	EXPECT_FALSE (engine.setup (std::nan (""), 512));
	EXPECT_FALSE (engine.setup (4000001, 512));
	testing::internal::GetCapturedStderr ();
	EXPECT_FALSE (engine.ready ());
	EXPECT_EQ (std::string (engine.diagnosticRing ().records[0].message), "host processing configuration is invalid");
	EXPECT_EQ (engine.diagnosticRing ().records[0].code, uint32_t (DIAG_INVALID_CONFIGURATION));

	// A block before any successful setup is silent and reported.
	Stereo buffers (64);
	engine.processBlock (nullptr, 0, buffers.out (), 2, 64);
	EXPECT_TRUE (engine.failed ());
	EXPECT_EQ (buffers.data[0][10], 0.f);
	engine.drainRuntimeDiagnostics ();
	const tavik_runtime_diagnostic_ring& ring = engine.diagnosticRing ();
	EXPECT_EQ (ring.records[ring.count - 1].code, uint32_t (DIAG_PROCESS_FAILED));
	EXPECT_EQ (ring.records[ring.count - 1].severity, DIAG_FATAL);
}

// Past the kernel's last instance, setup fails with a line naming the limit,
// and works again once an instance has gone.
TEST (EngineSetup, TheInstancePastTheLimitSaysWhichLimit)
{
	KernelEngine first;
	ASSERT_TRUE (first.setup (48000, 512));
	const KernelLibraryApi& kernel = productKernelLibrary ();
	std::vector<uint32_t> others;
	while (kernel.instances () < TAVIK_KERNEL_MAX_INSTANCES)
	{
		others.push_back (static_cast<uint32_t> (kernel.create (128, 0, 2, 48000)));
		ASSERT_NE (others.back (), 0u);
	}
	KernelEngine past;
	testing::internal::CaptureStderr ();
	EXPECT_FALSE (past.setup (44100, 512));
	const std::string err = testing::internal::GetCapturedStderr ();
	const std::string line =
		"all " + std::to_string (TAVIK_KERNEL_MAX_INSTANCES) + " gong instances this process can run are in use";
	EXPECT_NE (err.find ("kernel setup failed: " + line), std::string::npos) << err;
	const tavik_runtime_diagnostic_ring& ring = past.diagnosticRing ();
	ASSERT_GE (ring.count, 1u);
	EXPECT_EQ (ring.records[0].code, uint32_t (DIAG_KERNEL_CREATE_FAILED));
	EXPECT_EQ (std::string (ring.records[0].message), line);
	kernel.destroy (others.back ());
	others.pop_back ();
	EXPECT_TRUE (past.setup (44100, 512));
	for (uint32_t h : others)
		kernel.destroy (h);
}

TEST (EngineSetup, OddRatesAreReducedExactly)
{
	KernelEngine engine;
	ASSERT_TRUE (engine.setup (44100, 512));
	EXPECT_EQ (engine.hostRate (), 44100);
	EXPECT_FALSE (engine.converted ());
	ASSERT_TRUE (engine.setup (11025.5, 64));
	EXPECT_EQ (engine.hostRate (), 11025.5);
	testing::internal::CaptureStderr ();
	EXPECT_FALSE (engine.setup (0.000001, 16384)); // its adapter would be absurdly large
	testing::internal::GetCapturedStderr ();
	EXPECT_STREQ (engine.diagnosticRing ().records[engine.diagnosticRing ().count - 1].message,
	              "host rate requires unsupported SRC FIFO capacity");
}

TEST_F (EngineWithSpy, DirectOutputIsTheKernelsOutput)
{
	ASSERT_TRUE (engine->setup (44100, 512));
	EXPECT_FALSE (engine->converted ());
	const std::vector<float> viaEngine = render (4096, 300, [&] (int start, int) {
		if (start == 0)
			engine->pushNoteOn (57, 0.9, 17, 0, 0);
	});
	// The same note straight through the library.
	ASSERT_EQ (productKernelLibrary ().runtimeInit (), 0);
	const uint32_t h = static_cast<uint32_t> (productKernelLibrary ().create (128, 0, 2, 44100));
	float* out = nullptr;
	uint32_t length = 0;
	productKernelLibrary ().outputView (h, &out, &length);
	std::vector<float> direct;
	productKernelLibrary ().pushEvent (h, 2, 17, 57, 0.9);
	for (int start = 0; start < 4096; start += 128)
	{
		productKernelLibrary ().process (h, 128);
		direct.insert (direct.end (), out, out + 128);
	}
	productKernelLibrary ().destroy (h);
	EXPECT_EQ (viaEngine, direct);
}

TEST_F (EngineWithSpy, ExtraOutputChannelsCarryTheLeftChannel)
{
	ASSERT_TRUE (engine->setup (48000, 256));
	ASSERT_TRUE (engine->pushNoteOn (50, 1, 0, 0, 0));
	Stereo buffers (256, 3);
	engine->processBlock (nullptr, 0, buffers.out (), 3, 256);
	EXPECT_EQ (buffers.data[2], buffers.data[0]);
	EXPECT_NE (buffers.data[1], buffers.data[0]);
}

// Rendering at the host rate through the adapter when the kernel runs at
// 48 kHz only.
class ConvertedEngine : public EngineWithSpy, public ::testing::WithParamInterface<double>
{
};

TEST_P (ConvertedEngine, LatencyLeadInPositionsAndPitch)
{
	const double rate = GetParam ();
	spy.only48k = true;
	ASSERT_TRUE (engine->setup (rate, 512));
	ASSERT_TRUE (engine->converted ());
	// 16 host frames and 20 kernel frames, rounded up to whole host frames.
	const int latency = rate == 44100 ? 35 : rate == 96000 ? 56 : 96;
	EXPECT_EQ (engine->latencySamples (), static_cast<uint32_t> (latency));
	const int frames = static_cast<int> (rate * 1.5);

	auto settings = [&] (int start) {
		if (start == 0)
		{
			engine->pushParamNormalized (0, 0.6, 0);  // Xiaoluo: few, clear modes
			engine->pushParamNormalized (11, 0.0, 0); // no glide
		}
	};
	// A note at frame 0: silence for exactly the lead-in, then sound.
	const std::vector<float> first = render (frames, 512, [&] (int start, int) {
		settings (start);
		if (start == 0)
			engine->pushNoteOn (45, 1.0, 0, 0, 0);
	});
	const int leadIn = 16 + static_cast<int> (std::ceil (20 * rate / 48000));
	for (int i = 0; i < leadIn; ++i)
		ASSERT_EQ (first[static_cast<size_t> (i)], 0.f) << i;
	const int firstOnset = onset (first);
	ASSERT_GE (firstOnset, leadIn);
	// The mallet pulse rises over a few kernel frames.
	EXPECT_LE (firstOnset, latency + 16);

	// The same note queued 700 frames later, beyond the end of its block.
	ASSERT_TRUE (engine->setup (rate, 512));
	const std::vector<float> later = render (frames, 512, [&] (int start, int) {
		settings (start);
		if (start == 0)
			engine->pushNoteOn (45, 1.0, 700, 0, 0);
	});
	EXPECT_NEAR (onset (later) - firstOnset, 700, 1);

	// Pitch agrees with the kernel running at the host rate itself.
	spy.only48k = false;
	ASSERT_TRUE (engine->setup (rate, 512));
	ASSERT_FALSE (engine->converted ());
	const std::vector<float> direct = render (frames, 512, [&] (int start, int) {
		settings (start);
		if (start == 0)
			engine->pushNoteOn (45, 1.0, 0, 0, 0);
	});
	const std::vector<float> window (first.begin () + frames / 3, first.end ());
	const std::vector<float> directWindow (direct.begin () + frames / 3, direct.end ());
	const double converted = peakFrequency (window, rate, 100, 120, 0.05);
	const double native = peakFrequency (directWindow, rate, 100, 120, 0.05);
	RecordProperty ("directHz", std::to_string (native));
	RecordProperty ("convertedHz", std::to_string (converted));
	RecordProperty ("onset", std::to_string (firstOnset));
	EXPECT_NEAR (native, 110, 0.5);
	EXPECT_NEAR (converted, native, 0.2) << "converted " << converted << " Hz, direct " << native << " Hz";
}

INSTANTIATE_TEST_SUITE_P (HostRates, ConvertedEngine, ::testing::Values (44100.0, 96000.0, 192000.0));

// 64-bit FNV-1a over the bytes of the samples.
uint64_t fingerprint (const std::vector<float>& samples)
{
	uint64_t h = 14695981039346656037ull;
	const auto* bytes = reinterpret_cast<const unsigned char*> (samples.data ());
	for (size_t i = 0; i < samples.size () * sizeof (float); ++i)
		h = (h ^ bytes[i]) * 1099511628211ull;
	return h;
}

// The rate adapter's output, sample for sample, against renders kept in
// tests/golden: any change to its trims, tables or positions shows here.
// ZORV_UPDATE_GOLDEN=1 writes the file anew after an intended change.
TEST_F (EngineWithSpy, ConvertedOutputMatchesTheGoldenRenders)
{
	const std::string path = std::string (ZORV_TEST_SOURCE_DIR) + "/golden/converted_renders.txt";
	const struct
	{
		double rate;
		int block;
	} cases[] = {{44100, 512}, {44100, 100}, {96000, 256}, {22050, 333}, {88200, 64}};
	spy.only48k = true;
	std::string rendered;
	for (const auto& c : cases)
	{
		ASSERT_TRUE (engine->setup (c.rate, c.block));
		ASSERT_TRUE (engine->converted ());
		const int frames = static_cast<int> (c.rate / 2);
		const std::vector<float> left = render (frames, c.block, [&] (int start, int n) {
			if (start == 0)
				engine->pushParamNormalized (0, 0.2, 0); // Wind Gong
			for (int f : {37, 2900, 7001, 15000})
				if (f >= start && f < start + n)
					engine->pushNoteOn (40 + f % 17, 0.9, f - start, 0, 0);
			if (3000 >= start && 3000 < start + n)
				engine->pushParamNormalized (17, 0.5, 3000 - start);
		});
		char line[160];
		std::snprintf (line, sizeof (line), "%.0f %d %d %016llx\n", c.rate, c.block, frames,
		               static_cast<unsigned long long> (fingerprint (left)));
		rendered += line;
	}
	const char* update = std::getenv ("ZORV_UPDATE_GOLDEN");
	if (update && std::string (update) == "1")
	{
		std::ofstream (path) << rendered;
		GTEST_SKIP () << "wrote " << path;
	}
	std::ifstream in (path);
	ASSERT_TRUE (in) << path << " is missing; run with ZORV_UPDATE_GOLDEN=1";
	const std::string golden ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char> ());
	EXPECT_EQ (rendered, golden) << "columns: host rate, block, frames, fingerprint of the left channel";
}

// Runs in a child process: the trace file is chosen once per process.
void renderWithTrace (const std::string& path)
{
	setenv ("TAVIK_KERNEL_TRACE", path.c_str (), 1);
	KernelEngine engine;
	engine.setup (48000, 256);
	engine.pushNoteOn (60, 0.5, 3, 0, 0);
	engine.pushParamNormalized (1, 1.0, 0);
	std::vector<float> l (200), r (200);
	float* out[2] = {l.data (), r.data ()};
	engine.processBlock (nullptr, 0, out, 2, 200);
	std::exit (0);
}

TEST (EngineTrace, WritesSetupChunksAndEventsWhenAsked)
{
	// One name for parent and child (the child re-runs this test body).
	const std::string path = testing::TempDir () + "zorv_kernel_trace_test.txt";
	std::remove (path.c_str ());
	GTEST_FLAG_SET (death_test_style, "threadsafe");
	EXPECT_EXIT (renderWithTrace (path), ::testing::ExitedWithCode (0), "");
	std::ifstream in (path);
	std::string text ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char> ());
	EXPECT_NE (text.find ("S this="), std::string::npos);
	EXPECT_NE (text.find ("rate=48000 kernelRate=48000 handle="), std::string::npos);
	EXPECT_NE (text.find ("blk=1 off=0 chunk=128 frames=200 events=2"), std::string::npos);
	EXPECT_NE (text.find ("blk=1 off=128 chunk=72 frames=200"), std::string::npos);
	EXPECT_NE (text.find ("frame=0 kind=1 a=1 value=2 src=queue status=0"), std::string::npos);
	EXPECT_NE (text.find ("frame=3 kind=2 a=60 value=0.5 src=queue status=0"), std::string::npos);
	std::remove (path.c_str ());
}

} // namespace
