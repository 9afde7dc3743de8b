// Runs a command line through the shell and collects its exit code and output.
#pragma once

#include <string>

namespace tavik::test {

struct CommandResult
{
	int exitCode = -1;
	std::string out;
	std::string err;
};

CommandResult runCommand (const std::string& commandLine);

/** A path quoted for the shell. */
std::string shellQuote (const std::string& text);

} // namespace tavik::test
