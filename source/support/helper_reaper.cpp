#include "helper_reaper.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavik {

using Clock = std::chrono::steady_clock;

namespace {

// Without a process descriptor (old kernels) the thread looks this often.
constexpr std::chrono::milliseconds POLL_WITHOUT_PIDFD {10};
// After SIGKILL the descriptor reports the end; this is only a safety net.
constexpr std::chrono::milliseconds AFTER_KILL_RECHECK {1000};

} // namespace

HelperReaper& HelperReaper::instance ()
{
	static HelperReaper one;
	return one;
}

HelperReaper::~HelperReaper ()
{
	// At unload: the thread's code is about to go away with the module.
	shutdown ();
	if (wakeFd >= 0)
		::close (wakeFd);
}

bool HelperReaper::ensureRunning ()
{
	if (running)
		return true;
	// A thread that has left its loop (a shutdown with nobody joining it,
	// as at unload) ends at once.
	if (worker.joinable ())
		worker.join ();
	if (wakeFd < 0)
		wakeFd = ::eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);
	// The host's signals are for the host's threads: this one takes none.
	sigset_t all;
	sigset_t previous;
	sigfillset (&all);
	pthread_sigmask (SIG_SETMASK, &all, &previous);
	bool started = true;
	try
	{
		worker = std::thread ([this] { run (); });
		running = true;
	}
	catch (...)
	{
		started = false;
	}
	pthread_sigmask (SIG_SETMASK, &previous, nullptr);
	return started;
}

void HelperReaper::wake ()
{
	if (wakeFd < 0)
		return;
	const uint64_t one = 1;
	[[maybe_unused]] const ssize_t wrote = ::write (wakeFd, &one, sizeof (one));
}

void HelperReaper::adopt (pid_t pid, int pidfd, HelperKind kind, std::function<void ()> afterReap)
{
	if (pid <= 0 && pidfd >= 0)
		::close (pidfd);
	if (pid <= 0 && !afterReap)
		return;
	Helper helper {pid > 0 ? pid : 0, pid > 0 ? pidfd : -1, kind, 0, Clock::now () + GRACE, std::move (afterReap)};
	{
		std::lock_guard<std::mutex> guard (lock);
		try
		{
			if (ensureRunning ())
			{
				incoming.push_back (std::move (helper));
				++owned;
				wake ();
				return;
			}
		}
		catch (...)
		{
			// No room to hand it over: it is ended here instead.
		}
	}
	endNow (helper);
}

void HelperReaper::setAlarm (Clock::time_point when, void (*alarm) ())
{
	std::lock_guard<std::mutex> guard (lock);
	if (alarm && !ensureRunning ())
		return; // the next tick of an editor or controller clock expires it instead
	alarmAt = when;
	alarmCall = alarm;
	wake ();
}

bool HelperReaper::waitUntilIdle (std::chrono::milliseconds limit)
{
	std::unique_lock<std::mutex> guard (lock);
	return idle.wait_for (guard, limit, [this] { return owned == 0; });
}

void HelperReaper::shutdown ()
{
	{
		std::lock_guard<std::mutex> guard (lock);
		stopping = true;
		alarmCall = nullptr;
		wake ();
	}
	// Only this (the main) thread starts or joins the thread; the thread
	// itself may still hand a helper over, which it then reaps before it
	// leaves.
	if (worker.joinable () && worker.get_id () != std::this_thread::get_id ())
		worker.join ();
	std::lock_guard<std::mutex> guard (lock);
	stopping = false;
}

HelperReaper::Counts HelperReaper::counts ()
{
	std::lock_guard<std::mutex> guard (lock);
	return tally;
}

bool HelperReaper::gone (Helper& helper)
{
	if (helper.pid == 0)
		return true;
	for (;;)
	{
		siginfo_t info {};
		int result = -1;
		if (helper.pidfd >= 0)
		{
			result = ::waitid (P_PIDFD, static_cast<id_t> (helper.pidfd), &info, WEXITED | WNOHANG);
			if (result < 0 && errno == EINVAL)
			{
				// A kernel without waitid on descriptors: the pid is still
				// ours to wait for (the child is not reaped yet).
				::close (helper.pidfd);
				helper.pidfd = -1;
				continue;
			}
		}
		else
			result = ::waitid (P_PID, static_cast<id_t> (helper.pid), &info, WEXITED | WNOHANG);
		if (result == 0)
			return info.si_pid != 0;
		if (errno == EINTR)
			continue;
		// ECHILD: the host reaped it (it waits for every child itself).
		return true;
	}
}

