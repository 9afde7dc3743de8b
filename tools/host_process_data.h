// Host-side containers a tool hands to a plug-in's process call: the
// parameter changes and the event list of one block.
#pragma once

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <vector>

namespace tavik::tools {

class HostParamValueQueue final : public Steinberg::Vst::IParamValueQueue
{
public:
	explicit HostParamValueQueue (Steinberg::Vst::ParamID parameterId) : id (parameterId) {}

	Steinberg::Vst::ParamID PLUGIN_API getParameterId () override { return id; }
	Steinberg::int32 PLUGIN_API getPointCount () override { return static_cast<Steinberg::int32> (points.size ()); }
	Steinberg::tresult PLUGIN_API getPoint (Steinberg::int32 index, Steinberg::int32& sampleOffset,
	                                        Steinberg::Vst::ParamValue& value) override;
	Steinberg::tresult PLUGIN_API addPoint (Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
	                                        Steinberg::int32& index) override;

	// Owned by its HostParameterChanges, never by the plug-in.
	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID queried, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
	Steinberg::uint32 PLUGIN_API release () override { return 1; }

private:
	struct Point
	{
		Steinberg::int32 offset;
		Steinberg::Vst::ParamValue value;
	};
	Steinberg::Vst::ParamID id;
	std::vector<Point> points;
};

class HostParameterChanges final : public Steinberg::Vst::IParameterChanges
{
public:
	/** Empties the container for the next block. */
	void clear () { queues.clear (); }

	Steinberg::int32 PLUGIN_API getParameterCount () override { return static_cast<Steinberg::int32> (queues.size ()); }
	Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData (Steinberg::int32 index) override;
	Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData (const Steinberg::Vst::ParamID& id,
	                                                               Steinberg::int32& index) override;

	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID queried, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
	Steinberg::uint32 PLUGIN_API release () override { return 1; }

private:
	std::vector<HostParamValueQueue> queues;
};

class HostEventList final : public Steinberg::Vst::IEventList
{
public:
	void clear () { events.clear (); }

	Steinberg::int32 PLUGIN_API getEventCount () override { return static_cast<Steinberg::int32> (events.size ()); }
	Steinberg::tresult PLUGIN_API getEvent (Steinberg::int32 index, Steinberg::Vst::Event& e) override;
	Steinberg::tresult PLUGIN_API addEvent (Steinberg::Vst::Event& e) override;

	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID queried, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
	Steinberg::uint32 PLUGIN_API release () override { return 1; }

private:
	std::vector<Steinberg::Vst::Event> events;
};

} // namespace tavik::tools
