// The plug-in's programs as a host's preset menu shows them (for Zorv with
// its preset ids), and the one --preset names selected through the
// controller's program-change parameter.
#pragma once

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <string>
#include <vector>

namespace tavik::tools {

// One program of the controller's first program list.
struct Program
{
	Steinberg::int32 index;
	std::string name;
	std::string id; // Zorv's preset id, else empty
};

/** The programs of the controller's first program list; empty when it has
 *  none. */
std::vector<Program> listPrograms (Steinberg::Vst::IEditController* controller, bool zorv);

// Selects a program through the controller's program-change parameter, as
// a host's preset menu does; the controller's edits follow at the next block.
void selectProgram (Steinberg::Vst::IEditController* controller, bool zorv, const std::string& wanted);

} // namespace tavik::tools
