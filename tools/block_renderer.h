// Plays a render through a started plug-in in host-sized blocks: each
// block's parameter changes (told to the controller too) and note events go
// in, and the stereo output goes to the WAV file with the plug-in's latency
// dropped from the front, so that it lines up with the score.
#pragma once

#include "edit_forwarder.h"
#include "host_process_data.h"
#include "parameter_changes.h"
#include "plugin_instance.h"
#include "render_description.h"
#include "wav_output.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavik::tools {

class BlockRenderer
{
public:
	BlockRenderer (const PluginInstance& instance, const RenderDescription& description,
	               const std::vector<TimedChange>& parameterChanges, EditForwarder& controllerEdits);
	BlockRenderer (const BlockRenderer&) = delete;
	BlockRenderer& operator= (const BlockRenderer&) = delete;

	/** Renders the whole score into `wav`; returns the seconds it took. */
	double renderInto (WavOutput& wav);

private:
	// What the controller edited (a preset, say) reaches the processor at
	// the start of the next block, as a host forwards it.
	void queueControllerEdits ();
	void queueChanges (int64_t start, Steinberg::int32 n);
	void queueNotes (int64_t start, Steinberg::int32 n);
	void process (int64_t start, Steinberg::int32 n);

	const PluginInstance& plugin;
	const RenderDescription& render;
	const std::vector<TimedChange>& changes;
	EditForwarder& edits;
	const int64_t latency;
	std::vector<float> left, right;
	float* channels[2] = {};
	Steinberg::Vst::AudioBusBuffers output {};
	HostParameterChanges inChanges, outChanges;
	HostEventList inEvents, outEvents;
	Steinberg::Vst::ProcessContext context {};
	size_t nextChange = 0;
	size_t nextEvent = 0;
};

// The render plays the first event input into the first audio output, which
// must be stereo.
void requirePlayableBuses (Steinberg::Vst::IComponent* component);

} // namespace tavik::tools
