#include "user_preset_folder.h"

#include "whole_write.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tavik {

namespace {

bool isAbsolute (const char* path) { return path && path[0] == '/'; }

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool validUtf8 (const std::string& text)
{
	for (size_t i = 0; i < text.size ();)
	{
		const auto c = static_cast<unsigned char> (text[i]);
		size_t length = 0;
		uint32_t code = 0;
		if (c < 0x80)
		{
			++i;
			continue;
		}
		if (c >= 0xC2 && c <= 0xDF)
			length = 2, code = c & 0x1F;
		else if (c >= 0xE0 && c <= 0xEF)
			length = 3, code = c & 0x0F;
		else if (c >= 0xF0 && c <= 0xF4)
			length = 4, code = c & 0x07;
		else
			return false;
		if (i + length > text.size ())
			return false;
		for (size_t k = 1; k < length; ++k)
		{
			const auto next = static_cast<unsigned char> (text[i + k]);
			if ((next & 0xC0) != 0x80)
				return false;
			code = (code << 6) | (next & 0x3F);
		}
		if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
		    (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
			return false;
		i += length;
	}
	return true;
}

std::string lowerAscii (std::string text)
{
	for (char& c : text)
		if (c >= 'A' && c <= 'Z')
			c = static_cast<char> (c - 'A' + 'a');
	return text;
}

std::string errnoText (const char* what, int code) { return std::string (what) + ": " + std::strerror (code); }

// Writes `bytes` to a new file beside `target`, flushed to disk; the
// caller moves it into place.
bool writeTemporary (const std::string& target, const std::string& bytes, std::string& temporary, std::string& error)
{
	std::random_device random;
	char suffix[32];
	std::snprintf (suffix, sizeof suffix, ".%08x.part", random ());
	temporary = target + suffix;
	const int fd = ::open (temporary.c_str (), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
	if (fd < 0)
	{
		error = errnoText ("cannot write the preset", errno);
		return false;
	}
	if (!writeWhole (fd, bytes.data (), bytes.size ()))
	{
		error = errnoText ("cannot write the preset", errno);
		::close (fd);
		::unlink (temporary.c_str ());
		return false;
	}
	if (::fsync (fd) != 0 || ::close (fd) != 0)
	{
		error = errnoText ("cannot write the preset", errno);
		::unlink (temporary.c_str ());
		return false;
	}
	return true;
}

// Moves `from` to `to` unless `to` exists (a hard link is the one move
// that refuses an existing target on every file system).
bool moveWithoutReplacing (const std::string& from, const std::string& to, bool& exists, std::string& error)
{
	if (::link (from.c_str (), to.c_str ()) != 0)
	{
		const int code = errno;
		exists = code == EEXIST;
		error = exists ? "a preset of that name exists already" : errnoText ("cannot store the preset", code);
		return false;
	}
	::unlink (from.c_str ());
	return true;
}

} // namespace

std::string UserPresetFolder::standardLocation ()
{
	std::string home;
	if (const char* variable = std::getenv ("HOME"); isAbsolute (variable))
		home = variable;
	else
	{
		passwd entry {};
		passwd* found = nullptr;
		char buffer[4096];
		if (::getpwuid_r (::getuid (), &entry, buffer, sizeof buffer, &found) == 0 && found &&
		    isAbsolute (found->pw_dir))
			home = found->pw_dir;
	}
	if (home.empty ())
		return home;
	while (home.size () > 1 && home.back () == '/')
		home.pop_back ();
	return home + "/.vst3/presets/Tavik Music/Zorv";
}

bool UserPresetFolder::checkName (const std::string& name, std::string& trimmed, std::string& why)
{
	const size_t first = name.find_first_not_of (' ');
	const size_t last = name.find_last_not_of (' ');
	trimmed = first == std::string::npos ? std::string () : name.substr (first, last - first + 1);
	if (trimmed.empty ())
		why = "A preset needs a name.";
	else if (trimmed.size () > MAX_NAME_BYTES)
		why = "That name is too long; keep it to 100 characters or fewer.";
	else if (!validUtf8 (trimmed))
		why = "That name holds characters that are not valid text.";
	else if (std::any_of (trimmed.begin (), trimmed.end (),
	                      [] (char c) { return static_cast<unsigned char> (c) < 0x20 || c == 0x7F; }))
		why = "That name holds control characters.";
	else if (trimmed.find_first_of ("/\\:*?\"<>|") != std::string::npos)
		why = "A preset name cannot hold any of / \\ : * ? \" < > |";
	else if (trimmed[0] == '.')
		why = "A preset name cannot start with a dot.";
	else
		return true;
	return false;
}

std::vector<std::string> UserPresetFolder::names () const
{
	std::vector<std::string> found;
	DIR* folder = root.empty () ? nullptr : ::opendir (root.c_str ());
	if (!folder)
		return found;
	const size_t extension = std::strlen (EXTENSION);
	while (const dirent* entry = ::readdir (folder))
	{
		const std::string file = entry->d_name;
		if (file.size () <= extension || file[0] == '.' ||
		    file.compare (file.size () - extension, extension, EXTENSION))
			continue;
		std::string name = file.substr (0, file.size () - extension);
		std::string trimmed;
		std::string why;
		// A file a host or another tool named in a way we would refuse
		// cannot be loaded by name safely; it is left out.
		if (!checkName (name, trimmed, why) || trimmed != name)
			continue;
		struct stat info
		{
		};
		if (::fstatat (::dirfd (folder), entry->d_name, &info, 0) != 0 || !S_ISREG (info.st_mode))
			continue;
		found.push_back (std::move (name));
	}
	::closedir (folder);
	std::sort (found.begin (), found.end (), [] (const std::string& a, const std::string& b) {
		const std::string la = lowerAscii (a);
		const std::string lb = lowerAscii (b);
		return la != lb ? la < lb : a < b;
	});
	if (found.size () > MAX_LISTED)
		found.resize (MAX_LISTED);
	return found;
}

bool UserPresetFolder::read (const std::string& name, size_t maxBytes, std::string& bytes, std::string& error) const
{
	bytes.clear ();
	const int fd = ::open (pathOf (name).c_str (), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
	if (fd < 0)
	{
		error = errno == ENOENT ? "there is no preset of that name" : errnoText ("cannot open the preset", errno);
		return false;
	}
	struct stat info
	{
	};
	if (::fstat (fd, &info) != 0 || !S_ISREG (info.st_mode))
	{
		::close (fd);
		error = "the preset is not a plain file";
		return false;
	}
	if (static_cast<unsigned long long> (info.st_size) > maxBytes)
	{
		::close (fd);
		error = "the file is too large to be a preset (" + std::to_string (info.st_size) + " bytes)";
		return false;
	}
	char buffer[65536];
	for (;;)
	{
		const ssize_t n = ::read (fd, buffer, sizeof buffer);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0)
		{
			error = errnoText ("cannot read the preset", errno);
			::close (fd);
			return false;
		}
		if (n == 0)
			break;
		if (bytes.size () + static_cast<size_t> (n) > maxBytes)
		{
			::close (fd);
			error = "the file is too large to be a preset";
			return false;
		}
		bytes.append (buffer, static_cast<size_t> (n));
	}
	::close (fd);
	return true;
}

bool UserPresetFolder::head (const std::string& name, size_t count, std::string& bytes, std::string& error) const
{
	bytes.assign (count, '\0');
	const int fd = ::open (pathOf (name).c_str (), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
	if (fd < 0)
	{
		error = errnoText ("cannot open the preset", errno);
		bytes.clear ();
		return false;
	}
	size_t done = 0;
	while (done < count)
	{
		const ssize_t n = ::read (fd, &bytes[done], count - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			break;
		done += static_cast<size_t> (n);
	}
	::close (fd);
	bytes.resize (done);
	return true;
}

bool UserPresetFolder::write (const std::string& name, const std::string& bytes, bool replace, bool& exists,
                              std::string& error) const
{
	exists = false;
	if (root.empty ())
	{
		error = "there is no home folder to keep presets in";
		return false;
	}
	std::error_code made;
	std::filesystem::create_directories (root, made);
	if (made)
	{
		error = "cannot make the preset folder " + root + ": " + made.message ();
		return false;
	}
	const std::string target = pathOf (name);
	std::string temporary;
	if (!writeTemporary (target, bytes, temporary, error))
		return false;
	if (!replace)
	{
		if (moveWithoutReplacing (temporary, target, exists, error))
			return true;
		::unlink (temporary.c_str ());
		return false;
	}
	if (::rename (temporary.c_str (), target.c_str ()) != 0)
	{
		error = errnoText ("cannot store the preset", errno);
		::unlink (temporary.c_str ());
		return false;
	}
	return true;
}

bool UserPresetFolder::rename (const std::string& from, const std::string& to, bool& exists, std::string& error) const
{
	exists = false;
	if (from == to)
		return true;
	const std::string source = pathOf (from);
	struct stat info
	{
	};
	if (::lstat (source.c_str (), &info) != 0 || !S_ISREG (info.st_mode))
	{
		error = "there is no preset of that name";
		return false;
	}
	// A change of case only: on a case-insensitive file system the target
	// "exists" already, so it moves by way of a temporary name.
	if (lowerAscii (from) == lowerAscii (to))
	{
		const std::string step = root + "/." + std::to_string (::getpid ()) + ".rename";
		if (::rename (source.c_str (), step.c_str ()) != 0)
		{
			error = errnoText ("cannot rename the preset", errno);
			return false;
		}
		if (moveWithoutReplacing (step, pathOf (to), exists, error))
			return true;
		::rename (step.c_str (), source.c_str ());
		return false;
	}
	return moveWithoutReplacing (source, pathOf (to), exists, error);
}

bool UserPresetFolder::remove (const std::string& name, std::string& error) const
{
	if (::unlink (pathOf (name).c_str ()) != 0)
	{
		error = errno == ENOENT ? "there is no preset of that name" : errnoText ("cannot delete the preset", errno);
		return false;
	}
	return true;
}

} // namespace tavik
