#include "host_facts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

using namespace tavik;

HostFacts configured ()
{
	HostFacts f;
	f.sampleRate = 48000;
	f.maxBlockFrames = 512;
	f.addBus ("out0", false, 2, true, "stereo");
	return f;
}

TEST (HostFacts, DefaultsAndBuses)
{
	HostFacts f;
	EXPECT_EQ (f.lastBlockFrames, -1);
	EXPECT_EQ (f.sampleSize, 32);
	EXPECT_EQ (f.busCount, 0u);
	for (int i = 0; i < 9; ++i)
		f.addBus (std::string (40, 'b').c_str (), i % 2 == 0, i, true, nullptr);
	EXPECT_EQ (f.busCount, 8u);
	EXPECT_EQ (std::string (f.buses[0].id), std::string (31, 'b'));
	EXPECT_STREQ (f.buses[0].layout, "");
	// The record travels as bytes: every byte of a fresh record is defined.
	HostFacts a, b;
	EXPECT_EQ (std::memcmp (&a, &b, sizeof (HostFacts)), 0);
}

TEST (HostFacts, HostObject)
{
	HostFacts f;
	std::string out;
	writeDiagnosticHostJson (out, f);
	EXPECT_EQ (out, "{\"sampleRate\":0,\"maxBlockFrames\":0,\"processMode\":\"realtime\",\"sampleSize\":32,"
	                "\"latencySamples\":0,\"tailSamples\":\"unreported\",\"buses\":[]}");

	HostFacts full = configured ();
	std::strcpy (full.hostName, "Tavik zorv-render");
	std::strcpy (full.hostPath, "/usr/bin/x");
	full.validatorHost = 5;
	full.lastBlockFrames = 128;
	full.processMode = 1;
	full.latencySamples = 56;
	full.tailKind = 2;
	full.internalSampleRate = 48000;
	full.bypassKnown = true;
	full.addBus ("in0", true, 1, false, "");
	out.clear ();
	writeDiagnosticHostJson (out, full);
	EXPECT_EQ (
		out,
		"{\"hostName\":\"Tavik zorv-render\",\"hostPath\":\"/usr/bin/x\",\"validatorHost\":\"tavik-probe\","
		"\"sampleRate\":48000,\"maxBlockFrames\":512,\"lastBlockFrames\":128,\"processMode\":\"offline\","
		"\"sampleSize\":32,\"latencySamples\":56,\"tailSamples\":\"infinite\",\"internalSampleRate\":48000,"
		"\"buses\":[{\"id\":\"out0\",\"direction\":\"output\",\"channels\":2,\"active\":true,\"layout\":\"stereo\"},"
		"{\"id\":\"in0\",\"direction\":\"input\",\"channels\":1,\"active\":false}],\"bypassed\":false}");
	full.tailKind = 1;
	full.tailSamples = 4800;
	full.sampleRate = NAN;
	out.clear ();
	writeDiagnosticHostJson (out, full);
	EXPECT_NE (out.find ("\"tailSamples\":4800"), std::string::npos);
	EXPECT_NE (out.find ("\"sampleRate\":null"), std::string::npos);
}

