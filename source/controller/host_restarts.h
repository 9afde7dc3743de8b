// The restart requests the controller owes its host (values changed, MIDI
// assignments changed). Hosts may hold a lock across their calls into the
// controller and take the same lock in restartComponent, so a request made
// inside a host call waits for the next cadence tick or run-loop turn;
// outside one it is sent at once.
#pragma once

#include <cstdint>
#include <functional>

namespace tavik {

class HostRestarts
{
public:
	using Send = std::function<void (int32_t flags)>;

	explicit HostRestarts (Send send) : deliver (std::move (send)) {}

	/** Marks that the host is inside a call into the controller (nested
	 *  calls count). */
	void enterHostCall () { ++depth; }
	void leaveHostCall ()
	{
		if (depth > 0)
			--depth;
	}

	/** Asks the host to re-read what `flags` name: at once when no host call
	 *  is under way, else at the next flush. */
	void request (int32_t flags);
	/** Sends what waits, once, with the flags of every request merged; does
	 *  nothing inside a host call. */
	void flush ();
	int32_t pending () const { return waiting; }

private:
	Send deliver;
	int32_t waiting = 0;
	int depth = 0;
};

/** Counts a host call for as long as it lives. */
class HostCallScope
{
public:
	explicit HostCallScope (HostRestarts& r) : restarts (r) { restarts.enterHostCall (); }
	~HostCallScope () { restarts.leaveHostCall (); }
	HostCallScope (const HostCallScope&) = delete;
	HostCallScope& operator= (const HostCallScope&) = delete;

private:
	HostRestarts& restarts;
};

} // namespace tavik
