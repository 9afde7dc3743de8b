// The editor as an LV2 UI: the same ControllerSession the VST 3 controller
// runs and the same helper (zorv-editor) embedded into the host's window,
// over LV2's UI interface instead of the SDK's.
//
// - Parameter edits become control port writes in plain units; a value the
//   host sends back for a port is never written again, and the echo of the
//   UI's own write does not reach the page a second time.
// - A port the host changes (automation, a preset, its own controls) is the
//   controller's "host set this parameter".
// - Messages to the processor are message atoms on the plug-in's event
//   input (atom:eventTransfer); its answers arrive from its notify port.
// - The host's idle calls read the helper's socket, tick the link and run
//   the controller's cadence (at most 30 times a second); nothing waits.
//
// Every call the host makes is on its UI thread; none lets an exception out
// (the entry points catch them).
#pragma once

#include "bridge_host.h"
#include "controller_session.h"
#include "controller_surface.h"
#include "editor_link.h"
#include "host_display.h"
#include "lv2_message_atom.h"
#include "parameter_table.h"

#include <lv2/ui/ui.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tavik::lv2 {

class Lv2EditorUi : private ControllerSurface, private BridgeHost
{
public:
	/** A new UI embedded into `parent`, or null with the reason on standard
	 *  error when a required feature is missing or the helper cannot start. */
	static std::unique_ptr<Lv2EditorUi> create (const char* bundlePath, LV2UI_Write_Function write,
	                                            LV2UI_Controller controller, LV2UI_Widget* widget,
	                                            const LV2_Feature* const* features);
	~Lv2EditorUi () override;

	void portEvent (uint32_t port, uint32_t size, uint32_t format, const void* buffer);
	/** One idle call of the host; 0 while the UI lives. */
	int idle ();
	/** The host resized the UI. */
	int resize (int width, int height);

private:
	Lv2EditorUi (LV2UI_Write_Function write, LV2UI_Controller controller, const LV2_URID_Map& map,
	             const LV2UI_Touch* touch);

	bool open (const std::string& bundle, uintptr_t parent, const LV2UI_Resize* resize, std::string& error);

	// ControllerSurface: the host's ports and the plug-in's event input.
	double normalizedValue (uint32_t id) const override;
	bool setParameterValue (uint32_t id, double normalized) override;
	void beginEdit (uint32_t id) override;
	void performEdit (uint32_t id, double normalized) override;
	void endEdit (uint32_t id) override;
	void restartComponent (int32_t flags) override;
	bool sendToProcessor (const char* id, const std::string* payload) override;
	bool sendTransportPoll (bool reset) override;
	void adoptControllerValues (const uint8_t* bytes, uint32_t size);
	bool sendMessage (const char* id, const std::string* payload, bool reset);

	// BridgeHost: the editor link's calls.
	void handleBridgeMessage (const char* json, size_t length) override;
	void setBridgeSink (std::function<void (const std::string&)> sink) override;
	void onEditorOpened () override;
	void onEditorClosed () override;
	void onEditorError (const char* reason) override;

	void checkLink ();

	LV2UI_Write_Function writeFunction;
	LV2UI_Controller hostController;
	const MessageUrids urids;
	const LV2UI_Touch* touchFeature;

	/** Each parameter's value as the controller sees it (normalized). */
	double values[TAVIK_PARAM_COUNT];
	double programValue = 0;
	/** The port value the host last sent, and the UI's last write that the
	 *  host has not sent back yet. */
	float hostPort[TAVIK_PARAM_COUNT];
	bool hostPortKnown[TAVIK_PARAM_COUNT] = {};
	float written[TAVIK_PARAM_COUNT];
	bool writePending[TAVIK_PARAM_COUNT] = {};
	/** The host set a value since the last idle call. */
	bool hostChangedValues = false;
	std::vector<uint64_t> atomBuffer;

	std::unique_ptr<ControllerSession> session;
	std::unique_ptr<HostDisplay> display;
	uint32_t window = 0;
	int width = 0;
	int height = 0;
	std::unique_ptr<EditorLink> link;
	std::chrono::steady_clock::time_point lastCadence {};
};

} // namespace tavik::lv2
