#include "bank_files.h"

#include "sha256_stream.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tavik {

namespace {

// Closes the descriptor on every way out.
struct Descriptor
{
	explicit Descriptor (int value) : fd (value) {}
	~Descriptor ()
	{
		if (fd >= 0)
			::close (fd);
	}
	Descriptor (const Descriptor&) = delete;
	Descriptor& operator= (const Descriptor&) = delete;
	int fd;
};

} // namespace

FileRead readBoundedFile (const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& out, uint64_t& fileSize)
{
	fileSize = 0;
	// Looked at before opening: opening some devices already has effects.
	struct stat info;
	if (::stat (path.c_str (), &info) != 0 || !S_ISREG (info.st_mode))
		return FileRead::Unreadable;
	// Non-blocking, in case the path was swapped for a FIFO since.
	const Descriptor file (::open (path.c_str (), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
	if (file.fd < 0 || ::fstat (file.fd, &info) != 0 || !S_ISREG (info.st_mode) || info.st_size < 0)
		return FileRead::Unreadable;
	fileSize = static_cast<uint64_t> (info.st_size);
	if (fileSize > maxBytes || fileSize > std::numeric_limits<size_t>::max ())
		return FileRead::TooLarge;

	std::vector<uint8_t> bytes (static_cast<size_t> (fileSize));
	size_t done = 0;
	while (done < bytes.size ())
	{
		const ssize_t got = ::read (file.fd, bytes.data () + done, bytes.size () - done);
		if (got < 0 && errno == EINTR)
			continue;
		if (got < 0)
			return FileRead::Unreadable;
		if (got == 0)
			break; // the file shrank while being read: take what it holds now
		done += static_cast<size_t> (got);
	}
	bytes.resize (done);
	fileSize = done;
	out = std::move (bytes);
	return FileRead::Read;
}

bool readWholeFile (const std::string& path, std::vector<uint8_t>& out, uint64_t maxBytes)
{
	uint64_t size = 0;
	return readBoundedFile (path, maxBytes, out, size) == FileRead::Read;
}

bool readWholeFile (const std::string& path, std::vector<uint8_t>& out)
{
	return readWholeFile (path, out, std::numeric_limits<uint64_t>::max ());
}

std::string sha256Hex (const uint8_t* bytes, size_t length)
{
	Sha256Stream digest;
	digest.update (bytes, length);
	return digest.finishHex ();
}

std::string byteLimitText (uint64_t bytes)
{
	const uint64_t mebibyte = uint64_t (1) << 20;
	if (bytes % mebibyte == 0)
		return std::to_string (bytes / mebibyte) + " MiB";
	return std::to_string (bytes) + "-byte";
}

} // namespace tavik
