// A VST 3 preset file (".vstpreset") read as a host reads one: the header
// names the plug-in class it belongs to, the chunk list says where the
// component state and the controller state lie. Every offset is checked
// against the file before anything is taken from it; the states then go to
// the plug-in as a host loads them.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ipluginbase.h"

#include <string>

namespace tavik::tools {

class PluginInstance;

struct PresetFileContents
{
	std::string componentState;
	std::string controllerState;
	bool hasControllerState = false;
};

/** Reads the preset file at `path` for the processor class `classId`;
 *  throws std::runtime_error naming the file and what is wrong with it
 *  (not a preset, cut short, another plug-in's, too large, damaged). */
PresetFileContents readPresetFile (const std::string& path, const Steinberg::TUID classId);

/** True when `argument` names a preset file rather than a program. */
bool namesPresetFile (const std::string& argument);

// A preset file goes to the plug-in as a host loads one: the component
// state to the processor and the controller, then the controller's own.
void loadPresetFile (PluginInstance& plugin, const std::string& path, const Steinberg::PClassInfo& classInfo);

} // namespace tavik::tools
