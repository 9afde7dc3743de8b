// A host's component handler for tests: records the edit protocol and the
// restart requests a controller makes.
#pragma once

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tavik::test {

class RecordingHandler : public Steinberg::Vst::IComponentHandler
{
public:
	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID, void** obj) override
	{
		*obj = nullptr;
		return Steinberg::kNoInterface;
	}
	Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
	Steinberg::uint32 PLUGIN_API release () override { return 1; }
	Steinberg::tresult PLUGIN_API beginEdit (Steinberg::Vst::ParamID id) override
	{
		calls.push_back ("begin " + std::to_string (id));
		return Steinberg::kResultOk;
	}
	Steinberg::tresult PLUGIN_API performEdit (Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value) override
	{
		calls.push_back ("perform " + std::to_string (id));
		performed.push_back ({id, value});
		return Steinberg::kResultOk;
	}
	Steinberg::tresult PLUGIN_API endEdit (Steinberg::Vst::ParamID id) override
	{
		calls.push_back ("end " + std::to_string (id));
		return Steinberg::kResultOk;
	}
	Steinberg::tresult PLUGIN_API restartComponent (Steinberg::int32 flags) override
	{
		restarts.push_back (flags);
		return Steinberg::kResultOk;
	}
	std::vector<std::string> calls;
	std::vector<std::pair<Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue>> performed;
	std::vector<Steinberg::int32> restarts;
};

/** A host that holds a non-recursive lock across its calls into the
 *  controller and takes the same lock in restartComponent, as some hosts
 *  do. The lock is timed, so a controller that calls back from inside such
 *  a call makes the test fail (counted in `blocked`) instead of hanging. */
class LockingHandler : public RecordingHandler
{
public:
	/** Runs `call` with the host's lock held, as the host's own code does. */
	template <typename Call>
	void whileLocked (Call&& call)
	{
		ASSERT_TRUE (take ());
		call ();
		give ();
	}

	Steinberg::tresult PLUGIN_API restartComponent (Steinberg::int32 flags) override
	{
		if (!take ())
		{
			++blocked;
			return Steinberg::kResultFalse;
		}
		RecordingHandler::restartComponent (flags);
		give ();
		return Steinberg::kResultOk;
	}

	int blocked = 0;

private:
	bool take ()
	{
		std::unique_lock<std::mutex> guard (mutex);
		if (!freed.wait_for (guard, std::chrono::milliseconds (200), [this] { return !held; }))
			return false;
		held = true;
		return true;
	}
	void give ()
	{
		{
			std::lock_guard<std::mutex> guard (mutex);
			held = false;
		}
		freed.notify_all ();
	}

	std::mutex mutex;
	std::condition_variable freed;
	bool held = false;
};

} // namespace tavik::test
