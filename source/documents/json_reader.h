// Document reader: a forward-only cursor over JSON text from which the
// schema-directed document parsers are written. No tree is built; the reader
// never owns the text and never reads at or past `end`.
#pragma once

#include <string>

namespace tavik {

struct Reader
{
	const char* cur;
	const char* end;
};

/** Deepest nesting level `skipValue` accepts. */
constexpr int JSON_MAX_DEPTH = 32;

/** Skips the four JSON whitespace bytes (space, tab, line feed, return). */
void skipWhitespace (Reader& r);

/** Skips whitespace, then consumes `c` if it is next. */
bool consumeChar (Reader& r, char c);

/** Reads one string (lenient escapes, "\\u" gives "?"); with a null output
 *  it only skips it. */
bool parseString (Reader& r, std::string* out);

/** Reads one number by strtod rules, bounded by `end`; with a null output it
 *  only skips it. */
bool parseNumber (Reader& r, double* out);

/** Reads the value at the cursor as a number when it is one (`isNumber`
 *  true) and skips it at `depth` otherwise. False only on a syntax error. */
bool readNumberOrSkip (Reader& r, int depth, double& out, bool& isNumber);

/** Skips one value of any kind; `depth` is the nesting level of that value
 *  and skipping fails beyond JSON_MAX_DEPTH. */
bool skipValue (Reader& r, int depth);

/** The object member loop shared by every document parser. For each member
 *  `onMember(key, reader)` must read or skip the value and return whether
 *  that worked. Fails on anything that is not one well-formed object. */
template <typename OnMember>
bool readObject (Reader& r, OnMember&& onMember)
{
	if (!consumeChar (r, '{'))
		return false;
	if (consumeChar (r, '}'))
		return true;
	std::string key;
	for (;;)
	{
		if (!parseString (r, &key))
			return false;
		if (!consumeChar (r, ':'))
			return false;
		skipWhitespace (r);
		if (!onMember (static_cast<const std::string&> (key), r))
			return false;
		skipWhitespace (r);
		if (r.cur >= r.end)
			return false;
		const char c = *r.cur++;
		if (c == '}')
			return true;
		if (c != ',')
			return false;
	}
}

} // namespace tavik
