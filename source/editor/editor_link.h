// The plug-in's side of an open editor: the helper process that shows the
// page, the socket to it, and the hand-offs between that socket and the
// controller's bridge. Everything here runs on the host's main thread (its
// run loop calls serviceSocket and tick); nothing is shared with other
// threads.
#pragma once

#include "bridge_host.h"
#include "helper_process.h"
#include "line_channel.h"

#include <functional>
#include <memory>
#include <string>

namespace tavik {

struct EditorLaunch
{
	std::string helperPath;
	std::string uiRoot;
	unsigned long parentWindow = 0;
	int width = 0;
	int height = 0;
	/** How long open() waits for the helper to embed its window. */
	int startMilliseconds = 5000;
	/** Extra arguments for the helper (tests). */
	std::vector<std::string> extraArguments;
};

class EditorLink
{
public:
	explicit EditorLink (BridgeHost* host) : bridge (host) {}
	~EditorLink () { close (); }
	EditorLink (const EditorLink&) = delete;
	EditorLink& operator= (const EditorLink&) = delete;

	/** Starts the helper and waits until its window is embedded; then the
	 *  controller's outbound messages go to the page and the controller
	 *  hears that the editor opened. False with `error` set otherwise (the
	 *  helper is then gone again). */
	bool open (const EditorLaunch& launch, std::string& error);
	bool isOpen () const { return opened; }

	/** The socket to watch for reading while open, or -1. */
	int socketFd () const { return channel ? channel->fd () : -1; }

	/** Reads what the helper sent: page messages go to the controller. */
	void serviceSocket ();
	/** Writes what is still queued and notices a helper that has ended. */
	void tick ();
	/** Tells the helper the view's new size. */
	void resize (int width, int height);

	/** Closes the editor: the controller hears it closed and stops sending;
	 *  the helper sees its socket end and leaves (or is made to). */
	void close ();

	/** Ends the controller's part in this editor but keeps the helper:
	 *  it takes its window out of the host's (before the host destroys
	 *  that window) and drops the page. True once the helper confirmed it
	 *  within `milliseconds`; otherwise the link is closed. */
	bool park (int milliseconds);
	bool isParked () const { return parked; }
	/** Shows a parked helper in a new window for `host`, with a fresh page
	 *  load; false (and closed) when it cannot. */
	bool reopen (BridgeHost* host, const EditorLaunch& launch, std::string& error);

	/** The last problem the helper or the link reported, for diagnostics. */
	const std::string& lastError () const { return problem; }

private:
	bool awaitStarted (int milliseconds, std::string& error);
	/** Serves the socket for up to `milliseconds`, handing each line to
	 *  `line` until it answers true (the wait is over) or the helper ends. */
	void receiveFor (int milliseconds, const std::function<bool (const std::string&)>& line);
	void attachController ();
	void handleLine (const std::string& line);
	void helperGone (const std::string& reason);
	void detachFromController ();

	BridgeHost* bridge = nullptr;
	std::unique_ptr<LineChannel> channel;
	HelperProcess helper;
	bool opened = false;
	bool parked = false;
	std::vector<std::string> early;
	bool controllerAttached = false;
	std::string problem;
};

} // namespace tavik
