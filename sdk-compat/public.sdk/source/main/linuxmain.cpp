// Linux module entry points of a VST 3 plug-in.
//
// A host calls ModuleEntry after dlopen and ModuleExit before dlclose; both may
// be called several times (several host components in one process). The first
// entry records the module's handle and file path and initialises the
// module; the last exit de-initialises it.

#include "public.sdk/source/main/moduleinit.h"

#include "pluginterfaces/base/fplatform.h"

#include <atomic>
#include <cstring>
#include <dlfcn.h>

namespace {

std::atomic<int> gModuleCounter {0};
void* gModuleHandle = nullptr;
char gModulePath[Steinberg::kModulePathCapacity] = {};

void recordModulePath ()
{
	Dl_info info {};
	gModulePath[0] = 0;
	if (dladdr (reinterpret_cast<const void*> (&recordModulePath), &info) != 0 && info.dli_fname != nullptr)
	{
		std::strncpy (gModulePath, info.dli_fname, sizeof (gModulePath) - 1);
		gModulePath[sizeof (gModulePath) - 1] = 0;
	}
}

} // namespace

namespace Steinberg {

void* getModuleHandle () { return gModuleHandle; }
const char* getModulePath () { return gModulePath; }

} // namespace Steinberg

extern "C" {

SMTG_EXPORT_SYMBOL bool ModuleEntry (void* sharedLibraryHandle)
{
	if (++gModuleCounter == 1)
	{
		gModuleHandle = sharedLibraryHandle;
		recordModulePath ();
		return InitModule ();
	}
	return true;
}

SMTG_EXPORT_SYMBOL bool ModuleExit ()
{
	const int remaining = --gModuleCounter;
	if (remaining == 0)
	{
		gModuleHandle = nullptr;
		return DeinitModule ();
	}
	if (remaining < 0)
	{
		// More exits than entries: undo the decrement and refuse.
		++gModuleCounter;
		return false;
	}
	return true;
}

} // extern "C"
