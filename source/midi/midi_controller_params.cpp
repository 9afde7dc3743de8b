#include "midi_controller_params.h"

#include "parameter_table.h"

namespace tavik {

bool midiControllerOfParam (uint32_t id, uint32_t& channel, uint32_t& controller)
{
	if (!isMidiControllerParam (id))
		return false;
	const uint32_t slot = id - MIDI_CONTROLLER_PARAM_BASE;
	channel = slot / MIDI_CONTROLLER_NUMBERS;
	controller = slot % MIDI_CONTROLLER_NUMBERS;
	return true;
}

bool midiControllerIsAssigned (const CcMap* map, uint32_t channel, uint32_t controller)
{
	if (channel >= MIDI_CHANNELS || controller >= MIDI_CONTROLLER_NUMBERS)
		return false;
	const int number = static_cast<int> (controller);
	if (number == MIDI_CC_SUSTAIN || number == MIDI_CC_ALL_SOUND_OFF || number == MIDI_CC_ALL_NOTES_OFF)
		return true;
	if (!map)
		return false;
	for (uint32_t i = 0; i < map->count && i < CC_MAP_CAPACITY; ++i)
	{
		const CcBinding& b = map->bindings[i];
		if (b.enabled && b.cc == number && (b.channel == 0 || b.channel == channel + 1) && b.paramIndex >= 0 &&
		    b.paramIndex < static_cast<int32_t> (TAVIK_PARAM_COUNT))
			return true;
	}
	return false;
}

} // namespace tavik