void HelperReaper::signal (Helper& helper, int signalNumber)
{
	if (helper.pidfd >= 0 && ::syscall (SYS_pidfd_send_signal, helper.pidfd, signalNumber, nullptr, 0) == 0)
		return;
	if (helper.pidfd >= 0 && errno != ENOSYS)
		return; // ESRCH: it has ended; the next look reaps it
	// No descriptor: gone() has just seen the child unreaped, so the pid
	// is still this child's.
	::kill (helper.pid, signalNumber);
}

void HelperReaper::endNow (Helper& helper)
{
	if (!gone (helper))
	{
		signal (helper, SIGKILL);
		siginfo_t info {};
		if (helper.pidfd >= 0)
			while (::waitid (P_PIDFD, static_cast<id_t> (helper.pidfd), &info, WEXITED) < 0 && errno == EINTR)
			{
			}
		else
			while (::waitid (P_PID, static_cast<id_t> (helper.pid), &info, WEXITED) < 0 && errno == EINTR)
			{
			}
	}
	if (helper.pidfd >= 0)
		::close (helper.pidfd);
	finish (helper);
	if (helper.pid == 0)
		return;
	std::lock_guard<std::mutex> guard (lock);
	++tally.reaped;
}

void HelperReaper::finish (Helper& helper) noexcept
{
	if (!helper.afterReap)
		return;
	try
	{
		helper.afterReap ();
	}
	catch (...)
	{
		// What follows an end is tidying up; it may fail, never throw out.
	}
	helper.afterReap = nullptr;
}

void HelperReaper::run ()
{
	std::vector<Helper> active;
	std::vector<pollfd> watched;
	for (;;)
	{
		void (*due) () = nullptr;
		bool leaving = false;
		Clock::time_point wakeAt = Clock::time_point::max ();
		{
			std::lock_guard<std::mutex> guard (lock);
			active.insert (active.end (), std::make_move_iterator (incoming.begin ()),
			               std::make_move_iterator (incoming.end ()));
			incoming.clear ();
			if (alarmCall && Clock::now () >= alarmAt)
			{
				due = alarmCall;
				alarmCall = nullptr;
			}
			else if (alarmCall)
				wakeAt = alarmAt;
			if (stopping && active.empty ())
			{
				running = false;
				return;
			}
			leaving = stopping;
		}
		// Outside the lock: the alarm may hand a helper over.
		if (due)
		{
			due ();
			continue;
		}

		const Clock::time_point now = Clock::now ();
		bool lookOften = wakeFd < 0;
		for (size_t i = 0; i < active.size ();)
		{
			Helper& helper = active[i];
			if (gone (helper))
			{
				if (helper.pidfd >= 0)
					::close (helper.pidfd);
				finish (helper);
				const bool reaped = helper.pid != 0;
				active.erase (active.begin () + static_cast<std::ptrdiff_t> (i));
				std::lock_guard<std::mutex> guard (lock);
				--owned;
				if (reaped)
					++tally.reaped;
				idle.notify_all ();
				continue;
			}
			if (now >= helper.next)
			{
				if (helper.stage == 0)
				{
					signal (helper, SIGTERM);
					helper.next = now + GRACE;
					std::lock_guard<std::mutex> guard (lock);
					++tally.terminated;
				}
				else
				{
					if (helper.stage == 1)
					{
						std::fprintf (stderr,
						              "tavik-plugin-shell: %s: the %s (pid %ld) did not leave when asked; killing it\n",
						              helper.kind.topic, helper.kind.name, static_cast<long> (helper.pid));
						std::lock_guard<std::mutex> guard (lock);
						++tally.killed;
					}
					signal (helper, SIGKILL);
					helper.next = now + AFTER_KILL_RECHECK;
				}
				helper.stage = std::min (helper.stage + 1, 2);
			}
			wakeAt = std::min (wakeAt, helper.next);
			lookOften = lookOften || helper.pidfd < 0;
			++i;
		}

		// The last helper has just gone: leave without waiting for a wake.
		if (leaving && active.empty ())
			continue;

		watched.clear ();
		if (wakeFd >= 0)
			watched.push_back ({wakeFd, POLLIN, 0});
		for (const Helper& helper : active)
			if (helper.pidfd >= 0)
				watched.push_back ({helper.pidfd, POLLIN, 0});
		if (lookOften)
			wakeAt = std::min (wakeAt, now + POLL_WITHOUT_PIDFD);
		int timeout = -1;
		if (wakeAt != Clock::time_point::max ())
		{
			const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (wakeAt - Clock::now ()).count ();
			timeout = static_cast<int> (std::clamp<long long> (left + 1, 0, 60 * 60 * 1000));
		}
		::poll (watched.data (), watched.size (), timeout);
		uint64_t count = 0;
		if (wakeFd >= 0)
			while (::read (wakeFd, &count, sizeof (count)) > 0)
			{
			}
	}
}

} // namespace tavik
