#include "module_path.h"

#include <atomic>
#include <cstring>

namespace tavik {

namespace {

// Written once by the first module entry, before anything reads it; the
// flag publishes the text.
char gPath[2048] = {};
std::atomic<bool> gRecorded {false};

} // namespace

void recordModulePath (const char* path)
{
	if (!path || !*path || gRecorded.load (std::memory_order_acquire))
		return;
	std::strncpy (gPath, path, sizeof (gPath) - 1);
	gRecorded.store (true, std::memory_order_release);
}

std::string modulePath () { return gRecorded.load (std::memory_order_acquire) ? std::string (gPath) : std::string (); }

} // namespace tavik
