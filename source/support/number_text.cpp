#include "number_text.h"

#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace tavik {

namespace {

locale_t cLocale ()
{
	static const locale_t locale = newlocale (LC_ALL_MASK, "C", static_cast<locale_t> (nullptr));
	return locale;
}

} // namespace

double parseCNumber (const char* text, char** endOut)
{
	const locale_t locale = cLocale ();
	if (locale == static_cast<locale_t> (nullptr))
		return std::strtod (text, endOut);
	return strtod_l (text, endOut, locale);
}

void appendG17Number (std::string& out, double value)
{
	// The calling thread switches to the C locale for this one call only.
	const locale_t locale = cLocale ();
	const locale_t previous = locale != static_cast<locale_t> (nullptr) ? uselocale (locale) : nullptr;
	char text[40];
	const int length = std::snprintf (text, sizeof text, "%.17g", value);
	if (previous)
		uselocale (previous);
	if (length > 0)
		out.append (text, static_cast<size_t> (length) < sizeof text ? static_cast<size_t> (length) : sizeof text - 1);
}

void appendShortestNumber (std::string& out, double value)
{
	// Shortest round-trip digits in scientific form: [-]d[.ddd]e(+|-)xx
	char sci[40];
	const auto result = std::to_chars (sci, sci + sizeof (sci), value, std::chars_format::scientific);
	const char* p = sci;
	const char* const stop = result.ptr;

	const bool negative = *p == '-';
	if (negative)
		++p;
	char digits[24];
	int digitCount = 0;
	while (p < stop && *p != 'e')
	{
		if (*p != '.')
			digits[digitCount++] = *p;
		++p;
	}
	int exponent = 0;
	if (p < stop)
	{
		++p; // 'e'
		const bool negativeExponent = *p == '-';
		++p; // sign
		for (; p < stop; ++p)
			exponent = exponent * 10 + (*p - '0');
		if (negativeExponent)
			exponent = -exponent;
	}

	// Plain notation.
	std::string plain;
	if (exponent >= 0)
	{
		const int integerDigits = exponent + 1;
		if (digitCount <= integerDigits)
		{
			plain.append (digits, static_cast<size_t> (digitCount));
			plain.append (static_cast<size_t> (integerDigits - digitCount), '0');
		}
		else
		{
			plain.append (digits, static_cast<size_t> (integerDigits));
			plain.push_back ('.');
			plain.append (digits + integerDigits, static_cast<size_t> (digitCount - integerDigits));
		}
	}
	else
	{
		plain = "0.";
		plain.append (static_cast<size_t> (-exponent - 1), '0');
		plain.append (digits, static_cast<size_t> (digitCount));
	}

	// Exponent notation, as printf's %e writes these digits.
	std::string scientific;
	scientific.push_back (digits[0]);
	if (digitCount > 1)
	{
		scientific.push_back ('.');
		scientific.append (digits + 1, static_cast<size_t> (digitCount - 1));
	}
	scientific.push_back ('e');
	scientific.push_back (exponent < 0 ? '-' : '+');
	const int magnitude = exponent < 0 ? -exponent : exponent;
	if (magnitude < 10)
		scientific.push_back ('0');
	scientific += std::to_string (magnitude);

	if (negative)
		out.push_back ('-');
	out += plain.size () <= scientific.size () ? plain : scientific;
}

} // namespace tavik
