// Where banks fetched from the hosted catalogue are kept, one directory per
// bank digest: the user's data directory followed by "Tavik/banks".
#pragma once

#include <string>

namespace tavik {

/** $XDG_DATA_HOME/Tavik/banks, or $HOME/.local/share/Tavik/banks when
 *  XDG_DATA_HOME is unset or not absolute; created with its parents when
 *  missing. Empty when neither variable gives an absolute directory or the
 *  directory cannot be created. */
std::string hostedBankCacheRoot ();

} // namespace tavik
