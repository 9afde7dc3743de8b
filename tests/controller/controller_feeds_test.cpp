// The controller's feeds to the editor with an injected clock: cadence
// ticks, subscriptions, the transport throttle, tempo and time-signature
// events, host-fact changes and the runtime-health report.

#include "controller_session.h"
#include "fake_controller_surface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace tavik;
using tavik::test::FakeControllerSurface;

constexpr uint32_t TRANSPORT = 2;
constexpr uint32_t LIFECYCLE = 64;

class Feeds : public ::testing::Test
{
protected:
	Feeds ()
	{
		session.setClock ([this] { return now; });
		session.setBridgeSink ([this] (const std::string& json) { editor.push_back (json); });
	}

	size_t count (const std::string& type) const
	{
		size_t n = 0;
		for (const std::string& m : editor)
			n += m.rfind ("{\"type\":\"" + type + "\"", 0) == 0;
		return n;
	}

	static TransportFact playing (uint64_t frame, double tempo = 120)
	{
		TransportFact f;
		f.atFrame = frame;
		f.source = 1;
		f.playing = true;
		f.hasTempo = true;
		f.tempo = tempo;
		return f;
	}

	FakeControllerSurface surface;
	ControllerSession session {surface};
	std::vector<std::string> editor;
	double now = 1000;
};

TEST_F (Feeds, TicksPollThenDrainAndCarryAPendingReset)
{
	session.tickCadence ();
	EXPECT_EQ (surface.sent, (std::vector<std::string> {"transportPoll", "tavik.diag.feedDrain"}));
	surface.sent.clear ();
	session.subscribe (TRANSPORT, 0, false); // polls with a reset at once
	session.tickCadence ();
	EXPECT_EQ (surface.sent,
	           (std::vector<std::string> {"transportPoll reset", "transportPoll", "tavik.diag.feedDrain"}));

	// Without a processor the reset stays pending for the next tick.
	surface.connected = false;
	surface.sent.clear ();
	session.subscribe (TRANSPORT, 0, false);
	surface.connected = true;
	session.tickCadence ();
	EXPECT_EQ (surface.sent[1], "transportPoll reset");

	EXPECT_DOUBLE_EQ (ControllerSession::cadenceIntervalSeconds (0), 1.0 / 30);
	EXPECT_DOUBLE_EQ (ControllerSession::cadenceIntervalSeconds (100), 1.0 / 30);
	EXPECT_DOUBLE_EQ (ControllerSession::cadenceIntervalSeconds (0.25), 1.0);
	EXPECT_DOUBLE_EQ (ControllerSession::cadenceIntervalSeconds (10), 0.1);
}

TEST_F (Feeds, APlayingTransportIsThrottledToTheFeedRate)
{
	session.subscribe (TRANSPORT, 100, true);
	EXPECT_EQ (session.feedHz (), 30);
	session.adoptTransportFact (playing (0)); // the first fact always goes
	EXPECT_EQ (count ("tavik.transport"), 1u);
	now += 20;
	session.adoptTransportFact (playing (0));
	EXPECT_EQ (count ("tavik.transport"), 1u);
	now += 13.4; // 33.4 ms after the last send
	session.adoptTransportFact (playing (0));
	EXPECT_EQ (count ("tavik.transport"), 2u);
	now += 1;
	session.adoptTransportFact (playing (4800)); // positions are no change
	EXPECT_EQ (count ("tavik.transport"), 2u);

	// A change goes at once; a stopped, unchanged transport never.
	TransportFact stopped = playing (0);
	stopped.playing = false;
	session.adoptTransportFact (stopped);
	EXPECT_EQ (count ("tavik.transport"), 3u);
	now += 1000;
	session.adoptTransportFact (stopped);
	EXPECT_EQ (count ("tavik.transport"), 3u);

	// Unsubscribed: nothing.
	session.unsubscribe ();
	session.adoptTransportFact (playing (0, 90));
	EXPECT_EQ (count ("tavik.transport"), 3u);
}

