// The plug-in's side of an open editor against a stand-in helper: the
// start-up handshake, what crosses the socket, and that no helper outlives
// the editor, however it ends.

#include "editor_link.h"
#include "editor_notice.h"
#include "helper_reaper.h"
#include "parked_editor.h"
#include "recording_bridge.h"
#include "scoped_variable.h"
#include "web_view_plug_view.h"

#include "base/source/fobject.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tavik;

namespace {

using tavik::test::RecordingBridge;

// Whether this process has a child, living or not, without reaping it
// (the reaper must be the one that does).
bool hasChildren ()
{
	siginfo_t info {};
	return ::waitid (P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// Whether a child has ended and waits to be reaped (it is not reaped here).
bool aChildHasEnded ()
{
	siginfo_t info {};
	return ::waitid (P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

class EditorLinkTest : public ::testing::Test
{
protected:
	void TearDown () override
	{
		EXPECT_TRUE (HelperReaper::instance ().waitUntilIdle (std::chrono::seconds (3)));
		EXPECT_FALSE (hasChildren ()) << "a helper was left behind";
	}

	EditorLaunch launch (const char* mode) const
	{
		EditorLaunch l;
		l.helperPath = FAKE_EDITOR_HELPER;
		l.uiRoot = "/nowhere/ui";
		l.parentWindow = 0x1234;
		l.width = 720;
		l.height = 560;
		l.startMilliseconds = 2000;
		l.extraArguments = {"--mode", mode};
		return l;
	}

	// Runs the link as the host's run loop would, until `done` or 3 s.
	static bool serve (EditorLink& link, const std::function<bool ()>& done)
	{
		for (int i = 0; i < 600 && !done (); ++i)
		{
			::usleep (5000);
			link.serviceSocket ();
			link.tick ();
		}
		return done ();
	}

	bool receiveUntil (EditorLink& link, size_t count)
	{
		return serve (link, [&] { return bridge.received.size () >= count; });
	}

	bool startAndOpen (EditorLink& link, const char* mode)
	{
		std::string error;
		if (!link.start (launch (mode), error))
			return false;
		return serve (link, [&] { return link.isOpen () || link.failed (); }) && link.isOpen ();
	}

	RecordingBridge bridge;
};

TEST_F (EditorLinkTest, RelaysBothWaysOnceTheHelperHasStarted)
{
	EditorLink link (&bridge);
	std::string error;
	ASSERT_TRUE (link.start (launch ("echo"), error)) << error;
	// Started, not waited for: the controller hears of the editor once the
	// helper says its window is there.
	EXPECT_EQ (link.state (), EditorLink::State::Starting);
	EXPECT_TRUE (bridge.events.empty ());
	EXPECT_FALSE (bridge.sink);
	ASSERT_TRUE (serve (link, [&] { return link.isOpen (); }));
	EXPECT_EQ (bridge.events, (std::vector<std::string> {"opened"}));
	EXPECT_EQ (link.plugWindow (), 4242ul);
	ASSERT_TRUE (bridge.sink);

	// The helper has its socket and the standard three, nothing of ours.
	ASSERT_TRUE (receiveUntil (link, 1));
	EXPECT_EQ (bridge.received[0], "{\"type\":\"fake.fds\",\"open\":[0,1,2,3]}");

	bridge.sink ("{\"type\":\"tavik.paramChanged\",\"path\":\"ir.size\"}");
	ASSERT_TRUE (receiveUntil (link, 2));
	EXPECT_EQ (bridge.received[1], "{\"type\":\"tavik.paramChanged\",\"path\":\"ir.size\"}");

	// Size lines are for the helper; echoed back, they are not page messages.
	link.resize (1000, 700);
	bridge.sink ("{\"type\":\"after\"}");
	ASSERT_TRUE (receiveUntil (link, 3));
	EXPECT_EQ (bridge.received[2], "{\"type\":\"after\"}");

	link.close ();
	EXPECT_FALSE (link.isOpen ());
	EXPECT_EQ (bridge.events, (std::vector<std::string> {"opened", "closed"}));
	EXPECT_FALSE (bridge.sink);
	link.close (); // twice is harmless
	EXPECT_EQ (bridge.events.size (), 2u);
}

TEST_F (EditorLinkTest, AHelperThatCannotShowTheEditorFailsTheStart)
{
	struct Case
	{
		const char* mode;
		const char* expected;
	};
	const HelperReaper::Counts before = HelperReaper::instance ().counts ();
	for (const Case& c :
	     {Case {"refuse", "the stand-in helper refuses"}, Case {"exit", "exit status 3"},
	      Case {"silent", "did not show the editor in time"}, Case {"deaf", "did not show the editor in time"}})
	{
		SCOPED_TRACE (c.mode);
		RecordingBridge controller;
		EditorLink link (&controller);
		EditorLaunch l = launch (c.mode);
		l.startMilliseconds = 300;
		std::string error;
		ASSERT_TRUE (link.start (l, error)) << error;
		ASSERT_TRUE (serve (link, [&] { return link.failed (); }));
		EXPECT_NE (link.lastError ().find (c.expected), std::string::npos) << link.lastError ();
		EXPECT_FALSE (link.failedReopening ());
		EXPECT_EQ (link.socketFd (), -1);
		// The controller heard why, and never of an open editor.
		EXPECT_EQ (controller.events, (std::vector<std::string> {"error: " + link.lastError ()}));
		EXPECT_FALSE (controller.sink);
	}
	// The hanging helper was asked to go; the one that ignores that, made to.
	ASSERT_TRUE (HelperReaper::instance ().waitUntilIdle (std::chrono::seconds (3)));
	const HelperReaper::Counts after = HelperReaper::instance ().counts ();
	EXPECT_EQ (after.terminated - before.terminated, 2u);
	EXPECT_EQ (after.killed - before.killed, 1u);
}

TEST_F (EditorLinkTest, AMissingHelperIsReportedNotThrown)
{
	EditorLink link (&bridge);
	EditorLaunch l = launch ("echo");
	l.helperPath = "/nowhere/zorv-editor";
	std::string error;
	EXPECT_FALSE (link.start (l, error));
	EXPECT_NE (error.find ("/nowhere/zorv-editor"), std::string::npos) << error;
	EXPECT_EQ (link.state (), EditorLink::State::Closed);
}

TEST_F (EditorLinkTest, AHelperThatDiesIsNoticedAndReaped)
{
	EditorLink link (&bridge);
	ASSERT_TRUE (startAndOpen (link, "crash"));
	ASSERT_TRUE (receiveUntil (link, 1));
	bridge.sink ("crash");
	EXPECT_TRUE (serve (link, [&] { return link.failed (); }));
	ASSERT_EQ (bridge.events.size (), 3u);
	EXPECT_EQ (bridge.events[0], "opened");
	EXPECT_EQ (bridge.events[1], "error: the editor helper ended (killed by signal 6)");
	EXPECT_EQ (bridge.events[2], "closed");
	EXPECT_FALSE (bridge.sink);
	EXPECT_EQ (link.socketFd (), -1);
}

TEST_F (EditorLinkTest, ClosingNeverWaitsForTheHelper)
{
	const HelperReaper::Counts before = HelperReaper::instance ().counts ();
	{
		EditorLink link (&bridge);
		ASSERT_TRUE (startAndOpen (link, "stubborn"));
		// It hears neither the socket closing nor SIGTERM: close() returns at
		// once, and the reaper kills and reaps it.
		link.close ();
		EXPECT_EQ (link.state (), EditorLink::State::Closed);
		EXPECT_TRUE (hasChildren ());
	}
	ASSERT_TRUE (HelperReaper::instance ().waitUntilIdle (std::chrono::seconds (3)));
	EXPECT_FALSE (hasChildren ());
	EXPECT_EQ (HelperReaper::instance ().counts ().killed - before.killed, 1u);
}

TEST_F (EditorLinkTest, AHostThatReapsEveryChildItselfIsNoTrouble)
{
	// SIGCHLD ignored: the kernel reaps children as they end, and nobody
	// else may wait for them. The reaper must neither hang nor signal a
	// stranger that got the pid.
	struct sigaction ignore
	{
	};
	struct sigaction previous
	{
	};
	ignore.sa_handler = SIG_IGN;
	sigemptyset (&ignore.sa_mask);
	ASSERT_EQ (::sigaction (SIGCHLD, &ignore, &previous), 0);
	for (const char* mode : {"echo", "stubborn", "crash"})
	{
		SCOPED_TRACE (mode);
		RecordingBridge controller;
		EditorLink link (&controller);
		std::string error;
		ASSERT_TRUE (link.start (launch (mode), error)) << error;
		ASSERT_TRUE (serve (link, [&] { return link.isOpen (); }));
		if (std::string (mode) == "crash")
		{
			controller.sink ("crash");
			EXPECT_TRUE (serve (link, [&] { return link.failed (); }));
			EXPECT_EQ (controller.events.back (), "closed");
		}
		link.close ();
	}
	EXPECT_TRUE (HelperReaper::instance ().waitUntilIdle (std::chrono::seconds (3)));
	::sigaction (SIGCHLD, &previous, nullptr);
}

TEST_F (EditorLinkTest, AParkedHelperServesTheNextEditor)
{
	EditorLink link (&bridge);
	ASSERT_TRUE (startAndOpen (link, "echo"));
	ASSERT_TRUE (receiveUntil (link, 1));
	// Parking does not wait for the helper's answer.
	ASSERT_TRUE (link.park (32));
	EXPECT_TRUE (link.isParked ());
	EXPECT_FALSE (link.isOpen ());
	// The first controller is done with it.
	EXPECT_EQ (bridge.events, (std::vector<std::string> {"opened", "closed"}));
	EXPECT_FALSE (bridge.sink);

	RecordingBridge next;
	std::string error;
	ASSERT_TRUE (link.reopen (&next, launch ("echo"), error)) << error;
	EXPECT_EQ (link.state (), EditorLink::State::Starting);
	EXPECT_TRUE (serve (link, [&] { return link.isOpen (); }));
	EXPECT_EQ (next.events, (std::vector<std::string> {"opened"}));
	ASSERT_TRUE (next.sink);
	next.sink ("{\"type\":\"to the second\"}");
	EXPECT_TRUE (serve (link, [&] { return !next.received.empty (); }));
	ASSERT_EQ (next.received.size (), 1u);
	EXPECT_EQ (next.received[0], "{\"type\":\"to the second\"}");
	EXPECT_EQ (bridge.received.size (), 1u) << "the first controller heard the second's editor";
	link.close ();
}

TEST_F (EditorLinkTest, AKeptHelperThatHasGoneIsNotReopened)
{
	EditorLink link (&bridge);
	ASSERT_TRUE (startAndOpen (link, "unkept"));
	ASSERT_TRUE (link.park (32));
	// It leaves when parked; the next editor finds it gone and says so.
	for (int i = 0; i < 400 && !aChildHasEnded (); ++i)
		::usleep (5000);
	std::string error;
	EXPECT_FALSE (link.reopen (&bridge, launch ("echo"), error));
	EXPECT_EQ (error, "the kept editor helper has gone");
	EXPECT_EQ (link.state (), EditorLink::State::Closed);
	EXPECT_EQ (bridge.events, (std::vector<std::string> {"opened", "closed"}));
}

TEST_F (EditorLinkTest, AKeptHelperThatFailsToShowAgainIsLeftToTheView)
{
	EditorLink link (&bridge);
	ASSERT_TRUE (startAndOpen (link, "once"));
	ASSERT_TRUE (link.park (32));
	RecordingBridge next;
	std::string error;
	ASSERT_TRUE (link.reopen (&next, launch ("once"), error)) << error;
	ASSERT_TRUE (serve (link, [&] { return link.failed (); }));
	// The view starts a new helper instead; the controller hears nothing
	// of the kept one's end.
	EXPECT_TRUE (link.failedReopening ());
	EXPECT_NE (link.lastError ().find ("ended before showing the editor"), std::string::npos) << link.lastError ();
	EXPECT_TRUE (next.events.empty ());
	EXPECT_FALSE (next.sink);
}

TEST_F (EditorLinkTest, AKeptHelperEndsAtItsTimeWithNothingTicking)
{
	tavik::test::ScopedVariable keep ("ZORV_EDITOR_KEEP_SECONDS", "0.2");
	auto link = std::make_unique<EditorLink> (&bridge);
	ASSERT_TRUE (startAndOpen (*link, "echo"));
	ASSERT_TRUE (link->park (editorKeepSeconds () + HELPER_KEEP_MARGIN_SECONDS));
	keepParkedEditor (std::move (link), "/nowhere/ui");
	EXPECT_TRUE (hasChildren ());
	// Nothing here serves a run loop or calls a clock: the keeper's own
	// timer ends the helper.
	bool ended = false;
	for (int i = 0; i < 300 && !ended; ++i)
	{
		::usleep (10000);
		ended = !hasChildren ();
	}
	EXPECT_TRUE (ended) << "the kept helper outlived its time";
	EXPECT_EQ (takeParkedEditor ("/nowhere/ui"), nullptr);
}

TEST_F (EditorLinkTest, TheModulesExitEndsTheKeptHelperAndTheThread)
{
	auto link = std::make_unique<EditorLink> (&bridge);
	ASSERT_TRUE (startAndOpen (*link, "stubborn"));
	ASSERT_TRUE (link->park (32));
	keepParkedEditor (std::move (link), "/nowhere/ui");
	EXPECT_TRUE (hasChildren ());
	// What DeinitModule does: afterwards no child is left, not even a zombie.
	releaseParkedEditor ();
	HelperReaper::instance ().shutdown ();
	EXPECT_FALSE (hasChildren ());
	// And the editor still works after (the module may be entered again).
	EditorLink again (&bridge);
	EXPECT_TRUE (startAndOpen (again, "echo"));
}

TEST (EditorViewRules, SizesAreClampedToTheEditorsRange)
{
	Steinberg::ViewRect tall {10, 20, 310, 2020};
	EditorSize::constrain (tall);
	EXPECT_EQ (tall.left, 10);
	EXPECT_EQ (tall.top, 20);
	EXPECT_EQ (tall.getWidth (), 480);
	EXPECT_EQ (tall.getHeight (), 1000);
	Steinberg::ViewRect huge {0, 0, 5000, 100};
	EditorSize::constrain (huge);
	EXPECT_EQ (huge.right, 1400);
	EXPECT_EQ (huge.bottom, 360);
	Steinberg::ViewRect inverted {100, 100, 0, 0};
	EditorSize::constrain (inverted);
	EXPECT_EQ (inverted.getWidth (), 480);
	EXPECT_EQ (inverted.getHeight (), 360);
}

TEST (EditorViewRules, TheFailureNoticeIsOneLineThatFits)
{
	struct Case
	{
		std::string reason;
		int width;
		std::string line;
	};
	const std::string longReason = "the editor page did not load (tavik-ui://bundle-0123456789abcdef/index.html): "
								   "the file does not exist";
	for (const Case& c : {
			 Case {"exit status 3", 480, "Zorv editor: exit status 3"},
			 // Latin-1 as the server's fonts hold it; other characters as '?'.
			 Case {"caf\xc3\xa9 \xe2\x86\x92 here", 480, "Zorv editor: caf\xe9 ? here"},
			 Case {"one\ntwo\tthree", 480, "Zorv editor: one two three"},
			 // Cut to fit the width (6-pixel characters), marked as cut.
			 Case {longReason, 120, "Zorv editor: the ..."},
			 Case {longReason, 60, "Zorv ed..."},
			 Case {longReason, 12, "Zo"},
			 Case {longReason, 0, ""},
		 })
	{
		SCOPED_TRACE (c.reason + " at " + std::to_string (c.width));
		EXPECT_EQ (EditorNotice::lineFor (c.reason, c.width, 6), c.line);
	}
	const std::string wide = EditorNotice::lineFor (longReason, 432, 6);
	EXPECT_EQ (wide.size (), 72u);
	EXPECT_EQ (wide.substr (69), "...");
	// The X request carries at most 255 characters, whatever the width.
	EXPECT_EQ (EditorNotice::lineFor (std::string (1000, 'x'), 100000, 6).size (), 255u);
}

TEST (EditorViewRules, TheViewKeepsItsControllerAlive)
{
	RecordingBridge bridge;
	Steinberg::IPtr<Steinberg::FObject> controller = Steinberg::owned (new Steinberg::FObject);
	const auto references = [&] {
		controller->addRef ();
		return controller->release ();
	};
	ASSERT_EQ (references (), 1u);
	EditorOptions options;
	options.owner = controller.get ();
	Steinberg::IPlugView* view = createWebViewEditor (&bridge, "/some/ui", options);
	ASSERT_NE (view, nullptr);
	EXPECT_EQ (references (), 2u);
	view->release ();
	EXPECT_EQ (references (), 1u);
}

TEST (EditorViewRules, NoPageBundleMeansNoView)
{
	RecordingBridge bridge;
	EXPECT_EQ (createWebViewEditor (&bridge, "", {}), nullptr);
	EXPECT_EQ (bridge.events, (std::vector<std::string> {"error: no ui bundle in plugin"}));
	EXPECT_EQ (createWebViewEditor (nullptr, "/some/ui", {}), nullptr);
}

TEST (EditorViewRules, TheViewAnswersHostQuestionsBeforeItIsAttached)
{
	RecordingBridge bridge;
	Steinberg::IPtr<Steinberg::IPlugView> view = Steinberg::owned (createWebViewEditor (&bridge, "/some/ui", {}));
	ASSERT_TRUE (view);
	EXPECT_EQ (view->isPlatformTypeSupported (Steinberg::kPlatformTypeX11EmbedWindowID), Steinberg::kResultTrue);
	EXPECT_EQ (view->isPlatformTypeSupported (Steinberg::kPlatformTypeNSView), Steinberg::kResultFalse);
	EXPECT_EQ (view->isPlatformTypeSupported (Steinberg::kPlatformTypeHWND), Steinberg::kResultFalse);
	EXPECT_EQ (view->isPlatformTypeSupported (nullptr), Steinberg::kResultFalse);
	EXPECT_EQ (view->canResize (), Steinberg::kResultTrue);
	EXPECT_EQ (view->checkSizeConstraint (nullptr), Steinberg::kInvalidArgument);
	EXPECT_EQ (view->onSize (nullptr), Steinberg::kResultFalse);

	Steinberg::ViewRect size;
	ASSERT_EQ (view->getSize (&size), Steinberg::kResultTrue);
	EXPECT_EQ (size.getWidth (), 720);
	EXPECT_EQ (size.getHeight (), 560);
	Steinberg::ViewRect asked {0, 0, 300, 2000};
	EXPECT_EQ (view->onSize (&asked), Steinberg::kResultTrue);
	ASSERT_EQ (view->getSize (&size), Steinberg::kResultTrue);
	EXPECT_EQ (size.getWidth (), 480);
	EXPECT_EQ (size.getHeight (), 1000);

	// Wrong platform, no parent, or no run loop: refused without a helper.
	int window = 0;
	EXPECT_EQ (view->attached (&window, Steinberg::kPlatformTypeHWND), Steinberg::kResultFalse);
	EXPECT_EQ (view->attached (nullptr, Steinberg::kPlatformTypeX11EmbedWindowID), Steinberg::kResultFalse);
	EXPECT_TRUE (bridge.events.empty ());
	EXPECT_EQ (view->attached (&window, Steinberg::kPlatformTypeX11EmbedWindowID), Steinberg::kResultFalse);
	EXPECT_EQ (bridge.events, (std::vector<std::string> {"error: the host offers no run loop for the editor"}));
	EXPECT_EQ (view->removed (), Steinberg::kResultOk);
}

} // namespace
