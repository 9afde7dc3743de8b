#include "hosted_bank_cache.h"

#include "bank_paths.h"
#include "state_document.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tavik {

namespace {

bool isAbsolute (const char* path) { return path && path[0] == '/'; }

} // namespace

std::string hostedBankCacheRoot ()
{
	std::string dataHome;
	if (const char* xdg = std::getenv ("XDG_DATA_HOME"); isAbsolute (xdg))
		dataHome = xdg;
	else if (const char* home = std::getenv ("HOME"); isAbsolute (home))
		dataHome = joinPath (home, ".local/share"); // a relative HOME would land in the host's working directory
	else
		return std::string ();

	const std::string root = joinPath (dataHome, "Tavik/banks");
	std::error_code error;
	std::filesystem::create_directories (root, error);
	if (error || !std::filesystem::is_directory (root, error) || error)
		return std::string ();
	return root;
}

bool isHostedBankDigest (const std::string& digest)
{
	if (digest.size () != 64)
		return false;
	for (const char c : digest)
		if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
			return false;
	return true;
}

std::string hostedBankFolder (const std::string& root, const std::string& digest)
{
	if (root.empty () || !isHostedBankDigest (digest))
		return std::string ();
	return joinPath (root, digest);
}

std::string recalledBankDirectory (const BankStateRef& ref)
{
	if (!ref.present || !ref.hasLocator || ref.locator[0] == 0 || std::strcmp (ref.source, "embedded") == 0)
		return std::string ();
	// A hosted bank is looked up in the cache only by a pin that can name
	// nothing but a folder of the cache.
	if (std::strcmp (ref.source, "hosted") == 0 && isHostedBankDigest (ref.sha256))
	{
		const std::string folder = hostedBankFolder (hostedBankCacheRoot (), ref.sha256);
		if (!folder.empty ())
			return folder;
	}
	return ref.locator;
}

} // namespace tavik
