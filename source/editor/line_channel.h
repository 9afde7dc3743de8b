// One end of the editor's socket: newline-delimited texts both ways over a
// non-blocking stream socket. Reading never blocks; writing queues what the
// socket cannot take yet, up to a limit, so a slow peer never stalls the
// thread that serves the channel.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace tavik {

class LineChannel
{
public:
	static constexpr size_t MAX_LINE_BYTES = 16u << 20;
	static constexpr size_t MAX_QUEUED_BYTES = 32u << 20;

	LineChannel () = default;
	/** Takes `fd` (made non-blocking and close-on-exec). */
	explicit LineChannel (int fd);
	~LineChannel ();
	LineChannel (const LineChannel&) = delete;
	LineChannel& operator= (const LineChannel&) = delete;

	int fd () const { return socket; }
	bool open () const { return socket >= 0; }
	/** The peer has closed its end or the socket failed. */
	bool ended () const { return peerEnded; }

	/** Queues `text` and a newline, then writes what the socket takes.
	 *  False when the channel is closed or the queue is over its limit (the
	 *  text is then dropped). A newline inside `text` is sent as a space, so
	 *  one text stays one line (raw newlines are never part of a JSON
	 *  token, so a JSON text means the same). */
	bool send (const std::string& text);
	/** Writes queued bytes; true while some are still waiting. */
	bool flush ();
	bool pending () const { return queuedFrom < queued.size (); }
	/** Drops the queued texts the peer has not begun to receive (the rest
	 *  of a text partly written stays, so every line stays whole). */
	void dropPending ();

	/** Reads everything available and calls `line` for each complete line
	 *  (without its newline; a carriage return before it is kept). A line
	 *  over MAX_LINE_BYTES is dropped whole. Sets ended() at end of stream. */
	void receive (const std::function<void (const std::string&)>& line);

	/** Shuts the socket down and closes it. */
	void close ();

	/** Lines dropped for length, texts dropped for the queue limit. */
	size_t droppedLines () const { return oversizedLines; }

private:
	int socket = -1;
	bool peerEnded = false;
	bool discarding = false;
	std::string inbound;
	std::string queued;
	size_t queuedFrom = 0;
	size_t oversizedLines = 0;
};

} // namespace tavik
