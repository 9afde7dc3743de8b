#include "run_loop_client.h"

namespace tavik {

using namespace Steinberg;

RunLoopClient* RunLoopClient::create (std::function<void ()> readable, std::function<void ()> timer)
{
	return new RunLoopClient (std::move (readable), std::move (timer));
}

bool RunLoopClient::start (Linux::IRunLoop* runLoop, int fd, uint64 milliseconds)
{
	unregister ();
	if (!runLoop)
		return false;
	loop = runLoop;
	loop->addRef ();
	handlerRegistered = fd >= 0 && loop->registerEventHandler (this, fd) == kResultOk;
	timerRegistered = loop->registerTimer (this, milliseconds) == kResultOk;
	if (handlerRegistered && timerRegistered)
		return true;
	unregister ();
	return false;
}

void RunLoopClient::cut ()
{
	onReadable = nullptr;
	onTick = nullptr;
	unregister ();
}

void RunLoopClient::unregister ()
{
	if (!loop)
		return;
	Linux::IRunLoop* runLoop = loop;
	loop = nullptr;
	// Keep this object alive while the host lets go of it.
	addRef ();
	if (handlerRegistered)
		runLoop->unregisterEventHandler (this);
	if (timerRegistered)
		runLoop->unregisterTimer (this);
	handlerRegistered = timerRegistered = false;
	runLoop->release ();
	release ();
}

void PLUGIN_API RunLoopClient::onFDIsSet (Linux::FileDescriptor)
{
	// A host's run loop is no place for an exception.
	// A copy: the callback may cut this client while it runs.
	const std::function<void ()> call = onReadable;
	if (call)
		try
		{
			call ();
		}
		catch (...)
		{
		}
}

void PLUGIN_API RunLoopClient::onTimer ()
{
	const std::function<void ()> call = onTick;
	if (call)
		try
		{
			call ();
		}
		catch (...)
		{
		}
}

tresult PLUGIN_API RunLoopClient::queryInterface (const TUID wanted, void** obj)
{
	if (!obj)
		return kInvalidArgument;
	if (FUnknownPrivate::iidEqual (wanted, Linux::IEventHandler::iid) ||
	    FUnknownPrivate::iidEqual (wanted, FUnknown::iid))
	{
		addRef ();
		*obj = static_cast<Linux::IEventHandler*> (this);
		return kResultOk;
	}
	if (FUnknownPrivate::iidEqual (wanted, Linux::ITimerHandler::iid))
	{
		addRef ();
		*obj = static_cast<Linux::ITimerHandler*> (this);
		return kResultOk;
	}
	*obj = nullptr;
	return kNoInterface;
}

uint32 PLUGIN_API RunLoopClient::addRef () { return ++references; }

uint32 PLUGIN_API RunLoopClient::release ()
{
	const uint32 left = --references;
	if (left == 0)
		delete this;
	return left;
}

} // namespace tavik
