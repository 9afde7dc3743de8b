// TavikProcessor's state and messages through its VST 3 interfaces: saved
// and restored projects keep their sound, every controller message does what
// it should with good and bad payloads, and banks named by a load request or
// a restored state are loaded, verified and refused with their reason.

#include "host_facts.h"
#include "message_recorder.h"
#include "plugin_messages.h"
#include "processor_test_host.h"
#include "runtime_diagnostics.h"
#include "scratch_bank.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using tavik::test::ProcessorHost;
using tavik::test::TempDirectory;
using tavik::test::writeScratchBank;

const std::string DEFAULT_STATE =
	"{\"params\":{\"ir.instrument\":0,\"ir.size\":1,\"ir.decayScale\":1,\"ir.damping\":1,\"ir.stereoWidth\":0.4,"
	"\"strike.position\":0.15,\"strike.velTone\":0.6,\"mallet.type\":0,\"exciter.noise\":0.15,\"bloom.amount\":0.7,"
	"\"bloom.time\":0.8,\"glide.amount\":0.7,\"ombak.amount\":1,\"ombak.rate\":2.5,\"amp.decay\":15,"
	"\"amp.release\":0.6,\"tuning.baseFreq\":110,\"master.level\":0.8,\"model.stiffness\":0,\"model.coupling\":0,"
	"\"model.edgeLoss\":0,\"model.radiation\":0,\"glide.depth\":0.65,\"glide.time\":0.85,"
	"\"performance.fixedVelocity\":0,\"performance.velocity\":0.85},\"variation\":16}";

std::string saveState (tavik::TavikProcessor& processor)
{
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	EXPECT_EQ (processor.getState (stream), kResultOk);
	return std::string (stream->getData (), static_cast<size_t> (stream->getSize ()));
}

tresult restoreState (tavik::TavikProcessor& processor, const std::string& text)
{
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	int32 written = 0;
	stream->write (const_cast<char*> (text.data ()), static_cast<int32> (text.size ()), &written);
	int64 position = 0;
	stream->seek (0, IBStream::kIBSeekSet, &position);
	return processor.setState (stream);
}

// Strikes a note and renders `blocks` blocks of 256 frames, left channel.
std::vector<float> strike (ProcessorHost& host, int blocks)
{
	std::vector<float> out;
	host.addNoteOn (57, 0.9f, 10);
	for (int b = 0; b < blocks; ++b)
	{
		EXPECT_EQ (host.process (256), kResultOk);
		out.insert (out.end (), host.output[0].begin (), host.output[0].end ());
	}
	return out;
}

// A processor connected to a controller stand-in, with messages to send it.
class ConnectedProcessor : public ::testing::Test
{
protected:
	ConnectedProcessor () : host (&application), peer (owned (new tavik::test::MessageRecorder ()))
	{
		processor ().connect (peer);
	}
	~ConnectedProcessor () override { processor ().disconnect (peer); }

	tavik::TavikProcessor& processor () { return host.processor (); }

	tresult send (const char* id, const std::string* payload)
	{
		IPtr<IMessage> message = owned (new HostMessage ());
		message->setMessageID (id);
		if (payload)
			message->getAttributes ()->setBinary ("json", payload->data (), static_cast<uint32> (payload->size ()));
		return processor ().notify (message);
	}
	tresult send (const char* id, const std::string& payload) { return send (id, &payload); }

	const tavik::tavik_runtime_diagnostic& lastRecord ()
	{
		const tavik::tavik_runtime_diagnostic_ring& ring = processor ().engine ().diagnosticRing ();
		return ring.records[ring.count - 1];
	}

	HostApplication application;
	ProcessorHost host;
	IPtr<tavik::test::MessageRecorder> peer;
};

TEST (ProcessorState, ANewProcessorSavesTheTableDefaults)
{
	ProcessorHost host;
	EXPECT_EQ (saveState (host.processor ()), DEFAULT_STATE);
	EXPECT_EQ (host.processor ().getState (nullptr), kResultFalse);
	EXPECT_EQ (host.processor ().setState (nullptr), kResultFalse);
}

