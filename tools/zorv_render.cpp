// zorv-render: an offline VST 3 host. Loads an instrument bundle, plays a
// score (or a Standard MIDI File) through it in host-sized blocks, and writes
// the stereo output as a 32-bit float WAV file.
//
//   zorv-render --plugin BUNDLE --score SCORE.json --out OUT.wav
//               [--rate HZ] [--block FRAMES] [--class NAME] [--midi FILE.mid]
//               [--state STATE.json] [--save-state STATE.json] [--preset NAME|INDEX|ID|FILE.vstpreset]
//   zorv-render --plugin BUNDLE --list-presets
//   zorv-render --plugin BUNDLE --bridge [--rate HZ] [--block FRAMES]

#include "edit_forwarder.h"
#include "host_context.h"
#include "host_process_data.h"
#include "hosted_module.h"
#include "fixed_text.h"
#include "json_text.h"
#include "product_identity.h"
#include "plugin_instance.h"
#include "preset_file.h"
#include "render_score.h"
#include "whole_write.h"

#include "json_tree.h"
#include "json_writer.h"
#include "factory_presets.h"
#include "parameter_table.h"
#include "pluginterfaces/vst/ivstunits.h"

#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using tavik::tools::HostError;
using tavik::tools::Score;
using tavik::tools::ScoreEvent;
using tavik::tools::ScoreValue;

