// UserPresetMessages: the user preset list and the save, load, rename and
// delete messages, answered with "tavik.presetResult".

#include "user_preset_messages.h"

#include "bridge_message.h"
#include "json_writer.h"
#include "state_document.h"
#include "vst_preset_file.h"

#include <cstring>
#include <memory>

namespace tavik {

namespace {

constexpr const char* USER_PRESET_PREFIX = "user:";

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

std::string userPresetId (const std::string& name) { return USER_PRESET_PREFIX + name; }

UserPresetMessages::UserPresetMessages (UserPresetHost& presetHost) : host (presetHost) {}

void UserPresetMessages::tick ()
{
	if (pendingSave.active && host.nowMs () - pendingSave.askedAt > 1000)
		finishSave (host.currentStateDocument ());
}

bool UserPresetMessages::handle (const BridgeMessage& m)
{
	const std::string& type = m.type;
	if (type == "tavik.listPresets")
		sendList ();
	else if (type == "tavik.savePreset")
		save (m);
	else if (type == "tavik.loadPreset")
		load (m);
	else if (type == "tavik.renamePreset")
		rename (m);
	else if (type == "tavik.deletePreset")
		remove (m);
	else
		return false;
	return true;
}

void UserPresetMessages::sendList ()
{
	if (!host.editorAttached ())
		return;
	std::string out = "{\"type\":\"tavik.presetList\",\"folder\":";
	// The folder comes from the environment: no raw control bytes to the page.
	jsonAppendStrictQuoted (out, folder.location ().c_str ());
	out += ",\"presets\":[";
	bool first = true;
	for (const std::string& name : folder.names ())
	{
		// Only the header is read to tell a preset of ours from another
		// plug-in's; a damaged file shows up as such when it is loaded.
		std::string head;
		std::string problem;
		const bool usable =
			folder.head (name, PRESET_FILE_HEADER_BYTES, head, problem) && presetFileHeaderIsOurs (head, problem);
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
	host.sendToEditor (out);
}

void UserPresetMessages::sendResult (const char* action, bool ok, const std::string& id, const std::string& name,
                                     const std::string& message, bool exists)
{
	if (!host.editorAttached ())
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
	host.sendToEditor (out);
}

void UserPresetMessages::save (const BridgeMessage& m)
{
	std::string name;
	std::string why;
	if (!UserPresetFolder::checkName (m.name, name, why))
	{
		sendResult ("save", false, "", "", why);
		return;
	}
	if (pendingSave.active)
	{
		sendResult ("save", false, userPresetId (name), name,
		            "Another preset is still being saved; try again in a moment.");
		return;
	}
	// The file holds the processor's own state, as a host's preset would;
	// the processor answers at once in every host we know, and the values
	// the controller holds stand in when it does not.
	pendingSave.name = name;
	pendingSave.replace = m.overwrite;
	pendingSave.askedAt = host.nowMs ();
	pendingSave.active = true;
	if (!host.requestProcessorState () && pendingSave.active)
		finishSave (host.currentStateDocument ());
}

void UserPresetMessages::adoptProcessorState (const std::string& document, const double* values)
{
	if (!pendingSave.active)
		return;
	auto chunk = std::make_unique<StateChunk> ();
	if (!parseStateJson (document.data (), document.size (), *chunk))
	{
		finishSave (host.currentStateDocument ());
		return;
	}
	// The values are the controller's, which the host has been told: the
	// processor hears of an edit only at its next block, and may not be
	// processing at all. The rest is the processor's.
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

void UserPresetMessages::finishSave (const std::string& componentState)
{
	const std::string name = pendingSave.name;
	const bool replace = pendingSave.replace;
	pendingSave = PendingSave ();
	const std::string file = host.presetFileOfCurrentSound (name, componentState);
	bool exists = false;
	std::string error;
	if (file.empty () || !folder.write (name, file, replace, exists, error))
	{
		if (exists)
			sendResult ("save", false, userPresetId (name), name,
			            "A preset named \"" + name + "\" exists already. Replace it?", true);
		else
			sendResult ("save", false, userPresetId (name), name,
			            sentence ("The preset was not saved: " + (file.empty () ? "it is too large" : error)));
		return;
	}
	sendResult ("save", true, userPresetId (name), name, "Saved \"" + name + "\".");
	sendList ();
	// The sound is that preset now.
	host.userPresetSaved (userPresetId (name), name);
}

bool UserPresetMessages::presetNamed (const BridgeMessage& m, const char* action, std::string& name)
{
	name = userPresetName (m.id);
	std::string checked;
	std::string why;
	// An id naming a file the folder would not list is no preset of ours.
	if (UserPresetFolder::checkName (name, checked, why) && checked == name)
		return true;
	sendResult (action, false, m.id, "", "There is no preset of that name.");
	return false;
}

void UserPresetMessages::load (const BridgeMessage& m)
{
	std::string name;
	if (!presetNamed (m, "load", name))
		return;
	std::string error;
	std::string bytes;
	if (!folder.read (name, PRESET_FILE_MAX_BYTES, bytes, error) || !host.applyPresetFile (bytes, m.id, name, error))
	{
		sendResult ("load", false, m.id, name,
		            sentence ("\"" + name + "\" was not loaded: " + error) + " Nothing was changed.");
		return;
	}
	host.userPresetLoaded ();
	sendResult ("load", true, m.id, name, "Loaded \"" + name + "\".");
}

void UserPresetMessages::rename (const BridgeMessage& m)
{
	std::string from;
	if (!presetNamed (m, "rename", from))
		return;
	std::string to;
	std::string why;
	if (!UserPresetFolder::checkName (m.name, to, why))
	{
		sendResult ("rename", false, m.id, from, why);
		return;
	}
	bool exists = false;
	std::string error;
	if (!folder.rename (from, to, exists, error))
	{
		sendResult ("rename", false, m.id, from,
		            exists ? "A preset named \"" + to + "\" exists already."
		                   : sentence ("\"" + from + "\" was not renamed: " + error));
		return;
	}
	host.userPresetRenamed (m.id, userPresetId (to), to);
	sendResult ("rename", true, userPresetId (to), to, "Renamed \"" + from + "\" to \"" + to + "\".");
	sendList ();
}

void UserPresetMessages::remove (const BridgeMessage& m)
{
	std::string name;
	if (!presetNamed (m, "delete", name))
		return;
	std::string error;
	if (!folder.remove (name, error))
	{
		sendResult ("delete", false, m.id, name, sentence ("\"" + name + "\" was not deleted: " + error));
		return;
	}
	host.userPresetDeleted (m.id);
	sendResult ("delete", true, m.id, name, "Deleted \"" + name + "\".");
	sendList ();
}

} // namespace tavik
