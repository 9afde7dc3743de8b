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
};

/** True when `bytes` holds exactly one valid value (whitespace around it is
 *  allowed). */
bool parseJsonDocument (const std::vector<uint8_t>& bytes, JsonValue& out);
bool parseJsonDocument (const char* text, size_t length, JsonValue& out);

} // namespace tavik
