#include "gong_tables.h"

namespace tavik::kernel {

// Models: 0 Tam-Tam, 1 Wind Gong, 2 Daluo, 3 Xiaoluo, 4 Gong Ageng, 5 Symphonic.
const double RECIPE_MODE_COUNTS[RECIPE_COUNT] = {12, 10, 7, 6, 10, 9};
const double RECIPE_REFERENCE[RECIPE_COUNT] = {90, 180, 210, 460, 94, 110};
const double RECIPE_DAMPING[RECIPE_COUNT] = {1, 1, 1, 1, 1, 1};
const double RECIPE_TAIL_SECONDS[RECIPE_COUNT] = {12, 5, 4, 2.5, 14, 8};
const double RECIPE_OMBAK[RECIPE_COUNT] = {0, 0, 0, 0, 2.5, 0};
const double RECIPE_GLIDE_DIR[RECIPE_COUNT] = {0.35, 0.3, 1, -1, -0.3, 0.35};
const double RECIPE_GLIDE_DEPTH[RECIPE_COUNT] = {0.008, 0.012, 0.035, 0.045, 0.008, 0.008};

// Mode frequencies in Hz for the reference frequency of each model.
const double RECIPE_MODE_FREQ[RECIPE_COUNT * MAX_MODES] = {
	90,   127.8, 161.1, 194.4, 232.2, 267.3,  309.6, 355.5,  405.9,  470.7, 548.1, 640.8, 180,    271.8, 363.6,
	468,  585,   712.8, 864,   1026,  1206,   1422,  0,      0,      210,   346.5, 504,   651,    819,   1008,
	1239, 0,     0,     0,     0,     0,      460,   782,    1219,   1656,  2162,  2714,  0,      0,     0,
	0,    0,     0,     94,    188,   282.94, 376,   476.58, 580.92, 686.2, 799,   930.6, 1071.6, 0,     0,
	110,  173.8, 249.7, 313.5, 388.3, 462,    561,   665.5,  792,    0,     0,     0,
};

// Decay rates per second before scaling.
const double RECIPE_MODE_DECAY[RECIPE_COUNT * MAX_MODES] = {
	0.06, 0.1,  0.14, 0.18, 0.22, 0.26, 0.3,  0.34, 0.38, 0.42, 0.46, 0.5,  0.35,  0.41, 0.47, 0.53, 0.59, 0.65,
	0.71, 0.77, 0.84, 0.9,  0,    0,    0.12, 0.18, 0.24, 0.3,  0.36, 0.42, 0.5,   0,    0,    0,    0,    0,
	0.28, 0.4,  0.5,  0.6,  0.72, 0.85, 0,    0,    0,    0,    0,    0,    0.045, 0.07, 0.09, 0.11, 0.14, 0.17,
	0.2,  0.24, 0.27, 0.3,  0,    0,    0.08, 0.11, 0.15, 0.19, 0.23, 0.28, 0.33,  0.39, 0.45, 0,    0,    0,
};

// Relative mode amplitudes.
const double RECIPE_MODE_AMP[RECIPE_COUNT * MAX_MODES] = {
	1,    0.85, 0.8,  0.7, 0.7, 0.6,  0.6, 0.55, 0.5,  0.45, 0.4, 0.35, 0.8,  0.9, 1,    0.9,  0.85, 0.8,
	0.75, 0.7,  0.6,  0.5, 0,   0,    1,   0.6,  0.45, 0.35, 0.3, 0.25, 0.2,  0,   0,    0,    0,    0,
	1,    0.7,  0.5,  0.4, 0.3, 0.25, 0,   0,    0,    0,    0,   0,    1,    0.7, 0.5,  0.45, 0.3,  0.25,
	0.2,  0.15, 0.12, 0.1, 0,   0,    1,   0.65, 0.55, 0.45, 0.4, 0.3,  0.25, 0.2, 0.15, 0,    0,    0,
};

// Mallets: 0 Yarn, 1 Felt, 2 Wood, 3 Metal.
const double MALLET_HARDNESS[MALLET_COUNT] = {0.12, 0.38, 0.75, 0.95};
const double MALLET_SOFTNESS[MALLET_COUNT] = {1, 0.65, 0.25, 0.05};
const double MALLET_BLOOM[MALLET_COUNT] = {1, 0.8, 0.45, 0.25};

} // namespace tavik::kernel
