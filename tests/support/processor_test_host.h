// A minimal host for driving TavikProcessor through its VST 3 interfaces.
#pragma once

#include "host_process_data.h"
#include "tavik_processor.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <vector>

namespace tavik::test {

class ProcessorHost
{
public:
	/** A processor initialised with `context` (a host application lets it
	 *  make messages for a connected peer). */
	explicit ProcessorHost (Steinberg::FUnknown* context = nullptr);
	~ProcessorHost ();

	/** setupProcessing + setActive(true); false when either refused. */
	bool start (double rate, int maxBlock);

	/** One process call of `frames` frames with whatever was queued. */
	Steinberg::tresult process (int frames, int channels = 2);

	/** The two halves of process(): buffers and process data, then the call
	 *  into the plug-in alone (and the clean-up after it). */
	void prepare (int frames, int channels = 2);
	Steinberg::tresult runPrepared ();

	void addParameterPoint (Steinberg::Vst::ParamID id, int offset, double value);
	void addNoteOn (int pitch, float velocity, int offset, int channel = 0);
	void addNoteOff (int pitch, int offset, int channel = 0);

	TavikProcessor& processor () { return *object; }
	Steinberg::Vst::IAudioProcessor* audio () { return audioProcessor; }

	std::vector<std::vector<float>> output;
	Steinberg::uint64 silenceFlags = 0;

	tools::HostParameterChanges changes;
	tools::HostEventList events;

private:
	TavikProcessor* object;
	std::vector<float*> pointers;
	Steinberg::Vst::AudioBusBuffers bus {};
	Steinberg::Vst::ProcessData data {};
	Steinberg::Vst::IAudioProcessor* audioProcessor = nullptr;
};

} // namespace tavik::test
