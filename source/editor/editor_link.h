// The plug-in's side of an open editor: the helper process that shows the
// page, the socket to it, and the hand-offs between that socket and the
// controller's bridge. Nothing here waits for the helper: starting it,
// asking a kept one to show again, parking and closing all return at once,
// and the helper's answers arrive through serviceSocket() and tick(), which
// the host's run loop calls on its main thread. A parked link may also be
// closed on the reaper's thread by the keeper, which then owns it alone.
#pragma once

#include "bridge_host.h"
#include "helper_process.h"
#include "line_channel.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tavik {

struct EditorLaunch
{
	std::string helperPath;
	std::string uiRoot;
	unsigned long parentWindow = 0;
	int width = 0;
	int height = 0;
	/** How long the helper may take to show the editor. */
	int startMilliseconds = 5000;
	/** Extra arguments for the helper (tests). */
	std::vector<std::string> extraArguments;
};

class EditorLink
{
public:
	enum class State
	{
		Closed,
		Starting, // the helper is on its way; the controller has heard nothing yet
		Open,     // the window is embedded; the controller's messages go to the page
		Parked,   // kept for the next editor; the controller is done with it
		Failed,   // the helper could not show the editor or ended: see lastError()
	};

	/** The descriptor the helper finds its socket on. */
	static constexpr int HELPER_SOCKET_FD = 3;

	explicit EditorLink (BridgeHost* host) : bridge (host) {}
	~EditorLink () { close (); }
	EditorLink (const EditorLink&) = delete;
	EditorLink& operator= (const EditorLink&) = delete;

	/** Starts a new helper for `launch` and returns; the link opens when the
	 *  helper says it has embedded its window. False with `error` set when
	 *  the helper cannot be started at all. */
	bool start (const EditorLaunch& launch, std::string& error);
	/** Asks a parked helper to show again in `launch`'s window for `host`,
	 *  with a fresh page load; the link opens as after start(). False (and
	 *  closed) when the helper has gone. */
	bool reopen (BridgeHost* host, const EditorLaunch& launch, std::string& error);

	State state () const { return current; }
	bool isOpen () const { return current == State::Open; }
	bool isParked () const { return current == State::Parked; }
	bool failed () const { return current == State::Failed; }
	/** A kept helper failed before it showed the editor; a new helper may
	 *  still do. The controller has not heard of this failure. */
	bool failedReopening () const { return failed () && failedWhileReopening; }
	/** The failure, or the last problem the helper reported. */
	const std::string& lastError () const { return problem; }

	/** The helper's own X window (from its "started" line), or 0. */
	unsigned long plugWindow () const { return window; }
	/** The socket to watch for reading, or -1. */
	int socketFd () const { return channel ? channel->fd () : -1; }

	/** Reads what the helper sent: its answers, and page messages for the
	 *  controller. */
	void serviceSocket ();
	/** Writes what is still queued, notices a helper that has ended, and
	 *  fails a start that takes too long. */
	void tick ();
	/** Tells the helper the view's new size. */
	void resize (int width, int height);

	/** Closes the editor: the controller hears it closed (if it had heard it
	 *  open) and stops sending; the helper's socket closes, its cue to
	 *  leave, and the reaper sees that it does. */
	void close ();

	/** Ends the controller's part in this editor but keeps the helper: it
	 *  drops the page and waits `helperKeepSeconds` for an embed before it
	 *  leaves by itself. The caller has already taken the helper's window
	 *  out of the host's. False (and nothing changed) unless open. */
	bool park (double helperKeepSeconds);

private:
	void handleLine (const std::string& line);
	void attachController ();
	/** The helper's socket ended or the helper is gone. */
	void helperEnded ();
	void fail (const std::string& reason);
	void detachFromController ();

	BridgeHost* bridge = nullptr;
	std::unique_ptr<LineChannel> channel;
	HelperProcess helper {HelperKind {"editor", "editor helper"}};
	State current = State::Closed;
	bool reopening = false;
	bool failedWhileReopening = false;
	bool controllerAttached = false;
	unsigned long window = 0;
	std::chrono::steady_clock::time_point startDeadline {};
	std::vector<std::string> early;
	std::string problem;
};

} // namespace tavik
