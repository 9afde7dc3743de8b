// Class ids of the module's two classes.
#pragma once

#include "plugin_identity.h"

#include "pluginterfaces/base/funknown.h"

#include <cstdint>

namespace tavik {

/** Each class id is four words stepping by this constant (mod 2^32). */
constexpr uint32_t CLASS_ID_STEP = 16777619u;  // 0x01000193

/** First words of the class ids: "Zorv" and "ZorC" in ASCII. */
constexpr uint32_t PROCESSOR_ID_WORD0 = 0x5A6F7276u;
constexpr uint32_t CONTROLLER_ID_WORD0 = 0x5A6F7243u;

constexpr uint32_t classIdWord (uint32_t word0, uint32_t index)
{
	return word0 + index * CLASS_ID_STEP;
}

/** Class ids, built from the four words at module load. */
extern const Steinberg::FUID TavikProcessorUID;
extern const Steinberg::FUID TavikControllerUID;

} // namespace tavik