namespace {

constexpr const char* kUsage =
	"usage: zorv-render --plugin BUNDLE --score SCORE.json --out OUT.wav\n"
	"                   [--rate HZ] [--block FRAMES] [--class NAME] [--midi FILE.mid]\n"
	"                   [--state STATE.json] [--save-state STATE.json] [--preset NAME|INDEX|ID|FILE.vstpreset]\n"
	"       zorv-render --plugin BUNDLE --list-presets\n"
	"       zorv-render --plugin BUNDLE --bridge [--rate HZ] [--block FRAMES]\n"
	"Plays a score through a VST 3 instrument and writes a 32-bit float stereo WAV.\n"
	"--midi plays a Standard MIDI File in place of the score's events (the score is then optional).\n"
	"Its control changes, like a score's \"cc\" events, move the parameter the plug-in's MIDI\n"
	"mapping assigns to each controller, as a host does (Zorv's comes from the CC map of the\n"
	"score's \"ccMap\" or of the --state document).\n"
	"--state restores a saved plug-in state before the render, as a host opening a project does;\n"
	"--save-state writes the plug-in's state after it, to keep or share the sound.\n"
	"--preset selects a program of the plug-in's program list (by name, index or, for Zorv,\n"
	"its id such as factory-3) before the score's own values; --list-presets prints them.\n"
	"A --preset ending in .vstpreset is a VST 3 preset file, loaded as a host loads one.\n"
	"--bridge speaks the editor's protocol: each line of standard input is one JSON message\n"
	"for the controller, each message it sends is one line of standard output. Lines whose\n"
	"object has a \"zorv\" member are the tool's own commands:\n"
	"  {\"zorv\":\"tick\"}   one cadence tick (the processor reports to the controller)\n"
	"  {\"zorv\":\"wait\",\"for\":\"tavik.bankState\",\"seconds\":60}\n"
	"                    ticks the cadence until the plug-in sends a message of that type (a\n"
	"                    hosted bank's download finishing, say), then answers\n"
	"                    {\"zorv\":\"waited\",...} or, when the time ran out, {\"zorv\":\"timeout\",...}\n"
	"  {\"zorv\":\"render\",\"seconds\":2,\"out\":\"a.wav\",\"note\":48,\"velocity\":0.9}\n"
	"                    renders that long (striking the note when given) to a WAV file and\n"
	"                    answers {\"zorv\":\"rendered\",\"out\":...,\"frames\":...}\n"
	"  {\"zorv\":\"set\",\"id\":1,\"normalized\":0.5}\n"
	"                    changes a parameter as host automation does\n"
	"  {\"zorv\":\"text\",\"id\":1,\"normalized\":0.5}\n"
	"                    answers {\"zorv\":\"text\",...,\"text\":\"1.25\",\"units\":\"\",\"plain\":1.25}: the\n"
	"                    host's display text of that value, the parameter's units and the\n"
	"                    plain value the controller makes of it\n"
	"  {\"zorv\":\"get\",\"id\":1}\n"
	"                    answers {\"zorv\":\"value\",\"id\":1,\"normalized\":...}\n"
	"  {\"zorv\":\"quit\"}   ends the session (so does the end of the input)\n"
	"The controller's edits (begin, perform, end) are reported as they come:\n"
	"  {\"zorv\":\"edit\",\"kind\":\"perform\",\"id\":1,\"normalized\":0.5}\n";

struct Options
{
	std::string plugin, score, out, className, midi, state, saveState, preset;
	bool listPresets = false;
	bool bridge = false;
	double rate = 0;
	int block = 0;
};

class UsageError : public std::runtime_error
{
public:
	using std::runtime_error::runtime_error;
};

Options parseOptions (int argc, char** argv)
{
	Options o;
	for (int i = 1; i < argc; ++i)
	{
		const std::string arg = argv[i];
		auto next = [&] () -> std::string {
			if (i + 1 >= argc)
				throw UsageError (arg + " needs a value");
			return argv[++i];
		};
		if (arg == "--plugin")
			o.plugin = next ();
		else if (arg == "--score")
			o.score = next ();
		else if (arg == "--out")
			o.out = next ();
		else if (arg == "--class")
			o.className = next ();
		else if (arg == "--midi")
			o.midi = next ();
		else if (arg == "--state")
			o.state = next ();
		else if (arg == "--save-state")
			o.saveState = next ();
		else if (arg == "--preset")
			o.preset = next ();
		else if (arg == "--list-presets")
			o.listPresets = true;
		else if (arg == "--bridge")
			o.bridge = true;
		else if (arg == "--rate")
		{
			const std::string v = next ();
			char* end = nullptr;
			o.rate = std::strtod (v.c_str (), &end);
			if (!end || *end || !(o.rate >= 1000 && o.rate <= 768000))
				throw UsageError ("--rate: expected a sample rate 1000..768000, not '" + v + "'");
		}
		else if (arg == "--block")
		{
			const std::string v = next ();
			char* end = nullptr;
			const long block = std::strtol (v.c_str (), &end, 10);
			if (!end || *end || block < 1 || block > 16384)
				throw UsageError ("--block: expected a block size 1..16384, not '" + v + "'");
			o.block = static_cast<int> (block);
		}
		else if (arg == "-h" || arg == "--help")
		{
			std::fputs (kUsage, stdout);
			std::exit (0);
		}
		else
			throw UsageError ("unexpected argument '" + arg + "'");
	}
	if (o.plugin.empty ())
		throw UsageError ("--plugin is required");
	if (o.listPresets || o.bridge)
		return o;
	if (o.out.empty ())
		throw UsageError ("--out is required");
	if (o.score.empty () && o.midi.empty ())
		throw UsageError ("give --score or --midi");
	return o;
}

std::string readFile (const std::string& path)
{
	std::ifstream in (path, std::ios::binary);
	if (!in)
		throw std::runtime_error (path + ": cannot read the file");
	std::ostringstream text;
	text << in.rdbuf ();
	return text.str ();
}

// A saved state, checked to be one JSON object before any plug-in sees it,
// so that a damaged file is named with where it breaks.
std::string readStateFile (const std::string& path)
{
	const std::string text = readFile (path);
	std::vector<char> copy (text.begin (), text.end ());
	copy.push_back (0);
	tavik::JsonReader reader (copy.data (), copy.data () + text.size ());
	tavik::JsonValue document;
	bool ok = reader.value (document, 0);
	if (ok)
		reader.skipWhitespace ();
	if (!ok || reader.cur != reader.end)
		throw std::runtime_error (path + ": state: not valid JSON (at byte " +
		                          std::to_string (reader.cur - copy.data ()) + ")");
	if (document.kind != tavik::JsonValue::Kind::Object)
		throw std::runtime_error (path + ": state: expected a JSON object");
	return text;
}

// A new temporary file beside `path`, to be renamed into place once it is
// complete; its name goes to `temporary`. mkstemp creates the file private:
// it gets the permissions of any new file.
int createBeside (const std::string& path, std::string& temporary, const char* what)
{
	temporary = path + ".part-XXXXXX";
	const int fd = mkstemp (temporary.data ());
	if (fd < 0)
		throw std::runtime_error (path + ": cannot create the " + what + " (" + std::strerror (errno) + ")");
	const mode_t mask = umask (0);
	umask (mask);
	fchmod (fd, 0666 & ~mask);
	return fd;
}

// Writes beside the target and renames into place, so that a failed write
// never leaves half a file where a good one was.
void writeFileAtomically (const std::string& path, const std::string& bytes)
{
	std::string temporary;
	const int fd = createBeside (path, temporary, "file");
	const bool written = tavik::writeWhole (fd, bytes.data (), bytes.size ());
	const bool closed = ::close (fd) == 0;
	if (!written || !closed || std::rename (temporary.c_str (), path.c_str ()) != 0)
	{
		const std::string reason = std::strerror (errno);
		std::remove (temporary.c_str ());
		throw std::runtime_error (path + ": cannot write the file (" + reason + ")");
	}
}

// What one render plays, read from the options, the score and the MIDI
// file: the score's start values and its events (each at its frame, sorted
// by frame), the sample rate, the block size and the length in frames.
struct RenderDescription
{
	Score score;
	double rate = 0;
	int block = 0;
	int64_t frames = 0;
};

RenderDescription readRender (const Options& options)
{
	RenderDescription render;
	Score& score = render.score;
	if (!options.score.empty ())
	{
		std::string error;
		if (!tavik::tools::parseScore (readFile (options.score), score, error))
			throw std::runtime_error (options.score + ": " + error);
	}
	double midiEnd = 0;
	if (!options.midi.empty ())
	{
		if (!score.events.empty ())
			throw std::runtime_error (options.score + ": score: events: --midi plays in place of the score's events; "
			                                          "remove one of them");
		std::string error;
		if (!tavik::tools::readMidiFile (options.midi, score.events, midiEnd, error))
			throw std::runtime_error (error);
	}
	render.rate = options.rate > 0 ? options.rate : score.sampleRate;
	render.block = options.block > 0 ? options.block : score.blockSize;
	if (score.hasFrames)
		render.frames = score.frames;
	else if (score.hasSeconds)
		render.frames = static_cast<int64_t> (std::llround (score.seconds * render.rate));
	else if (!options.midi.empty ())
		render.frames = static_cast<int64_t> (std::llround ((midiEnd + 4.0) * render.rate));
	else
		throw std::runtime_error (options.score + ": score: give \"frames\" or \"seconds\"");
	if (render.frames < 1)
		throw std::runtime_error (options.score + ": score: the render is empty");
	tavik::tools::resolveEventFrames (score.events, render.rate);
	for (const ScoreEvent& e : score.events)
		if (e.frame < 0 || e.frame >= render.frames)
			throw std::runtime_error ((options.midi.empty () ? options.score + ": score: " : std::string ()) + e.field +
			                          ": frame " + std::to_string (e.frame) + " is outside the render (0.." +
			                          std::to_string (render.frames - 1) + ")");
	return render;
}

bool isZorvProcessor (const TUID cid)
{
	uint8_t expected[16];
	for (int w = 0; w < 4; ++w)
	{
		const uint32_t word = tavik::classIdWord (tavik::PROCESSOR_ID_WORD0, static_cast<uint32_t> (w));
		for (int b = 0; b < 4; ++b)
			expected[4 * w + b] = static_cast<uint8_t> (word >> (24 - 8 * b));
	}
	return std::memcmp (expected, cid, 16) == 0;
}

PClassInfo chooseClass (IPluginFactory* factory, const std::string& wanted)
{
	FUnknownPtr<IPluginFactory2> factory2 (factory);
	const int32 count = factory->countClasses ();
	std::vector<std::string> names;
	for (int32 i = 0; i < count; ++i)
	{
		PClassInfo info {};
		if (factory->getClassInfo (i, &info) != kResultOk ||
		    std::strncmp (info.category, kVstAudioEffectClass, PClassInfo::kCategorySize) != 0)
			continue;
		const std::string name = tavik::fixedText (info.name);
		names.push_back (name);
		if (!wanted.empty ())
		{
			if (name == wanted)
				return info;
			continue;
		}
		PClassInfo2 info2 {};
		if (factory2 && factory2->getClassInfo2 (i, &info2) == kResultOk &&
		    tavik::fixedText (info2.subCategories).find ("Instrument") != std::string::npos)
			return info;
	}
	std::string list;
	for (const std::string& n : names)
		list += (list.empty () ? "" : ", ") + ("\"" + n + "\"");
	if (!wanted.empty ())
		throw HostError ("no processor class named \"" + wanted + "\" (classes: " + (list.empty () ? "none" : list) +
		                 ")");
	throw HostError ("no instrument class in this bundle (processor classes: " + (list.empty () ? "none" : list) + ")");
}

// Parameter names a score may use: host title, numeric id and, for Zorv,
// the paths of its parameter table.
class ParameterNames
{
public:
	ParameterNames (IEditController* editController, bool isZorv) : controller (editController), zorv (isZorv)
	{
		const int32 count = controller->getParameterCount ();
		for (int32 i = 0; i < count; ++i)
		{
			ParameterInfo info {};
			if (controller->getParameterInfo (i, info) != kResultOk)
				continue;
			const std::string title = tavik::tools::utf16ToUtf8 (reinterpret_cast<const char16_t*> (info.title), 128);
			byTitle.emplace (title, info.id);
			ids.emplace (std::to_string (info.id), info.id);
		}
	}

