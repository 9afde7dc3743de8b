// Where banks fetched from the hosted catalogue are kept, one directory per
// bank digest: the user's data directory followed by "Tavik/banks".
#pragma once

#include <string>

namespace tavik {

struct BankStateRef;

/** $XDG_DATA_HOME/Tavik/banks, or $HOME/.local/share/Tavik/banks when
 *  XDG_DATA_HOME is unset or not absolute; created with its parents when
 *  missing. Empty when neither variable gives an absolute directory or the
 *  directory cannot be created. */
std::string hostedBankCacheRoot ();

/** True when `digest` is 64 lowercase hexadecimal digits: the only pins that
 *  may name a folder of the cache. */
bool isHostedBankDigest (const std::string& digest);

/** The cache folder of the bank pinned by `digest` below `root`. Empty when
 *  `root` is empty or the digest is no 64 lowercase hex digits, since any
 *  other text ("/", "..") could name a folder outside the cache. Every pin
 *  becomes a path through here. */
std::string hostedBankFolder (const std::string& root, const std::string& digest);

/** The folder a restored bank reference points at: its locator, or for a
 *  hosted bank with a pinned digest the cache folder named after it. Empty
 *  when the reference names no loadable bank (absent, no locator, or
 *  "embedded"). */
std::string recalledBankDirectory (const BankStateRef& ref);

} // namespace tavik
