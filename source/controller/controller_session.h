// The edit controller's logic, free of the SDK: factory presets and the
// dirty flag, the echo rule between editor and host, the CC map and MIDI
// controller assignment, component and controller state, the bank bridge
// and the editor bridge; the feeds to the editor are EditorFeeds'.
// TavikController is a thin SDK layer over it (ControllerSurface is what it
// provides).
#pragma once

#include "bank_control.h"
#include "cc_learn.h"
#include "cc_map.h"
#include "controller_surface.h"
#include "editor_feeds.h"
#include "hello_blocks.h"
#include "host_restarts.h"
#include "host_facts.h"
#include "lifecycle_log.h"
#include "parameter_table.h"
#include "preset_selection.h"
#include "state_document.h"
#include "user_preset_messages.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tavik {

/** The host's restart flags the controller raises. */
constexpr int32_t RESTART_PARAM_VALUES_CHANGED = 1 << 2;
constexpr int32_t RESTART_MIDI_CC_ASSIGNMENT_CHANGED = 1 << 5;

/** Appends "path":…,"value":…,"normalized":… of one parameter (the plain
 *  value from the normalized one), as the hello and "tavik.paramChanged"
 *  report it. */
void appendParameterMembers (std::string& out, uint32_t id, double normalized);

/** The validator a host name reveals (0 none … 5 our own probe). */
uint8_t classifyValidatorHost (const char* hostName);

class ControllerSession : private BankControlHost, private FeedOutlet, private UserPresetHost
{
public:
	using BridgeSink = std::function<void (const std::string&)>;

	explicit ControllerSession (ControllerSurface& surface);

	// Lifecycle.
	/** After the parameters exist: host identity, preset state, "created". */
	void initialized (const char* hostName);
	void terminating ();

	// Parameters and presets.
	/** After the parameter object took a host's value: program change,
	 *  the echo rule, or a "tavik.paramChanged" for the editor. */
	void parameterSet (uint32_t id, double normalized);
	void applyFactoryPreset (uint32_t index);
	bool presetDirty () const;
	void refreshPresetState ();
	/** After the host set many values with no word of where they came from
	 *  (an LV2 host's preset, which reaches a plug-in as port values): when
	 *  they are a factory preset's and no unedited preset is chosen, that
	 *  preset is taken as the sound and the editor told (origin "host").
	 *  True when it did. */
	bool recognizeFactoryPreset ();
	/** Tells the editor which preset the sound is and whether it was edited
	 *  ("tavik.presetState"); `origin` says what changed it ("host",
	 *  "editor", "state", "edit"). */
	void reportPresetState (const char* origin);
	/** Where user presets are kept (tests point it elsewhere). */
	void setUserPresetFolder (std::string folder) { userPresetMessages.setFolder (std::move (folder)); }
	const UserPresetFolder& userPresetFolder () const { return userPresetMessages.presetFolder (); }
	/** The preset file of the current sound, named `name`, with the
	 *  processor's state document as its component state. */
	std::string presetFileOfCurrentSound (const std::string& name, const std::string& componentState) const override;
	/** The processor's state document, asked for to save a preset. */
	void adoptProcessorState (const std::string& document);

	/** One message from the processor (`payload` null when it carried none
	 *  that could be read); false when the id is none of the processor's. */
	bool adoptProcessorMessage (const char* id, const std::string* payload);

	// MIDI controllers.
	bool midiControllerAssignment (int32_t busIndex, int16_t channel, int16_t controller, uint32_t& id) const;
	void adoptCcMap (const CcMap& map, bool notifyEditor);
	/** The processor's MIDI_CC payload: each controller goes to the
	 *  editor's drawer ("tavik.midiCc") and to MIDI learn. */
	void adoptControllerActivity (const std::string& records);
	/** A host's live controller input (its MIDI learn): taken by the
	 *  binding that learns; true when one did. */
	bool liveControllerInput (int32_t busIndex, int16_t channel, int16_t controller);
	/** The editor's "tavik.ccLearn": binding `slot` waits for the next
	 *  controller moved; a negative slot stops waiting. */
	void startLearning (int32_t slot);
	int32_t learningSlot () const { return learn.slot (); }

	// State.
	/** The processor's state as the host hands it over; false (nothing
	 *  changed) when it is no state document. */
	bool restoreComponentState (const char* text, size_t length);
	/** The controller's own chunk: the CC map and the pad overrides. */
	std::string writeControllerState () const;
	bool restoreControllerState (const char* text, size_t length);

	// Editor.
	void setBridgeSink (BridgeSink sink) { bridgeSink = std::move (sink); }
	void sendToEditor (const std::string& json) const override;
	void sendParamChanged (uint32_t id, double normalized);
	void editorError (const char* reason);

	// The editor's messages.
	/** Parses and dispatches one inbound message; a malformed one gets a
	 *  standard-error line and no reply. */
	void handleBridgeMessage (const char* json, size_t length);

	// Messages the controller owns.
	/** The plug-in format the hello's identity names (VST 3 unless told). */
	void setDiagnosticTarget (DiagnosticTarget target) { diagnosticTarget = target; }
	/** Builds and sends the hello; the editor is ready afterwards. */
	void sendHello ();
	std::string helloJson ();
	/** The state document of the current values (the editor's "getState"). */
	std::string currentStateDocument () const override;

