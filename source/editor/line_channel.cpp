#include "line_channel.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik {

LineChannel::LineChannel (int fd) : socket (fd)
{
	if (socket < 0)
		return;
	::fcntl (socket, F_SETFL, ::fcntl (socket, F_GETFL) | O_NONBLOCK);
	::fcntl (socket, F_SETFD, ::fcntl (socket, F_GETFD) | FD_CLOEXEC);
}

LineChannel::~LineChannel () { close (); }

void LineChannel::close ()
{
	if (socket < 0)
		return;
	::shutdown (socket, SHUT_RDWR);
	::close (socket);
	socket = -1;
	queued.clear ();
	queuedFrom = 0;
}

bool LineChannel::send (const std::string& text)
{
	if (socket < 0 || peerEnded)
		return false;
	if (queued.size () - queuedFrom + text.size () + 1 > MAX_QUEUED_BYTES)
		return false;
	if (queuedFrom > 0 && queuedFrom == queued.size ())
	{
		queued.clear ();
		queuedFrom = 0;
	}
	const size_t start = queued.size ();
	queued += text;
	for (size_t i = start; i < queued.size (); ++i)
		if (queued[i] == '\n')
			queued[i] = ' ';
	queued += '\n';
	flush ();
	return true;
}

bool LineChannel::flush ()
{
	while (socket >= 0 && queuedFrom < queued.size ())
	{
		// MSG_NOSIGNAL: a peer that has gone must not raise SIGPIPE in a
		// host that never asked for it.
		const ssize_t wrote =
			::send (socket, queued.data () + queuedFrom, queued.size () - queuedFrom, MSG_NOSIGNAL | MSG_DONTWAIT);
		if (wrote > 0)
		{
			queuedFrom += static_cast<size_t> (wrote);
			continue;
		}
		if (wrote < 0 && errno == EINTR)
			continue;
		if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
			break;
		peerEnded = true;
		queued.clear ();
		queuedFrom = 0;
		break;
	}
	if (queuedFrom == queued.size ())
	{
		queued.clear ();
		queuedFrom = 0;
	}
	return pending ();
}

void LineChannel::dropPending ()
{
	if (queuedFrom == 0 || queuedFrom >= queued.size ())
	{
		queued.clear ();
		queuedFrom = 0;
		return;
	}
	// A line is begun when the byte before the unsent ones is not its end.
	if (queued[queuedFrom - 1] == '\n')
		queued.resize (queuedFrom);
	else
		queued.resize (queued.find ('\n', queuedFrom) + 1);
	flush ();
}

void LineChannel::receive (const std::function<void (const std::string&)>& line)
{
	char buffer[65536];
	while (socket >= 0 && !peerEnded)
	{
		const ssize_t got = ::recv (socket, buffer, sizeof (buffer), MSG_DONTWAIT);
		if (got == 0)
		{
			peerEnded = true;
			break;
		}
		if (got < 0)
		{
			if (errno == EINTR)
				continue;
			if (errno != EAGAIN && errno != EWOULDBLOCK)
				peerEnded = true;
			break;
		}
		size_t from = 0;
		const size_t size = static_cast<size_t> (got);
		while (from < size)
		{
			const char* newline = static_cast<const char*> (std::memchr (buffer + from, '\n', size - from));
			const size_t end = newline ? static_cast<size_t> (newline - buffer) : size;
			if (!discarding)
			{
				if (inbound.size () + (end - from) > MAX_LINE_BYTES)
				{
					discarding = true;
					inbound.clear ();
					++oversizedLines;
				}
				else
					inbound.append (buffer + from, end - from);
			}
			if (!newline)
				break;
			if (!discarding)
			{
				std::string complete;
				complete.swap (inbound);
				line (complete);
				if (socket < 0)
					return;
			}
			discarding = false;
			from = end + 1;
		}
	}
}

} // namespace tavik
