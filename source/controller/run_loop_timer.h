// A repeating timer on the host's main-thread run loop. On Linux a plug-in
// has no run loop of its own: the host's IRunLoop (offered by its context
// or by the editor's frame) is the only way to run code on its main thread,
// so every clock of ours is one of these.
#pragma once

#include "pluginterfaces/gui/iplugview.h"

#include <atomic>
#include <functional>

namespace tavik {

class RunLoopTimer : public Steinberg::Linux::ITimerHandler
{
public:
	/** A new timer (reference count 1) calling `tick` on every fire. */
	static RunLoopTimer* create (std::function<void ()> tick);

	/** Registers with `loop` every `milliseconds`; false without a loop or
	 *  when the host refuses. A running registration is replaced. */
	bool start (Steinberg::Linux::IRunLoop* loop, Steinberg::uint64 milliseconds);
	void stop ();
	bool running () const { return loop != nullptr; }

	void PLUGIN_API onTimer () override;
	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID wanted, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef () override;
	Steinberg::uint32 PLUGIN_API release () override;

private:
	explicit RunLoopTimer (std::function<void ()> callback) : tick (std::move (callback)) {}
	virtual ~RunLoopTimer () { stop (); }

	std::function<void ()> tick;
	Steinberg::Linux::IRunLoop* loop = nullptr;
	std::atomic<Steinberg::uint32> references {1};
};

/** The run loop the latest controller found in its host's context, for
 *  clocks asked for without one (the exported cadence clock). */
void rememberHostRunLoop (Steinberg::Linux::IRunLoop* loop);
Steinberg::Linux::IRunLoop* rememberedHostRunLoop ();

} // namespace tavik
