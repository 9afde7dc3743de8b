// The LV2 plug-in's face as hosts see it, in one place for the plug-in and
// the build tool that writes its Turtle description: its URIs, its ports
// (one control input per parameter at the parameter's id, then the audio,
// event and latency ports) and the port symbols made from parameter paths.
// Plain C++: nothing here sees LV2's headers.
#pragma once

#include "parameter_table.h"

#include <cstdint>
#include <string>

namespace tavik::lv2 {

#define ZORV_LV2_URI "https://tavik.music/plugins/zorv"

constexpr const char* PLUGIN_URI = ZORV_LV2_URI;
/** The state property holding the state document (an atom:String). */
constexpr const char* STATE_PROPERTY_URI = ZORV_LV2_URI "#state";
/** The patch property a UI sets to a CC map document (an atom:String). */
constexpr const char* CC_MAP_PROPERTY_URI = ZORV_LV2_URI "#ccMap";
/** Factory preset `id` is PRESET_URI_PREFIX + id ("factory-1" ...). */
constexpr const char* PRESET_URI_PREFIX = ZORV_LV2_URI "/presets/";

/** The shared object inside the bundle. */
constexpr const char* BINARY_NAME = "Zorv.so";

// Ports. Parameter `id` is control input port `id`.
constexpr uint32_t PORT_FIRST_PARAMETER = 0;
constexpr uint32_t PORT_OUT_LEFT = TAVIK_PARAM_COUNT;
constexpr uint32_t PORT_OUT_RIGHT = TAVIK_PARAM_COUNT + 1;
/** atom:Sequence in: MIDI events, and patch messages (the CC map; later a
 *  UI's editor messages). */
constexpr uint32_t PORT_EVENTS_IN = TAVIK_PARAM_COUNT + 2;
/** atom:Sequence out, reserved for a UI's replies; written empty today. */
constexpr uint32_t PORT_NOTIFY_OUT = TAVIK_PARAM_COUNT + 3;
/** lv2:latency control output. */
constexpr uint32_t PORT_LATENCY = TAVIK_PARAM_COUNT + 4;
constexpr uint32_t PORT_COUNT = TAVIK_PARAM_COUNT + 5;

/** A parameter's port symbol: its path with each '.' as '_'
 *  ("ir.stereoWidth" is "ir_stereoWidth"). */
inline std::string portSymbol (const tavik_param_desc& row)
{
	std::string symbol = row.path;
	for (char& c : symbol)
		if (c == '.')
			c = '_';
	return symbol;
}

} // namespace tavik::lv2
