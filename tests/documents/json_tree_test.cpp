#include "exact_buffer.h"
#include "json_tree.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using tavik::JsonValue;
using Kind = tavik::JsonValue::Kind;

bool parse (const std::string& text, JsonValue& out)
{
	const tavik::test::ExactBuffer buffer (text);
	return tavik::parseJsonDocument (buffer.begin (), buffer.size (), out);
}

bool parses (const std::string& text)
{
	JsonValue v;
	return parse (text, v);
}

std::string stringOf (const std::string& text)
{
	JsonValue v;
	EXPECT_TRUE (parse (text, v)) << text;
	EXPECT_EQ (v.kind, Kind::String);
	return v.string;
}

std::string nestedArrays (int levels)
{
	return std::string (static_cast<size_t> (levels), '[') + std::string (static_cast<size_t> (levels), ']');
}

TEST (TreeReader, BuildsTheTree)
{
	JsonValue v;
	ASSERT_TRUE (parse (" {\"b\": [1, true, null, \"x\", {}], \"a\": {\"n\": -2.5e1}, \"f\": false} \n", v));
	ASSERT_EQ (v.kind, Kind::Object);
	ASSERT_EQ (v.members.size (), 3u);
	EXPECT_EQ (v.members.begin ()->first, "a"); // ordered by key bytes
	const JsonValue* b = v.find ("b");
	ASSERT_NE (b, nullptr);
	ASSERT_EQ (b->kind, Kind::Array);
	ASSERT_EQ (b->items.size (), 5u);
	EXPECT_EQ (b->items[0].kind, Kind::Number);
	EXPECT_EQ (b->items[0].number, 1);
	EXPECT_EQ (b->items[1].kind, Kind::Boolean);
	EXPECT_TRUE (b->items[1].boolean);
	EXPECT_EQ (b->items[2].kind, Kind::Null);
	EXPECT_EQ (b->items[3].string, "x");
	EXPECT_EQ (b->items[4].kind, Kind::Object);
	EXPECT_EQ (v.find ("a")->find ("n")->number, -25);
	EXPECT_FALSE (v.find ("f")->boolean);
	EXPECT_EQ (v.find ("missing"), nullptr);
	EXPECT_EQ (b->find ("0"), nullptr); // not an object
	EXPECT_EQ (v.find ("a")->str ("n", "fallback"), "fallback");
	EXPECT_EQ (b->items[4].str ("k", "fb"), "fb");
	JsonValue s;
	ASSERT_TRUE (parse ("{\"k\":\"v\"}", s));
	EXPECT_EQ (s.str ("k", "fb"), "v");
}

TEST (TreeReader, LaterDuplicateKeysWin)
{
	JsonValue v;
	ASSERT_TRUE (parse ("{\"a\":1,\"b\":2,\"a\":3}", v));
	EXPECT_EQ (v.members.size (), 2u);
	EXPECT_EQ (v.find ("a")->number, 3);
}

TEST (TreeReader, DecodesStrictEscapesToUtf8)
{
	EXPECT_EQ (stringOf ("\"a\\u00e9b\""), "a\xC3\xA9"
	                                       "b");
	EXPECT_EQ (stringOf ("\"\\u0041\\u07FF\\uFFFF\""), "A\xDF\xBF\xEF\xBF\xBF");
	EXPECT_EQ (stringOf ("\"\\uD83D\\uDE00\""), "\xF0\x9F\x98\x80");
	EXPECT_EQ (stringOf ("\"\\uD83Dx\""), "\xED\xA0\xBDx"); // lone high surrogate
	EXPECT_EQ (stringOf ("\"\\uD83D\\u0041\""), "\xED\xA0\xBD"
	                                            "A");     // not a low one
	EXPECT_EQ (stringOf ("\"\\uDE00\""), "\xED\xB8\x80"); // lone low surrogate
	EXPECT_EQ (stringOf ("\"\\\"\\/\\\\\\b\\f\\n\\r\\t\""), "\"/\\\b\f\n\r\t");
	EXPECT_EQ (stringOf (std::string ("\"\x01\n\0\"", 5)), std::string ("\x01\n\0", 3));
	EXPECT_FALSE (parses ("\"\\x\""));
	EXPECT_FALSE (parses ("\"\\u12\""));
	EXPECT_FALSE (parses ("\"\\u12G4\""));
	EXPECT_FALSE (parses ("\"\\uD83D\\u\""));
}

