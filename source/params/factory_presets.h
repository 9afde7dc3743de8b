// The ten factory presets compiled into the product.
#pragma once

#include "parameter_table.h"

#include <cstdint>

namespace tavik {

struct tavik_factory_preset
{
	const char* id;       // "factory-1" ... "factory-10"
	const char* name;     // display name
	const double* values; // TAVIK_PARAM_COUNT normalized values in id order
};

constexpr uint32_t TAVIK_FACTORY_PRESET_COUNT = 10;

/** Program list id of the factory presets, also the id of the host's
 *  program-change parameter. */
constexpr uint32_t TAVIK_FACTORY_PROGRAM_LIST_ID = 0x3F010001;

extern const double tavik_factory_preset_0_normalized_values[TAVIK_PARAM_COUNT];
extern const double tavik_factory_preset_1_normalized_values[TAVIK_PARAM_COUNT];
extern const double tavik_factory_preset_2_normalized_values[TAVIK_PARAM_COUNT];
extern const double tavik_factory_preset_3_normalized_values[TAVIK_PARAM_COUNT];
extern const double tavik_factory_preset_4_normalized_values[TAVIK_PARAM_COUNT];
extern const double tavik_factory_preset_5_normalized_values[TAVIK_PARAM_COUNT];
extern const double tavik_factory_preset_6_normalized_values[TAVIK_PARAM_COUNT];
extern const double tavik_factory_preset_7_normalized_values[TAVIK_PARAM_COUNT];
extern const double tavik_factory_preset_8_normalized_values[TAVIK_PARAM_COUNT];
extern const double tavik_factory_preset_9_normalized_values[TAVIK_PARAM_COUNT];

extern const tavik_factory_preset TAVIK_FACTORY_PRESETS[TAVIK_FACTORY_PRESET_COUNT];

/** Index of the preset with exactly this id, or -1. */
int tavik_factory_preset_index (const char* id);

} // namespace tavik
