// Module initialisation and de-initialisation, called by the first
// ModuleEntry and the last ModuleExit.

#include "plugin_factory.h"

#include "public.sdk/source/main/moduleinit.h"

bool InitModule () { return true; }

bool DeinitModule ()
{
	tavik::releasePluginFactory ();
	return true;
}
