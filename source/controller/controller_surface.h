// What the controller's logic needs of the SDK side: the host-visible
// parameter values, the host's edit protocol, component restarts and
// messages to the processor. TavikController implements it over the SDK;
// tests implement it with a recording fake.
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

class ControllerSurface
{
public:
	virtual ~ControllerSurface () = default;

	/** The current normalized value of a parameter (0 for an unknown id). */
	virtual double normalizedValue (uint32_t id) const = 0;
	/** Sets the value of the parameter object only (no echo rule, no
	 *  message); false when the id is unknown. */
	virtual bool setParameterValue (uint32_t id, double normalized) = 0;

	virtual void beginEdit (uint32_t id) = 0;
	virtual void performEdit (uint32_t id, double normalized) = 0;
	virtual void endEdit (uint32_t id) = 0;
	/** Asks the host to re-read something (the SDK's restart flags). */
	virtual void restartComponent (int32_t flags) = 0;

	/** Sends message `id` to the processor with `payload` as its "json"
	 *  attribute (none when null); false when no message could be made. */
	virtual bool sendToProcessor (const char* id, const std::string* payload) = 0;
	/** Sends "tavik.diag.transportPoll" with its integer "reset". */
	virtual bool sendTransportPoll (bool reset) = 0;
};

} // namespace tavik
