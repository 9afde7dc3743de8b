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

/** Reads the literal `true` or `false` at the cursor into `out`. Any other
 *  value is left unread (only the whitespace before it is skipped) and `out`
 *  keeps its value, so the caller chooses: `readBool (r, v) || skipValue (r,
 *  depth)` keeps a default for other values, `if (!readBool (r, v))` fails.
 *  As in skipValue only the literal's bytes are compared: "truex" reads true
 *  and leaves the x to the caller. */
bool readBool (Reader& r, bool& out);

/** The comma-separated loop of objects and arrays: `open`, then items read
 *  by `onItem(reader)` (the cursor past any whitespace) up to `close`. Fails
 *  on a missing bracket, a failed item, or anything but a comma or `close`
 *  after an item, which is then left unread. Empty lists are accepted, a
 *  trailing comma is not. */
template <typename OnItem>
bool readList (Reader& r, char open, char close, OnItem&& onItem)
{
	if (!consumeChar (r, open))
		return false;
	if (consumeChar (r, close))
		return true;
	for (;;)
	{
		skipWhitespace (r);
		if (!onItem (r))
			return false;
		skipWhitespace (r);
		if (r.cur >= r.end)
			return false;
		if (*r.cur == close)
		{
			++r.cur;
			return true;
		}
		if (*r.cur != ',')
			return false;
		++r.cur;
	}
}

/** The object member loop shared by every document parser. For each member
 *  `onMember(key, reader)` must read or skip the value and return whether
 *  that worked. Fails on anything that is not one well-formed object. */
template <typename OnMember>
bool readObject (Reader& r, OnMember&& onMember)
{
	std::string key;
	return readList (r, '{', '}', [&key, &onMember] (Reader& in) -> bool {
		if (!parseString (in, &key) || !consumeChar (in, ':'))
			return false;
		skipWhitespace (in);
		return onMember (static_cast<const std::string&> (key), in);
	});
}

/** The array element loop: for each element `onItem(reader)` must read or
 *  skip it and return whether that worked. Fails on anything that is not
 *  one well-formed array. Like readObject it knows no depth: elements that
 *  are skipped go through skipValue at the depth the caller gives. */
template <typename OnItem>
bool readArray (Reader& r, OnItem&& onItem)
{
	return readList (r, '[', ']', onItem);
}

} // namespace tavik
