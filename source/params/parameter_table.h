// The instrument's 26 automatable parameters and the conversions every user
// of the table applies (normalized <-> plain, value <-> display text).
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

enum tavik_param_kind : uint32_t
{
	TAVIK_PARAM_CONTINUOUS = 0,
	TAVIK_PARAM_LIST = 1,
	TAVIK_PARAM_TOGGLE = 2,
};

/** One constant row of the parameter table; the row index equals `id`. */
struct tavik_param_desc
{
	uint32_t id;
	const char* path;  // stable dotted key used in documents and messages
	const char* name;  // display title, also the short title
	const char* group; // display group (not published to the host)
	uint32_t kind;     // tavik_param_kind
	double min;
	double max;
	double step; // continuous quantisation step, 0 = none
	double defaultPlain;
	double defaultNormalized;
	const char* unit; // "s", "Hz" or ""
	int32_t listCount;
	const char* const* listEntries; // listCount names for list rows, else null
};

constexpr uint32_t TAVIK_PARAM_COUNT = 26;

inline constexpr const char* TAVIK_INSTRUMENT_NAMES[] = {"Tam-Tam", "Wind Gong",  "Daluo",
                                                         "Xiaoluo", "Gong Ageng", "Symphonic"};
inline constexpr const char* TAVIK_MALLET_NAMES[] = {"Yarn", "Felt", "Wood", "Metal"};

/** Normalized position of a plain value inside [min, max]; used for the
 *  stored defaults so that they are exactly the computed double. */
constexpr double tavik_param_default_normalized (double plain, double min, double max)
{
	return (plain - min) / (max - min);
}

#define TAVIK_CONTINUOUS(id, path, name, group, mn, mx, step, def, unit)                                               \
	tavik_param_desc                                                                                                   \
	{                                                                                                                  \
		id, path, name, group, TAVIK_PARAM_CONTINUOUS, mn, mx, step, def,                                              \
			tavik_param_default_normalized (def, mn, mx), unit, 0, nullptr                                             \
	}

