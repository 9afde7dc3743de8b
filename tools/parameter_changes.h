// How a score's values reach the plug-in's parameters: its start values,
// its param events and its control changes (through the plug-in's MIDI
// mapping, which for Zorv the score's CC map sets) as timed changes.
#pragma once

#include "cc_map.h"
#include "plugin_instance.h"
#include "render_score.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::tools {

// A parameter change of the render: a normalized value from a frame on.
struct TimedChange
{
	int64_t frame;
	Steinberg::Vst::ParamID id;
	Steinberg::Vst::ParamValue value;
};

// Every parameter change of the render, resolved through the controller to
// normalized values: the score's start values at frame 0, then its param
// events in frame order.
std::vector<TimedChange> resolveParameterChanges (const Score& score, Steinberg::Vst::IEditController* controller,
                                                  bool zorv);

// The score's CC map reaches the controller as a host restores a project:
// in the controller's own state, which the controller passes on to the
// processor.
void adoptScoreCcMap (PluginInstance& plugin, const CcMap& map, bool zorv, const std::string& scorePath);

} // namespace tavik::tools
