// The plug-in's one background thread for helper processes. It ends the
// helpers the plug-in no longer needs (editor helpers, bank downloads), so
// the host's UI thread never waits for a process to leave, runs what must
// follow a helper's end (removing a killed download's staging folder), and
// runs the kept editor helper's timer, so a kept helper ends at its time
// even when nothing in the plug-in ticks any more. It never calls into the
// controller or the host.
//
// Each helper is owned by exactly one party at a time: its HelperProcess on
// the main thread while the plug-in uses it, then this thread alone. Only
// the owner signals or reaps it, and a process descriptor (pidfd) names it,
// so a signal never reaches a process that merely got the same pid.
#pragma once

#include "helper_process.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace tavik {

class HelperReaper
{
public:
	/** How long a helper told to leave may take before SIGTERM, and again
	 *  before SIGKILL. */
	static constexpr std::chrono::milliseconds GRACE {250};

	/** The process-wide reaper. */
	static HelperReaper& instance ();

	/** Takes over `pid`, a child of this process that has been told to leave
	 *  (its socket is closed) or killed, with its process descriptor `pidfd`
	 *  (or -1; the reaper closes it). It gets GRACE to leave by itself, then
	 *  SIGTERM and GRACE again, then SIGKILL, and is always reaped; `kind`
	 *  names it in the log. A host that reaps every child itself is fine
	 *  too: the child is then simply gone. `afterReap`, when given, runs on
	 *  the reaper's thread once the child is reaped (or at once there when
	 *  `pid` is no child any more), before waitUntilIdle() counts it done;
	 *  it must not call into the reaper, the controller or the host. */
	void adopt (pid_t pid, int pidfd, HelperKind kind, std::function<void ()> afterReap = nullptr);

	/** Calls `alarm` on the reaper's thread at `when`, replacing any alarm
	 *  set before. `alarm` must be cheap and must not call into the reaper
	 *  except through adopt(). */
	void setAlarm (std::chrono::steady_clock::time_point when, void (*alarm) ());

	/** Waits until every helper handed over so far is reaped; false when
	 *  `limit` passes first. */
	bool waitUntilIdle (std::chrono::milliseconds limit);

	/** Ends the thread once every helper is reaped and drops the alarm (the
	 *  module's exit; this may block for up to twice GRACE). A later adopt()
	 *  or setAlarm() starts it again. */
	void shutdown ();

	/** How many helpers were reaped, and how many needed SIGTERM or SIGKILL. */
	struct Counts
	{
		size_t reaped = 0;
		size_t terminated = 0;
		size_t killed = 0;
	};
	Counts counts ();

	~HelperReaper ();
	HelperReaper (const HelperReaper&) = delete;
	HelperReaper& operator= (const HelperReaper&) = delete;

private:
	struct Helper
	{
		pid_t pid; // 0: only `afterReap` is left to run
		int pidfd;
		HelperKind kind;
		int stage; // 0 leaving by itself, 1 sent SIGTERM, 2 sent SIGKILL
		std::chrono::steady_clock::time_point next;
		std::function<void ()> afterReap;
	};

	HelperReaper () = default;
	/** Starts the thread if it is not running; false when it cannot. */
	bool ensureRunning ();
	void wake ();
	void run ();
	/** Reaps `helper` if it has ended; true when it is gone. */
	static bool gone (Helper& helper);
	void signal (Helper& helper, int signalNumber);
	/** Without a thread: ends `helper` at once and reaps it. */
	void endNow (Helper& helper);
	/** Runs what follows a helper's end; nothing it throws gets out. */
	static void finish (Helper& helper) noexcept;

	std::mutex lock;
	std::condition_variable idle;
	std::vector<Helper> incoming;
	size_t owned = 0;
	bool stopping = false;
	bool running = false;
	std::thread worker;
	int wakeFd = -1;
	std::chrono::steady_clock::time_point alarmAt {};
	void (*alarmCall) () = nullptr;
	Counts tally;
};

} // namespace tavik
