// Per-pad sampler overrides: a map from a pad's key to the members that
// override the bank's own settings, and its JSON form.
#pragma once

#include "json_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavik {

constexpr int PAD_OVERRIDE_MEMBER_COUNT = 15;
constexpr size_t PAD_OVERRIDE_CAPACITY = 256;
constexpr size_t PAD_KEY_MAX_BYTES = 160;

/** Member names in record order; member i is bit 1 << i of the mask. */
extern const char* const PAD_OVERRIDE_MEMBER_NAMES[PAD_OVERRIDE_MEMBER_COUNT];

enum PadOverrideBit : uint32_t
{
	PAD_TRANSPOSE = 0x0001,
	PAD_FINE_TUNE = 0x0002,
	PAD_GAIN = 0x0004,
	PAD_PAN = 0x0008,
	PAD_START = 0x0010,
	PAD_END = 0x0020,
	PAD_ATTACK = 0x0040,
	PAD_RELEASE = 0x0080,
	PAD_FILTER_HZ = 0x0100,
	PAD_RESONANCE = 0x0200,
	PAD_REVERSE = 0x0400,
	PAD_MUTED = 0x0800,
	PAD_CHOKE_GROUP = 0x1000,
	PAD_ROUND_ROBIN_GROUP = 0x2000,
	PAD_VELOCITY_SENSITIVITY = 0x4000,
};

struct SamplerPadOverride
{
	std::string padKey;
	uint32_t mask = 0;
	double values[PAD_OVERRIDE_MEMBER_COUNT];

	/** A pad with no overrides: every member at its default. */
	SamplerPadOverride ();

	double value (PadOverrideBit bit) const;
};

using SamplerPadOverrides = std::vector<SamplerPadOverride>;

/** Appends the pad override map (entries with an empty key or mask are left out). */
void writeSamplerPadOverridesJson (std::string& out, const SamplerPadOverrides& overrides);

/** Reads a pad override map at the cursor into `out` (replacing it). */
bool readSamplerPadOverrides (Reader& r, SamplerPadOverrides& out);

/** True when the text is exactly one pad override map; only then is
 *  `overrides` replaced. */
bool parseSamplerPadOverridesJson (const char* text, size_t length, SamplerPadOverrides& overrides);

} // namespace tavik
