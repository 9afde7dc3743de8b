// The C functions through which a diagnostic tool (our render tool's bridge
// mode, the editor tests) drives the controller's editor bridge without a
// web view, and runs a clock on the host's main-thread run loop.

#include "run_loop_timer.h"
#include "tavik_controller.h"
#include "ui_root.h"

#include "base/source/fobject.h"

#include <cstddef>
#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int DIAGNOSTIC_BRIDGE_ABI_VERSION = 2;

// The product's own controller behind `unknown`, or null.
tavik::TavikController* productController (FUnknown* unknown)
{
	if (!unknown)
		return nullptr;
	FUnknownPtr<IEditController> controller (unknown);
	if (!controller)
		return nullptr;
	return FCast<tavik::TavikController> (static_cast<FUnknown*> (controller.get ()));
}

} // namespace

extern "C" {

__attribute__ ((visibility ("default"))) void* tavikStartCadenceClock (void (*callback) (void* userData),
                                                                       void* userData, double intervalSeconds)
{
	if (!callback)
		return nullptr;
	const double seconds = intervalSeconds > 0 ? intervalSeconds : 1.0 / 30;
	const uint64 milliseconds = seconds * 1000 < 1 ? 1 : static_cast<uint64> (seconds * 1000);
	tavik::RunLoopTimer* timer = tavik::RunLoopTimer::create ([callback, userData] { callback (userData); });
	if (!timer->start (tavik::rememberedHostRunLoop (), milliseconds))
	{
		timer->release ();
		return nullptr;
	}
	return timer;
}

__attribute__ ((visibility ("default"))) void tavikStopCadenceClock (void* handle)
{
	if (!handle)
		return;
	auto* timer = static_cast<tavik::RunLoopTimer*> (handle);
	timer->stop ();
	timer->release ();
}

__attribute__ ((visibility ("default"))) int tavikDiagnosticBridgeAbiVersion ()
{
	return DIAGNOSTIC_BRIDGE_ABI_VERSION;
}

__attribute__ ((visibility ("default"))) int
tavikInstallDiagnosticBridgeSink (FUnknown* unknown, void (*sink) (void* userData, const char* json, size_t length),
                                  void* userData)
{
	tavik::TavikController* controller = productController (unknown);
	if (!controller)
		return 0;
	if (sink)
		controller->setBridgeSink (
			[sink, userData] (const std::string& json) { sink (userData, json.data (), json.size ()); });
	else
		controller->setBridgeSink ({});
	return 1;
}

__attribute__ ((visibility ("default"))) int tavikDeliverDiagnosticBridgeMessage (FUnknown* unknown, const char* json,
                                                                                  size_t length)
{
	tavik::TavikController* controller = productController (unknown);
	if (!controller || !json)
		return 0;
	controller->handleBridgeMessage (json, length);
	return 1;
}

__attribute__ ((visibility ("default"))) int tavikTickDiagnosticCadence (FUnknown* unknown)
{
	tavik::TavikController* controller = productController (unknown);
	if (!controller)
		return 0;
	controller->tickCadence ();
	return 1;
}

// The editor page folder of this module, for diagnostic tools; the text
// stays valid until the next call.
__attribute__ ((visibility ("default"))) const char* tavikPluginUiRootForDiagnostics ()
{
	static std::string root;
	root = tavik::pluginUiRoot ();
	return root.c_str ();
}

} // extern "C"
