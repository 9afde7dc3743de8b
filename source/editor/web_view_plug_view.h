// The editor view a host embeds: an X11 child window filled by the editor
// helper's web page. The view itself only runs the link to the helper on
// the host's run loop; it never touches GTK or WebKit.
#pragma once

#include "bridge_host.h"

#include "pluginterfaces/gui/iplugview.h"

#include <functional>
#include <string>
#include <vector>

namespace tavik {

/** The view size rules: 720 × 560 at first, resizable between 480 × 360 and
 *  1400 × 1000. */
struct EditorSize
{
	static constexpr int INITIAL_WIDTH = 720;
	static constexpr int INITIAL_HEIGHT = 560;
	static constexpr int MIN_WIDTH = 480;
	static constexpr int MIN_HEIGHT = 360;
	static constexpr int MAX_WIDTH = 1400;
	static constexpr int MAX_HEIGHT = 1000;

	/** Clamps the width and height, moving right and bottom. */
	static void constrain (Steinberg::ViewRect& rect);
};

struct EditorOptions
{
	/** Called on every tick of the view's 1/30 s timer while attached. */
	std::function<void ()> tick;
	/** The run loop to use when the host's frame offers none. */
	Steinberg::Linux::IRunLoop* fallbackRunLoop = nullptr;
	/** The helper executable; empty means "zorv-editor" beside the module. */
	std::string helperPath;
	/** Extra arguments for the helper (tests). */
	std::vector<std::string> helperArguments;
	/** How long the helper may take to show the editor; 0 means 5 s. */
	int startMilliseconds = 0;
	/** Kept alive (addRef) for as long as the view lives: the object behind
	 *  the BridgeHost, so a host that releases the controller before the
	 *  view leaves the view nothing dangling. */
	Steinberg::FUnknown* owner = nullptr;
};

/** The editor for `host` showing the page bundle at `uiRoot` (this module's
 *  own when null). Null, with a standard-error line and an "editorError"
 *  for the host, when there is no page bundle. */
Steinberg::IPlugView* createWebViewEditor (BridgeHost* host, const char* uiRoot, EditorOptions options);

/** The helper executable that ships beside this module. */
std::string editorHelperPath ();

} // namespace tavik
