#include "json_writer.h"

#include "number_text.h"

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

} // namespace tavik
