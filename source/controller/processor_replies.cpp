// What the controller takes from the processor's messages, whichever
// plug-in format carried them.
#include "controller_session.h"

#include "plugin_messages.h"

#include <cstring>

namespace tavik {

bool ControllerSession::adoptProcessorMessage (const char* id, const std::string* payload)
{
	if (!id)
		return false;
	const auto is = [id] (const char* name) { return std::strcmp (id, name) == 0; };
	if (is (messages::RUNTIME_BANK_RESULT))
	{
		if (payload)
			bankControl ().adoptRuntimeBankReply (*payload);
	}
	else if (is (messages::LIFECYCLE))
	{
		if (payload)
			adoptLifecycleName (*payload);
	}
	else if (is (messages::TRANSPORT))
	{
		TransportFact fact;
		if (payload && payload->size () == sizeof fact)
		{
			std::memcpy (static_cast<void*> (&fact), payload->data (), sizeof fact);
			adoptTransportFact (fact);
		}
	}
	else if (is (messages::HOST_FACTS))
	{
		HostFacts facts;
		if (payload && payload->size () == sizeof facts)
		{
			std::memcpy (static_cast<void*> (&facts), payload->data (), sizeof facts);
			// Texts from another object are made to end inside their fields.
			facts.hostName[sizeof facts.hostName - 1] = 0;
			facts.hostVersion[sizeof facts.hostVersion - 1] = 0;
			facts.hostPath[sizeof facts.hostPath - 1] = 0;
			if (facts.busCount > HOST_FACTS_MAX_BUSES)
				facts.busCount = HOST_FACTS_MAX_BUSES;
			for (HostBusFact& bus : facts.buses)
			{
				bus.id[sizeof bus.id - 1] = 0;
				bus.layout[sizeof bus.layout - 1] = 0;
			}
			adoptHostFacts (facts);
		}
	}
	else if (is (messages::COMPONENT_STATE))
	{
		if (payload)
			adoptProcessorState (*payload);
	}
	else if (is (messages::MIDI_CC))
	{
		if (payload)
			adoptControllerActivity (*payload);
	}
	else if (is (messages::RUNTIME_DIAGNOSTICS))
	{
		if (payload)
			adoptRuntimeHealth (*payload);
	}
	else if (!is (messages::SIGNAL))
		return false;
	return true;
}

} // namespace tavik
