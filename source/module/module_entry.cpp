// Module initialisation and de-initialisation, called by the first
// ModuleEntry and the last ModuleExit.

#include "parked_editor.h"
#include "module_path.h"
#include "plugin_factory.h"

#include "public.sdk/source/main/moduleinit.h"

bool InitModule ()
{
	// The entry found the module's own path; the shell finds its files by it.
	tavik::recordModulePath (Steinberg::getModulePath ());
	return true;
}

bool DeinitModule ()
{
	tavik::releasePluginFactory ();
	// A closed editor's kept helper does not outlive the module.
	tavik::releaseParkedEditor ();
	return true;
}