	ParamID resolve (const ScoreValue& v, const std::string& field) const
	{
		if (zorv)
			if (const tavik::tavik_param_desc* row = tavik::tavik_param_find_path (v.parameter))
				return row->id;
		if (auto it = byTitle.find (v.parameter); it != byTitle.end ())
			return it->second;
		if (auto it = ids.find (v.parameter); it != ids.end ())
			return it->second;
		throw std::runtime_error ("score: " + field + ": no parameter named \"" + v.parameter + "\"");
	}

	ParamValue normalized (ParamID id, const ScoreValue& v) const
	{
		if (v.isText)
		{
			String128 text {};
			for (size_t i = 0; i < 127 && i < v.text.size (); ++i)
				text[i] = static_cast<TChar> (static_cast<unsigned char> (v.text[i]));
			ParamValue out = 0;
			if (controller->getParamValueByString (id, text, out) != kResultOk)
				throw std::runtime_error ("score: " + v.field + ": \"" + v.text + "\" is not a value of \"" +
				                          v.parameter + "\"");
			return out;
		}
		const ParamValue n = controller->plainParamToNormalized (id, v.value);
		return n < 0 ? 0 : n > 1 ? 1 : n;
	}

private:
	IEditController* controller;
	bool zorv;
	std::map<std::string, ParamID> byTitle;
	std::map<std::string, ParamID> ids;
};

// A parameter change of the render: a normalized value from a frame on.
struct TimedChange
{
	int64_t frame;
	ParamID id;
	ParamValue value;
};

// Every parameter change of the render, resolved through the controller to
// normalized values: the score's start values at frame 0, then its param
// events in frame order.
std::vector<TimedChange> resolveParameterChanges (const Score& score, IEditController* controller, bool zorv)
{
	const ParameterNames names (controller, zorv);
	std::vector<TimedChange> changes;
	for (const ScoreValue& p : score.params)
	{
		const std::string field = "params." + p.parameter;
		const ParamID id = names.resolve (p, field);
		ScoreValue v = p;
		v.field = field;
		changes.push_back ({0, id, names.normalized (id, v)});
	}
	FUnknownPtr<IMidiMapping> mapping (controller);
	std::map<std::pair<int, int>, int> unassigned; // messages per channel and controller
	for (const ScoreEvent& e : score.events)
		if (e.type == ScoreEvent::PARAM)
		{
			const ParamID id = names.resolve (e.param, e.field + ".path");
			changes.push_back ({e.frame, id, names.normalized (id, e.param)});
		}
		else if (e.type == ScoreEvent::CC)
		{
			// A host plays a control change as a change of the parameter the
			// plug-in assigns to that controller, to the value over 127.
			ParamID id = 0;
			if (mapping &&
			    mapping->getMidiControllerAssignment (0, static_cast<int16> (e.channel),
			                                          static_cast<CtrlNumber> (e.controller), id) == kResultOk)
				changes.push_back ({e.frame, id, e.ccValue / 127.0});
			else
				++unassigned[{e.channel, e.controller}];
		}
	for (const auto& [where, count] : unassigned)
		std::fprintf (stderr, "zorv-render: CC %d on MIDI channel %d drives no parameter: %d message%s left out\n",
		              where.second, where.first + 1, count, count == 1 ? "" : "s");
	return changes;
}

// The score's CC map reaches the controller as a host restores a project:
// in the controller's own state, which the controller passes on to the
// processor.
void adoptScoreCcMap (tavik::tools::PluginInstance& plugin, const tavik::CcMap& map, bool zorv,
                      const std::string& scorePath)
{
	if (!zorv)
		throw std::runtime_error (scorePath + ": score: ccMap: only Zorv takes a CC map");
	std::string chunk = "{\"ccMap\":";
	tavik::writeCcMapJson (chunk, map);
	chunk += "}";
	if (!plugin.restoreControllerState (chunk))
		throw std::runtime_error (scorePath + ": score: ccMap: the controller refused the CC map");
}

// The WAV being written: a temporary file beside the target, renamed into
// place only when everything was written.
class WavOutput
{
public:
	WavOutput (const std::string& path, int sampleRate) : target (path)
	{
		const int fd = createBeside (path, temporary, "output file");
		SF_INFO info {};
		info.samplerate = sampleRate;
		info.channels = 2;
		info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
		file = sf_open_fd (fd, SFM_WRITE, &info, SF_TRUE);
		if (!file)
		{
			::close (fd);
			std::remove (temporary.c_str ());
			throw std::runtime_error (path + ": cannot write WAV data (" + sf_strerror (nullptr) + ")");
		}
		// No PEAK chunk: it carries a time stamp, and the same render must
		// give the same file.
		sf_command (file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
	}

	~WavOutput ()
	{
		if (file)
			sf_close (file);
		if (!committed)
			std::remove (temporary.c_str ());
	}

	void write (const float* left, const float* right, size_t frames)
	{
		interleaved.resize (2 * frames);
		for (size_t i = 0; i < frames; ++i)
		{
			interleaved[2 * i] = left[i];
			interleaved[2 * i + 1] = right[i];
			peak = std::max (
				{peak, std::fabs (static_cast<double> (left[i])), std::fabs (static_cast<double> (right[i]))});
			sumSquares += static_cast<double> (left[i]) * left[i] + static_cast<double> (right[i]) * right[i];
		}
		if (sf_writef_float (file, interleaved.data (), static_cast<sf_count_t> (frames)) !=
		    static_cast<sf_count_t> (frames))
			throw std::runtime_error (target + ": write failed (" + sf_strerror (file) + ")");
		written += frames;
	}

	void commit ()
	{
		if (sf_close (file) != 0)
		{
			file = nullptr;
			throw std::runtime_error (target + ": could not finish the file");
		}
		file = nullptr;
		if (std::rename (temporary.c_str (), target.c_str ()) != 0)
			throw std::runtime_error (target + ": cannot move the finished file into place (" + std::strerror (errno) +
			                          ")");
		committed = true;
	}

	double peak = 0;
	double sumSquares = 0;
	size_t written = 0;

private:
	std::string target;
	std::string temporary;
	SNDFILE* file = nullptr;
	std::vector<float> interleaved;
	bool committed = false;
};

std::string decibels (double linear)
{
	char text[32];
	if (linear <= 0)
		return "-inf dBFS";
	std::snprintf (text, sizeof (text), "%.1f dBFS", 20 * std::log10 (linear));
	return text;
}

// The progress line shown on a terminal while a long render runs.
class ProgressLine
{
public:
	ProgressLine (int64_t totalFrames, double sampleRate)
		: shown (isatty (STDERR_FILENO) && totalFrames > static_cast<int64_t> (sampleRate * 5)), total (totalFrames),
		  rate (sampleRate)
	{
	}

