#include "processor_test_host.h"

namespace tavik::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

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
