#include "zip_unpacker.h"

#include "bank_files.h"
#include "zip_directory.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <locale.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavik {

namespace {

constexpr const char* UNREADABLE = "the downloaded archive is not a readable zip";
constexpr const char* FORBIDDEN_KIND =
	"the downloaded archive holds an entry of a kind banks may not use (a device, pipe, socket or hard link): ";

class Descriptor
{
public:
	explicit Descriptor (int value = -1) : fd (value) {}
	~Descriptor () { reset (); }
	Descriptor (const Descriptor&) = delete;
	Descriptor& operator= (const Descriptor&) = delete;
	void reset (int value = -1)
	{
		if (fd >= 0)
			::close (fd);
		fd = value;
	}
	int get () const { return fd; }

private:
	int fd;
};

class ArchiveReader
{
public:
	ArchiveReader () : handle (archive_read_new ()) {}
	~ArchiveReader ()
	{
		if (handle)
			archive_read_free (handle);
	}
	ArchiveReader (const ArchiveReader&) = delete;
	ArchiveReader& operator= (const ArchiveReader&) = delete;
	archive* get () const { return handle; }

private:
	archive* handle;
};

// The archive reader converts entry names from UTF-8 into the character set
// of the calling thread's locale, which is ASCII until the program calls
// setlocale: every name beyond ASCII would fail to convert. While it lives,
// the calling thread (and only it) has a locale whose character set is
// UTF-8, the rest taken from the locale it had. Without a UTF-8 locale on
// the system the thread keeps its own.
class Utf8Names
{
public:
	Utf8Names ()
	{
		for (const char* name : {"C.UTF-8", "en_US.UTF-8"})
		{
			const locale_t base = ::duplocale (::uselocale (static_cast<locale_t> (0)));
			if (!base)
				return;
			utf8 = ::newlocale (LC_CTYPE_MASK, name, base);
			if (utf8)
			{
				previous = ::uselocale (utf8);
				return;
			}
			::freelocale (base);
		}
	}
	~Utf8Names ()
	{
		if (!utf8)
			return;
		::uselocale (previous);
		::freelocale (utf8);
	}
	Utf8Names (const Utf8Names&) = delete;
	Utf8Names& operator= (const Utf8Names&) = delete;

private:
	locale_t utf8 = static_cast<locale_t> (0);
	locale_t previous = static_cast<locale_t> (0);
};

// An entry's name for a message: printable, and short enough for one line.
std::string shownName (const char* name)
{
	std::string shown;
	for (const char* c = name; *c && shown.size () < 200; ++c)
		shown.push_back (static_cast<unsigned char> (*c) < 0x20 || *c == 0x7F ? '?' : *c);
	return "\"" + shown + "\"";
}

// The name's components without "." and empty ones; false when the name is
// absolute or holds a ".." component or a backslash.
bool splitContained (const char* name, std::vector<std::string>& parts)
{
	parts.clear ();
	if (name[0] == '/' || std::strchr (name, '\\'))
		return false;
	for (const char* p = name; *p;)
	{
		const char* end = std::strchr (p, '/');
		const std::string part (p, end ? static_cast<size_t> (end - p) : std::strlen (p));
		if (part == "..")
			return false;
		if (!part.empty () && part != ".")
			parts.push_back (part);
		if (!end)
			break;
		p = end + 1;
	}
	return true;
}

// Whether the unpacker passes an entry of these parts over unwritten.
bool isSkipped (const std::vector<std::string>& parts) { return parts.empty () || parts[0] == "__MACOSX"; }

// The reader presents an entry the directory records as a pipe as a
// regular file, so pipes are looked for in the directory before anything is
// written. False, with the refusal, when one is found.
bool refusePipes (const std::string& archive, uint32_t maxEntries, std::string& error)
{
	const Descriptor fd (::open (archive.c_str (), O_RDONLY | O_CLOEXEC));
	if (fd.get () < 0)
		return true; // the reader reports the archive it cannot open
	std::vector<std::string> parts;
	for (const ZipDirectoryEntry& entry : readZipDirectory (fd.get (), maxEntries))
		if (entry.unixType == S_IFIFO && !(splitContained (entry.name.c_str (), parts) && isSkipped (parts)))
		{
			error = FORBIDDEN_KIND + shownName (entry.name.c_str ());
			return false;
		}
	return true;
}

class Unpacker
{
public:
	Unpacker (archive* reader, int rootFd, const ZipUnpackLimits& unpackLimits, const std::atomic<bool>* stop)
		: a (reader), root (rootFd), limits (unpackLimits), cancel (stop)
	{
	}

