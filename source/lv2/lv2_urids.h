// The URIDs the LV2 plug-in reads and writes, mapped once at instantiation
// through the host's urid:map.
#pragma once

#include <lv2/urid/urid.h>

namespace tavik::lv2 {

struct Lv2Urids
{
	LV2_URID atomInt = 0;
	LV2_URID atomObject = 0;
	LV2_URID atomSequence = 0;
	LV2_URID atomString = 0;
	LV2_URID atomURID = 0;
	LV2_URID midiEvent = 0;
	LV2_URID patchSet = 0;
	LV2_URID patchProperty = 0;
	LV2_URID patchValue = 0;
	LV2_URID maxBlockLength = 0;
	LV2_URID nominalBlockLength = 0;
	LV2_URID stateProperty = 0;
	LV2_URID ccMapProperty = 0;

	explicit Lv2Urids (const LV2_URID_Map& map);
};

} // namespace tavik::lv2