TEST (ProcessorState, RoundTripGivesTheSameBytesAndTheSameSound)
{
	ProcessorHost first;
	ASSERT_TRUE (first.start (48000, 256));
	first.addParameterPoint (1, 0, 0.3);   // ir.size
	first.addParameterPoint (7, 0, 0.6);   // mallet.type
	first.addParameterPoint (16, 0, 0.42); // tuning.baseFreq
	ASSERT_EQ (first.process (256), kResultOk);
	const std::string saved = saveState (first.processor ());
	ASSERT_NE (saved, DEFAULT_STATE);

	ProcessorHost second;
	ASSERT_EQ (restoreState (second.processor (), saved), kResultOk);
	EXPECT_EQ (saveState (second.processor ()), saved);

	// Both start from silence with the same values: the same samples.
	ASSERT_EQ (first.processor ().setActive (false), kResultOk);
	ASSERT_TRUE (first.start (48000, 256));
	ASSERT_TRUE (second.start (48000, 256));
	const std::vector<float> a = strike (first, 40);
	const std::vector<float> b = strike (second, 40);
	EXPECT_EQ (a, b);
	EXPECT_NE (a, std::vector<float> (a.size (), 0.f));
}

TEST (ProcessorState, AStateSavedMidProjectRestoresTheSameSound)
{
	// Automation moves several parameters while a note rings; the state saved
	// afterwards must bring a new instance to the same place.
	ProcessorHost project;
	ASSERT_TRUE (project.start (48000, 256));
	project.addNoteOn (45, 1.0f, 0);
	for (int b = 0; b < 30; ++b)
	{
		project.addParameterPoint (0, 17, (b % 6) / 5.0); // ir.instrument steps through the models
		project.addParameterPoint (9, 100, b / 30.0);     // bloom.amount ramps
		project.addParameterPoint (17, 200, 0.5 + b / 100.0);
		ASSERT_EQ (project.process (256), kResultOk);
	}
	const std::string saved = saveState (project.processor ());

	ProcessorHost reopened;
	ASSERT_EQ (restoreState (reopened.processor (), saved), kResultOk);
	for (uint32_t i = 0; i < tavik::TAVIK_PARAM_COUNT; ++i)
		EXPECT_EQ (reopened.processor ().engine ().paramValue (i), project.processor ().engine ().paramValue (i)) << i;

	ASSERT_EQ (project.processor ().setActive (false), kResultOk);
	ASSERT_TRUE (project.start (48000, 256));
	ASSERT_TRUE (reopened.start (48000, 256));
	EXPECT_EQ (strike (project, 60), strike (reopened, 60));
}

TEST (ProcessorState, PartialDocumentsKeepTheOtherValues)
{
	ProcessorHost host;
	ASSERT_EQ (restoreState (host.processor (), "{\"params\":{\"ir.size\":0.5,\"amp.decay\":3}}"), kResultOk);
	ASSERT_EQ (restoreState (host.processor (), "{\"params\":{\"amp.decay\":7},\"variation\":3}"), kResultOk);
	const tavik::KernelEngine& engine = host.processor ().engine ();
	EXPECT_EQ (engine.paramValue (1), 0.5);
	EXPECT_EQ (engine.paramValue (14), 7);
	EXPECT_EQ (engine.paramValue (16), 110); // never named
	EXPECT_EQ (engine.variation (), 3);
	ASSERT_EQ (restoreState (host.processor (), "{\"params\":{}}"), kResultOk);
	EXPECT_EQ (engine.variation (), 3); // no variation stored: kept
}

TEST (ProcessorState, ADocumentOfExactlyOnePieceIsRead)
{
	std::string document = "{\"params\":{\"ir.size\":0.25}}";
	document.insert (document.size () - 1, 4096 - document.size (), ' ');
	ASSERT_EQ (document.size (), 4096u);
	ProcessorHost host;
	ASSERT_EQ (restoreState (host.processor (), document), kResultOk);
	EXPECT_EQ (host.processor ().engine ().paramValue (1), 0.25);

	// One byte more needs a second, short piece.
	document.insert (document.size () - 1, " ");
	ASSERT_EQ (restoreState (host.processor (), "{\"params\":{\"ir.size\":0.75}}" + std::string (4070, ' ')),
	           kResultOk);
	EXPECT_EQ (host.processor ().engine ().paramValue (1), 0.75);
}

