// TavikProcessor driven through its VST 3 interfaces.

#include "kernel_spy.h"
#include "midi_controller_params.h"
#include "processor_test_host.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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

// MIDI controllers reach the processor as changes of the hidden controller
// parameters; each is resolved through the processor's CC map, applied to
// the engine at its frame and reported to the host at that frame.
class ProcessorControllers : public ::testing::Test
{
protected:
	void SetUp () override { ASSERT_TRUE (host.start (48000, 512)); }

	void useMap (const std::string& bindings)
	{
		host.processor ().session ().adoptCcMap ("{\"version\":1,\"bindings\":[" + bindings + "]}");
	}
	void controller (uint32_t number, int offset, int value, uint32_t channel = 0)
	{
		host.addParameterPoint (tavik::midiControllerParamId (channel, number), offset, value / 127.0);
	}
	// The values reported for parameter `index` in the last block, as
	// (offset, normalized) pairs.
	std::vector<std::pair<int32, double>> reported (uint32_t index)
	{
		std::vector<std::pair<int32, double>> out;
		if (auto* queue = host.outputChanges.find (index))
			for (int32 i = 0; i < queue->count; ++i)
				out.emplace_back (queue->offsets[i], queue->values[i]);
		return out;
	}
	double engineValue (uint32_t index) { return host.processor ().engine ().paramValue (index); }
	static double plainOf (uint32_t index, double normalized)
	{
		return tavik::tavik_param_plain (&tavik::TAVIK_PARAMS[index], normalized);
	}

	ProcessorHost host;
};

TEST_F (ProcessorControllers, EveryCurveRangeAndListReachesTheEngineAndTheHostAtItsFrame)
{
	useMap ("{\"cc\":1,\"path\":\"strike.position\"},"
	        "{\"cc\":2,\"path\":\"strike.position\",\"curve\":\"exp\",\"channel\":2},"
	        "{\"cc\":3,\"path\":\"strike.position\",\"curve\":\"log\"},"
	        "{\"cc\":4,\"path\":\"strike.position\",\"curve\":\"s-curve\"},"
	        "{\"cc\":5,\"path\":\"tuning.baseFreq\",\"min\":300,\"max\":100},"
	        "{\"cc\":6,\"path\":\"mallet.type\"}");
	const double x = 64 / 127.0;
	struct Case
	{
		uint32_t cc;
		uint32_t channel;
		uint32_t param;
		double expected;
	} cases[] = {
		{1, 0, 5, x},
		{2, 1, 5, x * x},
		{3, 0, 5, std::sqrt (x)},
		{4, 0, 5, x * x * (3 - 2 * x)},
		{5, 0, 16, (300 + x * (100 - 300) - 55) / 385}, // a reversed range inverts
	};
	for (const Case& c : cases)
	{
		controller (c.cc, 37, 64, c.channel);
		ASSERT_EQ (host.process (256), kResultOk) << c.cc;
		const auto points = reported (c.param);
		ASSERT_EQ (points.size (), 1u) << c.cc;
		EXPECT_EQ (points[0].first, 37) << c.cc;
		EXPECT_NEAR (points[0].second, c.expected, 1e-12) << c.cc;
		EXPECT_EQ (engineValue (c.param), plainOf (c.param, points[0].second)) << c.cc;
	}
	// A binding on one channel hears no other.
	controller (2, 0, 127, 0);
	ASSERT_EQ (host.process (128), kResultOk);
	EXPECT_TRUE (reported (5).empty ());

	// A list parameter steps through its entries.
	for (const auto& [value, entry] : std::vector<std::pair<int, double>> {{0, 0}, {43, 1}, {85, 2}, {127, 3}, {20, 0}})
	{
		controller (6, 5, value);
		ASSERT_EQ (host.process (128), kResultOk);
		EXPECT_EQ (engineValue (7), entry) << value;
	}

	// Several messages in one block keep their frames, across queues and
	// chunks, and the last one is what the engine holds.
	controller (1, 300, 127);
	controller (1, 10, 0);
	controller (3, 200, 127);
	ASSERT_EQ (host.process (512), kResultOk);
	EXPECT_EQ (reported (5), (std::vector<std::pair<int32, double>> {{10, 0.0}, {200, 1.0}, {300, 1.0}}));
	EXPECT_EQ (engineValue (5), 1.0);
}

