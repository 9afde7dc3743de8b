#include "factory_presets.h"

#include <cstring>

namespace tavik {

namespace {

// Normalized value of a plain preset value: exactly the double the
// plain-to-normalized rule computes, so that dirty tracking can compare
// with ==. List rows take the entry index.
constexpr double norm (uint32_t id, double plain)
{
	const tavik_param_desc& row = TAVIK_PARAMS[id];
	if (row.kind == TAVIK_PARAM_LIST)
		return plain / static_cast<double> (row.listCount - 1);
	return (plain - row.min) / (row.max - row.min);
}

// Entry indices, named for readability of the tables below.
constexpr double TAM_TAM = 0, WIND_GONG = 1, DALUO = 2, XIAOLUO = 3, GONG_AGENG = 4, SYMPHONIC = 5;
constexpr double YARN = 0, FELT = 1, WOOD = 2, METAL = 3;

} // namespace

// One value a line, aligned with its path.
// clang-format off
// "factory-1": Tam-Tam Yarn
constexpr double tavik_factory_preset_0_normalized_values[TAVIK_PARAM_COUNT] = {
	norm (0, TAM_TAM),      // "ir.instrument"
	norm (1, 1),            // "ir.size"
	norm (2, 1),            // "ir.decayScale"
	norm (3, 1),            // "ir.damping"
	norm (4, 0.4),          // "ir.stereoWidth"
	norm (5, 0.05),         // "strike.position"
	norm (6, 0.6),          // "strike.velTone"
	norm (7, YARN),         // "mallet.type"
	norm (8, 0.15),         // "exciter.noise"
	norm (9, 0.7),          // "bloom.amount"
	norm (10, 0.8),         // "bloom.time"
	norm (11, 0.7),         // "glide.amount"
	norm (12, 1),           // "ombak.amount"
	norm (13, 2.5),         // "ombak.rate"
	norm (14, 15),          // "amp.decay"
	norm (15, 0.6),         // "amp.release"
	norm (16, 110),         // "tuning.baseFreq"
	norm (17, 0.8),         // "master.level"
	norm (18, -0.12),       // "model.stiffness"
	norm (19, 0.72),        // "model.coupling"
	norm (20, 0.18),        // "model.edgeLoss"
	norm (21, -0.18),       // "model.radiation"
	norm (22, 0.65),        // "glide.depth"
	norm (23, 0.85),        // "glide.time"
	norm (24, 0),           // "performance.fixedVelocity"
	norm (25, 0.85),        // "performance.velocity"
};

// "factory-2": Tam-Tam Rim Shimmer
constexpr double tavik_factory_preset_1_normalized_values[TAVIK_PARAM_COUNT] = {
	norm (0, TAM_TAM),      // "ir.instrument"
	norm (1, 1),            // "ir.size"
	norm (2, 1),            // "ir.decayScale"
	norm (3, 1),            // "ir.damping"
	norm (4, 0.5),          // "ir.stereoWidth"
	norm (5, 0.85),         // "strike.position"
	norm (6, 0.6),          // "strike.velTone"
	norm (7, FELT),         // "mallet.type"
	norm (8, 0.2),          // "exciter.noise"
	norm (9, 0.8),          // "bloom.amount"
	norm (10, 0.7),         // "bloom.time"
	norm (11, 0.7),         // "glide.amount"
	norm (12, 1),           // "ombak.amount"
	norm (13, 2.5),         // "ombak.rate"
	norm (14, 15),          // "amp.decay"
	norm (15, 0.8),         // "amp.release"
	norm (16, 110),         // "tuning.baseFreq"
	norm (17, 0.8),         // "master.level"
	norm (18, 0.08),        // "model.stiffness"
	norm (19, 0.85),        // "model.coupling"
	norm (20, 0.38),        // "model.edgeLoss"
	norm (21, 0.55),        // "model.radiation"
	norm (22, 0.65),        // "glide.depth"
	norm (23, 0.85),        // "glide.time"
	norm (24, 0),           // "performance.fixedVelocity"
	norm (25, 0.85),        // "performance.velocity"
};

// "factory-3": Wind Gong Splash
constexpr double tavik_factory_preset_2_normalized_values[TAVIK_PARAM_COUNT] = {
	norm (0, WIND_GONG),    // "ir.instrument"
	norm (1, 1),            // "ir.size"
	norm (2, 1),            // "ir.decayScale"
	norm (3, 1),            // "ir.damping"
	norm (4, 0.6),          // "ir.stereoWidth"
	norm (5, 0.35),         // "strike.position"
	norm (6, 0.7),          // "strike.velTone"
	norm (7, WOOD),         // "mallet.type"
	norm (8, 0.25),         // "exciter.noise"
	norm (9, 0.6),          // "bloom.amount"
	norm (10, 0.35),        // "bloom.time"
	norm (11, 0.6),         // "glide.amount"
	norm (12, 0),           // "ombak.amount"
	norm (13, 2.5),         // "ombak.rate"
	norm (14, 15),          // "amp.decay"
	norm (15, 0.3),         // "amp.release"
	norm (16, 180),         // "tuning.baseFreq"
	norm (17, 0.75),        // "master.level"
	norm (18, 0.18),        // "model.stiffness"
	norm (19, 0.65),        // "model.coupling"
	norm (20, 0.75),        // "model.edgeLoss"
	norm (21, 0.7),         // "model.radiation"
	norm (22, 0.25),        // "glide.depth"
	norm (23, 0.42),        // "glide.time"
	norm (24, 0),           // "performance.fixedVelocity"
	norm (25, 0.85),        // "performance.velocity"
};

// "factory-4": Daluo Theater
constexpr double tavik_factory_preset_3_normalized_values[TAVIK_PARAM_COUNT] = {
	norm (0, DALUO),        // "ir.instrument"
	norm (1, 1),            // "ir.size"
	norm (2, 1),            // "ir.decayScale"
	norm (3, 1),            // "ir.damping"
	norm (4, 0.3),          // "ir.stereoWidth"
	norm (5, 0.12),         // "strike.position"
	norm (6, 0.6),          // "strike.velTone"
	norm (7, WOOD),         // "mallet.type"
	norm (8, 0.15),         // "exciter.noise"
	norm (9, 0.25),         // "bloom.amount"
	norm (10, 0.5),         // "bloom.time"
	norm (11, 1),           // "glide.amount"
	norm (12, 0),           // "ombak.amount"
	norm (13, 2.5),         // "ombak.rate"
	norm (14, 3.5),         // "amp.decay"
	norm (15, 0.35),        // "amp.release"
	norm (16, 105),         // "tuning.baseFreq"
	norm (17, 0.8),         // "master.level"
	norm (18, 0.28),        // "model.stiffness"
	norm (19, 0.55),        // "model.coupling"
	norm (20, 0.45),        // "model.edgeLoss"
	norm (21, -0.15),       // "model.radiation"
	norm (22, 0.58),        // "glide.depth"
	norm (23, 0.95),        // "glide.time"
	norm (24, 0),           // "performance.fixedVelocity"
	norm (25, 0.85),        // "performance.velocity"
};

// "factory-5": Xiaoluo Rising
constexpr double tavik_factory_preset_4_normalized_values[TAVIK_PARAM_COUNT] = {
	norm (0, XIAOLUO),      // "ir.instrument"
	norm (1, 0.8),          // "ir.size"
	norm (2, 1),            // "ir.decayScale"
	norm (3, 1),            // "ir.damping"
	norm (4, 0.3),          // "ir.stereoWidth"
	norm (5, 0.1),          // "strike.position"
	norm (6, 0.6),          // "strike.velTone"
	norm (7, WOOD),         // "mallet.type"
	norm (8, 0.15),         // "exciter.noise"
	norm (9, 0.2),          // "bloom.amount"
	norm (10, 0.4),         // "bloom.time"
	norm (11, 1),           // "glide.amount"
	norm (12, 0),           // "ombak.amount"
	norm (13, 2.5),         // "ombak.rate"
	norm (14, 2.2),         // "amp.decay"
	norm (15, 0.25),        // "amp.release"
	norm (16, 220),         // "tuning.baseFreq"
	norm (17, 0.75),        // "master.level"
	norm (18, -0.32),       // "model.stiffness"
	norm (19, 0.5),         // "model.coupling"
	norm (20, 0.72),        // "model.edgeLoss"
	norm (21, 0.45),        // "model.radiation"
	norm (22, 0.52),        // "glide.depth"
	norm (23, 0.62),        // "glide.time"
	norm (24, 0),           // "performance.fixedVelocity"
	norm (25, 0.85),        // "performance.velocity"
};

// "factory-6": Gong Ageng Wadon
constexpr double tavik_factory_preset_5_normalized_values[TAVIK_PARAM_COUNT] = {
	norm (0, GONG_AGENG),   // "ir.instrument"
	norm (1, 1.4),          // "ir.size"
	norm (2, 1),            // "ir.decayScale"
	norm (3, 0.8),          // "ir.damping"
	norm (4, 0.5),          // "ir.stereoWidth"
	norm (5, 0.08),         // "strike.position"
	norm (6, 0.5),          // "strike.velTone"
	norm (7, YARN),         // "mallet.type"
	norm (8, 0.3),          // "exciter.noise"
	norm (9, 0.5),          // "bloom.amount"
	norm (10, 1.2),         // "bloom.time"
	norm (11, 0.7),         // "glide.amount"
	norm (12, 1),           // "ombak.amount"
	norm (13, 2.5),         // "ombak.rate"
	norm (14, 15),          // "amp.decay"
	norm (15, 2),           // "amp.release"
	norm (16, 94),          // "tuning.baseFreq"
	norm (17, 0.85),        // "master.level"
	norm (18, 0.12),        // "model.stiffness"
	norm (19, 0.62),        // "model.coupling"
	norm (20, 0.18),        // "model.edgeLoss"
	norm (21, -0.35),       // "model.radiation"
	norm (22, 0.65),        // "glide.depth"
	norm (23, 0.85),        // "glide.time"
	norm (24, 0),           // "performance.fixedVelocity"
	norm (25, 0.85),        // "performance.velocity"
};

// "factory-7": Great Tam
constexpr double tavik_factory_preset_6_normalized_values[TAVIK_PARAM_COUNT] = {
	norm (0, TAM_TAM),      // "ir.instrument"
	norm (1, 1.8),          // "ir.size"
	norm (2, 1.2),          // "ir.decayScale"
	norm (3, 0.7),          // "ir.damping"
	norm (4, 0.6),          // "ir.stereoWidth"
	norm (5, 0.05),         // "strike.position"
	norm (6, 0.7),          // "strike.velTone"
	norm (7, YARN),         // "mallet.type"
	norm (8, 0.2),          // "exciter.noise"
	norm (9, 1),            // "bloom.amount"
	norm (10, 1.6),         // "bloom.time"
	norm (11, 0.7),         // "glide.amount"
	norm (12, 1),           // "ombak.amount"
	norm (13, 2),           // "ombak.rate"
	norm (14, 15),          // "amp.decay"
	norm (15, 2.5),         // "amp.release"
	norm (16, 72),          // "tuning.baseFreq"
	norm (17, 0.85),        // "master.level"
	norm (18, -0.18),       // "model.stiffness"
	norm (19, 0.9),         // "model.coupling"
	norm (20, 0.12),        // "model.edgeLoss"
	norm (21, 0.2),         // "model.radiation"
	norm (22, 0.65),        // "glide.depth"
	norm (23, 0.85),        // "glide.time"
	norm (24, 0),           // "performance.fixedVelocity"
	norm (25, 0.85),        // "performance.velocity"
};

// "factory-8": Table Gong
constexpr double tavik_factory_preset_7_normalized_values[TAVIK_PARAM_COUNT] = {
	norm (0, SYMPHONIC),    // "ir.instrument"
	norm (1, 0.55),         // "ir.size"
	norm (2, 0.9),          // "ir.decayScale"
	norm (3, 1.2),          // "ir.damping"
	norm (4, 0.25),         // "ir.stereoWidth"
	norm (5, 0.15),         // "strike.position"
	norm (6, 0.5),          // "strike.velTone"
	norm (7, WOOD),         // "mallet.type"
	norm (8, 0.1),          // "exciter.noise"
	norm (9, 0.3),          // "bloom.amount"
	norm (10, 0.3),         // "bloom.time"
	norm (11, 0),           // "glide.amount"
	norm (12, 0),           // "ombak.amount"
	norm (13, 2.5),         // "ombak.rate"
	norm (14, 4),           // "amp.decay"
	norm (15, 0.4),         // "amp.release"
	norm (16, 220),         // "tuning.baseFreq"
	norm (17, 0.75),        // "master.level"
	norm (18, 0.38),        // "model.stiffness"
	norm (19, 0.25),        // "model.coupling"
	norm (20, 0.82),        // "model.edgeLoss"
	norm (21, 0.55),        // "model.radiation"
	norm (22, 0.65),        // "glide.depth"
	norm (23, 0.85),        // "glide.time"
	norm (24, 0),           // "performance.fixedVelocity"
	norm (25, 0.85),        // "performance.velocity"
};

// "factory-9": Symphonic Swell
constexpr double tavik_factory_preset_8_normalized_values[TAVIK_PARAM_COUNT] = {
	norm (0, SYMPHONIC),    // "ir.instrument"
	norm (1, 1.2),          // "ir.size"
	norm (2, 1.1),          // "ir.decayScale"
	norm (3, 0.9),          // "ir.damping"
	norm (4, 0.5),          // "ir.stereoWidth"
	norm (5, 0.1),          // "strike.position"
	norm (6, 0.8),          // "strike.velTone"
	norm (7, YARN),         // "mallet.type"
	norm (8, 0.18),         // "exciter.noise"
	norm (9, 1),            // "bloom.amount"
	norm (10, 1.1),         // "bloom.time"
	norm (11, 0.7),         // "glide.amount"
	norm (12, 0),           // "ombak.amount"
	norm (13, 2.5),         // "ombak.rate"
	norm (14, 15),          // "amp.decay"
	norm (15, 1.5),         // "amp.release"
	norm (16, 110),         // "tuning.baseFreq"
	norm (17, 0.8),         // "master.level"
	norm (18, 0.15),        // "model.stiffness"
	norm (19, 0.72),        // "model.coupling"
	norm (20, 0.32),        // "model.edgeLoss"
	norm (21, 0.15),        // "model.radiation"
	norm (22, 0.65),        // "glide.depth"
	norm (23, 0.85),        // "glide.time"
	norm (24, 0),           // "performance.fixedVelocity"
	norm (25, 0.85),        // "performance.velocity"
};

// "factory-10": Metal Beater Clang
constexpr double tavik_factory_preset_9_normalized_values[TAVIK_PARAM_COUNT] = {
	norm (0, TAM_TAM),      // "ir.instrument"
	norm (1, 1),            // "ir.size"
	norm (2, 1),            // "ir.decayScale"
	norm (3, 1),            // "ir.damping"
	norm (4, 0.45),         // "ir.stereoWidth"
	norm (5, 0.7),          // "strike.position"
	norm (6, 0.9),          // "strike.velTone"
	norm (7, METAL),        // "mallet.type"
	norm (8, 0.35),         // "exciter.noise"
	norm (9, 0.7),          // "bloom.amount"
	norm (10, 0.8),         // "bloom.time"
	norm (11, 0.7),         // "glide.amount"
	norm (12, 0),           // "ombak.amount"
	norm (13, 2.5),         // "ombak.rate"
	norm (14, 6),           // "amp.decay"
	norm (15, 0.5),         // "amp.release"
	norm (16, 130),         // "tuning.baseFreq"
	norm (17, 0.75),        // "master.level"
	norm (18, 0.25),        // "model.stiffness"
	norm (19, 0.15),        // "model.coupling"
	norm (20, 0.62),        // "model.edgeLoss"
	norm (21, 0.75),        // "model.radiation"
	norm (22, 0.65),        // "glide.depth"
	norm (23, 0.85),        // "glide.time"
	norm (24, 0),           // "performance.fixedVelocity"
	norm (25, 0.85),        // "performance.velocity"
};
// clang-format on

const tavik_factory_preset TAVIK_FACTORY_PRESETS[TAVIK_FACTORY_PRESET_COUNT] = {
	{"factory-1", "Tam-Tam Yarn", tavik_factory_preset_0_normalized_values},
	{"factory-2", "Tam-Tam Rim Shimmer", tavik_factory_preset_1_normalized_values},
	{"factory-3", "Wind Gong Splash", tavik_factory_preset_2_normalized_values},
	{"factory-4", "Daluo Theater", tavik_factory_preset_3_normalized_values},
	{"factory-5", "Xiaoluo Rising", tavik_factory_preset_4_normalized_values},
	{"factory-6", "Gong Ageng Wadon", tavik_factory_preset_5_normalized_values},
	{"factory-7", "Great Tam", tavik_factory_preset_6_normalized_values},
	{"factory-8", "Table Gong", tavik_factory_preset_7_normalized_values},
	{"factory-9", "Symphonic Swell", tavik_factory_preset_8_normalized_values},
	{"factory-10", "Metal Beater Clang", tavik_factory_preset_9_normalized_values},
};

int tavik_factory_preset_index (const char* id)
{
	if (!id)
		return -1;
	for (uint32_t i = 0; i < TAVIK_FACTORY_PRESET_COUNT; ++i)
		if (std::strcmp (TAVIK_FACTORY_PRESETS[i].id, id) == 0)
			return static_cast<int> (i);
	return -1;
}

} // namespace tavik