TEST (ProcessorState, RefusedDocumentsChangeNothing)
{
	ProcessorHost host;
	const std::string good = "{\"params\":{\"ir.size\":0.5},\"ccMap\":{\"version\":1,\"bindings\":[]},"
							 "\"sampler\":{\"v\":1,\"pads\":{\"kick\":{\"gain\":2}}}}";
	ASSERT_EQ (restoreState (host.processor (), good), kResultOk);
	const std::string before = saveState (host.processor ());
	ASSERT_NE (before.find ("\"ccMap\""), std::string::npos);
	ASSERT_NE (before.find ("\"kick\":{\"gain\":2}"), std::string::npos);

	const std::vector<std::string> refused = {
		"",
		"{",
		"{\"params\":{\"ir.size\":0.1}",
		"{\"params\":{\"ir.size\":0.1}} trailing",
		"{\"params\":{\"ir.size\":0.1},\"variation\":\"x\"}",
		"{\"params\":null,\"sampler\":{\"v\":1,\"pads\":{}}}",
		"{\"params\":{\"ir.size\":0.1},\"sampler\":{\"v\":1,\"pads\":{\"a\":[}}}",
		std::string (100, '[') + std::string (100, ']'),
		"[1,2,3]",
		std::string ("{\"params\":{\"ir.size\":0.1}}\0", 27),
	};
	for (const std::string& text : refused)
	{
		EXPECT_EQ (restoreState (host.processor (), text), kResultFalse) << text;
		EXPECT_EQ (saveState (host.processor ()), before) << text;
	}
	// Every cut of a good document either restores it or changes nothing.
	for (size_t cut = 0; cut < good.size (); ++cut)
	{
		if (restoreState (host.processor (), good.substr (0, cut)) != kResultOk)
		{
			ASSERT_EQ (saveState (host.processor ()), before) << cut;
		}
	}
}

TEST (ProcessorState, AHugeStreamIsRefusedWithoutReadingItAll)
{
	ProcessorHost host;
	std::string huge = "{\"params\":{\"ir.size\":0.5},\"x\":\"" + std::string (17 * 1024 * 1024, 'a') + "\"}";
	EXPECT_EQ (restoreState (host.processor (), huge), kResultFalse);
	EXPECT_EQ (host.processor ().engine ().paramValue (1), 1);
}

TEST_F (ConnectedProcessor, CcMapAndPadOverridesReplaceOnlyWhenValid)
{
	const std::string map = "{\"version\":1,\"bindings\":[{\"cc\":1,\"path\":\"ir.size\"}]}";
	EXPECT_EQ (send (tavik::messages::CC_MAP, map), kResultOk);
	const std::string withMap = saveState (processor ());
	ASSERT_NE (withMap.find ("\"ccMap\":{"), std::string::npos);
	ASSERT_NE (withMap.find ("ir.size\""), std::string::npos);
	EXPECT_EQ (send (tavik::messages::CC_MAP, "{\"version\":1,\"bindings\":[{\"cc\":"), kResultOk);
	EXPECT_EQ (send (tavik::messages::CC_MAP, nullptr), kResultOk);
	EXPECT_EQ (saveState (processor ()), withMap);

	EXPECT_EQ (send (tavik::messages::PAD_OVERRIDES, "{\"snare\":{\"pan\":-0.5,\"transpose\":2}}"), kResultOk);
	const std::string withPads = saveState (processor ());
	EXPECT_NE (withPads.find ("\"sampler\":{\"v\":1,\"pads\":{\"snare\":{\"transpose\":2,\"pan\":-0.5}}}"),
	           std::string::npos);
	EXPECT_EQ (send (tavik::messages::PAD_OVERRIDES, "{\"snare\":"), kResultOk);
	EXPECT_EQ (send (tavik::messages::PAD_OVERRIDES, "[]"), kResultOk);
	EXPECT_EQ (saveState (processor ()), withPads);
	EXPECT_EQ (processor ().engine ().sampler ().padOverridePublications (), 1u);

	// A restored state without pads publishes an empty set.
	ASSERT_EQ (restoreState (processor (), "{\"params\":{}}"), kResultOk);
	EXPECT_EQ (saveState (processor ()).find ("\"sampler\""), std::string::npos);
	EXPECT_NE (saveState (processor ()).find ("\"ccMap\""), std::string::npos); // a map is never removed
}

