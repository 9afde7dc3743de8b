// The file path of the plug-in module this code runs in, recorded once by
// the module entry (its one dladdr lookup) for everything that needs to find
// files beside it: the editor page, its manifest, the bank download helper.
#pragma once

#include <string>

namespace tavik {

/** Records the module's path (up to 2047 bytes); only the first
 *  non-empty path is kept, and only the first module entry calls it. */
void recordModulePath (const char* path);

/** The recorded path; empty outside a loaded module (a test program). */
std::string modulePath ();

/** The file `name` in the module's folder, found through the recorded path
 *  with its symbolic links resolved (a module loaded by a relative path is
 *  still found from any folder); empty outside a loaded module. */
std::string besideModule (const char* name);

} // namespace tavik