	void update (int64_t done)
	{
		if (!shown)
			return;
		const int percent = static_cast<int> (100 * done / total);
		if (percent == lastPercent)
			return;
		lastPercent = percent;
		std::fprintf (stderr, "\rzorv-render: %3d%% (%.1f of %.1f s)", percent, done / rate, total / rate);
		std::fflush (stderr);
	}

	void clear ()
	{
		if (shown)
			std::fputs ("\r\033[K", stderr);
	}

private:
	bool shown;
	int64_t total;
	double rate;
	int lastPercent = -1;
};

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

// Plays a render through a started plug-in in host-sized blocks: each
// block's parameter changes (told to the controller too) and note events go
// in, and the stereo output goes to the WAV file with the plug-in's latency
// dropped from the front, so that it lines up with the score.
class BlockRenderer
{
public:
	BlockRenderer (const tavik::tools::PluginInstance& instance, const RenderDescription& description,
	               const std::vector<TimedChange>& parameterChanges, tavik::tools::EditForwarder& controllerEdits)
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
	BlockRenderer (const BlockRenderer&) = delete;
	BlockRenderer& operator= (const BlockRenderer&) = delete;

	/** Renders the whole score into `wav`; returns the seconds it took. */
	double renderInto (WavOutput& wav)
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

private:
	// What the controller edited (a preset, say) reaches the processor at
	// the start of the next block, as a host forwards it.
	void queueControllerEdits ()
	{
		for (const auto& [id, value] : edits.take ())
		{
			int32 queueIndex = 0, pointIndex = 0;
			if (IParamValueQueue* queue = inChanges.addParameterData (id, queueIndex))
				queue->addPoint (0, value, pointIndex);
		}
	}

