#include "host_process_data.h"

namespace tavik::tools {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API HostParamValueQueue::getPoint (int32 index, int32& sampleOffset, ParamValue& value)
{
	if (index < 0 || index >= static_cast<int32> (points.size ()))
		return kInvalidArgument;
	sampleOffset = points[static_cast<size_t> (index)].offset;
	value = points[static_cast<size_t> (index)].value;
	return kResultOk;
}

tresult PLUGIN_API HostParamValueQueue::addPoint (int32 sampleOffset, ParamValue value, int32& index)
{
	index = static_cast<int32> (points.size ());
	points.push_back ({sampleOffset, value});
	return kResultOk;
}

tresult PLUGIN_API HostParamValueQueue::queryInterface (const TUID queried, void** obj)
{
	QUERY_INTERFACE (queried, obj, FUnknown::iid, IParamValueQueue)
	QUERY_INTERFACE (queried, obj, IParamValueQueue::iid, IParamValueQueue)
	*obj = nullptr;
	return kNoInterface;
}

IParamValueQueue* PLUGIN_API HostParameterChanges::getParameterData (int32 index)
{
	if (index < 0 || index >= static_cast<int32> (queues.size ()))
		return nullptr;
	return &queues[static_cast<size_t> (index)];
}

IParamValueQueue* PLUGIN_API HostParameterChanges::addParameterData (const ParamID& id, int32& index)
{
	for (size_t i = 0; i < queues.size (); ++i)
	{
		if (queues[i].getParameterId () == id)
		{
			index = static_cast<int32> (i);
			return &queues[i];
		}
	}
	index = static_cast<int32> (queues.size ());
	queues.emplace_back (id);
	return &queues.back ();
}

tresult PLUGIN_API HostParameterChanges::queryInterface (const TUID queried, void** obj)
{
	QUERY_INTERFACE (queried, obj, FUnknown::iid, IParameterChanges)
	QUERY_INTERFACE (queried, obj, IParameterChanges::iid, IParameterChanges)
	*obj = nullptr;
	return kNoInterface;
}

tresult PLUGIN_API HostEventList::getEvent (int32 index, Event& e)
{
	if (index < 0 || index >= static_cast<int32> (events.size ()))
		return kInvalidArgument;
	e = events[static_cast<size_t> (index)];
	return kResultOk;
}

tresult PLUGIN_API HostEventList::addEvent (Event& e)
{
	events.push_back (e);
	return kResultOk;
}

tresult PLUGIN_API HostEventList::queryInterface (const TUID queried, void** obj)
{
	QUERY_INTERFACE (queried, obj, FUnknown::iid, IEventList)
	QUERY_INTERFACE (queried, obj, IEventList::iid, IEventList)
	*obj = nullptr;
	return kNoInterface;
}

} // namespace tavik::tools
