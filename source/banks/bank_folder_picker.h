// The folder picker the bank control offers the editor. This build has no
// picker of its own (the editor runs in another process and a file dialog
// belongs to it), so it always declines with a reason.
#pragma once

#include <string>

namespace tavik {

/** Clears `path`, gives the reason in `error` and returns false. */
bool pickBankFolder (std::string& path, std::string& error);

} // namespace tavik
