// The editor helper kept for a while after its view closed. Starting a
// helper and WebKit's processes costs most of a second; a musician who
// closes and reopens the editor (or opens the next instance's) gets the
// kept one back with a fresh page load instead. One helper at most is kept,
// for ZORV_EDITOR_KEEP_SECONDS (30 by default; 0 keeps none), and it goes
// with the module. Main thread only, as every editor call is.
#pragma once

#include "editor_link.h"

#include <memory>
#include <string>

namespace tavik {

/** How long a closed editor's helper is kept, in seconds. */
double editorKeepSeconds ();

/** Keeps `link` (already parked) for the page bundle at `uiRoot`, ending
 *  any helper kept before. */
void keepParkedEditor (std::unique_ptr<EditorLink> link, const std::string& uiRoot);

/** The kept helper for `uiRoot`, or null (none, expired or another bundle). */
std::unique_ptr<EditorLink> takeParkedEditor (const std::string& uiRoot);

/** Ends a kept helper whose time is up; cheap, called from every clock. */
void expireParkedEditor ();

/** Ends any kept helper now. */
void releaseParkedEditor ();

} // namespace tavik
