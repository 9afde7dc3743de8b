#include "block_renderer.h"

#include "hosted_module.h"
#include "progress_line.h"

#include <algorithm>
#include <chrono>
#include <string>

namespace tavik::tools {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

Event noteEvent (const ScoreEvent& se, int32 sampleOffset)
{
	Event e {};
	e.busIndex = 0;
	e.sampleOffset = sampleOffset;
	e.ppqPosition = 0;
	if (se.type == ScoreEvent::NOTE_ON)
	{
		e.type = Event::kNoteOnEvent;
		e.noteOn.channel = static_cast<int16> (se.channel);
		e.noteOn.pitch = static_cast<int16> (se.note);
		e.noteOn.velocity = static_cast<float> (se.velocity);
		e.noteOn.noteId = -1;
	}
	else
	{
		e.type = Event::kNoteOffEvent;
		e.noteOff.channel = static_cast<int16> (se.channel);
		e.noteOff.pitch = static_cast<int16> (se.note);
		e.noteOff.velocity = 0;
		e.noteOff.noteId = -1;
	}
	return e;
}

} // namespace

BlockRenderer::BlockRenderer (const PluginInstance& instance, const RenderDescription& description,
                              const std::vector<TimedChange>& parameterChanges, EditForwarder& controllerEdits)
	: plugin (instance), render (description), changes (parameterChanges), edits (controllerEdits),
	  latency (plugin.processor ()->getLatencySamples ()), left (static_cast<size_t> (render.block)),
	  right (static_cast<size_t> (render.block))
{
	channels[0] = left.data ();
	channels[1] = right.data ();
	output.numChannels = 2;
	output.channelBuffers32 = channels;
	context.sampleRate = render.rate;
	context.tempo = 120;
	context.timeSigNumerator = 4;
	context.timeSigDenominator = 4;
	context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid | ProcessContext::kTimeSigValid;
}

double BlockRenderer::renderInto (WavOutput& wav)
{
	const int64_t total = render.frames + latency;
	ProgressLine progress (total, render.rate);
	const auto started = std::chrono::steady_clock::now ();
	for (int64_t start = 0; start < total; start += render.block)
	{
		const int32 n = static_cast<int32> (std::min<int64_t> (render.block, total - start));
		inChanges.clear ();
		inEvents.clear ();
		outChanges.clear ();
		outEvents.clear ();
		queueControllerEdits ();
		queueChanges (start, n);
		queueNotes (start, n);
		process (start, n);

		// The first `latency` frames precede the score.
		const int64_t skip = std::max<int64_t> (0, std::min<int64_t> (latency - start, n));
		wav.write (left.data () + skip, right.data () + skip, static_cast<size_t> (n - skip));
		progress.update (start + n);
	}
	const double elapsed = std::chrono::duration<double> (std::chrono::steady_clock::now () - started).count ();
	progress.clear ();
	return elapsed;
}

void BlockRenderer::queueControllerEdits ()
{
	for (const auto& [id, value] : edits.take ())
	{
		int32 queueIndex = 0, pointIndex = 0;
		if (IParamValueQueue* queue = inChanges.addParameterData (id, queueIndex))
			queue->addPoint (0, value, pointIndex);
	}
}

void BlockRenderer::queueChanges (int64_t start, int32 n)
{
	for (; nextChange < changes.size () && changes[nextChange].frame < start + n; ++nextChange)
	{
		const TimedChange& c = changes[nextChange];
		int32 queueIndex = 0, pointIndex = 0;
		if (IParamValueQueue* queue = inChanges.addParameterData (c.id, queueIndex))
			queue->addPoint (static_cast<int32> (c.frame - start), c.value, pointIndex);
		plugin.controller ()->setParamNormalized (c.id, c.value);
	}
}

void BlockRenderer::queueNotes (int64_t start, int32 n)
{
	const std::vector<ScoreEvent>& events = render.score.events;
	for (; nextEvent < events.size () && events[nextEvent].frame < start + n; ++nextEvent)
	{
		const ScoreEvent& se = events[nextEvent];
		if (se.type == ScoreEvent::PARAM || se.type == ScoreEvent::CC)
			continue; // played as a parameter change
		Event e = noteEvent (se, static_cast<int32> (se.frame - start));
		inEvents.addEvent (e);
	}
}

void BlockRenderer::process (int64_t start, int32 n)
{
	context.projectTimeSamples = start;
	context.continousTimeSamples = start;
	ProcessData data {};
	data.processMode = kOffline;
	data.symbolicSampleSize = kSample32;
	data.numSamples = n;
	data.numInputs = 0;
	data.numOutputs = 1;
	data.outputs = &output;
	data.inputParameterChanges = &inChanges;
	data.outputParameterChanges = &outChanges;
	data.inputEvents = &inEvents;
	data.outputEvents = &outEvents;
	data.processContext = &context;
	if (plugin.processor ()->process (data) != kResultOk)
		throw HostError ("the plug-in failed to render the block at frame " + std::to_string (start));
}

void requirePlayableBuses (IComponent* component)
{
	BusInfo bus {};
	if (component->getBusCount (kAudio, kOutput) < 1 || component->getBusInfo (kAudio, kOutput, 0, bus) != kResultOk ||
	    bus.channelCount != 2)
		throw HostError ("the plug-in has no stereo main output");
	if (component->getBusCount (kEvent, kInput) < 1)
		throw HostError ("the plug-in has no event input, so it cannot be played");
}

} // namespace tavik::tools
