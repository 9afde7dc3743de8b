#include "cc_map.h"
#include "hostile_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using namespace tavik;

CcBinding binding (int param, int cc)
{
	CcBinding b {};
	b.paramIndex = param;
	b.cc = static_cast<uint8_t> (cc);
	b.enabled = true;
	return b;
}

bool parse (const std::string& text, CcMap& map) { return parseCcMapJson (text.data (), text.size (), map); }

bool readValue (const std::string& text, CcMap& map, bool& present)
{
	Reader r {text.data (), text.data () + text.size ()};
	return readCcMapValue (r, map, present);
}

TEST (CcMapWriting, ExactText)
{
	CcMap map;
	std::string out;
	writeCcMapJson (out, map);
	EXPECT_EQ (out, "{\"version\":1,\"bindings\":[]}");

	map.bindings[0] = binding (5, 74);
	CcBinding full = binding (16, 1);
	full.channel = 3;
	full.hasMin = true;
	full.min = 110;
	full.hasMax = true;
	full.max = 440;
	full.curve = CC_CURVE_S;
	full.valueMode = CC_MODE_RELATIVE_TWOS_COMPLEMENT;
	full.takeover = CC_TAKEOVER_SCALED;
	full.enabled = false;
	map.bindings[1] = binding (26, 2); // left out: no such parameter
	map.bindings[2] = full;
	map.bindings[3] = binding (-1, 3); // left out
	map.bindings[4] = binding (0, 127);
	map.bindings[4].curve = CC_CURVE_EXP;
	map.bindings[4].valueMode = CC_MODE_TOGGLE;
	map.bindings[4].takeover = CC_TAKEOVER_PICKUP;
	map.count = 5;
	out.clear ();
	writeCcMapJson (out, map);
	EXPECT_EQ (
		out,
		"{\"version\":1,\"bindings\":[{\"cc\":74,\"path\":\"strike.position\"},"
		"{\"cc\":1,\"path\":\"tuning.baseFreq\",\"channel\":3,\"min\":110,\"max\":440,\"curve\":\"s-curve\","
		"\"valueMode\":\"relative-twos-complement\",\"takeover\":\"scaled\",\"enabled\":false},"
		"{\"cc\":127,\"path\":\"ir.instrument\",\"curve\":\"exp\",\"valueMode\":\"toggle\",\"takeover\":\"pickup\"}]}");

	out.clear ();
	map.count = 1;
	writeCcMapChangedJson (out, map);
	EXPECT_EQ (out, "{\"type\":\"tavik.ccMapChanged\",\"map\":{\"version\":1,\"bindings\":[{\"cc\":74,\"path\":"
	                "\"strike.position\"}]}}");
}

TEST (CcMapReading, FormsAndPresence)
{
	CcMap map;
	bool present = true;
	ASSERT_TRUE (readValue ("[{\"cc\":7,\"path\":\"master.level\"}]", map, present));
	EXPECT_TRUE (present);
	EXPECT_EQ (map.count, 1u);
	ASSERT_TRUE (readValue ("{\"version\":7}", map, present));
	EXPECT_FALSE (present);
	EXPECT_EQ (map.count, 0u);
	ASSERT_TRUE (readValue ("{\"bindings\":\"no\",\"x\":[1]}", map, present));
	EXPECT_FALSE (present);
	ASSERT_TRUE (readValue ("null", map, present));
	EXPECT_FALSE (present);
	ASSERT_TRUE (readValue ("{\"bindings\":[]}", map, present));
	EXPECT_TRUE (present);

	EXPECT_TRUE (parse (" {\"version\":7,\"bindings\":[]} ", map));
	EXPECT_FALSE (parse ("null", map));
	EXPECT_FALSE (parse ("{\"bindings\":[]} x", map));
	EXPECT_FALSE (parse ("", map));
}

