#include "web_view_plug_view.h"

#include "editor_link.h"
#include "editor_notice.h"
#include "host_display.h"
#include "parked_editor.h"
#include "run_loop_client.h"
#include "ui_root.h"

#include "public.sdk/source/common/pluginview.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace tavik {

using namespace Steinberg;

void EditorSize::constrain (ViewRect& rect)
{
	const int32 width = std::clamp<int32> (rect.right - rect.left, MIN_WIDTH, MAX_WIDTH);
	const int32 height = std::clamp<int32> (rect.bottom - rect.top, MIN_HEIGHT, MAX_HEIGHT);
	rect.right = rect.left + width;
	rect.bottom = rect.top + height;
}

std::string editorHelperPath ()
{
	const std::string folder = imageDirectoryForAddress (reinterpret_cast<const void*> (&editorHelperPath));
	return folder.empty () ? std::string () : folder + "/zorv-editor";
}

namespace {

constexpr uint64 TICK_MILLISECONDS = 1000 / 30;

const ViewRect INITIAL_RECT {0, 0, EditorSize::INITIAL_WIDTH, EditorSize::INITIAL_HEIGHT};

void reportEditorProblem (BridgeHost* host, const std::string& reason)
{
	std::fprintf (stderr, "tavik-plugin-shell: editor: %s\n", reason.c_str ());
	if (host)
		host->onEditorError (reason.c_str ());
}

// The view never waits for its helper: attached() starts it (or asks the
// kept one) and returns; the host's run loop then brings the helper's
// answer, and the editor opens or the window shows why it cannot.
class WebViewPlugView : public CPluginView
{
public:
	WebViewPlugView (BridgeHost* bridgeHost, std::string root, EditorOptions editorOptions)
		: CPluginView (&INITIAL_RECT), host (bridgeHost), uiRoot (std::move (root)),
		  options (std::move (editorOptions)), owner (options.owner)
	{
	}

	~WebViewPlugView () override { tearDown (); }

