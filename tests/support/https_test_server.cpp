#include "https_test_server.h"

#include "run_command.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavik::test {

namespace {

const char* const SERVER_SCRIPT = ZORV_TEST_SOURCE_DIR "/fixtures/https_bank_server.py";

// A CA and a server certificate for 127.0.0.1 signed by it (P-256 keys:
// quick to make).
bool makeCertificates (const std::string& dir, std::string& why)
{
	const std::string q = shellQuote (dir);
	const std::string commands =
		"cd " + q +
		" && printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\nbasicConstraints=CA:FALSE\\n' > server.ext"
		" && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem"
		"    -days 2 -subj '/CN=Zorv test CA' -addext basicConstraints=critical,CA:TRUE"
		"    -addext keyUsage=critical,keyCertSign,cRLSign"
		" && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key"
		"    -out server.csr -subj '/CN=127.0.0.1'"
		" && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2"
		"    -extfile server.ext";
	const CommandResult made = runCommand ("(" + commands + ") >/dev/null");
	if (made.exitCode != 0)
		why = "openssl could not make the test certificates: " + made.err;
	return made.exitCode == 0;
}

// Reads the server's "https=P http=Q" line, waiting at most 10 s.
bool readPorts (int fd, int& https, int& http)
{
	std::string line;
	for (int waited = 0; waited < 100 && line.find ('\n') == std::string::npos;)
	{
		pollfd p {fd, POLLIN, 0};
		const int ready = ::poll (&p, 1, 100);
		if (ready == 0)
		{
			++waited;
			continue;
		}
		char buffer[128];
		const ssize_t n = ready > 0 ? ::read (fd, buffer, sizeof buffer) : -1;
		if (n <= 0)
			return false;
		line.append (buffer, static_cast<size_t> (n));
	}
	return std::sscanf (line.c_str (), "https=%d http=%d", &https, &http) == 2 && https > 0 && http > 0;
}

} // namespace

HttpsTestServer::HttpsTestServer (const std::string& servedFolder, const std::string& scratch)
	: ca (scratch + "/ca.pem"), logFile (scratch + "/requests.log")
{
	if (!makeCertificates (scratch, why))
		return;
	std::ofstream (logFile).close ();
	int out[2], in[2];
	if (::pipe2 (out, O_CLOEXEC) != 0)
		return;
	if (::pipe2 (in, O_CLOEXEC) != 0)
	{
		::close (out[0]);
		::close (out[1]);
		return;
	}
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init (&actions);
	posix_spawn_file_actions_adddup2 (&actions, in[0], 0);
	posix_spawn_file_actions_adddup2 (&actions, out[1], 1);
	const std::string cert = scratch + "/server.pem", key = scratch + "/server.key";
	const char* argv[] = {"python3", SERVER_SCRIPT,         "--cert", cert.c_str (),    "--key", key.c_str (),
	                      "--root",  servedFolder.c_str (), "--log",  logFile.c_str (), nullptr};
	const int spawned = posix_spawnp (&child, "python3", &actions, nullptr, const_cast<char* const*> (argv), environ);
	posix_spawn_file_actions_destroy (&actions);
	::close (in[0]);
	::close (out[1]);
	input = in[1];
	if (spawned != 0)
	{
		child = -1;
		why = "cannot start python3";
	}
	else if (!readPorts (out[0], httpsPort, httpPort))
	{
		httpsPort = httpPort = 0;
		why = "the test server did not start";
	}
	::close (out[0]);
}

HttpsTestServer::~HttpsTestServer ()
{
	if (input >= 0)
		::close (input);
	if (child > 0)
	{
		::kill (child, SIGKILL);
		while (::waitpid (child, nullptr, 0) < 0 && errno == EINTR)
		{
		}
	}
}

std::string HttpsTestServer::url (const std::string& path) const
{
	return "https://127.0.0.1:" + std::to_string (httpsPort) + path;
}

std::string HttpsTestServer::plainUrl (const std::string& path) const
{
	return "http://127.0.0.1:" + std::to_string (httpPort) + path;
}

std::string HttpsTestServer::requestLog () const
{
	std::ifstream in (logFile);
	return std::string (std::istreambuf_iterator<char> (in), {});
}

} // namespace tavik::test
