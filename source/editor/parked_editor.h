// The editor helper kept for a while after its view closed. Starting a
// helper and WebKit's processes costs most of a second; a musician who
// closes and reopens the editor (or opens the next instance's) gets the
// kept one back with a fresh page load instead. One helper at most is kept,
// for ZORV_EDITOR_KEEP_SECONDS (30 by default; 0 keeps none). It is ended
// at its time by the reaper's thread even if nothing in the plug-in ticks
// again, and it goes with the module. The keeper's lock is taken by the
// main thread (keep, take) and by that thread (expiry), each only briefly.
#pragma once

#include "editor_link.h"

#include <memory>
#include <string>

namespace tavik {

/** How long a closed editor's helper is kept, in seconds. */
double editorKeepSeconds ();

/** How much longer than that a parked helper waits before it leaves by
 *  itself (in case the plug-in's process can no longer end it). */
constexpr double HELPER_KEEP_MARGIN_SECONDS = 2;

/** Keeps `link` (already parked) for the page bundle at `uiRoot`, ending
 *  any helper kept before. */
void keepParkedEditor (std::unique_ptr<EditorLink> link, const std::string& uiRoot);

/** The kept helper for `uiRoot`, or null (none, expired or another bundle). */
std::unique_ptr<EditorLink> takeParkedEditor (const std::string& uiRoot);

/** Ends a kept helper whose time is up (the reaper's alarm does this on
 *  time; clocks may call it too). Cheap. */
void expireParkedEditor ();

/** Ends any kept helper now. */
void releaseParkedEditor ();

} // namespace tavik
