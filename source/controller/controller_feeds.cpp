// ControllerSession: the messages the controller owns (hello, state) and
// the feeds to the editor: the cadence tick, subscriptions, lifecycle
// publishing, and what the processor reports (host facts, transport,
// runtime health).

#include "controller_session.h"

#include "factory_presets.h"
#include "json_writer.h"
#include "plugin_messages.h"
#include "product_identity.h"

#include <cstring>

namespace tavik {

namespace {

constexpr uint32_t TRANSPORT_FEED_BIT = 2;
constexpr uint32_t LIFECYCLE_FEED_BIT = 64;
constexpr double MAX_FEED_HZ = 30;

void appendPlainValues (std::string& out, const double* normalized)
{
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
	{
		if (id)
			out += ',';
		jsonAppendQuoted (out, TAVIK_PARAMS[id].path);
		out += ':';
		jsonAppendNumber (out, tavik_param_plain (&TAVIK_PARAMS[id], normalized[id]));
	}
}

} // namespace

std::string ControllerSession::helloJson ()
{
	std::string out = "{\"type\":\"tavik.hello\",\"plugin\":{\"id\":";
	jsonAppendQuoted (out, PRODUCT_PACKAGE_ID);
	out += ",\"name\":\"Zorv\",\"vendor\":\"Tavik Music\",\"version\":\"0.0.0\"},\"params\":[";
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
	{
		out += id ? ",{" : "{";
		appendParameterMembers (out, id, surface.normalizedValue (id));
		out += '}';
	}
	out += "],\"factoryPresets\":[";
	for (uint32_t i = 0; i < TAVIK_FACTORY_PRESET_COUNT; ++i)
	{
		const tavik_factory_preset& preset = TAVIK_FACTORY_PRESETS[i];
		out += i ? ",{\"id\":" : "{\"id\":";
		jsonAppendQuoted (out, preset.id);
		out += ",\"name\":";
		jsonAppendQuoted (out, preset.name);
		out += ",\"values\":{";
		appendPlainValues (out, preset.values);
		out += "}}";
	}
	out += ']';
	if (holdsCcMap)
	{
		out += ",\"ccMap\":";
		writeCcMapJson (out, map);
	}
	if (!runtimeHealth.empty ())
	{
		out += ",\"runtimeHealth\":";
		out += runtimeHealth;
	}
	refreshPresetState ();
	appendDiagnosticHelloBlocks (out, TARGET_VST3, facts, presets);
	out += '}';
	return out;
}

void ControllerSession::sendHello ()
{
	if (!bridgeSink)
		return;
	sendToEditor (helloJson ());
	editorReady = true;
	sendPresetList ();
}

std::string ControllerSession::currentStateDocument () const
{
	double values[TAVIK_PARAM_COUNT];
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
		values[id] = tavik_param_plain (&TAVIK_PARAMS[id], surface.normalizedValue (id));
	return writeStateJson (values, -1, holdsCcMap ? &map : nullptr, SAMPLER_ASSET_NONE, ZONE_LEGACY_SINGLE_ZONE,
	                       nullptr, &bank.pads (), nullptr);
}

void ControllerSession::tickCadence ()
{
	hostRestarts.flush ();
	if (pendingSave.active && nowMs () - pendingSave.askedAt > 1000)
		finishSave (currentStateDocument ());
	if (surface.sendTransportPoll (transportResetPending))
		transportResetPending = false;
	surface.sendToProcessor (messages::FEED_DRAIN, nullptr);
	bank.pollHostedFetch ();
}

double ControllerSession::cadenceIntervalSeconds (double rate)
{
	double r = rate > 0 ? rate : MAX_FEED_HZ;
	r = r < 1 ? 1 : r > MAX_FEED_HZ ? MAX_FEED_HZ : r;
	return 1 / r;
}

void ControllerSession::subscribe (uint32_t mask, double hz, bool hasHz)
{
	subscriptionMask = mask;
	feedRate = hasHz && hz > 0 ? (hz > MAX_FEED_HZ ? MAX_FEED_HZ : hz) : 0;
	if (subscriptionMask & LIFECYCLE_FEED_BIT)
		replayLifecycle ();
	if (hasTransport && bridgeSink && (subscriptionMask & TRANSPORT_FEED_BIT))
	{
		std::string out;
		writeDiagnosticTransportJson (out, lastTransport);
		lastTransportSendMs = nowMs ();
		sendToEditor (out);
	}
	transportResetPending = true;
	hasTransport = false;
	if (surface.sendTransportPoll (true))
		transportResetPending = false;
}

void ControllerSession::unsubscribe ()
{
	subscriptionMask = 0;
	feedRate = 0;
}

void ControllerSession::editorOpened ()
{
	hostRestarts.flush ();
	recordLifecycle (DiagnosticLifecycleKind::editorOpened);
	publishLastLifecycle ();
}

void ControllerSession::editorClosed ()
{
	recordLifecycle (DiagnosticLifecycleKind::editorClosed);
	publishLastLifecycle ();
	unsubscribe ();
	editorReady = false;
}

void ControllerSession::replayLifecycle ()
{
	if (!bridgeSink || !(subscriptionMask & LIFECYCLE_FEED_BIT))
		return;
	std::string out;
	if (writeDiagnosticLifecycleReplayJson (out, *log))
		sendToEditor (out);
}

void ControllerSession::adoptRuntimeHealth (const std::string& report)
{
	if (report.empty () || report.size () > 65536)
		return;
	runtimeHealth = report;
	recordLifecycle (DiagnosticLifecycleKind::runtimeDiagnostic).addNumber ("reportBytes", report.size ());
	publishLastLifecycle ();
	if (bridgeSink)
		sendToEditor ("{\"type\":\"tavik.runtimeDiagnostics\",\"report\":" + report + "}");
}

void ControllerSession::adoptLifecycleName (const std::string& name)
{
	DiagnosticLifecycleKind kind;
	if (name.empty () || name.size () > 63 || name.find ('\0') != std::string::npos ||
	    !diagnosticLifecycleKindFromName (name.c_str (), kind))
		return;
	recordLifecycle (kind);
	publishLastLifecycle ();
}

void ControllerSession::adoptHostFacts (const HostFacts& record)
{
	HostFacts fresh = record;
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
		DiagnosticLifecycleEvent& event = recordLifecycle (kind);
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
		publishLastLifecycle ();
	}
	if (editorReady && bridgeSink)
	{
		std::string out;
		if (writeDiagnosticHostChangedJson (out, previous, facts, hostChangeSequence + 1, 0))
		{
			++hostChangeSequence;
			sendToEditor (out);
		}
	}
}

