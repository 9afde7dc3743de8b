// The render tool's files: whole files read with their path in any error,
// saved states checked before a plug-in sees them, and output written beside
// its target and renamed into place once it is complete.
#pragma once

#include <string>

namespace tavik::tools {

/** The bytes of the file at `path`; throws std::runtime_error naming it. */
std::string readFile (const std::string& path);

/** The saved state at `path`, checked to be one JSON object; throws
 *  std::runtime_error naming the file and where it breaks. */
std::string readStateFile (const std::string& path);

/** A new temporary file beside `path` (its name goes to `temporary`), to be
 *  renamed into place once complete; returns its descriptor. */
int createBeside (const std::string& path, std::string& temporary, const char* what);

/** Writes `bytes` to `path` through a temporary file beside it, so that a
 *  failed write never leaves half a file where a good one was. */
void writeFileAtomically (const std::string& path, const std::string& bytes);

} // namespace tavik::tools
