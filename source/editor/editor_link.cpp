#include "editor_link.h"

#include "editor_protocol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik {

namespace {

// A helper whose socket has ended is leaving; its exit status is worth
// this long a wait (the reason the musician reads).
constexpr int STATUS_WAIT_MILLISECONDS = 20;
// Page messages that arrive before the helper's "started" (none should).
constexpr size_t MAX_EARLY_LINES = 1024;

} // namespace

bool EditorLink::start (const EditorLaunch& launch, std::string& error)
{
	close ();
	problem.clear ();
	window = 0;
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
	                                    std::to_string (HELPER_SOCKET_FD),
	                                    "--parent",
	                                    parent,
	                                    "--parent-pid",
	                                    std::to_string (::getpid ()),
	                                    "--size",
	                                    std::to_string (launch.width) + "x" + std::to_string (launch.height),
	                                    "--ui-root",
	                                    launch.uiRoot};
	arguments.insert (arguments.end (), launch.extraArguments.begin (), launch.extraArguments.end ());
	const bool spawned =
		helper.spawn (launch.helperPath, arguments, {{HELPER_SOCKET_FD, pair[1], "editor socket"}}, error);
	::close (pair[1]);
	if (!spawned)
	{
		channel.reset ();
		problem = error;
		return false;
	}
	current = State::Starting;
	reopening = false;
	startDeadline = std::chrono::steady_clock::now () + std::chrono::milliseconds (launch.startMilliseconds);
	return true;
}

bool EditorLink::reopen (BridgeHost* host, const EditorLaunch& launch, std::string& error)
{
	// What the helper said while parked ("parked", the blank page's
	// troubles) is of no interest now; an end of the socket is.
	if (current == State::Parked && channel)
		channel->receive ([] (const std::string&) {});
	if (current != State::Parked || !channel || channel->ended () || !helper.running ())
	{
		close ();
		error = "the kept editor helper has gone";
		return false;
	}
	bridge = host;
	problem.clear ();
	early.clear ();
	current = State::Starting;
	reopening = true;
	startDeadline = std::chrono::steady_clock::now () + std::chrono::milliseconds (launch.startMilliseconds);
	channel->send (editorEmbedLine (launch.parentWindow, launch.width, launch.height));
	return true;
}

void EditorLink::attachController ()
{
	current = State::Open;
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
		if (bridge && controllerAttached)
			bridge->handleBridgeMessage (line.data (), line.size ());
}

bool EditorLink::park (double helperKeepSeconds)
{
	if (current != State::Open || !channel)
		return false;
	// The controller is done with this editor whatever happens next, and
	// what it sent but the page has not read is for a page that goes.
	detachFromController ();
	channel->dropPending ();
	if (!channel->send (editorParkLine (helperKeepSeconds)))
	{
		close ();
		return false;
	}
	current = State::Parked;
	return true;
}

void EditorLink::handleLine (const std::string& line)
{
	const EditorControl control = parseEditorControl (line);
	switch (control.kind)
	{
		case EditorControl::Kind::Started:
			if (current == State::Starting)
			{
				if (control.window)
					window = control.window;
				attachController ();
			}
			break;
		case EditorControl::Kind::Error:
			if (current == State::Starting || current == State::Open)
				fail (control.reason.empty () ? "the editor helper failed" : control.reason);
			break;
		case EditorControl::Kind::PageMessage:
			if (current == State::Open && bridge && controllerAttached)
				bridge->handleBridgeMessage (line.data (), line.size ());
			else if (current == State::Starting && early.size () < MAX_EARLY_LINES)
				early.push_back (line);
			break;
		default: break;
	}
}

void EditorLink::serviceSocket ()
{
	if (!channel || (current != State::Starting && current != State::Open))
		return;
	// Lines first, then their effects: a failure closes the channel.
	std::vector<std::string> lines;
	channel->receive ([&lines] (const std::string& line) { lines.push_back (line); });
	const bool ended = channel->ended ();
	for (const std::string& line : lines)
	{
		handleLine (line);
		if (!channel)
			return;
	}
	if (ended)
		helperEnded ();
}

void EditorLink::tick ()
{
	if (!channel || (current != State::Starting && current != State::Open))
		return;
	channel->flush ();
	if (channel->ended () || !helper.running ())
		helperEnded ();
	else if (current == State::Starting && std::chrono::steady_clock::now () >= startDeadline)
		fail ("the editor helper did not show the editor in time");
}

void EditorLink::resize (int width, int height)
{
	if (channel && (current == State::Starting || current == State::Open))
		channel->send (editorSizeLine (width, height));
}

void EditorLink::helperEnded ()
{
	// Its socket has ended, so it is leaving: its exit status is the
	// musician's best clue.
	const timespec step {0, 2 * 1000 * 1000};
	for (int waited = 0; helper.running () && waited < STATUS_WAIT_MILLISECONDS; waited += 2)
		::nanosleep (&step, nullptr);
	const std::string how = helper.running () ? "it closed its connection" : helper.ending ();
	fail (current == State::Starting ? "the editor helper ended before showing the editor (" + how + ")"
	                                 : "the editor helper ended (" + how + ")");
}

void EditorLink::fail (const std::string& reason)
{
	const State was = current;
	problem = reason;
	failedWhileReopening = was == State::Starting && reopening;
	// A kept helper that fails may be replaced unseen; every other failure
	// is the controller's to hear (a helper that crashed or was killed
	// leaves an empty window, and the controller stops sending to it).
	if (bridge && !failedWhileReopening && (was == State::Starting || controllerAttached))
		bridge->onEditorError (reason.c_str ());
	detachFromController ();
	channel.reset ();
	helper.handOff ();
	current = State::Failed;
}

void EditorLink::detachFromController ()
{
	if (!bridge || !controllerAttached)
		return;
	controllerAttached = false;
	bridge->onEditorClosed ();
	bridge->setBridgeSink ({});
}

void EditorLink::close ()
{
	detachFromController ();
	// Closing the socket is the helper's cue to leave.
	channel.reset ();
	helper.handOff ();
	early.clear ();
	current = State::Closed;
}

} // namespace tavik
