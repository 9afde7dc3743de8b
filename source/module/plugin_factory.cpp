// The module's class factory: two classes, the processor and its controller.

#include "plugin_factory.h"

#include "plugin_ids.h"
#include "tavik_controller.h"
#include "tavik_processor.h"

#include "public.sdk/source/main/pluginfactory.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <mutex>

namespace tavik {

using namespace Steinberg;

namespace {

std::mutex gFactoryMutex;
// Whether the module itself holds a reference to gPluginFactory; that
// reference keeps the factory alive until the module is de-initialised.
bool gModuleHoldsFactory = false;

const PClassInfo2& processorClassInfo ()
{
	static const PClassInfo2 info (TavikProcessorUID, PClassInfo::kManyInstances, kVstAudioEffectClass, PRODUCT_NAME,
	                               Vst::kDistributable, "Instrument|Synth", nullptr, PRODUCT_VERSION,
	                               PRODUCT_SDK_VERSION);
	return info;
}

const PClassInfo2& controllerClassInfo ()
{
	static const PClassInfo2 info (TavikControllerUID, PClassInfo::kManyInstances, kVstComponentControllerClass,
	                               "Zorv Controller", 0, "", nullptr, PRODUCT_VERSION, PRODUCT_SDK_VERSION);
	return info;
}

} // namespace

IPluginFactory* acquirePluginFactory ()
{
	std::lock_guard<std::mutex> lock (gFactoryMutex);
	if (!gPluginFactory)
	{
		const PFactoryInfo factoryInfo (PRODUCT_VENDOR, PRODUCT_URL, PRODUCT_EMAIL, PFactoryInfo::kUnicode);
		auto* factory = new CPluginFactory (factoryInfo);
		factory->registerClass (&processorClassInfo (), TavikProcessor::createInstance);
		factory->registerClass (&controllerClassInfo (), TavikController::createInstance);
		gPluginFactory = factory;
		gModuleHoldsFactory = true;
	}
	else if (!gModuleHoldsFactory)
	{
		gPluginFactory->addRef ();
		gModuleHoldsFactory = true;
	}
	gPluginFactory->addRef ();
	return gPluginFactory;
}

void releasePluginFactory ()
{
	std::lock_guard<std::mutex> lock (gFactoryMutex);
	if (gPluginFactory && gModuleHoldsFactory)
	{
		gModuleHoldsFactory = false;
		gPluginFactory->release ();
	}
}

} // namespace tavik

extern "C" SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory ()
{
	// Building the factory allocates; a host gets no factory rather than an
	// exception.
	try
	{
		return tavik::acquirePluginFactory ();
	}
	catch (...)
	{
		return nullptr;
	}
}
