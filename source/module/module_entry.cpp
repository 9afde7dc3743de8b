// Module initialisation and de-initialisation, called by the first
// ModuleEntry and the last ModuleExit.

#include "helper_reaper.h"
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
	// A closed editor's kept helper does not outlive the module, and the
	// editor's background thread ends once every helper is reaped (which
	// may take up to half a second for one that does not leave when told).
	tavik::releaseParkedEditor ();
	tavik::HelperReaper::instance ().shutdown ();
	return true;
}
