// The diagnostic feeds the editor may subscribe to, each one bit of a
// subscription mask. Both the bridge message reader and the hello blocks
// name them.
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

/** The subscription bit of a feed name (exact, case-sensitive), or 0. */
uint32_t diagnosticFeedBit (const char* name);

/** The same for a name that may hold any byte: a NUL inside it is part of
 *  the name, so "host" followed by a NUL names no feed. */
uint32_t diagnosticFeedBit (const std::string& name);

} // namespace tavik
