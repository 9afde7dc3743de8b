#include "public.sdk/source/vst/vstaudioeffect.h"

namespace Steinberg {
namespace Vst {

AudioEffect::AudioEffect ()
{
	processSetup.maxSamplesPerBlock = 1024;
	processSetup.processMode = kRealtime;
	processSetup.sampleRate = 44100.0;
	processSetup.symbolicSampleSize = kSample32;
}

namespace {

// Creates a bus, hands it to the list (which owns it) and returns it.
template <typename BusT, typename Shape>
BusT* appendBus (BusList& list, const TChar* name, BusType busType, int32 flags, Shape shape)
{
	auto* bus = new BusT (name, busType, flags, shape);
	list.push_back (IPtr<Vst::Bus> (bus, false));
	return bus;
}

} // namespace

AudioBus* AudioEffect::addAudioInput (const TChar* name, SpeakerArrangement arr, BusType busType, int32 flags)
{
	return appendBus<AudioBus> (audioInputs, name, busType, flags, arr);
}

AudioBus* AudioEffect::addAudioOutput (const TChar* name, SpeakerArrangement arr, BusType busType, int32 flags)
{
	return appendBus<AudioBus> (audioOutputs, name, busType, flags, arr);
}

EventBus* AudioEffect::addEventInput (const TChar* name, int32 channels, BusType busType, int32 flags)
{
	return appendBus<EventBus> (eventInputs, name, busType, flags, channels);
}

EventBus* AudioEffect::addEventOutput (const TChar* name, int32 channels, BusType busType, int32 flags)
{
	return appendBus<EventBus> (eventOutputs, name, busType, flags, channels);
}

namespace {

template <typename BusT>
BusT* busAt (BusList& list, int32 index)
{
	if (index < 0 || index >= static_cast<int32> (list.size ()))
		return nullptr;
	return FCast<BusT> (list.at (static_cast<size_t> (index)).get ());
}

} // namespace

AudioBus* AudioEffect::getAudioInput (int32 index) { return busAt<AudioBus> (audioInputs, index); }
AudioBus* AudioEffect::getAudioOutput (int32 index) { return busAt<AudioBus> (audioOutputs, index); }
EventBus* AudioEffect::getEventInput (int32 index) { return busAt<EventBus> (eventInputs, index); }
EventBus* AudioEffect::getEventOutput (int32 index) { return busAt<EventBus> (eventOutputs, index); }

tresult PLUGIN_API AudioEffect::setBusArrangements (SpeakerArrangement* inputs, int32 numIns,
                                                    SpeakerArrangement* outputs, int32 numOuts)
{
	if (numIns < 0 || numOuts < 0)
		return kInvalidArgument;
	if (numIns > static_cast<int32> (audioInputs.size ()) || numOuts > static_cast<int32> (audioOutputs.size ()))
		return kResultFalse;
	if ((numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
		return kInvalidArgument;
	for (int32 i = 0; i < numIns; ++i)
		if (AudioBus* bus = getAudioInput (i))
			bus->setArrangement (inputs[i]);
	for (int32 i = 0; i < numOuts; ++i)
		if (AudioBus* bus = getAudioOutput (i))
			bus->setArrangement (outputs[i]);
	return kResultTrue;
}

tresult PLUGIN_API AudioEffect::getBusArrangement (BusDirection dir, int32 index, SpeakerArrangement& arr)
{
	AudioBus* bus = dir == kInput ? getAudioInput (index) : getAudioOutput (index);
	if (!bus)
		return kInvalidArgument;
	arr = bus->getArrangement ();
	return kResultTrue;
}

tresult PLUGIN_API AudioEffect::canProcessSampleSize (int32 symbolicSampleSize)
{
	return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API AudioEffect::setupProcessing (ProcessSetup& setup)
{
	if (canProcessSampleSize (setup.symbolicSampleSize) != kResultTrue)
		return kResultFalse;
	processSetup = setup;
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
