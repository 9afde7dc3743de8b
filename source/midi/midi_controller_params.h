// The hidden parameters a host plays MIDI controllers into: one for each of
// the 16 channels and each controller a host can map (0..127, channel
// pressure 128, pitch bend 129). The controller assigns them in its MIDI
// mapping; the processor turns their changes back into controller
// messages. Their ids lie far above the product's parameters and the
// program list's, so the two ranges never meet.
#pragma once

#include "cc_map.h"

#include <cstdint>

namespace tavik {

constexpr uint32_t MIDI_CHANNELS = 16;
/** Controller numbers a host can map: 0..127, channel pressure, pitch bend. */
constexpr uint32_t MIDI_CONTROLLER_NUMBERS = 130;
constexpr uint32_t MIDI_CHANNEL_PRESSURE = 128;
constexpr uint32_t MIDI_PITCH_BEND = 129;
constexpr uint32_t MIDI_CONTROLLER_PARAM_COUNT = MIDI_CHANNELS * MIDI_CONTROLLER_NUMBERS;
constexpr uint32_t MIDI_CONTROLLER_PARAM_BASE = 0x00100000;
/** The unit the hidden parameters are grouped in. */
constexpr int32_t MIDI_CONTROLLER_UNIT_ID = 1;

/** The performance controllers that act whatever the CC map says. */
constexpr int MIDI_CC_SUSTAIN = 64;
constexpr int MIDI_CC_ALL_SOUND_OFF = 120;
constexpr int MIDI_CC_ALL_NOTES_OFF = 123;

/** The hidden parameter of `controller` on `channel` (0..15). */
constexpr uint32_t midiControllerParamId (uint32_t channel, uint32_t controller)
{
	return MIDI_CONTROLLER_PARAM_BASE + channel * MIDI_CONTROLLER_NUMBERS + controller;
}

constexpr bool isMidiControllerParam (uint32_t id)
{
	return id >= MIDI_CONTROLLER_PARAM_BASE && id < MIDI_CONTROLLER_PARAM_BASE + MIDI_CONTROLLER_PARAM_COUNT;
}

/** Channel (0..15) and controller of a hidden parameter; false for any
 *  other id. */
bool midiControllerOfParam (uint32_t id, uint32_t& channel, uint32_t& controller);

/** Whether `controller` on `channel` (0..15) reaches the processor: a
 *  performance controller, or one that an enabled binding of `map` with a
 *  valid target can match. */
bool midiControllerIsAssigned (const CcMap* map, uint32_t channel, uint32_t controller);

} // namespace tavik
