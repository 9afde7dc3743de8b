// The render tool's component handler: a controller's performEdit calls, as
// a host records them, kept until the next block hands them to the
// processor as parameter changes.
#pragma once

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <functional>
#include <utility>
#include <vector>

namespace tavik::tools {

class EditForwarder : public Steinberg::Vst::IComponentHandler
{
public:
	/** Called with "begin", "perform" or "end" for every edit, as it comes. */
	using Observer = std::function<void (const char* kind, Steinberg::Vst::ParamID id, double normalized)>;

	Steinberg::tresult PLUGIN_API beginEdit (Steinberg::Vst::ParamID id) override
	{
		if (observer)
			observer ("begin", id, 0);
		return Steinberg::kResultOk;
	}
	Steinberg::tresult PLUGIN_API performEdit (Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value) override
	{
		pending.emplace_back (id, value);
		if (observer)
			observer ("perform", id, value);
		return Steinberg::kResultOk;
	}
	Steinberg::tresult PLUGIN_API endEdit (Steinberg::Vst::ParamID id) override
	{
		if (observer)
			observer ("end", id, 0);
		return Steinberg::kResultOk;
	}
	Steinberg::tresult PLUGIN_API restartComponent (Steinberg::int32) override { return Steinberg::kResultOk; }

	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID, void** obj) override
	{
		*obj = nullptr;
		return Steinberg::kNoInterface;
	}
	// Owned by the tool for the whole render.
	Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
	Steinberg::uint32 PLUGIN_API release () override { return 1; }

	/** The edits since the last call, in the order they were made. */
	std::vector<std::pair<Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue>> take ()
	{
		std::vector<std::pair<Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue>> edits;
		edits.swap (pending);
		return edits;
	}

	void observe (Observer o) { observer = std::move (o); }

private:
	Observer observer;
	std::vector<std::pair<Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue>> pending;
};

} // namespace tavik::tools