TEST_F (ConnectedProcessor, SmallMessagesAndTheOnesPassedOn)
{
	EXPECT_EQ (send (tavik::messages::PRESET_LOADED, "factory-3"), kResultOk);
	EXPECT_EQ (processor ().session ().presetId (), "factory-3");
	EXPECT_EQ (send (tavik::messages::PRESET_LOADED, nullptr), kResultOk);
	EXPECT_EQ (processor ().session ().presetId (), "");

	const std::string before = saveState (processor ());
	EXPECT_EQ (send (tavik::messages::FEED_DRAIN, nullptr), kResultOk);
	EXPECT_EQ (send (tavik::messages::RESET_COUNTERS, nullptr), kResultOk);
	EXPECT_EQ (send (tavik::messages::TRANSPORT_POLL, nullptr), kResultOk);
	IPtr<IMessage> poll = owned (new HostMessage ());
	poll->setMessageID (tavik::messages::TRANSPORT_POLL);
	poll->getAttributes ()->setInt ("reset", 1);
	EXPECT_EQ (processor ().notify (poll), kResultOk);
	EXPECT_FALSE (processor ().session ().hasTransportSnapshot ());
	EXPECT_EQ (send (tavik::messages::STAGE_RESOURCE_SLOT, "{}"), kResultFalse);
	EXPECT_EQ (saveState (processor ()), before);
	EXPECT_EQ (peer->ids.size (), 0u); // none of them answers

	// Others go to the SDK base, which knows none of ours.
	EXPECT_EQ (send ("tavik.unknown", "{}"), kResultFalse);
	EXPECT_EQ (processor ().notify (nullptr), kInvalidArgument);
	IPtr<IMessage> anonymous = owned (new HostMessage ());
	EXPECT_EQ (processor ().notify (anonymous), kInvalidArgument);
}

TEST_F (ConnectedProcessor, HostFactsFollowTheProcessingSetup)
{
	SpeakerArrangement stereo = SpeakerArr::kStereo;
	ASSERT_EQ (host.audio ()->setBusArrangements (nullptr, 0, &stereo, 1), kResultOk);
	ASSERT_EQ (processor ().activateBus (kAudio, kOutput, 0, true), kResultOk);
	ASSERT_TRUE (host.start (44100, 333));
	ASSERT_EQ (peer->count (tavik::messages::HOST_FACTS), 3u); // arrangement, setup, activation
	const std::string* bytes = peer->last (tavik::messages::HOST_FACTS);
	ASSERT_EQ (bytes->size (), sizeof (tavik::HostFacts));
	tavik::HostFacts facts;
	std::memcpy (static_cast<void*> (&facts), bytes->data (), sizeof facts);
	EXPECT_EQ (facts.sampleRate, 44100);
	EXPECT_EQ (facts.maxBlockFrames, 333);
	EXPECT_EQ (facts.lastBlockFrames, -1);
	EXPECT_EQ (facts.processMode, 0);
	EXPECT_EQ (facts.sampleSize, 32);
	EXPECT_EQ (facts.latencySamples, 0);
	ASSERT_EQ (facts.busCount, 1u);
	EXPECT_STREQ (facts.buses[0].id, "out0");
	EXPECT_FALSE (facts.buses[0].isInput);
	EXPECT_EQ (facts.buses[0].channels, 2);
	EXPECT_TRUE (facts.buses[0].active);
	EXPECT_STREQ (facts.buses[0].layout, "stereo");
	EXPECT_EQ (std::memcmp (&facts, &processor ().hostFacts (), sizeof facts), 0);

	ProcessSetup offline {kOffline, kSample32, 64, 96000};
	ASSERT_EQ (host.audio ()->setupProcessing (offline), kResultOk);
	std::memcpy (static_cast<void*> (&facts), peer->last (tavik::messages::HOST_FACTS)->data (), sizeof facts);
	EXPECT_EQ (facts.processMode, 1);
	EXPECT_EQ (facts.sampleRate, 96000);
}

