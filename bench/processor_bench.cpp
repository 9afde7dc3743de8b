// Cost of the processor's process call (VST 3 interfaces, engine, chunking,
// copies, silence flags) against the kernel alone rendering the same notes,
// and with every parameter at an extreme (where denormal numbers would slow
// a careless renderer down). Each benchmark renders one second of audio per
// iteration at 48 kHz and reports x_realtime.

#include "host_process_data.h"
#include "midi_controller_params.h"
#include "parameter_table.h"
#include "tavik_kernel.h"
#include "tavik_processor.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstevents.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr double kRate = 48000;
constexpr int kNotes[] = {38, 43, 48, 53, 58, 63};

void report (benchmark::State& state)
{
	state.counters["x_realtime"] =
		benchmark::Counter (static_cast<double> (state.iterations ()), benchmark::Counter::kIsRate);
}

// Strikes the six notes through an event list at the start of a block.
class NoteList : public IEventList
{
public:
	int32 PLUGIN_API getEventCount () override { return armed ? 6 : 0; }
	tresult PLUGIN_API getEvent (int32 index, Event& e) override
	{
		e = Event {};
		e.type = Event::kNoteOnEvent;
		e.noteOn.pitch = static_cast<int16> (kNotes[index]);
		e.noteOn.velocity = 0.8f;
		e.noteOn.noteId = -1;
		return kResultOk;
	}
	tresult PLUGIN_API addEvent (Event&) override { return kResultFalse; }
	tresult PLUGIN_API queryInterface (const TUID, void** obj) override
	{
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef () override { return 1; }
	uint32 PLUGIN_API release () override { return 1; }
	bool armed = false;
};

// A processor set up and active at 48 kHz with a stereo output of `block`
// frames, the six notes as its event list and room for parameter changes.
class ProcessorRig
{
public:
	explicit ProcessorRig (int blockFrames)
		: processor (new tavik::TavikProcessor ()), left (static_cast<size_t> (blockFrames)),
		  right (static_cast<size_t> (blockFrames))
	{
		processor->initialize (nullptr);
		ProcessSetup setup {kRealtime, kSample32, blockFrames, kRate};
		processor->setupProcessing (setup);
		processor->setActive (true);
		channels[0] = left.data ();
		channels[1] = right.data ();
		bus.numChannels = 2;
		bus.channelBuffers32 = channels;
		data.processMode = kRealtime;
		data.symbolicSampleSize = kSample32;
		data.numSamples = blockFrames;
		data.numOutputs = 1;
		data.outputs = &bus;
		data.inputEvents = &notes;
		data.inputParameterChanges = &changes;
	}
	~ProcessorRig ()
	{
		processor->setActive (false);
		processor->terminate ();
		processor->release ();
	}
	ProcessorRig (const ProcessorRig&) = delete;
	ProcessorRig& operator= (const ProcessorRig&) = delete;

	tresult process () { return processor->process (data); }
	tavik::TavikProcessor& plugin () { return *processor; }
	void reportInto (IParameterChanges* outputs) { data.outputParameterChanges = outputs; }