TEST_F (ProcessorControllers, RelativeModesStepFromTheEnginesValueAndTogglesFlip)
{
	useMap ("{\"cc\":20,\"path\":\"ir.stereoWidth\",\"valueMode\":\"relative-signed-bit\"},"
	        "{\"cc\":21,\"path\":\"ir.stereoWidth\",\"valueMode\":\"relative-binary-offset\"},"
	        "{\"cc\":22,\"path\":\"ir.stereoWidth\",\"valueMode\":\"relative-twos-complement\"},"
	        "{\"cc\":23,\"path\":\"performance.fixedVelocity\",\"valueMode\":\"toggle\"}");
	// The width starts at 0.4, nearest to position 51.
	struct Step
	{
		uint32_t cc;
		int value;
		int position;
	} steps[] = {{20, 65, 52}, {20, 66, 54}, {20, 1, 53}, {21, 63, 52}, {21, 67, 55}, {22, 127, 54}, {22, 2, 56}};
	for (const Step& s : steps)
	{
		controller (s.cc, 9, s.value);
		ASSERT_EQ (host.process (128), kResultOk);
		const auto points = reported (4);
		ASSERT_EQ (points.size (), 1u) << s.cc << " " << s.value;
		EXPECT_DOUBLE_EQ (points[0].second, s.position / 127.0) << s.cc << " " << s.value;
	}
	// Automation moves the width; the next step starts from there.
	host.addParameterPoint (4, 0, 1.0);
	controller (21, 50, 60);
	ASSERT_EQ (host.process (128), kResultOk);
	ASSERT_EQ (reported (4).size (), 1u);
	EXPECT_DOUBLE_EQ (reported (4)[0].second, 123 / 127.0);

	// Each rising crossing of the middle flips the toggle.
	for (const auto& [value, expected] : std::vector<std::pair<int, double>> {{127, 1}, {0, 1}, {100, 0}, {90, 0}})
	{
		controller (23, 0, value);
		ASSERT_EQ (host.process (128), kResultOk);
		EXPECT_EQ (engineValue (24), expected) << value;
	}
}

TEST_F (ProcessorControllers, PickupAndTakeoverMeetAutomationThatMovedTheParameter)
{
	useMap ("{\"cc\":7,\"path\":\"master.level\",\"takeover\":\"pickup\"},"
	        "{\"cc\":8,\"path\":\"ir.stereoWidth\",\"takeover\":\"scaled\"}");
	// The automation moves the level to 0.8 earlier in the same block:
	// pickup waits until the controller meets or passes position 102.
	host.addParameterPoint (17, 0, 0.8);
	controller (7, 64, 20);
	controller (7, 128, 90);
	controller (7, 256, 110);
	controller (7, 300, 40);
	ASSERT_EQ (host.process (512), kResultOk);
	EXPECT_EQ (reported (17), (std::vector<std::pair<int32, double>> {{256, 110 / 127.0}, {300, 40 / 127.0}}));
	EXPECT_EQ (engineValue (17), plainOf (17, 40 / 127.0));

	// The automation takes the level away again: pickup must catch it anew
	// only if it lost it; once picked up the controller leads.
	host.addParameterPoint (17, 0, 0.2);
	controller (7, 10, 41);
	ASSERT_EQ (host.process (128), kResultOk);
	EXPECT_EQ (reported (17).size (), 1u);

	// Scaled takeover: the width is automated to 0.8 (position 102); the
	// first message tells where the controller is, the next spreads its
	// remaining travel over the parameter's.
	host.addParameterPoint (4, 0, 0.8);
	controller (8, 5, 0);
	controller (8, 6, 10);
	ASSERT_EQ (host.process (128), kResultOk);
	const auto points = reported (4);
	ASSERT_EQ (points.size (), 1u);
	EXPECT_EQ (points[0].first, 6);
	EXPECT_DOUBLE_EQ (points[0].second, 104 / 127.0); // 102 + 25/127 of 10 steps
}

