#include "run_loop_timer.h"

namespace tavik {

using namespace Steinberg;

RunLoopTimer* RunLoopTimer::create (std::function<void ()> tick) { return new RunLoopTimer (std::move (tick)); }

bool RunLoopTimer::start (Linux::IRunLoop* runLoop, uint64 milliseconds)
{
	stop ();
	if (!runLoop || runLoop->registerTimer (this, milliseconds) != kResultOk)
		return false;
	runLoop->addRef ();
	loop = runLoop;
	return true;
}

void RunLoopTimer::stop ()
{
	if (!loop)
		return;
	Linux::IRunLoop* runLoop = loop;
	loop = nullptr;
	runLoop->unregisterTimer (this);
	runLoop->release ();
}

void PLUGIN_API RunLoopTimer::onTimer ()
{
	if (!tick)
		return;
	// A host's run loop is no place for an exception.
	try
	{
		tick ();
	}
	catch (...)
	{
	}
}

tresult PLUGIN_API RunLoopTimer::queryInterface (const TUID wanted, void** obj)
{
	if (!obj)
		return kInvalidArgument;
	if (FUnknownPrivate::iidEqual (wanted, Linux::ITimerHandler::iid) ||
	    FUnknownPrivate::iidEqual (wanted, FUnknown::iid))
	{
		addRef ();
		*obj = static_cast<Linux::ITimerHandler*> (this);
		return kResultOk;
	}
	*obj = nullptr;
	return kNoInterface;
}

uint32 PLUGIN_API RunLoopTimer::addRef () { return ++references; }

uint32 PLUGIN_API RunLoopTimer::release ()
{
	const uint32 left = --references;
	if (left == 0)
		delete this;
	return left;
}

namespace {

// Main thread only, as every caller is.
Linux::IRunLoop* hostRunLoop = nullptr;

} // namespace

void rememberHostRunLoop (Linux::IRunLoop* loop) { hostRunLoop = loop; }

Linux::IRunLoop* rememberedHostRunLoop () { return hostRunLoop; }

} // namespace tavik
