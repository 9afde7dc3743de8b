// A hostile host: drives the plug-in module through random, legal and
// illegal call orders from a fixed seed, as the strictest validators do,
// and checks after every call that the plug-in survived it: no crash, no
// allocation inside process (in a build without sanitizers), every output
// sample finite and within ±4, silence flags true to the buffers, the same
// render for the same seed, before and after the module is reloaded.
//
//   zorv-hostile-host --plugin BUNDLE [--seed N] [--iterations N] [--phases LIST]
//
// LIST is a comma-separated choice of: calls, states, threads, instances,
// determinism, reload, extremes (all by default). Exits 0 when every check
// held, 1 with one line per failure otherwise.
#include "host_context.h"
#include "host_process_data.h"
#include "hosted_module.h"
#include "plugin_instance.h"
#include "tavik_kernel.h"

#ifdef ZORV_COUNT_ALLOCATIONS
#include "allocation_counter.h"
#endif

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/common/memorystream.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using tavik::tools::HostedModule;
using tavik::tools::PluginInstance;

namespace {

constexpr int32 MAX_HOST_BLOCK = 16384;
constexpr ParamID PROGRAM_CHANGE_ID = 0x3F010001;
constexpr int PARAM_COUNT = 26;

struct Options
{
	std::string plugin;
	uint64_t seed = 1;
	int iterations = 300;
	std::set<std::string> phases {"calls", "states", "threads", "instances", "determinism", "reload", "extremes"};
};

int failures = 0;
std::string where; // the phase and step, for failure lines

void fail (const std::string& what)
{
	++failures;
	if (failures <= 50)
		std::fprintf (stderr, "hostile-host: FAIL [%s] %s\n", where.c_str (), what.c_str ());
}

double strangeValue (std::mt19937_64& random)
{
	static const double values[] = {std::numeric_limits<double>::quiet_NaN (),
	                                std::numeric_limits<double>::infinity (),
	                                -std::numeric_limits<double>::infinity (),
	                                -1.0,
	                                2.0,
	                                1e308,
	                                -0.0,
	                                std::numeric_limits<double>::denorm_min (),
	                                0.0,
	                                1.0};
	if (random () % 3 == 0)
		return values[random () % (sizeof values / sizeof values[0])];
	return std::uniform_real_distribution<double> (0, 1) (random);
}

// A block's buffers and process data, shaped however the test wants.
class Block
{
public:
	enum Shape
	{
		NORMAL,
		NULL_CHANNELS,  // the bus has no channel pointer array
		NULL_CHANNEL,   // one channel pointer is null
		NO_OUTPUTS,     // numOutputs 0
		NULL_OUTPUTS,   // numOutputs 1, outputs null
		ONE_CHANNEL,    // a mono bus where stereo is expected
		THREE_CHANNELS, // more channels than the bus has
		DOUBLE_SAMPLES, // 64-bit samples the plug-in never agreed to
	};

	void prepare (int32 frames, Shape blockShape)
	{
		shape = blockShape;
		const int channels = shape == ONE_CHANNEL ? 1 : shape == THREE_CHANNELS ? 3 : 2;
		buffers.assign (static_cast<size_t> (channels),
		                std::vector<float> (static_cast<size_t> (std::max (frames, 0)), 7.f));
		pointers.clear ();
		for (auto& channel : buffers)
			pointers.push_back (channel.data ());
		if (shape == NULL_CHANNEL)
			pointers[1] = nullptr;
		bus = AudioBusBuffers {};
		bus.numChannels = channels;
		bus.channelBuffers32 = shape == NULL_CHANNELS ? nullptr : pointers.data ();
		data = ProcessData {};
		data.processMode = kRealtime;
		data.symbolicSampleSize = shape == DOUBLE_SAMPLES ? kSample64 : kSample32;
		data.numSamples = frames;
		data.numOutputs = shape == NO_OUTPUTS ? 0 : 1;
		data.outputs = shape == NULL_OUTPUTS || shape == NO_OUTPUTS ? nullptr : &bus;
		data.inputParameterChanges = &changes;
		data.inputEvents = &events;
	}

