// The module's process-wide class factory.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"

namespace tavik {

/** The factory (created on first use) with one reference added for the
 *  caller. The module keeps a reference of its own until
 *  releasePluginFactory. */
Steinberg::IPluginFactory* acquirePluginFactory ();

/** Drops the module's own reference (module de-initialisation). */
void releasePluginFactory ();

} // namespace tavik
