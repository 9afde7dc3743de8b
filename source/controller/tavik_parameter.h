// A host-visible parameter backed by one row of the parameter table.
#pragma once

#include "parameter_table.h"

#include "public.sdk/source/vst/vstparameters.h"

namespace tavik {

class TavikParameter : public Steinberg::Vst::Parameter
{
public:
	explicit TavikParameter (const tavik_param_desc& row);

	void toString (Steinberg::Vst::ParamValue normalized, Steinberg::Vst::String128 string) const override;
	bool fromString (const Steinberg::Vst::TChar* string, Steinberg::Vst::ParamValue& normalizedOut) const override;
	Steinberg::Vst::ParamValue toPlain (Steinberg::Vst::ParamValue normalized) const override;
	Steinberg::Vst::ParamValue toNormalized (Steinberg::Vst::ParamValue plain) const override;

	const tavik_param_desc& row () const { return desc; }

private:
	const tavik_param_desc& desc;
};

/** Widens ASCII text into a host string of 128 units (at most 127 copied). */
void asciiToString128 (const char* text, Steinberg::Vst::String128 out);

/** Narrows a host string (up to its terminator, at most 128 units) to bytes
 *  by keeping the low byte of each unit. */
std::string string128ToBytes (const Steinberg::Vst::TChar* text);

} // namespace tavik