	// Feeds (the cadence clock and the processor's answers).
	/** One cadence tick: a transport poll (with a pending reset), then a
	 *  feed drain. */
	void tickCadence ();
	static double cadenceIntervalSeconds (double feedRate) { return EditorFeeds::cadenceIntervalSeconds (feedRate); }
	void subscribe (uint32_t mask, double hz, bool hasHz) { feeds.subscribe (mask, hz, hasHz); }
	void unsubscribe () { feeds.unsubscribe (); }
	void editorOpened ();
	void editorClosed ();
	void adoptRuntimeHealth (const std::string& report) { feeds.adoptRuntimeHealth (report); }
	void adoptHostFacts (const HostFacts& reported) { feeds.adoptHostFacts (reported); }
	void adoptTransportFact (const TransportFact& fact) { feeds.adoptTransportFact (fact); }
	void adoptLifecycleName (const std::string& name) { feeds.adoptLifecycleName (name); }
	/** Milliseconds of the clock the feeds and saves are timed by. */
	void setClock (std::function<double ()> now) { feeds.setClock (std::move (now)); }

	// Lifecycle log.
	DiagnosticLifecycleEvent& recordLifecycle (DiagnosticLifecycleKind kind, int64_t atFrame = -1)
	{
		return feeds.record (kind, atFrame);
	}
	void publishLastLifecycle () { feeds.publishLast (); }

	// Host calls and the restarts owed to the host.
	HostRestarts& restarts () { return hostRestarts; }

	// Facts for the SDK layer and tests.
	bool hasCcMap () const { return holdsCcMap; }
	const CcMap& ccMap () const { return map; }
	const HostFacts& hostFacts () const { return feeds.hostFacts (); }
	const PresetStateFacts& presetState () const { return presets; }
	const DiagnosticLifecycleLog& lifecycleLog () const { return feeds.lifecycleLog (); }
	BankControl& bankControl () { return bank; }
	uint32_t feedMask () const { return feeds.mask (); }
	double feedHz () const { return feeds.hz (); }
	bool isEditorReady () const { return editorIsReady; }
	const std::string& runtimeHealthReport () const { return feeds.runtimeHealthReport (); }
	uint32_t hostChanges () const { return feeds.hostChanges (); }
	int32_t echoId () const { return echoParam; }

private:
	// The bank control's view of the controller.
	void sendBankJson (const std::string& json) override { sendToEditor (json); }
	void editParam (uint32_t index, double plain) override;
	double readParam (uint32_t index) override;
	void requestRuntimeBank (const std::string& source, const std::string& path, const std::string& digest,
	                         const std::string& instrument) override;
	bool applyPadOverrides (const SamplerPadOverrides& overrides) override;
	bool pickFolder (std::string& path, std::string& error) override;
	void notePresetSelected (const std::string& id, const std::string& name) override;

	// The feeds' view of the controller.
	bool editorAttached () const override { return static_cast<bool> (bridgeSink); }
	bool editorReady () const override { return editorIsReady; }
	bool sendTransportPoll (bool reset) override { return surface.sendTransportPoll (reset); }

	/** Counts the preset reports held back while many values change at
	 *  once; the last one to go reports once with its origin. */
	class PresetReportHold
	{
	public:
		PresetReportHold (ControllerSession& s, const char* reportOrigin) : session (s), origin (reportOrigin)
		{
			++session.presetReportHolds;
		}
		~PresetReportHold ()
		{
			if (--session.presetReportHolds == 0 && origin)
				session.reportPresetState (origin);
		}
		PresetReportHold (const PresetReportHold&) = delete;
		PresetReportHold& operator= (const PresetReportHold&) = delete;

	private:
		ControllerSession& session;
		const char* origin;
	};

	/** After one edit: a report when the dirty flag flipped. */
	void reportPresetDirtyChange ();
	void restorePresetRef (const PresetRef& ref);
	std::string controllerStateWith (const PresetRef& preset) const;
	// The user preset messages' view of the controller.
	bool requestProcessorState () override;
	bool applyPresetFile (const std::string& bytes, const std::string& id, const std::string& name,
	                      std::string& error) override;
	void userPresetSaved (const std::string& id, const std::string& name) override;
	void userPresetLoaded () override;
	void userPresetRenamed (const std::string& fromId, const std::string& toId, const std::string& toName) override;
	void userPresetDeleted (const std::string& id) override;
	/** Sets every value a state document carries through the host's edit
	 *  protocol, as a preset or the editor's state does. */
	void editValuesOf (const StateChunk& state);

	/** The feeds' and saves' clock in milliseconds. */
	double nowMs () const override { return feeds.nowMs (); }

	void sendCcMapToProcessor ();
	void stopLearning ();
	bool learnController (uint32_t channel, uint32_t controller);
	/** "tavik.ccLearnState": the binding waiting (-1 none), and whether
	 *  a controller was just learned. */
	void sendLearnState (bool learned);
	void dispatch (const struct BridgeMessage& message, size_t length);
	void loadFactoryPresetById (const std::string& id);
	void restoreEditorState (const struct BridgeMessage& message, size_t length);
	/** The host set `id` to `normalized`: the echo of the editor's own edit is
	 *  consumed, anything else is reported to the editor. */
	void applyEchoRule (uint32_t id, double normalized);

	ControllerSurface& surface;
	HostRestarts hostRestarts;
	BankControl bank;
	BridgeSink bridgeSink;
	int32_t echoParam = -1;
	double echoValue = -1.0;
	CcMap map;
	bool holdsCcMap = false;
	CcLearn learn;
	DiagnosticTarget diagnosticTarget = TARGET_VST3;
	PresetStateFacts presets;
	PresetSelection selection;
	int presetReportHolds = 0;
	bool reportedDirty = false;
	bool programChangeFromEditor = false;
	bool editorIsReady = false;
	EditorFeeds feeds;
	UserPresetMessages userPresetMessages {*this};
};

} // namespace tavik