TEST (CcMapReading, BindingRules)
{
	CcMap map;
	ASSERT_TRUE (
		parse ("[{\"cc\":127.5,\"path\":\"ir.size\"},{\"cc\":-3,\"path\":\"ir.size\"},"
	           "{\"cc\":63.5,\"path\":\"ir.size\",\"channel\":0},{\"cc\":1,\"path\":\"ir.size\",\"channel\":17},"
	           "{\"path\":\"ir.size\"},{\"cc\":5,\"path\":\"no.such\"},{\"cc\":5},7,\"x\",null,"
	           "{\"cc\":9,\"path\":\"amp.decay\",\"curve\":\"linear\",\"valueMode\":\"weird\",\"takeover\":\"pickup\","
	           "\"enabled\":false,\"min\":\"low\",\"max\":3,\"extra\":{\"deep\":[1,2]}},"
	           "{\"cc\":10,\"path\":\"no.such\",\"path\":\"amp.release\",\"enabled\":\"yes\"}]",
	           map));
	ASSERT_EQ (map.count, 6u);
	EXPECT_EQ (map.bindings[0].cc, 127);
	EXPECT_EQ (map.bindings[1].cc, 0);
	EXPECT_EQ (map.bindings[2].cc, 64);
	EXPECT_EQ (map.bindings[2].channel, 1);
	EXPECT_EQ (map.bindings[3].channel, 16);
	EXPECT_EQ (map.bindings[0].channel, 0);
	const CcBinding& b = map.bindings[4];
	EXPECT_EQ (b.paramIndex, 14);
	EXPECT_EQ (b.curve, CC_CURVE_LINEAR);
	EXPECT_EQ (b.valueMode, CC_MODE_ABSOLUTE);
	EXPECT_EQ (b.takeover, CC_TAKEOVER_PICKUP);
	EXPECT_FALSE (b.enabled);
	EXPECT_FALSE (b.hasMin);
	EXPECT_TRUE (b.hasMax);
	EXPECT_EQ (b.max, 3);
	EXPECT_EQ (map.bindings[5].paramIndex, 15);
	EXPECT_TRUE (map.bindings[5].enabled);

	// Names are whole byte strings: a NUL inside one matches nothing.
	static const char withNuls[] = "[{\"cc\":1,\"path\":\"ir.size\0x\"},{\"cc\":2,\"path\":\"ir.size\",\"curve\":"
								   "\"exp\0\",\"valueMode\":\"toggle\0\",\"takeover\":\"pickup\0\"}]";
	ASSERT_TRUE (parse (std::string (withNuls, sizeof withNuls - 1), map));
	ASSERT_EQ (map.count, 1u);
	EXPECT_EQ (map.bindings[0].cc, 2);
	EXPECT_EQ (map.bindings[0].curve, CC_CURVE_LINEAR);
	EXPECT_EQ (map.bindings[0].valueMode, CC_MODE_ABSOLUTE);
	EXPECT_EQ (map.bindings[0].takeover, CC_TAKEOVER_IMMEDIATE);

	EXPECT_FALSE (parse ("[{\"cc\":1,\"path\":\"ir.size\",\"curve\":2}]", map));
	EXPECT_FALSE (parse ("[{\"cc\":1,\"path\":5}]", map));
	EXPECT_FALSE (parse ("[{\"cc\":1,\"path\":\"ir.size\"} {}]", map));
}

TEST (CcMapReading, KeepsTheFirstSixtyFour)
{
	std::string text = "{\"bindings\":[";
	for (int i = 0; i < 65; ++i)
		text += (i ? "," : "") + std::string ("{\"cc\":") + std::to_string (i) + ",\"path\":\"ir.size\"}";
	text += "]}";
	CcMap map;
	ASSERT_TRUE (parse (text, map));
	EXPECT_EQ (map.count, 64u);
	EXPECT_EQ (map.bindings[63].cc, 63);
}

TEST (CcMapReading, WrittenMapsReadBackTheSame)
{
	CcMap map;
	for (uint32_t i = 0; i < 40; ++i)
	{
		CcBinding& b = map.bindings[i];
		b = binding (static_cast<int> (i % 26), static_cast<int> ((i * 37) % 128));
		b.channel = static_cast<uint8_t> (i % 17);
		b.curve = static_cast<uint8_t> (i % 4);
		b.valueMode = static_cast<uint8_t> (i % 5);
		b.takeover = static_cast<uint8_t> (i % 3);
		b.enabled = i % 7 != 0;
		b.hasMin = i % 2 == 0;
		b.min = i * 0.1;
		b.hasMax = i % 3 == 0;
		b.max = 1000.0 / (i + 1);
	}
	map.count = 40;
	std::string text;
	writeCcMapJson (text, map);
	CcMap back;
	ASSERT_TRUE (parse (text, back));
	ASSERT_EQ (back.count, map.count);
	for (uint32_t i = 0; i < map.count; ++i)
	{
		const CcBinding& a = map.bindings[i];
		const CcBinding& b = back.bindings[i];
		EXPECT_EQ (a.paramIndex, b.paramIndex);
		EXPECT_EQ (a.cc, b.cc);
		EXPECT_EQ (a.channel, b.channel);
		EXPECT_EQ (a.curve, b.curve);
		EXPECT_EQ (a.valueMode, b.valueMode);
		EXPECT_EQ (a.takeover, b.takeover);
		EXPECT_EQ (a.enabled, b.enabled);
		EXPECT_EQ (a.hasMin, b.hasMin);
		EXPECT_EQ (a.hasMax, b.hasMax);
		EXPECT_EQ (a.hasMin ? a.min : 0, b.hasMin ? b.min : 0);
		EXPECT_EQ (a.hasMax ? a.max : 0, b.hasMax ? b.max : 0);
	}
}

TEST (CcMapHostileInput, FailsCleanlyOrParses)
{
	std::string valid;
	CcMap map;
	map.bindings[0] = binding (3, 21);
	map.bindings[0].hasMin = true;
	map.bindings[0].min = 0.25;
	map.bindings[1] = binding (7, 22);
	map.bindings[1].curve = CC_CURVE_LOG;
	map.count = 2;
	writeCcMapJson (valid, map);
	const std::vector<size_t> acceptedCuts = tavik::test::feedHostile (valid, [] (const char* text, size_t length) {
		CcMap scratch;
		const bool ok = parseCcMapJson (text, length, scratch);
		EXPECT_LE (scratch.count, CC_MAP_CAPACITY);
		return ok;
	});
	EXPECT_TRUE (acceptedCuts.empty ());
	CcMap huge;
	ASSERT_TRUE (parse ("{\"bindings\":[{\"cc\":1e308,\"path\":\"ir.size\",\"min\":-1e999}]}", huge));
	EXPECT_EQ (huge.bindings[0].cc, 127);
	EXPECT_EQ (huge.bindings[0].min, -INFINITY);
}

} // namespace