	bool run (std::string& error)
	{
		for (uint32_t entries = 0;;)
		{
			if (cancelled ())
				return fail (error, "the download was cancelled");
			archive_entry* entry = nullptr;
			const int status = archive_read_next_header (a, &entry);
			if (status == ARCHIVE_EOF)
				return true;
			if (status < ARCHIVE_WARN)
				return fail (error, UNREADABLE);
			if (++entries > limits.maxEntries)
				return fail (error, "the downloaded archive holds more than " + std::to_string (limits.maxEntries) +
				                        " entries");
			if (!unpackEntry (entry, error))
				return false;
		}
	}

private:
	bool cancelled () const { return cancel && cancel->load (std::memory_order_relaxed); }

	static bool fail (std::string& error, const std::string& text)
	{
		error = text;
		return false;
	}

	bool unpackEntry (archive_entry* entry, std::string& error)
	{
		const char* name = archive_entry_pathname_utf8 (entry);
		if (!name)
			name = archive_entry_pathname (entry);
		if (!name)
			return fail (error, UNREADABLE);
		std::vector<std::string> parts;
		if (!splitContained (name, parts))
			return fail (error, "the downloaded archive holds an entry with an unsafe path: " + shownName (name));
		if (isSkipped (parts))
			return true;
		const mode_t type = archive_entry_filetype (entry);
		if (archive_entry_hardlink (entry) || (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK))
			return fail (error, FORBIDDEN_KIND + shownName (name));
		// A folder may exist already, made for an entry inside it; but the
		// archive may list it only once, as any other entry.
		if (type == AE_IFDIR && !listedFolders.insert (joinedParts (parts)).second)
			return duplicate (error, name);

		const size_t folders = type == AE_IFDIR ? parts.size () : parts.size () - 1;
		Descriptor folder (::fcntl (root, F_DUPFD_CLOEXEC, 0));
		for (size_t i = 0; i < folders && folder.get () >= 0; ++i)
		{
			if (::mkdirat (folder.get (), parts[i].c_str (), 0755) != 0 && errno != EEXIST)
				return writeFailed (error, name);
			// Never through a link: a link in the archive must not become a
			// way out for the entries after it.
			folder.reset (::openat (folder.get (), parts[i].c_str (), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
		}
		if (folder.get () < 0)
			return errno == ELOOP || errno == ENOTDIR
			           ? fail (error, "the downloaded archive holds an entry with an unsafe path: " + shownName (name))
			           : writeFailed (error, name);
		if (type == AE_IFDIR)
			return true;
		const std::string& leaf = parts.back ();
		if (type == AE_IFLNK)
			return makeLink (entry, folder.get (), leaf, name, error);
		return writeFile (folder.get (), leaf, name, error);
	}

	bool makeLink (archive_entry* entry, int folder, const std::string& leaf, const char* name, std::string& error)
	{
		const char* target = archive_entry_symlink_utf8 (entry);
		if (!target)
			target = archive_entry_symlink (entry);
		std::vector<std::string> parts;
		// Only links that lead further down: whatever folder the link ends
		// up in, its target then stays inside the bank.
		if (!target || !*target || !splitContained (target, parts) || parts.empty ())
			return fail (error, "the downloaded archive holds a link that leads out of the bank: " + shownName (name));
		if (::symlinkat (target, folder, leaf.c_str ()) != 0)
			return errno == EEXIST ? duplicate (error, name) : writeFailed (error, name);
		return true;
	}

	bool writeFile (int folder, const std::string& leaf, const char* name, std::string& error)
	{
		const Descriptor file (
			::openat (folder, leaf.c_str (), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
		if (file.get () < 0)
			return errno == EEXIST ? duplicate (error, name) : writeFailed (error, name);
		uint64_t fileEnd = 0; // blocks may come with gaps; the counted size is the furthest byte
		for (;;)
		{
			if (cancelled ())
				return fail (error, "the download was cancelled");
			const void* block = nullptr;
			size_t size = 0;
			la_int64_t offset = 0;
			const int status = archive_read_data_block (a, &block, &size, &offset);
			if (status == ARCHIVE_EOF)
				break;
			if (status < ARCHIVE_WARN || offset < 0)
				return fail (error, UNREADABLE);
			const uint64_t end = static_cast<uint64_t> (offset) + size;
			const uint64_t grows = end > fileEnd ? end - fileEnd : 0;
			if (grows > limits.maxBytes - total)
				return fail (error, "the downloaded archive unpacks to more than the " +
				                        byteLimitText (limits.maxBytes) + " limit");
			total += grows;
			fileEnd = end > fileEnd ? end : fileEnd;
			if (!writeAt (file.get (), static_cast<const char*> (block), size, static_cast<off_t> (offset)))
				return writeFailed (error, name);
		}
		if (::fdatasync (file.get ()) != 0)
			return writeFailed (error, name);
		return true;
	}

	static bool writeAt (int fd, const char* data, size_t size, off_t offset)
	{
		for (size_t done = 0; done < size;)
		{
			const ssize_t n = ::pwrite (fd, data + done, size - done, offset + static_cast<off_t> (done));
			if (n < 0 && errno == EINTR)
				continue;
			if (n <= 0)
				return false;
			done += static_cast<size_t> (n);
		}
		return true;
	}

	static std::string joinedParts (const std::vector<std::string>& parts)
	{
		std::string joined;
		for (const std::string& part : parts)
			joined += (joined.empty () ? "" : "/") + part;
		return joined;
	}

	static bool duplicate (std::string& error, const char* name)
	{
		return fail (error, "the downloaded archive holds " + shownName (name) + " more than once");
	}

	static bool writeFailed (std::string& error, const char* name)
	{
		return fail (error, std::string ("cannot unpack the downloaded archive (") + std::strerror (errno) + " at " +
		                        shownName (name) + ")");
	}

	archive* a;
	int root;
	const ZipUnpackLimits& limits;
	const std::atomic<bool>* cancel;
	uint64_t total = 0;
	std::set<std::string> listedFolders; // as their components joined by "/"
};

// Folders are flushed too, so a bank that reached the cache survives a
// power cut whole rather than as empty names.
bool flushFolders (const std::string& directory)
{
	std::error_code failure;
	std::vector<std::string> folders {directory};
	for (std::filesystem::recursive_directory_iterator it (directory, failure), end; !failure && it != end;
	     it.increment (failure))
		if (it->is_directory (failure) && !it->is_symlink (failure))
			folders.push_back (it->path ().string ());
	if (failure)
		return false;
	for (const std::string& folder : folders)
	{
		const Descriptor fd (::open (folder.c_str (), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
		if (fd.get () < 0 || ::fsync (fd.get ()) != 0)
			return false;
	}
	return true;
}

} // namespace

bool unpackZipArchive (const std::string& archivePath, const std::string& directory, const ZipUnpackLimits& limits,
                       std::string& error, const std::atomic<bool>* cancel)
{
	error.clear ();
	const Utf8Names names; // for as long as the reader converts names
	const ArchiveReader reader;
	const Descriptor root (::open (directory.c_str (), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
	if (!reader.get () || root.get () < 0)
	{
		error = "cannot unpack the downloaded archive";
		return false;
	}
	if (archive_read_support_format_zip (reader.get ()) != ARCHIVE_OK ||
	    archive_read_open_filename (reader.get (), archivePath.c_str (), 64 * 1024) != ARCHIVE_OK)
	{
		error = UNREADABLE;
		return false;
	}
	if (!refusePipes (archivePath, limits.maxEntries, error))
		return false;
	Unpacker unpacker (reader.get (), root.get (), limits, cancel);
	if (!unpacker.run (error))
		return false;
	if (!flushFolders (directory))
	{
		error = "cannot unpack the downloaded archive";
		return false;
	}
	return true;
}

} // namespace tavik