	NoteList notes;
	tavik::tools::HostParameterChanges changes;

private:
	tavik::TavikProcessor* processor;
	std::vector<float> left, right;
	float* channels[2] = {};
	AudioBusBuffers bus {};
	ProcessData data {};
};

// One second of audio per iteration in blocks of `block`, the six gongs
// struck again every 10 s (before the voices' 12 s life ends).
void renderSeconds (benchmark::State& state, ProcessorRig& rig, int block)
{
	const int blocksPerSecond = static_cast<int> (kRate) / block;
	const int restrike = 10 * blocksPerSecond;
	int blocks = 0;
	for (auto _ : state)
		for (int b = 0; b < blocksPerSecond; ++b)
		{
			rig.notes.armed = blocks++ % restrike == 0;
			if (rig.process () != kResultOk)
				std::abort ();
		}
}

void BM_Processor (benchmark::State& state)
{
	const int block = static_cast<int> (state.range (0));
	ProcessorRig rig (block);

	renderSeconds (state, rig, block);
	report (state);
}

void BM_KernelAlone (benchmark::State& state)
{
	if (TAVIK_KERNEL_FN (runtime_init) () != 0)
		std::abort ();
	const uint32_t handle = static_cast<uint32_t> (TAVIK_KERNEL_FN (create) (128, 0, 2, kRate));
	float* out = nullptr;
	uint32_t length = 0;
	TAVIK_KERNEL_FN (output_view) (handle, &out, &length);
	const int blocksPerSecond = static_cast<int> (kRate) / 128;
	const int restrike = 10 * blocksPerSecond;
	int blocks = 0;
	const auto pushEvent = TAVIK_KERNEL_FN (push_event);
	for (auto _ : state)
	{
		for (int b = 0; b < blocksPerSecond; ++b)
		{
			if (blocks++ % restrike == 0)
			{
				for (const int note : kNotes)
					pushEvent (handle, TAVIK_KERNEL_EVENT_NOTE_ON, 0, static_cast<uint32_t> (note), 0.8f);
			}
			if (TAVIK_KERNEL_FN (process) (handle, 128) != 0)
				std::abort ();
		}
		benchmark::DoNotOptimize (out[0]);
	}
	report (state);
	TAVIK_KERNEL_FN (destroy) (handle);
}

// The six notes restruck every 10 s with every parameter at its default
// (0), its minimum (1), its maximum (2), swept over its whole range within
// every block (3), or at its maximum long after the strike, while the
// voices ring down toward nothing (4).
void BM_ExtremeSettings (benchmark::State& state)
{
	const int setting = static_cast<int> (state.range (0));
	constexpr int block = 128;
	ProcessorRig rig (block);
	tavik::tools::HostParameterChanges& changes = rig.changes;

	const int blocksPerSecond = static_cast<int> (kRate) / block;
	const int restrike = setting == 4 ? 1 << 30 : 10 * blocksPerSecond;
	const auto fill = [&] (int b) {
		changes.clear ();
		if (setting == 0 || (setting != 3 && b > 0))
			return;
		for (ParamID id = 0; id < 26; ++id)
		{
			int32 index = 0;
			IParamValueQueue* queue = changes.addParameterData (id, index);
			const double value = setting == 1 ? 0.0 : setting == 3 ? static_cast<double> ((b + id) % 2) : 1.0;
			queue->addPoint (0, value, index);
			if (setting == 3)
				queue->addPoint (block - 1, 1.0 - value, index);
		}
	};
	int blocks = 0;
	if (setting == 4) // strike, then let eight seconds pass untimed
		for (; blocks < 8 * blocksPerSecond; ++blocks)
		{
			fill (blocks);
			rig.notes.armed = blocks == 0;
			rig.process ();
		}
	for (auto _ : state)
	{
		for (int b = 0; b < blocksPerSecond; ++b)
		{
			fill (blocks);
			rig.notes.armed = setting != 4 && blocks % restrike == 0;
			++blocks;
			if (rig.process () != kResultOk)
				std::abort ();
		}
	}
	report (state);
}

// Resident memory of this process, in KiB.
double residentKiB ()
{
	long pages = 0, resident = 0;
	if (std::FILE* f = std::fopen ("/proc/self/statm", "r"))
	{
		if (std::fscanf (f, "%ld %ld", &pages, &resident) != 2)
			resident = 0;
		std::fclose (f);
	}
	return static_cast<double> (resident) * static_cast<double> (sysconf (_SC_PAGESIZE)) / 1024;
}

// Many instances in one process, as a large session or a host that runs
// every plug-in in one process has them: what each costs in memory idle
// (created, set up, active) and playing (six gongs ringing), and the
// rendering of all of them together (x_realtime counts one second of every
// instance as one second).
void BM_ManyInstances (benchmark::State& state)
{
	const int count = static_cast<int> (state.range (0));
	constexpr int block = 512;
	const double before = residentKiB ();
	std::vector<std::unique_ptr<ProcessorRig>> rigs;
	for (int i = 0; i < count; ++i)
		rigs.push_back (std::make_unique<ProcessorRig> (block));
	const double idle = residentKiB ();
	for (auto& rig : rigs)
	{
		rig->notes.armed = true;
		if (rig->process () != kResultOk)
			std::abort ();
		rig->notes.armed = false;
	}
	const int blocksPerSecond = static_cast<int> (kRate) / block;
	for (auto _ : state)
		for (int b = 0; b < blocksPerSecond; ++b)
			for (auto& rig : rigs)
				if (rig->process () != kResultOk)
					std::abort ();
	const double playing = residentKiB ();
	state.counters["idle_KiB_each"] = (idle - before) / count;
	state.counters["playing_KiB_each"] = (playing - before) / count;
	report (state);
}

// The densest automation a host can send: every parameter changing on
// every frame (near its default, so the six gongs sound as usual), in
// blocks of 512. Every change reaches the kernel at its own frame.
void BM_EveryParameterEveryFrame (benchmark::State& state)
{
	constexpr int block = 512;
	ProcessorRig rig (block);
	for (uint32_t id = 0; id < tavik::TAVIK_PARAM_COUNT; ++id)
	{
		int32 index = 0;
		IParamValueQueue* queue = rig.changes.addParameterData (id, index);
		const double centre = tavik::TAVIK_PARAMS[id].defaultNormalized;
		for (int32 f = 0; f < block; ++f)
			queue->addPoint (f, std::min (1.0, std::max (0.0, centre + 0.002 * std::sin (f * 0.05))), index);
	}
	renderSeconds (state, rig, block);
	report (state);
}

// MIDI controllers through a 64-binding CC map (eight bindings on each of
// controllers 1..8, targets spread over the parameters, curves mixed),
// with no controller message (0), one message every 32 frames on each of
// the eight controllers, absolute and immediate (1), the same stream with
// every value mode and takeover rule mixed in (2), or no controllers but
// the very parameter changes case 1 (3) or case 2 (4) resolves in its first
// block sent as host automation. Blocks of 512, the six gongs ringing.
// Case 1 less case 3 (2 less 4), over messages_per_s, is what one message
// costs the plug-in beyond the parameter changes it makes.
void BM_ControllerStream (benchmark::State& state)
{
	const int stream = static_cast<int> (state.range (0));
	const bool mixed = stream == 2 || stream == 4;
	constexpr int block = 512;
	ProcessorRig rig (block);
	const char* const curves[] = {"linear", "exp", "log", "s-curve"};
	const char* const modes[] = {"absolute", "relative-signed-bit", "relative-binary-offset",
	                             "relative-twos-complement", "toggle"};
	const char* const takeovers[] = {"immediate", "pickup", "scaled"};
	std::string map = "{\"version\":1,\"bindings\":[";
	for (int j = 0; j < 64; ++j)
	{
		map += std::string (j ? "," : "") + "{\"cc\":" + std::to_string (1 + j % 8) + ",\"path\":\"" +
		       tavik::TAVIK_PARAMS[(j * 5) % 26].path + "\",\"curve\":\"" + curves[j % 4] + "\"";
		if (mixed)
			map += std::string (",\"valueMode\":\"") + modes[j % 5] + "\",\"takeover\":\"" + takeovers[j % 3] + "\"";
		map += "}";
	}
	map += "]}";
	rig.plugin ().session ().adoptCcMap (map);
	if (stream > 0)
		for (uint32_t cc = 1; cc <= 8; ++cc)
		{
			int32 index = 0;
			IParamValueQueue* queue = rig.changes.addParameterData (tavik::midiControllerParamId (0, cc), index);
			for (int32 f = 0; f < block; f += 32)
				queue->addPoint (f, ((f / 32 * 9 + static_cast<int32> (cc) * 13) % 128) / 127.0, index);
		}
	if (stream >= 3)
	{
		// One block resolves the stream; its results become the automation.
		tavik::tools::HostParameterChanges resolved;
		rig.reportInto (&resolved);
		rig.process ();
		rig.reportInto (nullptr);
		rig.changes.clear ();
		for (int32 q = 0; q < resolved.getParameterCount (); ++q)
		{
			IParamValueQueue* from = resolved.getParameterData (q);
			int32 index = 0;
			IParamValueQueue* to = rig.changes.addParameterData (from->getParameterId (), index);
			for (int32 p = 0; p < from->getPointCount (); ++p)
			{
				int32 offset = 0;
				ParamValue value = 0;
				from->getPoint (p, offset, value);
				to->addPoint (offset, value, index);
			}
		}
	}
	renderSeconds (state, rig, block);
	report (state);
	const int blocksPerSecond = static_cast<int> (kRate) / block;
	state.counters["messages_per_s"] = stream == 1 || stream == 2 ? 8.0 * (block / 32) * blocksPerSecond : 0.0;
}

BENCHMARK (BM_KernelAlone)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_EveryParameterEveryFrame)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_ManyInstances)->Arg (256)->Unit (benchmark::kMillisecond)->Iterations (2);
BENCHMARK (BM_ExtremeSettings)->DenseRange (0, 4)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_ControllerStream)->DenseRange (0, 4)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_Processor)->Arg (32)->Arg (128)->Arg (1024)->Unit (benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN ();
