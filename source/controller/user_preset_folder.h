// The folder of the musician's own presets, one standard preset file a
// preset: ~/.vst3/presets/Tavik Music/Zorv/<name>.vstpreset, where Linux
// hosts save and list a plug-in's user presets too. Names are checked
// before they become file names; writes never leave half a file behind.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavik {

class UserPresetFolder
{
public:
	static constexpr const char* EXTENSION = ".vstpreset";
	static constexpr size_t MAX_NAME_BYTES = 100;
	static constexpr size_t MAX_LISTED = 1000;

	/** The folder hosts look in: below $HOME, else the user's home from the
	 *  password database; empty when there is no absolute home. */
	static std::string standardLocation ();

	explicit UserPresetFolder (std::string folder) : root (std::move (folder)) {}
	const std::string& location () const { return root; }

	/** A preset name as it can be a file name: spaces trimmed at both ends,
	 *  1..100 bytes of valid UTF-8, no control characters, none of
	 *  / \ : * ? " < > |, not starting with a dot. False, with the reason as
	 *  a sentence in `why`, otherwise. */
	static bool checkName (const std::string& name, std::string& trimmed, std::string& why);

	/** The presets' names (file names without the extension, hidden files
	 *  and other files left out), sorted case-insensitively; at most
	 *  MAX_LISTED. */
	std::vector<std::string> names () const;

	/** The whole file of preset `name`, at most `maxBytes`. */
	bool read (const std::string& name, size_t maxBytes, std::string& bytes, std::string& error) const;
	/** The first `count` bytes of preset `name` (fewer when it is shorter). */
	bool head (const std::string& name, size_t count, std::string& bytes, std::string& error) const;
	/** Writes preset `name` (creating the folder). An existing preset is
	 *  kept unless `replace`; then `exists` is set and nothing is written. */
	bool write (const std::string& name, const std::string& bytes, bool replace, bool& exists,
	            std::string& error) const;
	/** Renames a preset; refused (with `exists`) when the new name is taken. */
	bool rename (const std::string& from, const std::string& to, bool& exists, std::string& error) const;
	bool remove (const std::string& name, std::string& error) const;

	std::string pathOf (const std::string& name) const { return root + "/" + name + EXTENSION; }

private:
	std::string root;
};

} // namespace tavik
