#include "plugin_instance.h"

#include "fixed_text.h"

#include "public.sdk/source/common/memorystream.h"

#include <cstring>

namespace tavik::tools {

using namespace Steinberg;
using namespace Steinberg::Vst;

InstanceSetupError::InstanceSetupError (Step failedStep, const std::string& message, const TUID controllerCid)
	: HostError (message), failed (failedStep)
{
	std::memcpy (controller, controllerCid, sizeof (TUID));
}

PluginInstance::PluginInstance (IPluginFactory* factory, const PClassInfo& classInfo, FUnknown* hostContext,
                                const InstanceRequirements& requirements)
{
	const std::string name = tavik::fixedText (classInfo.name);
	void* object = nullptr;
	if (factory->createInstance (classInfo.cid, IComponent::iid, &object) != kResultOk || !object)
		fail (InstanceSetupError::CREATE_COMPONENT, "cannot create the processor \"" + name + "\"");
	componentPtr = owned (static_cast<IComponent*> (object));
	if (componentPtr->initialize (hostContext) != kResultOk)
		fail (InstanceSetupError::INITIALISE_COMPONENT, "the processor \"" + name + "\" failed to initialise");
	componentInitialised = true;

	if (FUnknownPtr<IAudioProcessor> processor (componentPtr); processor)
		processorPtr = processor;
	else if (requirements.audioProcessor)
		fail (InstanceSetupError::NOT_AUDIO_PROCESSOR, "\"" + name + "\" is not an audio processor");

	if (FUnknownPtr<IEditController> single (componentPtr); single)
		controllerPtr = single;
	else
		createController (factory, hostContext, name, requirements.controller);
}

void PluginInstance::createController (IPluginFactory* factory, FUnknown* hostContext, const std::string& name,
                                       bool required)
{
	const std::string cannotCreate = "cannot create the edit controller of \"" + name + "\"";
	TUID named {};
	if (componentPtr->getControllerClassId (named) != kResultOk)
	{
		if (required)
			fail (InstanceSetupError::CREATE_CONTROLLER, cannotCreate);
		return;
	}
	std::memcpy (controllerCid, named, sizeof (TUID));
	void* object = nullptr;
	if (factory->createInstance (controllerCid, IEditController::iid, &object) != kResultOk || !object)
		fail (InstanceSetupError::CREATE_CONTROLLER, cannotCreate);
	controllerPtr = owned (static_cast<IEditController*> (object));
	separateController = true;
	if (controllerPtr->initialize (hostContext) != kResultOk)
		fail (InstanceSetupError::INITIALISE_CONTROLLER,
		      "the edit controller of \"" + name + "\" failed to initialise");
	controllerInitialised = true;
	FUnknownPtr<IConnectionPoint> a (componentPtr);
	FUnknownPtr<IConnectionPoint> b (controllerPtr);
	if (a && b)
	{
		componentPoint = a;
		controllerPoint = b;
		componentPoint->connect (controllerPoint);
		controllerPoint->connect (componentPoint);
	}
	// The controller learns the processor's state, as after a project load.
	auto* stream = new MemoryStream ();
	if (componentPtr->getState (stream) == kResultOk)
	{
		int64 position = 0;
		stream->seek (0, IBStream::kIBSeekSet, &position);
		controllerPtr->setComponentState (stream);
	}
	stream->release ();
}

bool PluginInstance::restoreState (const std::string& bytes)
{
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	int32 written = 0;
	stream->write (const_cast<char*> (bytes.data ()), static_cast<int32> (bytes.size ()), &written);
	int64 position = 0;
	stream->seek (0, IBStream::kIBSeekSet, &position);
	if (componentPtr->setState (stream) != kResultOk)
		return false;
	if (controllerPtr && separateController)
	{
		stream->seek (0, IBStream::kIBSeekSet, &position);
		controllerPtr->setComponentState (stream);
	}
	return true;
}

bool PluginInstance::restoreControllerState (const std::string& bytes)
{
	if (!controllerPtr)
		return false;
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	int32 written = 0;
	stream->write (const_cast<char*> (bytes.data ()), static_cast<int32> (bytes.size ()), &written);
	int64 position = 0;
	stream->seek (0, IBStream::kIBSeekSet, &position);
	return controllerPtr->setState (stream) == kResultOk;
}

std::string PluginInstance::saveState () const
{
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	if (componentPtr->getState (stream) != kResultOk)
		throw HostError ("the plug-in could not save its state");
	return std::string (stream->getData (), static_cast<size_t> (stream->getSize ()));
}

void PluginInstance::fail (InstanceSetupError::Step step, const std::string& message)
{
	shutdown ();
	throw InstanceSetupError (step, message, controllerCid);
}

PluginInstance::~PluginInstance () { shutdown (); }

void PluginInstance::start (double sampleRate, int maxBlock, int32 processMode)
{
	ProcessSetup setup {};
	setup.processMode = processMode;
	setup.symbolicSampleSize = kSample32;
	setup.maxSamplesPerBlock = maxBlock;
	setup.sampleRate = sampleRate;
	if (processorPtr->canProcessSampleSize (kSample32) != kResultOk)
		throw HostError ("the plug-in cannot process 32-bit float samples");
	if (processorPtr->setupProcessing (setup) != kResultOk)
		throw HostError ("the plug-in refused the processing setup (" + std::to_string (sampleRate) + " Hz, " +
		                 std::to_string (maxBlock) + "-frame blocks)");
	for (const MediaType type : {kAudio, kEvent})
		for (const BusDirection dir : {kInput, kOutput})
		{
			const int32 count = componentPtr->getBusCount (type, dir);
			for (int32 i = 0; i < count; ++i)
				componentPtr->activateBus (type, dir, i, true);
		}
	if (componentPtr->setActive (true) != kResultOk)
		throw HostError ("the plug-in could not be activated");
	active = true;
	const tresult result = processorPtr->setProcessing (true);
	processing = result == kResultOk;
	if (result != kResultOk && result != kNotImplemented)
		throw HostError ("the plug-in refused to start processing");
}

void PluginInstance::stop ()
{
	if (processing)
		processorPtr->setProcessing (false);
	processing = false;
	if (active)
		componentPtr->setActive (false);
	active = false;
}

void PluginInstance::shutdown ()
{
	stop ();
	if (componentPoint && controllerPoint)
	{
		componentPoint->disconnect (controllerPoint);
		controllerPoint->disconnect (componentPoint);
	}
	componentPoint = nullptr;
	controllerPoint = nullptr;
	if (controllerInitialised)
		controllerPtr->terminate ();
	controllerInitialised = false;
	if (componentInitialised)
		componentPtr->terminate ();
	componentInitialised = false;
	controllerPtr = nullptr;
	processorPtr = nullptr;
	componentPtr = nullptr;
}

} // namespace tavik::tools
