// Constants and recipe tables of the gong model.
#pragma once

#include "tavik_kernel.h"

namespace tavik::kernel {

/** The library's initial plain value of parameter `index`. */
constexpr double parameterDefault (int index) { return TAVIK_KERNEL_PARAMETER_DEFAULTS[index]; }

constexpr int MAX_VOICES = 6;
constexpr int MAX_MODES = 12;
constexpr int RECIPE_COUNT = 6;
constexpr int MALLET_COUNT = 4;
constexpr int GONG_PARAM_COUNT = 24;
constexpr int GONG_RENDER_QUANTUM = 128;
constexpr double DECAY_OPEN = 12;
constexpr double MAX_TAIL_SECONDS = 15;
constexpr double MAX_EXCITER_FRAMES = 1344;
constexpr double GLIDE_SECONDS = parameterDefault (23); // glide.time
constexpr double TAIL_FADE_SECONDS = 0.05;
/** Fade of a stolen voice's sound while the new note starts beside it. */
constexpr double STEAL_FADE_SECONDS = 0.01;
/** Time over which a new master level, or a voice's gain after a new amp
 *  decay, is reached while voices sound (a jump would click). */
constexpr double GAIN_RAMP_SECONDS = 0.02;
constexpr double STRIKE_HEADROOM = 0.18;
constexpr double MALLET_CONTACT_DRIVE = 7;
constexpr double STRIKE_SHAPE_FLOOR = 0.02;
constexpr double BLOOM_MAX_FRACTION = 0.85;
constexpr double GLIDE_SETTLED = 0.000001;

/** Largest single-precision value below 1: the cap of a mode radius. */
constexpr double MAX_MODE_RADIUS = 0.99999994;

/** 2π as the double the formulas use. */
constexpr double TWO_PI = 6.283185307179586;
constexpr double PI = 3.141592653589793;

extern const double RECIPE_MODE_COUNTS[RECIPE_COUNT];
extern const double RECIPE_REFERENCE[RECIPE_COUNT];
extern const double RECIPE_DAMPING[RECIPE_COUNT];
extern const double RECIPE_TAIL_SECONDS[RECIPE_COUNT];
extern const double RECIPE_OMBAK[RECIPE_COUNT];
extern const double RECIPE_GLIDE_DIR[RECIPE_COUNT];
extern const double RECIPE_GLIDE_DEPTH[RECIPE_COUNT];

/** Mode tables, looked up at model × 12 + mode. */
extern const double RECIPE_MODE_FREQ[RECIPE_COUNT * MAX_MODES];
extern const double RECIPE_MODE_DECAY[RECIPE_COUNT * MAX_MODES];
extern const double RECIPE_MODE_AMP[RECIPE_COUNT * MAX_MODES];

extern const double MALLET_HARDNESS[MALLET_COUNT];
extern const double MALLET_SOFTNESS[MALLET_COUNT];
extern const double MALLET_BLOOM[MALLET_COUNT];

} // namespace tavik::kernel
