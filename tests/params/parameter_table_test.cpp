#include "parameter_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

namespace {

using namespace tavik;

const tavik_param_desc* row (const char* path)
{
	const tavik_param_desc* d = tavik_param_find_path (path);
	EXPECT_NE (d, nullptr) << path;
	return d;
}

bool fromText (const char* path, const char* text, double& out)
{
	return tavik_param_from_string (row (path), text, out);
}

TEST (ParameterTable, RowsAreIndexedByIdWithUniquePaths)
{
	std::set<std::string> paths;
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
	{
		const tavik_param_desc& d = TAVIK_PARAMS[i];
		EXPECT_EQ (d.id, i);
		EXPECT_TRUE (paths.insert (d.path).second) << d.path;
		ASSERT_NE (tavik_param_find_path (d.path), nullptr) << d.path;
		EXPECT_EQ (tavik_param_find_path (d.path)->id, i);
		ASSERT_NE (tavik_param_find_id (i), nullptr);
		EXPECT_STREQ (tavik_param_find_id (i)->path, d.path);
		EXPECT_LT (d.min, d.max) << d.path;
		EXPECT_GE (d.defaultPlain, d.min);
		EXPECT_LE (d.defaultPlain, d.max);
		if (d.kind == TAVIK_PARAM_LIST)
		{
			ASSERT_NE (d.listEntries, nullptr);
			EXPECT_EQ (d.max, d.listCount - 1);
		}
	}
	EXPECT_EQ (tavik_param_find_path ("tuning.baseFreq")->id, 16u);
	EXPECT_STREQ (tavik_param_find_id (7)->name, "Mallet");
	EXPECT_EQ (tavik_param_find_id (26), nullptr);
	EXPECT_EQ (tavik_param_find_path ("ir.Size"), nullptr);
	EXPECT_EQ (tavik_param_find_path (nullptr), nullptr);
}

TEST (ParameterTable, StoredDefaultsMatchTheReferenceValues)
{
	const double reference[TAVIK_PARAM_COUNT] = {0,
	                                             0.3333333333333333,
	                                             0.3103448275862069,
	                                             0.24050632911392403,
	                                             0.4,
	                                             0.15,
	                                             0.6,
	                                             0,
	                                             0.15,
	                                             0.7,
	                                             0.24137931034482762,
	                                             0.7,
	                                             0.5,
	                                             0.3125,
	                                             1,
	                                             0.1457286432160804,
	                                             0.14285714285714285,
	                                             0.8,
	                                             0.5,
	                                             0,
	                                             0,
	                                             0.5,
	                                             0.65,
	                                             0.3125,
	                                             0,
	                                             0.8484848484848485};
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
	{
		EXPECT_EQ (TAVIK_PARAMS[i].defaultNormalized, reference[i]) << TAVIK_PARAMS[i].path;
		EXPECT_EQ (tavik_param_normalize (&TAVIK_PARAMS[i], TAVIK_PARAMS[i].defaultPlain), reference[i]);
	}
}

TEST (ParameterConversions, ListRowsRoundHalvesUpAndClamp)
{
	const tavik_param_desc* gong = row ("ir.instrument");
	EXPECT_EQ (tavik_param_plain (gong, 0.5), 3); // 2.5 rounds up
	EXPECT_EQ (tavik_param_plain (gong, 0.0), 0);
	EXPECT_EQ (tavik_param_plain (gong, 1.0), 5);
	EXPECT_EQ (tavik_param_plain (gong, 0.29), 1);
	EXPECT_EQ (tavik_param_plain (gong, 7.0), 5); // not clamped first, but clamped after
	EXPECT_EQ (tavik_param_plain (gong, -3.0), 0);
	EXPECT_EQ (tavik_param_plain (gong, std::nan ("")), 0);
	EXPECT_EQ (tavik_param_normalize (gong, 2), 0.4);
	EXPECT_EQ (tavik_param_normalize (gong, 9), 1);
	EXPECT_EQ (tavik_param_normalize (gong, -1), 0);
	EXPECT_EQ (tavik_param_to_string (gong, 0.5), "Xiaoluo");
	EXPECT_EQ (tavik_param_to_string (gong, 1.0), "Symphonic");
	EXPECT_EQ (tavik_param_to_string (gong, 0.0), "Tam-Tam");
	EXPECT_EQ (tavik_param_to_string (gong, 5.0), "Symphonic");
}

TEST (ParameterConversions, ContinuousRowsClampAndQuantise)
{
	const tavik_param_desc* stiffness = row ("model.stiffness");
	EXPECT_EQ (tavik_param_normalize (stiffness, 0), 0.5);
	EXPECT_EQ (tavik_param_plain (stiffness, 2.0), 1);
	EXPECT_EQ (tavik_param_plain (stiffness, -1.0), -1);
	EXPECT_EQ (tavik_param_plain (stiffness, std::nan ("")), -1);
	EXPECT_EQ (tavik_param_normalize (stiffness, std::nan ("")), 0);
	EXPECT_EQ (tavik_param_normalize (stiffness, 5), 1);

	const tavik_param_desc* fixed = row ("performance.fixedVelocity");
	EXPECT_EQ (tavik_param_plain (fixed, 0.4), 0);
	EXPECT_EQ (tavik_param_plain (fixed, 0.6), 1);
	EXPECT_EQ (tavik_param_normalize (fixed, 0.3), 0.3); // no step rounding this way
	EXPECT_EQ (tavik_param_to_string (fixed, 0.7), "1");

	const tavik_param_desc* pitch = row ("tuning.baseFreq");
	EXPECT_EQ (tavik_param_plain (pitch, 0.14285714285714285), 110);
	EXPECT_EQ (tavik_param_normalize (pitch, 440), 1);
}

TEST (ParameterConversions, TogglesAndDegenerateRows)
{
	static const char* const oneEntry[] = {"Only"};
	const tavik_param_desc toggle {99, "t", "T", "G", TAVIK_PARAM_TOGGLE, 0, 1, 0, 0, 0, "", 0, nullptr};
	const tavik_param_desc single {98, "s", "S", "G", TAVIK_PARAM_LIST, 0, 0, 0, 0, 0, "", 1, oneEntry};
	const tavik_param_desc flat {97, "f", "F", "G", TAVIK_PARAM_CONTINUOUS, 2, 2, 0, 2, 0, "", 0, nullptr};
	const tavik_param_desc unnamed {96, "u", "U", "G", TAVIK_PARAM_LIST, 0, 3, 0, 0, 0, "", 4, nullptr};

	EXPECT_EQ (tavik_param_plain (&toggle, 0.5), 1);
	EXPECT_EQ (tavik_param_plain (&toggle, 0.49), 0);
	EXPECT_EQ (tavik_param_normalize (&toggle, 0), 0);
	EXPECT_EQ (tavik_param_normalize (&toggle, -0.2), 1);
	EXPECT_EQ (tavik_param_to_string (&toggle, 0.5), "on");
	EXPECT_EQ (tavik_param_to_string (&toggle, 0.2), "off");
	double v = -1;
	EXPECT_TRUE (tavik_param_from_string (&toggle, "true", v));
	EXPECT_EQ (v, 1);
	EXPECT_TRUE (tavik_param_from_string (&toggle, "off", v));
	EXPECT_EQ (v, 0);
	EXPECT_TRUE (tavik_param_from_string (&toggle, "On", v) == false);
	EXPECT_TRUE (tavik_param_from_string (&toggle, "0.3", v)); // number: nonzero plain
	EXPECT_EQ (v, 1);

	EXPECT_EQ (tavik_param_normalize (&single, 0), 0);
	EXPECT_EQ (tavik_param_plain (&single, 0.9), 0);
	EXPECT_TRUE (tavik_param_from_string (&single, "Only", v));
	EXPECT_EQ (v, 0);
	EXPECT_EQ (tavik_param_normalize (&flat, 5), 0);
	EXPECT_EQ (tavik_param_to_string (&unnamed, 0.7), "2");
}

TEST (ParameterText, ContinuousValuesPrintTheirDisplayDecimals)
{
	EXPECT_EQ (tavik_param_to_string (row ("ir.size"), TAVIK_PARAMS[1].defaultNormalized), "1");
	EXPECT_EQ (tavik_param_to_string (row ("glide.time"), TAVIK_PARAMS[23].defaultNormalized), "0.85");
	EXPECT_EQ (tavik_param_to_string (row ("tuning.baseFreq"), TAVIK_PARAMS[16].defaultNormalized), "110");
	EXPECT_EQ (tavik_param_to_string (row ("model.stiffness"), 0.375), "-0.25");
	EXPECT_EQ (tavik_param_to_string (row ("performance.velocity"), TAVIK_PARAMS[25].defaultNormalized), "0.85");
	// Arithmetic left in the plain value by the normalized round trip.
	EXPECT_EQ (tavik_param_to_string (row ("exciter.noise"), 0.18), "0.18");
	EXPECT_EQ (tavik_param_to_string (row ("model.stiffness"), 0.5 - 1e-12), "0"); // never "-0"
	EXPECT_EQ (tavik_param_to_string (row ("model.stiffness"), 0.4999995), "-0.000001");
	EXPECT_EQ (tavik_param_to_string (row ("master.level"), 0.0000004), "0"); // no exponent form
	EXPECT_EQ (tavik_param_to_string (row ("tuning.baseFreq"), 0.123456789), "102.5309");

	const std::pair<const char*, int> decimals[] = {
		{"master.level", 6},    {"ir.size", 6},    {"amp.decay", 5},           {"tuning.baseFreq", 4},
		{"model.stiffness", 6}, {"ombak.rate", 6}, {"performance.velocity", 6}};
	for (const auto& [path, places] : decimals)
		EXPECT_EQ (tavik_param_display_decimals (row (path)), places) << path;
	EXPECT_EQ (tavik_param_display_number (2.5e-7, 6), "0"); // half away from zero: 0.25 units
	EXPECT_EQ (tavik_param_display_number (5e-7, 6), "0.000001");
	EXPECT_EQ (tavik_param_display_number (-5e-7, 6), "-0.000001");
	EXPECT_EQ (tavik_param_display_number (1e300, 6), "1e+300"); // too big to count in units
}

// Hosts keep values as 32-bit floats and hand them back: every value a
// player or preset sets reads back as itself, not as the float's noise
// ("0.449999988079"), in every row.
TEST (ParameterText, FloatHeldValuesReadAsTheValueTheyWereSetTo)
{
	for (const tavik_param_desc& d : TAVIK_PARAMS)
	{
		if (d.kind != TAVIK_PARAM_CONTINUOUS || d.step != 0)
			continue;
		const int places = tavik_param_display_decimals (&d);
		// Clean values on a grid as fine as the row shows (every 97th, to
		// keep the test quick), and the range's top.
		double scale = 1;
		for (int i = 0; i < places; ++i)
			scale *= 10;
		const long long first = static_cast<long long> (std::ceil (d.min * scale));
		const long long last = static_cast<long long> (std::floor (d.max * scale));
		for (long long k = first;; k = std::min (k + 97, last))
		{
			const double clean = static_cast<double> (k) / scale;
			const double held = static_cast<float> (tavik_param_normalize (&d, clean));
			const std::string text = tavik_param_to_string (&d, held);
			ASSERT_EQ (text, tavik_param_display_number (clean, places)) << d.path << " " << clean;
			if (k == last)
				break;
		}
	}
}

TEST (ParameterText, ParsesEntryNamesThenNumbers)
{
	double v = -1;
	ASSERT_TRUE (fromText ("mallet.type", "Wood", v));
	EXPECT_EQ (v, 2.0 / 3.0);
	v = -1;
	EXPECT_FALSE (fromText ("mallet.type", "wood", v));
	EXPECT_EQ (v, -1); // untouched
	ASSERT_TRUE (fromText ("mallet.type", "2", v));
	EXPECT_EQ (v, 2.0 / 3.0);
	ASSERT_TRUE (fromText ("mallet.type", "7", v));
	EXPECT_EQ (v, 1);
	ASSERT_TRUE (fromText ("tuning.baseFreq", "440 Hz", v));
	EXPECT_EQ (v, 1);
	ASSERT_TRUE (fromText ("tuning.baseFreq", "30", v));
	EXPECT_EQ (v, 0);
	ASSERT_TRUE (fromText ("amp.decay", "  7.525 s", v));
	EXPECT_EQ (v, (7.525 - 0.05) / (15 - 0.05));
	ASSERT_TRUE (fromText ("ir.instrument", "Gong Ageng", v));
	EXPECT_EQ (v, 0.8);
	v = -1;
	EXPECT_FALSE (fromText ("ir.size", "", v));
	EXPECT_FALSE (fromText ("ir.size", "big", v));
	EXPECT_FALSE (fromText ("ir.size", "nan", v)); // no value to store
	EXPECT_EQ (v, -1);
	ASSERT_TRUE (fromText ("ir.size", "inf", v));
	EXPECT_EQ (v, 1);
}

TEST (ParameterText, EveryDisplayedValueParsesBackToTheSamePlainValue)
{
	for (const tavik_param_desc& d : TAVIK_PARAMS)
	{
		for (int step = 0; step <= 40; ++step)
		{
			const double normalized = step / 40.0;
			const std::string text = tavik_param_to_string (&d, normalized);
			double back = -1;
			ASSERT_TRUE (tavik_param_from_string (&d, text.c_str (), back)) << d.path << " " << text;
			EXPECT_DOUBLE_EQ (tavik_param_plain (&d, back), tavik_param_plain (&d, normalized))
				<< d.path << " " << text;
		}
	}
}

} // namespace
