#include "processor_test_host.h"

namespace tavik::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API OutputParameterChanges::Queue::queryInterface (const TUID queried, void** obj)
{
	QUERY_INTERFACE (queried, obj, FUnknown::iid, IParamValueQueue)
	QUERY_INTERFACE (queried, obj, IParamValueQueue::iid, IParamValueQueue)
	*obj = nullptr;
	return kNoInterface;
}

tresult PLUGIN_API OutputParameterChanges::queryInterface (const TUID queried, void** obj)
{
	QUERY_INTERFACE (queried, obj, FUnknown::iid, IParameterChanges)
	QUERY_INTERFACE (queried, obj, IParameterChanges::iid, IParameterChanges)
	*obj = nullptr;
	return kNoInterface;
}

tresult PLUGIN_API OutputParameterChanges::Queue::getPoint (int32 index, int32& sampleOffset, ParamValue& value)
{
	if (index < 0 || index >= count)
		return kInvalidArgument;
	sampleOffset = offsets[index];
	value = values[index];
	return kResultOk;
}

tresult PLUGIN_API OutputParameterChanges::Queue::addPoint (int32 sampleOffset, ParamValue value, int32& index)
{
	if (count >= POINTS)
		return kResultFalse;
	index = count;
	offsets[count] = sampleOffset;
	values[count++] = value;
	return kResultOk;
}

OutputParameterChanges::Queue* OutputParameterChanges::find (ParamID id)
{
	for (int32 i = 0; i < used; ++i)
		if (queues[i].id == id)
			return &queues[i];
	return nullptr;
}

IParamValueQueue* PLUGIN_API OutputParameterChanges::getParameterData (int32 index)
{
	return index >= 0 && index < used ? &queues[index] : nullptr;
}

IParamValueQueue* PLUGIN_API OutputParameterChanges::addParameterData (const ParamID& id, int32& index)
{
	for (int32 i = 0; i < used; ++i)
		if (queues[i].id == id)
		{
			index = i;
			return &queues[i];
		}
	if (used >= QUEUES)
		return nullptr;
	queues[used].id = id;
	queues[used].count = 0;
	index = used;
	return &queues[used++];
}

ProcessorHost::ProcessorHost (FUnknown* context) : object (new TavikProcessor ())
{
	object->initialize (context);
	object->queryInterface (IAudioProcessor::iid, reinterpret_cast<void**> (&audioProcessor));
}

ProcessorHost::~ProcessorHost ()
{
	object->setActive (false);
	object->terminate ();
	if (audioProcessor)
		audioProcessor->release ();
	object->release ();
}

bool ProcessorHost::start (double rate, int maxBlock)
{
	ProcessSetup setup {kRealtime, kSample32, maxBlock, rate};
	if (audioProcessor->setupProcessing (setup) != kResultOk)
		return false;
	return object->setActive (true) == kResultOk;
}

void ProcessorHost::prepare (int frames, int channels)
{
	output.assign (static_cast<size_t> (channels),
	               std::vector<float> (static_cast<size_t> (frames > 0 ? frames : 0), 9.f));
	pointers.clear ();
	for (auto& channel : output)
		pointers.push_back (channel.data ());
	bus = AudioBusBuffers {};
	bus.numChannels = channels;
	bus.channelBuffers32 = pointers.data ();
	data = ProcessData {};
	data.processMode = kRealtime;
	data.symbolicSampleSize = kSample32;
	data.numSamples = frames;
	data.numOutputs = 1;
	data.outputs = &bus;
	data.inputParameterChanges = &changes;
	outputChanges.clear ();
	data.outputParameterChanges = &outputChanges;
	data.inputEvents = &events;
}

tresult ProcessorHost::runPrepared ()
{
	const tresult result = audioProcessor->process (data);
	silenceFlags = bus.silenceFlags;
	return result;
}

tresult ProcessorHost::process (int frames, int channels)
{
	prepare (frames, channels);
	const tresult result = runPrepared ();
	changes.clear ();
	events.clear ();
	return result;
}

void ProcessorHost::addParameterPoint (ParamID id, int offset, double value)
{
	int32 queueIndex = 0, pointIndex = 0;
	changes.addParameterData (id, queueIndex)->addPoint (offset, value, pointIndex);
}

void ProcessorHost::addNoteOn (int pitch, float velocity, int offset, int channel)
{
	Event e {};
	e.type = Event::kNoteOnEvent;
	e.sampleOffset = offset;
	e.noteOn.pitch = static_cast<int16> (pitch);
	e.noteOn.velocity = velocity;
	e.noteOn.channel = static_cast<int16> (channel);
	e.noteOn.noteId = -1;
	events.addEvent (e);
}

void ProcessorHost::addNoteOff (int pitch, int offset, int channel)
{
	Event e {};
	e.type = Event::kNoteOffEvent;
	e.sampleOffset = offset;
	e.noteOff.pitch = static_cast<int16> (pitch);
	e.noteOff.channel = static_cast<int16> (channel);
	e.noteOff.noteId = -1;
	events.addEvent (e);
}

} // namespace tavik::test
