// The "tavik-ui" scheme: the page bundle served from the UI root, and
// nothing outside it.
#pragma once

#include <string>
#include <webkit2/webkit2.h>

namespace tavik {

/** Serves every "tavik-ui" request of `context` from `root`. */
void registerUiScheme (WebKitWebContext* context, const std::string& root);

} // namespace tavik
