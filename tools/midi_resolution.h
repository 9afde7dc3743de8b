// A score held at the resolution a MIDI host carries it with: each note's
// velocity at the 7 bits of a MIDI note-on, each numeric parameter value at
// the 32 bits of a float control (an LV2 control port). Played through two
// plug-in formats, a held score hands both the same numbers.
#pragma once

#include "render_score.h"

namespace tavik::tools {

/** The 7-bit MIDI velocity (0..127) nearest to a 0..1 velocity. */
int midiVelocity (double velocity);

/** Rounds the velocities of `score` to 7-bit steps (k / 127) and its
 *  numeric parameter values (start values and param events) to floats;
 *  display texts are left to the host to resolve. */
void holdAtMidiResolution (Score& score);

} // namespace tavik::tools
