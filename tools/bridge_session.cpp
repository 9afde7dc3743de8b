#include "bridge_session.h"

#include "block_renderer.h"
#include "json_text.h"
#include "parameter_changes.h"
#include "processor_class.h"
#include "render_description.h"
#include "wav_output.h"

#include "json_tree.h"
#include "json_writer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string_view>
#include <thread>
#include <vector>

namespace tavik::tools {

using namespace Steinberg;
using namespace Steinberg::Vst;

BridgeSession::BridgeSession (const Options& o) : options (o), module (o.plugin)
{
	install = reinterpret_cast<Install> (module.symbol ("tavikInstallDiagnosticBridgeSink"));
	deliver = reinterpret_cast<Deliver> (module.symbol ("tavikDeliverDiagnosticBridgeMessage"));
	tick = reinterpret_cast<Tick> (module.symbol ("tavikTickDiagnosticCadence"));
	if (!install || !deliver || !tick)
		throw HostError ("--bridge: the module exports no diagnostic bridge");
}

int BridgeSession::run ()
{
	FUnknownPtr<IPluginFactory3> factory3 (module.factory ());
	if (factory3)
		factory3->setHostContext (&host);
	const PClassInfo classInfo = chooseClass (module.factory (), options.className);
	PluginInstance plugin (module.factory (), classInfo, &host);
	requirePlayableBuses (plugin.component ());
	plugin.controller ()->setComponentHandler (&edits);
	edits.observe ([] (const char* kind, ParamID id, double normalized) {
		std::string line = "{\"zorv\":\"edit\",\"kind\":\"";
		line += kind;
		line += "\",\"id\":" + std::to_string (id) + ",\"normalized\":";
		tavik::jsonAppendNumber (line, normalized);
		line += "}";
		printLine (nullptr, line.data (), line.size ());
	});
	rate = options.rate > 0 ? options.rate : 48000;
	block = options.block > 0 ? options.block : 512;
	plugin.start (rate, block, kRealtime);
	if (install (plugin.controller (), &BridgeSession::printLine, nullptr) != 1)
		throw HostError ("--bridge: the plug-in's controller does not take a bridge sink");

	std::string line;
	while (std::getline (std::cin, line))
	{
		if (line.find_first_not_of (" \t\r") == std::string::npos)
			continue;
		tavik::JsonValue command;
		if (tavik::parseJsonDocument (line.data (), line.size (), command) && command.find ("zorv"))
		{
			if (!runCommand (command, plugin))
				break;
		}
		else
			deliver (plugin.controller (), line.data (), line.size ());
	}
	install (plugin.controller (), nullptr, nullptr);
	edits.observe ({});
	return 0;
}

void BridgeSession::printLine (void*, const char* json, size_t length)
{
	if (waitedFor && std::string_view (json, length).find (*waitedFor) != std::string_view::npos)
		seen = true;
	std::fwrite (json, 1, length, stdout);
	std::fputc ('\n', stdout);
	std::fflush (stdout);
}

bool BridgeSession::runCommand (const tavik::JsonValue& command, const PluginInstance& plugin)
{
	const std::string name = command.str ("zorv", "");
	if (name == "quit")
		return false;
	if (name == "tick")
	{
		tick (plugin.controller ());
		return true;
	}
	if (name == "set" || name == "get" || name == "text")
	{
		parameterCommand (name, command, plugin.controller ());
		return true;
	}
	if (name == "wait")
	{
		waitCommand (command, plugin.controller ());
		return true;
	}
	if (name != "render")
	{
		std::fprintf (stderr,
		              "zorv-render: bridge: unknown command \"%s\" (tick, wait, render, set, get, text, quit)\n",
		              name.c_str ());
		return true;
	}
	const tavik::JsonValue* seconds = command.find ("seconds");
	const std::string out = command.str ("out", "");
	if (!seconds || seconds->kind != tavik::JsonValue::Kind::Number || !(seconds->number > 0) ||
	    seconds->number > 3600 || out.empty ())
	{
		std::fputs ("zorv-render: bridge: render needs \"seconds\" (0..3600) and \"out\"\n", stderr);
		return true;
	}
	RenderDescription render;
	render.rate = rate;
	render.block = block;
	render.frames = std::max<int64_t> (1, std::llround (seconds->number * rate));
	if (const tavik::JsonValue* note = command.find ("note"); note && note->kind == tavik::JsonValue::Kind::Number)
	{
		ScoreEvent strike;
		strike.type = ScoreEvent::NOTE_ON;
		strike.hasFrame = true;
		strike.note = static_cast<int> (std::clamp (note->number, 0.0, 127.0));
		const tavik::JsonValue* velocity = command.find ("velocity");
		if (velocity && velocity->kind == tavik::JsonValue::Kind::Number)
			strike.velocity = std::clamp (velocity->number, 0.0, 1.0);
		render.score.events.push_back (strike);
	}
	// A controller moved at the first frame, played as a host plays one:
	// through the plug-in's MIDI mapping.
	if (const tavik::JsonValue* cc = command.find ("cc"); cc && cc->kind == tavik::JsonValue::Kind::Object)
	{
		ScoreEvent move;
		move.type = ScoreEvent::CC;
		move.hasFrame = true;
		move.controller = static_cast<int> (std::clamp (cc->num ("cc", 0), 0.0, 129.0));
		move.ccValue = static_cast<int> (std::clamp (cc->num ("value", 0), 0.0, 127.0));
		move.channel = static_cast<int> (std::clamp (cc->num ("channel", 1), 1.0, 16.0)) - 1;
		render.score.events.push_back (move);
	}
	try
	{
		// Besides a controller moved, the controller's edits are the changes.
		const std::vector<TimedChange> moves = resolveParameterChanges (render.score, plugin.controller (), true);
		BlockRenderer renderer (plugin, render, moves, edits);
		WavOutput wav (out, static_cast<int> (std::lround (rate)));
		renderer.renderInto (wav);
		wav.commit ();
		std::string reply = "{\"zorv\":\"rendered\",\"out\":";
		tavik::jsonAppendQuoted (reply, out.c_str ());
		reply += ",\"frames\":" + std::to_string (render.frames) + "}";
		printLine (nullptr, reply.data (), reply.size ());
	}
	catch (const std::exception& e)
	{
		std::fprintf (stderr, "zorv-render: bridge: %s\n", e.what ());
	}
	return true;
}

void BridgeSession::waitCommand (const tavik::JsonValue& command, FUnknown* controller)
{
	const std::string type = command.str ("for", "");
	const tavik::JsonValue* seconds = command.find ("seconds");
	if (type.empty () || !seconds || seconds->kind != tavik::JsonValue::Kind::Number || !(seconds->number > 0) ||
	    seconds->number > 3600)
	{
		std::fputs ("zorv-render: bridge: wait needs \"for\" (a message type) and \"seconds\" (0..3600)\n", stderr);
		return;
	}
	std::string marker = "\"type\":";
	tavik::jsonAppendQuoted (marker, type.c_str ());
	waitedFor = &marker;
	seen = false;
	const auto until = std::chrono::steady_clock::now () + std::chrono::duration<double> (seconds->number);
	while (!seen && std::chrono::steady_clock::now () < until)
	{
		tick (controller);
		if (!seen)
			std::this_thread::sleep_for (std::chrono::milliseconds (1000 / 30));
	}
	waitedFor = nullptr;
	std::string reply = seen ? "{\"zorv\":\"waited\",\"for\":" : "{\"zorv\":\"timeout\",\"for\":";
	tavik::jsonAppendQuoted (reply, type.c_str ());
	reply += "}";
	printLine (nullptr, reply.data (), reply.size ());
}

void BridgeSession::parameterCommand (const std::string& name, const tavik::JsonValue& command,
                                      IEditController* controller)
{
	const tavik::JsonValue* id = command.find ("id");
	const tavik::JsonValue* normalized = command.find ("normalized");
	const bool needsValue = name != "get";
	if (!id || id->kind != tavik::JsonValue::Kind::Number || !(id->number >= 0) || id->number > 0xFFFFFFFFu ||
	    (needsValue && (!normalized || normalized->kind != tavik::JsonValue::Kind::Number)))
	{
		std::fprintf (stderr, "zorv-render: bridge: %s needs \"id\"%s\n", name.c_str (),
		              needsValue ? " and \"normalized\"" : "");
		return;
	}
	const auto paramId = static_cast<ParamID> (id->number);
	if (name == "set")
	{
		controller->setParamNormalized (paramId, std::clamp (normalized->number, 0.0, 1.0));
		return;
	}
	if (name == "text")
	{
		printDisplayText (controller, paramId, normalized->number);
		return;
	}
	std::string reply = "{\"zorv\":\"value\",\"id\":" + std::to_string (paramId) + ",\"normalized\":";
	tavik::jsonAppendNumber (reply, controller->getParamNormalized (paramId));
	reply += "}";
	printLine (nullptr, reply.data (), reply.size ());
}

void BridgeSession::printDisplayText (IEditController* controller, ParamID id, double normalized)
{
	String128 text {};
	const bool shown = controller->getParamStringByValue (id, normalized, text) == kResultOk;
	std::string units;
	for (int32 i = 0, count = controller->getParameterCount (); i < count; ++i)
	{
		ParameterInfo info {};
		if (controller->getParameterInfo (i, info) == kResultOk && info.id == id)
		{
			// Ids are unique; the thousands of hidden controller parameters
			// come after the sound's own, so the search ends early.
			units = utf16ToUtf8 (reinterpret_cast<const char16_t*> (info.units), 128);
			break;
		}
	}
	std::string reply = "{\"zorv\":\"text\",\"id\":" + std::to_string (id) + ",\"normalized\":";
	tavik::jsonAppendNumber (reply, normalized);
	if (shown)
	{
		reply += ",\"text\":";
		tavik::jsonAppendQuoted (reply, utf16ToUtf8 (reinterpret_cast<const char16_t*> (text), 128).c_str ());
		reply += ",\"units\":";
		tavik::jsonAppendQuoted (reply, units.c_str ());
		reply += ",\"plain\":";
		tavik::jsonAppendNumber (reply, controller->normalizedParamToPlain (id, normalized));
	}
	reply += "}";
	printLine (nullptr, reply.data (), reply.size ());
}

} // namespace tavik::tools
