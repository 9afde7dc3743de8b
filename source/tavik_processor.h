// The plug-in's audio processor component.
#pragma once

#include "public.sdk/source/vst/vstaudioeffect.h"

#include <cstdint>

namespace tavik {

class TavikProcessor : public Steinberg::Vst::AudioEffect
{
public:
	TavikProcessor ();

	/** Factory entry: a new processor as its IAudioProcessor facet. */
	static Steinberg::FUnknown* createInstance (void* context);

	Steinberg::tresult PLUGIN_API initialize (Steinberg::FUnknown* context) override;

	/** Event inputs and outputs the engine routes (one input, no output). */
	static constexpr int32_t EVENT_INPUT_COUNT = 1;
	static constexpr int32_t EVENT_OUTPUT_COUNT = 0;
};

} // namespace tavik
