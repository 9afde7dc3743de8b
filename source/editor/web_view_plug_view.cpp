#include "web_view_plug_view.h"

#include "editor_link.h"
#include "parked_editor.h"
#include "run_loop_client.h"
#include "ui_root.h"

#include "public.sdk/source/common/pluginview.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
constexpr int PARK_MILLISECONDS = 500;

const ViewRect INITIAL_RECT {0, 0, EditorSize::INITIAL_WIDTH, EditorSize::INITIAL_HEIGHT};

void reportEditorProblem (BridgeHost* host, const std::string& reason)
{
	std::fprintf (stderr, "tavik-plugin-shell: editor: %s\n", reason.c_str ());
	if (host)
		host->onEditorError (reason.c_str ());
}

class WebViewPlugView : public CPluginView
{
public:
	WebViewPlugView (BridgeHost* bridgeHost, std::string root, EditorOptions editorOptions)
		: CPluginView (&INITIAL_RECT), host (bridgeHost), uiRoot (std::move (root)),
		  options (std::move (editorOptions)), owner (options.owner)
	{
	}

	~WebViewPlugView () override
	{
		if (link)
			tearDown ();
	}

	tresult PLUGIN_API isPlatformTypeSupported (FIDString type) override
	{
		return type && std::strcmp (type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue : kResultFalse;
	}

	tresult PLUGIN_API attached (void* parent, FIDString type) override
	{
		if (!type || std::strcmp (type, kPlatformTypeX11EmbedWindowID) != 0 || !parent)
			return kResultFalse;
		if (link)
			tearDown ();

		FUnknownPtr<Linux::IRunLoop> frameLoop (plugFrame);
		Linux::IRunLoop* loop = frameLoop ? frameLoop.get () : options.fallbackRunLoop;
		if (!loop)
		{
			reportEditorProblem (host, "the host offers no run loop for the editor");
			return kResultFalse;
		}
		const char* display = std::getenv ("DISPLAY");
		if (!display || !*display)
		{
			reportEditorProblem (host, "no X display (DISPLAY is not set)");
			return kResultFalse;
		}
		EditorLaunch launch;
		launch.helperPath = options.helperPath.empty () ? editorHelperPath () : options.helperPath;
		if (launch.helperPath.empty () || ::access (launch.helperPath.c_str (), X_OK) != 0)
		{
			reportEditorProblem (host, "the editor helper is missing beside the plug-in (" + launch.helperPath + ")");
			return kResultFalse;
		}
		launch.uiRoot = uiRoot;
		launch.parentWindow = reinterpret_cast<unsigned long> (parent);
		launch.width = rect.getWidth ();
		launch.height = rect.getHeight ();

		// A kept helper comes back with a fresh page load; one that cannot
		// is replaced by a new one.
		std::string error;
		std::unique_ptr<EditorLink> opening = takeParkedEditor (uiRoot);
		if (!opening || !opening->reopen (host, launch, error))
		{
			opening = std::make_unique<EditorLink> (host);
			if (!opening->open (launch, error))
			{
				reportEditorProblem (host, error);
				return kResultFalse;
			}
		}
		link = std::move (opening);
		client = RunLoopClient::create ([this] { serviceSocket (); }, [this] { tick (); });
		if (!client->start (loop, link->socketFd (), TICK_MILLISECONDS))
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
	void serviceSocket ()
	{
		if (link)
			link->serviceSocket ();
	}

	void tick ()
	{
		expireParkedEditor ();
		if (!link)
			return;
		if (options.tick)
			options.tick ();
		link->tick ();
	}

	void tearDown ()
	{
		if (client)
		{
			client->cut ();
			client->release ();
			client = nullptr;
		}
		if (!link)
			return;
		// The helper is kept for a quick reopen when it can leave the host's
		// window in time; the host may destroy that window right after.
		if (editorKeepSeconds () > 0 && link->isOpen () && link->park (PARK_MILLISECONDS))
			keepParkedEditor (std::move (link), uiRoot);
		else
			link->close ();
		link.reset ();
	}

	BridgeHost* host;
	std::string uiRoot;
	EditorOptions options;
	IPtr<FUnknown> owner;
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
