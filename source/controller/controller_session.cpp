#include "controller_session.h"

#include "midi_controller_params.h"

#include "bank_folder_picker.h"
#include "factory_presets.h"
#include "json_writer.h"
#include "plugin_messages.h"

#include <cmath>
#include <cstring>

namespace tavik {

namespace {

// The bank control edits with plain values: list rows take their index,
// every other row its share of the range.
double plainToNormalized (const tavik_param_desc& row, double plain)
{
	if (row.kind == TAVIK_PARAM_LIST)
	{
		if (row.listCount < 2 || !(plain > 0))
			return 0;
		const double last = static_cast<double> (row.listCount - 1);
		return (plain < last ? plain : last) / last;
	}
	if (row.min == row.max || !(plain > row.min))
		return 0;
	const double share = (plain - row.min) / (row.max - row.min);
	return share < 1 ? share : 1;
}

} // namespace

void appendParameterMembers (std::string& out, uint32_t id, double normalized)
{
	out += "\"path\":";
	jsonAppendQuoted (out, TAVIK_PARAMS[id].path);
	out += ",\"value\":";
	jsonAppendNumber (out, tavik_param_plain (&TAVIK_PARAMS[id], normalized));
	out += ",\"normalized\":";
	jsonAppendNumber (out, normalized);
}

uint8_t classifyValidatorHost (const char* hostName)
{
	if (!hostName)
		return 0;
	const auto has = [hostName] (const char* word) { return std::strstr (hostName, word) != nullptr; };
	if (has ("pluginval") || has ("Pluginval"))
		return 1;
	if (has ("auval"))
		return 3;
	if (has ("clap-validator") || has ("clap_validator"))
		return 2;
	if (has ("Validator") || has ("validator"))
		return 4;
	if (has ("Tavik") || has ("tavik"))
		return 5;
	return 0;
}

ControllerSession::ControllerSession (ControllerSurface& controllerSurface)
	: surface (controllerSurface), hostRestarts ([this] (int32_t flags) { surface.restartComponent (flags); }),
	  bank (*this), feeds (*this)
{
}

void ControllerSession::initialized (const char* hostName)
{
	if (hostName)
		feeds.setHostName (hostName, classifyValidatorHost (hostName));
	refreshPresetState ();
	recordLifecycle (DiagnosticLifecycleKind::created);
	publishLastLifecycle ();
}

void ControllerSession::terminating ()
{
	bank.cancelHostedFetch ();
	recordLifecycle (DiagnosticLifecycleKind::destroyed);
	publishLastLifecycle ();
}

void ControllerSession::parameterSet (uint32_t id, double normalized)
{
	if (id == TAVIK_FACTORY_PROGRAM_LIST_ID)
	{
		const double steps = std::round (normalized * (TAVIK_FACTORY_PRESET_COUNT - 1));
		const uint32_t last = TAVIK_FACTORY_PRESET_COUNT - 1;
		const uint32_t index = !(steps > 0) ? 0 : steps >= last ? last : static_cast<uint32_t> (steps);
		applyFactoryPreset (index);
		reportPresetState (programChangeFromEditor ? "editor" : "host");
		hostRestarts.request (RESTART_PARAM_VALUES_CHANGED);
		return;
	}
	applyEchoRule (id, normalized);
	reportPresetDirtyChange ();
}

void ControllerSession::applyEchoRule (uint32_t id, double normalized)
{
	if (echoParam >= 0 && id == static_cast<uint32_t> (echoParam) && normalized == echoValue)
	{
		echoParam = -1;
		return;
	}
	sendParamChanged (id, normalized);
}

bool ControllerSession::restoreComponentState (const char* text, size_t length)
{
	auto chunk = std::make_unique<StateChunk> ();
	if (!parseStateJson (text, length, *chunk))
		return false;
	presets.lastStateBytes = static_cast<int64_t> (length);
	const PresetReportHold hold (*this, "state");
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
	{
		if (!chunk->present[id])
			continue;
		const double normalized = tavik_param_normalize (&TAVIK_PARAMS[id], chunk->values[id]);
		if (surface.setParameterValue (id, normalized))
			applyEchoRule (id, normalized);
	}
	// A restored sound is no preset until the controller's own chunk (which
	// hosts restore after this one) says which it came from.
	selection.clear ();
	if (chunk->hasCcMap)
		adoptCcMap (chunk->ccMap, true);
	if (chunk->bankRef.present)
		bank.adoptRestoredRef (chunk->bankRef.source, chunk->bankRef.locator, chunk->bankRef.sha256,
		                       chunk->bankRef.instrument, chunk->bankRef.presetId);
	bank.adoptRestoredPadOverrides (chunk->hasPadOverrides ? chunk->padOverrides : SamplerPadOverrides ());
	bank.sendBankState ("restore", nullptr, nullptr);
	DiagnosticLifecycleEvent& event = recordLifecycle (DiagnosticLifecycleKind::stateRestored);
	event.addNumber ("stateBytes", static_cast<double> (length));
	event.addString ("source", "component");
	publishLastLifecycle ();
	return true;
}

std::string ControllerSession::writeControllerState () const
{
	PresetRef current;
	current.present = selection.any ();
	current.id = selection.id ();
	current.name = selection.name ();
	current.edited = current.present && presetDirty ();
	return controllerStateWith (current);
}

std::string ControllerSession::controllerStateWith (const PresetRef& preset) const
{
	std::string out = "{";
	if (holdsCcMap)
	{
		out += "\"ccMap\":";
		writeCcMapJson (out, map);
	}
	if (!bank.pads ().empty ())
	{
		out += holdsCcMap ? ",\"sampler\":{\"v\":1,\"pads\":" : "\"sampler\":{\"v\":1,\"pads\":";
		writeSamplerPadOverridesJson (out, bank.pads ());
		out += '}';
	}
	if (preset.present)
	{
		out += out.size () > 1 ? ",\"preset\":" : "\"preset\":";
		writePresetRefJson (out, preset);
	}
	out += '}';
	return out;
}

bool ControllerSession::restoreControllerState (const char* text, size_t length)
{
	if (length == 0)
		return true;
	auto chunk = std::make_unique<StateChunk> ();
	if (!parseStateJson (text, length, *chunk))
		return false;
	if (chunk->hasCcMap)
		adoptCcMap (chunk->ccMap, true);
	bank.adoptRestoredPadOverrides (chunk->hasPadOverrides ? chunk->padOverrides : SamplerPadOverrides ());
	bank.sendBankState ("restore", nullptr, nullptr);
	if (chunk->preset.present)
		restorePresetRef (chunk->preset);
	reportPresetState ("state");
	return true;
}

void ControllerSession::sendToEditor (const std::string& json) const
{
	if (bridgeSink)
		bridgeSink (json);
}

void ControllerSession::sendParamChanged (uint32_t id, double normalized)
{
	if (id >= TAVIK_PARAM_COUNT || !bridgeSink)
		return;
	std::string out = "{\"type\":\"tavik.paramChanged\",";
	appendParameterMembers (out, id, normalized);
	out += '}';
	sendToEditor (out);
}

void ControllerSession::editorError (const char* reason)
{
	recordLifecycle (DiagnosticLifecycleKind::editorError).addString ("reason", reason ? reason : "unknown");
	publishLastLifecycle ();
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
	stopLearning ();
	editorIsReady = false;
}

void ControllerSession::editParam (uint32_t index, double plain)
{
	if (index >= TAVIK_PARAM_COUNT)
		return;
	const double normalized = plainToNormalized (TAVIK_PARAMS[index], plain);
	surface.beginEdit (index);
	surface.setParameterValue (index, normalized);
	sendParamChanged (index, normalized);
	surface.performEdit (index, normalized);
	surface.endEdit (index);
	reportPresetDirtyChange ();
}

double ControllerSession::readParam (uint32_t index)
{
	if (index >= TAVIK_PARAM_COUNT)
		return 0;
	return tavik_param_plain (&TAVIK_PARAMS[index], surface.normalizedValue (index));
}

void ControllerSession::requestRuntimeBank (const std::string& source, const std::string& path,
                                            const std::string& digest, const std::string& instrument)
{
	const std::string request = source + "\n" + path + "\n" + digest + "\n" + instrument;
	if (!surface.sendToProcessor (messages::LOAD_RUNTIME_BANK, &request))
		bank.adoptRuntimeBankReply ("missing\n" + path);
}

bool ControllerSession::applyPadOverrides (const SamplerPadOverrides& overrides)
{
	std::string document;
	writeSamplerPadOverridesJson (document, overrides);
	return surface.sendToProcessor (messages::PAD_OVERRIDES, &document);
}

bool ControllerSession::pickFolder (std::string& path, std::string& error) { return pickBankFolder (path, error); }

} // namespace tavik
