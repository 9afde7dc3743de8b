#include "hosted_url_check.h"

#include <cstddef>

namespace tavik {

namespace {

// The longest scheme the download's parser takes for one.
constexpr size_t MAX_SCHEME = 40;

bool isAlnum (char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool isSchemeChar (char c) { return isAlnum (c) || c == '+' || c == '-' || c == '.'; }

char lower (char c) { return c >= 'A' && c <= 'Z' ? static_cast<char> (c - 'A' + 'a') : c; }

// Printable ASCII that needs no escaping anywhere in an address.
bool isPlainChar (char c)
{
	if (c <= ' ' || c >= 0x7F)
		return false;
	for (const char odd : {'"', '<', '>', '\\', '^', '`', '{', '|', '}'})
		if (c == odd)
			return false;
	return true;
}

bool isUserChar (char c)
{
	if (isAlnum (c))
		return true;
	for (const char ok : {'-', '.', '_', '~', '!', '$', '&', '\'', '(', ')', '*', '+', ',', ';', '=', ':'})
		if (c == ok)
			return true;
	return false;
}

// "//[user@]host[:port]" followed by nothing or by "/", "?" or "#" and
// plain characters: an address no parser reads otherwise. A host is a name
// of letters, digits, dots and hyphens or a bracketed IPv6 address.
bool isPlainlyWritten (const std::string& url, size_t at)
{
	if (url.compare (at, 2, "//") != 0)
		return false;
	at += 2;
	const size_t end = url.find_first_of ("/?#", at);
	std::string authority = url.substr (at, end == std::string::npos ? std::string::npos : end - at);
	if (end != std::string::npos)
		for (size_t i = end; i < url.size (); ++i)
			if (!isPlainChar (url[i]))
				return false;
	const size_t user = authority.rfind ('@');
	if (user != std::string::npos)
	{
		if (user == 0)
			return false;
		for (size_t i = 0; i < user; ++i)
			if (!isUserChar (authority[i]))
				return false;
		authority.erase (0, user + 1);
	}
	std::string host = authority;
	std::string port;
	if (!authority.empty () && authority[0] == '[')
	{
		const size_t close = authority.find (']');
		if (close == std::string::npos || close == 1)
			return false;
		for (size_t i = 1; i < close; ++i)
			if (!(isAlnum (authority[i]) && lower (authority[i]) <= 'f') && authority[i] != ':' && authority[i] != '.')
				return false;
		host = authority.substr (0, close + 1);
		if (close + 1 < authority.size ())
		{
			if (authority[close + 1] != ':')
				return false;
			port = authority.substr (close + 2);
			if (port.empty ())
				return false;
		}
	}
	else
	{
		const size_t colon = authority.find (':');
		if (colon != std::string::npos)
		{
			host = authority.substr (0, colon);
			port = authority.substr (colon + 1);
			if (port.empty ())
				return false;
		}
		if (host.empty ())
			return false;
		for (const char c : host)
			if (!isAlnum (c) && c != '.' && c != '-')
				return false;
	}
	if (port.size () > 5)
		return false;
	long number = 0;
	for (const char c : port)
	{
		if (c < '0' || c > '9')
			return false;
		number = number * 10 + (c - '0');
	}
	return number <= 65535;
}

} // namespace

HostedUrlLook lookAtHostedUrl (const std::string& url)
{
	size_t length = 0;
	while (length < url.size () && length <= MAX_SCHEME && isSchemeChar (url[length]))
		++length;
	if (length == 0 || length > MAX_SCHEME || length >= url.size () || url[length] != ':')
		return HostedUrlLook::NotAUrl;
	std::string scheme;
	for (size_t i = 0; i < length; ++i)
		scheme.push_back (lower (url[i]));
	const size_t rest = length + 1;
	// Past the scheme every address but a file's goes on with a slash, and
	// none ends at its "//".
	if (rest == url.size () || url.compare (rest, std::string::npos, "//") == 0 ||
	    (scheme != "file" && url[rest] != '/'))
		return HostedUrlLook::NotAUrl;
	if (scheme == "https")
		return HostedUrlLook::ForTheDownload;
	return isPlainlyWritten (url, rest) ? HostedUrlLook::NotHttps : HostedUrlLook::ForTheDownload;
}

} // namespace tavik
