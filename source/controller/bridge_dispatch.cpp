// ControllerSession: what the controller does with each message the editor
// sends. The first rule that applies ends the handling.

#include "bridge_message.h"
#include "controller_session.h"

#include "json_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace tavik {

namespace {

int parameterForPath (const std::string& path)
{
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
		if (path == TAVIK_PARAMS[id].path)
			return static_cast<int> (id);
	return -1;
}

} // namespace

void ControllerSession::handleBridgeMessage (const char* json, size_t length)
{
	// The record holds a whole state document: one heap block per message.
	auto message = std::make_unique<BridgeMessage> ();
	if (!json || !parseBridgeMessage (json, length, *message))
	{
		std::fprintf (stderr, "tavik-plugin-shell: malformed bridge message (%zu bytes)\n", length);
		return;
	}
	// Page messages arrive on the host's run loop, outside its calls:
	// restarts owed since the last tick can go now, and those this
	// message asks for go at once.
	hostRestarts.flush ();
	dispatch (*message, length);
	hostRestarts.flush ();
}

void ControllerSession::dispatch (const BridgeMessage& m, size_t length)
{
	const std::string& type = m.type;
	if (type == "tavik.ready")
	{
		sendHello ();
		return;
	}
	switch (m.diagnosticCommand)
	{
		case DIAGNOSTIC_STIMULUS: return;
		case DIAGNOSTIC_UNSUBSCRIBE: unsubscribe (); return;
		case DIAGNOSTIC_SUBSCRIBE: subscribe (m.feeds, m.hz, true); return;
		default: break;
	}
	if (type == "tavik.loadFactoryPreset" && !m.id.empty ())
	{
		loadFactoryPresetById (m.id);
		return;
	}
	if (bank.handleMessage (m))
		return;
	if (userPresetMessages.handle (m))
		return;
	if (type == "tavik.setParam")
	{
		const int id = parameterForPath (m.path);
		if (!m.hasValue || id < 0)
			return;
		const double normalized = tavik_param_normalize (&TAVIK_PARAMS[id], m.value);
		echoParam = id;
		echoValue = normalized;
		if (surface.setParameterValue (static_cast<uint32_t> (id), normalized))
			parameterSet (static_cast<uint32_t> (id), normalized);
		surface.performEdit (static_cast<uint32_t> (id), normalized);
		return;
	}
	if (type == "tavik.beginEdit" || type == "tavik.endEdit")
	{
		const int id = parameterForPath (m.path);
		if (id < 0)
			return;
		if (type == "tavik.beginEdit")
			surface.beginEdit (static_cast<uint32_t> (id));
		else
			surface.endEdit (static_cast<uint32_t> (id));
		return;
	}
	if (type == "tavik.getState")
	{
		// The editor's copy of a state also names the preset it came from,
		// as the controller's own chunk does for a host.
		std::string document = currentStateDocument ();
		if (selection.any () && document.size () > 1)
		{
			PresetRef current;
			current.present = true;
			current.id = selection.id ();
			current.name = selection.name ();
			current.edited = presetDirty ();
			document.pop_back ();
			document += ",\"preset\":";
			writePresetRefJson (document, current);
			document += '}';
		}
		presets.lastStateBytes = static_cast<int64_t> (document.size ());
		DiagnosticLifecycleEvent& event = recordLifecycle (DiagnosticLifecycleKind::stateSaved);
		event.addNumber ("stateBytes", static_cast<double> (document.size ()));
		event.addString ("source", "ui");
		publishLastLifecycle ();
		sendToEditor ("{\"type\":\"tavik.state\",\"state\":" + document + "}");
		return;
	}
	if (type == "tavik.setCcMap")
	{
		if (m.hasCcMap)
			adoptCcMap (m.ccMap, true);
		return;
	}
	if (type == "tavik.ccLearn")
	{
		// "value" names the binding; none, or one not a whole number, stops.
		const bool named = m.hasValue && std::isfinite (m.value) && m.value >= 0 && m.value < CC_MAP_CAPACITY &&
		                   m.value == std::trunc (m.value);
		startLearning (named ? static_cast<int32_t> (m.value) : -1);
		return;
	}
	if (type == "tavik.setState")
	{
		if (m.hasState)
			restoreEditorState (m, length);
		return;
	}
	if (type == "tavik.noteOn" || type == "tavik.noteOff")
	{
		// The editor cannot make sound through the bridge.
		const double note = std::isfinite (m.note) ? std::trunc (m.note) : 0;
		const int shown = note < -2147483648.0 ? INT32_MIN : note > 2147483647.0 ? INT32_MAX : static_cast<int> (note);
		std::fprintf (stderr, "tavik-plugin-shell: bridge %s note=%d\n", type.c_str (), shown);
		return;
	}
}

void ControllerSession::restoreEditorState (const BridgeMessage& m, size_t length)
{
	const StateChunk& state = m.state;
	const PresetReportHold hold (*this, "state");
	editValuesOf (state);
	// A state names its preset, or none.
	if (state.preset.present)
		restorePresetRef (state.preset);
	else
		selection.clear ();
	if (state.hasCcMap)
		adoptCcMap (state.ccMap, true);
	const SamplerPadOverrides pads = state.hasPadOverrides ? state.padOverrides : SamplerPadOverrides ();
	if (applyPadOverrides (pads))
		bank.adoptRestoredPadOverrides (pads);
	bank.sendBankState ("restore", nullptr, nullptr);
	DiagnosticLifecycleEvent& event = recordLifecycle (DiagnosticLifecycleKind::stateRestored);
	event.addNumber ("stateBytes", static_cast<double> (length));
	event.addString ("source", "ui");
	publishLastLifecycle ();
}

} // namespace tavik
