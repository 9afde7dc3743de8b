// TavikProcessor driven through its VST 3 interfaces.

#include "kernel_spy.h"
#include "processor_test_host.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using tavik::test::KernelCall;
using tavik::test::KernelSpy;
using tavik::test::ProcessorHost;

TEST (Processor, BusArrangementsAndSampleSizes)
{
	ProcessorHost host;
	IAudioProcessor* p = host.audio ();
	SpeakerArrangement mono = SpeakerArr::kMono, stereo = SpeakerArr::kStereo;
	SpeakerArrangement two[2] = {stereo, stereo};
	EXPECT_EQ (p->setBusArrangements (nullptr, 0, &mono, 1), kResultFalse);
	EXPECT_EQ (p->setBusArrangements (nullptr, 0, two, 2), kResultFalse);
	EXPECT_EQ (p->setBusArrangements (&stereo, 1, &stereo, 1), kResultFalse);
	EXPECT_EQ (p->setBusArrangements (nullptr, 0, &stereo, 1), kResultOk);
	EXPECT_EQ (p->canProcessSampleSize (kSample32), kResultOk);
	EXPECT_EQ (p->canProcessSampleSize (kSample64), kResultFalse);
	ProcessSetup setup {kRealtime, kSample64, 512, 48000};
	EXPECT_NE (p->setupProcessing (setup), kResultOk);
}

TEST (Processor, RefusesUnusableSetups)
{
	ProcessorHost host;
	testing::internal::CaptureStderr ();
	EXPECT_FALSE (host.start (48000, 20000));
	EXPECT_FALSE (host.start (-1, 512));
	testing::internal::GetCapturedStderr ();
	EXPECT_TRUE (host.start (48000, 512));
	EXPECT_EQ (host.audio ()->getLatencySamples (), 0u);
}

class ProcessorWithSpy : public ::testing::Test
{
protected:
	void SetUp () override { spy.install (); }
	void TearDown () override { KernelSpy::uninstall (); }
	KernelSpy spy;
};

TEST_F (ProcessorWithSpy, EveryParameterPointIsQueued)
{
	ProcessorHost host;
	ASSERT_TRUE (host.start (48000, 512));
	ASSERT_EQ (host.process (256), kResultOk);
	spy.clear ();
	host.addParameterPoint (1, 0, 0.0);
	host.addParameterPoint (1, 100, 0.5);
	host.addParameterPoint (1, 200, 1.0);
	host.addParameterPoint (30, 10, 0.5); // not a parameter of the table
	ASSERT_EQ (host.process (256), kResultOk);
	std::vector<KernelCall> sizes;
	for (const KernelCall& c : spy.pushes ())
		if (c.kind == TAVIK_KERNEL_EVENT_PARAMETER)
			sizes.push_back (c);
	ASSERT_EQ (sizes.size (), 3u);
	EXPECT_EQ (sizes[0].value, 0.5);
	EXPECT_EQ (sizes[1].value, 1.25);
	EXPECT_EQ (sizes[1].frame, 100u);
	EXPECT_EQ (sizes[2].value, 2);
	EXPECT_EQ (sizes[2].frame, 72u); // frame 200 in the second chunk
	EXPECT_EQ (host.processor ().engine ().paramValue (1), 2);
}

TEST_F (ProcessorWithSpy, NotesWithVelocityZeroAreNoteOffs)
{
	ProcessorHost host;
	ASSERT_TRUE (host.start (48000, 512));
	host.addNoteOn (60, 0.7f, 3);
	host.addNoteOn (60, 0.0f, 9);
	ASSERT_EQ (host.process (128), kResultOk);
	const std::vector<KernelCall> pushes = spy.pushes ();
	ASSERT_GE (pushes.size (), 2u);
	EXPECT_EQ (pushes[pushes.size () - 2].kind, uint32_t (TAVIK_KERNEL_EVENT_NOTE_ON));
	EXPECT_EQ (pushes[pushes.size () - 2].value, 0.7f);
	EXPECT_EQ (pushes.back ().kind, uint32_t (TAVIK_KERNEL_EVENT_NOTE_OFF));
	EXPECT_EQ (pushes.back ().frame, 9u);
}

TEST_F (ProcessorWithSpy, ZeroSampleBlocksCarryParametersToTheNextBlock)
{
	ProcessorHost host;
	ASSERT_TRUE (host.start (48000, 512));
	ASSERT_EQ (host.process (128), kResultOk);
	spy.clear ();
	host.addParameterPoint (17, 0, 0.25);
	ASSERT_EQ (host.process (0), kResultOk);
	EXPECT_EQ (host.processor ().engine ().paramValue (17), 0.25);
	EXPECT_TRUE (spy.calls.empty ());
	ASSERT_EQ (host.process (128), kResultOk);
	const std::vector<KernelCall> pushes = spy.pushes ();
	ASSERT_EQ (pushes.size (), 1u);
	EXPECT_EQ (pushes[0].a, 17u);
	EXPECT_EQ (pushes[0].value, 0.25);
}

TEST (Processor, SilenceFlagsAndOutputChecks)
{
	ProcessorHost host;
	ASSERT_TRUE (host.start (48000, 512));
	ASSERT_EQ (host.process (128), kResultOk);
	EXPECT_EQ (host.silenceFlags, 3u);
	host.addNoteOn (45, 1.0f, 0);
	ASSERT_EQ (host.process (128), kResultOk);
	EXPECT_EQ (host.silenceFlags, 0u);

	// 70 channels: channels 2.. carry the left channel; 63 and up never flagged.
	ProcessorHost wide;
	ASSERT_TRUE (wide.start (48000, 512));
	ASSERT_EQ (wide.process (64, 70), kResultOk);
	EXPECT_EQ (wide.silenceFlags, (uint64 (1) << 63) - 1);

	AudioBusBuffers none {};
	ProcessData data {};
	data.symbolicSampleSize = kSample32;
	data.numSamples = 64;
	data.numOutputs = 1;
	data.outputs = &none;
	EXPECT_EQ (host.audio ()->process (data), kResultFalse);
	data.symbolicSampleSize = kSample64;
	EXPECT_EQ (host.audio ()->process (data), kResultFalse);
}

TEST_F (ProcessorWithSpy, ConvertedModeReportsItsLatency)
{
	spy.only48k = true;
	ProcessorHost host;
	ASSERT_TRUE (host.start (96000, 512));
	EXPECT_TRUE (host.processor ().engine ().converted ());
	EXPECT_EQ (host.audio ()->getLatencySamples (), 56u);
	ProcessorHost cd;
	ASSERT_TRUE (cd.start (44100, 512));
	EXPECT_EQ (cd.audio ()->getLatencySamples (), 35u);
	ProcessorHost native;
	ASSERT_TRUE (native.start (48000, 512));
	EXPECT_EQ (native.audio ()->getLatencySamples (), 0u);
}

} // namespace
