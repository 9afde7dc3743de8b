#include "exact_buffer.h"
#include "json_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

namespace {

using tavik::Reader;
using tavik::test::ExactBuffer;

struct Read
{
	explicit Read (const std::string& text) : buffer (text), reader {buffer.begin (), buffer.end ()} {}
	size_t consumed () const { return static_cast<size_t> (reader.cur - buffer.begin ()); }
	ExactBuffer buffer;
	Reader reader;
};

bool readString (const std::string& text, std::string& out)
{
	Read r (text);
	return tavik::parseString (r.reader, &out);
}

bool readNumber (const std::string& text, double& out, size_t* consumed = nullptr)
{
	Read r (text);
	const bool ok = tavik::parseNumber (r.reader, &out);
	if (consumed)
		*consumed = r.consumed ();
	return ok;
}

bool skip (const std::string& text, int depth = 1, size_t* consumed = nullptr)
{
	Read r (text);
	const bool ok = tavik::skipValue (r.reader, depth);
	if (consumed)
		*consumed = r.consumed ();
	return ok;
}

std::string nestedArrays (int levels)
{
	return std::string (static_cast<size_t> (levels), '[') + std::string (static_cast<size_t> (levels), ']');
}

TEST (DocumentReaderStrings, DecodesLenientEscapes)
{
	std::string s;
	ASSERT_TRUE (readString ("  \"a\\u00e9b\"", s));
	EXPECT_EQ (s, "a?b"); // code points are not decoded
	ASSERT_TRUE (readString ("\"\\b\\f\\n\\r\\t\"", s));
	EXPECT_EQ (s, "\b\f\n\r\t");
	ASSERT_TRUE (readString ("\"\\x\\\"\\\\\\/\"", s));
	EXPECT_EQ (s, "x\"\\/");
	ASSERT_TRUE (readString (std::string ("\"raw\x01\n\xC3\xA9\0z\"", 11), s));
	EXPECT_EQ (s, std::string ("raw\x01\n\xC3\xA9\0z", 9));
	ASSERT_TRUE (readString ("\"\\u12\"", s) == false); // "\u" ate the quote: unterminated
	ASSERT_TRUE (readString ("\"\\u12\"  \"", s));      // ...and the next quote closes it
	EXPECT_EQ (s, "? ");
}

TEST (DocumentReaderStrings, FailsOnMissingOrUnterminatedStrings)
{
	std::string s = "kept";
	EXPECT_FALSE (readString ("", s));
	EXPECT_FALSE (readString ("abc", s));
	EXPECT_FALSE (readString ("\"abc", s));
	EXPECT_FALSE (readString ("\"abc\\", s));
	EXPECT_FALSE (readString ("\"\\u", s));
	EXPECT_FALSE (readString ("\"\\u00", s));
}

TEST (DocumentReaderStrings, SkippingNeedsNoOutput)
{
	Read r ("\"skip me\" ,");
	ASSERT_TRUE (tavik::parseString (r.reader, nullptr));
	EXPECT_EQ (r.consumed (), 9u);
}

TEST (DocumentReaderNumbers, FollowStrtodRules)
{
	double v = 0;
	size_t consumed = 0;
	ASSERT_TRUE (readNumber ("1e5", v));
	EXPECT_EQ (v, 1e5);
	ASSERT_TRUE (readNumber ("+3", v));
	EXPECT_EQ (v, 3);
	ASSERT_TRUE (readNumber ("0x10", v));
	EXPECT_EQ (v, 16);
	ASSERT_TRUE (readNumber ("007", v));
	EXPECT_EQ (v, 7);
	ASSERT_TRUE (readNumber ("nan", v));
	EXPECT_TRUE (std::isnan (v));
	ASSERT_TRUE (readNumber ("-Infinity", v));
	EXPECT_EQ (v, -INFINITY);
	ASSERT_TRUE (readNumber ("1e999", v));
	EXPECT_EQ (v, INFINITY);
	ASSERT_TRUE (readNumber (" \t-0.25,", v, &consumed));
	EXPECT_EQ (v, -0.25);
	EXPECT_EQ (consumed, 7u);
	ASSERT_TRUE (readNumber ("12abc", v, &consumed)); // trailing letters are left over
	EXPECT_EQ (consumed, 2u);
	EXPECT_FALSE (readNumber ("-", v));
	EXPECT_FALSE (readNumber (".", v));
	EXPECT_FALSE (readNumber ("", v));
	EXPECT_FALSE (readNumber ("x1", v));
	EXPECT_FALSE (readNumber ("\"1\"", v));
}

TEST (DocumentReaderNumbers, StopAtTheEndOfTheText)
{
	// The digits continue in memory but not in the text.
	const std::string memory = "12345";
	Reader r {memory.data (), memory.data () + 3};
	double v = 0;
	ASSERT_TRUE (tavik::parseNumber (r, &v));
	EXPECT_EQ (v, 123);
	EXPECT_EQ (r.cur, memory.data () + 3);

	// A long number that fills the text exactly.
	const std::string longNumber = "0." + std::string (5000, '1');
	ASSERT_TRUE (readNumber (longNumber, v));
	EXPECT_NEAR (v, 0.1111111111, 1e-9);
}

TEST (DocumentReaderSkipping, SkipsEveryKindOfValue)
{
	size_t consumed = 0;
	EXPECT_TRUE (skip ("\"str\"", 1, &consumed));
	EXPECT_EQ (consumed, 5u);
	EXPECT_TRUE (skip ("true"));
	EXPECT_TRUE (skip ("false"));
	EXPECT_TRUE (skip ("null"));
	EXPECT_TRUE (skip ("-1.5e3"));
	EXPECT_TRUE (skip ("[ 1 , \"a\" , [ ] , { } ]", 1, &consumed));
	EXPECT_EQ (consumed, 23u);
	EXPECT_TRUE (skip ("{\"a\": [1, {\"b\": null}], \"c\": \"d\"}"));
	// Only the literal's bytes are compared; what follows is the caller's.
	EXPECT_TRUE (skip ("nullx", 1, &consumed));
	EXPECT_EQ (consumed, 4u);
	EXPECT_FALSE (skip ("nul"));
	EXPECT_FALSE (skip ("tru"));
	EXPECT_FALSE (skip ("[1 2]"));
	EXPECT_FALSE (skip ("[1,]"));
	EXPECT_FALSE (skip ("{\"a\" 1}"));
	EXPECT_FALSE (skip ("{\"a\":1,}"));
	EXPECT_FALSE (skip ("{1:2}"));
	EXPECT_FALSE (skip (""));
	EXPECT_FALSE (skip ("   "));
}

TEST (DocumentReaderSkipping, NestingIsBoundedAtDepth32)
{
	EXPECT_TRUE (skip (nestedArrays (32), 1));
	EXPECT_FALSE (skip (nestedArrays (33), 1));
	EXPECT_TRUE (skip (nestedArrays (33), 0));
	EXPECT_FALSE (skip ("1", 33));
	std::string objects;
	for (int i = 0; i < 40; ++i)
		objects += "{\"k\":";
	objects += "1" + std::string (40, '}');
	EXPECT_FALSE (skip (objects, 1));
}

TEST (DocumentReaderObjects, MemberLoopReadsKnownAndSkipsUnknownMembers)
{
	Read r ("{ \"a\" : 1 , \"skip\" : [ {\"x\": 2} ], \"b\":\"two\", \"a\": 3 }");
	std::map<std::string, std::string> seen;
	double a = 0;
	std::string b;
	const bool ok = tavik::readObject (r.reader, [&] (const std::string& key, Reader& in) {
		seen[key] = "x";
		if (key == "a")
			return tavik::parseNumber (in, &a);
		if (key == "b")
			return tavik::parseString (in, &b);
		return tavik::skipValue (in, 1);
	});
	ASSERT_TRUE (ok);
	EXPECT_EQ (a, 3); // a repeated member: the later value wins
	EXPECT_EQ (b, "two");
	EXPECT_EQ (seen.size (), 3u);
	EXPECT_EQ (r.consumed (), r.buffer.size ());
}

TEST (DocumentReaderObjects, MemberLoopRejectsMalformedObjects)
{
	const auto accepts = [] (const std::string& text) {
		Read r (text);
		return tavik::readObject (r.reader, [] (const std::string&, Reader& in) { return tavik::skipValue (in, 1); });
	};
	EXPECT_TRUE (accepts ("{}"));
	EXPECT_TRUE (accepts (" { } "));
	EXPECT_FALSE (accepts ("[]"));
	EXPECT_FALSE (accepts ("{"));
	EXPECT_FALSE (accepts ("{\"a\":1"));
	EXPECT_FALSE (accepts ("{\"a\":1;}"));
	EXPECT_FALSE (accepts ("{\"a\"}"));
	EXPECT_FALSE (accepts ("{a:1}"));
}

TEST (DocumentReaderBooleans, ReadsOnlyTheTwoLiterals)
{
	Read t (" \n true,");
	bool v = false;
	ASSERT_TRUE (tavik::readBool (t.reader, v));
	EXPECT_TRUE (v);
	EXPECT_EQ (t.consumed (), 7u);
	Read f ("false");
	ASSERT_TRUE (tavik::readBool (f.reader, v));
	EXPECT_FALSE (v);
	// Only the literal's bytes are compared; what follows is the caller's.
	Read x ("truex");
	ASSERT_TRUE (tavik::readBool (x.reader, v));
	EXPECT_EQ (x.consumed (), 4u);

	for (const std::string& text : std::vector<std::string> {"", "tru", "fals", "f", "TRUE", "True", "null", "0", "1",
	                                                         "\"true\"", "[true]", "{}", "-", "nan"})
	{
		Read r ("  " + text);
		bool kept = true;
		EXPECT_FALSE (tavik::readBool (r.reader, kept)) << text;
		EXPECT_TRUE (kept) << text;            // the target keeps its value
		EXPECT_EQ (r.consumed (), 2u) << text; // only the whitespace is gone
	}
}

TEST (DocumentReaderBooleans, AValueThatIsNotABooleanCanStillBeSkipped)
{
	// The pattern of readers that keep a default for other values.
	const auto boolOrSkip = [] (const std::string& text, bool& value) {
		Read r (text);
		return (tavik::readBool (r.reader, value) || tavik::skipValue (r.reader, 1)) &&
		       r.consumed () == r.buffer.size ();
	};
	bool value = true;
	EXPECT_TRUE (boolOrSkip (" [true, false]", value));
	EXPECT_TRUE (boolOrSkip ("\"false\"", value));
	EXPECT_TRUE (boolOrSkip ("0", value));
	EXPECT_TRUE (boolOrSkip ("null", value));
	EXPECT_TRUE (value);
	EXPECT_FALSE (boolOrSkip ("fals", value)); // broken text still fails
	EXPECT_FALSE (boolOrSkip ("", value));
	EXPECT_TRUE (boolOrSkip ("false", value));
	EXPECT_FALSE (value);
}

// Reads an array of numbers; false when it is not exactly one.
bool readNumbers (const std::string& text, std::vector<double>& out, size_t* consumed = nullptr)
{
	Read r (text);
	out.clear ();
	const bool ok = tavik::readArray (r.reader, [&out] (Reader& in) {
		double v = 0;
		if (!tavik::parseNumber (in, &v))
			return false;
		out.push_back (v);
		return true;
	});
	if (consumed)
		*consumed = r.consumed ();
	return ok;
}

// Reads an array whose elements are skipped at depth 2, as an array member
// of a top-level object is.
bool skipElements (const std::string& text)
{
	Read r (text);
	return tavik::readArray (r.reader, [] (Reader& in) { return tavik::skipValue (in, 2); });
}

TEST (DocumentReaderArrays, ElementLoopReadsEveryElementInOrder)
{
	std::vector<double> v;
	size_t consumed = 0;
	ASSERT_TRUE (readNumbers (" [ 1 ,2.5\t,\n-3 ] ,", v, &consumed));
	EXPECT_EQ (v, (std::vector<double> {1, 2.5, -3}));
	EXPECT_EQ (consumed, 16u); // up to the bracket, nothing after it
	ASSERT_TRUE (readNumbers ("[]", v));
	EXPECT_TRUE (v.empty ());
	ASSERT_TRUE (readNumbers ("[ \n ]", v));
	EXPECT_TRUE (v.empty ());

	// Elements may be read by further loops: an array of arrays of booleans.
	Read r ("[[true],[],[false,true]]");
	std::vector<std::vector<bool>> rows;
	const bool ok = tavik::readArray (r.reader, [&rows] (Reader& row) {
		rows.emplace_back ();
		return tavik::readArray (row, [&rows] (Reader& item) {
			bool b = false;
			if (!tavik::readBool (item, b))
				return false;
			rows.back ().push_back (b);
			return true;
		});
	});
	ASSERT_TRUE (ok);
	EXPECT_EQ (rows, (std::vector<std::vector<bool>> {{true}, {}, {false, true}}));
}

TEST (DocumentReaderArrays, RejectsAnythingButOneWellFormedArray)
{
	std::vector<double> v;
	for (const std::string& text : std::vector<std::string> {
			 "",     "   ",   "{}",   "1",   "\"[]\"", "]",     "[",   "[ ",     "[1",    "[1 ",    "[1,",
			 "[1,]", "[1, ]", "[,1]", "[,]", "[1 2]",  "[1;2]", "[1}", "[1,,2]", "[[1]]", "[true]", "[\"1\"]"})
		EXPECT_FALSE (readNumbers (text, v)) << text;
}

TEST (DocumentReaderArrays, StopsAtTheFirstFailure)
{
	// A failing element ends the loop: later elements are not offered.
	Read r ("[1,2,3]");
	int calls = 0;
	EXPECT_FALSE (tavik::readArray (r.reader, [&calls] (Reader& in) {
		++calls;
		return calls < 2 && tavik::skipValue (in, 1);
	}));
	EXPECT_EQ (calls, 2);

	// A missing separator leaves the offending byte unread for the caller's
	// message; a truncated array leaves the cursor at the end.
	std::vector<double> v;
	size_t consumed = 0;
	EXPECT_FALSE (readNumbers ("[1 2]", v, &consumed));
	EXPECT_EQ (consumed, 3u);
	EXPECT_FALSE (readNumbers ("[1  ", v, &consumed));
	EXPECT_EQ (consumed, 4u);
}

TEST (DocumentReaderArrays, NestingDepthIsTheElementReadersConcern)
{
	// Skipping the elements at depth 2 bounds the array as skipping all of
	// it at depth 1 does.
	EXPECT_TRUE (skipElements (nestedArrays (32)));
	EXPECT_FALSE (skipElements (nestedArrays (33)));
	EXPECT_FALSE (skipElements (std::string (10000, '[')));
	EXPECT_FALSE (skipElements (nestedArrays (10000)));
	EXPECT_FALSE (skipElements ("[" + std::string (40, '{') + "]"));
}

TEST (DocumentReaderArrays, EveryTruncationOfAValidArrayFails)
{
	const std::string valid = "[ 1, \"two\", [true, null], {\"k\": [false]}, -0.5e3 ]";
	ASSERT_TRUE (skipElements (valid));
	for (size_t cut = 0; cut < valid.size (); ++cut)
		EXPECT_FALSE (skipElements (valid.substr (0, cut))) << "cut at " << cut;
}

// Hostile input: every reader call must fail or succeed cleanly, never read
// outside the text (the buffers are exact, so AddressSanitizer would tell).
TEST (DocumentReaderHostileInput, EveryTruncationOfAValidDocumentIsHandled)
{
	const std::string document =
		"{\"v\":1,\"params\":{\"ir.size\":1.25,\"mallet.type\":2},\"name\":\"Gong \\\"A\\\" \\u00e9\","
		"\"list\":[true,false,null,-0.5e-3,[],{}],\"deep\":[[[[\"x\"]]]]}";
	ASSERT_TRUE (skip (document, 1));
	for (size_t cut = 0; cut < document.size (); ++cut)
	{
		Read r (document.substr (0, cut));
		EXPECT_FALSE (tavik::skipValue (r.reader, 1)) << "cut at " << cut;
		EXPECT_LE (r.reader.cur, r.reader.end);
	}
}

TEST (DocumentReaderHostileInput, DeepNestingFailsWithoutRecursingDeeply)
{
	EXPECT_FALSE (skip (std::string (10000, '['), 1));
	EXPECT_FALSE (skip (nestedArrays (10000), 1));
	EXPECT_FALSE (skip (std::string (10000, '{'), 1));
	std::string objects;
	for (int i = 0; i < 10000; ++i)
		objects += "{\"a\":";
	EXPECT_FALSE (skip (objects, 1));
}

TEST (DocumentReaderHostileInput, UnterminatedStringsEscapesAndNulBytes)
{
	for (const std::string& text : std::vector<std::string> {
			 "\"", "\"\\", "\"\\u", "\"\\u0", "[\"a", "{\"a", "{\"a\":\"", "{\"a\\\":1}", std::string ("\"\0", 2),
			 std::string ("[\0]", 3), std::string ("\0", 1), "[1,", "{\"a\":1,"})
		EXPECT_FALSE (skip (text, 1)) << text;
	EXPECT_TRUE (skip (std::string ("\"a\0b\"", 5), 1)); // a NUL inside a string is a byte
}

TEST (DocumentReaderHostileInput, HugeDocumentsAreReadLinearly)
{
	std::string big = "[";
	for (int i = 0; i < 200000; ++i)
		big += "\"value\",12345.678,";
	big += "0]";
	EXPECT_TRUE (skip (big, 1));
	const std::string hugeString = "\"" + std::string (8 << 20, 'x') + "\"";
	std::string out;
	ASSERT_TRUE (readString (hugeString, out));
	EXPECT_EQ (out.size (), size_t (8 << 20));
}

} // namespace