TEST_F (Feeds, TempoAndMeterEventsNeedAPreviousFactThatKnewThem)
{
	session.subscribe (LIFECYCLE, 0, false);
	TransportFact noTempo = playing (0);
	noTempo.hasTempo = false;
	session.adoptTransportFact (noTempo);
	session.adoptTransportFact (playing (10, 90)); // previous fact had no tempo
	EXPECT_EQ (count ("tavik.lifecycle"), 0u);
	session.adoptTransportFact (playing (20, 90));
	EXPECT_EQ (count ("tavik.lifecycle"), 0u);
	session.adoptTransportFact (playing (30, 140));
	ASSERT_EQ (count ("tavik.lifecycle"), 1u);
	EXPECT_NE (editor.back ().find ("\"tempoChanged\""), std::string::npos);
	EXPECT_NE (editor.back ().find ("\"tempo\":140"), std::string::npos);
	EXPECT_NE (editor.back ().find ("\"previous\":90"), std::string::npos);

	TransportFact meter = playing (40, 140);
	meter.hasTimeSignature = true;
	meter.numerator = 4;
	meter.denominator = 4;
	session.adoptTransportFact (meter);
	meter.numerator = 7;
	meter.denominator = 8;
	session.adoptTransportFact (meter);
	ASSERT_EQ (count ("tavik.lifecycle"), 2u);
	EXPECT_NE (editor.back ().find ("\"timeSignatureChanged\""), std::string::npos);
}

TEST_F (Feeds, LifecycleReplayAndSingleEvents)
{
	session.subscribe (LIFECYCLE, 0, false); // empty log: no replay
	EXPECT_TRUE (editor.empty ());
	session.editorError (nullptr);
	ASSERT_EQ (editor.size (), 1u);
	EXPECT_NE (editor[0].find ("\"reason\":\"unknown\""), std::string::npos);
	session.subscribe (LIFECYCLE, 0, false);
	ASSERT_EQ (editor.size (), 2u);
	EXPECT_EQ (editor[1].rfind ("{\"type\":\"tavik.lifecycle\",\"events\":[", 0), 0u);

	// No "feeds": nothing is pushed until the next subscription.
	session.subscribe (0, 0, false);
	session.editorError ("x");
	EXPECT_EQ (editor.size (), 2u);

	// Closing the editor is still seen by a subscriber, then ends it.
	session.subscribe (LIFECYCLE, 5, true);
	const size_t before = editor.size ();
	session.editorClosed ();
	EXPECT_EQ (editor.size (), before + 1);
	EXPECT_NE (editor.back ().find ("editorClosed"), std::string::npos);
	EXPECT_EQ (session.feedMask (), 0u);
	EXPECT_EQ (session.feedHz (), 0);

	// Names the processor reports: only known kinds, whole names.
	session.adoptLifecycleName ("activated");
	session.adoptLifecycleName (std::string ("activated\0x", 11));
	session.adoptLifecycleName ("nonsense");
	session.adoptLifecycleName ("");
	const DiagnosticLifecycleLog& log = session.lifecycleLog ();
	EXPECT_EQ (log.at (log.count - 1).kind, DiagnosticLifecycleKind::activated);
	EXPECT_EQ (log.at (log.count - 2).kind, DiagnosticLifecycleKind::editorClosed);
}

TEST_F (Feeds, HostChangesAreReportedOnlyOnceTheEditorIsReadyAndOnlyWhenReal)
{
	HostFacts facts;
	facts.sampleRate = 48000;
	facts.maxBlockFrames = 512;
	session.adoptHostFacts (facts);
	EXPECT_EQ (count ("tavik.hostChanged"), 0u); // no hello yet
	session.sendHello ();
	ASSERT_TRUE (session.isEditorReady ());
	session.adoptHostFacts (facts);
	EXPECT_EQ (count ("tavik.hostChanged"), 0u);
	EXPECT_EQ (session.hostChanges (), 0u);
	facts.sampleRate = 96000;
	session.adoptHostFacts (facts);
	EXPECT_EQ (count ("tavik.hostChanged"), 1u);
	EXPECT_EQ (session.hostChanges (), 1u);
	const DiagnosticLifecycleLog& log = session.lifecycleLog ();
	EXPECT_EQ (log.at (log.count - 1).kind, DiagnosticLifecycleKind::sampleRateChanged);

	// Identity stays the controller's own, whatever the record says.
	std::strcpy (facts.hostName, "impostor");
	facts.validatorHost = 4;
	session.adoptHostFacts (facts);
	EXPECT_STREQ (session.hostFacts ().hostName, "");
	EXPECT_EQ (session.hostFacts ().validatorHost, 0);
}

TEST_F (Feeds, RuntimeHealthIsKeptForTheHelloAndForwarded)
{
	session.adoptRuntimeHealth ("");
	session.adoptRuntimeHealth (std::string (65537, ' '));
	EXPECT_TRUE (editor.empty ());
	session.adoptRuntimeHealth ("{\"status\":\"healthy\"}");
	ASSERT_EQ (editor.size (), 1u);
	EXPECT_EQ (editor[0], "{\"type\":\"tavik.runtimeDiagnostics\",\"report\":{\"status\":\"healthy\"}}");
	EXPECT_NE (session.helloJson ().find (",\"runtimeHealth\":{\"status\":\"healthy\"},\"identity\":"),
	           std::string::npos);
}

} // namespace
