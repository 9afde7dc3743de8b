#include "hosted_fetch_worker.h"

#include "helper_process.h"
#include "module_path.h"

#include <cerrno>
#include <chrono>
#include <exception>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik {

namespace {

using Clock = std::chrono::steady_clock;

constexpr HelperKind FETCH_HELPER {"hosted bank", "bank download helper"};
constexpr const char* FETCH_HELPER_NAME = "zorv-bank-fetch";
// A helper's answer is a path or a message: far below this.
constexpr size_t MAX_ANSWER = size_t (64) << 10;
// A helper whose socket has ended is leaving; how it ended is worth this
// long a wait (a tick or two), for the message.
constexpr std::chrono::milliseconds STATUS_WAIT {500};

// A time limit as the worker keeps it: never negative, and far enough
// from overflowing a clock however large a test or a caller sets it.
long boundedSeconds (long seconds)
{
	constexpr long LONGEST = 10L * 365 * 24 * 3600;
	return seconds < 0 ? 0 : seconds > LONGEST ? LONGEST : seconds;
}

} // namespace

struct HostedFetchWorker::Job
{
	HelperProcess helper {FETCH_HELPER};
	HostedStaging staging;
	int socket = -1;       // the plug-in's end, non-blocking
	std::string request;   // what is still to be sent
	std::string answer;    // what has arrived
	bool ended = false;    // the helper's end of the socket has closed
	long limitSeconds = 0; // the download's time limit plus the margin
	Clock::time_point deadline {};
	Clock::time_point endedAt {};

	Job () = default;
	Job (const Job&) = delete;
	Job& operator= (const Job&) = delete;
	~Job () { retire (true); }

	/** Sends what the socket takes now. */
	void send ()
	{
		while (!request.empty () && socket >= 0)
		{
			const ssize_t n = ::send (socket, request.data (), request.size (), MSG_NOSIGNAL | MSG_DONTWAIT);
			if (n < 0 && errno == EINTR)
				continue;
			if (n <= 0)
				return; // full, or the helper has gone (which receive() hears)
			request.erase (0, static_cast<size_t> (n));
		}
	}

	/** Takes what has arrived; notes the end of the socket. */
	void receive ()
	{
		char buffer[4096];
		while (socket >= 0 && !ended && answer.size () <= MAX_ANSWER)
		{
			const ssize_t n = ::recv (socket, buffer, sizeof (buffer), MSG_DONTWAIT);
			if (n < 0 && errno == EINTR)
				continue;
			if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
				return;
			if (n <= 0)
			{
				ended = true;
				endedAt = Clock::now ();
				return;
			}
			answer.append (buffer, static_cast<size_t> (n));
		}
	}

	/** Done with the helper: closes the socket (which tells a helper still
	 *  at work to stop), kills it when asked, and leaves it to the reaper,
	 *  which removes the staging folder once it is reaped. A helper that
	 *  answered has removed the folder itself. */
	void retire (bool kill)
	{
		if (socket >= 0)
			::close (socket);
		socket = -1;
		if (kill)
			helper.kill ();
		HostedStaging held = std::move (staging);
		staging = HostedStaging ();
		if (held.lockFd < 0)
		{
			helper.handOff ();
			return;
		}
		try
		{
			helper.handOff ([held] () mutable { releaseHostedStaging (held); });
		}
		catch (const std::exception&)
		{
			helper.handOff ();
			releaseHostedStaging (held); // no room to leave it to the reaper
		}
	}
};

HostedFetchWorker::HostedFetchWorker () = default;

HostedFetchWorker::~HostedFetchWorker () { cancel (); }

std::string HostedFetchWorker::helperBesideModule () { return besideModule (FETCH_HELPER_NAME); }

bool HostedFetchWorker::start (const HostedFetchPlan& plan, const HostedFetchOptions& options, std::string& error)
{
	cancel ();
	try
	{
		const std::string program = options.helperPath.empty () ? helperBesideModule () : options.helperPath;
		if (program.empty () || ::access (program.c_str (), X_OK) != 0)
		{
			error = "the bank download helper is missing: " + (program.empty () ? FETCH_HELPER_NAME : program);
			return false;
		}
		auto job = std::make_unique<Job> ();
		if (!makeHostedStaging (plan.target, job->staging))
		{
			error = "cannot create the staging directory";
			return false;
		}
		int pair[2] = {-1, -1};
		if (::socketpair (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
		{
			error = "cannot start the download";
			return false;
		}
		job->socket = pair[0];
		::fcntl (job->socket, F_SETFL, ::fcntl (job->socket, F_GETFL) | O_NONBLOCK);
		const bool spawned =
			job->helper.spawn (program, {program},
		                       {{FETCH_HELPER_SOCKET_FD, pair[1], "bank download socket"},
		                        {FETCH_HELPER_STAGING_LOCK_FD, job->staging.lockFd, "staging folder's lock"}},
		                       error);
		::close (pair[1]);
		if (!spawned)
			return false; // the job removes its staging folder as it goes
		job->request = encodeHostedFetchRequest (HostedFetchRequest {plan, job->staging.path, options});
		job->limitSeconds =
			boundedSeconds (options.download.totalTimeoutSeconds) + boundedSeconds (options.helperMarginSeconds);
		job->deadline = Clock::now () + std::chrono::seconds (job->limitSeconds);
		job->send ();
		current = std::move (job);
		return true;
	}
	catch (const std::exception&)
	{
		error = "cannot start the download";
		return false;
	}
}

void HostedFetchWorker::cancel () { current.reset (); }

bool HostedFetchWorker::poll (HostedFetchResult& result)
{
	if (!current)
		return false;
	Job& job = *current;
	job.send ();
	job.receive ();
	HostedFetchResult answer;
	const ProtocolRead read = readHostedFetchResult (job.answer, answer);
	bool kill = true;
	if (read == ProtocolRead::Complete)
	{
		result = std::move (answer);
		kill = false; // it leaves by itself
	}
	else if (read == ProtocolRead::Malformed || job.answer.size () > MAX_ANSWER)
		result = HostedFetchResult {false, "", "the bank download helper gave an answer that cannot be read"};
	else if (job.ended)
	{
		// Its socket closed without an answer: it died. How is worth a
		// moment's wait, on later ticks.
		const bool gone = !job.helper.running ();
		if (!gone && Clock::now () < job.endedAt + STATUS_WAIT)
			return false;
		result = HostedFetchResult {false, "",
		                            "the bank download helper ended without an answer (" +
		                                (gone ? job.helper.ending () : std::string ("it closed its connection")) + ")"};
	}
	else if (Clock::now () >= job.deadline)
		result = HostedFetchResult {false, "",
		                            "the bank download helper did not finish within " +
		                                std::to_string (job.limitSeconds) + " s and was stopped"};
	else
		return false;
	job.retire (kill);
	current.reset ();
	return true;
}

} // namespace tavik
