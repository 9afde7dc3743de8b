#include "json_writer.h"
#include "number_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace {

std::string number (double v)
{
	std::string out;
	tavik::jsonAppendNumber (out, v);
	return out;
}

std::string quoted (const char* text)
{
	std::string out;
	tavik::jsonAppendQuoted (out, text);
	return out;
}

TEST (JsonNumberWriting, ChoosesTheShorterOfPlainAndExponentForms)
{
	EXPECT_EQ (number (127), "127");
	EXPECT_EQ (number (0.1), "0.1");
	EXPECT_EQ (number (48000), "48000");
	EXPECT_EQ (number (1000000), "1e+06");
	EXPECT_EQ (number (10000000), "1e+07");
	EXPECT_EQ (number (2000000), "2e+06");
	EXPECT_EQ (number (2500000), "2500000"); // equally long: plain wins
	EXPECT_EQ (number (100000), "1e+05");    // one character shorter
	EXPECT_EQ (number (10000), "10000");
	EXPECT_EQ (number (0.0001), "1e-04");
	EXPECT_EQ (number (0.001), "0.001"); // "1e-03" is longer
	EXPECT_EQ (number (1e300), "1e+300");
	EXPECT_EQ (number (1.5e-7), "1.5e-07");
	EXPECT_EQ (number (123456789012345680000.0), "123456789012345680000");
	EXPECT_EQ (number (-0.25), "-0.25");
	EXPECT_EQ (number (0.0), "0");
	EXPECT_EQ (number (-0.0), "-0");
	EXPECT_EQ (number (0.8484848484848485), "0.8484848484848485");
	EXPECT_EQ (number (5e-324), "5e-324");
	EXPECT_EQ (number (std::numeric_limits<double>::max ()), "1.7976931348623157e+308");
}

TEST (JsonNumberWriting, NonFiniteValuesBecomeNull)
{
	EXPECT_EQ (number (std::numeric_limits<double>::quiet_NaN ()), "null");
	EXPECT_EQ (number (std::numeric_limits<double>::infinity ()), "null");
	EXPECT_EQ (number (-std::numeric_limits<double>::infinity ()), "null");
}

TEST (JsonNumberWriting, AppendsWithoutTouchingWhatIsThere)
{
	std::string out = "[1,";
	tavik::jsonAppendNumber (out, 2.5);
	EXPECT_EQ (out, "[1,2.5");
}

TEST (JsonNumberWriting, EveryWrittenNumberReadsBackExactly)
{
	std::mt19937_64 random (12345);
	for (int i = 0; i < 20000; ++i)
	{
		const uint64_t bits = random ();
		double v;
		static_assert (sizeof (v) == sizeof (bits));
		std::memcpy (&v, &bits, sizeof (v));
		if (!std::isfinite (v))
			continue;
		const std::string text = number (v);
		char* end = nullptr;
		const double back = tavik::parseCNumber (text.c_str (), &end);
		ASSERT_EQ (*end, '\0') << text;
		ASSERT_EQ (std::memcmp (&back, &v, sizeof (v)), 0) << text;
		ASSERT_EQ (text.find ('E'), std::string::npos);
	}
}

TEST (JsonNumberWriting, IgnoresTheProcessLocale)
{
	// Hosts may switch the C locale; documents must not follow it.
	const char* previous = std::setlocale (LC_ALL, nullptr);
	const std::string saved = previous ? previous : "C";
	if (!std::setlocale (LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale (LC_NUMERIC, "fr_FR.UTF-8"))
		GTEST_SKIP () << "no decimal-comma locale installed";
	EXPECT_EQ (number (0.85), "0.85");
	char* end = nullptr;
	EXPECT_EQ (tavik::parseCNumber ("0.85", &end), 0.85);
	std::setlocale (LC_ALL, saved.c_str ());
}

TEST (JsonStringWriting, EscapesOnlyQuoteAndBackslash)
{
	EXPECT_EQ (quoted ("plain"), "\"plain\"");
	EXPECT_EQ (quoted ("a\"b\\c"), "\"a\\\"b\\\\c\"");
	// Control bytes and bytes above 0x7F are copied as they are.
	EXPECT_EQ (quoted ("line\nfeed\t\"q\""), "\"line\nfeed\t\\\"q\\\"\"");
	EXPECT_EQ (quoted ("\xC3\xA9\x01"), "\"\xC3\xA9\x01\"");
	EXPECT_EQ (quoted (""), "\"\"");
	EXPECT_EQ (quoted (nullptr), "\"\"");
}

TEST (JsonMemberWriting, SeparatesMembersAndNestsObjects)
{
	std::string out;
	tavik::JsonMembers doc = tavik::JsonMembers::open (out);
	EXPECT_TRUE (doc.empty ());
	doc.integer ("v", 1);
	EXPECT_FALSE (doc.empty ());
	tavik::JsonMembers inner = doc.object ("inner");
	inner.close (); // an empty nested object
	tavik::JsonMembers flags = doc.object ("flags");
	flags.boolean ("on", true);
	flags.boolean ("off", false);
	flags.close ();
	doc.member ("list") += "[1,2]";
	doc.raw ("none", "null");
	doc.close ();
	EXPECT_EQ (out, "{\"v\":1,\"inner\":{},\"flags\":{\"on\":true,\"off\":false},\"list\":[1,2],\"none\":null}");

	// Continuing members already written, after text already there.
	std::string more = "{\"a\":0";
	tavik::JsonMembers rest (more, true);
	rest.text ("b", "x");
	EXPECT_EQ (more, "{\"a\":0,\"b\":\"x\"");
}

TEST (JsonMemberWriting, NumbersIntegersAndTextKeepTheirOwnForms)
{
	std::string out;
	tavik::JsonMembers m (out);
	m.number ("n", 2000000);  // shortest form, exponent when shorter
	m.integer ("i", 2000000); // always plain digits
	m.number ("nan", std::nan (""));
	m.integer ("min", INT64_MIN);
	m.integer ("max", INT64_MAX);
	m.integer ("neg", -7);
	m.text ("null", nullptr);
	m.text ("esc", "a\"b\\c\n");
	EXPECT_EQ (out, "\"n\":2e+06,\"i\":2000000,\"nan\":null,\"min\":-9223372036854775808,"
	                "\"max\":9223372036854775807,\"neg\":-7,\"null\":\"\",\"esc\":\"a\\\"b\\\\c\n\"");
}

TEST (JsonMemberWriting, OptionalTextLeavesNoTrace)
{
	// Left-out members write neither themselves nor a separator.
	std::string out;
	tavik::JsonMembers m = tavik::JsonMembers::open (out);
	m.optionalText ("a", nullptr);
	m.optionalText ("b", "");
	EXPECT_TRUE (m.empty ());
	m.optionalText ("c", "set");
	m.optionalText ("d", "");
	m.optionalText ("e", "too");
	m.close ();
	EXPECT_EQ (out, "{\"c\":\"set\",\"e\":\"too\"}");
}

TEST (JsonMemberWriting, NamesAreEscapedLikeText)
{
	// Names can come from documents (pad keys) or records (detail names).
	std::string out;
	tavik::JsonMembers m (out);
	m.integer ("pad \"1\"\\", 1);
	m.integer ("", 2);
	EXPECT_EQ (out, "\"pad \\\"1\\\"\\\\\":1,\"\":2");
}

} // namespace