	/** Output finite and within ±4, and silence flags that tell the truth;
	 *  only for shapes whose buffers the plug-in may have written. */
	void check (const char* call)
	{
		if (shape != NORMAL && shape != ONE_CHANNEL && shape != THREE_CHANNELS)
			return;
		for (size_t c = 0; c < buffers.size (); ++c)
		{
			bool zero = true;
			for (const float sample : buffers[c])
			{
				if (!std::isfinite (sample) || std::fabs (sample) > 4.f)
				{
					fail (std::string (call) + ": output sample " + std::to_string (sample) + " in channel " +
					      std::to_string (c));
					return;
				}
				zero = zero && sample == 0.f;
			}
			if (c < 64 && (bus.silenceFlags >> c & 1) && !zero)
				fail (std::string (call) + ": channel " + std::to_string (c) + " is flagged silent but is not");
		}
	}

	bool silent () const
	{
		for (size_t c = 0; c < 2 && c < buffers.size (); ++c)
			for (const float sample : buffers[c])
				if (sample != 0.f)
					return false;
		return true;
	}

	Shape shape = NORMAL;
	std::vector<std::vector<float>> buffers;
	std::vector<float*> pointers;
	AudioBusBuffers bus {};
	ProcessData data {};
	tavik::tools::HostParameterChanges changes;
	tavik::tools::HostEventList events;
};

tresult countedProcess (IAudioProcessor* processor, Block& block)
{
#ifdef ZORV_COUNT_ALLOCATIONS
	tavik::test::startCountingAllocations ();
	const tresult result = processor->process (block.data);
	const long allocations = tavik::test::stopCountingAllocations ();
	if (allocations != 0)
		fail ("process allocated " + std::to_string (allocations) + " times");
#else
	const tresult result = processor->process (block.data);
#endif
	return result;
}

void addNote (Block& block, bool on, int16 pitch, float velocity, int32 offset, int16 channel = 0)
{
	Event e {};
	e.sampleOffset = offset;
	if (on)
	{
		e.type = Event::kNoteOnEvent;
		e.noteOn.pitch = pitch;
		e.noteOn.velocity = velocity;
		e.noteOn.channel = channel;
		e.noteOn.noteId = -1;
	}
	else
	{
		e.type = Event::kNoteOffEvent;
		e.noteOff.pitch = pitch;
		e.noteOff.velocity = velocity;
		e.noteOff.channel = channel;
		e.noteOff.noteId = -1;
	}
	block.events.addEvent (e);
}

void addPoint (Block& block, ParamID id, int32 offset, double value)
{
	int32 index = 0;
	if (IParamValueQueue* queue = block.changes.addParameterData (id, index))
		queue->addPoint (offset, value, index);
}

std::string streamText (MemoryStream& stream)
{
	return std::string (stream.getData (), static_cast<size_t> (stream.getSize ()));
}

// setState and setComponentState with these bytes, as a host restoring a
// project does (the controller gets them even when the processor refused).
void restore (PluginInstance& plugin, const std::string& bytes)
{
	auto* stream = new MemoryStream ();
	int32 written = 0;
	stream->write (const_cast<char*> (bytes.data ()), static_cast<int32> (bytes.size ()), &written);
	stream->seek (0, IBStream::kIBSeekSet, nullptr);
	plugin.component ()->setState (stream);
	stream->seek (0, IBStream::kIBSeekSet, nullptr);
	plugin.controller ()->setComponentState (stream);
	stream->release ();
}

std::string save (PluginInstance& plugin)
{
	auto* stream = new MemoryStream ();
	if (plugin.component ()->getState (stream) != kResultOk)
		fail ("getState failed");
	const std::string text = streamText (*stream);
	stream->release ();
	return text;
}

PClassInfo processorClass (IPluginFactory* factory)
{
	for (int32 i = 0; i < factory->countClasses (); ++i)
	{
		PClassInfo info {};
		if (factory->getClassInfo (i, &info) == kResultOk && std::strcmp (info.category, kVstAudioEffectClass) == 0)
			return info;
	}
	throw tavik::tools::HostError ("the module has no audio processor class");
}

struct Session
{
	Session (IPluginFactory* factory, FUnknown* context) : plugin (factory, processorClass (factory), context) {}
	PluginInstance plugin;
	Block block;
	double rate = 48000;
	int32 maxBlock = 512;
	bool setUp = false;
};

void setup (Session& s, double rate, int32 maxBlock)
{
	ProcessSetup setup {kRealtime, kSample32, maxBlock, rate};
	s.setUp = s.plugin.processor ()->setupProcessing (setup) == kResultOk;
	s.rate = rate;
	s.maxBlock = maxBlock;
}

const double RATES[] = {8000, 11025, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};

// One random call of a host that may be broken.
void randomCall (Session& s, std::mt19937_64& random, const std::string& validState)
{
	IAudioProcessor* processor = s.plugin.processor ();
	IComponent* component = s.plugin.component ();
	IEditController* controller = s.plugin.controller ();
	switch (random () % 12)
	{
		case 0:
			where = "setActive";
			component->setActive (random () % 2 == 0);
			break;
		case 1:
		{
			where = "setupProcessing";
			const double rate = random () % 4 == 0 ? std::uniform_real_distribution<double> (8000, 384000) (random)
			                                       : RATES[random () % (sizeof RATES / sizeof RATES[0])];
			setup (s, rate, static_cast<int32> (random () % 5 == 0 ? random () % 3 : 1 + random () % MAX_HOST_BLOCK));
			break;
		}
		case 2:
			where = "setProcessing";
			processor->setProcessing (random () % 2 == 0);
			break;
		case 3:
			where = "setState";
			switch (random () % 4)
			{
				case 0: restore (s.plugin, validState); break;
				case 1: restore (s.plugin, validState.substr (0, random () % (validState.size () + 1))); break;
				case 2:
				{
					std::string junk (random () % 4096, '\0');
					for (char& c : junk)
						c = static_cast<char> (random ());
					restore (s.plugin, junk);
					break;
				}
				default:
				{
					std::string flipped = validState;
					for (int i = 0; i < 8 && !flipped.empty (); ++i)
						flipped[random () % flipped.size ()] = static_cast<char> (random ());
					restore (s.plugin, flipped);
				}
			}
			break;
		case 4:
			where = "getState";
			save (s.plugin);
			break;
		case 5:
		{
			where = "controller";
			const ParamID id =
				random () % 4 == 0 ? static_cast<ParamID> (random ()) : static_cast<ParamID> (random () % 28);
			const double value = strangeValue (random);
			controller->setParamNormalized (id, value);
			String128 text {};
			controller->getParamStringByValue (id, value, text);
			controller->normalizedParamToPlain (id, value);
			controller->plainParamToNormalized (id, value * 100);
			break;
		}
		default:
		{
			where = "process";
			int32 frames;
			switch (random () % 6)
			{
				case 0: frames = 0; break;
				case 1: frames = static_cast<int32> (random () % 3); break;
				case 2: frames = MAX_HOST_BLOCK; break;
				case 3: frames = s.maxBlock + static_cast<int32> (random () % 64); break; // more than agreed
				default: frames = static_cast<int32> (random () % (std::min (s.maxBlock, MAX_HOST_BLOCK) + 1));
			}
			const auto shape = static_cast<Block::Shape> (random () % 5 == 0 ? random () % 8 : 0);
			Block& block = s.block;
			block.changes.clear ();
			block.events.clear ();
			const int events = random () % 10 == 0 ? 3000 : static_cast<int> (random () % 12);
			for (int i = 0; i < events; ++i)
			{
				const auto offset =
					static_cast<int32> (random () % 5 == 0 ? frames + static_cast<int32> (random () % 100) - 10
				                        : frames           ? random () % frames
				                                           : 0);
				const auto pitch =
					static_cast<int16> (random () % 8 == 0 ? static_cast<int16> (random ()) : random () % 128);
				const auto velocity = static_cast<float> (strangeValue (random));
				addNote (block, random () % 3 != 0, pitch, velocity, offset, static_cast<int16> (random () % 20 - 2));
			}
			const int params = static_cast<int> (random () % 6);
			for (int i = 0; i < params; ++i)
			{
				const ParamID id = random () % 10 == 0   ? PROGRAM_CHANGE_ID
				                   : random () % 10 == 0 ? static_cast<ParamID> (random ())
				                                         : static_cast<ParamID> (random () % PARAM_COUNT);
				const int points = random () % 10 == 0 ? 500 : 1 + static_cast<int> (random () % 4);
				for (int p = 0; p < points; ++p)
					addPoint (block, id, static_cast<int32> (random () % (frames + 20)) - 5, strangeValue (random));
			}
			block.prepare (frames, shape);
			countedProcess (processor, block);
			block.check ("process");
		}
	}
}

void callsPhase (IPluginFactory* factory, FUnknown* context, const Options& o)
{
	std::mt19937_64 random (o.seed);
	Session s (factory, context);
	setup (s, 48000, 512);
	s.plugin.component ()->setActive (true);
	const std::string validState = save (s.plugin);
	for (int i = 0; i < o.iterations * 10; ++i)
		randomCall (s, random, validState);
	where = "calls: end";
}

// Rings a note with automation, then feeds back its state cut at every
// byte, and random bytes, checking a render after each.
void statesPhase (IPluginFactory* factory, FUnknown* context, const Options& o)
{
	std::mt19937_64 random (o.seed + 1);
	Session s (factory, context);
	s.plugin.start (48000, 256, kRealtime);
	addNote (s.block, true, 48, 0.9f, 0);
	for (ParamID id = 0; id < PARAM_COUNT; ++id)
		addPoint (s.block, id, static_cast<int32> (id * 7), std::uniform_real_distribution<double> (0, 1) (random));
	s.block.prepare (256, Block::NORMAL);
	countedProcess (s.plugin.processor (), s.block);
	const std::string state = save (s.plugin);
	const size_t step = std::max<size_t> (1, state.size () / static_cast<size_t> (std::max (o.iterations, 1)));
	for (size_t cut = 0; cut <= state.size (); cut += step)
	{
		where = "states: cut at " + std::to_string (cut);
		restore (s.plugin, state.substr (0, cut));
		s.block.changes.clear ();
		s.block.events.clear ();
		s.block.prepare (64, Block::NORMAL);
		countedProcess (s.plugin.processor (), s.block);
		s.block.check ("process after setState");
	}
	where = "states: whole";
	restore (s.plugin, state);
	if (save (s.plugin) != state)
		fail ("a state restored whole does not save back the same");
}

// setState and getState on one thread while another processes.
void threadsPhase (IPluginFactory* factory, FUnknown* context, const Options& o)
{
	Session s (factory, context);
	s.plugin.start (48000, 128, kRealtime);
	const std::string state = save (s.plugin);
	std::atomic<bool> stop {false};
	std::atomic<int> blocks {0};
	std::thread audio ([&] {
		Block block;
		int note = 40;
		while (!stop.load ())
		{
			block.changes.clear ();
			block.events.clear ();
			if (blocks % 20 == 0)
				addNote (block, true, static_cast<int16> (note = note > 80 ? 40 : note + 3), 0.8f, 5);
			addPoint (block, static_cast<ParamID> (blocks % PARAM_COUNT), 3, (blocks % 10) / 10.0);
			block.prepare (128, Block::NORMAL);
			countedProcess (s.plugin.processor (), block);
			block.check ("process on the audio thread");
			++blocks;
		}
	});
	std::mt19937_64 random (o.seed + 2);
	where = "threads";
	for (int i = 0; i < o.iterations; ++i)
	{
		auto* stream = new MemoryStream ();
		const std::string bytes = i % 3 == 0 ? state.substr (0, random () % (state.size () + 1)) : state;
		int32 written = 0;
		stream->write (const_cast<char*> (bytes.data ()), static_cast<int32> (bytes.size ()), &written);
		stream->seek (0, IBStream::kIBSeekSet, nullptr);
		s.plugin.component ()->setState (stream);
		stream->release ();
		save (s.plugin);
	}
	// Let the audio thread see the last state at least once.
	const int seen = blocks.load ();
	while (blocks.load () < seen + 4)
		std::this_thread::yield ();
	stop = true;
	audio.join ();
}

// Renders a note on the instance; true when anything was heard.
bool strikeAndListen (Session& s)
{
	bool heard = false;
	for (int b = 0; b < 8; ++b)
	{
		s.block.changes.clear ();
		s.block.events.clear ();
		if (b == 0)
			addNote (s.block, true, 52, 1.f, 0);
		s.block.prepare (256, Block::NORMAL);
		countedProcess (s.plugin.processor (), s.block);
		s.block.check ("process");
		heard = heard || !s.block.silent ();
	}
	return heard;
}

// The kernel library holds TAVIK_KERNEL_MAX_INSTANCES instances, all
// playing at once; one more must play silence and say why.
void instancesPhase (IPluginFactory* factory, FUnknown* context, const HostedModule& module)
{
	constexpr int LIMIT = TAVIK_KERNEL_MAX_INSTANCES;
	std::vector<std::unique_ptr<Session>> sessions;
	for (int i = 0; i <= LIMIT; ++i)
	{
		where = "instances: #" + std::to_string (i + 1);
		sessions.push_back (std::make_unique<Session> (factory, context));
		Session& s = *sessions.back ();
		setup (s, 48000, 256);
		const bool activated = s.plugin.component ()->setActive (true) == kResultOk;
		// The one past the limit finds no kernel slot: it refuses the setup, as a host is told.
		if (s.setUp != (i < LIMIT) || activated != (i < LIMIT))
			fail (std::string ("setupProcessing and setActive answered ") + (s.setUp ? "true" : "false") + " and " +
			      (activated ? "true" : "false"));
	}
	for (int i = 0; i <= LIMIT; ++i)
	{
		where = "instances: #" + std::to_string (i + 1);
		const bool heard = strikeAndListen (*sessions[static_cast<size_t> (i)]);
		if (i < LIMIT && !heard)
			fail ("a note on one of the instances within the limit is silent");
		if (i == LIMIT && heard)
			fail ("the instance past the limit sounds");
	}
	// Its diagnostic reaches the controller, as the editor would see it.
	using Install = int (*) (FUnknown*, void (*) (void*, const char*, size_t), void*);
	using Deliver = int (*) (FUnknown*, const char*, size_t);
	auto install = reinterpret_cast<Install> (module.symbol ("tavikInstallDiagnosticBridgeSink"));
	auto deliver = reinterpret_cast<Deliver> (module.symbol ("tavikDeliverDiagnosticBridgeMessage"));
	if (!install || !deliver)
	{
		fail ("the module exports no diagnostic bridge");
		return;
	}
	std::string hello;
	IEditController* last = sessions.back ()->plugin.controller ();
	install (
		last,
		[] (void* sink, const char* json, size_t length) { static_cast<std::string*> (sink)->append (json, length); },
		&hello);
	const std::string ready = "{\"type\":\"tavik.ready\"}";
	deliver (last, ready.data (), ready.size ());
	install (last, nullptr, nullptr);
	if (hello.find ("runtime.kernel-create-failed") == std::string::npos ||
	    hello.find ("gong instances this process can run are in use") == std::string::npos)
		fail ("the controller of the instance past the limit was not told why it is silent");
	// A slot freed is a slot the next instance gets.
	sessions.erase (sessions.begin ());
	Session next (factory, context);
	setup (next, 48000, 256);
	next.plugin.component ()->setActive (true);
	where = "instances: after one went";
	if (!strikeAndListen (next))
		fail ("an instance made after one was freed is silent");
}

// A fixed render: notes and automation of a seed, in uneven blocks.
uint64_t seededRender (IPluginFactory* factory, FUnknown* context, uint64_t seed)
{
	std::mt19937_64 random (seed);
	Session s (factory, context);
	s.plugin.start (44100, 1024, kRealtime);
	uint64_t hash = 1469598103934665603ull;
	const int32 sizes[] = {1024, 17, 333, 128, 1, 700};
	for (int b = 0; b < 240; ++b)
	{
		s.block.changes.clear ();
		s.block.events.clear ();
		const int32 frames = sizes[b % 6];
		if (b % 7 == 0)
			addNote (s.block, true, static_cast<int16> (30 + random () % 60), 0.3f + (random () % 70) / 100.f,
			         static_cast<int32> (random () % static_cast<uint64_t> (frames)));
		if (b % 11 == 5)
			addPoint (s.block, static_cast<ParamID> (random () % PARAM_COUNT), 0,
			          std::uniform_real_distribution<double> (0, 1) (random));
		s.block.prepare (frames, Block::NORMAL);
		countedProcess (s.plugin.processor (), s.block);
		s.block.check ("process");
		for (const auto& channel : s.block.buffers)
			for (const float sample : channel)
			{
				uint32_t bits;
				std::memcpy (&bits, &sample, 4);
				hash = (hash ^ bits) * 1099511628211ull;
			}
	}
	return hash;
}

// Every parameter at its minimum, at its maximum, and swept over its whole
// range as fast as automation goes, for a minute at each rate; then every
// voice must end.
void extremesPhase (IPluginFactory* factory, FUnknown* context, int seconds)
{
	const double rates[] = {22050, 44100, 48000, 96000, 192000};
	for (const double rate : rates)
		for (int setting = 0; setting < 3; ++setting)
		{
			where = "extremes: " + std::to_string (static_cast<int> (rate)) + " Hz, " +
			        (setting == 0   ? "minimum"
			         : setting == 1 ? "maximum"
			                        : "sweep");
			Session s (factory, context);
			const int32 block = 512;
			s.plugin.start (rate, block, kOffline);
			const auto total = static_cast<int64_t> (rate * seconds);
			int64_t done = 0;
			int note = 24;
			for (int b = 0; done < total; ++b, done += block)
			{
				s.block.changes.clear ();
				s.block.events.clear ();
				for (ParamID id = 0; id < PARAM_COUNT; ++id)
				{
					const double value = setting == 0   ? 0.0
					                     : setting == 1 ? 1.0
					                                    : ((b + static_cast<int> (id)) % 2 ? 1.0 : 0.0);
					if (setting == 2 || b == 0)
					{
						addPoint (s.block, id, 0, value);
						if (setting == 2)
							addPoint (s.block, id, block - 1, 1.0 - value);
					}
				}
				if (b % 25 == 0)
				{
					addNote (s.block, true, static_cast<int16> (note), 1.f, b % block);
					addNote (s.block, false, static_cast<int16> (note), 0.f, block - 1);
					note = note >= 108 ? 24 : note + 7;
				}
				s.block.prepare (block, Block::NORMAL);
				countedProcess (s.plugin.processor (), s.block);
				s.block.check ("process");
			}
			// Released and left alone, every voice must come to rest.
			bool quiet = false;
			for (int64_t after = 0; after < static_cast<int64_t> (rate * 120) && !quiet; after += block)
			{
				s.block.changes.clear ();
				s.block.events.clear ();
				s.block.prepare (block, Block::NORMAL);
				countedProcess (s.plugin.processor (), s.block);
				s.block.check ("process while ringing out");
				quiet = (s.block.bus.silenceFlags & 3) == 3 && s.block.silent ();
			}
			if (!quiet)
				fail ("a voice still sounds two minutes after its note was released");
		}
}

bool parse (int argc, char** argv, Options& o)
{
	for (int i = 1; i < argc; ++i)
	{
		const std::string arg = argv[i];
		const bool hasValue = i + 1 < argc;
		if (arg == "--plugin" && hasValue)
			o.plugin = argv[++i];
		else if (arg == "--seed" && hasValue)
			o.seed = std::strtoull (argv[++i], nullptr, 10);
		else if (arg == "--iterations" && hasValue)
			o.iterations = std::max (1, std::atoi (argv[++i]));
		else if (arg == "--phases" && hasValue)
		{
			o.phases.clear ();
			std::stringstream list (argv[++i]);
			for (std::string phase; std::getline (list, phase, ',');)
				o.phases.insert (phase);
		}
		else
			return false;
	}
	return !o.plugin.empty ();
}

} // namespace