	void queueChanges (int64_t start, int32 n)
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

	void queueNotes (int64_t start, int32 n)
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

	void process (int64_t start, int32 n)
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

	const tavik::tools::PluginInstance& plugin;
	const RenderDescription& render;
	const std::vector<TimedChange>& changes;
	tavik::tools::EditForwarder& edits;
	const int64_t latency;
	std::vector<float> left, right;
	float* channels[2] = {};
	AudioBusBuffers output {};
	tavik::tools::HostParameterChanges inChanges, outChanges;
	tavik::tools::HostEventList inEvents, outEvents;
	ProcessContext context {};
	size_t nextChange = 0;
	size_t nextEvent = 0;
};

// One program of the controller's first program list.
struct Program
{
	int32 index;
	std::string name;
	std::string id; // Zorv's preset id, else empty
};

std::vector<Program> listPrograms (IEditController* controller, bool zorv)
{
	std::vector<Program> programs;
	FUnknownPtr<IUnitInfo> units (controller);
	ProgramListInfo info {};
	if (!units || units->getProgramListCount () < 1 || units->getProgramListInfo (0, info) != kResultOk)
		return programs;
	for (int32 i = 0; i < info.programCount; ++i)
	{
		String128 name {};
		if (units->getProgramName (info.id, i, name) != kResultOk)
			continue;
		std::string id;
		if (zorv && i < static_cast<int32> (tavik::TAVIK_FACTORY_PRESET_COUNT))
			id = tavik::TAVIK_FACTORY_PRESETS[i].id;
		programs.push_back ({i, tavik::tools::utf16ToUtf8 (reinterpret_cast<const char16_t*> (name), 128), id});
	}
	return programs;
}

// Selects a program through the controller's program-change parameter, as
// a host's preset menu does; the controller's edits follow at the next block.
void selectProgram (IEditController* controller, bool zorv, const std::string& wanted)
{
	const std::vector<Program> programs = listPrograms (controller, zorv);
	if (programs.empty ())
		throw std::runtime_error ("--preset: the plug-in has no program list");
	const Program* chosen = nullptr;
	for (const Program& p : programs)
		if (p.name == wanted || (!p.id.empty () && p.id == wanted) || std::to_string (p.index) == wanted)
			chosen = &p;
	if (!chosen)
		throw std::runtime_error ("--preset: no program '" + wanted + "' (--list-presets shows them)");
	const int32 count = controller->getParameterCount ();
	for (int32 i = 0; i < count; ++i)
	{
		ParameterInfo info {};
		if (controller->getParameterInfo (i, info) != kResultOk || !(info.flags & ParameterInfo::kIsProgramChange))
			continue;
		const double steps = info.stepCount > 0 ? info.stepCount : 1;
		controller->setParamNormalized (info.id, chosen->index / steps);
		return;
	}
	throw std::runtime_error ("--preset: the plug-in has no program-change parameter");
}

// A preset file goes to the plug-in as a host loads one: the component
// state to the processor and the controller, then the controller's own.
void loadPresetFile (tavik::tools::PluginInstance& plugin, const std::string& path, const PClassInfo& classInfo)
{
	const tavik::tools::PresetFileContents preset = tavik::tools::readPresetFile (path, classInfo.cid);
	if (!plugin.restoreState (preset.componentState))
		throw std::runtime_error (path + ": preset: the plug-in refused its component state");
	if (preset.hasControllerState && !plugin.restoreControllerState (preset.controllerState))
		throw std::runtime_error (path + ": preset: the plug-in refused its controller state");
}

// The render plays the first event input into the first audio output, which
// must be stereo.
void requirePlayableBuses (IComponent* component)
{
	BusInfo bus {};
	if (component->getBusCount (kAudio, kOutput) < 1 || component->getBusInfo (kAudio, kOutput, 0, bus) != kResultOk ||
	    bus.channelCount != 2)
		throw HostError ("the plug-in has no stereo main output");
	if (component->getBusCount (kEvent, kInput) < 1)
		throw HostError ("the plug-in has no event input, so it cannot be played");
}

int listPresets (const Options& options)
{
	tavik::tools::ToolHostApplication host ("Tavik zorv-render");
	tavik::tools::HostedModule module (options.plugin);
	const PClassInfo classInfo = chooseClass (module.factory (), options.className);
	tavik::tools::PluginInstance plugin (module.factory (), classInfo, &host);
	for (const Program& p : listPrograms (plugin.controller (), isZorvProcessor (classInfo.cid)))
		std::printf ("%d\t%s%s%s\n", static_cast<int> (p.index), p.id.c_str (), p.id.empty () ? "" : "\t",
		             p.name.c_str ());
	return 0;
}

// The editor's protocol over standard input and output, through the
// module's exported diagnostic bridge, with the tool's own commands to tick
// the cadence and to render what the controller has set.
class BridgeSession
{
public:
	using Install = int (*) (FUnknown*, void (*) (void*, const char*, size_t), void*);
	using Deliver = int (*) (FUnknown*, const char*, size_t);
	using Tick = int (*) (FUnknown*);

