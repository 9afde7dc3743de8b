// Paths inside a bank directory. Manifests name their files by relative
// paths; a bank comes from elsewhere, so none of them may lead out of its
// directory, neither by their text nor through symbolic links on disk.
#pragma once

#include <string>

namespace tavik {

/** `relative` itself when it is absolute or `base` is empty, `base` when
 *  `relative` is empty, else the two joined with exactly one "/". */
std::string joinPath (const std::string& base, const std::string& relative);

/** False for an empty path, an absolute one, one holding a backslash or one
 *  with a ".." component; true otherwise ("." and empty components are
 *  fine). Looks only at the text. */
bool pathIsContained (const std::string& relative);

enum class BankPathResolution
{
	Inside,     // resolves to a place inside the bank directory
	Outside,    // resolves, through a symbolic link, to a place outside it
	Unresolved, // does not exist (or the bank directory does not)
};

/** Resolves every symbolic link of the bank directory and of `relative`
 *  (a path that passed pathIsContained) below it. `resolved` receives the
 *  resolved file path when it lies inside the resolved directory, compared
 *  component by component, and is cleared otherwise. */
BankPathResolution resolveBankPath (const std::string& directory, const std::string& relative, std::string& resolved);

} // namespace tavik
