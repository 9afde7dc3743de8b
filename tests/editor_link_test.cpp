// The plug-in's side of an open editor against a stand-in helper: the
// start-up handshake, what crosses the socket, and that no helper outlives
// the editor, however it ends.

#include "editor_link.h"
#include "web_view_plug_view.h"

#include "base/source/fobject.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace tavik;

namespace {

class RecordingBridge : public BridgeHost
{
public:
	void handleBridgeMessage (const char* json, size_t length) override { received.emplace_back (json, length); }
	void setBridgeSink (std::function<void (const std::string&)> s) override { sink = std::move (s); }
	void onEditorOpened () override { events.push_back ("opened"); }
	void onEditorClosed () override { events.push_back ("closed"); }
	void onEditorError (const char* reason) override { events.push_back (std::string ("error: ") + reason); }

	std::vector<std::string> received;
	std::vector<std::string> events;
	std::function<void (const std::string&)> sink;
};

class EditorLinkTest : public ::testing::Test
{
protected:
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

	// Serves the socket until `count` page messages have arrived.
	bool receiveUntil (EditorLink& link, size_t count)
	{
		for (int i = 0; i < 400 && bridge.received.size () < count; ++i)
		{
			::usleep (5000);
			link.serviceSocket ();
			link.tick ();
		}
		return bridge.received.size () >= count;
	}

	RecordingBridge bridge;
};

TEST_F (EditorLinkTest, RelaysBothWaysOnceTheHelperHasStarted)
{
	EditorLink link (&bridge);
	std::string error;
	ASSERT_TRUE (link.open (launch ("echo"), error)) << error;
	EXPECT_TRUE (link.isOpen ());
	EXPECT_EQ (bridge.events, (std::vector<std::string> {"opened"}));
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

TEST_F (EditorLinkTest, AHelperThatCannotShowTheEditorFailsTheOpen)
{
	struct Case
	{
		const char* mode;
		const char* expected;
	};
	for (const Case& c : {Case {"refuse", "no thanks"}, Case {"exit", "exit status 3"},
	                      Case {"silent", "did not show the editor in time"}})
	{
		SCOPED_TRACE (c.mode);
		EditorLink link (&bridge);
		EditorLaunch l = launch (c.mode);
		l.startMilliseconds = 300;
		std::string error;
		EXPECT_FALSE (link.open (l, error));
		EXPECT_NE (error.find (c.expected), std::string::npos) << error;
		EXPECT_FALSE (link.isOpen ());
		EXPECT_EQ (link.socketFd (), -1);
	}
	// The controller never heard of an editor, and no child is left over.
	EXPECT_TRUE (bridge.events.empty ());
	EXPECT_FALSE (bridge.sink);
	EXPECT_EQ (::waitpid (-1, nullptr, WNOHANG), -1);
}

TEST_F (EditorLinkTest, AMissingHelperIsReportedNotThrown)
{
	EditorLink link (&bridge);
	EditorLaunch l = launch ("echo");
	l.helperPath = "/nowhere/zorv-editor";
	std::string error;
	EXPECT_FALSE (link.open (l, error));
	EXPECT_NE (error.find ("/nowhere/zorv-editor"), std::string::npos) << error;
}

TEST_F (EditorLinkTest, AHelperThatDiesIsNoticedAndReaped)
{
	EditorLink link (&bridge);
	std::string error;
	ASSERT_TRUE (link.open (launch ("crash"), error)) << error;
	ASSERT_TRUE (receiveUntil (link, 1));
	bridge.sink ("crash");
	for (int i = 0; i < 400 && link.isOpen (); ++i)
	{
		::usleep (5000);
		link.serviceSocket ();
		link.tick ();
	}
	EXPECT_FALSE (link.isOpen ());
	ASSERT_EQ (bridge.events.size (), 3u);
	EXPECT_EQ (bridge.events[0], "opened");
	EXPECT_EQ (bridge.events[1].rfind ("error: the editor helper", 0), 0u) << bridge.events[1];
	EXPECT_EQ (bridge.events[2], "closed");
	EXPECT_FALSE (bridge.sink);
	EXPECT_EQ (::waitpid (-1, nullptr, WNOHANG), -1);
}

TEST_F (EditorLinkTest, ClosingEndsTheHelperEvenIfItIgnoresTheSocket)
{
	EditorLink link (&bridge);
	std::string error;
	ASSERT_TRUE (link.open (launch ("stubborn"), error)) << error;
	// It hears neither the socket closing nor SIGTERM: close() still ends
	// and reaps it, and this test process is left with no child at all.
	link.close ();
	EXPECT_EQ (::waitpid (-1, nullptr, WNOHANG), -1);
}

TEST_F (EditorLinkTest, AParkedHelperServesTheNextEditor)
{
	EditorLink link (&bridge);
	std::string error;
	ASSERT_TRUE (link.open (launch ("echo"), error)) << error;
	ASSERT_TRUE (receiveUntil (link, 1));
	ASSERT_TRUE (link.park (1000));
	EXPECT_TRUE (link.isParked ());
	EXPECT_FALSE (link.isOpen ());
	// The first controller is done with it.
	EXPECT_EQ (bridge.events, (std::vector<std::string> {"opened", "closed"}));
	EXPECT_FALSE (bridge.sink);

	RecordingBridge next;
	ASSERT_TRUE (link.reopen (&next, launch ("echo"), error)) << error;
	EXPECT_TRUE (link.isOpen ());
	EXPECT_EQ (next.events, (std::vector<std::string> {"opened"}));
	ASSERT_TRUE (next.sink);
	next.sink ("{\"type\":\"to the second\"}");
	for (int i = 0; i < 400 && next.received.empty (); ++i)
	{
		::usleep (5000);
		link.serviceSocket ();
	}
	ASSERT_EQ (next.received.size (), 1u);
	EXPECT_EQ (next.received[0], "{\"type\":\"to the second\"}");
	EXPECT_EQ (bridge.received.size (), 1u) << "the first controller heard the second's editor";
	link.close ();
	EXPECT_EQ (::waitpid (-1, nullptr, WNOHANG), -1);
}

TEST_F (EditorLinkTest, AHelperThatCannotParkIsEnded)
{
	EditorLink link (&bridge);
	std::string error;
	ASSERT_TRUE (link.open (launch ("stubborn"), error)) << error;
	EXPECT_FALSE (link.park (200));
	EXPECT_FALSE (link.isParked ());
	EXPECT_EQ (bridge.events, (std::vector<std::string> {"opened", "closed"}));
	EXPECT_EQ (::waitpid (-1, nullptr, WNOHANG), -1);
	// Nothing to reopen.
	EXPECT_FALSE (link.reopen (&bridge, launch ("echo"), error));
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
