#include "base64.h"

#include <gtest/gtest.h>

namespace {

std::string encode (const std::string& bytes)
{
	std::string out;
	tavik::base64Append (out, reinterpret_cast<const uint8_t*> (bytes.data ()), bytes.size ());
	return out;
}

bool decode (const std::string& text, std::string& bytes, size_t maxBytes = 1024)
{
	std::vector<uint8_t> out;
	if (!tavik::base64Decode (text, out, maxBytes))
		return false;
	bytes.assign (out.begin (), out.end ());
	return true;
}

TEST (Base64, EncodesRfc4648Vectors)
{
	EXPECT_EQ (encode (""), "");
	EXPECT_EQ (encode ("f"), "Zg==");
	EXPECT_EQ (encode ("fo"), "Zm8=");
	EXPECT_EQ (encode ("foo"), "Zm9v");
	EXPECT_EQ (encode ("foob"), "Zm9vYg==");
	EXPECT_EQ (encode ("fooba"), "Zm9vYmE=");
	EXPECT_EQ (encode ("foobar"), "Zm9vYmFy");
	EXPECT_EQ (encode (std::string ("\xFF\xFE\x00", 3)), "//4A");
}

TEST (Base64, DigitsCoverTheAlphabetOnly)
{
	EXPECT_EQ (tavik::base64Digit ('A'), 0);
	EXPECT_EQ (tavik::base64Digit ('Z'), 25);
	EXPECT_EQ (tavik::base64Digit ('a'), 26);
	EXPECT_EQ (tavik::base64Digit ('z'), 51);
	EXPECT_EQ (tavik::base64Digit ('0'), 52);
	EXPECT_EQ (tavik::base64Digit ('9'), 61);
	EXPECT_EQ (tavik::base64Digit ('+'), 62);
	EXPECT_EQ (tavik::base64Digit ('/'), 63);
	for (const char c : {'=', '-', '_', ' ', '\0', '\x80'})
		EXPECT_EQ (tavik::base64Digit (c), -1) << int (c);
}

TEST (Base64, RoundTripsEveryLength)
{
	std::string bytes;
	for (int n = 0; n < 70; ++n)
	{
		std::string back;
		ASSERT_TRUE (decode (encode (bytes), back)) << n;
		EXPECT_EQ (back, bytes);
		bytes.push_back (static_cast<char> (n * 37 + 11));
	}
}

TEST (Base64, DecodingRejectsMalformedText)
{
	std::string out;
	EXPECT_FALSE (decode ("Zg", out));       // length not a multiple of 4
	EXPECT_FALSE (decode ("Z===", out));     // "=" as second character
	EXPECT_FALSE (decode ("Zg==Zm8=", out)); // padding in a group that is not the last
	EXPECT_FALSE (decode ("Zm9=Zm8=", out));
	EXPECT_FALSE (decode ("Zm9v!m8=", out)); // outside the alphabet
	EXPECT_FALSE (decode ("=Zm9", out));
	EXPECT_FALSE (decode ("Zm 9", out));
	ASSERT_TRUE (decode ("Zg==", out)); // "==" at the end: one byte
	EXPECT_EQ (out, "f");
	ASSERT_TRUE (decode ("", out));
	EXPECT_EQ (out, "");
}

TEST (Base64, DecodedSizeAboveTheLimitFailsWithoutTouchingTheOutput)
{
	std::vector<uint8_t> out = {1, 2, 3};
	EXPECT_FALSE (tavik::base64Decode ("Zm9vYg==", out, 3)); // 4 bytes > 3
	EXPECT_EQ (out, (std::vector<uint8_t> {1, 2, 3}));
	EXPECT_TRUE (tavik::base64Decode ("Zm9vYg==", out, 4));
	EXPECT_EQ (out.size (), 4u);
}

} // namespace