int main (int argc, char** argv)
{
	Options o;
	if (!parse (argc, argv, o))
	{
		std::fputs ("usage: zorv-hostile-host --plugin BUNDLE [--seed N] [--iterations N] [--phases LIST]\n", stderr);
		return 2;
	}
	const auto started = std::chrono::steady_clock::now ();
	try
	{
		tavik::tools::ToolHostApplication host ("Tavik hostile host");
		uint64_t firstRender = 0;
		{
			HostedModule module (o.plugin);
			IPluginFactory* factory = module.factory ();
			const auto run = [&] (const char* phase, auto body) {
				if (!o.phases.count (phase))
					return;
				where = phase;
				std::fprintf (stderr, "hostile-host: %s\n", phase);
				body ();
			};
			run ("calls", [&] { callsPhase (factory, &host, o); });
			run ("states", [&] { statesPhase (factory, &host, o); });
			run ("threads", [&] { threadsPhase (factory, &host, o); });
			run ("instances", [&] { instancesPhase (factory, &host, module); });
			run ("determinism", [&] {
				firstRender = seededRender (factory, &host, o.seed);
				if (seededRender (factory, &host, o.seed) != firstRender)
					fail ("the same seed rendered differently");
			});
			run ("extremes", [&] { extremesPhase (factory, &host, o.iterations >= 300 ? 60 : 10); });
		}
		if (o.phases.count ("reload"))
			for (int i = 0; i < 3; ++i)
			{
				where = "reload " + std::to_string (i + 1);
				std::fprintf (stderr, "hostile-host: %s\n", where.c_str ());
				HostedModule module (o.plugin);
				const uint64_t again = seededRender (module.factory (), &host, o.seed);
				if (firstRender && again != firstRender)
					fail ("a reloaded module rendered the seed differently");
				firstRender = again;
			}
	}
	catch (const std::exception& e)
	{
		fail (std::string ("the host itself stopped: ") + e.what ());
	}
	const double seconds = std::chrono::duration<double> (std::chrono::steady_clock::now () - started).count ();
	std::fprintf (stderr, "hostile-host: seed %llu, %d iterations, %d failures, %.1f s\n",
	              static_cast<unsigned long long> (o.seed), o.iterations, failures, seconds);
	return failures ? 1 : 0;
}
