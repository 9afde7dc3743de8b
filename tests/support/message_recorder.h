// The other end of a component connection in tests: keeps every message it
// is sent, with its "json" payload and its "reset" attribute.
#pragma once

#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/vstcomponentbase.h"

#include <string>
#include <vector>

namespace tavik::test {

class MessageRecorder : public Steinberg::Vst::ComponentBase
{
public:
	Steinberg::tresult PLUGIN_API notify (Steinberg::Vst::IMessage* message) override
	{
		ids.push_back (message->getMessageID ());
		const void* data = nullptr;
		Steinberg::uint32 size = 0;
		std::string payload;
		if (message->getAttributes ()->getBinary ("json", data, size) == Steinberg::kResultOk)
			payload.assign (static_cast<const char*> (data), size);
		payloads.push_back (payload);
		Steinberg::int64 reset = -1;
		message->getAttributes ()->getInt ("reset", reset);
		resets.push_back (reset);
		return Steinberg::kResultOk;
	}
	const std::string* last (const std::string& id) const
	{
		for (size_t i = ids.size (); i-- > 0;)
			if (ids[i] == id)
				return &payloads[i];
		return nullptr;
	}
	size_t count (const std::string& id) const
	{
		size_t n = 0;
		for (const std::string& i : ids)
			n += i == id;
		return n;
	}
	std::vector<std::string> ids, payloads;
	std::vector<Steinberg::int64> resets;
};

} // namespace tavik::test
