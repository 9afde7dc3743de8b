// The processor class the render tool hosts: the one --class names, else
// the bundle's first instrument; and whether a class is Zorv's own, whose
// parameter table, preset ids and CC map the tool also understands.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"

#include <string>

namespace tavik::tools {

/** True when `cid` is Zorv's processor class. */
bool isZorvProcessor (const Steinberg::TUID cid);

/** The audio processor class named `wanted` or, when that is empty, the
 *  first one whose sub-categories say Instrument; throws HostError listing
 *  the classes there are. */
Steinberg::PClassInfo chooseClass (Steinberg::IPluginFactory* factory, const std::string& wanted);

} // namespace tavik::tools
