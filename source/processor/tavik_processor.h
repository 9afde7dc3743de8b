// The plug-in's audio processor component: buses, format negotiation,
// activation and the process call, rendering through its KernelEngine.
// No call a host makes lets an exception out, and arguments the SDK base
// classes would dereference unchecked are checked here.
#pragma once

#include "block_router.h"
#include "cc_router.h"
#include "host_facts.h"
#include "kernel_engine.h"
#include "processor_session.h"

#include "public.sdk/source/vst/vstaudioeffect.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <cstdint>

namespace tavik {

class TavikProcessor : public Steinberg::Vst::AudioEffect
{
public:
	TavikProcessor ();

	/** Factory entry: a new processor as its IAudioProcessor facet. */
	static Steinberg::FUnknown* createInstance (void* context);

	Steinberg::tresult PLUGIN_API initialize (Steinberg::FUnknown* context) override;
	Steinberg::tresult PLUGIN_API terminate () override;
	Steinberg::tresult PLUGIN_API getControllerClassId (Steinberg::TUID classID) override;
	Steinberg::tresult PLUGIN_API notify (Steinberg::Vst::IMessage* message) override;
	Steinberg::tresult PLUGIN_API setBusArrangements (Steinberg::Vst::SpeakerArrangement* inputs,
	                                                  Steinberg::int32 numIns,
	                                                  Steinberg::Vst::SpeakerArrangement* outputs,
	                                                  Steinberg::int32 numOuts) override;
	Steinberg::tresult PLUGIN_API canProcessSampleSize (Steinberg::int32 symbolicSampleSize) override;
	Steinberg::tresult PLUGIN_API setupProcessing (Steinberg::Vst::ProcessSetup& setup) override;
	Steinberg::tresult PLUGIN_API setActive (Steinberg::TBool state) override;
	Steinberg::tresult PLUGIN_API process (Steinberg::Vst::ProcessData& data) override;
	Steinberg::uint32 PLUGIN_API getLatencySamples () override;
	Steinberg::tresult PLUGIN_API getState (Steinberg::IBStream* state) override;
	Steinberg::tresult PLUGIN_API setState (Steinberg::IBStream* state) override;

	/** Drains the engine's realtime diagnostics and sends the runtime-health
	 *  report to the controller ("tavik.runtimeDiagnostics"). */
	void sendRuntimeDiagnostics (bool failed);
	void clearReportedSetupFailure ();

	/** Rebuilds the host facts from the processing setup and the buses and
	 *  sends them to the controller ("tavik.diag.hostFacts"). */
	void refreshHostFacts ();
	void captureHostFacts (HostFacts& facts);

	KernelEngine& engine () { return kernelEngine; }
	ProcessorSession& session () { return processorSession; }
	const CcRouter& controllers () const { return ccRouter; }
	const HostFacts& hostFacts () const { return facts; }

	OBJ_METHODS (TavikProcessor, AudioEffect)

private:
	/** Queues the product parameters' changes; with `takeControllers`, the
	 *  hidden controller parameters' changes are kept for routing. */
	void queueParameterChanges (Steinberg::Vst::IParameterChanges* changes, bool takeControllers);
	/** Routes the block's notes and controller messages in frame order (a
	 *  controller before a note at its frame). */
	void routeNotesAndControllers (Steinberg::Vst::IEventList* events,
	                               Steinberg::Vst::IParameterChanges* outputChanges);
	Steinberg::tresult renderBlock (Steinberg::Vst::ProcessData& data);

	Steinberg::tresult handleMessage (Steinberg::Vst::IMessage* message, const char* id);

	KernelEngine kernelEngine;
	ProcessorSession processorSession;
	CcRouter ccRouter {kernelEngine, processorSession.ccMapStore (), processorSession.ccActivity ()};
	BlockRouter blockRouter {ccRouter};
	/** The host's queue of each product parameter in the current block. */
	Steinberg::Vst::IParamValueQueue* hostQueues[TAVIK_PARAM_COUNT] = {};
	HostFacts facts;
	bool initialised = false;
	bool reportedSetupFailure = false; // the last health report said setup failed
};

} // namespace tavik
