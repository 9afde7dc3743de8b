#include "editor_link.h"

#include "editor_protocol.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tavik {

namespace {

// How long a closing helper may take to leave by itself before it is told.
constexpr int CLOSE_GRACE_MILLISECONDS = 250;

std::string exitDescription (int status)
{
	char text[64];
	if (WIFSIGNALED (status))
		std::snprintf (text, sizeof (text), "killed by signal %d", WTERMSIG (status));
	else
		std::snprintf (text, sizeof (text), "exit status %d", WEXITSTATUS (status));
	return text;
}

} // namespace

bool EditorLink::open (const EditorLaunch& launch, std::string& error)
{
	close ();
	problem.clear ();
	int pair[2] = {-1, -1};
	if (::socketpair (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
	{
		error = std::string ("cannot create the editor socket: ") + std::strerror (errno);
		problem = error;
		return false;
	}
	channel = std::make_unique<LineChannel> (pair[0]);

	char parent[32];
	std::snprintf (parent, sizeof (parent), "0x%lx", launch.parentWindow);
	std::vector<std::string> arguments {launch.helperPath,
	                                    "--socket",
	                                    std::to_string (HelperProcess::CHILD_SOCKET_FD),
	                                    "--parent",
	                                    parent,
	                                    "--parent-pid",
	                                    std::to_string (::getpid ()),
	                                    "--size",
	                                    std::to_string (launch.width) + "x" + std::to_string (launch.height),
	                                    "--ui-root",
	                                    launch.uiRoot};
	arguments.insert (arguments.end (), launch.extraArguments.begin (), launch.extraArguments.end ());
	const bool spawned = helper.spawn (launch.helperPath, arguments, pair[1], error);
	::close (pair[1]);
	if (!spawned)
	{
		channel.reset ();
		problem = error;
		return false;
	}

	if (!awaitStarted (launch.startMilliseconds, error))
		return false;
	attachController ();
	return true;
}

bool EditorLink::awaitStarted (int milliseconds, std::string& error)
{
	// The helper answers once its window is embedded; its page messages may
	// already follow in the same read, and wait for the controller below.
	early.clear ();
	bool started = false;
	std::string refusal;
	receiveFor (milliseconds, [&] (const std::string& line) {
		const EditorControl control = parseEditorControl (line);
		if (control.kind == EditorControl::Kind::Started && !started)
			started = true;
		else if (control.kind == EditorControl::Kind::Error && refusal.empty ())
			refusal = control.reason.empty () ? "the editor helper failed" : control.reason;
		else if (started && control.kind == EditorControl::Kind::PageMessage)
			early.push_back (line);
		return started || !refusal.empty ();
	});
	if (started)
		return true;
	if (!refusal.empty ())
		error = refusal;
	else if (channel->ended ())
	{
		helper.finish (CLOSE_GRACE_MILLISECONDS);
		error = "the editor helper ended before showing the editor (" + exitDescription (helper.status ()) + ")";
	}
	else
		error = "the editor helper did not show the editor in time";
	channel.reset ();
	helper.finish (CLOSE_GRACE_MILLISECONDS);
	problem = error;
	opened = parked = false;
	return false;
}

void EditorLink::receiveFor (int milliseconds, const std::function<bool (const std::string&)>& line)
{
	bool done = false;
	const auto deadline = std::chrono::steady_clock::now () + std::chrono::milliseconds (milliseconds);
	while (!done && channel && !channel->ended ())
	{
		channel->flush ();
		const auto left =
			std::chrono::duration_cast<std::chrono::milliseconds> (deadline - std::chrono::steady_clock::now ());
		if (left.count () <= 0)
			break;
		if (channel->waitReadable (static_cast<int> (left.count ())))
			channel->receive ([&] (const std::string& text) { done = line (text) || done; });
	}
}

void EditorLink::attachController ()
{
	opened = true;
	if (bridge)
	{
		bridge->setBridgeSink ([this] (const std::string& json) {
			if (channel)
				channel->send (json);
		});
		controllerAttached = true;
		bridge->onEditorOpened ();
	}
	std::vector<std::string> waiting;
	waiting.swap (early);
	for (const std::string& line : waiting)
		handleLine (line);
}

bool EditorLink::park (int milliseconds)
{
	if (!opened || !channel)
		return false;
	// The controller is done with this editor whatever happens next.
	detachFromController ();
	opened = false;
	channel->send (editorParkLine ());
	bool done = false;
	receiveFor (milliseconds, [&] (const std::string& line) {
		done = done || parseEditorControl (line).kind == EditorControl::Kind::Parked;
		return done;
	});
	if (!done || channel->ended ())
	{
		close ();
		return false;
	}
	parked = true;
	return true;
}

bool EditorLink::reopen (BridgeHost* host, const EditorLaunch& launch, std::string& error)
{
	if (!parked || !channel || channel->ended () || !helper.running ())
	{
		close ();
		error = "the parked editor helper has gone";
		return false;
	}
	parked = false;
	bridge = host;
	problem.clear ();
	channel->send (editorEmbedLine (launch.parentWindow, launch.width, launch.height));
	if (!awaitStarted (launch.startMilliseconds, error))
		return false;
	attachController ();
	return true;
}

void EditorLink::handleLine (const std::string& line)
{
	const EditorControl control = parseEditorControl (line);
	switch (control.kind)
	{
		case EditorControl::Kind::PageMessage:
			if (bridge && controllerAttached)
				bridge->handleBridgeMessage (line.data (), line.size ());
			break;
		case EditorControl::Kind::Error:
			problem = control.reason;
			if (bridge)
				bridge->onEditorError (control.reason.empty () ? "editor helper error" : control.reason.c_str ());
			break;
		default: break;
	}
}

void EditorLink::serviceSocket ()
{
	if (!channel)
		return;
	channel->receive ([this] (const std::string& line) { handleLine (line); });
	if (channel && channel->ended ())
		helperGone ("the editor helper closed its connection");
}

void EditorLink::tick ()
{
	if (!channel)
		return;
	channel->flush ();
	if (channel->ended ())
		helperGone ("the editor helper closed its connection");
	else if (!helper.running ())
		helperGone ("the editor helper ended (" + exitDescription (helper.status ()) + ")");
}

void EditorLink::resize (int width, int height)
{
	if (channel)
		channel->send (editorSizeLine (width, height));
}

void EditorLink::detachFromController ()
{
	if (!bridge || !controllerAttached)
		return;
	controllerAttached = false;
	bridge->onEditorClosed ();
	bridge->setBridgeSink ({});
}

void EditorLink::helperGone (const std::string& reason)
{
	// A helper that crashed or was killed leaves an empty window: the
	// controller hears why and stops sending to a page that is not there.
	if (!opened)
		return;
	problem = reason;
	if (bridge && controllerAttached)
		bridge->onEditorError (reason.c_str ());
	detachFromController ();
	channel.reset ();
	helper.finish (CLOSE_GRACE_MILLISECONDS);
	opened = false;
}

void EditorLink::close ()
{
	parked = false;
	detachFromController ();
	// Closing the socket is the helper's cue to leave.
	channel.reset ();
	helper.finish (CLOSE_GRACE_MILLISECONDS);
	opened = false;
}

} // namespace tavik
