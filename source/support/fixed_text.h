// Fixed-size text fields of plain records: filling them with truncation and
// reading them back when a terminator may be missing.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace tavik {

/** Copies at most N − 1 bytes of `text` (null reads as empty) and a terminator. */
template <size_t N>
void copyFixedText (char (&field)[N], const char* text)
{
	size_t n = 0;
	if (text)
		while (n + 1 < N && text[n])
			++n;
	if (n)
		std::memcpy (field, text, n);
	field[n] = 0;
}

/** The text of a field, up to its terminator or its end. */
template <size_t N>
std::string fixedText (const char (&field)[N])
{
	size_t n = 0;
	while (n < N && field[n])
		++n;
	return std::string (field, n);
}

} // namespace tavik
