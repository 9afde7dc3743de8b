// What the editor registers with the host's run loop: one object that is
// both the socket's event handler and the view's timer, forwarding to
// callbacks the view sets. Hosts keep a reference while registered, so it
// is reference-counted on its own and outlives the view if a host is slow
// to let go; cut() makes it inert.
#pragma once

#include "pluginterfaces/gui/iplugview.h"

#include <atomic>
#include <functional>

namespace tavik {

class RunLoopClient : public Steinberg::Linux::IEventHandler, public Steinberg::Linux::ITimerHandler
{
public:
	/** A new client (reference count 1). */
	static RunLoopClient* create (std::function<void ()> readable, std::function<void ()> timer);

	/** Registers `fd` and a timer of `milliseconds` with `loop`. */
	bool start (Steinberg::Linux::IRunLoop* loop, int fd, Steinberg::uint64 milliseconds);
	/** Unregisters both and drops the callbacks. */
	void cut ();

	void PLUGIN_API onFDIsSet (Steinberg::Linux::FileDescriptor fd) override;
	void PLUGIN_API onTimer () override;
	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID wanted, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef () override;
	Steinberg::uint32 PLUGIN_API release () override;

private:
	RunLoopClient (std::function<void ()> readable, std::function<void ()> timer)
		: onReadable (std::move (readable)), onTick (std::move (timer))
	{
	}
	virtual ~RunLoopClient () { cut (); }
	void unregister ();

	std::function<void ()> onReadable;
	std::function<void ()> onTick;
	Steinberg::Linux::IRunLoop* loop = nullptr;
	bool handlerRegistered = false;
	bool timerRegistered = false;
	std::atomic<Steinberg::uint32> references {1};
};

} // namespace tavik
