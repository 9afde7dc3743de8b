#include "tavik_parameter.h"

namespace tavik {

using namespace Steinberg;
using namespace Steinberg::Vst;

void asciiToString128 (const char* text, String128 out)
{
	int i = 0;
	if (text)
		for (; i < 127 && text[i]; ++i)
			out[i] = static_cast<TChar> (static_cast<unsigned char> (text[i]));
	out[i] = 0;
}

std::string string128ToBytes (const TChar* text)
{
	std::string bytes;
	if (text)
		for (int i = 0; i < 128 && text[i]; ++i)
			bytes.push_back (static_cast<char> (text[i] & 0xFF));
	return bytes;
}

TavikParameter::TavikParameter (const tavik_param_desc& row) : desc (row)
{
	info.id = row.id;
	asciiToString128 (row.name, info.title);
	asciiToString128 (row.name, info.shortTitle);
	asciiToString128 (row.unit, info.units);
	switch (row.kind)
	{
		case TAVIK_PARAM_LIST: info.stepCount = row.listCount - 1 < 1 ? 1 : row.listCount - 1; break;
		case TAVIK_PARAM_TOGGLE: info.stepCount = 1; break;
		default: info.stepCount = 0; break;
	}
	info.defaultNormalizedValue = row.defaultNormalized;
	info.unitId = kRootUnitId;
	info.flags = ParameterInfo::kCanAutomate;
	setNormalized (row.defaultNormalized);
}

void TavikParameter::toString (ParamValue normalized, String128 string) const
{
	asciiToString128 (tavik_param_to_string (&desc, normalized).c_str (), string);
}

bool TavikParameter::fromString (const TChar* string, ParamValue& normalizedOut) const
{
	const std::string text = string128ToBytes (string);
	return tavik_param_from_string (&desc, text.c_str (), normalizedOut);
}

ParamValue TavikParameter::toPlain (ParamValue normalized) const { return tavik_param_plain (&desc, normalized); }

ParamValue TavikParameter::toNormalized (ParamValue plain) const { return tavik_param_normalize (&desc, plain); }

} // namespace tavik
