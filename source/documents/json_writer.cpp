#include "json_writer.h"

#include "number_text.h"

#include <charconv>
#include <cmath>

namespace tavik {

void jsonAppendNumber (std::string& out, double value)
{
	if (!std::isfinite (value))
	{
		out += "null";
		return;
	}
	appendShortestNumber (out, value);
}

void jsonAppendQuoted (std::string& out, const char* text)
{
	out.push_back ('"');
	if (text)
	{
		for (const char* p = text; *p; ++p)
		{
			if (*p == '"' || *p == '\\')
				out.push_back ('\\');
			out.push_back (*p);
		}
	}
	out.push_back ('"');
}

void jsonAppendStrictQuoted (std::string& out, const char* text)
{
	static const char digits[] = "0123456789abcdef";
	out.push_back ('"');
	for (const char* p = text ? text : ""; *p; ++p)
	{
		const auto byte = static_cast<unsigned char> (*p);
		if (byte < 0x20)
		{
			out += "\\u00";
			out.push_back (digits[byte >> 4]);
			out.push_back (digits[byte & 15]);
			continue;
		}
		if (*p == '"' || *p == '\\')
			out.push_back ('\\');
		out.push_back (*p);
	}
	out.push_back ('"');
}

JsonMembers::JsonMembers (std::string& output, bool hasMembers) : out (output), first (!hasMembers) {}

JsonMembers JsonMembers::open (std::string& output)
{
	output.push_back ('{');
	return JsonMembers (output);
}

std::string& JsonMembers::member (const char* name)
{
	if (!first)
		out.push_back (',');
	first = false;
	jsonAppendQuoted (out, name);
	out.push_back (':');
	return out;
}

void JsonMembers::text (const char* name, const char* value) { jsonAppendQuoted (member (name), value); }

void JsonMembers::optionalText (const char* name, const char* value)
{
	if (value && *value)
		text (name, value);
}

void JsonMembers::number (const char* name, double value) { jsonAppendNumber (member (name), value); }

void JsonMembers::integer (const char* name, int64_t value)
{
	char digits[24];
	const std::to_chars_result end = std::to_chars (digits, digits + sizeof (digits), value);
	member (name).append (digits, end.ptr);
}

void JsonMembers::boolean (const char* name, bool value) { member (name) += value ? "true" : "false"; }

void JsonMembers::raw (const char* name, const char* json) { member (name) += json; }

JsonMembers JsonMembers::object (const char* name) { return open (member (name)); }

void JsonMembers::close () { out.push_back ('}'); }

} // namespace tavik
