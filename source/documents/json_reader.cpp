#include "json_reader.h"

#include "number_text.h"

#include <cstring>
#include <vector>

namespace tavik {

namespace {

bool isJsonWhitespace (char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Bytes strtod might consume: its leading blanks, signs, digits, points,
// letters (exponents, hex digits, "inf", "nan") and the parentheses and
// underscores of "nan(...)". Converting only this span keeps the conversion
// inside [cur, end) and linear in the number's own length.
bool mayBeNumberByte (char c)
{
	return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '+' ||
	       c == '-' || c == '(' || c == ')' || c == '_';
}

bool isCSpace (char c) { return isJsonWhitespace (c) || c == '\v' || c == '\f'; }

bool matchLiteral (Reader& r, const char* word)
{
	const size_t length = std::strlen (word);
	if (static_cast<size_t> (r.end - r.cur) < length || std::memcmp (r.cur, word, length) != 0)
		return false;
	r.cur += length;
	return true;
}

} // namespace

void skipWhitespace (Reader& r)
{
	while (r.cur < r.end && isJsonWhitespace (*r.cur))
		++r.cur;
}

bool consumeChar (Reader& r, char c)
{
	skipWhitespace (r);
	if (r.cur < r.end && *r.cur == c)
	{
		++r.cur;
		return true;
	}
	return false;
}

bool parseString (Reader& r, std::string* out)
{
	skipWhitespace (r);
	if (r.cur >= r.end || *r.cur != '"')
		return false;
	const char* p = r.cur + 1;
	if (out)
		out->clear ();
	while (p < r.end)
	{
		const char c = *p++;
		if (c == '"')
		{
			r.cur = p;
			return true;
		}
		if (c != '\\')
		{
			if (out)
				out->push_back (c);
			continue;
		}
		if (p >= r.end)
			return false;
		const char e = *p++;
		char decoded = e;
		switch (e)
		{
			case 'b': decoded = '\b'; break;
			case 'f': decoded = '\f'; break;
			case 'n': decoded = '\n'; break;
			case 'r': decoded = '\r'; break;
			case 't': decoded = '\t'; break;
			case 'u':
				// Code points are not decoded here: up to four bytes are
				// consumed unchecked and stand for one "?".
				for (int k = 0; k < 4 && p < r.end; ++k)
					++p;
				decoded = '?';
				break;
			default: break;
		}
		if (out)
			out->push_back (decoded);
	}
	return false;
}

bool parseNumber (Reader& r, double* out)
{
	skipWhitespace (r);
	const char* spanEnd = r.cur;
	while (spanEnd < r.end && isCSpace (*spanEnd))
		++spanEnd;
	while (spanEnd < r.end && mayBeNumberByte (*spanEnd))
		++spanEnd;
	const size_t length = static_cast<size_t> (spanEnd - r.cur);
	if (length == 0)
		return false;

	char small[64];
	std::vector<char> large;
	char* text = small;
	if (length >= sizeof (small))
	{
		large.resize (length + 1);
		text = large.data ();
	}
	std::memcpy (text, r.cur, length);
	text[length] = 0;

	char* stop = nullptr;
	const double value = parseCNumber (text, &stop);
	const size_t consumed = static_cast<size_t> (stop - text);
	if (consumed == 0)
		return false;
	r.cur += consumed;
	if (out)
		*out = value;
	return true;
}

bool readNumberOrSkip (Reader& r, int depth, double& out, bool& isNumber)
{
	isNumber = false;
	skipWhitespace (r);
	if (r.cur < r.end)
	{
		const char c = *r.cur;
		const bool mayBeNumber =
			c != '"' && c != '{' && c != '[' && c != 't' && c != 'f' && c != ']' && c != '}' && c != ',';
		// "null" begins like "nan": only a successful conversion decides.
		Reader probe = r;
		if (mayBeNumber && parseNumber (probe, &out))
		{
			r = probe;
			isNumber = true;
			return true;
		}
	}
	return skipValue (r, depth);
}

bool readBool (Reader& r, bool& out)
{
	skipWhitespace (r);
	if (matchLiteral (r, "true"))
		out = true;
	else if (matchLiteral (r, "false"))
		out = false;
	else
		return false;
	return true;
}

bool skipValue (Reader& r, int depth)
{
	skipWhitespace (r);
	if (depth > JSON_MAX_DEPTH || r.cur >= r.end)
		return false;
	const char c = *r.cur;
	if (c == '"')
		return parseString (r, nullptr);
	if (c == '[')
		return readArray (r, [depth] (Reader& in) { return skipValue (in, depth + 1); });
	if (c == '{')
		return readObject (r, [depth] (const std::string&, Reader& in) { return skipValue (in, depth + 1); });
	bool flag = false;
	if (readBool (r, flag) || matchLiteral (r, "null"))
		return true;
	return parseNumber (r, nullptr);
}

} // namespace tavik
