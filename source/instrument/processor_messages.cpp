#include "processor_messages.h"

#include "plugin_messages.h"
#include "product_identity.h"
#include "runtime_diagnostics.h"

#include <cstring>

namespace tavik {

ProcessorMessageOutcome handleProcessorMessage (ProcessorSession& session, const ProcessorMessage& message,
                                                ProcessorReplySink& replies)
{
	const char* id = message.id;
	if (!id)
		return ProcessorMessageOutcome::Unknown;
	const std::string* payload = message.payload;
	const auto is = [id] (const char* name) { return std::strcmp (id, name) == 0; };
	if (is (messages::CC_MAP))
	{
		if (payload)
			session.adoptCcMap (*payload);
		return ProcessorMessageOutcome::Handled;
	}
	if (is (messages::PAD_OVERRIDES))
	{
		if (payload)
			session.adoptPadOverrides (*payload);
		return ProcessorMessageOutcome::Handled;
	}
	if (is (messages::LOAD_RUNTIME_BANK))
	{
		replies.reply (messages::RUNTIME_BANK_RESULT,
		               session.loadRuntimeBankRequest (payload ? *payload : std::string ()));
		return ProcessorMessageOutcome::Handled;
	}
	if (is (messages::PRESET_LOADED))
	{
		session.notePresetLoaded (payload);
		return ProcessorMessageOutcome::Handled;
	}
	if (is (messages::TRANSPORT_POLL))
	{
		if (message.reset)
			session.resetTransportSnapshot ();
		return ProcessorMessageOutcome::Handled;
	}
	if (is (messages::STATE_REQUEST))
	{
		replies.reply (messages::COMPONENT_STATE, session.writeState ());
		return ProcessorMessageOutcome::Handled;
	}
	if (is (messages::FEED_DRAIN))
	{
		const std::string moved = session.drainCcActivity ();
		if (!moved.empty ())
			replies.reply (messages::MIDI_CC, moved);
		return ProcessorMessageOutcome::Handled;
	}
	if (is (messages::RESET_COUNTERS))
		return ProcessorMessageOutcome::Handled;
	if (is (messages::STAGE_RESOURCE_SLOT))
		return ProcessorMessageOutcome::Refused;
	return ProcessorMessageOutcome::Unknown;
}

std::string runtimeHealthPayload (KernelEngine& engine, bool failed, DiagnosticTarget target)
{
	engine.drainRuntimeDiagnostics ();
	const tavik_runtime_diagnostic_ring ring = engine.diagnosticRing ();
	return writeRuntimeHealthJson (ring, PRODUCT_PACKAGE_ID, PRODUCT_VERSION, engine.hostRate (),
	                               engine.maxBlockFrames (), failed, diagnosticTargetName (target));
}

std::string hostFactsPayload (const HostFacts& facts)
{
	return std::string (reinterpret_cast<const char*> (&facts), sizeof facts);
}

} // namespace tavik
