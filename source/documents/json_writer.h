// JSON writers: scalar values, and the members of objects. Documents are
// written by appending punctuation, members and nested documents around
// these.
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

/** Appends a number: "null" when not finite, else the shortest text that
 *  reads back exactly (see appendShortestNumber). */
void jsonAppendNumber (std::string& out, double value);

/** Appends a quoted string: the bytes up to the NUL terminator, with a
 *  backslash before every double quote and backslash and nothing else
 *  changed. A null text is written as "". */
void jsonAppendQuoted (std::string& out, const char* text);

/** The same, but control bytes (below 0x20) are written as \u00XX escapes:
 *  for texts from outside that go to a strict JSON reader such as the
 *  editor page. */
void jsonAppendStrictQuoted (std::string& out, const char* text);

/** Appends the members of one object as "name":value, with a comma before
 *  every member but the first. Names are written as jsonAppendQuoted
 *  writes text. Nothing is allocated beyond the output's own growth. */
class JsonMembers
{
public:
	/** Members of an object whose "{" is already written; `hasMembers` when
	 *  members were written before, so the first one here needs a comma. */
	explicit JsonMembers (std::string& output, bool hasMembers = false);

	/** Appends "{" and returns the writer of that object's members. */
	static JsonMembers open (std::string& output);

	/** Starts a member and returns the output, for the caller to append its
	 *  value (a nested document, an array). */
	std::string& member (const char* name);

	/** A quoted text (null is written as ""). */
	void text (const char* name, const char* value);

	/** A quoted text, left out when it is null or empty. */
	void optionalText (const char* name, const char* value);

	/** A number as jsonAppendNumber writes it (so large integral values may
	 *  take exponent form). */
	void number (const char* name, double value);

	/** An integer in plain decimal digits. */
	void integer (const char* name, int64_t value);

	void boolean (const char* name, bool value);

	/** JSON text (never null) appended as it is. */
	void raw (const char* name, const char* json);

	/** Starts a member whose value is an object and returns the writer of
	 *  its members; that writer's close () ends it. */
	JsonMembers object (const char* name);

	/** Appends the "}" that ends the object. */
	void close ();

	/** True while no member has been written. */
	bool empty () const { return first; }

private:
	std::string& out;
	bool first;
};

} // namespace tavik