TEST_F (ConnectedProcessor, AFailedSetupSendsTheHealthReportMarkedFailed)
{
	testing::internal::CaptureStderr ();
	EXPECT_FALSE (host.start (48000, 20000));
	testing::internal::GetCapturedStderr ();
	const std::string* report = peer->last (tavik::messages::RUNTIME_DIAGNOSTICS);
	ASSERT_NE (report, nullptr);
	EXPECT_NE (report->find ("\"lifecycle\":\"failed\""), std::string::npos);
	EXPECT_NE (report->find ("runtime.invalid-configuration"), std::string::npos);

	// The editor keeps showing the failure until a setup that works says so.
	const size_t reports = peer->count (tavik::messages::RUNTIME_DIAGNOSTICS);
	ASSERT_TRUE (host.start (48000, 512));
	ASSERT_EQ (peer->count (tavik::messages::RUNTIME_DIAGNOSTICS), reports + 1);
	EXPECT_NE (peer->last (tavik::messages::RUNTIME_DIAGNOSTICS)->find ("\"lifecycle\":\"configured\""),
	           std::string::npos);
}

TEST_F (ConnectedProcessor, BankLoadRequestsAreVerifiedThenRefused)
{
	TempDirectory bank;
	writeScratchBank (bank);
	EXPECT_EQ (send (tavik::messages::LOAD_RUNTIME_BANK, "user-folder\n" + bank.path () + "\n\ninst"), kResultOk);
	const std::string* reply = peer->last (tavik::messages::RUNTIME_BANK_RESULT);
	ASSERT_NE (reply, nullptr);
	EXPECT_EQ (*reply, "bank-too-large\nthe engine refused the staged bank (arena capacity)");
	EXPECT_EQ (peer->count (tavik::messages::RUNTIME_DIAGNOSTICS), 1u);
	EXPECT_STREQ (lastRecord ().message,
	              "runtime bank load refused (bank-too-large): the engine refused the staged bank (arena capacity)");
	EXPECT_STREQ (lastRecord ().detail, "{\"reason\":\"bank-too-large\",\"source\":\"user-folder\"}");
	EXPECT_EQ (saveState (processor ()).find ("\"bank\""), std::string::npos);

	// A relative folder is not looked for in the host's working directory.
	EXPECT_EQ (send (tavik::messages::LOAD_RUNTIME_BANK, "user-folder\nbanks/one"), kResultOk);
	EXPECT_EQ (*peer->last (tavik::messages::RUNTIME_BANK_RESULT),
	           "bank-missing\nbank directory is not an absolute path: banks/one");

	// One line: the source kind defaults, and the missing path is reported.
	EXPECT_EQ (send (tavik::messages::LOAD_RUNTIME_BANK, ""), kResultOk);
	EXPECT_EQ (peer->last (tavik::messages::RUNTIME_BANK_RESULT)->rfind ("bank-missing\n", 0), 0u);
	EXPECT_STREQ (lastRecord ().detail, "{\"reason\":\"bank-missing\",\"source\":\"user-folder\"}");

	// A bank that fails verification says why.
	bank.write ("bank.json", "{\"format\":\"tavik-sound-pack/v2\"}");
	EXPECT_EQ (send (tavik::messages::LOAD_RUNTIME_BANK, "hosted\n" + bank.path ()), kResultOk);
	EXPECT_EQ (*peer->last (tavik::messages::RUNTIME_BANK_RESULT),
	           "bank-malformed\nbank.json format is \"tavik-sound-pack/v2\", expected tavik-sound-pack/v1");
	EXPECT_STREQ (lastRecord ().detail, "{\"reason\":\"bank-malformed\",\"source\":\"hosted\"}");
	EXPECT_EQ (peer->count (tavik::messages::RUNTIME_DIAGNOSTICS), 4u);
}

