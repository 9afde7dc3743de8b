#include "ui_root.h"

#include "ui_resource.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>

namespace tavik {

namespace {

std::string imagePathFor (const void* address)
{
	if (!address)
		return {};
	Dl_info info {};
	if (dladdr (address, &info) == 0 || !info.dli_fname || !*info.dli_fname)
		return {};
	// A module loaded by a relative path is still found from any folder.
	char resolved[PATH_MAX];
	return ::realpath (info.dli_fname, resolved) ? std::string (resolved) : std::string (info.dli_fname);
}

bool dropLastComponent (std::string& path)
{
	const size_t slash = path.rfind ('/');
	if (slash == std::string::npos)
		return false;
	path.erase (slash == 0 ? 1 : slash);
	return true;
}

} // namespace

std::string imageDirectoryForAddress (const void* address)
{
	std::string path = imagePathFor (address);
	if (path.empty () || !dropLastComponent (path))
		return {};
	return path;
}

std::string uiRootForImageAddress (const void* address)
{
	std::string path = imagePathFor (address);
	if (path.empty () || !dropLastComponent (path) || !dropLastComponent (path))
		return {};
	const std::string root = standardizePath (path + "/Resources/ui");
	struct stat info
	{
	};
	if (::stat (root.c_str (), &info) != 0 || !S_ISDIR (info.st_mode))
		return {};
	return root;
}

std::string pluginUiRoot () { return uiRootForImageAddress (reinterpret_cast<const void*> (&pluginUiRoot)); }

} // namespace tavik
