// One plug-in instance as a host runs it: the processor component and its
// edit controller, created from a module's factory, initialised, connected,
// set up for processing and activated; undone in reverse order.
#pragma once

#include "hosted_module.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"

#include <string>

namespace tavik::tools {

class PluginInstance
{
public:
	/** Creates and initialises the processor class `classInfo` and its
	 *  controller. Throws HostError. */
	PluginInstance (Steinberg::IPluginFactory* factory, const Steinberg::PClassInfo& classInfo,
	                Steinberg::FUnknown* hostContext);
	~PluginInstance ();
	PluginInstance (const PluginInstance&) = delete;
	PluginInstance& operator= (const PluginInstance&) = delete;

	/** setupProcessing, bus activation, setActive(true), setProcessing(true).
	 *  Throws HostError. */
	void start (double sampleRate, int maxBlock, Steinberg::int32 processMode);

	Steinberg::Vst::IComponent* component () const { return componentPtr; }
	Steinberg::Vst::IAudioProcessor* processor () const { return processorPtr; }
	Steinberg::Vst::IEditController* controller () const { return controllerPtr; }

	/** The processor's class id. */
	const Steinberg::TUID& classId () const { return cid; }

private:
	void stop ();
	void shutdown ();

	Steinberg::TUID cid {};
	Steinberg::IPtr<Steinberg::Vst::IComponent> componentPtr;
	Steinberg::IPtr<Steinberg::Vst::IAudioProcessor> processorPtr;
	Steinberg::IPtr<Steinberg::Vst::IEditController> controllerPtr;
	Steinberg::IPtr<Steinberg::Vst::IConnectionPoint> componentPoint;
	Steinberg::IPtr<Steinberg::Vst::IConnectionPoint> controllerPoint;
	bool separateController = false;
	bool componentInitialised = false;
	bool controllerInitialised = false;
	bool active = false;
	bool processing = false;
};

} // namespace tavik::tools
