#include "tavik_processor.h"

#include "host_call.h"
#include "json_message.h"
#include "plugin_ids.h"
#include "plugin_messages.h"
#include "processor_messages.h"
#include "state_stream.h"

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstring>

namespace tavik {

using namespace Steinberg;
using namespace Steinberg::Vst;

TavikProcessor::TavikProcessor () : processorSession (kernelEngine, [this] { sendRuntimeDiagnostics (false); })
{
	setControllerClass (TavikControllerUID);
}

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
	if (!message)
		return kInvalidArgument;
	return guardedHostCall ([&] () -> tresult {
		const char* id = message->getMessageID ();
		if (!id)
			return kInvalidArgument;
		const tresult handled = handleMessage (message, id);
		if (handled != kNotImplemented)
			return handled;
		// The base reads the attributes without checking them.
		if (!message->getAttributes ())
			return kInvalidArgument;
		return AudioEffect::notify (message);
	});
}

namespace {

// The shared handler's answers, as messages to the controller.
class MessageReplies : public ProcessorReplySink
{
public:
	explicit MessageReplies (const ComponentBase& processor) : sender (processor) {}
	void reply (const char* id, const std::string& payload) override { sendJsonMessage (sender, id, payload); }

private:
	const ComponentBase& sender;
};

} // namespace

tresult TavikProcessor::handleMessage (IMessage* message, const char* id)
{
	std::string payload;
	ProcessorMessage incoming;
	incoming.id = id;
	if (std::strcmp (id, messages::TRANSPORT_POLL) == 0)
	{
		IAttributeList* attributes = message->getAttributes ();
		int64 reset = 0;
		incoming.reset = attributes && attributes->getInt ("reset", reset) == kResultOk && reset != 0;
	}
	else if (readJsonPayload (message, payload))
		incoming.payload = &payload;
	MessageReplies replies (*this);
	switch (handleProcessorMessage (processorSession, incoming, replies))
	{
		case ProcessorMessageOutcome::Handled: return kResultOk;
		case ProcessorMessageOutcome::Refused: return kResultFalse;
		case ProcessorMessageOutcome::Unknown: break;
	}
	return kNotImplemented;
}

tresult PLUGIN_API TavikProcessor::getState (IBStream* stream)
{
	if (!stream)
		return kResultFalse;
	return guardedHostCall ([&] () -> tresult {
		if (kernelEngine.hasUndrainedDiagnostics ())
			sendRuntimeDiagnostics (false);
		return writeStateStream (stream, processorSession.writeState ());
	});
}

tresult PLUGIN_API TavikProcessor::setState (IBStream* stream)
{
	return restoreFromStateStream (
		stream, [&] (const char* text, size_t length) { return processorSession.restoreState (text, length); });
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
		clearReportedSetupFailure ();
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
		if (state)
			clearReportedSetupFailure ();
		refreshHostFacts ();
		return kResultOk;
	});
}

uint32 PLUGIN_API TavikProcessor::getLatencySamples () { return kernelEngine.latencySamples (); }

void TavikProcessor::queueParameterChanges (IParameterChanges* changes, bool takeControllers)
{
	if (!changes)
		return;
	if (takeControllers)
		for (IParamValueQueue*& queue : hostQueues)
			queue = nullptr;
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
		uint32_t channel = 0;
		uint32_t number = 0;
		const bool isController = midiControllerOfParam (id, channel, number);
		if (isController && !takeControllers)
			continue;
		for (int32 p = 0; p < points; ++p)
		{
			int32 offset = 0;
			ParamValue value = 0;
			if (queue->getPoint (p, offset, value) != kResultOk)
				continue;
			if (id < TAVIK_PARAM_COUNT)
			{
				kernelEngine.pushParamNormalized (id, value, offset);
				if (takeControllers)
					hostQueues[id] = queue;
			}
			else if (isController)
				blockRouter.addControllerNormalized (offset, channel, number, value);
		}
	}
}

namespace {

// Tells the host the value a controller gave a parameter, at its frame, so
// its automation, its generic controls and our controller follow.
void reportControllerValue (void* context, uint32_t paramIndex, int frame, double normalized)
{
	auto* changes = static_cast<IParameterChanges*> (context);
	if (!changes)
		return;
	int32 queueIndex = 0;
	IParamValueQueue* queue = changes->addParameterData (paramIndex, queueIndex);
	int32 pointIndex = 0;
	if (queue)
		queue->addPoint (frame, normalized, pointIndex);
}

// The host's last point of a parameter at or before `frame`: its points
// come in frame order, so a binary search finds it.
bool hostChangeAt (void* context, uint32_t paramIndex, int frame, int& changeFrame, double& normalized)
{
	auto* const* queues = static_cast<IParamValueQueue* const*> (context);
	IParamValueQueue* queue = paramIndex < TAVIK_PARAM_COUNT ? queues[paramIndex] : nullptr;
	if (!queue)
		return false;
	int32 lo = 0;
	int32 hi = queue->getPointCount ();
	while (lo < hi)
	{
		const int32 mid = lo + (hi - lo) / 2;
		int32 offset = 0;
		ParamValue value = 0;
		if (queue->getPoint (mid, offset, value) == kResultOk && offset <= frame)
			lo = mid + 1;
		else
			hi = mid;
	}
	int32 offset = 0;
	ParamValue value = 0;
	if (lo == 0 || queue->getPoint (lo - 1, offset, value) != kResultOk)
		return false;
	changeFrame = offset;
	normalized = value;
	return true;
}

} // namespace

