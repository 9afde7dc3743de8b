#include "helper_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavik {

bool HelperProcess::spawn (const std::string& program, const std::vector<std::string>& arguments, int childSocket,
                           std::string& error)
{
	finish (0);
	if (childSocket < 0)
	{
		error = "no socket for the editor helper";
		return false;
	}
	// dup2 onto itself would keep close-on-exec set, so the socket must
	// arrive from another number.
	int source = childSocket;
	int spare = -1;
	if (source == CHILD_SOCKET_FD)
	{
		spare = ::fcntl (childSocket, F_DUPFD_CLOEXEC, CHILD_SOCKET_FD + 1);
		if (spare < 0)
		{
			error = std::string ("cannot pass the editor socket: ") + std::strerror (errno);
			return false;
		}
		source = spare;
	}

	posix_spawn_file_actions_t actions;
	posix_spawnattr_t attributes;
	posix_spawn_file_actions_init (&actions);
	posix_spawnattr_init (&attributes);
	posix_spawn_file_actions_addopen (&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
	posix_spawn_file_actions_adddup2 (&actions, source, CHILD_SOCKET_FD);
	// Whatever the host has open (its project files, its audio devices,
	// other plug-ins' sockets) stays with the host.
	posix_spawn_file_actions_addclosefrom_np (&actions, CHILD_SOCKET_FD + 1);

	sigset_t none;
	sigset_t defaults;
	sigemptyset (&none);
	sigfillset (&defaults);
	sigdelset (&defaults, SIGKILL);
	sigdelset (&defaults, SIGSTOP);
	posix_spawnattr_setsigmask (&attributes, &none);
	posix_spawnattr_setsigdefault (&attributes, &defaults);
	posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

	std::vector<char*> argv;
	argv.reserve (arguments.size () + 1);
	for (const std::string& argument : arguments)
		argv.push_back (const_cast<char*> (argument.c_str ()));
	argv.push_back (nullptr);

	pid_t started = -1;
	const int failed = ::posix_spawn (&started, program.c_str (), &actions, &attributes, argv.data (), environ);
	posix_spawn_file_actions_destroy (&actions);
	posix_spawnattr_destroy (&attributes);
	if (spare >= 0)
		::close (spare);
	if (failed != 0)
	{
		error = "cannot start the editor helper " + program + ": " + std::strerror (failed);
		return false;
	}
	child = started;
	waitStatus = 0;
	return true;
}

bool HelperProcess::running ()
{
	if (child <= 0)
		return false;
	int statusNow = 0;
	const pid_t reaped = ::waitpid (child, &statusNow, WNOHANG);
	if (reaped == 0)
		return true;
	if (reaped < 0 && errno == EINTR)
		return true;
	// Reaped, or no longer ours to reap (a host that reaps every child
	// itself): either way it is gone.
	waitStatus = reaped == child ? statusNow : 0;
	child = -1;
	return false;
}

bool HelperProcess::waitFor (int milliseconds)
{
	const timespec step {0, 2 * 1000 * 1000};
	for (int waited = 0; running (); waited += 2)
	{
		if (waited >= milliseconds)
			return false;
		::nanosleep (&step, nullptr);
	}
	return true;
}

void HelperProcess::finish (int graceMilliseconds)
{
	if (child <= 0)
		return;
	if (waitFor (graceMilliseconds))
		return;
	::kill (child, SIGTERM);
	if (waitFor (graceMilliseconds))
		return;
	::kill (child, SIGKILL);
	int statusNow = 0;
	while (::waitpid (child, &statusNow, 0) < 0 && errno == EINTR)
	{
	}
	waitStatus = statusNow;
	child = -1;
}

} // namespace tavik