// clang-format off
inline constexpr tavik_param_desc TAVIK_PARAMS[TAVIK_PARAM_COUNT] = {
	{0, "ir.instrument", "Gong", "Instrument", TAVIK_PARAM_LIST, 0, 5, 0, 0, 0.0, "", 6,
	 TAVIK_INSTRUMENT_NAMES},
	TAVIK_CONTINUOUS (1, "ir.size", "Size", "Instrument", 0.5, 2, 0, 1, ""),
	TAVIK_CONTINUOUS (2, "ir.decayScale", "Decay", "Instrument", 0.1, 3, 0, 1, ""),
	TAVIK_CONTINUOUS (3, "ir.damping", "Damping", "Instrument", 0.05, 4, 0, 1, ""),
	TAVIK_CONTINUOUS (4, "ir.stereoWidth", "Width", "Instrument", 0, 1, 0, 0.4, ""),
	TAVIK_CONTINUOUS (5, "strike.position", "Position", "Strike", 0, 1, 0, 0.15, ""),
	TAVIK_CONTINUOUS (6, "strike.velTone", "Vel Tone", "Strike", 0, 1, 0, 0.6, ""),
	{7, "mallet.type", "Mallet", "Strike", TAVIK_PARAM_LIST, 0, 3, 0, 0, 0.0, "", 4,
	 TAVIK_MALLET_NAMES},
	TAVIK_CONTINUOUS (8, "exciter.noise", "Roughness", "Strike", 0, 1, 0, 0.15, ""),
	TAVIK_CONTINUOUS (9, "bloom.amount", "Bloom", "Bloom", 0, 1, 0, 0.7, ""),
	TAVIK_CONTINUOUS (10, "bloom.time", "Bloom Time", "Bloom", 0.1, 3, 0, 0.8, "s"),
	TAVIK_CONTINUOUS (11, "glide.amount", "Glide", "Bloom", 0, 1, 0, 0.7, ""),
	TAVIK_CONTINUOUS (12, "ombak.amount", "Ombak", "Bloom", 0, 2, 0, 1, ""),
	TAVIK_CONTINUOUS (13, "ombak.rate", "Ombak Rate", "Bloom", 0, 8, 0, 2.5, "Hz"),
	TAVIK_CONTINUOUS (14, "amp.decay", "Ring", "Envelope", 0.05, 15, 0, 15, "s"),
	TAVIK_CONTINUOUS (15, "amp.release", "Damp Time", "Envelope", 0.02, 4, 0, 0.6, "s"),
	TAVIK_CONTINUOUS (16, "tuning.baseFreq", "Base Pitch", "Tuning", 55, 440, 0, 110, "Hz"),
	TAVIK_CONTINUOUS (17, "master.level", "Level", "Master", 0, 1, 0, 0.8, ""),
	TAVIK_CONTINUOUS (18, "model.stiffness", "Stiffness / Curvature", "Model", -1, 1, 0, 0, ""),
	TAVIK_CONTINUOUS (19, "model.coupling", "Nonlinear Coupling", "Model", 0, 1, 0, 0, ""),
	TAVIK_CONTINUOUS (20, "model.edgeLoss", "Edge Loss", "Model", 0, 1, 0, 0, ""),
	TAVIK_CONTINUOUS (21, "model.radiation", "Radiation Tilt", "Model", -1, 1, 0, 0, ""),
	TAVIK_CONTINUOUS (22, "glide.depth", "Glide Depth", "Bloom", 0, 1, 0, 0.65, ""),
	TAVIK_CONTINUOUS (23, "glide.time", "Glide Time", "Bloom", 0.1, 2.5, 0, 0.85, "s"),
	TAVIK_CONTINUOUS (24, "performance.fixedVelocity", "Fixed Velocity", "Performance", 0, 1, 1,
	                  0, ""),
	TAVIK_CONTINUOUS (25, "performance.velocity", "Velocity", "Performance", 0.01, 1, 0, 0.85,
	                  ""),
};
// clang-format on

#undef TAVIK_CONTINUOUS

/** Plain-to-normalized rule of a row (no step rounding in this direction). */
double tavik_param_normalize (const tavik_param_desc* desc, double plain);

/** Normalized-to-plain rule of a row: the plain value every report uses. */
double tavik_param_plain (const tavik_param_desc* desc, double normalized);

/** Decimal places a row's display text shows: what a 32-bit float
 *  normalized value, as hosts keep it, resolves over the row's range
 *  (6 for a range of 1, 4 for Base Pitch). */
int tavik_param_display_decimals (const tavik_param_desc* desc);

/** `value` rounded half away from zero to `decimals` places and written
 *  without trailing zeros or exponent ("0.45", "110", "-0.25"); zero is
 *  always "0". */
std::string tavik_param_display_number (double value, int decimals);

/** Display text of a normalized value (no unit appended): list entries by
 *  name, continuous values to the row's display decimals, so a value a
 *  host held as a float reads as the value it was set to. */
std::string tavik_param_to_string (const tavik_param_desc* desc, double normalized);

/** Parses display text (8-bit) into a normalized value. Returns false and
 *  leaves `normalizedOut` untouched when no value was produced. */
bool tavik_param_from_string (const tavik_param_desc* desc, const char* text, double& normalizedOut);

/** Row with the given path, or null. */
const tavik_param_desc* tavik_param_find_path (const char* path);

/** Row whose path is exactly these bytes, or null; a NUL inside `path` is
 *  part of it, so "ir.size" followed by a NUL names no row. */
const tavik_param_desc* tavik_param_find_path (const std::string& path);

/** Row with the given id, or null when the id is not below 26. */
const tavik_param_desc* tavik_param_find_id (uint32_t id);

} // namespace tavik