void TavikProcessor::routeNotesAndControllers (IEventList* events, IParameterChanges* outputChanges)
{
	blockRouter.beginNotes (reportControllerValue, outputChanges);
	const int32 count = events ? events->getEventCount () : 0;
	for (int32 i = 0; i < count; ++i)
	{
		Event e {};
		if (events->getEvent (i, e) != kResultOk)
			continue;
		blockRouter.advanceTo (e.sampleOffset);
		const uint32_t route = KernelEngine::eventRouteForInput (std::max<int32> (e.busIndex, 0));
		if (e.type == Event::kNoteOffEvent)
			blockRouter.noteOff (e.noteOff.pitch, e.sampleOffset, route, static_cast<uint32_t> (e.noteOff.channel));
		else if (e.type == Event::kNoteOnEvent)
			blockRouter.noteOn (e.noteOn.pitch, e.noteOn.velocity, e.sampleOffset, route,
			                    static_cast<uint32_t> (e.noteOn.channel));
	}
	blockRouter.finish ();
}

tresult PLUGIN_API TavikProcessor::process (ProcessData& data)
{
	if (data.symbolicSampleSize != kSample32)
		return kResultFalse;
	queueParameterChanges (data.inputParameterChanges, true);
	ccRouter.beginBlock (hostChangeAt, hostQueues);
	routeNotesAndControllers (data.inputEvents, data.outputParameterChanges);
	const tresult result = renderBlock (data);
	ccRouter.endBlock ();
	return result;
}

tresult TavikProcessor::renderBlock (ProcessData& data)
{
	if (data.numSamples <= 0)
	{
		kernelEngine.processBlock (nullptr, 0, nullptr, 0, 0);
		queueParameterChanges (data.inputParameterChanges, false);
		ccRouter.requeueResults ();
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

void TavikProcessor::clearReportedSetupFailure ()
{
	// The editor shows a failed setup until it hears that a later one worked.
	if (reportedSetupFailure)
		sendRuntimeDiagnostics (false);
}

void TavikProcessor::sendRuntimeDiagnostics (bool failed)
{
	reportedSetupFailure = failed;
	sendJsonMessage (*this, messages::RUNTIME_DIAGNOSTICS, runtimeHealthPayload (kernelEngine, failed, TARGET_VST3));
}

void TavikProcessor::refreshHostFacts ()
{
	HostFacts fresh;
	std::memcpy (fresh.hostName, facts.hostName, sizeof fresh.hostName - 1);
	std::memcpy (fresh.hostVersion, facts.hostVersion, sizeof fresh.hostVersion - 1);
	fresh.validatorHost = facts.validatorHost;
	captureHostFacts (fresh);
	facts = fresh;
	sendJsonMessage (*this, messages::HOST_FACTS, hostFactsPayload (facts));
}

void TavikProcessor::captureHostFacts (HostFacts& out)
{
	out.sampleRate = processSetup.sampleRate;
	out.maxBlockFrames = processSetup.maxSamplesPerBlock;
	out.processMode = processSetup.processMode == kOffline ? 1 : processSetup.processMode == kPrefetch ? 2 : 0;
	out.sampleSize = processSetup.symbolicSampleSize == kSample64 ? 64 : 32;
	out.latencySamples = static_cast<int32_t> (getLatencySamples ());
	const auto addBuses = [&] (BusList& list, bool isInput) {
		for (size_t i = 0; i < list.size (); ++i)
		{
			auto* bus = FCast<AudioBus> (list.at (i));
			if (!bus)
				continue;
			const SpeakerArrangement arrangement = bus->getArrangement ();
			char name[32];
			std::snprintf (name, sizeof name, "%s%d", isInput ? "in" : "out", static_cast<int> (i));
			const char* layout = arrangement == SpeakerArr::kStereo ? "stereo"
			                     : arrangement == SpeakerArr::kMono ? "mono"
			                                                        : nullptr;
			out.addBus (name, isInput, static_cast<int32_t> (std::bitset<64> (arrangement).count ()), bus->isActive (),
			            layout);
		}
	};
	addBuses (audioInputs, true);
	addBuses (audioOutputs, false);
}

} // namespace tavik
