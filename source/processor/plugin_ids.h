// The class ids of the module's two classes as SDK objects: the factory
// registers both, and the processor names the controller's as its own
// controller class.
#pragma once

#include "product_identity.h"

#include "pluginterfaces/base/funknown.h"

namespace tavik {

/** Class ids, built from the four words at module load. */
extern const Steinberg::FUID TavikProcessorUID;
extern const Steinberg::FUID TavikControllerUID;

} // namespace tavik
