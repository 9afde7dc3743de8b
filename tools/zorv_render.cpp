// zorv-render: an offline VST 3 host. Loads an instrument bundle, plays a
// score (or a Standard MIDI File) through it in host-sized blocks, and writes
// the stereo output as a 32-bit float WAV file.
//
//   zorv-render --plugin BUNDLE --score SCORE.json --out OUT.wav
//               [--rate HZ] [--block FRAMES] [--class NAME] [--midi FILE.mid]
//               [--state STATE.json] [--save-state STATE.json] [--preset NAME|INDEX|ID|FILE.vstpreset]
//   zorv-render --plugin BUNDLE --list-presets
//   zorv-render --plugin BUNDLE --bridge [--rate HZ] [--block FRAMES]

#include "block_renderer.h"
#include "bridge_session.h"
#include "edit_forwarder.h"
#include "fixed_text.h"
#include "host_context.h"
#include "hosted_module.h"
#include "parameter_changes.h"
#include "plugin_instance.h"
#include "preset_file.h"
#include "processor_class.h"
#include "program_list.h"
#include "render_description.h"
#include "render_files.h"
#include "render_options.h"
#include "wav_output.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavik::tools {

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

int listPresets (const Options& options)
{
	ToolHostApplication host ("Tavik zorv-render");
	HostedModule module (options.plugin);
	const PClassInfo classInfo = chooseClass (module.factory (), options.className);
	PluginInstance plugin (module.factory (), classInfo, &host);
	for (const Program& p : listPrograms (plugin.controller (), isZorvProcessor (classInfo.cid)))
		std::printf ("%d\t%s%s%s\n", static_cast<int> (p.index), p.id.c_str (), p.id.empty () ? "" : "\t",
		             p.name.c_str ());
	return 0;
}

int run (const Options& options)
{
	if (options.listPresets)
		return listPresets (options);
	if (options.bridge)
		return BridgeSession (options).run ();
	const RenderDescription render = readRender (options);
	const std::string state = options.state.empty () ? std::string () : readStateFile (options.state);

	ToolHostApplication host ("Tavik zorv-render");
	HostedModule module (options.plugin);
	FUnknownPtr<IPluginFactory3> factory3 (module.factory ());
	if (factory3)
		factory3->setHostContext (&host);
	const PClassInfo classInfo = chooseClass (module.factory (), options.className);
	// The controller holds the handler until it terminates: it outlives the plug-in.
	EditForwarder edits;
	PluginInstance plugin (module.factory (), classInfo, &host);
	requirePlayableBuses (plugin.component ());
	if (!options.state.empty () && !plugin.restoreState (state))
		throw std::runtime_error (options.state + ": state: the plug-in refused it (not a state document of " +
		                          tavik::fixedText (classInfo.name) + ")");
	const bool presetFile = namesPresetFile (options.preset);
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
	std::printf ("zorv-render: %s, %.1fx real time\n", wav.summary (options.out, render.frames, render.rate).c_str (),
	             elapsed > 0 ? seconds / elapsed : 0.0);
	return 0;
}

} // namespace

} // namespace tavik::tools

int main (int argc, char** argv)
{
	try
	{
		return tavik::tools::run (tavik::tools::parseOptions (argc, argv));
	}
	catch (const tavik::tools::UsageError& e)
	{
		std::fprintf (stderr, "zorv-render: %s\n%s", e.what (), tavik::tools::kUsage);
		return 2;
	}
	catch (const std::exception& e)
	{
		std::fprintf (stderr, "zorv-render: %s\n", e.what ());
		return 1;
	}
}
