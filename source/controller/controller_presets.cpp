// ControllerSession: presets. Factory presets from the host's program
// change or the editor, bank presets, the musician's own presets in the
// user preset folder, which preset the sound came from and whether it was
// edited since, and what the editor is told of all that.

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

constexpr const char* USER_PRESET_PREFIX = "user:";

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

std::string userPresetId (const std::string& name) { return USER_PRESET_PREFIX + name; }

// The name in a user preset id, or empty.
std::string userPresetName (const std::string& id)
{
	const size_t prefix = std::strlen (USER_PRESET_PREFIX);
	return id.compare (0, prefix, USER_PRESET_PREFIX) == 0 ? id.substr (prefix) : std::string ();
}

// "tavik.presetResult" texts start with a capital and end with a stop.
std::string sentence (std::string text)
{
	if (!text.empty () && text[0] >= 'a' && text[0] <= 'z')
		text[0] = static_cast<char> (text[0] - 'a' + 'A');
	if (!text.empty () && text.back () != '.')
		text += '.';
	return text;
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

bool ControllerSession::handlePresetMessage (const BridgeMessage& m)
{
	const std::string& type = m.type;
	if (type == "tavik.listPresets")
		sendPresetList ();
	else if (type == "tavik.savePreset")
		savePreset (m);
	else if (type == "tavik.loadPreset")
		loadUserPreset (m);
	else if (type == "tavik.renamePreset")
		renamePreset (m);
	else if (type == "tavik.deletePreset")
		deletePreset (m);
	else
		return false;
	return true;
}

void ControllerSession::sendPresetList ()
{
	if (!bridgeSink)
		return;
	std::string out = "{\"type\":\"tavik.presetList\",\"folder\":";
	// The folder comes from the environment: no raw control bytes to the page.
	jsonAppendStrictQuoted (out, userPresets.location ().c_str ());
	out += ",\"presets\":[";
	bool first = true;
	for (const std::string& name : userPresets.names ())
	{
		// Only the header is read to tell a preset of ours from another
		// plug-in's; a damaged file shows up as such when it is loaded.
		std::string head;
		std::string problem;
		const bool usable =
			userPresets.head (name, PRESET_FILE_HEADER_BYTES, head, problem) && presetFileHeaderIsOurs (head, problem);
		out += first ? "{" : ",{";
		first = false;
		JsonMembers entry (out, false);
		entry.text ("id", userPresetId (name).c_str ());
		entry.text ("name", name.c_str ());
		entry.boolean ("usable", usable);
		if (!usable)
			entry.text ("problem", problem.c_str ());
		out += '}';
	}
	out += "]}";
	sendToEditor (out);
}

void ControllerSession::sendPresetResult (const char* action, bool ok, const std::string& id, const std::string& name,
                                          const std::string& message, bool exists)
{
	if (!bridgeSink)
		return;
	std::string out = "{\"type\":\"tavik.presetResult\"";
	JsonMembers m (out, true);
	m.text ("action", action);
	m.boolean ("ok", ok);
	if (!id.empty ())
		m.text ("id", id.c_str ());
	if (!name.empty ())
		m.text ("name", name.c_str ());
	m.text ("message", message.c_str ());
	if (exists)
		m.boolean ("exists", true);
	out += '}';
	sendToEditor (out);
}

void ControllerSession::savePreset (const BridgeMessage& m)
{
	std::string name;
	std::string why;
	if (!UserPresetFolder::checkName (m.name, name, why))
	{
		sendPresetResult ("save", false, "", "", why);
		return;
	}
	if (pendingSave.active)
	{
		sendPresetResult ("save", false, userPresetId (name), name,
		                  "Another preset is still being saved; try again in a moment.");
		return;
	}
	// The file holds the processor's own state, as a host's preset would;
	// the processor answers at once in every host we know, and the values
	// the controller holds stand in when it does not.
	pendingSave.name = name;
	pendingSave.replace = m.overwrite;
	pendingSave.askedAt = nowMs ();
	pendingSave.active = true;
	if (!surface.sendToProcessor (messages::STATE_REQUEST, nullptr) && pendingSave.active)
		finishSave (currentStateDocument ());
}

void ControllerSession::adoptProcessorState (const std::string& document)
{
	if (!pendingSave.active)
		return;
	auto chunk = std::make_unique<StateChunk> ();
	if (!parseStateJson (document.data (), document.size (), *chunk))
	{
		finishSave (currentStateDocument ());
		return;
	}
	// The values are the controller's, which the host has been told: the
	// processor hears of an edit only at its next block, and may not be
	// processing at all. The rest is the processor's.
	double values[TAVIK_PARAM_COUNT];
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
		values[id] = tavik_param_plain (&TAVIK_PARAMS[id], surface.normalizedValue (id));
	const BankStateRef& ref = chunk->bankRef;
	BankStateRefOut bankRef;
	bankRef.id = ref.id;
	bankRef.bankVersion = ref.bankVersion;
	bankRef.sha256 = ref.sha256;
	bankRef.source = ref.source;
	bankRef.presetId = ref.hasPresetId ? ref.presetId : nullptr;
	bankRef.instrument = ref.instrument;
	bankRef.locator = ref.hasLocator ? ref.locator : nullptr;
	finishSave (writeStateJson (values, chunk->variation, chunk->hasCcMap ? &chunk->ccMap : nullptr,
	                            chunk->samplerAssetFault, chunk->samplerZoneProgram, ref.present ? &bankRef : nullptr,
	                            chunk->hasPadOverrides ? &chunk->padOverrides : nullptr, nullptr));
}

void ControllerSession::finishSave (const std::string& componentState)
{
	const std::string name = pendingSave.name;
	const bool replace = pendingSave.replace;
	pendingSave = PendingSave ();
	const std::string file = presetFileOfCurrentSound (name, componentState);
	bool exists = false;
	std::string error;
	if (file.empty () || !userPresets.write (name, file, replace, exists, error))
	{
		if (exists)
			sendPresetResult ("save", false, userPresetId (name), name,
			                  "A preset named \"" + name + "\" exists already. Replace it?", true);
		else
			sendPresetResult ("save", false, userPresetId (name), name,
			                  sentence ("The preset was not saved: " + (file.empty () ? "it is too large" : error)));
		return;
	}
	// The sound is that preset now.
	selection.restore (userPresetId (name), name, false, nullptr,
	                   [this] (uint32_t id) { return surface.normalizedValue (id); });
	sendPresetResult ("save", true, userPresetId (name), name, "Saved \"" + name + "\".");
	sendPresetList ();
	reportPresetState ("editor");
}

bool ControllerSession::userPresetNamed (const BridgeMessage& m, const char* action, std::string& name)
{
	name = userPresetName (m.id);
	std::string checked;
	std::string why;
	// An id naming a file the folder would not list is no preset of ours.
	if (UserPresetFolder::checkName (name, checked, why) && checked == name)
		return true;
	sendPresetResult (action, false, m.id, "", "There is no preset of that name.");
	return false;
}

void ControllerSession::loadUserPreset (const BridgeMessage& m)
{
	std::string name;
	if (!userPresetNamed (m, "load", name))
		return;
	std::string error;
	std::string bytes;
	if (!userPresets.read (name, PRESET_FILE_MAX_BYTES, bytes, error) || !applyPresetFile (bytes, m.id, name, error))
	{
		sendPresetResult ("load", false, m.id, name,
		                  sentence ("\"" + name + "\" was not loaded: " + error) + " Nothing was changed.");
		return;
	}
	hostRestarts.request (RESTART_PARAM_VALUES_CHANGED);
	sendPresetResult ("load", true, m.id, name, "Loaded \"" + name + "\".");
}

void ControllerSession::renamePreset (const BridgeMessage& m)
{
	std::string from;
	if (!userPresetNamed (m, "rename", from))
		return;
	std::string to;
	std::string why;
	if (!UserPresetFolder::checkName (m.name, to, why))
	{
		sendPresetResult ("rename", false, m.id, from, why);
		return;
	}
	bool exists = false;
	std::string error;
	if (!userPresets.rename (from, to, exists, error))
	{
		sendPresetResult ("rename", false, m.id, from,
		                  exists ? "A preset named \"" + to + "\" exists already."
		                         : sentence ("\"" + from + "\" was not renamed: " + error));
		return;
	}
	if (selection.id () == m.id)
	{
		selection.rename (userPresetId (to), to);
		reportPresetState ("editor");
	}
	sendPresetResult ("rename", true, userPresetId (to), to, "Renamed \"" + from + "\" to \"" + to + "\".");
	sendPresetList ();
}

void ControllerSession::deletePreset (const BridgeMessage& m)
{
	std::string name;
	if (!userPresetNamed (m, "delete", name))
		return;
	std::string error;
	if (!userPresets.remove (name, error))
	{
		sendPresetResult ("delete", false, m.id, name, sentence ("\"" + name + "\" was not deleted: " + error));
		return;
	}
	// The sound stays as it is; it just no longer has a preset to go back to.
	if (selection.id () == m.id)
	{
		selection.clear ();
		reportPresetState ("editor");
	}
	sendPresetResult ("delete", true, m.id, name, "Deleted \"" + name + "\".");
	sendPresetList ();
}

} // namespace tavik
