#include "hosted_bank_download.h"

#include "bank_paths.h"
#include "hosted_url_check.h"
#include "https_download.h"
#include "zip_unpacker.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tavik {

namespace fs = std::filesystem;

namespace {

void removeQuietly (const std::string& path)
{
	std::error_code ignored;
	fs::remove_all (path, ignored);
}

bool isDirectory (const std::string& path)
{
	struct stat info;
	return ::lstat (path.c_str (), &info) == 0 && S_ISDIR (info.st_mode);
}

// The unpacked bank: the folder itself when it holds "bank.json", else its
// only visible subfolder (an archive that wraps the bank in one folder),
// else the folder itself.
std::string findBankRoot (const std::string& unpacked)
{
	std::error_code error;
	if (fs::exists (joinPath (unpacked, "bank.json"), error))
		return unpacked;
	std::string only;
	int folders = 0;
	for (fs::directory_iterator it (unpacked, error), end; !error && it != end; it.increment (error))
	{
		const std::string name = it->path ().filename ().string ();
		if (name.empty () || name[0] == '.')
			continue;
		if (isDirectory (it->path ().string ()))
		{
			++folders;
			only = it->path ().string ();
		}
	}
	return folders == 1 ? only : unpacked;
}

// Moves the bank root into place. A target that appeared meanwhile as a
// folder is the same bank, cached by another instance: it is kept.
bool moveIntoCache (const std::string& root, const std::string& target)
{
	for (int attempt = 0; attempt < 2; ++attempt)
	{
		if (::renameat2 (AT_FDCWD, root.c_str (), AT_FDCWD, target.c_str (), RENAME_NOREPLACE) == 0)
			return true;
		if (errno == EINVAL || errno == ENOSYS) // a file system without no-replace moves
			return ::rename (root.c_str (), target.c_str ()) == 0;
		if (errno != EEXIST)
			return false;
		if (isDirectory (target))
			return true;
		std::error_code ignored;
		fs::remove (target, ignored);
	}
	return false;
}

void flushFolder (const std::string& path)
{
	const int fd = ::open (path.c_str (), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd >= 0)
	{
		::fsync (fd);
		::close (fd);
	}
}

} // namespace

bool downloadHostedBankInto (const HostedFetchPlan& plan, const std::string& staging, const HostedFetchOptions& options,
                             std::string& bankDirectory, std::string& error, const std::atomic<bool>* cancel)
{
	bankDirectory.clear ();
	error.clear ();
	const auto fail = [&] (const std::string& why) {
		removeQuietly (staging);
		error = why;
		return false;
	};
	// The quick checks only looked at the address; the parser that the
	// download goes by has the last word, in the same words.
	std::string scheme;
	if (!urlScheme (plan.url, scheme))
		return fail (HOSTED_URL_NOT_A_URL);
	if (scheme != "https")
		return fail (HOSTED_URL_NOT_HTTPS);

	// The body streams to disk while it is hashed.
	const std::string archive = joinPath (staging, "bank.zip");
	const int fd = ::open (archive.c_str (), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
	if (fd < 0)
		return fail ("cannot write the downloaded archive");
	const HttpsDownload download = downloadToFile (plan.url, fd, options.download, cancel);
	const bool closed = ::close (fd) == 0;
	if (!download.ok)
		return fail (download.error);
	if (download.sha256 != plan.digest)
		return fail ("downloaded bytes hash to " + download.sha256.substr (0, 16) +
		             "\u2026 which does not match the pinned sha256");
	if (!closed)
		return fail ("cannot write the downloaded archive");

	const std::string unpacked = joinPath (staging, "content");
	std::string why;
	if (::mkdir (unpacked.c_str (), 0755) != 0)
		return fail ("cannot unpack the downloaded archive");
	const bool ok = unpackZipArchive (archive, unpacked, options.unpack, why, cancel);
	::unlink (archive.c_str ());
	if (!ok)
		return fail (why);
	if (cancel && cancel->load ())
		return fail ("the download was cancelled");

	if (!moveIntoCache (findBankRoot (unpacked), plan.target))
		return fail ("cannot move the unpacked bank into the cache");
	removeQuietly (staging);
	flushFolder (fs::path (plan.target).parent_path ().string ());
	bankDirectory = plan.target;
	return true;
}

bool downloadHostedBank (const HostedFetchPlan& plan, const HostedFetchOptions& options, std::string& bankDirectory,
                         std::string& error, const std::atomic<bool>* cancel)
{
	bankDirectory.clear ();
	error.clear ();
	removeAbandonedStaging (fs::path (plan.target).parent_path ().string ());
	HostedStaging staging;
	if (!makeHostedStaging (plan.target, staging))
	{
		error = "cannot create the staging directory";
		return false;
	}
	const bool ok = downloadHostedBankInto (plan, staging.path, options, bankDirectory, error, cancel);
	releaseHostedStaging (staging);
	return ok;
}

bool fetchHostedBank (const std::string& url, const std::string& digest, std::string& bankDirectory, std::string& error,
                      const HostedFetchOptions& options, const std::atomic<bool>* cancel)
{
	HostedFetchPlan plan;
	switch (prepareHostedFetch (url, digest, plan, bankDirectory, error))
	{
		case HostedFetchStart::Cached: return true;
		case HostedFetchStart::Failed: return false;
		case HostedFetchStart::Download: break;
	}
	return downloadHostedBank (plan, options, bankDirectory, error, cancel);
}

} // namespace tavik
