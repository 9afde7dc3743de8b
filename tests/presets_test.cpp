#include "factory_presets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

using namespace tavik;

double plainOf (int preset, const char* path)
{
	const tavik_param_desc* d = tavik_param_find_path (path);
	return tavik_param_plain (d, TAVIK_FACTORY_PRESETS[preset].values[d->id]);
}

TEST (FactoryPresets, IdsAndNamesInTableOrder)
{
	const char* names[] = {"Tam-Tam Yarn",    "Tam-Tam Rim Shimmer", "Wind Gong Splash", "Daluo Theater",
	                       "Xiaoluo Rising",  "Gong Ageng Wadon",    "Great Tam",        "Table Gong",
	                       "Symphonic Swell", "Metal Beater Clang"};
	for (int i = 0; i < 10; ++i)
	{
		EXPECT_EQ (std::string (TAVIK_FACTORY_PRESETS[i].id), "factory-" + std::to_string (i + 1));
		EXPECT_STREQ (TAVIK_FACTORY_PRESETS[i].name, names[i]);
		EXPECT_EQ (tavik_factory_preset_index (TAVIK_FACTORY_PRESETS[i].id), i);
	}
	EXPECT_EQ (TAVIK_FACTORY_PRESETS[0].values, tavik_factory_preset_0_normalized_values);
	EXPECT_EQ (TAVIK_FACTORY_PRESETS[9].values, tavik_factory_preset_9_normalized_values);
	for (const char* bad : {"factory-0", "factory-11", "Factory-1", "factory-1 ", ""})
		EXPECT_EQ (tavik_factory_preset_index (bad), -1) << bad;
	EXPECT_EQ (tavik_factory_preset_index (nullptr), -1);
}

// Dirty tracking compares with ==, so every stored value must be exactly the
// double the plain-to-normalized rule gives for the preset's plain value.
TEST (FactoryPresets, StoredValuesAreExactlyTheNormalizedPlainValues)
{
	for (const auto& preset : TAVIK_FACTORY_PRESETS)
	{
		for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
		{
			const tavik_param_desc& d = TAVIK_PARAMS[id];
			const double stored = preset.values[id];
			ASSERT_GE (stored, 0.0);
			ASSERT_LE (stored, 1.0);
			const double plain = tavik_param_plain (&d, stored);
			// The plain value has at most two decimals in the preset tables.
			const double tabled = std::round (plain * 100.0) / 100.0;
			EXPECT_EQ (stored, tavik_param_normalize (&d, tabled)) << preset.id << " " << d.path;
		}
	}
}

TEST (FactoryPresets, SpotChecksAgainstThePresetSheet)
{
	EXPECT_EQ (plainOf (7, "ir.instrument"), 5); // "Table Gong" is Symphonic
	EXPECT_EQ (plainOf (9, "mallet.type"), 3);   // "Metal Beater Clang": Metal
	EXPECT_EQ (plainOf (5, "ir.instrument"), 4);
	EXPECT_DOUBLE_EQ (plainOf (6, "tuning.baseFreq"), 72);
	EXPECT_DOUBLE_EQ (plainOf (4, "model.stiffness"), -0.32);
	EXPECT_DOUBLE_EQ (plainOf (2, "glide.time"), 0.42);
	EXPECT_DOUBLE_EQ (plainOf (3, "amp.decay"), 3.5);
	EXPECT_DOUBLE_EQ (plainOf (6, "ombak.rate"), 2);
	for (const auto& preset : TAVIK_FACTORY_PRESETS)
	{
		EXPECT_EQ (preset.values[24], 0.0) << preset.id;
		EXPECT_EQ (preset.values[25], 0.8484848484848485) << preset.id;
	}
}

TEST (FactoryPresets, PresetsDifferFromEachOther)
{
	std::set<std::vector<double>> distinct;
	for (const auto& preset : TAVIK_FACTORY_PRESETS)
		distinct.insert (std::vector<double> (preset.values, preset.values + TAVIK_PARAM_COUNT));
	EXPECT_EQ (distinct.size (), TAVIK_FACTORY_PRESET_COUNT);
}

} // namespace
