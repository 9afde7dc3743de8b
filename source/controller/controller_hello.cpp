// ControllerSession: the messages the controller owns (the hello and the
// state document of the current values) and the cadence tick.

#include "controller_session.h"

#include "factory_presets.h"
#include "json_writer.h"
#include "plugin_messages.h"
#include "product_identity.h"

namespace tavik {

namespace {

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
	if (!feeds.runtimeHealthReport ().empty ())
	{
		out += ",\"runtimeHealth\":";
		out += feeds.runtimeHealthReport ();
	}
	refreshPresetState ();
	appendDiagnosticHelloBlocks (out, diagnosticTarget, feeds.hostFacts (), presets);
	out += '}';
	return out;
}

void ControllerSession::sendHello ()
{
	if (!bridgeSink)
		return;
	sendToEditor (helloJson ());
	editorIsReady = true;
	userPresetMessages.sendList ();
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
	userPresetMessages.tick ();
	feeds.pollTransport ();
	surface.sendToProcessor (messages::FEED_DRAIN, nullptr);
	bank.pollHostedFetch ();
}

} // namespace tavik
