// A helper program as a child process (the editor's page, the bank
// download): started with posix_spawn (safe in a host with many threads),
// handed the descriptors it is meant to have and nothing else of the
// host's. While the plug-in uses it, this object owns it (on the host's
// main thread); when the plug-in is done, the reaper takes it over and ends
// and reaps it in the background, so no zombie outlives its use and the
// host never waits for it.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavik {

/** What a helper is called in messages and in the log: "tavik-plugin-shell:
 *  <topic>: the <name> …". Both texts live as long as the program. */
struct HelperKind
{
	const char* topic; // "editor"
	const char* name;  // "editor helper"
};

class HelperProcess
{
public:
	/** A descriptor the child gets: the parent's `parent` becomes the
	 *  child's `child` (3 or above). `what` names it in messages ("editor
	 *  socket"). */
	struct Descriptor
	{
		int child;
		int parent;
		const char* what;
	};

	explicit HelperProcess (HelperKind helperKind) : kind (helperKind) {}
	~HelperProcess () { handOff (); }
	HelperProcess (const HelperProcess&) = delete;
	HelperProcess& operator= (const HelperProcess&) = delete;

	/** Starts `program` with `arguments` (argv[0] included). The child gets
	 *  /dev/null as standard input, the parent's standard output and error,
	 *  `descriptors`, no other descriptor, default signal handling and an
	 *  empty signal mask. False with `error` set when it cannot be started. */
	bool spawn (const std::string& program, const std::vector<std::string>& arguments,
	            const std::vector<Descriptor>& descriptors, std::string& error);

	pid_t pid () const { return child; }
	/** Reaps without waiting; false once the child has ended. */
	bool running ();
	/** How the child ended ("exit status 3", "killed by signal 9"), once it
	 *  has; "still running", or "exit status unknown" when the host reaped
	 *  it (some hosts wait for every child themselves). */
	const std::string& ending () const { return endText; }

	/** Ends the child at once (SIGKILL); running() or the reaper reaps it.
	 *  Never blocks. */
	void kill ();

	/** Gives the child to the reaper (the caller has told it to leave, or
	 *  killed it); from then on this object owns nothing. `afterReap`, when
	 *  given, runs on the reaper's thread once the child is reaped (at once
	 *  when it already is). Never blocks. */
	void handOff (std::function<void ()> afterReap = nullptr);

private:
	HelperKind kind;
	pid_t child = -1;
	int pidfd = -1;
	std::string endText;
};

} // namespace tavik
