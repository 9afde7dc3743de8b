#include "module_path.h"

#include <atomic>
#include <climits>
#include <cstdlib>
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

std::string besideModule (const char* name)
{
	const std::string image = modulePath ();
	if (image.empty ())
		return std::string ();
	char resolved[PATH_MAX];
	std::string path = ::realpath (image.c_str (), resolved) ? std::string (resolved) : image;
	const size_t slash = path.rfind ('/');
	path = slash == std::string::npos ? std::string (".") : path.substr (0, slash);
	return path + "/" + name;
}

} // namespace tavik