	BridgeSession (const Options& o) : options (o), module (o.plugin)
	{
		install = reinterpret_cast<Install> (module.symbol ("tavikInstallDiagnosticBridgeSink"));
		deliver = reinterpret_cast<Deliver> (module.symbol ("tavikDeliverDiagnosticBridgeMessage"));
		tick = reinterpret_cast<Tick> (module.symbol ("tavikTickDiagnosticCadence"));
		if (!install || !deliver || !tick)
			throw HostError ("--bridge: the module exports no diagnostic bridge");
	}

	int run ()
	{
		FUnknownPtr<IPluginFactory3> factory3 (module.factory ());
		if (factory3)
			factory3->setHostContext (&host);
		const PClassInfo classInfo = chooseClass (module.factory (), options.className);
		tavik::tools::PluginInstance plugin (module.factory (), classInfo, &host);
		requirePlayableBuses (plugin.component ());
		plugin.controller ()->setComponentHandler (&edits);
		edits.observe ([] (const char* kind, ParamID id, double normalized) {
			std::string line = "{\"zorv\":\"edit\",\"kind\":\"";
			line += kind;
			line += "\",\"id\":" + std::to_string (id) + ",\"normalized\":";
			tavik::jsonAppendNumber (line, normalized);
			line += "}";
			printLine (nullptr, line.data (), line.size ());
		});
		rate = options.rate > 0 ? options.rate : 48000;
		block = options.block > 0 ? options.block : 512;
		plugin.start (rate, block, kRealtime);
		if (install (plugin.controller (), &BridgeSession::printLine, nullptr) != 1)
			throw HostError ("--bridge: the plug-in's controller does not take a bridge sink");

		std::string line;
		while (std::getline (std::cin, line))
		{
			if (line.find_first_not_of (" \t\r") == std::string::npos)
				continue;
			tavik::JsonValue command;
			if (tavik::parseJsonDocument (line.data (), line.size (), command) && command.find ("zorv"))
			{
				if (!runCommand (command, plugin))
					break;
			}
			else
				deliver (plugin.controller (), line.data (), line.size ());
		}
		install (plugin.controller (), nullptr, nullptr);
		edits.observe ({});
		return 0;
	}

private:
	static void printLine (void*, const char* json, size_t length)
	{
		if (waitedFor && std::string_view (json, length).find (*waitedFor) != std::string_view::npos)
			seen = true;
		std::fwrite (json, 1, length, stdout);
		std::fputc ('\n', stdout);
		std::fflush (stdout);
	}

