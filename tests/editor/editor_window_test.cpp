// The real editor in a real X window: a plain-Xlib host loads Zorv.so,
// opens the editor view in its own window and watches the helper show the
// page, follow the window, and leave with the view; and the host's UI
// thread is never held up on the way. Runs under Xvfb.

#include "edit_forwarder.h"
#include "editor_link.h"
#include "helper_reaper.h"
#include "host_context.h"
#include "host_display.h"
#include "hosted_module.h"
#include "parked_editor.h"
#include "recording_bridge.h"
#include "plugin_instance.h"
#include "recording_component_handler.h"
#include "run_loop_client.h"
#include "temp_directory.h"
#include "web_view_plug_view.h"
#include "x11_host.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace Steinberg;
using namespace tavik::tools;
using namespace std::chrono_literals;

namespace {

const std::string UI_ROOT = std::string (ZORV_BUNDLE_PATH) + "/Contents/Resources/ui";
const std::string HELPER = std::string (ZORV_BUNDLE_PATH) + "/Contents/" + bundleArchitecture () + "/zorv-editor";

// How many trace lines contain `needle`.
size_t traceCount (const std::string& trace, const std::string& needle)
{
	size_t count = 0;
	for (size_t at = trace.find (needle); at != std::string::npos; at = trace.find (needle, at + 1))
		++count;
	return count;
}

std::vector<pid_t> editorHelpers ()
{
	std::vector<pid_t> helpers;
	for (pid_t pid : descendantProcesses (::getpid ()))
		if (processName (pid) == "zorv-editor")
			helpers.push_back (pid);
	return helpers;
}

// Whether this process has a child, living or a zombie (none is reaped here).
bool hasChildren ()
{
	siginfo_t info {};
	return ::waitid (P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// Waits, without serving any run loop, until `done` or `limit` passes.
bool waitIdly (std::chrono::milliseconds limit, const std::function<bool ()>& done)
{
	const auto end = std::chrono::steady_clock::now () + limit;
	while (!done ())
	{
		if (std::chrono::steady_clock::now () >= end)
			return false;
		std::this_thread::sleep_for (10ms);
	}
	return true;
}

// X errors the host's own connection receives: the plug-in's must never
// be among them.
int hostXErrors = 0;
int countXError (Display*, XErrorEvent* error)
{
	++hostXErrors;
	std::cerr << "X error " << int (error->error_code) << " on request " << int (error->request_code) << " for 0x"
			  << std::hex << error->resourceid << std::dec << "\n";
	return 0;
}

using tavik::test::RecordingBridge;

class EditorWindow : public ::testing::Test
{
protected:
	void SetUp () override
	{
		ASSERT_NE (std::getenv ("DISPLAY"), nullptr) << "run under Xvfb (xvfb-run)";
		tracePath = scratch.path ("editor.trace");
		::setenv ("ZORV_EDITOR_TRACE", tracePath.c_str (), 1);
		hostXErrors = 0;
		XSetErrorHandler (&countXError);
		openWindow (720, 560);
		module = std::make_unique<HostedModule> (ZORV_BUNDLE_PATH);
		plugin =
			std::make_unique<PluginInstance> (module->factory (), firstAudioProcessorClass (module->factory ()), &host);
		view = owned (plugin->controller ()->createView ("editor"));
		ASSERT_TRUE (view);
		ASSERT_EQ (view->setFrame (loop.get ()), kResultTrue);
	}

	void TearDown () override
	{
		if (view)
		{
			view->setFrame (nullptr);
			view = nullptr;
		}
		plugin.reset ();
		module.reset ();
		// The editor library these tests also use directly ends its helpers
		// the same way the module does at its exit.
		tavik::releaseParkedEditor ();
		tavik::HelperReaper::instance ().shutdown ();
		::unsetenv ("ZORV_EDITOR_TRACE");
		::unsetenv ("ZORV_EDITOR_KEEP_SECONDS");
		if (loop) // not when SetUp failed before the window was up
		{
			// Right away, without serving anything: the module's exit has
			// ended and reaped every helper.
			EXPECT_TRUE (editorHelpers ().empty ()) << "an editor helper outlived the module";
			EXPECT_FALSE (hasChildren ()) << "a helper (or its zombie) outlived the module";
			window->drain ();
			EXPECT_EQ (hostXErrors, 0) << "the host's X connection received errors";
		}
		XSetErrorHandler (nullptr);
	}

	void openWindow (int width, int height)
	{
		window = std::make_unique<HostWindow> (width, height, "Zorv editor test");
		loop = std::make_unique<HostRunLoop> (*window);
	}

	std::string trace () const { return readTextFile (tracePath); }

	void* parent () const { return reinterpret_cast<void*> (window->window ()); }

	// Attaches and runs the host until the page has said it is ready and
	// the plug-in has answered with its hello.
	void attachAndWaitForPage (size_t attachment)
	{
		ASSERT_EQ (view->attached (parent (), kPlatformTypeX11EmbedWindowID), kResultOk);
		waitForPage (attachment);
	}

	void waitForPage (size_t attachment)
	{
		const bool ready = loop->run (30s, [&] {
			const std::string t = trace ();
			return traceCount (t, " page {\"type\":\"tavik.ready\"}") >= attachment &&
			       traceCount (t, " in {\"type\":\"tavik.hello\"") >= attachment;
		});
		ASSERT_TRUE (ready) << "the page never became ready; trace:\n" << trace ();
	}

	// Runs until the window shows more than a blank page (the page draws
	// its knobs and picture after the hello), then keeps the screenshot.
	RgbImage waitForDrawnPage (const std::string& name, int left, int top, int right, int bottom)
	{
		RgbImage shot;
		loop->run (15s, [&] {
			shot = window->capture ();
			return shot.distinctColours (left, top, right, bottom) > 200;
		});
		// Let late layout settle before keeping the picture.
		loop->run (300ms, nullptr);
		shot = window->capture ();
		keep (name, shot);
		return shot;
	}

	static void keep (const std::string& name, const RgbImage& shot)
	{
		const char* artefacts = std::getenv ("ZORV_ARTEFACT_DIR");
		if (artefacts && *artefacts)
		{
			EXPECT_TRUE (writePng (std::string (artefacts) + "/" + name + ".png", shot));
		}
	}

	// The host resizes its window and tells the view, as hosts do.
	void resizeTo (int width, int height)
	{
		ViewRect size {0, 0, width, height};
		ASSERT_EQ (view->checkSizeConstraint (&size), kResultTrue);
		window->resize (size.getWidth (), size.getHeight ());
		ASSERT_EQ (view->onSize (&size), kResultTrue);
		const bool followed = loop->run (10s, [&] { return hasChildOfSize (width, height); });
		EXPECT_TRUE (followed) << "the editor did not follow the window to " << width << "x" << height;
	}

	bool hasChildOfSize (int width, int height) const
	{
		for (const HostWindow::Child& child : window->children ())
			if (child.mapped && child.width == width && child.height == height)
				return true;
		return false;
	}

	// An editor straight from the editor library, with a stand-in helper
	// behaving as `mode` says.
	IPtr<IPlugView> standInView (RecordingBridge& bridge, const char* mode, int startMilliseconds = 0)
	{
		tavik::EditorOptions options;
		options.helperPath = FAKE_EDITOR_HELPER;
		options.helperArguments = {"--mode", mode};
		options.startMilliseconds = startMilliseconds;
		IPtr<IPlugView> made = owned (tavik::createWebViewEditor (&bridge, UI_ROOT.c_str (), options));
		if (made)
			made->setFrame (loop.get ());
		return made;
	}

	tavik::test::TempDirectory scratch;
	std::string tracePath;
	ToolHostApplication host {"Zorv editor test"};
	std::unique_ptr<HostWindow> window;
	std::unique_ptr<HostRunLoop> loop;
	std::unique_ptr<HostedModule> module;
	std::unique_ptr<PluginInstance> plugin;
	IPtr<IPlugView> view;
};

TEST_F (EditorWindow, ShowsThePageFollowsTheWindowAndComesBackFresh)
{
	attachAndWaitForPage (1);
	const std::vector<pid_t> helpers = editorHelpers ();
	ASSERT_EQ (helpers.size (), 1u);
	EXPECT_EQ (loop->handlerCount (), 1u);
	EXPECT_EQ (loop->timerCount (), 1u);

	const RgbImage first = waitForDrawnPage ("webkit-editor-720x560", 0, 0, 720, 560);
	EXPECT_GT (first.distinctColours (), 200u) << "the window looks blank";

	resizeTo (1100, 800);
	// The newly uncovered corner is drawn by the page, not left showing the
	// host window's black.
	const RgbImage grown = waitForDrawnPage ("webkit-editor-1100x800", 0, 0, 1100, 800);
	EXPECT_EQ (grown.countColour (720, 560, 1100, 800, 0, 0, 0), 0u);

	// The smallest and the largest size the view takes.
	resizeTo (480, 360);
	const RgbImage smallest = waitForDrawnPage ("webkit-editor-480x360", 0, 0, 480, 360);
	EXPECT_EQ (smallest.countColour (0, 0, 480, 360, 0, 0, 0), 0u);
	resizeTo (1400, 1000);
	const RgbImage largest = waitForDrawnPage ("webkit-editor-1400x1000", 0, 0, 1400, 1000);
	EXPECT_EQ (largest.countColour (0, 0, 1400, 1000, 0, 0, 0), 0u);
	resizeTo (720, 560);

	// Closing takes the editor out of the host's window before removed()
	// returns; the helper is kept for a quick reopen.
	ASSERT_EQ (view->removed (), kResultOk);
	EXPECT_EQ (loop->handlerCount (), 0u);
	EXPECT_EQ (loop->timerCount (), 0u);
	EXPECT_TRUE (window->children ().empty ()) << "the editor's window stayed in the host's";
	EXPECT_TRUE (loop->run (5s, [&] { return traceCount (trace (), " event parked") == 1; }));
	EXPECT_EQ (editorHelpers (), helpers);

	// Reopened: the same helper, a fresh page load and a fresh hello.
	attachAndWaitForPage (2);
	EXPECT_EQ (editorHelpers (), helpers);
	EXPECT_EQ (traceCount (trace (), " event started"), 2u);
	waitForDrawnPage ("webkit-editor-reopened", 0, 0, 720, 560);
	ASSERT_EQ (view->removed (), kResultOk);
	// TearDown: the kept helper goes with the module.
}

TEST_F (EditorWindow, WithoutKeepingTheHelperLeavesWithTheView)
{
	::setenv ("ZORV_EDITOR_KEEP_SECONDS", "0", 1);
	attachAndWaitForPage (1);
	const std::vector<pid_t> first = editorHelpers ();
	ASSERT_EQ (first.size (), 1u);
	ASSERT_EQ (view->removed (), kResultOk);
	EXPECT_TRUE (window->children ().empty ()) << "the editor's window stayed in the host's";
	// Not waited for by removed(), but gone soon after, with nothing ticking.
	EXPECT_TRUE (waitIdly (3s, [] { return editorHelpers ().empty (); }));

	attachAndWaitForPage (2);
	const std::vector<pid_t> second = editorHelpers ();
	ASSERT_EQ (second.size (), 1u);
	EXPECT_NE (second, first);
	ASSERT_EQ (view->removed (), kResultOk);
	EXPECT_TRUE (waitIdly (3s, [] { return editorHelpers ().empty (); }));
}

TEST_F (EditorWindow, AKeptHelperEndsAtItsTimeWithNothingTicking)
{
	::setenv ("ZORV_EDITOR_KEEP_SECONDS", "0.3", 1);
	attachAndWaitForPage (1);
	const std::vector<pid_t> first = editorHelpers ();
	ASSERT_EQ (view->removed (), kResultOk);
	EXPECT_EQ (editorHelpers (), first);
	// No run loop turns, no clock ticks, the view stays: the keeper's own
	// timer ends the helper (0.3 s, then up to 0.5 s to leave).
	EXPECT_TRUE (waitIdly (3s, [] { return editorHelpers ().empty (); })) << "the kept helper outlived its time";

	// The next editor gets a helper of its own.
	attachAndWaitForPage (2);
	const std::vector<pid_t> second = editorHelpers ();
	ASSERT_EQ (second.size (), 1u);
	EXPECT_NE (second, first);
	ASSERT_EQ (view->removed (), kResultOk);
}

TEST_F (EditorWindow, AParkedHelperLeavesByItselfWhenNobodyEndsIt)
{
	// The helper times itself too: parked and then forgotten (the plug-in's
	// process could be stuck), it leaves after the time the park line gave.
	RecordingBridge bridge;
	tavik::EditorLink link (&bridge);
	tavik::EditorLaunch launch;
	launch.helperPath = HELPER;
	launch.uiRoot = UI_ROOT;
	launch.parentWindow = window->window ();
	launch.width = 720;
	launch.height = 560;
	std::string error;
	ASSERT_TRUE (link.start (launch, error)) << error;
	// Served by the host's loop as the view serves it.
	tavik::RunLoopClient* client = tavik::RunLoopClient::create ([&] { link.serviceSocket (); }, [&] { link.tick (); });
	ASSERT_TRUE (client->start (loop.get (), link.socketFd (), 33));
	ASSERT_TRUE (loop->run (
		30s, [&] { return traceCount (trace (), " page {\"type\":\"tavik.ready\"}") >= 1 || link.failed (); }));
	client->cut ();
	client->release ();
	ASSERT_TRUE (link.isOpen ()) << link.lastError ();
	ASSERT_NE (link.plugWindow (), 0ul);
	const std::vector<pid_t> helpers = editorHelpers ();
	ASSERT_EQ (helpers.size (), 1u);

	std::unique_ptr<tavik::HostDisplay> display = tavik::HostDisplay::connect (error);
	ASSERT_TRUE (display) << error;
	ASSERT_TRUE (
		display->takeOut (static_cast<uint32_t> (link.plugWindow ()), static_cast<uint32_t> (window->window ())));
	EXPECT_TRUE (window->children ().empty ());
	ASSERT_TRUE (link.park (0.5));
	bool ended = false;
	EXPECT_TRUE (waitIdly (5s, [&] {
		siginfo_t info {};
		return (ended = ::waitid (P_PID, static_cast<id_t> (helpers[0]), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
		                info.si_pid != 0);
	})) << "the parked helper stayed";
	EXPECT_EQ (traceCount (trace (), " event kept too long; leaving"), 1u);
	link.close ();
}

TEST_F (EditorWindow, PageFollowsHostChangesAndReachesTheController)
{
	attachAndWaitForPage (1);
	// A host automation change reaches the page as paramChanged.
	ASSERT_EQ (plugin->controller ()->setParamNormalized (1, 0.75), kResultOk);
	EXPECT_TRUE (loop->run (
		5s, [&] { return traceCount (trace (), " in {\"type\":\"tavik.paramChanged\",\"path\":\"ir.size\"") >= 1; }));
	ASSERT_EQ (view->removed (), kResultOk);
}

TEST_F (EditorWindow, APlayersDragInTheWindowEditsTheParameter)
{
	// The host's record of the controller's edits, as a DAW keeps for
	// automation and undo.
	tavik::tools::EditForwarder edits;
	std::vector<std::pair<std::string, Vst::ParamID>> seen;
	edits.observe ([&] (const char* kind, Vst::ParamID id, double) { seen.emplace_back (kind, id); });
	ASSERT_EQ (plugin->controller ()->setComponentHandler (&edits), kResultTrue);
	const double before = plugin->controller ()->getParamNormalized (1);

	attachAndWaitForPage (1);
	waitForDrawnPage ("webkit-editor-before-drag", 0, 0, 720, 560);
	// The Size knob's place in the 720 × 560 layout; dragging up turns it up.
	ASSERT_TRUE (window->drag (62, 495, 62, 435)) << "no XTest extension on this display";
	EXPECT_TRUE (loop->run (5s, [&] { return !seen.empty () && seen.back ().first == "end"; }))
		<< "the drag reached no control; trace:\n"
		<< trace ();
	ASSERT_FALSE (seen.empty ());
	EXPECT_EQ (seen.front (), std::make_pair (std::string ("begin"), Vst::ParamID (1)));
	EXPECT_EQ (seen.back (), std::make_pair (std::string ("end"), Vst::ParamID (1)));
	EXPECT_GT (std::count (seen.begin (), seen.end (), std::make_pair (std::string ("perform"), Vst::ParamID (1))), 0);
	EXPECT_GT (plugin->controller ()->getParamNormalized (1), before);
	ASSERT_EQ (view->removed (), kResultOk);
	plugin->controller ()->setComponentHandler (nullptr);
}

// A preset chosen from the host's menu while the editor is open, the host
// holding its lock across the program change as Ardour 7.3 does and taking
// it again in restartComponent: nothing hangs, every value reaches the host
// inside the call, the request to re-read them comes on a later turn of the
// host's run loop, and the page shows the preset's name.
TEST_F (EditorWindow, APresetFromTheHostsMenuWhileItHoldsItsLockNeverHangs)
{
	tavik::test::LockingHandler handler;
	ASSERT_EQ (plugin->controller ()->setComponentHandler (&handler), kResultTrue);
	attachAndWaitForPage (1);
	constexpr Vst::ParamID PROGRAM_CHANGE = 0x3F010001;
	bool chosen = false;
	loop->callSoon ([&] {
		handler.whileLocked ([&] { plugin->controller ()->setParamNormalized (PROGRAM_CHANGE, 6.0 / 9); });
		chosen = true;
	});
	const bool reread = loop->run (10s, [&] {
		return chosen && std::count (handler.restarts.begin (), handler.restarts.end (), Vst::kParamValuesChanged) > 0;
	});
	EXPECT_TRUE (reread) << "the host was never asked to re-read the preset's values";
	EXPECT_EQ (handler.blocked, 0) << "the controller called back into the host from inside its call";
	EXPECT_EQ (handler.performed.size (), 26u);
	EXPECT_TRUE (loop->run (5s, [&] { return traceCount (trace (), "\"currentName\":\"Great Tam\"") >= 1; }))
		<< "the page was not told the preset; trace:\n"
		<< trace ();
	ASSERT_EQ (view->removed (), kResultOk);
	plugin->controller ()->setComponentHandler (nullptr);
}

TEST_F (EditorWindow, HelperLeavesWhenTheHostWindowGoes)
{
	attachAndWaitForPage (1);
	ASSERT_EQ (editorHelpers ().size (), 1u);
	window->destroy ();
	// The helper leaves by itself; the view notices at its next tick (its
	// notice has no window to go into: the X errors stay the plug-in's),
	// and the host's late removed() is still safe.
	EXPECT_TRUE (loop->run (10s, [&] { return traceCount (trace (), " event parent window destroyed") == 1; }))
		<< trace ();
	EXPECT_TRUE (loop->run (5s, [] { return editorHelpers ().empty (); }));
	EXPECT_TRUE (loop->run (1s, [&] { return loop->handlerCount () == 0; })) << "the view kept watching a dead helper";
	ViewRect size {0, 0, 800, 600};
	EXPECT_EQ (view->onSize (&size), kResultTrue);
	EXPECT_EQ (view->removed (), kResultOk);
}

TEST_F (EditorWindow, TheHostMayDestroyItsWindowRightAfterRemoved)
{
	attachAndWaitForPage (1);
	const std::vector<pid_t> helpers = editorHelpers ();
	ASSERT_EQ (helpers.size (), 1u);
	// As hosts do when the editor is closed: removed(), then the window
	// goes at once, within the same turn of the host's loop.
	loop->callSoon ([&] {
		EXPECT_EQ (view->removed (), kResultOk);
		window->destroy ();
	});
	loop->run (1500ms, nullptr);
	// The kept helper was out of that window: it stays, and shows the next
	// editor in a new window.
	EXPECT_EQ (editorHelpers (), helpers);
	EXPECT_EQ (traceCount (trace (), " event parent window destroyed\n"), 0u) << trace ();
	view->setFrame (nullptr);
	openWindow (720, 560);
	ASSERT_EQ (view->setFrame (loop.get ()), kResultTrue);
	attachAndWaitForPage (2);
	EXPECT_EQ (editorHelpers (), helpers);
	waitForDrawnPage ("webkit-editor-new-window", 0, 0, 720, 560);
	ASSERT_EQ (view->removed (), kResultOk);
}

TEST_F (EditorWindow, AKeptHelperThatFailsToReopenIsReplacedUnseen)
{
	attachAndWaitForPage (1);
	ASSERT_EQ (view->removed (), kResultOk);
	const std::vector<pid_t> kept = editorHelpers ();
	ASSERT_EQ (kept.size (), 1u);
	// It is alive when the next editor asks for it, and dies before it
	// shows anything.
	ASSERT_EQ (::kill (kept[0], SIGSTOP), 0);
	ASSERT_EQ (view->attached (parent (), kPlatformTypeX11EmbedWindowID), kResultOk);
	ASSERT_EQ (::kill (kept[0], SIGKILL), 0);
	// A new helper shows the editor instead.
	waitForPage (2);
	const std::vector<pid_t> now = editorHelpers ();
	ASSERT_EQ (now.size (), 1u);
	EXPECT_NE (now, kept);
	EXPECT_EQ (loop->handlerCount (), 1u);
	waitForDrawnPage ("webkit-editor-replaced", 0, 0, 720, 560);
	ASSERT_EQ (view->removed (), kResultOk);
}

TEST_F (EditorWindow, RemovingTheViewBeforeTheHelperHasStarted)
{
	// A new helper: told to go before it showed anything.
	ASSERT_EQ (view->attached (parent (), kPlatformTypeX11EmbedWindowID), kResultOk);
	ASSERT_EQ (view->removed (), kResultOk);
	EXPECT_EQ (loop->handlerCount (), 0u);
	EXPECT_TRUE (waitIdly (5s, [] { return editorHelpers ().empty (); })) << "the helper stayed";
	window->drain ();
	EXPECT_TRUE (window->children ().empty ()) << "the helper showed itself after all";

	// A kept helper asked to show again, then the view goes at once.
	attachAndWaitForPage (1);
	ASSERT_EQ (view->removed (), kResultOk);
	ASSERT_EQ (editorHelpers ().size (), 1u);
	ASSERT_EQ (view->attached (parent (), kPlatformTypeX11EmbedWindowID), kResultOk);
	ASSERT_EQ (view->removed (), kResultOk);
	loop->run (1s, nullptr);
	EXPECT_TRUE (window->children ().empty ()) << "the kept helper's window came back into the host's";

	// And a proper open afterwards works.
	attachAndWaitForPage (traceCount (trace (), " page {\"type\":\"tavik.ready\"}") + 1);
	ASSERT_EQ (view->removed (), kResultOk);
}

TEST_F (EditorWindow, WithoutADisplayOrAWindowAttachFailsAndTheHostGoesOn)
{
	const std::string display = std::getenv ("DISPLAY");
	::unsetenv ("DISPLAY");
	EXPECT_EQ (view->attached (parent (), kPlatformTypeX11EmbedWindowID), kResultFalse);
	::setenv ("DISPLAY", display.c_str (), 1);
	EXPECT_TRUE (editorHelpers ().empty ());
	EXPECT_EQ (loop->handlerCount (), 0u);

	// A window id that is not a window: refused at once, no helper started.
	EXPECT_EQ (view->attached (reinterpret_cast<void*> (0x7fffff0ul), kPlatformTypeX11EmbedWindowID), kResultFalse);
	EXPECT_TRUE (editorHelpers ().empty ());
	EXPECT_EQ (loop->timerCount (), 0u);

	// And the view still opens properly afterwards.
	attachAndWaitForPage (1);
	ASSERT_EQ (view->removed (), kResultOk);
}

TEST_F (EditorWindow, AHelperThatFailsAfterAttachShowsWhyInTheWindow)
{
	struct Case
	{
		const char* mode;
		const char* reason;
	};
	for (const Case& c : {Case {"refuse", "the stand-in helper refuses to show the editor"},
	                      Case {"exit", "the editor helper ended before showing the editor (exit status 3)"},
	                      Case {"silent", "the editor helper did not show the editor in time"}})
	{
		SCOPED_TRACE (c.mode);
		RecordingBridge bridge;
		IPtr<IPlugView> failing = standInView (bridge, c.mode, 800);
		ASSERT_TRUE (failing);
		// attached() does not wait to see how the helper fares.
		ASSERT_EQ (failing->attached (parent (), kPlatformTypeX11EmbedWindowID), kResultOk);
		EXPECT_TRUE (bridge.events.empty ());
		ASSERT_TRUE (loop->run (5s, [&] { return bridge.heardError (); }));
		EXPECT_EQ (bridge.events, (std::vector<std::string> {std::string ("error: ") + c.reason}));
		EXPECT_EQ (loop->handlerCount (), 0u);

		// The window says why, drawn by the plug-in: its near-black with a
		// line of text in two colours.
		ASSERT_TRUE (loop->run (2s, [&] { return hasChildOfSize (720, 560); }));
		const RgbImage shot = window->capture ();
		keep (std::string ("editor-notice-") + c.mode, shot);
		EXPECT_GT (shot.countColour (0, 0, 720, 560, 0x0d, 0x0b, 0x09), 720u * 560u * 9 / 10);
		EXPECT_GT (shot.countColour (0, 0, 720, 560, 0xef, 0xe7, 0xd7), 200u) << "no reason to read";
		EXPECT_GT (shot.countColour (0, 0, 720, 560, 0xe4, 0xbd, 0x6e), 100u) << "no 'Zorv editor:'";
		EXPECT_EQ (shot.countColour (0, 0, 720, 200, 0xef, 0xe7, 0xd7) +
		               shot.countColour (0, 360, 720, 560, 0xef, 0xe7, 0xd7),
		           0u)
			<< "the text is not in the middle";

		// It follows the view's size.
		ViewRect smaller {0, 0, 480, 360};
		window->resize (480, 360);
		EXPECT_EQ (failing->onSize (&smaller), kResultTrue);
		EXPECT_TRUE (loop->run (2s, [&] { return hasChildOfSize (480, 360); }));
		if (std::string (c.mode) == "refuse")
			keep ("editor-notice-480x360", window->capture ());
		window->resize (720, 560);

		// Closing takes it away.
		EXPECT_EQ (failing->removed (), kResultOk);
		EXPECT_TRUE (loop->run (2s, [&] { return window->children ().empty (); }));
		failing->setFrame (nullptr);
	}
}

TEST_F (EditorWindow, TheHostsUiThreadIsNeverHeldUp)
{
	// A 10 ms timer of the host's own keeps firing while the editor opens
	// and closes; the longest gap between its fires is how long the
	// editor held the host's UI thread (plus the timer's own 10 ms).
	loop->measureGaps (10ms);
	const auto gapDuring = [&] (const char* what, const std::function<void ()>& call,
	                            const std::function<bool ()>& until, std::chrono::milliseconds settle) {
		loop->resetGaps ();
		loop->callSoon (call);
		EXPECT_TRUE (loop->run (30s, until)) << what;
		loop->run (settle, nullptr);
		const auto gap = loop->longestGap ();
		std::cout << "longest UI-thread gap, " << what << ": " << gap.count () / 1000.0 << " ms over "
				  << loop->gapFires () << " fires; slowest dispatch " << loop->slowestDispatch ().what << " "
				  << loop->slowestDispatch ().time.count () / 1000.0 << " ms\n";
		EXPECT_LT (gap, 200ms) << what;
		EXPECT_GT (loop->gapFires (), 10u);
	};
	const auto ready = [&] (size_t count) {
		return [this, count] { return traceCount (trace (), " page {\"type\":\"tavik.ready\"}") >= count; };
	};
	const auto attach = [&] { EXPECT_EQ (view->attached (parent (), kPlatformTypeX11EmbedWindowID), kResultOk); };
	const auto remove = [&] { EXPECT_EQ (view->removed (), kResultOk); };
	const auto nothing = [] { return true; };

	gapDuring ("open (new helper)", attach, ready (1), 1s);
	gapDuring ("close", remove, nothing, 500ms);
	gapDuring ("open (kept helper)", attach, ready (2), 1s);
	gapDuring ("close", remove, nothing, 500ms);

	RecordingBridge bridge;
	IPtr<IPlugView> failing = standInView (bridge, "refuse");
	ASSERT_TRUE (failing);
	gapDuring (
		"open (failing helper)",
		[&] { EXPECT_EQ (failing->attached (parent (), kPlatformTypeX11EmbedWindowID), kResultOk); },
		[&] { return bridge.heardError (); }, 500ms);
	gapDuring (
		"close (failed)", [&] { EXPECT_EQ (failing->removed (), kResultOk); }, nothing, 300ms);
	failing->setFrame (nullptr);
}

} // namespace
