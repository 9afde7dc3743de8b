// What the processor does with each message from its controller, and what
// it answers, whichever plug-in format carries the messages: the VST 3
// processor's connection point and the LV2 worker both call it, so both
// front ends behave and reply byte for byte alike.
#pragma once

#include "hello_blocks.h"
#include "host_facts.h"
#include "processor_session.h"

#include <string>

namespace tavik {

/** Where the processor's answers go: message `id` with `payload` (text or
 *  bytes) for the controller. */
class ProcessorReplySink
{
public:
	virtual ~ProcessorReplySink () = default;
	virtual void reply (const char* id, const std::string& payload) = 0;
};

/** One message from the controller. */
struct ProcessorMessage
{
	const char* id = nullptr;
	/** The payload; null when the message carried none that could be read. */
	const std::string* payload = nullptr;
	/** "tavik.diag.transportPoll"'s integer "reset". */
	bool reset = false;
};

enum class ProcessorMessageOutcome
{
	Handled,
	Refused, // a message the processor knows and declines
	Unknown, // not one of the processor's messages
};

/** Does what `message` asks of `session` and sends its answers to `replies`. */
ProcessorMessageOutcome handleProcessorMessage (ProcessorSession& session, const ProcessorMessage& message,
                                                ProcessorReplySink& replies);

/** The runtime-health report ("tavik.runtimeDiagnostics") after draining the
 *  engine's realtime diagnostics; `failed` says the last setup failed,
 *  `target` which plug-in format reports. */
std::string runtimeHealthPayload (KernelEngine& engine, bool failed, DiagnosticTarget target);

/** "tavik.diag.hostFacts"'s payload: the facts' bytes as they are. */
std::string hostFactsPayload (const HostFacts& facts);

} // namespace tavik