	// False ends the session.
	bool runCommand (const tavik::JsonValue& command, const tavik::tools::PluginInstance& plugin)
	{
		const std::string name = command.str ("zorv", "");
		if (name == "quit")
			return false;
		if (name == "tick")
		{
			tick (plugin.controller ());
			return true;
		}
		if (name == "set" || name == "get" || name == "text")
		{
			parameterCommand (name, command, plugin.controller ());
			return true;
		}
		if (name == "wait")
		{
			waitCommand (command, plugin.controller ());
			return true;
		}
		if (name != "render")
		{
			std::fprintf (stderr,
			              "zorv-render: bridge: unknown command \"%s\" (tick, wait, render, set, get, text, quit)\n",
			              name.c_str ());
			return true;
		}
		const tavik::JsonValue* seconds = command.find ("seconds");
		const std::string out = command.str ("out", "");
		if (!seconds || seconds->kind != tavik::JsonValue::Kind::Number || !(seconds->number > 0) ||
		    seconds->number > 3600 || out.empty ())
		{
			std::fputs ("zorv-render: bridge: render needs \"seconds\" (0..3600) and \"out\"\n", stderr);
			return true;
		}
		RenderDescription render;
		render.rate = rate;
		render.block = block;
		render.frames = std::max<int64_t> (1, std::llround (seconds->number * rate));
		if (const tavik::JsonValue* note = command.find ("note"); note && note->kind == tavik::JsonValue::Kind::Number)
		{
			ScoreEvent strike;
			strike.type = ScoreEvent::NOTE_ON;
			strike.hasFrame = true;
			strike.note = static_cast<int> (std::clamp (note->number, 0.0, 127.0));
			const tavik::JsonValue* velocity = command.find ("velocity");
			if (velocity && velocity->kind == tavik::JsonValue::Kind::Number)
				strike.velocity = std::clamp (velocity->number, 0.0, 1.0);
			render.score.events.push_back (strike);
		}
		try
		{
			const std::vector<TimedChange> none; // the controller's edits are the changes
			BlockRenderer renderer (plugin, render, none, edits);
			WavOutput wav (out, static_cast<int> (std::lround (rate)));
			renderer.renderInto (wav);
			wav.commit ();
			std::string reply = "{\"zorv\":\"rendered\",\"out\":";
			tavik::jsonAppendQuoted (reply, out.c_str ());
			reply += ",\"frames\":" + std::to_string (render.frames) + "}";
			printLine (nullptr, reply.data (), reply.size ());
		}
		catch (const std::exception& e)
		{
			std::fprintf (stderr, "zorv-render: bridge: %s\n", e.what ());
		}
		return true;
	}

	// "wait" ticks the cadence, as a host's run loop would, until the plug-in
	// sends a message of the given type (a download finishing, say) or the
	// time runs out; then it says which.
	void waitCommand (const tavik::JsonValue& command, FUnknown* controller)
	{
		const std::string type = command.str ("for", "");
		const tavik::JsonValue* seconds = command.find ("seconds");
		if (type.empty () || !seconds || seconds->kind != tavik::JsonValue::Kind::Number || !(seconds->number > 0) ||
		    seconds->number > 3600)
		{
			std::fputs ("zorv-render: bridge: wait needs \"for\" (a message type) and \"seconds\" (0..3600)\n", stderr);
			return;
		}
		std::string marker = "\"type\":";
		tavik::jsonAppendQuoted (marker, type.c_str ());
		waitedFor = &marker;
		seen = false;
		const auto until = std::chrono::steady_clock::now () + std::chrono::duration<double> (seconds->number);
		while (!seen && std::chrono::steady_clock::now () < until)
		{
			tick (controller);
			if (!seen)
				std::this_thread::sleep_for (std::chrono::milliseconds (1000 / 30));
		}
		waitedFor = nullptr;
		std::string reply = seen ? "{\"zorv\":\"waited\",\"for\":" : "{\"zorv\":\"timeout\",\"for\":";
		tavik::jsonAppendQuoted (reply, type.c_str ());
		reply += "}";
		printLine (nullptr, reply.data (), reply.size ());
	}

	// "set" changes a parameter as the host's automation would; "get" reads
	// it; "text" asks for the display text a host shows for a value.
	static void parameterCommand (const std::string& name, const tavik::JsonValue& command, IEditController* controller)
	{
		const tavik::JsonValue* id = command.find ("id");
		const tavik::JsonValue* normalized = command.find ("normalized");
		const bool needsValue = name != "get";
		if (!id || id->kind != tavik::JsonValue::Kind::Number || !(id->number >= 0) || id->number > 0xFFFFFFFFu ||
		    (needsValue && (!normalized || normalized->kind != tavik::JsonValue::Kind::Number)))
		{
			std::fprintf (stderr, "zorv-render: bridge: %s needs \"id\"%s\n", name.c_str (),
			              needsValue ? " and \"normalized\"" : "");
			return;
		}
		const auto paramId = static_cast<ParamID> (id->number);
		if (name == "set")
		{
			controller->setParamNormalized (paramId, std::clamp (normalized->number, 0.0, 1.0));
			return;
		}
		if (name == "text")
		{
			printDisplayText (controller, paramId, normalized->number);
			return;
		}
		std::string reply = "{\"zorv\":\"value\",\"id\":" + std::to_string (paramId) + ",\"normalized\":";
		tavik::jsonAppendNumber (reply, controller->getParamNormalized (paramId));
		reply += "}";
		printLine (nullptr, reply.data (), reply.size ());
	}

