#include "json_text.h"

#include "utf8.h"

#include <cstdio>
#include <cstring>

namespace tavik::tools {

void appendJsonString (std::string& out, const std::string& utf8)
{
	out.push_back ('"');
	for (const char ch : utf8)
	{
		const auto c = static_cast<unsigned char> (ch);
		switch (c)
		{
			case '"': out += "\\\""; break;
			case '\\': out += "\\\\"; break;
			case '\n': out += "\\n"; break;
			case '\r': out += "\\r"; break;
			case '\t': out += "\\t"; break;
			default:
				if (c < 0x20)
				{
					char buf[8];
					std::snprintf (buf, sizeof (buf), "\\u%04x", c);
					out += buf;
				}
				else
					out.push_back (ch);
		}
	}
	out.push_back ('"');
}

std::string utf16ToUtf8 (const char16_t* text, size_t capacity)
{
	std::string out;
	for (size_t i = 0; i < capacity && text[i]; ++i)
	{
		uint32_t cp = text[i];
		if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < capacity && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
		{
			cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
			++i;
		}
		else if (cp >= 0xD800 && cp <= 0xDFFF)
			cp = 0xFFFD;
		tavik::appendUtf8 (out, cp);
	}
	return out;
}

std::string classIdHex (const char* tuid)
{
	std::string hex;
	char buf[4];
	for (int i = 0; i < 16; ++i)
	{
		std::snprintf (buf, sizeof (buf), "%02X", static_cast<unsigned char> (tuid[i]));
		hex += buf;
	}
	return hex;
}

} // namespace tavik::tools
