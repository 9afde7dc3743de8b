#include "lv2_urids.h"

#include "lv2_layout.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>

namespace tavik::lv2 {

Lv2Urids::Lv2Urids (const LV2_URID_Map& map)
{
	const auto m = [&] (const char* uri) { return map.map (map.handle, uri); };
	atomInt = m (LV2_ATOM__Int);
	atomObject = m (LV2_ATOM__Object);
	atomSequence = m (LV2_ATOM__Sequence);
	atomString = m (LV2_ATOM__String);
	atomURID = m (LV2_ATOM__URID);
	midiEvent = m (LV2_MIDI__MidiEvent);
	patchSet = m (LV2_PATCH__Set);
	patchProperty = m (LV2_PATCH__property);
	patchValue = m (LV2_PATCH__value);
	maxBlockLength = m (LV2_BUF_SIZE__maxBlockLength);
	nominalBlockLength = m (LV2_BUF_SIZE__nominalBlockLength);
	stateProperty = m (STATE_PROPERTY_URI);
	ccMapProperty = m (CC_MAP_PROPERTY_URI);
}

} // namespace tavik::lv2
