// ControllerSession: presets. Factory presets from the host's program
// change or the editor, bank presets, applying a preset file, which preset
// the sound came from and whether it was edited since, and what the editor
// is told of all that. The user preset messages are UserPresetMessages'.

#include "bridge_message.h"
#include "controller_session.h"

#include "factory_presets.h"
#include "json_writer.h"
#include "plugin_messages.h"
#include "vst_preset_file.h"

#include <cstring>
#include <memory>

namespace tavik {

namespace {

template <size_t N>
void copyField (char (&field)[N], const std::string& text)
{
	const size_t n = text.size () < N - 1 ? text.size () : N - 1;
	std::memcpy (field, text.data (), n);
	field[n] = 0;
}

const tavik_factory_preset* factoryPresetById (const std::string& id)
{
	for (const tavik_factory_preset& preset : TAVIK_FACTORY_PRESETS)
		if (id == preset.id)
			return &preset;
	return nullptr;
}

} // namespace

void ControllerSession::applyFactoryPreset (uint32_t index)
{
	if (index >= TAVIK_FACTORY_PRESET_COUNT || !TAVIK_FACTORY_PRESETS[index].values)
		return;
	const tavik_factory_preset& preset = TAVIK_FACTORY_PRESETS[index];
	const PresetReportHold hold (*this, nullptr);
	selection.choose (preset.id, preset.name, preset.values);
	refreshPresetState ();

	DiagnosticLifecycleEvent& event = recordLifecycle (DiagnosticLifecycleKind::presetLoaded);
	event.addString ("id", preset.id);
	event.addString ("name", preset.name);
	event.addNumber ("index", index);
	event.addString ("origin", "factory");
	publishLastLifecycle ();

	const std::string none;
	surface.sendToProcessor (messages::PRESET_LOADED, &none);
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
	{
		const double v = preset.values[id];
		surface.beginEdit (id);
		surface.setParameterValue (id, v);
		sendParamChanged (id, v);
		surface.performEdit (id, v);
		surface.endEdit (id);
	}
}

void ControllerSession::loadFactoryPresetById (const std::string& id)
{
	for (uint32_t index = 0; index < TAVIK_FACTORY_PRESET_COUNT; ++index)
	{
		if (id != TAVIK_FACTORY_PRESETS[index].id)
			continue;
		const double value = static_cast<double> (index) / (TAVIK_FACTORY_PRESET_COUNT - 1);
		programChangeFromEditor = true;
		surface.beginEdit (TAVIK_FACTORY_PROGRAM_LIST_ID);
		if (surface.setParameterValue (TAVIK_FACTORY_PROGRAM_LIST_ID, value))
			parameterSet (TAVIK_FACTORY_PROGRAM_LIST_ID, value);
		surface.performEdit (TAVIK_FACTORY_PROGRAM_LIST_ID, value);
		surface.endEdit (TAVIK_FACTORY_PROGRAM_LIST_ID);
		programChangeFromEditor = false;
		return;
	}
}

bool ControllerSession::recognizeFactoryPreset ()
{
	if (selection.any () && !presetDirty ())
		return false;
	const PresetSelection::Values current = [this] (uint32_t id) { return surface.normalizedValue (id); };
	for (uint32_t i = 0; i < TAVIK_FACTORY_PRESET_COUNT; ++i)
	{
		const tavik_factory_preset& preset = TAVIK_FACTORY_PRESETS[i];
		PresetSelection candidate;
		candidate.choose (preset.id, preset.name, preset.values);
		if (!preset.values || candidate.dirty (current))
			continue;
		selection = candidate;
		reportPresetState ("host");
		return true;
	}
	return false;
}

bool ControllerSession::presetDirty () const
{
	return selection.dirty ([this] (uint32_t id) { return surface.normalizedValue (id); });
}

void ControllerSession::refreshPresetState ()
{
	presets.factoryCount = TAVIK_FACTORY_PRESET_COUNT;
	copyField (presets.currentId, selection.id ());
	copyField (presets.currentName, selection.name ());
	presets.dirty = presetDirty ();
	presets.userPresetsSupported = true;
	presets.bank = BankFacts ();
	if (compiledBankCount () > 0)
		describeCompiledBank (0, presets.bank);
}

void ControllerSession::reportPresetState (const char* origin)
{
	refreshPresetState ();
	reportedDirty = presets.dirty;
	if (!bridgeSink || presetReportHolds > 0)
		return;
	std::string out = "{\"type\":\"tavik.presetState\",\"presetState\":";
	writeDiagnosticPresetStateJson (out, presets);
	out += ",\"origin\":";
	jsonAppendQuoted (out, origin ? origin : "host");
	out += '}';
	sendToEditor (out);
}

void ControllerSession::reportPresetDirtyChange ()
{
	if (presetReportHolds > 0 || !selection.any ())
		return;
	if (presetDirty () != reportedDirty)
		reportPresetState ("edit");
}

void ControllerSession::restorePresetRef (const PresetRef& ref)
{
	const tavik_factory_preset* factory = factoryPresetById (ref.id);
	selection.restore (ref.id, factory ? factory->name : ref.name, ref.edited, factory ? factory->values : nullptr,
	                   [this] (uint32_t id) { return surface.normalizedValue (id); });
}

void ControllerSession::notePresetSelected (const std::string& id, const std::string& name)
{
	selection.rename (id, name);
	refreshPresetState ();
	DiagnosticLifecycleEvent& event = recordLifecycle (DiagnosticLifecycleKind::presetLoaded);
	event.addString ("id", id.c_str ());
	event.addString ("name", name.c_str ());
	event.addString ("origin", "bank");
	publishLastLifecycle ();
	surface.sendToProcessor (messages::PRESET_LOADED, &id);
	reportPresetState ("editor");
}

std::string ControllerSession::presetFileOfCurrentSound (const std::string& name,
                                                         const std::string& componentState) const
{
	PresetRef preset;
	preset.present = true;
	preset.id = userPresetId (name);
	preset.name = name;
	return writePresetFile (componentState, controllerStateWith (preset));
}

void ControllerSession::editValuesOf (const StateChunk& state)
{
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
	{
		if (!state.present[id])
			continue;
		const double normalized = tavik_param_normalize (&TAVIK_PARAMS[id], state.values[id]);
		surface.beginEdit (id);
		if (surface.setParameterValue (id, normalized))
			parameterSet (id, normalized);
		surface.performEdit (id, normalized);
		surface.endEdit (id);
	}
}

bool ControllerSession::applyPresetFile (const std::string& bytes, const std::string& id, const std::string& name,
                                         std::string& error)
{
	PresetFileStates states;
	if (!readPresetFile (bytes, states, error))
		return false;
	// Both documents are read whole before anything changes.
	auto component = std::make_unique<StateChunk> ();
	if (!parseStateJson (states.component.data (), states.component.size (), *component))
	{
		error = "the preset's sound is damaged (it is not a state of this plug-in)";
		return false;
	}
	auto controller = std::make_unique<StateChunk> ();
	if (states.hasController && !states.controller.empty () &&
	    !parseStateJson (states.controller.data (), states.controller.size (), *controller))
	{
		error = "the preset's controller state is damaged";
		return false;
	}

	const PresetReportHold hold (*this, "editor");
	editValuesOf (*component);
	const CcMap* ccMap = component->hasCcMap ? &component->ccMap : controller->hasCcMap ? &controller->ccMap : nullptr;
	if (ccMap)
		adoptCcMap (*ccMap, true);
	const SamplerPadOverrides pads = controller->hasPadOverrides  ? controller->padOverrides
	                                 : component->hasPadOverrides ? component->padOverrides
	                                                              : SamplerPadOverrides ();
	if (applyPadOverrides (pads))
		bank.adoptRestoredPadOverrides (pads);
	// The preset is now the sound as it is: the values the host holds.
	selection.restore (id, name, false, nullptr, [this] (uint32_t i) { return surface.normalizedValue (i); });

	DiagnosticLifecycleEvent& event = recordLifecycle (DiagnosticLifecycleKind::presetLoaded);
	event.addString ("id", id.c_str ());
	event.addString ("name", name.c_str ());
	event.addString ("origin", "user");
	publishLastLifecycle ();
	const std::string none;
	surface.sendToProcessor (messages::PRESET_LOADED, &none);
	return true;
}

void ControllerSession::adoptProcessorState (const std::string& document)
{
	// The values are the controller's, which the host has been told: the
	// processor hears of an edit only at its next block, and may not be
	// processing at all. The rest is the processor's.
	double values[TAVIK_PARAM_COUNT];
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
		values[id] = tavik_param_plain (&TAVIK_PARAMS[id], surface.normalizedValue (id));
	userPresetMessages.adoptProcessorState (document, values);
}

bool ControllerSession::requestProcessorState () { return surface.sendToProcessor (messages::STATE_REQUEST, nullptr); }

void ControllerSession::userPresetSaved (const std::string& id, const std::string& name)
{
	selection.restore (id, name, false, nullptr, [this] (uint32_t i) { return surface.normalizedValue (i); });
	reportPresetState ("editor");
}

void ControllerSession::userPresetLoaded () { hostRestarts.request (RESTART_PARAM_VALUES_CHANGED); }

void ControllerSession::userPresetRenamed (const std::string& fromId, const std::string& toId,
                                           const std::string& toName)
{
	if (selection.id () != fromId)
		return;
	selection.rename (toId, toName);
	reportPresetState ("editor");
}

void ControllerSession::userPresetDeleted (const std::string& id)
{
	// The sound stays as it is; it just no longer has a preset to go back to.
	if (selection.id () != id)
		return;
	selection.clear ();
	reportPresetState ("editor");
}

} // namespace tavik
