#include "tavik_parameter.h"

#include <gtest/gtest.h>

namespace {

using namespace tavik;
using namespace Steinberg::Vst;

std::string narrow (const String128 text) { return string128ToBytes (text); }

void widen (const char* text, String128 out) { asciiToString128 (text, out); }

TEST (TavikParameter, InfoComesFromTheRow)
{
	for (const tavik_param_desc& row : TAVIK_PARAMS)
	{
		auto* p = new TavikParameter (row);
		const ParameterInfo& info = p->getInfo ();
		EXPECT_EQ (info.id, row.id);
		EXPECT_EQ (narrow (info.title), row.name);
		EXPECT_EQ (narrow (info.shortTitle), row.name);
		EXPECT_EQ (narrow (info.units), row.unit);
		EXPECT_EQ (info.defaultNormalizedValue, row.defaultNormalized);
		EXPECT_EQ (p->getNormalized (), row.defaultNormalized);
		EXPECT_EQ (info.unitId, kRootUnitId);
		EXPECT_EQ (info.flags, ParameterInfo::kCanAutomate);
		// Six gong models and four mallets are lists; the rest are continuous.
		const int32_t expectedSteps = row.id == 0 ? 5 : row.id == 7 ? 3 : 0;
		EXPECT_EQ (info.stepCount, expectedSteps) << row.path;
		p->release ();
	}
}

TEST (TavikParameter, StepCountsOfUnusualRows)
{
	static const char* const one[] = {"One"};
	const tavik_param_desc single {90, "s", "S", "G", TAVIK_PARAM_LIST, 0, 0, 0, 0, 0, "", 1, one};
	const tavik_param_desc toggle {91, "t", "T", "G", TAVIK_PARAM_TOGGLE, 0, 1, 0, 0, 0, "", 0, nullptr};
	auto* a = new TavikParameter (single);
	auto* b = new TavikParameter (toggle);
	EXPECT_EQ (a->getInfo ().stepCount, 1);
	EXPECT_EQ (b->getInfo ().stepCount, 1);
	a->release ();
	b->release ();
}

TEST (TavikParameter, HostStringsGoThroughTheTableRules)
{
	auto* mallet = new TavikParameter (TAVIK_PARAMS[7]);
	String128 text;
	mallet->toString (1.0, text);
	EXPECT_EQ (narrow (text), "Metal");
	double v = -1;
	widen ("Felt", text);
	ASSERT_TRUE (mallet->fromString (text, v));
	EXPECT_EQ (v, 1.0 / 3.0);
	widen ("felt", text);
	EXPECT_FALSE (mallet->fromString (text, v));
	EXPECT_EQ (v, 1.0 / 3.0);
	EXPECT_EQ (mallet->toPlain (0.5), 2);
	EXPECT_EQ (mallet->toNormalized (3), 1);
	mallet->release ();

	auto* pitch = new TavikParameter (TAVIK_PARAMS[16]);
	// Only the low byte of each UTF-16 unit is kept: U+0134 reads as "4".
	const TChar wide[] = {0x0134, '4', '0', ' ', 'H', 'z', 0};
	ASSERT_TRUE (pitch->fromString (wide, v));
	EXPECT_EQ (v, 1.0);
	pitch->toString (0.5, text);
	EXPECT_EQ (narrow (text), "247.5");
	pitch->release ();
}

TEST (TavikParameter, LongTextsAreCutTo127Units)
{
	String128 out;
	const std::string longText (300, 'x');
	asciiToString128 (longText.c_str (), out);
	EXPECT_EQ (narrow (out), std::string (127, 'x'));
	asciiToString128 (nullptr, out);
	EXPECT_EQ (narrow (out), "");
}

} // namespace
