#include "json_message.h"

#include "plugin_messages.h"

namespace tavik {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult sendJsonMessage (const ComponentBase& sender, const char* id, const std::string& payload)
{
	IPtr<IMessage> message = owned (sender.allocateMessage ());
	if (!message)
		return kResultFalse;
	message->setMessageID (id);
	IAttributeList* attributes = message->getAttributes ();
	if (!attributes || attributes->setBinary (messages::JSON_ATTRIBUTE, payload.data (),
	                                          static_cast<uint32> (payload.size ())) != kResultOk)
		return kResultFalse;
	return sender.sendMessage (message);
}

bool readJsonPayload (IMessage* message, std::string& payload)
{
	payload.clear ();
	IAttributeList* attributes = message ? message->getAttributes () : nullptr;
	const void* data = nullptr;
	uint32 size = 0;
	if (!attributes || attributes->getBinary (messages::JSON_ATTRIBUTE, data, size) != kResultOk)
		return false;
	if (size > 0 && !data)
		return false;
	payload.assign (static_cast<const char*> (data), size);
	return true;
}

} // namespace tavik
