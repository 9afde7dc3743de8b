// The editor's inbound message envelope.
#include "bridge_message.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	tavik::BridgeMessage message;
	tavik::parseBridgeMessage (reinterpret_cast<const char*> (data), size, message);
	return 0;
}
