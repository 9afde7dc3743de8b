#include "ui_resource.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tavik {

std::string standardizePath (const std::string& path)
{
	const bool absolute = !path.empty () && path[0] == '/';
	std::vector<std::string> parts;
	size_t at = 0;
	while (at <= path.size ())
	{
		size_t end = path.find ('/', at);
		if (end == std::string::npos)
			end = path.size ();
		const std::string part = path.substr (at, end - at);
		if (part.empty () || part == ".")
		{
		}
		else if (part == "..")
		{
			if (!parts.empty () && parts.back () != "..")
				parts.pop_back ();
			else if (!absolute)
				parts.push_back (part);
			// Above the file system's root is the root itself.
		}
		else
			parts.push_back (part);
		at = end + 1;
	}
	std::string out = absolute ? "/" : "";
	for (size_t i = 0; i < parts.size (); ++i)
	{
		if (i > 0)
			out += '/';
		out += parts[i];
	}
	if (out.empty ())
		out = ".";
	return out;
}

bool resolveUiRequest (const std::string& root, const std::string& requestPath, std::string& file)
{
	file.clear ();
	if (root.empty () || requestPath.find ('\0') != std::string::npos)
		return false;
	const std::string base = standardizePath (root);
	const std::string request = requestPath.empty () || requestPath == "/" ? "/index.html" : requestPath;
	const std::string candidate = standardizePath (base + "/" + request);
	// Inside means the root, a separator and more: a sibling whose name
	// merely begins with the root's name is outside.
	const std::string prefix = base == "/" ? "/" : base + "/";
	if (candidate.size () <= prefix.size () || candidate.compare (0, prefix.size (), prefix) != 0)
		return false;
	file = candidate;
	return true;
}

const char* uiMimeType (const std::string& fileName)
{
	static const struct
	{
		const char* extension;
		const char* type;
	} table[] = {
		{"css", "text/css"},          {"gif", "image/gif"},        {"htm", "text/html"},
		{"html", "text/html"},        {"ico", "image/x-icon"},     {"jpeg", "image/jpeg"},
		{"jpg", "image/jpeg"},        {"js", "text/javascript"},   {"mjs", "text/javascript"},
		{"json", "application/json"}, {"map", "application/json"}, {"png", "image/png"},
		{"svg", "image/svg+xml"},     {"ttf", "font/ttf"},         {"txt", "text/plain"},
		{"wasm", "application/wasm"}, {"woff", "font/woff"},       {"woff2", "font/woff2"},
	};
	const size_t slash = fileName.rfind ('/');
	const std::string name = slash == std::string::npos ? fileName : fileName.substr (slash + 1);
	const size_t dot = name.rfind ('.');
	if (dot != std::string::npos && dot > 0)
	{
		std::string extension = name.substr (dot + 1);
		for (char& c : extension)
			c = static_cast<char> (std::tolower (static_cast<unsigned char> (c)));
		for (const auto& row : table)
			if (extension == row.extension)
				return row.type;
	}
	return "application/octet-stream";
}

uint64_t uiRootHash (const std::string& root)
{
	uint64_t hash = 0x14650FB0739D0383ull;
	for (const char c : root)
	{
		hash ^= static_cast<unsigned char> (c);
		hash *= 0x100000001B3ull;
	}
	return hash;
}

std::string uiStartUrl (const std::string& root)
{
	char url[64];
	std::snprintf (url, sizeof (url), "tavik-ui://bundle-%016llx/index.html",
	               static_cast<unsigned long long> (uiRootHash (root)));
	return url;
}

} // namespace tavik
