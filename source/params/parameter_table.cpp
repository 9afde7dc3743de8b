#include "parameter_table.h"

#include "number_text.h"

#include <cmath>
#include <cstring>

namespace tavik {

namespace {

// Clamps with NaN treated as below the range, so a NaN never escapes into
// parameter values.
double clampSafe (double v, double lo, double hi)
{
	if (!(v >= lo))
		return lo;
	return v > hi ? hi : v;
}

} // namespace

int tavik_param_display_decimals (const tavik_param_desc* desc)
{
	// A host keeps a value as a 32-bit float normalized value; its finest
	// step over the row's range (2^-23 of the span, the spacing just below
	// 1.0) fixes how many decimals mean anything. One decimal fewer than
	// that step keeps the float's own rounding out of the text.
	const double span = std::fabs (desc->max - desc->min);
	if (!(span > 0))
		return 0;
	const double decimals = std::floor (-std::log10 (span * 0x1p-23));
	return decimals < 0 ? 0 : decimals > 12 ? 12 : static_cast<int> (decimals);
}

std::string tavik_param_display_number (double value, int decimals)
{
	double scale = 1;
	for (int i = 0; i < decimals; ++i)
		scale *= 10;
	// Rounded half away from zero, the way std::round and the editor page
	// round, as a whole count of the smallest decimal shown.
	const double scaled = std::round (value * scale);
	if (!std::isfinite (scaled) || std::fabs (scaled) >= 9007199254740992.0)
	{
		std::string text;
		appendShortestNumber (text, value);
		return text;
	}
	const long long units = static_cast<long long> (scaled);
	const unsigned long long magnitude = static_cast<unsigned long long> (units < 0 ? -units : units);
	const unsigned long long whole = magnitude / static_cast<unsigned long long> (scale);
	unsigned long long fraction = magnitude % static_cast<unsigned long long> (scale);
	std::string text = units < 0 ? "-" : "";
	text += std::to_string (whole);
	if (fraction != 0)
	{
		int digits = decimals;
		while (fraction % 10 == 0)
		{
			fraction /= 10;
			--digits;
		}
		const std::string tail = std::to_string (fraction);
		text += '.';
		text.append (static_cast<size_t> (digits) - tail.size (), '0');
		text += tail;
	}
	return text;
}

double tavik_param_normalize (const tavik_param_desc* desc, double plain)
{
	switch (desc->kind)
	{
		case TAVIK_PARAM_LIST:
			if (desc->listCount > 1)
			{
				const double last = static_cast<double> (desc->listCount - 1);
				return clampSafe (plain, 0.0, last) / last;
			}
			return 0.0;
		case TAVIK_PARAM_TOGGLE: return plain == 0.0 ? 0.0 : 1.0;
		default:
			if (desc->min == desc->max)
				return 0.0;
			return clampSafe ((plain - desc->min) / (desc->max - desc->min), 0.0, 1.0);
	}
}

double tavik_param_plain (const tavik_param_desc* desc, double normalized)
{
	switch (desc->kind)
	{
		case TAVIK_PARAM_LIST:
		{
			const double n = static_cast<double> (desc->listCount - 1);
			return clampSafe (std::floor (n * normalized + 0.5), 0.0, n < 0.0 ? 0.0 : n);
		}
		case TAVIK_PARAM_TOGGLE: return normalized >= 0.5 ? 1.0 : 0.0;
		default:
		{
			const double v01 = clampSafe (normalized, 0.0, 1.0);
			double v = desc->min + v01 * (desc->max - desc->min);
			if (desc->step != 0.0)
				v = desc->step * std::floor (v / desc->step + 0.5);
			return v;
		}
	}
}

std::string tavik_param_to_string (const tavik_param_desc* desc, double normalized)
{
	std::string text;
	switch (desc->kind)
	{
		case TAVIK_PARAM_LIST:
		{
			const double last = static_cast<double> (desc->listCount - 1);
			const double index = clampSafe (std::floor (last * normalized + 0.5), 0.0, last < 0.0 ? 0.0 : last);
			if (desc->listEntries)
			{
				if (index >= 0.0 && index < static_cast<double> (desc->listCount))
				{
					const char* entry = desc->listEntries[static_cast<int32_t> (index)];
					text = entry ? entry : "";
				}
			}
			else
				appendShortestNumber (text, index);
			return text;
		}
		case TAVIK_PARAM_TOGGLE: return normalized >= 0.5 ? "on" : "off";
		default:
			return tavik_param_display_number (tavik_param_plain (desc, normalized),
			                                   tavik_param_display_decimals (desc));
	}
}

bool tavik_param_from_string (const tavik_param_desc* desc, const char* text, double& normalizedOut)
{
	if (!text)
		return false;
	if (desc->kind == TAVIK_PARAM_TOGGLE)
	{
		if (std::strcmp (text, "on") == 0 || std::strcmp (text, "true") == 0)
		{
			normalizedOut = 1.0;
			return true;
		}
		if (std::strcmp (text, "off") == 0 || std::strcmp (text, "false") == 0)
		{
			normalizedOut = 0.0;
			return true;
		}
	}
	if (desc->kind == TAVIK_PARAM_LIST && desc->listEntries)
	{
		for (int32_t i = 0; i < desc->listCount; ++i)
		{
			const char* entry = desc->listEntries[i];
			if (std::strcmp (text, entry ? entry : "") == 0)
			{
				normalizedOut =
					desc->listCount == 1 ? 0.0 : static_cast<double> (i) / static_cast<double> (desc->listCount - 1);
				return true;
			}
		}
	}
	char* stop = nullptr;
	const double number = parseCNumber (text, &stop);
	// A text that reads as NaN names no value; refuse it rather than store it.
	if (stop == text || std::isnan (number))
		return false;
	normalizedOut = tavik_param_normalize (desc, number);
	return true;
}

const tavik_param_desc* tavik_param_find_path (const char* path)
{
	if (!path)
		return nullptr;
	for (const auto& row : TAVIK_PARAMS)
		if (std::strcmp (row.path, path) == 0)
			return &row;
	return nullptr;
}

const tavik_param_desc* tavik_param_find_path (const std::string& path)
{
	for (const auto& row : TAVIK_PARAMS)
		if (path == row.path)
			return &row;
	return nullptr;
}

const tavik_param_desc* tavik_param_find_id (uint32_t id)
{
	return id < TAVIK_PARAM_COUNT ? &TAVIK_PARAMS[id] : nullptr;
}

} // namespace tavik
