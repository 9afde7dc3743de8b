// Tree reader: parses a whole JSON text into a JsonValue tree, with strict
// string escapes (RFC 8259, "\\u" decoded to UTF-8). Used for bank files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavik {

struct JsonValue
{
	enum class Kind : uint8_t
	{
		Null = 0,
		Boolean = 1,
		Number = 2,
		String = 3,
		Array = 4,
		Object = 5,
	};

	Kind kind = Kind::Null;
	bool boolean = false;
	double number = 0.0;
	std::string string;
	std::vector<JsonValue> items;
	std::map<std::string, JsonValue> members;

	/** The member `key` of an object, or null. */
	const JsonValue* find (const std::string& key) const;

	/** The text of member `key` when it is a string, else `fallback`. */
	std::string str (const std::string& key, const std::string& fallback) const;

	/** The value of member `key` when it is a finite number, else `fallback`. */
	double num (const std::string& key, double fallback) const;
};

/** Cursor over a private NUL-terminated copy of the text. */
class JsonReader
{
public:
	JsonReader (const char* first, const char* last) : cur (first), end (last) {}

	bool value (JsonValue& out, int depth);
	bool string (std::string& out);
	bool literal (const char* word);
	void skipWhitespace ();

	const char* cur;
	const char* end;
	// Each value costs a whole node, far more than its text: a caller reading
	// untrusted documents bounds the number of values (0 means unlimited).
	size_t valueLimit = 0;
	size_t valueCount = 0;
};

/** True when `bytes` holds exactly one valid value (whitespace around it is
 *  allowed) of at most `maxValues` values in all (0: no limit). */
bool parseJsonDocument (const std::vector<uint8_t>& bytes, JsonValue& out, size_t maxValues = 0);
bool parseJsonDocument (const char* text, size_t length, JsonValue& out, size_t maxValues = 0);

} // namespace tavik
