#include "render_options.h"

#include <cstdio>
#include <cstdlib>

namespace tavik::tools {

const char* const kUsage =
	"usage: zorv-render --plugin BUNDLE --score SCORE.json --out OUT.wav\n"
	"                   [--rate HZ] [--block FRAMES] [--class NAME] [--midi FILE.mid]\n"
	"                   [--state STATE.json] [--save-state STATE.json] [--preset NAME|INDEX|ID|FILE.vstpreset]\n"
	"                   [--midi-resolution]\n"
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
	"--midi-resolution plays the score's velocities at 7-bit MIDI steps and its numeric parameter\n"
	"values as 32-bit floats, as an LV2 host carries them (zorv-lv2-render always does).\n"
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
	"                    answers {\"zorv\":\"rendered\",\"out\":...,\"frames\":...}; with\n"
	"                    \"cc\":{\"cc\":74,\"value\":100,\"channel\":1} a controller moves at its start\n"
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
		else if (arg == "--midi-resolution")
			o.midiResolution = true;
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

} // namespace tavik::tools
