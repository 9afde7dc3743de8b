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

/** What a class must offer for a PluginInstance of it to be created. A host
 *  that plays the class needs both; one that only looks at it takes
 *  whatever the class has. */
struct InstanceRequirements
{
	bool audioProcessor = true; // the component processes audio
	bool controller = true;     // it has an edit controller (one it names must load either way)
};

/** The step at which creating a PluginInstance failed. what() names the
 *  class; a tool with its own wording words the step instead. */
class InstanceSetupError : public HostError
{
public:
	enum Step
	{
		CREATE_COMPONENT,
		INITIALISE_COMPONENT,
		NOT_AUDIO_PROCESSOR,
		CREATE_CONTROLLER,
		INITIALISE_CONTROLLER,
	};

	InstanceSetupError (Step failedStep, const std::string& message, const Steinberg::TUID controllerCid);

	Step step () const { return failed; }
	/** The controller class the component named (zero if it named none). */
	const Steinberg::TUID& controllerClassId () const { return controller; }

private:
	Step failed;
	Steinberg::TUID controller {};
};

class PluginInstance
{
public:
	/** Creates and initialises the processor class `classInfo` and its
	 *  controller, connects them and hands the controller the processor's
	 *  state. Throws InstanceSetupError. */
	PluginInstance (Steinberg::IPluginFactory* factory, const Steinberg::PClassInfo& classInfo,
	                Steinberg::FUnknown* hostContext, const InstanceRequirements& requirements = {});
	~PluginInstance ();
	PluginInstance (const PluginInstance&) = delete;
	PluginInstance& operator= (const PluginInstance&) = delete;

	/** setupProcessing, bus activation, setActive(true), setProcessing(true).
	 *  Throws HostError. */
	void start (double sampleRate, int maxBlock, Steinberg::int32 processMode);

	/** Hands a saved state to the processor (setState) and, when it took
	 *  it, to the controller (setComponentState), as a host restoring a
	 *  project does. False when the processor refused it. */
	bool restoreState (const std::string& bytes);
	/** Hands the controller its own saved state (setState), as a host
	 *  restoring a project does. False when the controller refused it. */
	bool restoreControllerState (const std::string& bytes);
	/** The processor's state (getState). Throws HostError when it fails. */
	std::string saveState () const;

	Steinberg::Vst::IComponent* component () const { return componentPtr; }
	/** Null only when the requirements let a component without it through. */
	Steinberg::Vst::IAudioProcessor* processor () const { return processorPtr; }
	/** Null only when the requirements let a class without one through. */
	Steinberg::Vst::IEditController* controller () const { return controllerPtr; }

	/** Whether the controller is an object of its own rather than the
	 *  component itself. */
	bool hasSeparateController () const { return separateController; }
	/** The separate controller's class id. */
	const Steinberg::TUID& controllerClassId () const { return controllerCid; }

private:
	void createController (Steinberg::IPluginFactory* factory, Steinberg::FUnknown* hostContext,
	                       const std::string& name, bool required);
	[[noreturn]] void fail (InstanceSetupError::Step step, const std::string& message);
	void stop ();
	void shutdown ();

	Steinberg::TUID controllerCid {};
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
