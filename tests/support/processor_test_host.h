// A minimal host for driving TavikProcessor through its VST 3 interfaces.
#pragma once

#include "host_process_data.h"
#include "tavik_processor.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <vector>

namespace tavik::test {

/** The host's output parameter changes of one block: fixed storage, so that
 *  a plug-in writing into it allocates nothing. */
class OutputParameterChanges final : public Steinberg::Vst::IParameterChanges
{
public:
	static constexpr int QUEUES = 32;
	static constexpr int POINTS = 512;

	class Queue final : public Steinberg::Vst::IParamValueQueue
	{
	public:
		Steinberg::Vst::ParamID PLUGIN_API getParameterId () override { return id; }
		Steinberg::int32 PLUGIN_API getPointCount () override { return count; }
		Steinberg::tresult PLUGIN_API getPoint (Steinberg::int32 index, Steinberg::int32& sampleOffset,
		                                        Steinberg::Vst::ParamValue& value) override;
		Steinberg::tresult PLUGIN_API addPoint (Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
		                                        Steinberg::int32& index) override;
		Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID queried, void** obj) override;
		Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
		Steinberg::uint32 PLUGIN_API release () override { return 1; }

		Steinberg::Vst::ParamID id = 0;
		Steinberg::int32 count = 0;
		Steinberg::int32 offsets[POINTS] = {};
		Steinberg::Vst::ParamValue values[POINTS] = {};
	};

	void clear () { used = 0; }
	/** The queue of parameter `id`, or null when none was added. */
	Queue* find (Steinberg::Vst::ParamID id);

	Steinberg::int32 PLUGIN_API getParameterCount () override { return used; }
	Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData (Steinberg::int32 index) override;
	Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData (const Steinberg::Vst::ParamID& id,
	                                                               Steinberg::int32& index) override;
	// Owned by the test host, never by the plug-in.
	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID queried, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
	Steinberg::uint32 PLUGIN_API release () override { return 1; }

private:
	Queue queues[QUEUES];
	Steinberg::int32 used = 0;
};

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
	/** What the last block reported, kept until the next one starts. */
	OutputParameterChanges outputChanges;

private:
	TavikProcessor* object;
	std::vector<float*> pointers;
	Steinberg::Vst::AudioBusBuffers bus {};
	Steinberg::Vst::ProcessData data {};
	Steinberg::Vst::IAudioProcessor* audioProcessor = nullptr;
};

} // namespace tavik::test
