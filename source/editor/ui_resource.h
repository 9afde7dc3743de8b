// How the editor page's files are found and served: the start address of a
// page bundle, which request paths may be answered from the UI root, and the
// MIME type each file is served with.
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

/** `path` with "." and ".." components resolved, repeated and trailing
 *  slashes dropped ("/" stays "/"). Purely textual: symbolic links are not
 *  followed. A relative path stays relative. */
std::string standardizePath (const std::string& path);

/** The file a request path names inside `root`, or false when the path is
 *  refused: an empty path or "/" names "index.html"; the result must lie
 *  below the standardized root ("root/" and more). */
bool resolveUiRequest (const std::string& root, const std::string& requestPath, std::string& file);

/** The MIME type for a file name, by lower-cased extension; anything else
 *  is "application/octet-stream". */
const char* uiMimeType (const std::string& fileName);

/** A 64-bit hash of the UI root's bytes: a different page bundle gets a
 *  different origin, the same one always the same. */
uint64_t uiRootHash (const std::string& root);

/** "tavik-ui://bundle-<16 hex digits>/index.html" for `root`. */
std::string uiStartUrl (const std::string& root);

} // namespace tavik