TEST (HostFacts, DeltasAndChangeKinds)
{
	const HostFacts a = configured ();
	HostFacts b = a;
	std::string out;
	EXPECT_FALSE (writeDiagnosticHostDeltaJson (out, a, b));
	EXPECT_EQ (diagnosticHostChangeKind (a, b), nullptr);
	EXPECT_FALSE (writeDiagnosticHostChangedJson (out, a, b, 1, 2));
	EXPECT_TRUE (out.empty ());

	b.sampleSize = 64;
	ASSERT_TRUE (writeDiagnosticHostDeltaJson (out, a, b));
	EXPECT_EQ (out, "{\"sampleSize\":64}");
	EXPECT_STREQ (diagnosticHostChangeKind (a, b), "configured");

	HostFacts c = a;
	c.sampleRate = 96000;
	c.latencySamples = 56;
	out.clear ();
	ASSERT_TRUE (writeDiagnosticHostChangedJson (out, a, c, 7, 1.5));
	EXPECT_EQ (out, "{\"type\":\"tavik.hostChanged\",\"host\":{\"sampleRate\":96000,\"latencySamples\":56},"
	                "\"event\":{\"seq\":7,\"timeMs\":1.5,\"kind\":\"sampleRateChanged\"}}");

	HostFacts d = a;
	d.bypassKnown = true;
	out.clear ();
	ASSERT_TRUE (writeDiagnosticHostDeltaJson (out, a, d));
	EXPECT_EQ (out, "{\"bypassed\":false}");
	EXPECT_STREQ (diagnosticHostChangeKind (a, d), "bypassChanged");

	HostFacts e = a;
	e.buses[0].channels = 1;
	EXPECT_STREQ (diagnosticHostChangeKind (a, e), "busLayoutChanged");
	HostFacts f = a;
	f.lastBlockFrames = 64;
	EXPECT_STREQ (diagnosticHostChangeKind (a, f), "blockSizeChanged");
	HostFacts g = a;
	g.lastBlockFrames = 64;
	HostFacts h = g;
	h.lastBlockFrames = -1; // back to unknown: a change, but not a delta member
	EXPECT_FALSE (writeDiagnosticHostDeltaJson (out, g, h));
	EXPECT_STREQ (diagnosticHostChangeKind (g, h), "blockSizeChanged");
	HostFacts i = a;
	i.sampleRate = NAN;
	HostFacts j = i;
	EXPECT_STREQ (diagnosticHostChangeKind (i, j), "sampleRateChanged"); // NaN always differs
	HostFacts k = a;
	k.tailKind = 2;
	k.processMode = 2;
	EXPECT_STREQ (diagnosticHostChangeKind (a, k), "tailChanged");
	HostFacts l = a;
	l.internalSampleRate = 44100;
	EXPECT_STREQ (diagnosticHostChangeKind (a, l), "sampleRateChanged");
}

TEST (TransportFacts, RingKeepsTheNewest)
{
	DiagnosticTransportRing ring;
	TransportFact fact;
	EXPECT_FALSE (ring.drainLatest (fact));
	for (int i = 1; i <= 40; ++i)
	{
		TransportFact f;
		f.atFrame = static_cast<uint64_t> (i);
		ring.push (f);
	}
	EXPECT_EQ (ring.overwritten (), 8u);
	ASSERT_TRUE (ring.drainLatest (fact));
	EXPECT_EQ (fact.atFrame, 40u);
	EXPECT_FALSE (ring.drainLatest (fact));
}

TEST (TransportFacts, DifferenceAndMessage)
{
	TransportFact a, b;
	b.ppqPosition = 17;
	b.atFrame = 99;
	b.projectTimeSamples = 12;
	EXPECT_FALSE (a.differsFrom (b));
	b.tempo = 121;
	EXPECT_TRUE (a.differsFrom (b));

	TransportFact f;
	f.atFrame = 10000000;
	f.source = 1;
	f.playing = true;
	f.loopStartPpq = 4;
	f.loopEndPpq = 8;
	f.ppqPosition = 2.5;
	f.hasTempo = true;
	std::string out;
	writeDiagnosticTransportJson (out, f);
	EXPECT_EQ (out,
	           "{\"type\":\"tavik.transport\",\"frame\":{\"atFrame\":1e+07,\"source\":\"host\",\"state\":{"
	           "\"playing\":true,\"recording\":false,\"looping\":false,\"tempo\":120,\"timeSignature\":{"
	           "\"numerator\":4,\"denominator\":4},\"ppqPosition\":2.5,\"barPositionPpq\":0,\"loopStartPpq\":null,"
	           "\"loopEndPpq\":null,\"sampleRate\":null,\"projectTimeSamples\":0},\"capabilities\":{\"tempo\":true,"
	           "\"timeSignature\":false,\"position\":false,\"loop\":false,\"canSetTempo\":false}}}");
	f.hasLoop = true;
	f.sampleRate = 44100;
	f.source = 9;
	out.clear ();
	writeDiagnosticTransportJson (out, f);
	EXPECT_NE (out.find ("\"loopStartPpq\":4,\"loopEndPpq\":8,\"sampleRate\":44100"), std::string::npos);
	EXPECT_NE (out.find ("\"source\":\"none\""), std::string::npos);
}

} // namespace