	tresult PLUGIN_API isPlatformTypeSupported (FIDString type) override
	{
		return type && std::strcmp (type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue : kResultFalse;
	}

	tresult PLUGIN_API attached (void* parent, FIDString type) override
	{
		if (!type || std::strcmp (type, kPlatformTypeX11EmbedWindowID) != 0 || !parent)
			return kResultFalse;
		tearDown ();

		FUnknownPtr<Linux::IRunLoop> frameLoop (plugFrame);
		loop = frameLoop ? frameLoop.get () : options.fallbackRunLoop;
		if (!loop)
		{
			reportEditorProblem (host, "the host offers no run loop for the editor");
			return kResultFalse;
		}
		const char* displayName = std::getenv ("DISPLAY");
		if (!displayName || !*displayName)
		{
			reportEditorProblem (host, "no X display (DISPLAY is not set)");
			return kResultFalse;
		}
		launch = EditorLaunch ();
		launch.helperPath = options.helperPath.empty () ? editorHelperPath () : options.helperPath;
		if (launch.helperPath.empty () || ::access (launch.helperPath.c_str (), X_OK) != 0)
		{
			reportEditorProblem (host, "the editor helper is missing beside the plug-in (" + launch.helperPath + ")");
			return kResultFalse;
		}
		std::string error;
		display = HostDisplay::connect (error);
		if (!display)
		{
			reportEditorProblem (host, error);
			return kResultFalse;
		}
		parentWindow = reinterpret_cast<uintptr_t> (parent);
		// One quick question spares a helper start for a window that is not.
		if (parentWindow > 0xffffffffu || !display->windowExists (static_cast<uint32_t> (parentWindow)))
		{
			display.reset ();
			reportEditorProblem (host, "the host's window does not exist");
			return kResultFalse;
		}
		launch.uiRoot = uiRoot;
		launch.parentWindow = parentWindow;
		launch.width = rect.getWidth ();
		launch.height = rect.getHeight ();
		launch.extraArguments = options.helperArguments;
		if (options.startMilliseconds > 0)
			launch.startMilliseconds = options.startMilliseconds;

		// A kept helper comes back with a fresh page load; without one (or
		// when it has gone) a new one starts.
		triedNewHelper = false;
		std::unique_ptr<EditorLink> opening = takeParkedEditor (uiRoot);
		if (opening && !opening->reopen (host, launch, error))
			opening.reset ();
		if (!opening)
		{
			triedNewHelper = true;
			opening = std::make_unique<EditorLink> (host);
			if (!opening->start (launch, error))
			{
				display.reset ();
				reportEditorProblem (host, error);
				return kResultFalse;
			}
		}
		link = std::move (opening);
		if (!watchLink ())
		{
			tearDown ();
			reportEditorProblem (host, "the host's run loop refused the editor");
			return kResultFalse;
		}
		return CPluginView::attached (parent, type);
	}

	tresult PLUGIN_API removed () override
	{
		tearDown ();
		return CPluginView::removed ();
	}

	tresult PLUGIN_API onSize (ViewRect* newSize) override
	{
		if (!newSize)
			return kResultFalse;
		ViewRect clamped = *newSize;
		EditorSize::constrain (clamped);
		CPluginView::onSize (&clamped);
		if (link)
			link->resize (clamped.getWidth (), clamped.getHeight ());
		if (notice)
			notice->resize (clamped.getWidth (), clamped.getHeight ());
		return kResultTrue;
	}

	tresult PLUGIN_API canResize () override { return kResultTrue; }

	tresult PLUGIN_API checkSizeConstraint (ViewRect* candidate) override
	{
		if (!candidate)
			return kInvalidArgument;
		EditorSize::constrain (*candidate);
		return kResultTrue;
	}

private:
	bool watchLink ()
	{
		if (!client)
			client = RunLoopClient::create ([this] { serviceSocket (); }, [this] { tick (); });
		// A new helper's socket replaces the old one's registration.
		return client->start (loop, link->socketFd (), TICK_MILLISECONDS);
	}

	void serviceSocket ()
	{
		if (!link)
			return;
		link->serviceSocket ();
		checkLink ();
	}

	void tick ()
	{
		if (options.tick)
			options.tick ();
		if (!link)
			return;
		link->tick ();
		checkLink ();
	}

	// After the link has heard from its helper: a kept helper that cannot
	// show the editor is replaced by a new one, unseen; any other failure
	// is shown in the window (the link has told the controller).
	void checkLink ()
	{
		if (!link || !link->failed ())
			return;
		std::string reason = link->lastError ();
		const bool replace = link->failedReopening () && !triedNewHelper;
		link.reset ();
		if (replace)
		{
			triedNewHelper = true;
			auto fresh = std::make_unique<EditorLink> (host);
			std::string error;
			if (fresh->start (launch, error))
			{
				link = std::move (fresh);
				if (watchLink ())
					return;
				link.reset ();
				error = "the host's run loop refused the editor";
			}
			reason = error;
			if (host)
				host->onEditorError (reason.c_str ());
		}
		showFailure (reason);
	}

	void showFailure (const std::string& reason)
	{
		std::fprintf (stderr, "tavik-plugin-shell: editor: %s\n", reason.c_str ());
		// Nothing left to watch: no socket, and the controller's own clock
		// keeps time.
		cutClient ();
		if (!display)
			return;
		if (!notice)
			notice = std::make_unique<EditorNotice> (*display);
		notice->show (static_cast<uint32_t> (parentWindow), rect.getWidth (), rect.getHeight (), reason);
	}

	void cutClient ()
	{
		if (!client)
			return;
		client->cut ();
		client->release ();
		client = nullptr;
	}

	void tearDown ()
	{
		cutClient ();
		if (link)
		{
			// The helper's answer may be waiting: an editor that has just
			// opened is parked like any other.
			if (link->state () == EditorLink::State::Starting)
				link->serviceSocket ();
			// Out of the host's window before the host may destroy it; the
			// helper itself is not waited for.
			bool windowLives = true;
			if (display && link->plugWindow ())
				windowLives = display->takeOut (static_cast<uint32_t> (link->plugWindow ()),
				                                static_cast<uint32_t> (parentWindow));
			const double keep = editorKeepSeconds ();
			if (keep > 0 && windowLives && link->park (keep + HELPER_KEEP_MARGIN_SECONDS))
				keepParkedEditor (std::move (link), uiRoot);
			link.reset ();
		}
		notice.reset ();
		display.reset ();
		loop = nullptr;
	}

	BridgeHost* host;
	std::string uiRoot;
	EditorOptions options;
	IPtr<FUnknown> owner;
	Linux::IRunLoop* loop = nullptr;
	EditorLaunch launch;
	uintptr_t parentWindow = 0;
	bool triedNewHelper = false;
	std::unique_ptr<HostDisplay> display;
	std::unique_ptr<EditorNotice> notice;
	std::unique_ptr<EditorLink> link;
	RunLoopClient* client = nullptr;
};

} // namespace

IPlugView* createWebViewEditor (BridgeHost* host, const char* uiRoot, EditorOptions options)
{
	const std::string root = uiRoot ? std::string (uiRoot) : pluginUiRoot ();
	if (!host || root.empty ())
	{
		std::fputs ("tavik-plugin-shell: no UI bundle found; editor disabled\n", stderr);
		if (host)
			host->onEditorError ("no ui bundle in plugin");
		return nullptr;
	}
	return new WebViewPlugView (host, root, std::move (options));
}

} // namespace tavik
