// Where the editor page lies: the UI root of a module image is two path
// components up from the image file, then "Resources/ui"
// (Zorv.vst3/Contents/x86_64-linux/Zorv.so → Zorv.vst3/Contents/Resources/ui).
#pragma once

#include <string>

namespace tavik {

/** The UI root for the loaded image containing `address`, standardized,
 *  or empty when there is no such image or the folder is missing. */
std::string uiRootForImageAddress (const void* address);

/** The UI root of this module's own image, or empty. */
std::string pluginUiRoot ();

/** The folder holding the image that contains `address` (for the editor
 *  helper, which ships beside the module), or empty. */
std::string imageDirectoryForAddress (const void* address);

} // namespace tavik
