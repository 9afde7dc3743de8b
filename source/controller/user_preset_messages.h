// The editor's user preset messages ("tavik.listPresets", "tavik.savePreset",
// "tavik.loadPreset", "tavik.renamePreset", "tavik.deletePreset") over the
// user preset folder: the list, the answers ("tavik.presetResult"), and a
// save that waits for the processor's state document.
#pragma once

#include "user_preset_folder.h"

#include <string>

namespace tavik {

struct BridgeMessage;

/** The id the editor and the preset state give the user preset `name`. */
std::string userPresetId (const std::string& name);

/** What the preset messages need of the controller. */
class UserPresetHost
{
public:
	virtual ~UserPresetHost () = default;
	virtual bool editorAttached () const = 0;
	virtual void sendToEditor (const std::string& json) const = 0;
	/** Milliseconds of the controller's clock. */
	virtual double nowMs () const = 0;
	/** Asks the processor for its state document; false when the ask could
	 *  not go out. */
	virtual bool requestProcessorState () = 0;
	/** The state document of the controller's current values. */
	virtual std::string currentStateDocument () const = 0;
	virtual std::string presetFileOfCurrentSound (const std::string& name, const std::string& componentState) const = 0;
	/** Applies a preset file through the edit protocol; false (nothing
	 *  changed) with `error` set when it is no preset of this plug-in. */
	virtual bool applyPresetFile (const std::string& bytes, const std::string& id, const std::string& name,
	                              std::string& error) = 0;
	/** The sound is now the user preset just saved. */
	virtual void userPresetSaved (const std::string& id, const std::string& name) = 0;
	/** A user preset's values were edited in: the host should read them. */
	virtual void userPresetLoaded () = 0;
	virtual void userPresetRenamed (const std::string& fromId, const std::string& toId, const std::string& toName) = 0;
	virtual void userPresetDeleted (const std::string& id) = 0;
};

class UserPresetMessages
{
public:
	explicit UserPresetMessages (UserPresetHost& host);

	/** Handles one of the messages above; false for any other message. */
	bool handle (const BridgeMessage& message);
	void sendList ();
	/** The processor's state document for the save waiting for it. */
	void adoptProcessorState (const std::string& document, const double* plainValues);
	/** Gives up on the processor after a second: the save is written from
	 *  the controller's values. */
	void tick ();

	void setFolder (std::string location) { folder = UserPresetFolder (std::move (location)); }
	const UserPresetFolder& presetFolder () const { return folder; }

private:
	void sendResult (const char* action, bool ok, const std::string& id, const std::string& name,
	                 const std::string& message, bool exists = false);
	void save (const BridgeMessage& message);
	/** Writes the preset waiting for the processor's state. */
	void finishSave (const std::string& componentState);
	/** The preset a message's "id" names; false (and the refusal sent for
	 *  `action`) when it names no user preset. */
	bool presetNamed (const BridgeMessage& message, const char* action, std::string& name);
	void load (const BridgeMessage& message);
	void rename (const BridgeMessage& message);
	void remove (const BridgeMessage& message);

	UserPresetHost& host;
	UserPresetFolder folder {UserPresetFolder::standardLocation ()};
	/** A save waiting for the processor's state document. */
	struct PendingSave
	{
		std::string name;
		bool replace = false;
		double askedAt = 0;
		bool active = false;
	} pendingSave;
};

} // namespace tavik
