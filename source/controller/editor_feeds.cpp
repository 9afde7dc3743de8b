// EditorFeeds: subscriptions, the lifecycle log's publishing and replay,
// and what the processor reports (host facts, transport, runtime health).

#include "editor_feeds.h"

#include <algorithm>
#include <cstring>

namespace tavik {

namespace {

constexpr uint32_t TRANSPORT_FEED_BIT = 2;
constexpr uint32_t LIFECYCLE_FEED_BIT = 64;
constexpr double MAX_FEED_HZ = 30;

} // namespace

EditorFeeds::EditorFeeds (FeedOutlet& feedOutlet)
	: outlet (feedOutlet), log (std::make_unique<DiagnosticLifecycleLog> ())
{
}

void EditorFeeds::pollTransport ()
{
	if (outlet.sendTransportPoll (transportResetPending))
		transportResetPending = false;
}

DiagnosticLifecycleEvent& EditorFeeds::record (DiagnosticLifecycleKind kind, int64_t atFrame)
{
	return log->record (kind, atFrame);
}

void EditorFeeds::publishLast ()
{
	if (!subscribed (LIFECYCLE_FEED_BIT) || log->count == 0)
		return;
	std::string out;
	if (writeDiagnosticLifecycleJson (out, &log->at (log->count - 1), 1, 0))
		outlet.sendToEditor (out);
}

void EditorFeeds::setHostName (const char* hostName, uint8_t validatorHost)
{
	const size_t n = std::min (std::strlen (hostName), sizeof facts.hostName - 2);
	std::memcpy (facts.hostName, hostName, n);
	facts.hostName[n] = 0;
	facts.validatorHost = validatorHost;
}

double EditorFeeds::cadenceIntervalSeconds (double rate)
{
	double r = rate > 0 ? rate : MAX_FEED_HZ;
	r = r < 1 ? 1 : r > MAX_FEED_HZ ? MAX_FEED_HZ : r;
	return 1 / r;
}

void EditorFeeds::subscribe (uint32_t mask, double hz, bool hasHz)
{
	subscriptionMask = mask;
	feedRate = hasHz && hz > 0 ? (hz > MAX_FEED_HZ ? MAX_FEED_HZ : hz) : 0;
	if (subscriptionMask & LIFECYCLE_FEED_BIT)
		replay ();
	if (hasTransport && subscribed (TRANSPORT_FEED_BIT))
	{
		std::string out;
		writeDiagnosticTransportJson (out, lastTransport);
		lastTransportSendMs = nowMs ();
		outlet.sendToEditor (out);
	}
	transportResetPending = true;
	hasTransport = false;
	if (outlet.sendTransportPoll (true))
		transportResetPending = false;
}

void EditorFeeds::unsubscribe ()
{
	subscriptionMask = 0;
	feedRate = 0;
}

void EditorFeeds::replay ()
{
	if (!subscribed (LIFECYCLE_FEED_BIT))
		return;
	std::string out;
	if (writeDiagnosticLifecycleReplayJson (out, *log))
		outlet.sendToEditor (out);
}

void EditorFeeds::adoptRuntimeHealth (const std::string& report)
{
	if (report.empty () || report.size () > 65536)
		return;
	runtimeHealth = report;
	record (DiagnosticLifecycleKind::runtimeDiagnostic).addNumber ("reportBytes", report.size ());
	publishLast ();
	if (outlet.editorAttached ())
		outlet.sendToEditor ("{\"type\":\"tavik.runtimeDiagnostics\",\"report\":" + report + "}");
}

void EditorFeeds::adoptLifecycleName (const std::string& name)
{
	DiagnosticLifecycleKind kind;
	if (name.empty () || name.size () > 63 || name.find ('\0') != std::string::npos ||
	    !diagnosticLifecycleKindFromName (name.c_str (), kind))
		return;
	record (kind);
	publishLast ();
}

void EditorFeeds::adoptHostFacts (const HostFacts& reported)
{
	HostFacts fresh = reported;
	std::memcpy (fresh.hostName, facts.hostName, sizeof fresh.hostName);
	std::memcpy (fresh.hostVersion, facts.hostVersion, sizeof fresh.hostVersion);
	std::memcpy (fresh.hostPath, facts.hostPath, sizeof fresh.hostPath);
	fresh.validatorHost = facts.validatorHost;
	const HostFacts previous = facts;
	facts = fresh;

	DiagnosticLifecycleKind kind;
	const char* change = diagnosticHostChangeKind (previous, facts);
	if (change && diagnosticLifecycleKindFromName (change, kind))
	{
		DiagnosticLifecycleEvent& event = record (kind);
		switch (kind)
		{
			case DiagnosticLifecycleKind::latencyChanged:
				event.addNumber ("latencySamples", facts.latencySamples);
				event.addNumber ("previous", previous.latencySamples);
				event.addBool ("reported", true);
				break;
			case DiagnosticLifecycleKind::sampleRateChanged:
				event.addNumber ("sampleRate", facts.sampleRate);
				event.addNumber ("previous", previous.sampleRate);
				break;
			case DiagnosticLifecycleKind::blockSizeChanged:
				event.addNumber ("maxBlockFrames", facts.maxBlockFrames);
				event.addNumber ("previous", previous.maxBlockFrames);
				break;
			case DiagnosticLifecycleKind::busLayoutChanged:
				event.addNumber ("buses", facts.busCount);
				event.addString ("layout", facts.busCount ? facts.buses[0].layout : "");
				break;
			case DiagnosticLifecycleKind::processModeChanged: event.addNumber ("processMode", facts.processMode); break;
			case DiagnosticLifecycleKind::bypassChanged: event.addBool ("bypassed", facts.bypassed); break;
			default: break;
		}
		publishLast ();
	}
	if (outlet.editorReady () && outlet.editorAttached ())
	{
		std::string out;
		if (writeDiagnosticHostChangedJson (out, previous, facts, hostChangeSequence + 1, 0))
		{
			++hostChangeSequence;
			outlet.sendToEditor (out);
		}
	}
}

void EditorFeeds::adoptTransportFact (const TransportFact& fact)
{
	if (fact.hasTempo)
	{
		if (hasTransport && lastTransport.hasTempo && fact.tempo != previousTempo)
		{
			DiagnosticLifecycleEvent& event =
				record (DiagnosticLifecycleKind::tempoChanged, static_cast<int64_t> (fact.atFrame));
			event.addNumber ("tempo", fact.tempo);
			event.addNumber ("previous", previousTempo);
			publishLast ();
		}
		previousTempo = fact.tempo;
	}
	if (fact.hasTimeSignature)
	{
		if (hasTransport && lastTransport.hasTimeSignature &&
		    (fact.numerator != previousNumerator || fact.denominator != previousDenominator))
		{
			DiagnosticLifecycleEvent& event =
				record (DiagnosticLifecycleKind::timeSignatureChanged, static_cast<int64_t> (fact.atFrame));
			event.addNumber ("numerator", fact.numerator);
			event.addNumber ("denominator", fact.denominator);
			event.addNumber ("previousNumerator", previousNumerator);
			event.addNumber ("previousDenominator", previousDenominator);
			publishLast ();
		}
		previousNumerator = fact.numerator;
		previousDenominator = fact.denominator;
	}
	const bool changed = !hasTransport || fact.differsFrom (lastTransport);
	lastTransport = fact;
	hasTransport = true;
	if (!subscribed (TRANSPORT_FEED_BIT))
		return;
	const double now = nowMs ();
	if (!changed)
	{
		if (!fact.playing)
			return;
		const double period = 1000 / (feedRate > 0 ? feedRate : MAX_FEED_HZ);
		if (lastTransportSendMs >= 0 && now - lastTransportSendMs < period)
			return;
	}
	lastTransportSendMs = now;
	std::string out;
	writeDiagnosticTransportJson (out, fact);
	outlet.sendToEditor (out);
}

} // namespace tavik
