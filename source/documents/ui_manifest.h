// Facts about the editor page bundle, read from its manifest.json for the
// diagnostics: when it was built, from which source revision, its digest.
#pragma once

#include <cstddef>
#include <string>

namespace tavik {

struct UiBundleFacts
{
	char buildTime[64] = {};
	char sourceRevision[64] = {};
	char sha256[80] = {};
};

constexpr size_t UI_MANIFEST_MAX_BYTES = 1048576;

/** The text of top-level member `key` of a JSON object, found by a small
 *  scanner (escapes are not decoded: the value is cut at its first
 *  backslash). `out` is empty when the member is missing. */
void uiManifestString (const std::string& json, const char* key, char* out, size_t outSize);

/** Facts from the manifest at `manifestPath` (empty when it is missing or
 *  larger than 1 MiB). */
UiBundleFacts readUiBundleFactsFromFile (const std::string& manifestPath);

/** The manifest path for a module image: two components up from the image,
 *  then "Resources/ui/manifest.json". */
std::string uiManifestPathForImage (const std::string& imagePath);

/** Facts of this product's own bundle, read once per process and kept. */
const UiBundleFacts& readUiBundleFacts ();

} // namespace tavik
