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

/** The editor as an LV2 UI (ui:X11UI) and its shared object. */
constexpr const char* UI_URI = ZORV_LV2_URI "#ui";
constexpr const char* UI_BINARY_NAME = "Zorv_ui.so";

/** A controller message between UI and plug-in: an atom:Object of this type
 *  with MESSAGE_ID (atom:String), optionally MESSAGE_PAYLOAD (atom:Chunk)
 *  and MESSAGE_RESET (atom:Bool, the transport poll's reset). */
constexpr const char* MESSAGE_URI = ZORV_LV2_URI "#Message";
constexpr const char* MESSAGE_ID_URI = ZORV_LV2_URI "#messageId";
constexpr const char* MESSAGE_PAYLOAD_URI = ZORV_LV2_URI "#payload";
constexpr const char* MESSAGE_RESET_URI = ZORV_LV2_URI "#reset";
/** The atom type of one piece of a message on its way through the host's
 *  worker queues (docs/lv2.md). */
constexpr const char* WORK_FRAGMENT_URI = ZORV_LV2_URI "#workFragment";
/** The largest message atom either side sends or takes (header included). */
constexpr uint32_t MAX_MESSAGE_BYTES = 65536;
/** The longest message id. */
constexpr uint32_t MAX_MESSAGE_ID = 63;
/** The buffer sizes the Turtle asks hosts for (rsz:minimumSize). */
constexpr uint32_t EVENTS_MINIMUM_BYTES = 65536;
constexpr uint32_t NOTIFY_MINIMUM_BYTES = 131072;

// Ports. Parameter `id` is control input port `id`.
constexpr uint32_t PORT_FIRST_PARAMETER = 0;
constexpr uint32_t PORT_OUT_LEFT = TAVIK_PARAM_COUNT;
constexpr uint32_t PORT_OUT_RIGHT = TAVIK_PARAM_COUNT + 1;
/** atom:Sequence in: MIDI events, patch messages (the CC map) and the UI's
 *  controller messages. */
constexpr uint32_t PORT_EVENTS_IN = TAVIK_PARAM_COUNT + 2;
/** atom:Sequence out: the replies to the UI's controller messages. */
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
