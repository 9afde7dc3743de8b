#include "run_command.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tavik::test {

CommandResult runCommand (const std::string& commandLine)
{
	// Tests run in parallel processes: each run gets its own stderr file.
	static std::atomic<int> runs {0};
	const std::string errFile =
		testing::TempDir () + "command_stderr_" + std::to_string (getpid ()) + "_" + std::to_string (++runs) + ".txt";
	CommandResult result;
	FILE* pipe = popen ((commandLine + " 2>" + shellQuote (errFile)).c_str (), "r");
	if (!pipe)
		return result;
	std::array<char, 4096> buffer;
	size_t n;
	while ((n = fread (buffer.data (), 1, buffer.size (), pipe)) > 0)
		result.out.append (buffer.data (), n);
	const int status = pclose (pipe);
	result.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
	std::ifstream err (errFile);
	result.err.assign (std::istreambuf_iterator<char> (err), {});
	std::remove (errFile.c_str ());
	return result;
}

std::string shellQuote (const std::string& text)
{
	std::string quoted = "'";
	for (const char c : text)
	{
		if (c == '\'')
			quoted += "'\\''";
		else
			quoted += c;
	}
	return quoted + "'";
}

} // namespace tavik::test
