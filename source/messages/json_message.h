// Sending and reading the "json" payload of a component message.
#pragma once

#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/vstcomponentbase.h"

#include <string>

namespace tavik {

/** Sends message `id` carrying `payload` (text or bytes) as its "json"
 *  attribute to the sender's peer. kResultFalse when the host gives no
 *  message object or there is no peer. */
Steinberg::tresult sendJsonMessage (const Steinberg::Vst::ComponentBase& sender, const char* id,
                                    const std::string& payload);

/** The "json" attribute of `message` into `payload`; false (and `payload`
 *  empty) when the message, its attributes or the attribute are missing. */
bool readJsonPayload (Steinberg::Vst::IMessage* message, std::string& payload);

} // namespace tavik
