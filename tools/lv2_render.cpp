// zorv-lv2-render: an offline LV2 host. Loads the Zorv LV2 plug-in from
// LV2_PATH, plays a score (or a Standard MIDI File) through it and writes
// the stereo output as a 32-bit float WAV file, as zorv-render does for the
// VST 3 build; the two play one score to the same samples.
//
//   zorv-lv2-render --score SCORE.json --out OUT.wav
//                   [--rate HZ] [--block FRAMES] [--midi FILE.mid]
//
// The score is held at MIDI resolution (7-bit velocities, float values);
// its notes and control changes are MIDI events at their frames, its CC map
// a patch message the plug-in's worker applies before the first frame, and
// each parameter change a port value at the start of a block: a block is
// split where a change falls inside it.

#include "lv2_host.h"
#include "lv2_layout.h"
#include "midi_resolution.h"
#include "parameter_table.h"
#include "render_description.h"
#include "render_options.h"
#include "wav_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavik::tools {

namespace {

const char* const USAGE = "usage: zorv-lv2-render --score SCORE.json --out OUT.wav\n"
						  "                       [--rate HZ] [--block FRAMES] [--midi FILE.mid]\n"
						  "Plays a score through the Zorv LV2 plug-in (found on LV2_PATH) and writes a\n"
						  "32-bit float stereo WAV; the score's format is zorv-render's.\n";

Options parseLv2Options (int argc, char** argv)
{
	// zorv-render's parser, given a stand-in for the bundle it requires;
	// the options only a VST 3 host has are refused.
	std::vector<char*> args (argv, argv + argc);
	std::string plugin = "--plugin", lv2 = "lv2";
	for (int i = 1; i < argc; ++i)
	{
		const std::string arg = argv[i];
		if (arg == "-h" || arg == "--help")
		{
			std::fputs (USAGE, stdout);
			std::exit (0);
		}
		if (arg == "--plugin" || arg == "--class" || arg == "--state" || arg == "--save-state" || arg == "--preset" ||
		    arg == "--list-presets" || arg == "--bridge")
			throw UsageError (arg + " is an option of zorv-render only");
	}
	args.push_back (plugin.data ());
	args.push_back (lv2.data ());
	Options options = parseOptions (static_cast<int> (args.size ()), args.data ());
	options.midiResolution = true;
	return options;
}

// The control port of a score's parameter: its table path, display name or
// id.
uint32_t parameterPort (const ScoreValue& v, const std::string& field)
{
	if (const tavik_param_desc* row = tavik_param_find_path (v.parameter))
		return lv2::PORT_FIRST_PARAMETER + row->id;
	for (const tavik_param_desc& row : TAVIK_PARAMS)
		if (v.parameter == row.name || v.parameter == std::to_string (row.id))
			return lv2::PORT_FIRST_PARAMETER + row.id;
	throw std::runtime_error ("score: " + field + ": no parameter named \"" + v.parameter + "\"");
}

// The plain value a port carries for a score's value: a display text is
// read as the parameter table reads it.
float portValue (uint32_t port, const ScoreValue& v, const std::string& field)
{
	const tavik_param_desc& row = TAVIK_PARAMS[port - lv2::PORT_FIRST_PARAMETER];
	if (!v.isText)
		return static_cast<float> (v.value);
	double normalized = 0;
	if (!tavik_param_from_string (&row, v.text.c_str (), normalized))
		throw std::runtime_error ("score: " + field + ": \"" + v.text + "\" is not a value of \"" + v.parameter + "\"");
	return static_cast<float> (tavik_param_plain (&row, normalized));
}

void queueMidi (Lv2Host& host, const ScoreEvent& e, uint32_t frame)
{
	const int channel = e.channel & 15;
	int status = 0x80 | channel, data1 = e.note, data2 = 0;
	if (e.type == ScoreEvent::CC)
	{
		status = 0xB0 | channel;
		data1 = e.controller;
		data2 = e.ccValue;
	}
	else if (e.type == ScoreEvent::NOTE_ON)
	{
		status = 0x90 | channel;
		data2 = midiVelocity (e.velocity);
	}
	const uint8_t bytes[3] = {static_cast<uint8_t> (status), static_cast<uint8_t> (data1 & 0x7F),
	                          static_cast<uint8_t> (data2 & 0x7F)};
	host.queueMidi (frame, bytes, 3);
}

int run (const Options& options)
{
	const RenderDescription render = readRender (options);
	const std::vector<ScoreEvent>& events = render.score.events;
	Lv2Host host (lv2::PLUGIN_URI, render.rate, render.block);
	for (const ScoreValue& p : render.score.params)
	{
		const std::string field = "params." + p.parameter;
		const uint32_t port = parameterPort (p, field);
		host.control (port) = portValue (port, p, field);
	}
	host.activate ();
	if (render.score.hasCcMap)
	{
		std::string map;
		writeCcMapJson (map, render.score.ccMap);
		host.queuePatchString (0, lv2::CC_MAP_PROPERTY_URI, map);
		host.run (0);
		if (host.workRuns != 1 || host.workFailures != 0)
			throw std::runtime_error (options.score + ": score: ccMap: the plug-in's worker did not take it");
	}

	WavOutput wav (options.out, static_cast<int> (std::lround (render.rate)));
	int64_t latency = -1; // read from the port after the first block
	size_t nextParam = 0, nextMidi = 0;
	const auto nextParamFrame = [&] () {
		while (nextParam < events.size () && events[nextParam].type != ScoreEvent::PARAM)
			++nextParam;
		return nextParam < events.size () ? events[nextParam].frame : INT64_MAX;
	};
	for (int64_t start = 0; latency < 0 || start < render.frames + latency;)
	{
		for (; nextParamFrame () <= start; ++nextParam)
		{
			const ScoreEvent& e = events[nextParam];
			const uint32_t port = parameterPort (e.param, e.field + ".path");
			host.control (port) = portValue (port, e.param, e.field);
		}
		int64_t end = std::min (start + render.block, nextParamFrame ());
		if (latency >= 0)
			end = std::min (end, render.frames + latency);
		for (; nextMidi < events.size () && events[nextMidi].frame < end; ++nextMidi)
			if (events[nextMidi].type != ScoreEvent::PARAM)
				queueMidi (host, events[nextMidi], static_cast<uint32_t> (events[nextMidi].frame - start));
		const uint32_t n = static_cast<uint32_t> (end - start);
		host.run (n);
		if (latency < 0)
			latency = static_cast<int64_t> (host.control (lv2::PORT_LATENCY));
		// The first `latency` frames precede the score.
		const int64_t skip = std::max<int64_t> (0, std::min<int64_t> (latency - start, n));
		wav.write (host.audio (lv2::PORT_OUT_LEFT) + skip, host.audio (lv2::PORT_OUT_RIGHT) + skip,
		           static_cast<size_t> (n - skip));
		start = end;
	}
	wav.commit ();
	std::printf ("zorv-lv2-render: %s\n", wav.summary (options.out, render.frames, render.rate).c_str ());
	return 0;
}

} // namespace

} // namespace tavik::tools

int main (int argc, char** argv)
{
	try
	{
		return tavik::tools::run (tavik::tools::parseLv2Options (argc, argv));
	}
	catch (const tavik::tools::UsageError& e)
	{
		std::fprintf (stderr, "zorv-lv2-render: %s\n%s", e.what (), tavik::tools::USAGE);
		return 2;
	}
	catch (const std::exception& e)
	{
		std::fprintf (stderr, "zorv-lv2-render: %s\n", e.what ());
		return 1;
	}
}