TEST_F (ProcessorControllers, AMapReplacedBetweenBlocksIsHeardFromTheNextAndNoneMeansNothing)
{
	controller (1, 0, 127);
	ASSERT_EQ (host.process (128), kResultOk);
	EXPECT_EQ (host.outputChanges.getParameterCount (), 0);
	EXPECT_EQ (engineValue (5), 0.15);

	useMap ("{\"cc\":1,\"path\":\"strike.position\"}");
	controller (1, 0, 127);
	ASSERT_EQ (host.process (128), kResultOk);
	EXPECT_EQ (engineValue (5), 1.0);
	useMap ("{\"cc\":1,\"path\":\"ir.stereoWidth\"}");
	controller (1, 0, 0);
	ASSERT_EQ (host.process (128), kResultOk);
	EXPECT_EQ (engineValue (5), 1.0);
	EXPECT_EQ (engineValue (4), 0.0);
	// A block without audio takes the value; the next one hands it to the
	// kernel.
	controller (1, 0, 127);
	ASSERT_EQ (host.process (0), kResultOk);
	EXPECT_EQ (engineValue (4), 1.0);
	ASSERT_EQ (host.process (128), kResultOk);
	EXPECT_EQ (host.processor ().engine ().kernelShadow (4), 1.0);
	// A binding on the sustain controller works as a binding too.
	useMap ("{\"cc\":64,\"path\":\"ir.stereoWidth\"}");
	controller (64, 3, 127);
	ASSERT_EQ (host.process (128), kResultOk);
	EXPECT_EQ (engineValue (4), 1.0);
	EXPECT_TRUE (host.processor ().session ().hasCcMap ());
}

TEST_F (ProcessorControllers, EveryControllerMovedIsNotedForTheEditorAtItsLatestValue)
{
	using Records = std::vector<std::array<uint8_t, 3>>;
	const auto drained = [this] {
		const std::string bytes = host.processor ().session ().drainCcActivity ();
		Records out (bytes.size () / 3);
		if (!out.empty ())
			std::memcpy (out.data (), bytes.data (), out.size () * 3);
		return out;
	};
	EXPECT_TRUE (drained ().empty ());
	// Bound or not: the drawer shows them and MIDI learn takes them.
	useMap ("{\"cc\":1,\"path\":\"strike.position\"}");
	controller (1, 0, 10);
	controller (1, 100, 90);
	controller (30, 7, 64, 4);
	controller (tavik::MIDI_PITCH_BEND, 0, 3); // no controller number of its own
	ASSERT_EQ (host.process (256), kResultOk);
	EXPECT_EQ (drained (), (Records {{1, 1, 90}, {30, 5, 64}}));
	EXPECT_TRUE (drained ().empty ());
}

// Output energy of one block, both channels.
double energyOf (const ProcessorHost& host)
{
	double sum = 0;
	for (const auto& channel : host.output)
		for (float s : channel)
			sum += static_cast<double> (s) * s;
	return sum;
}

// Renders `blocks` blocks of 512 frames and returns the energy of the last.
double renderBlocks (ProcessorHost& host, int blocks)
{
	for (int i = 0; i < blocks; ++i)
		EXPECT_EQ (host.process (512), kResultOk);
	return energyOf (host);
}