TEST (TreeReader, NumbersFollowStrtodRules)
{
	for (const char* text : {"1e5", "+3", "0x10", "nan", "-inf", "007"})
	{
		JsonValue v;
		ASSERT_TRUE (parse (text, v)) << text;
		EXPECT_EQ (v.kind, Kind::Number);
	}
	JsonValue v;
	ASSERT_TRUE (parse ("0x10", v));
	EXPECT_EQ (v.number, 16);
	EXPECT_FALSE (parses ("-"));
	EXPECT_FALSE (parses ("."));
	EXPECT_FALSE (parses ("1.5.2"));
}

TEST (TreeReader, WholeTextMustBeOneValue)
{
	EXPECT_TRUE (parses ("[1] \t\r\n"));
	EXPECT_FALSE (parses ("[1] x"));
	EXPECT_FALSE (parses ("1 2"));
	EXPECT_FALSE (parses (""));
	EXPECT_FALSE (parses (" "));
	EXPECT_FALSE (parses ("nullx"));
	EXPECT_FALSE (parses ("[1,]"));
	EXPECT_FALSE (parses ("{\"a\":1,}"));
	EXPECT_FALSE (parses ("{\"a\" 1}"));
	JsonValue v;
	EXPECT_TRUE (tavik::parseJsonDocument (std::vector<uint8_t> {'[', ']'}, v));
	EXPECT_EQ (v.kind, Kind::Array);
}

TEST (TreeReader, NestingIsBoundedAtDepth32)
{
	EXPECT_TRUE (parses (nestedArrays (33))); // depths 0..32
	EXPECT_FALSE (parses (nestedArrays (34)));
}

TEST (TreeReaderHostileInput, EveryTruncationOfAValidDocumentFails)
{
	const std::string document = "{\"bank\":{\"id\":\"b\\u00e9\",\"zones\":[{\"lo\":36,\"hi\":48,\"gain\":-3.5e0}],"
								 "\"ok\":true,\"none\":null,\"s\":\"\\uD83D\\uDE00\"}}";
	ASSERT_TRUE (parses (document));
	for (size_t cut = 0; cut < document.size (); ++cut)
		EXPECT_FALSE (parses (document.substr (0, cut))) << "cut at " << cut;
}

TEST (TreeReaderHostileInput, DeepNestingAndUnterminatedTextFailCleanly)
{
	EXPECT_FALSE (parses (std::string (10000, '[')));
	EXPECT_FALSE (parses (nestedArrays (10000)));
	std::string objects;
	for (int i = 0; i < 10000; ++i)
		objects += "{\"a\":";
	EXPECT_FALSE (parses (objects));
	for (const std::string& text :
	     std::vector<std::string> {"\"", "\"\\", "\"\\u", "\"\\uD83D\\", "[\"a", "{\"a\":", std::string ("\0", 1),
	                               std::string ("[1\0]", 4), "tru", "fals", "nul", "[", "{"})
		EXPECT_FALSE (parses (text)) << text;
}

TEST (TreeReaderHostileInput, NumberAtTheVeryEndOfTheBuffer)
{
	JsonValue v;
	ASSERT_TRUE (parse ("12345", v));
	EXPECT_EQ (v.number, 12345);
	ASSERT_TRUE (parse ("[1e3]", v));
	ASSERT_TRUE (parse ("-0." + std::string (3000, '5'), v));
}

TEST (TreeReaderHostileInput, HugeArraysParse)
{
	std::string big = "[";
	for (int i = 0; i < 100000; ++i)
		big += "{\"k\":[1,2,\"s\"]},";
	big += "null]";
	JsonValue v;
	ASSERT_TRUE (parse (big, v));
	EXPECT_EQ (v.items.size (), 100001u);
}

TEST (TreeReaderHostileInput, ValueBudgetCountsEveryValue)
{
	// Four values: the object, its array and the array's two numbers.
	const std::string text = "{\"a\":[1,2]}";
	const tavik::test::ExactBuffer buffer (text);
	JsonValue v;
	EXPECT_TRUE (tavik::parseJsonDocument (buffer.begin (), buffer.size (), v, 4));
	EXPECT_FALSE (tavik::parseJsonDocument (buffer.begin (), buffer.size (), v, 3));
	EXPECT_TRUE (tavik::parseJsonDocument (buffer.begin (), buffer.size (), v, 0)); // no limit

	std::string zeros = "[";
	for (int i = 0; i < 300000; ++i)
		zeros += "0,";
	zeros += "0]";
	EXPECT_FALSE (tavik::parseJsonDocument (std::vector<uint8_t> (zeros.begin (), zeros.end ()), v, 250000));
	EXPECT_TRUE (tavik::parseJsonDocument (std::vector<uint8_t> (zeros.begin (), zeros.end ()), v, 300002));
	EXPECT_EQ (v.items.size (), 300001u);
}

} // namespace