TEST_F (ConnectedProcessor, ARestoredBankIsLoadedRefusedAndRecorded)
{
	TempDirectory bank;
	writeScratchBank (bank);
	const std::string state =
		"{\"params\":{\"ir.size\":0.5},\"bank\":{\"version\":1,\"id\":\"scratch\",\"locator\":\"" + bank.path () +
		"\",\"source\":\"user-folder\",\"instrument\":\"inst\"}}";
	ASSERT_EQ (restoreState (processor (), state), kResultOk);
	EXPECT_EQ (processor ().engine ().paramValue (1), 0.5); // parameters kept
	const tavik::tavik_runtime_diagnostic_ring& ring = processor ().engine ().diagnosticRing ();
	ASSERT_EQ (ring.count, 2u);
	EXPECT_STREQ (ring.records[0].message,
	              "runtime bank load refused (bank-too-large): the engine refused the staged bank (arena capacity)");
	EXPECT_EQ (ring.records[1].phase, tavik::PHASE_STATE);
	EXPECT_STREQ (ring.records[1].detail, "{\"bank\":\"scratch\",\"banks\":0}");
	EXPECT_EQ (processor ().session ().bankLocator (), "");
	EXPECT_EQ (saveState (processor ()).find ("\"bank\""), std::string::npos);
	EXPECT_EQ (peer->count (tavik::messages::RUNTIME_DIAGNOSTICS), 1u);

	// An embedded bank is not looked for on disk; only the recall is recorded.
	ASSERT_EQ (restoreState (processor (), "{\"params\":{},\"bank\":{\"id\":\"x\",\"source\":\"embedded\"}}"),
	           kResultOk);
	EXPECT_EQ (ring.count, 3u);
	EXPECT_EQ (peer->count (tavik::messages::RUNTIME_DIAGNOSTICS), 1u);
}

TEST_F (ConnectedProcessor, AHostedBankIsFoundInTheCacheByItsDigest)
{
	TempDirectory data;
	const char* previous = std::getenv ("XDG_DATA_HOME");
	const std::string saved = previous ? previous : "";
	setenv ("XDG_DATA_HOME", data.path ().c_str (), 1);
	const std::string digest (64, 'a');
	writeScratchBank (data, "Tavik/banks/" + digest);

	const std::string hosted = "{\"params\":{},\"bank\":{\"id\":\"scratch\",\"sha256\":\"" + digest +
	                           "\",\"locator\":\"https://banks.invalid/scratch.zip\",\"source\":\"hosted\"}}";
	ASSERT_EQ (restoreState (processor (), hosted), kResultOk);
	const tavik::tavik_runtime_diagnostic_ring& ring = processor ().engine ().diagnosticRing ();
	EXPECT_EQ (std::string (ring.records[0].message).rfind ("runtime bank load refused (bank-too-large)", 0), 0u);

	// A digest that is not 64 hex digits never names a folder: the locator
	// is tried instead, and an address is no absolute folder.
	const std::string escaping = "{\"params\":{},\"bank\":{\"id\":\"scratch\",\"sha256\":\"../../../" +
	                             digest.substr (0, 40) +
	                             "\",\"locator\":\"https://banks.invalid/scratch.zip\",\"source\":\"hosted\"}}";
	ASSERT_EQ (restoreState (processor (), escaping), kResultOk);
	EXPECT_STREQ (ring.records[2].message, "runtime bank load refused (bank-missing): bank directory is not an "
	                                       "absolute path: https://banks.invalid/scratch.zip");
	if (previous)
		setenv ("XDG_DATA_HOME", saved.c_str (), 1);
	else
		unsetenv ("XDG_DATA_HOME");
}

} // namespace
