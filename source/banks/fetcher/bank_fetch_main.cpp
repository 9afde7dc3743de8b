// zorv-bank-fetch: the bank download helper. The plug-in starts it for one
// hosted bank, so that every byte from the internet (TLS, HTTP, the zip
// archive) is read here rather than inside the host's process. It reads
// one request from descriptor 3, downloads, checks and unpacks the bank
// into the staging folder the plug-in made (held through descriptor 4),
// moves it into the cache, answers with one result and leaves. When the
// plug-in's end of the socket closes first (a cancelled fetch, a host that
// went), it stops within about a second and removes what it staged.
#include "hosted_bank_download.h"
#include "hosted_bank_staging.h"
#include "hosted_fetch_protocol.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace tavik;

constexpr size_t MAX_REQUEST = size_t (4) << 20;

// Watches the plug-in's end of the socket: once it closes, the fetch is
// cancelled. Nothing else arrives after the request.
class PluginWatch
{
public:
	explicit PluginWatch (int socketFd) : socket (socketFd), stopFd (::eventfd (0, EFD_CLOEXEC))
	{
		if (stopFd < 0)
			return;
		try
		{
			thread = std::thread ([this] { watch (); });
		}
		catch (const std::exception&)
		{
			// Without the watch a cancel still ends the helper: the plug-in kills it.
		}
	}

	~PluginWatch ()
	{
		if (thread.joinable ())
		{
			const uint64_t one = 1;
			[[maybe_unused]] const ssize_t wrote = ::write (stopFd, &one, sizeof (one));
			thread.join ();
		}
		if (stopFd >= 0)
			::close (stopFd);
	}

	PluginWatch (const PluginWatch&) = delete;
	PluginWatch& operator= (const PluginWatch&) = delete;

	std::atomic<bool> cancel {false};

private:
	void watch ()
	{
		for (;;)
		{
			pollfd watched[2] = {{socket, POLLIN, 0}, {stopFd, POLLIN, 0}};
			if (::poll (watched, 2, -1) < 0)
			{
				if (errno == EINTR)
					continue;
				return;
			}
			if (watched[1].revents)
				return;
			char discard[256];
			const ssize_t n = ::recv (socket, discard, sizeof (discard), MSG_DONTWAIT);
			if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
			{
				cancel.store (true);
				return;
			}
		}
	}

	int socket;
	int stopFd;
	std::thread thread;
};

bool readRequest (int fd, HostedFetchRequest& request)
{
	std::string bytes;
	char buffer[16384];
	for (;;)
	{
		size_t used = 0;
		switch (readHostedFetchRequest (bytes, request, used))
		{
			case ProtocolRead::Complete: return true;
			case ProtocolRead::Malformed: return false;
			case ProtocolRead::Incomplete: break;
		}
		const ssize_t n = ::read (fd, buffer, sizeof (buffer));
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0 || bytes.size () + static_cast<size_t> (n) > MAX_REQUEST)
			return false;
		bytes.append (buffer, static_cast<size_t> (n));
	}
}

void answer (int fd, const HostedFetchResult& result)
{
	const std::string bytes = encodeHostedFetchResult (result);
	for (size_t done = 0; done < bytes.size ();)
	{
		const ssize_t n = ::send (fd, bytes.data () + done, bytes.size () - done, MSG_NOSIGNAL);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return; // the plug-in has gone: nobody to tell
		done += static_cast<size_t> (n);
	}
}

} // namespace

int main ()
{
	std::signal (SIGPIPE, SIG_IGN);
	HostedFetchRequest request;
	if (!readRequest (FETCH_HELPER_SOCKET_FD, request))
	{
		std::fprintf (stderr, "zorv-bank-fetch: no valid request on descriptor %d\n", FETCH_HELPER_SOCKET_FD);
		HostedFetchResult refused;
		refused.error = "the bank download helper was given no valid request";
		answer (FETCH_HELPER_SOCKET_FD, refused);
		return 2;
	}
	HostedFetchResult result;
	try
	{
		PluginWatch plugin (FETCH_HELPER_SOCKET_FD);
		// What fetches that died left behind goes first; the plug-in's
		// staging folder is held, so it stays.
		removeAbandonedStaging (std::filesystem::path (request.plan.target).parent_path ().string ());
		result.ok = downloadHostedBankInto (request.plan, request.staging, request.options, result.bankDirectory,
		                                    result.error, &plugin.cancel);
	}
	catch (const std::exception&)
	{
		std::error_code ignored;
		std::filesystem::remove_all (request.staging, ignored);
		result = HostedFetchResult ();
		result.error = "download failed";
	}
	answer (FETCH_HELPER_SOCKET_FD, result);
	return 0;
}
