// The MIDI CC map: up to 64 bindings of a controller number (optionally on
// one channel) to a parameter, and its JSON document.
#pragma once

#include "json_reader.h"

#include <cstdint>
#include <string>

namespace tavik {

enum CcCurve : uint8_t
{
	CC_CURVE_LINEAR = 0,
	CC_CURVE_EXP = 1,
	CC_CURVE_LOG = 2,
	CC_CURVE_S = 3,
};

enum CcValueMode : uint8_t
{
	CC_MODE_ABSOLUTE = 0,
	CC_MODE_RELATIVE_SIGNED_BIT = 1,
	CC_MODE_RELATIVE_BINARY_OFFSET = 2,
	CC_MODE_RELATIVE_TWOS_COMPLEMENT = 3,
	CC_MODE_TOGGLE = 4,
};

enum CcTakeover : uint8_t
{
	CC_TAKEOVER_IMMEDIATE = 0,
	CC_TAKEOVER_PICKUP = 1,
	CC_TAKEOVER_SCALED = 2,
};

struct CcBinding
{
	int32_t paramIndex;
	uint8_t cc;
	uint8_t channel; // 1..16, 0 = any
	uint8_t curve;
	uint8_t valueMode;
	uint8_t takeover;
	bool enabled;
	bool hasMin;
	bool hasMax;
	double min;
	double max;
};

constexpr uint32_t CC_MAP_CAPACITY = 64;

struct CcMap
{
	uint32_t count;
	CcBinding bindings[CC_MAP_CAPACITY];

	/** An empty map ready to be filled: no bindings, every slot zero but
	 *  enabled. */
	CcMap () noexcept;
};

/** Appends the CC map document. */
void writeCcMapJson (std::string& out, const CcMap& map);

/** Appends {"type":"tavik.ccMapChanged","map":<document>}. */
void writeCcMapChangedJson (std::string& out, const CcMap& map);

/** Reads one CC map value (object or array form; any other value is
 *  skipped) at the cursor. `present` tells whether a map was there. On
 *  failure the map holds the bindings read before it. */
bool readCcMapValue (Reader& r, CcMap& map, bool& present);

/** True when the text is exactly one CC map (object or array form). */
bool parseCcMapJson (const char* text, size_t length, CcMap& map);

} // namespace tavik
