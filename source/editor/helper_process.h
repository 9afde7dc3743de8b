// The editor helper as a child process: started with posix_spawn (safe in
// a host with many threads), handed one socket as descriptor 3 and nothing
// else of the host's, and always reaped, so no zombie outlives the editor.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace tavik {

class HelperProcess
{
public:
	/** The descriptor the child finds its socket on. */
	static constexpr int CHILD_SOCKET_FD = 3;

	HelperProcess () = default;
	~HelperProcess () { finish (0); }
	HelperProcess (const HelperProcess&) = delete;
	HelperProcess& operator= (const HelperProcess&) = delete;

	/** Starts `program` with `arguments` (argv[0] included). The child gets
	 *  /dev/null as standard input, the parent's standard output and error,
	 *  `childSocket` as descriptor 3, no other descriptor, default signal
	 *  handling and an empty signal mask. False with `error` set when it
	 *  cannot be started. */
	bool spawn (const std::string& program, const std::vector<std::string>& arguments, int childSocket,
	            std::string& error);

	pid_t pid () const { return child; }
	/** Reaps without waiting; false once the child has ended. */
	bool running ();
	/** The child's wait status once it has ended. */
	int status () const { return waitStatus; }

	/** Ends the child: lets it leave by itself for up to `graceMilliseconds`,
	 *  then asks it (SIGTERM) for as long again, then kills it. Returns once
	 *  it is reaped. */
	void finish (int graceMilliseconds);

private:
	bool waitFor (int milliseconds);

	pid_t child = -1;
	int waitStatus = 0;
};

} // namespace tavik
