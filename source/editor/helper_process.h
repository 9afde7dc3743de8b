// The editor helper as a child process: started with posix_spawn (safe in
// a host with many threads), handed one socket as descriptor 3 and nothing
// else of the host's. While the editor uses it, this object owns it (on the
// host's main thread); when the editor is done, the reaper takes it over
// and ends and reaps it in the background, so no zombie outlives the
// editor and the host never waits for it.
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
	~HelperProcess () { handOff (); }
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
	/** How the child ended ("exit status 3", "killed by signal 9"), once it
	 *  has; "still running", or "exit status unknown" when the host reaped
	 *  it (some hosts wait for every child themselves). */
	const std::string& ending () const { return endText; }

	/** Gives the child to the reaper (the caller has told it to leave by
	 *  closing its socket); from then on this object owns nothing. Never
	 *  blocks. */
	void handOff ();

private:
	pid_t child = -1;
	int pidfd = -1;
	std::string endText;
};

} // namespace tavik
