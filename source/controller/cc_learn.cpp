#include "cc_learn.h"

#include "midi_controller_params.h"

namespace tavik {

bool CcLearn::start (int32_t slot, const CcMap& map)
{
	waiting = slot >= 0 && static_cast<uint32_t> (slot) < map.count && map.count <= CC_MAP_CAPACITY ? slot : -1;
	return active ();
}

bool CcLearn::take (CcMap& map, uint32_t channel, uint32_t controller)
{
	if (!active () || channel >= MIDI_CHANNELS || controller >= LEARNABLE_CONTROLLERS)
		return false;
	const auto index = static_cast<uint32_t> (waiting);
	waiting = -1;
	if (index >= map.count || index >= CC_MAP_CAPACITY)
		return false;
	CcBinding& b = map.bindings[index];
	b.cc = static_cast<uint8_t> (controller);
	if (b.channel != 0)
		b.channel = static_cast<uint8_t> (channel + 1);
	return true;
}

void CcLearn::follow (const CcMap& map)
{
	if (active () && static_cast<uint32_t> (waiting) >= map.count)
		waiting = -1;
}

} // namespace tavik
