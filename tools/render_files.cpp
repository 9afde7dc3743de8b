#include "render_files.h"

#include "json_tree.h"
#include "whole_write.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavik::tools {

std::string readFile (const std::string& path)
{
	std::ifstream in (path, std::ios::binary);
	if (!in)
		throw std::runtime_error (path + ": cannot read the file");
	std::ostringstream text;
	text << in.rdbuf ();
	return text.str ();
}

// A saved state, checked to be one JSON object before any plug-in sees it,
// so that a damaged file is named with where it breaks.
std::string readStateFile (const std::string& path)
{
	const std::string text = readFile (path);
	std::vector<char> copy (text.begin (), text.end ());
	copy.push_back (0);
	tavik::JsonReader reader (copy.data (), copy.data () + text.size ());
	tavik::JsonValue document;
	bool ok = reader.value (document, 0);
	if (ok)
		reader.skipWhitespace ();
	if (!ok || reader.cur != reader.end)
		throw std::runtime_error (path + ": state: not valid JSON (at byte " +
		                          std::to_string (reader.cur - copy.data ()) + ")");
	if (document.kind != tavik::JsonValue::Kind::Object)
		throw std::runtime_error (path + ": state: expected a JSON object");
	return text;
}

// A new temporary file beside `path`, to be renamed into place once it is
// complete; its name goes to `temporary`. mkstemp creates the file private:
// it gets the permissions of any new file.
int createBeside (const std::string& path, std::string& temporary, const char* what)
{
	temporary = path + ".part-XXXXXX";
	const int fd = mkstemp (temporary.data ());
	if (fd < 0)
		throw std::runtime_error (path + ": cannot create the " + what + " (" + std::strerror (errno) + ")");
	const mode_t mask = umask (0);
	umask (mask);
	fchmod (fd, 0666 & ~mask);
	return fd;
}

// Writes beside the target and renames into place, so that a failed write
// never leaves half a file where a good one was.
void writeFileAtomically (const std::string& path, const std::string& bytes)
{
	std::string temporary;
	const int fd = createBeside (path, temporary, "file");
	const bool written = tavik::writeWhole (fd, bytes.data (), bytes.size ());
	const bool closed = ::close (fd) == 0;
	if (!written || !closed || std::rename (temporary.c_str (), path.c_str ()) != 0)
	{
		const std::string reason = std::strerror (errno);
		std::remove (temporary.c_str ());
		throw std::runtime_error (path + ": cannot write the file (" + reason + ")");
	}
}

} // namespace tavik::tools
