#include "tavik_processor.h"

#include "plugin_ids.h"

namespace tavik {

using namespace Steinberg;
using namespace Steinberg::Vst;

TavikProcessor::TavikProcessor () { setControllerClass (TavikControllerUID); }

FUnknown* TavikProcessor::createInstance (void*)
{
	return static_cast<IAudioProcessor*> (new TavikProcessor ());
}

tresult PLUGIN_API TavikProcessor::initialize (FUnknown* context)
{
	const tresult result = AudioEffect::initialize (context);
	if (result != kResultOk)
		return result;
	addAudioOutput (STR16 ("Stereo Out"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
	for (int32_t i = 0; i < EVENT_INPUT_COUNT; ++i)
		addEventInput (STR16 ("Event In"), 1, kMain, BusInfo::kDefaultActive);
	for (int32_t i = 0; i < EVENT_OUTPUT_COUNT; ++i)
		addEventOutput (STR16 ("Event Out"), 1, kMain, BusInfo::kDefaultActive);
	return kResultOk;
}

} // namespace tavik