void ControllerSession::adoptTransportFact (const TransportFact& fact)
{
	if (fact.hasTempo)
	{
		if (hasTransport && lastTransport.hasTempo && fact.tempo != previousTempo)
		{
			DiagnosticLifecycleEvent& event =
				recordLifecycle (DiagnosticLifecycleKind::tempoChanged, static_cast<int64_t> (fact.atFrame));
			event.addNumber ("tempo", fact.tempo);
			event.addNumber ("previous", previousTempo);
			publishLastLifecycle ();
		}
		previousTempo = fact.tempo;
	}
	if (fact.hasTimeSignature)
	{
		if (hasTransport && lastTransport.hasTimeSignature &&
		    (fact.numerator != previousNumerator || fact.denominator != previousDenominator))
		{
			DiagnosticLifecycleEvent& event =
				recordLifecycle (DiagnosticLifecycleKind::timeSignatureChanged, static_cast<int64_t> (fact.atFrame));
			event.addNumber ("numerator", fact.numerator);
			event.addNumber ("denominator", fact.denominator);
			event.addNumber ("previousNumerator", previousNumerator);
			event.addNumber ("previousDenominator", previousDenominator);
			publishLastLifecycle ();
		}
		previousNumerator = fact.numerator;
		previousDenominator = fact.denominator;
	}
	const bool changed = !hasTransport || fact.differsFrom (lastTransport);
	lastTransport = fact;
	hasTransport = true;
	if (!bridgeSink || !(subscriptionMask & TRANSPORT_FEED_BIT))
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
	sendToEditor (out);
}

} // namespace tavik
