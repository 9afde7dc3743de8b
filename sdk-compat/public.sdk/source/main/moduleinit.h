// Module initialisation hooks called by the platform module entry.
//
// The plug-in defines both functions. InitModule runs when the first
// ModuleEntry call arrives, DeinitModule when the last ModuleExit leaves.
#pragma once

#include <cstddef>

/** Called once, by the first ModuleEntry. Returning false fails the entry. */
bool InitModule ();

/** Called once, by the last ModuleExit. */
bool DeinitModule ();

namespace Steinberg {

/** The handle the host passed to the first ModuleEntry (null outside it). */
void* getModuleHandle ();

/** The module's own file path, recorded by the first ModuleEntry (empty before). */
const char* getModulePath ();

/** Capacity of the recorded module path, terminator included. */
constexpr std::size_t kModulePathCapacity = 2048;

} // namespace Steinberg
