#include "bank_paths.h"

#include <filesystem>
#include <system_error>

namespace tavik {

namespace fs = std::filesystem;

std::string joinPath (const std::string& base, const std::string& relative)
{
	if (base.empty () || (!relative.empty () && relative[0] == '/'))
		return relative;
	if (relative.empty ())
		return base;
	if (base.back () == '/')
		return base + relative;
	return base + "/" + relative;
}

bool pathIsContained (const std::string& relative)
{
	if (relative.empty () || relative[0] == '/' || relative.find ('\\') != std::string::npos)
		return false;
	size_t start = 0;
	for (;;)
	{
		const size_t slash = relative.find ('/', start);
		const size_t end = slash == std::string::npos ? relative.size () : slash;
		if (relative.compare (start, end - start, "..") == 0)
			return false;
		if (slash == std::string::npos)
			return true;
		start = slash + 1;
	}
}

namespace {

// True when `path` equals `directory` or lies below it. Both are canonical,
// so comparing whole components is enough ("/a/bank2" is not in "/a/bank").
bool liesWithin (const fs::path& path, const fs::path& directory)
{
	auto p = path.begin ();
	for (auto d = directory.begin (); d != directory.end (); ++d, ++p)
		if (p == path.end () || *p != *d)
			return false;
	return true;
}

} // namespace

BankPathResolution resolveBankPath (const std::string& directory, const std::string& relative, std::string& resolved)
{
	resolved.clear ();
	const std::string base = directory.empty () ? std::string (".") : directory;
	std::error_code error;
	const fs::path root = fs::canonical (base, error);
	if (error)
		return BankPathResolution::Unresolved;
	const fs::path target = fs::canonical (joinPath (base, relative), error);
	if (error)
		return BankPathResolution::Unresolved;
	if (!liesWithin (target, root))
		return BankPathResolution::Outside;
	resolved = target.string ();
	return BankPathResolution::Inside;
}

} // namespace tavik
