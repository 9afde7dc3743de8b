#include "json_tree.h"

#include "json_reader.h"
#include "number_text.h"
#include "utf8.h"

#include <cmath>
#include <cstring>

namespace tavik {

const JsonValue* JsonValue::find (const std::string& key) const
{
	if (kind != Kind::Object)
		return nullptr;
	const auto it = members.find (key);
	return it == members.end () ? nullptr : &it->second;
}

std::string JsonValue::str (const std::string& key, const std::string& fallback) const
{
	const JsonValue* member = find (key);
	if (member && member->kind == Kind::String)
		return member->string;
	return fallback;
}

double JsonValue::num (const std::string& key, double fallback) const
{
	const JsonValue* member = find (key);
	if (member && member->kind == Kind::Number && std::isfinite (member->number))
		return member->number;
	return fallback;
}

namespace {

int hexValue (char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

// Reads the four hex digits after "\u" at `p`; -1 when they are not all there.
long readHex4 (const char* p, const char* end)
{
	if (end - p < 4)
		return -1;
	long value = 0;
	for (int k = 0; k < 4; ++k)
	{
		const int digit = hexValue (p[k]);
		if (digit < 0)
			return -1;
		value = value * 16 + digit;
	}
	return value;
}

} // namespace

void JsonReader::skipWhitespace ()
{
	while (cur < end && (*cur == ' ' || *cur == '\t' || *cur == '\n' || *cur == '\r'))
		++cur;
}

bool JsonReader::literal (const char* word)
{
	const size_t length = std::strlen (word);
	if (static_cast<size_t> (end - cur) < length || std::memcmp (cur, word, length) != 0)
		return false;
	cur += length;
	return true;
}

bool JsonReader::string (std::string& out)
{
	out.clear ();
	if (cur >= end || *cur != '"')
		return false;
	++cur;
	while (cur < end)
	{
		const char c = *cur++;
		if (c == '"')
			return true;
		if (c != '\\')
		{
			out.push_back (c);
			continue;
		}
		if (cur >= end)
			return false;
		const char e = *cur++;
		switch (e)
		{
			case '"': out.push_back ('"'); break;
			case '/': out.push_back ('/'); break;
			case '\\': out.push_back ('\\'); break;
			case 'b': out.push_back ('\b'); break;
			case 'f': out.push_back ('\f'); break;
			case 'n': out.push_back ('\n'); break;
			case 'r': out.push_back ('\r'); break;
			case 't': out.push_back ('\t'); break;
			case 'u':
			{
				const long cp = readHex4 (cur, end);
				if (cp < 0)
					return false;
				cur += 4;
				if (cp >= 0xD800 && cp <= 0xDBFF && end - cur >= 6 && cur[0] == '\\' && cur[1] == 'u')
				{
					const long low = readHex4 (cur + 2, end);
					if (low >= 0xDC00 && low <= 0xDFFF)
					{
						cur += 6;
						appendUtf8 (out, static_cast<uint32_t> ((cp - 0xD800) * 0x400 + (low - 0xDC00) + 0x10000));
						break;
					}
				}
				appendUtf8 (out, static_cast<uint32_t> (cp));
				break;
			}
			default: return false;
		}
	}
	return false;
}

bool JsonReader::value (JsonValue& out, int depth)
{
	if (depth > JSON_MAX_DEPTH || (valueLimit && valueCount >= valueLimit))
		return false;
	++valueCount;
	skipWhitespace ();
	if (cur >= end)
		return false;
	const char c = *cur;
	if (c == '"')
	{
		out.kind = JsonValue::Kind::String;
		return string (out.string);
	}
	if (c == '[')
	{
		out.kind = JsonValue::Kind::Array;
		++cur;
		skipWhitespace ();
		if (cur < end && *cur == ']')
		{
			++cur;
			return true;
		}
		for (;;)
		{
			out.items.emplace_back ();
			if (!value (out.items.back (), depth + 1))
				return false;
			skipWhitespace ();
			if (cur >= end)
				return false;
			const char next = *cur++;
			if (next == ']')
				return true;
			if (next != ',')
				return false;
		}
	}
	if (c == '{')
	{
		out.kind = JsonValue::Kind::Object;
		++cur;
		skipWhitespace ();
		if (cur < end && *cur == '}')
		{
			++cur;
			return true;
		}
		std::string key;
		for (;;)
		{
			skipWhitespace ();
			if (!string (key))
				return false;
			skipWhitespace ();
			if (cur >= end || *cur != ':')
				return false;
			++cur;
			JsonValue member;
			if (!value (member, depth + 1))
				return false;
			out.members[key] = std::move (member);
			skipWhitespace ();
			if (cur >= end)
				return false;
			const char next = *cur++;
			if (next == '}')
				return true;
			if (next != ',')
				return false;
		}
	}
	if (literal ("true"))
	{
		out.kind = JsonValue::Kind::Boolean;
		out.boolean = true;
		return true;
	}
	if (literal ("false"))
	{
		out.kind = JsonValue::Kind::Boolean;
		out.boolean = false;
		return true;
	}
	if (literal ("null"))
	{
		out.kind = JsonValue::Kind::Null;
		return true;
	}
	// The private copy ends in a NUL byte, which bounds the conversion.
	char* stop = nullptr;
	const double number = parseCNumber (cur, &stop);
	if (stop == cur)
		return false;
	out.kind = JsonValue::Kind::Number;
	out.number = number;
	cur = stop;
	return true;
}

bool parseJsonDocument (const char* text, size_t length, JsonValue& out, size_t maxValues)
{
	std::vector<char> copy (length + 1);
	if (length)
		std::memcpy (copy.data (), text, length);
	copy[length] = 0;
	JsonReader reader (copy.data (), copy.data () + length);
	reader.valueLimit = maxValues;
	out = JsonValue ();
	if (!reader.value (out, 0))
		return false;
	reader.skipWhitespace ();
	return reader.cur == reader.end;
}

bool parseJsonDocument (const std::vector<uint8_t>& bytes, JsonValue& out, size_t maxValues)
{
	return parseJsonDocument (reinterpret_cast<const char*> (bytes.data ()), bytes.size (), out, maxValues);
}

} // namespace tavik
