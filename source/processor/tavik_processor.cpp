#include "tavik_processor.h"

#include "host_call.h"
#include "json_message.h"
#include "plugin_ids.h"
#include "plugin_messages.h"
#include "runtime_diagnostics.h"

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <cstring>

namespace tavik {

using namespace Steinberg;
using namespace Steinberg::Vst;

TavikProcessor::TavikProcessor () { setControllerClass (TavikControllerUID); }

FUnknown* TavikProcessor::createInstance (void*) { return static_cast<IAudioProcessor*> (new TavikProcessor ()); }

tresult PLUGIN_API TavikProcessor::initialize (FUnknown* context)
{
	// The SDK base refuses a second initialise only when the first had a
	// host context; without one, the buses would be added twice.
	if (initialised)
		return kResultFalse;
	return guardedHostCall ([&] () -> tresult {
		const tresult result = AudioEffect::initialize (context);
		if (result != kResultOk)
			return result;
		initialised = true;
		addAudioOutput (STR16 ("Stereo Out"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
		for (int i = 0; i < KernelEngine::eventInputCount (); ++i)
			addEventInput (STR16 ("Event In"), 1, kMain, BusInfo::kDefaultActive);
		for (int i = 0; i < KernelEngine::eventOutputCount (); ++i)
			addEventOutput (STR16 ("Event Out"), 1, kMain, BusInfo::kDefaultActive);
		return kResultOk;
	});
}

tresult PLUGIN_API TavikProcessor::terminate ()
{
	initialised = false;
	return guardedHostCall ([&] { return AudioEffect::terminate (); });
}

tresult PLUGIN_API TavikProcessor::getControllerClassId (TUID classID)
{
	if (!classID)
		return kInvalidArgument;
	return AudioEffect::getControllerClassId (classID);
}

tresult PLUGIN_API TavikProcessor::notify (IMessage* message)
{
	if (!message || !message->getAttributes ())
		return kInvalidArgument;
	return guardedHostCall ([&] { return AudioEffect::notify (message); });
}

tresult PLUGIN_API TavikProcessor::setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
                                                       SpeakerArrangement* outputs, int32 numOuts)
{
	if (numIns != 0 || numOuts != 1 || !outputs || outputs[0] != SpeakerArr::kStereo)
		return kResultFalse;
	const tresult result = AudioEffect::setBusArrangements (inputs, 0, outputs, 1);
	if (result == kResultOk)
		refreshHostFacts ();
	return result;
}

tresult PLUGIN_API TavikProcessor::canProcessSampleSize (int32 symbolicSampleSize)
{
	return symbolicSampleSize == kSample32 ? kResultOk : kResultFalse;
}

tresult PLUGIN_API TavikProcessor::setupProcessing (ProcessSetup& setup)
{
	return guardedHostCall ([&] () -> tresult {
		const tresult result = AudioEffect::setupProcessing (setup);
		if (result != kResultOk)
			return result;
		if (!kernelEngine.setup (setup.sampleRate, setup.maxSamplesPerBlock))
		{
			sendRuntimeDiagnostics (true);
			return kResultFalse;
		}
		refreshHostFacts ();
		return kResultOk;
	});
}

tresult PLUGIN_API TavikProcessor::setActive (TBool state)
{
	return guardedHostCall ([&] () -> tresult {
		if (state && !kernelEngine.setup (processSetup.sampleRate, processSetup.maxSamplesPerBlock))
		{
			sendRuntimeDiagnostics (true);
			return kResultFalse;
		}
		const tresult result = AudioEffect::setActive (state);
		if (result != kResultOk)
			return result;
		refreshHostFacts ();
		return kResultOk;
	});
}

uint32 PLUGIN_API TavikProcessor::getLatencySamples () { return kernelEngine.latencySamples (); }

void TavikProcessor::queueParameterChanges (IParameterChanges* changes)
{
	if (!changes)
		return;
	const int32 queues = changes->getParameterCount ();
	for (int32 q = 0; q < queues; ++q)
	{
		IParamValueQueue* queue = changes->getParameterData (q);
		if (!queue)
			continue;
		const int32 points = queue->getPointCount ();
		if (points <= 0)
			continue;
		const ParamID id = queue->getParameterId ();
		for (int32 p = 0; p < points; ++p)
		{
			int32 offset = 0;
			ParamValue value = 0;
			if (queue->getPoint (p, offset, value) != kResultOk)
				continue;
			if (id < TAVIK_PARAM_COUNT)
				kernelEngine.pushParamNormalized (id, value, offset);
		}
	}
}

void TavikProcessor::queueNoteEvents (IEventList* events)
{
	if (!events)
		return;
	const int32 count = events->getEventCount ();
	for (int32 i = 0; i < count; ++i)
	{
		Event e {};
		if (events->getEvent (i, e) != kResultOk)
			continue;
		const uint32_t route = KernelEngine::eventRouteForInput (std::max<int32> (e.busIndex, 0));
		if (e.type == Event::kNoteOffEvent)
			kernelEngine.pushNoteOff (e.noteOff.pitch, e.sampleOffset, route,
			                          static_cast<uint32_t> (e.noteOff.channel));
		else if (e.type == Event::kNoteOnEvent)
		{
			if (e.noteOn.velocity > 0)
				kernelEngine.pushNoteOn (e.noteOn.pitch, e.noteOn.velocity, e.sampleOffset, route,
				                         static_cast<uint32_t> (e.noteOn.channel));
			else
				kernelEngine.pushNoteOff (e.noteOn.pitch, e.sampleOffset, route,
				                          static_cast<uint32_t> (e.noteOn.channel));
		}
	}
}

tresult PLUGIN_API TavikProcessor::process (ProcessData& data)
{
	if (data.symbolicSampleSize != kSample32)
		return kResultFalse;
	queueParameterChanges (data.inputParameterChanges);
	queueNoteEvents (data.inputEvents);

	if (data.numSamples <= 0)
	{
		kernelEngine.processBlock (nullptr, 0, nullptr, 0, 0);
		queueParameterChanges (data.inputParameterChanges);
		return kResultOk;
	}
	if (data.numOutputs < 1 || !data.outputs || !data.outputs[0].channelBuffers32 || data.outputs[0].numChannels < 1)
		return kResultFalse;
	const float* const* inputs = nullptr;
	int inputChannels = 0;
	if (data.numInputs > 0 && data.inputs && data.inputs[0].channelBuffers32)
	{
		inputs = data.inputs[0].channelBuffers32;
		inputChannels = data.inputs[0].numChannels;
	}
	AudioBusBuffers& out = data.outputs[0];
	kernelEngine.processBlock (inputs, inputChannels, out.channelBuffers32, out.numChannels, data.numSamples);

	out.silenceFlags = 0;
	const int32 flagged = std::min<int32> (out.numChannels, 63);
	for (int32 c = 0; c < flagged; ++c)
	{
		const float* channel = out.channelBuffers32[c];
		bool silent = true;
		if (channel)
			for (int32 i = 0; i < data.numSamples && silent; ++i)
				silent = channel[i] == 0.0f;
		if (silent)
			out.silenceFlags |= uint64 (1) << c;
	}
	return kernelEngine.failed () ? kResultFalse : kResultOk;
}

void TavikProcessor::sendRuntimeDiagnostics (bool failed)
{
	kernelEngine.drainRuntimeDiagnostics ();
	const tavik_runtime_diagnostic_ring ring = kernelEngine.diagnosticRing ();
	const std::string json = writeRuntimeHealthJson (ring, PRODUCT_PACKAGE_ID, PRODUCT_VERSION,
	                                                 kernelEngine.hostRate (), kernelEngine.maxBlockFrames (), failed);
	sendJsonMessage (*this, messages::RUNTIME_DIAGNOSTICS, json);
}

void TavikProcessor::refreshHostFacts () {}

} // namespace tavik
