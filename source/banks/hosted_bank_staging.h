// The staging folders of hosted bank fetches: "<digest>.staging-N" beside
// the bank's cache folder, where a download is written and unpacked before
// its bank is moved into place in one rename. Each is made exclusively (two
// instances fetching the same bank never share one) and held, by a lock on
// the folder, for as long as anyone works in it: the plug-in and its
// download helper hold the same lock, and the kernel lets it go when the
// last of them ends, however it ends. A staging folder nobody holds was
// left by a fetch that died, and the next fetch removes it.
#pragma once

#include <string>

namespace tavik {

struct HostedStaging
{
	std::string path;
	int lockFd = -1; // the folder, open and locked
};

/** Makes a fresh staging folder beside `target` and takes its lock. False
 *  when none can be made. */
bool makeHostedStaging (const std::string& target, HostedStaging& staging);

/** Removes the staging folder when its path still names the folder the
 *  lock holds (a folder another fetch made under the same name since is
 *  left alone), then lets the lock go. Safe to call twice. */
void releaseHostedStaging (HostedStaging& staging);

/** Removes the staging folders below `root` that nobody holds; on a file
 *  system that keeps no locks, those untouched for an hour (a live fetch is
 *  done well within that). */
void removeAbandonedStaging (const std::string& root);

} // namespace tavik
