#include "base64.h"

namespace tavik {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

void base64Append (std::string& out, const uint8_t* bytes, size_t count)
{
	out.reserve (out.size () + (count + 2) / 3 * 4);
	size_t i = 0;
	for (; i + 3 <= count; i += 3)
	{
		const uint32_t group = (uint32_t (bytes[i]) << 16) | (uint32_t (bytes[i + 1]) << 8) | bytes[i + 2];
		out.push_back (kAlphabet[(group >> 18) & 63]);
		out.push_back (kAlphabet[(group >> 12) & 63]);
		out.push_back (kAlphabet[(group >> 6) & 63]);
		out.push_back (kAlphabet[group & 63]);
	}
	const size_t rest = count - i;
	if (rest == 1)
	{
		const uint32_t group = uint32_t (bytes[i]) << 16;
		out.push_back (kAlphabet[(group >> 18) & 63]);
		out.push_back (kAlphabet[(group >> 12) & 63]);
		out += "==";
	}
	else if (rest == 2)
	{
		const uint32_t group = (uint32_t (bytes[i]) << 16) | (uint32_t (bytes[i + 1]) << 8);
		out.push_back (kAlphabet[(group >> 18) & 63]);
		out.push_back (kAlphabet[(group >> 12) & 63]);
		out.push_back (kAlphabet[(group >> 6) & 63]);
		out.push_back ('=');
	}
}

int base64Digit (char c)
{
	if (c >= 'A' && c <= 'Z')
		return c - 'A';
	if (c >= 'a' && c <= 'z')
		return c - 'a' + 26;
	if (c >= '0' && c <= '9')
		return c - '0' + 52;
	if (c == '+')
		return 62;
	if (c == '/')
		return 63;
	return -1;
}

bool base64Decode (const std::string& text, std::vector<uint8_t>& out, size_t maxBytes)
{
	const size_t length = text.size ();
	if (length % 4 != 0)
		return false;
	if (length == 0)
	{
		out.clear ();
		return true;
	}
	size_t padding = 0;
	if (text[length - 1] == '=')
		++padding;
	if (text[length - 2] == '=')
		++padding;
	const size_t decodedSize = 3 * length / 4 - padding;
	if (decodedSize > maxBytes)
		return false;

	out.clear ();
	out.reserve (decodedSize);
	for (size_t g = 0; g < length; g += 4)
	{
		const bool lastGroup = g + 4 == length;
		uint32_t group = 0;
		for (size_t k = 0; k < 4; ++k)
		{
			const char c = text[g + k];
			int value = 0;
			if (c == '=')
			{
				// Padding may stand only in the last two places of the last group.
				if (k < 2 || !lastGroup)
					return false;
			}
			else if ((value = base64Digit (c)) < 0)
				return false;
			group = (group << 6) | uint32_t (value);
		}
		const uint8_t bytes[3] = {uint8_t (group >> 16), uint8_t (group >> 8), uint8_t (group)};
		for (size_t k = 0; k < 3 && out.size () < decodedSize; ++k)
			out.push_back (bytes[k]);
	}
	return out.size () == decodedSize;
}

} // namespace tavik
