#include "helper_process.h"

#include "helper_reaper.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavik {

namespace {

// The parent's copies of what the child gets, moved above every number the
// child gets them as: dup2 onto itself would keep close-on-exec set, and one
// descriptor's source must not be another's target.
class SpareDescriptors
{
public:
	~SpareDescriptors ()
	{
		for (const int fd : fds)
			::close (fd);
	}
	std::vector<int> fds;
};

} // namespace

bool HelperProcess::spawn (const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<Descriptor>& descriptors, std::string& error)
{
	handOff ();
	int highest = STDERR_FILENO;
	for (const Descriptor& d : descriptors)
		highest = std::max (highest, d.child);
	SpareDescriptors spares;
	for (const Descriptor& d : descriptors)
	{
		const int spare = ::fcntl (d.parent, F_DUPFD_CLOEXEC, highest + 1);
		if (spare < 0)
		{
			error = std::string ("cannot pass the ") + d.what + ": " + std::strerror (errno);
			return false;
		}
		spares.fds.push_back (spare);
	}

	posix_spawn_file_actions_t actions;
	posix_spawnattr_t attributes;
	posix_spawn_file_actions_init (&actions);
	posix_spawnattr_init (&attributes);
	posix_spawn_file_actions_addopen (&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
	for (size_t i = 0; i < descriptors.size (); ++i)
		posix_spawn_file_actions_adddup2 (&actions, spares.fds[i], descriptors[i].child);
	// Whatever the host has open (its project files, its audio devices,
	// other plug-ins' sockets) stays with the host.
	posix_spawn_file_actions_addclosefrom_np (&actions, highest + 1);

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
	if (failed != 0)
	{
		error = std::string ("cannot start the ") + kind.name + " " + program + ": " + std::strerror (failed);
		return false;
	}
	child = started;
	// The descriptor names this very process from now on, whatever happens
	// to its pid (a host that reaps children itself frees it for reuse).
	// -1 on kernels without it (then the pid is used, as before).
	pidfd = static_cast<int> (::syscall (SYS_pidfd_open, started, 0));
	endText = "still running";
	return true;
}

bool HelperProcess::running ()
{
	if (child <= 0)
		return false;
	for (;;)
	{
		siginfo_t info {};
		int result = pidfd >= 0 ? ::waitid (P_PIDFD, static_cast<id_t> (pidfd), &info, WEXITED | WNOHANG)
		                        : ::waitid (P_PID, static_cast<id_t> (child), &info, WEXITED | WNOHANG);
		if (result < 0 && errno == EINVAL && pidfd >= 0)
		{
			// A kernel without waitid on descriptors: wait for the pid.
			::close (pidfd);
			pidfd = -1;
			continue;
		}
		if (result < 0 && errno == EINTR)
			continue;
		if (result == 0 && info.si_pid == 0)
			return true;
		char text[64];
		if (result != 0)
			std::snprintf (text, sizeof (text), "exit status unknown"); // the host reaps every child itself
		else if (info.si_code == CLD_EXITED)
			std::snprintf (text, sizeof (text), "exit status %d", info.si_status);
		else
			std::snprintf (text, sizeof (text), "killed by signal %d", info.si_status);
		endText = text;
		if (pidfd >= 0)
			::close (pidfd);
		pidfd = -1;
		child = -1;
		return false;
	}
}

void HelperProcess::kill ()
{
	if (child <= 0)
		return;
	if (pidfd >= 0 && ::syscall (SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0)
		return;
	if (pidfd >= 0 && errno != ENOSYS)
		return; // ESRCH: it has ended already
	// No descriptor: the child is not reaped yet (only this object reaps
	// it), so the pid is still its own.
	::kill (child, SIGKILL);
}

void HelperProcess::handOff (std::function<void ()> afterReap)
{
	if (child > 0 || afterReap)
		HelperReaper::instance ().adopt (child, pidfd, kind, std::move (afterReap));
	else if (pidfd >= 0)
		::close (pidfd);
	child = -1;
	pidfd = -1;
}

} // namespace tavik
