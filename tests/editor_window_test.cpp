// The real editor in a real X window: a plain-Xlib host loads Zorv.so,
// opens the editor view in its own window and watches the helper show the
// page, follow the window, and leave with the view. Runs under Xvfb.

#include "host_context.h"
#include "edit_forwarder.h"
#include "hosted_module.h"
#include "plugin_instance.h"
#include "temp_directory.h"
#include "x11_host.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace Steinberg;
using namespace tavik::tools;
using namespace std::chrono_literals;

namespace {

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

class EditorWindow : public ::testing::Test
{
protected:
	void SetUp () override
	{
		ASSERT_NE (std::getenv ("DISPLAY"), nullptr) << "run under Xvfb (xvfb-run)";
		tracePath = scratch.path ("editor.trace");
		::setenv ("ZORV_EDITOR_TRACE", tracePath.c_str (), 1);
		window = std::make_unique<HostWindow> (720, 560, "Zorv editor test");
		loop = std::make_unique<HostRunLoop> (*window);
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
		::unsetenv ("ZORV_EDITOR_TRACE");
		::unsetenv ("ZORV_EDITOR_KEEP_SECONDS");
		if (loop) // not when SetUp failed before the window was up
		{
			EXPECT_TRUE (loop->run (5s, [] { return editorHelpers ().empty (); }))
				<< "an editor helper outlived the module";
		}
	}

	std::string trace () const { return readTextFile (tracePath); }

	// Attaches and runs the host until the page has said it is ready and
	// the plug-in has answered with its hello.
	void attachAndWaitForPage (size_t attachment)
	{
		ASSERT_EQ (view->attached (reinterpret_cast<void*> (window->window ()), kPlatformTypeX11EmbedWindowID),
		           kResultOk);
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
		const char* artefacts = std::getenv ("ZORV_ARTEFACT_DIR");
		if (artefacts && *artefacts)
		{
			EXPECT_TRUE (writePng (std::string (artefacts) + "/" + name + ".png", shot));
		}
		return shot;
	}

	void expectHelpersGone ()
	{
		EXPECT_TRUE (loop->run (5s, [] { return editorHelpers ().empty (); })) << "the editor helper is still running";
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

	// The host grows its window and tells the view, as hosts do.
	ViewRect bigger {0, 0, 1100, 800};
	ASSERT_EQ (view->checkSizeConstraint (&bigger), kResultTrue);
	window->resize (1100, 800);
	ASSERT_EQ (view->onSize (&bigger), kResultTrue);
	const bool followed = loop->run (10s, [&] {
		for (const HostWindow::Child& child : window->children ())
			if (child.mapped && child.width == 1100 && child.height == 800)
				return true;
		return false;
	});
	EXPECT_TRUE (followed) << "the editor did not follow the window's new size";
	// The newly uncovered corner is drawn by the page, not left showing the
	// host window's black.
	const RgbImage grown = waitForDrawnPage ("webkit-editor-1100x800", 0, 0, 1100, 800);
	EXPECT_EQ (grown.countColour (720, 560, 1100, 800, 0, 0, 0), 0u);

	// Closing takes the editor out of the host's window at once; the helper
	// is kept for a quick reopen.
	ASSERT_EQ (view->removed (), kResultOk);
	EXPECT_EQ (loop->handlerCount (), 0u);
	EXPECT_EQ (loop->timerCount (), 0u);
	window->drain ();
	EXPECT_TRUE (window->children ().empty ()) << "the editor's window stayed in the host's";
	EXPECT_EQ (traceCount (trace (), " event parked"), 1u);

	// Reopened: the same helper, a fresh page load and a fresh hello.
	attachAndWaitForPage (2);
	EXPECT_EQ (editorHelpers (), helpers);
	EXPECT_EQ (traceCount (trace (), " event started"), 2u);
	waitForDrawnPage ("webkit-editor-reopened", 0, 0, 720, 560);
	ASSERT_EQ (view->removed (), kResultOk);

	// The kept helper goes with the module.
	view = nullptr;
	plugin.reset ();
	module.reset ();
	expectHelpersGone ();
}

TEST_F (EditorWindow, WithoutKeepingTheHelperLeavesWithTheView)
{
	::setenv ("ZORV_EDITOR_KEEP_SECONDS", "0", 1);
	attachAndWaitForPage (1);
	const std::vector<pid_t> first = editorHelpers ();
	ASSERT_EQ (first.size (), 1u);
	ASSERT_EQ (view->removed (), kResultOk);
	// Reaped before removed() returned, not merely on its way out.
	EXPECT_TRUE (editorHelpers ().empty ());

	attachAndWaitForPage (2);
	const std::vector<pid_t> second = editorHelpers ();
	ASSERT_EQ (second.size (), 1u);
	EXPECT_NE (second, first);
	ASSERT_EQ (view->removed (), kResultOk);
	EXPECT_TRUE (editorHelpers ().empty ());
	::unsetenv ("ZORV_EDITOR_KEEP_SECONDS");
}

TEST_F (EditorWindow, AKeptHelperIsNotKeptForever)
{
	::setenv ("ZORV_EDITOR_KEEP_SECONDS", "0.3", 1);
	attachAndWaitForPage (1);
	const std::vector<pid_t> first = editorHelpers ();
	ASSERT_EQ (view->removed (), kResultOk);
	EXPECT_EQ (editorHelpers (), first);
	loop->run (600ms, nullptr);
	// Past its time, the next editor gets a helper of its own and the old
	// one is ended.
	attachAndWaitForPage (2);
	const std::vector<pid_t> second = editorHelpers ();
	ASSERT_EQ (second.size (), 1u);
	EXPECT_NE (second, first);
	ASSERT_EQ (view->removed (), kResultOk);
	::unsetenv ("ZORV_EDITOR_KEEP_SECONDS");
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

TEST_F (EditorWindow, HelperLeavesWhenTheHostWindowGoes)
{
	attachAndWaitForPage (1);
	ASSERT_EQ (editorHelpers ().size (), 1u);
	window->destroy ();
	// The helper leaves by itself; the view notices at its next tick and
	// the host's late removed() is still safe.
	EXPECT_TRUE (loop->run (10s, [&] { return traceCount (trace (), " event parent window destroyed") == 1; }))
		<< trace ();
	EXPECT_TRUE (loop->run (5s, [] { return editorHelpers ().empty (); }));
	EXPECT_EQ (view->removed (), kResultOk);
}

TEST_F (EditorWindow, WithoutADisplayAttachFailsAndTheHostGoesOn)
{
	const std::string display = std::getenv ("DISPLAY");
	::unsetenv ("DISPLAY");
	EXPECT_EQ (view->attached (reinterpret_cast<void*> (window->window ()), kPlatformTypeX11EmbedWindowID),
	           kResultFalse);
	::setenv ("DISPLAY", display.c_str (), 1);
	EXPECT_TRUE (editorHelpers ().empty ());
	EXPECT_EQ (loop->handlerCount (), 0u);

	// A window id that is not a window: the helper refuses, attach fails.
	EXPECT_EQ (view->attached (reinterpret_cast<void*> (0x7fffff0ul), kPlatformTypeX11EmbedWindowID), kResultFalse);
	EXPECT_TRUE (editorHelpers ().empty ());
	EXPECT_EQ (loop->timerCount (), 0u);

	// And the view still opens properly afterwards.
	attachAndWaitForPage (1);
	ASSERT_EQ (view->removed (), kResultOk);
}

} // namespace