TEST_F (ProcessorControllers, SustainHoldsNoteOffsUntilThePedalRises)
{
	// With no CC map at all: the pedal is a performance controller.
	ProcessorHost plain;
	ASSERT_TRUE (plain.start (48000, 512));
	for (ProcessorHost* h : {&host, &plain})
	{
		h->addNoteOn (45, 0.9f, 0);
		ASSERT_EQ (h->process (512), kResultOk);
	}
	host.addParameterPoint (tavik::midiControllerParamId (0, 64), 0, 1.0);
	host.addNoteOff (45, 100);
	plain.addNoteOff (45, 100);
	// The release takes 0.6 s: a second later the released note is silent,
	// the held one still rings.
	const double held = renderBlocks (host, 100);
	const double released = renderBlocks (plain, 100);
	EXPECT_GT (held, 1e-3);
	EXPECT_LT (released, held * 1e-6);
	EXPECT_TRUE (host.processor ().controllers ().pedalDown (0));

	// The pedal on another channel holds nothing of this one.
	host.addParameterPoint (tavik::midiControllerParamId (3, 64), 0, 0.0);
	EXPECT_GT (renderBlocks (host, 1), 1e-3);
	// The pedal rises: the held note-off is played then.
	host.addParameterPoint (tavik::midiControllerParamId (0, 64), 0, 0.0);
	EXPECT_LT (renderBlocks (host, 100), held * 1e-6);
	EXPECT_FALSE (host.processor ().controllers ().pedalDown (0));

	// A key struck again while its note-off is held is held by the key.
	host.addParameterPoint (tavik::midiControllerParamId (0, 64), 0, 1.0);
	host.addNoteOn (50, 0.9f, 0);
	host.addNoteOff (50, 10);
	ASSERT_EQ (host.process (512), kResultOk);
	host.addNoteOn (50, 0.9f, 0);
	ASSERT_EQ (host.process (512), kResultOk);
	host.addParameterPoint (tavik::midiControllerParamId (0, 64), 0, 0.0);
	EXPECT_GT (renderBlocks (host, 100), 1e-3);
}

TEST_F (ProcessorControllers, AllSoundOffStopsEveryVoiceAndAllNotesOffReleasesThem)
{
	ProcessorHost ringing;
	ASSERT_TRUE (ringing.start (48000, 512));
	for (ProcessorHost* h : {&host, &ringing})
	{
		h->addNoteOn (45, 0.9f, 0);
		h->addNoteOn (52, 0.9f, 0);
		h->addNoteOn (57, 0.9f, 0);
		h->addNoteOff (57, 300); // already releasing: stopped too
		ASSERT_EQ (h->process (512), kResultOk);
	}
	// All sound off fades every voice within 10 ms: the block after next is
	// silent, the same render without it still rings.
	host.addParameterPoint (tavik::midiControllerParamId (5, 120), 0, 0.0);
	ASSERT_EQ (host.process (512), kResultOk);
	EXPECT_EQ (renderBlocks (host, 1), 0.0);
	EXPECT_GT (renderBlocks (ringing, 2), 1e-3);
	EXPECT_EQ (host.silenceFlags, 3u);

	// All notes off releases the channel's notes even with the pedal down.
	host.addParameterPoint (tavik::midiControllerParamId (0, 64), 0, 1.0);
	host.addNoteOn (45, 0.9f, 0);
	host.addNoteOn (48, 0.9f, 0);
	host.addNoteOff (48, 10);
	ASSERT_EQ (host.process (512), kResultOk);
	const double before = renderBlocks (host, 1);
	host.addParameterPoint (tavik::midiControllerParamId (0, 123), 0, 0.0);
	EXPECT_GT (before, 1e-3);
	EXPECT_LT (renderBlocks (host, 100), before * 1e-6);
	// The pedal rising afterwards has nothing left to release.
	host.addParameterPoint (tavik::midiControllerParamId (0, 64), 0, 0.0);
	EXPECT_EQ (renderBlocks (host, 1), 0.0);
}

} // namespace
