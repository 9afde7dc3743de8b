// Pad overrides: the reader, and the writer on what it read.
#include "sampler_pad_overrides.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	tavik::SamplerPadOverrides pads;
	if (!tavik::parseSamplerPadOverridesJson (reinterpret_cast<const char*> (data), size, pads))
		return 0;
	std::string text;
	tavik::writeSamplerPadOverridesJson (text, pads);
	tavik::SamplerPadOverrides back;
	if (!tavik::parseSamplerPadOverridesJson (text.data (), text.size (), back))
		std::abort ();
	return 0;
}
