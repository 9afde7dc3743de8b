#include "redacted_url.h"

#include <cctype>

namespace tavik {

namespace {

bool isSlash (char c) { return c == '/' || c == '\\'; }

bool endsAuthority (char c) { return isSlash (c) || c == '?' || c == '#'; }

// Where the first authority starts: after "scheme:" and the slashes that
// follow it, however many (URL parsers accept one to three, and
// backslashes); at the start for text without both.
size_t authorityStart (const std::string& url)
{
	const auto inScheme = [&] (size_t i) {
		const unsigned char c = static_cast<unsigned char> (url[i]);
		return std::isalpha (c) || (i > 0 && (std::isdigit (c) || c == '+' || c == '-' || c == '.'));
	};
	size_t colon = 0;
	while (colon < url.size () && inScheme (colon))
		++colon;
	if (colon == 0 || colon >= url.size () || url[colon] != ':')
		return 0;
	size_t start = colon + 1;
	while (start < url.size () && isSlash (url[start]))
		++start;
	// "user:secret@host" has no scheme: its "user:" is part of the authority.
	return start > colon + 1 ? start : 0;
}

} // namespace

std::string redactedUrl (const std::string& url)
{
	std::string shown;
	size_t copied = 0;
	for (size_t start = authorityStart (url);;)
	{
		size_t end = start;
		while (end < url.size () && !endsAuthority (url[end]))
			++end;
		const size_t at = end > start ? url.rfind ('@', end - 1) : std::string::npos;
		if (at != std::string::npos && at >= start)
		{
			shown.append (url, copied, start - copied);
			shown += "***";
			copied = at;
		}
		// An address inside this one (a redirect's target in the query).
		const size_t next = url.find ("://", end);
		if (next == std::string::npos)
			break;
		start = next + 3;
	}
	shown.append (url, copied, std::string::npos);
	return shown;
}

} // namespace tavik