	static void printDisplayText (IEditController* controller, ParamID id, double normalized)
	{
		String128 text {};
		const bool shown = controller->getParamStringByValue (id, normalized, text) == kResultOk;
		std::string units;
		for (int32 i = 0, count = controller->getParameterCount (); i < count; ++i)
		{
			ParameterInfo info {};
			if (controller->getParameterInfo (i, info) == kResultOk && info.id == id)
				units = tavik::tools::utf16ToUtf8 (reinterpret_cast<const char16_t*> (info.units), 128);
		}
		std::string reply = "{\"zorv\":\"text\",\"id\":" + std::to_string (id) + ",\"normalized\":";
		tavik::jsonAppendNumber (reply, normalized);
		if (shown)
		{
			reply += ",\"text\":";
			tavik::jsonAppendQuoted (
				reply, tavik::tools::utf16ToUtf8 (reinterpret_cast<const char16_t*> (text), 128).c_str ());
			reply += ",\"units\":";
			tavik::jsonAppendQuoted (reply, units.c_str ());
			reply += ",\"plain\":";
			tavik::jsonAppendNumber (reply, controller->normalizedParamToPlain (id, normalized));
		}
		reply += "}";
		printLine (nullptr, reply.data (), reply.size ());
	}

	// What a "wait" looks for in the lines the plug-in sends (one session
	// at a time, on the main thread).
	static inline const std::string* waitedFor = nullptr;
	static inline bool seen = false;

	const Options& options;
	tavik::tools::ToolHostApplication host {"Tavik zorv-render"};
	tavik::tools::HostedModule module;
	tavik::tools::EditForwarder edits;
	Install install = nullptr;
	Deliver deliver = nullptr;
	Tick tick = nullptr;
	double rate = 48000;
	int block = 512;
};

int run (const Options& options)
{
	if (options.listPresets)
		return listPresets (options);
	if (options.bridge)
		return BridgeSession (options).run ();
	const RenderDescription render = readRender (options);
	const std::string state = options.state.empty () ? std::string () : readStateFile (options.state);

	tavik::tools::ToolHostApplication host ("Tavik zorv-render");
	tavik::tools::HostedModule module (options.plugin);
	FUnknownPtr<IPluginFactory3> factory3 (module.factory ());
	if (factory3)
		factory3->setHostContext (&host);
	const PClassInfo classInfo = chooseClass (module.factory (), options.className);
	// The controller holds the handler until it terminates: it outlives the plug-in.
	tavik::tools::EditForwarder edits;
	tavik::tools::PluginInstance plugin (module.factory (), classInfo, &host);
	requirePlayableBuses (plugin.component ());
	if (!options.state.empty () && !plugin.restoreState (state))
		throw std::runtime_error (options.state + ": state: the plug-in refused it (not a state document of " +
		                          tavik::fixedText (classInfo.name) + ")");
	const bool presetFile = tavik::tools::namesPresetFile (options.preset);
	if (presetFile)
		loadPresetFile (plugin, options.preset, classInfo);
	if (render.score.hasCcMap)
		adoptScoreCcMap (plugin, render.score.ccMap, isZorvProcessor (classInfo.cid), options.score);
	const std::vector<TimedChange> changes =
		resolveParameterChanges (render.score, plugin.controller (), isZorvProcessor (classInfo.cid));

	plugin.controller ()->setComponentHandler (&edits);
	plugin.start (render.rate, render.block, kOffline);
	if (!options.preset.empty () && !presetFile)
		selectProgram (plugin.controller (), isZorvProcessor (classInfo.cid), options.preset);
	BlockRenderer renderer (plugin, render, changes, edits);
	WavOutput wav (options.out, static_cast<int> (std::lround (render.rate)));
	const double elapsed = renderer.renderInto (wav);
	wav.commit ();
	if (!options.saveState.empty ())
		writeFileAtomically (options.saveState, plugin.saveState ());

	const double seconds = static_cast<double> (render.frames) / render.rate;
	const double rms = std::sqrt (wav.sumSquares / (2.0 * static_cast<double> (wav.written)));
	std::printf ("zorv-render: %s: %.3f s (%lld frames at %g Hz), peak %s, RMS %s, %.1fx real time\n",
	             options.out.c_str (), seconds, static_cast<long long> (render.frames), render.rate,
	             decibels (wav.peak).c_str (), decibels (rms).c_str (), elapsed > 0 ? seconds / elapsed : 0.0);
	return 0;
}

} // namespace

int main (int argc, char** argv)
{
	try
	{
		return run (parseOptions (argc, argv));
	}
	catch (const UsageError& e)
	{
		std::fprintf (stderr, "zorv-render: %s\n%s", e.what (), kUsage);
		return 2;
	}
	catch (const std::exception& e)
	{
		std::fprintf (stderr, "zorv-render: %s\n", e.what ());
		return 1;
	}
}
