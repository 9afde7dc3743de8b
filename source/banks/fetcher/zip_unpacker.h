// Unpacking a downloaded bank archive (zip) into a folder of our own. The
// archive comes from elsewhere, so nothing in it may reach outside that
// folder: no absolute paths, no ".." components, no links that lead out,
// no writing through links, no devices, pipes or hard links. A size and an
// entry count limit keep a small archive from filling the disk.
#pragma once

#include "hosted_fetch_options.h"

#include <atomic>
#include <string>

namespace tavik {

/** Unpacks `archive` into the existing, empty folder `directory`. Files
 *  are written 0644 and folders 0755 whatever the archive says, and
 *  flushed to disk. macOS resource-fork folders ("__MACOSX") are skipped.
 *  Entry names are read as UTF-8 whatever the host's locale; an entry
 *  listed twice, a folder too, is refused.
 *  On failure `error` says why and the folder may hold part of the
 *  archive: the caller removes it. `cancel`, when given, stops the work. */
bool unpackZipArchive (const std::string& archive, const std::string& directory, const ZipUnpackLimits& limits,
                       std::string& error, const std::atomic<bool>* cancel);

} // namespace tavik
