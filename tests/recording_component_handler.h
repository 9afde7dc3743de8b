// A host's component handler for tests: records the edit protocol and the
// restart requests a controller makes.
#pragma once

#include "pluginterfaces/vst/ivsteditcontroller.h"

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

} // namespace tavik::test
