#include "hosted_bank_staging.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavik {

namespace fs = std::filesystem;

namespace {

constexpr int STAGING_ATTEMPTS = 16;
constexpr const char* STAGING_MARK = ".staging-";
constexpr size_t DIGEST_LENGTH = 64;

int openFolder (const std::string& path)
{
	return ::open (path.c_str (), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Whether `path` still names the folder open on `fd`.
bool namesFolder (const std::string& path, int fd)
{
	struct stat named;
	struct stat held;
	return ::lstat (path.c_str (), &named) == 0 && ::fstat (fd, &held) == 0 && named.st_dev == held.st_dev &&
	       named.st_ino == held.st_ino;
}

enum class Lock
{
	Taken,
	Held,        // someone else holds it
	Unsupported, // the file system keeps no locks
};

Lock tryLock (int fd)
{
	while (::flock (fd, LOCK_EX | LOCK_NB) != 0)
	{
		if (errno == EINTR)
			continue;
		return errno == EWOULDBLOCK ? Lock::Held : Lock::Unsupported;
	}
	return Lock::Taken;
}

void removeQuietly (const std::string& path)
{
	std::error_code ignored;
	fs::remove_all (path, ignored);
}

} // namespace

bool makeHostedStaging (const std::string& target, HostedStaging& staging)
{
	staging = HostedStaging ();
	std::random_device seed;
	std::mt19937 random (seed ());
	std::uniform_int_distribution<unsigned> below (0, 999999);
	for (int attempt = 0; attempt < STAGING_ATTEMPTS; ++attempt)
	{
		const std::string path = target + STAGING_MARK + std::to_string (below (random));
		if (::mkdir (path.c_str (), 0700) != 0)
		{
			if (errno != EEXIST)
				return false;
			continue;
		}
		// Between the folder's making and its lock another fetch may have
		// taken it for abandoned and removed it: then it is made anew.
		const int fd = openFolder (path);
		if (fd < 0)
			continue;
		if (tryLock (fd) == Lock::Held || !namesFolder (path, fd))
		{
			::close (fd);
			continue;
		}
		staging.path = path;
		staging.lockFd = fd;
		return true;
	}
	return false;
}

void releaseHostedStaging (HostedStaging& staging)
{
	if (staging.lockFd < 0)
		return;
	if (namesFolder (staging.path, staging.lockFd))
		removeQuietly (staging.path);
	::close (staging.lockFd);
	staging.lockFd = -1;
}

void removeAbandonedStaging (const std::string& root)
{
	const auto longAgo = fs::file_time_type::clock::now () - std::chrono::hours (1);
	std::error_code error;
	for (fs::directory_iterator it (root, error), end; !error && it != end; it.increment (error))
	{
		const std::string name = it->path ().filename ().string ();
		if (name.find (STAGING_MARK) != DIGEST_LENGTH)
			continue;
		const std::string path = it->path ().string ();
		const int fd = openFolder (path); // neither a file nor a link
		if (fd < 0)
			continue;
		const Lock lock = tryLock (fd);
		std::error_code stale;
		if ((lock == Lock::Taken && namesFolder (path, fd)) ||
		    (lock == Lock::Unsupported && fs::last_write_time (path, stale) < longAgo && !stale))
			removeQuietly (path);
		::close (fd);
	}
}

} // namespace tavik
