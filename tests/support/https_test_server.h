// A real HTTPS server on loopback for the hosted bank tests and benchmark:
// a test CA and a server certificate made with openssl for this server
// alone, and a Python server that serves a folder and misbehaves on cue
// (see fixtures/https_bank_server.py). Stopped when the object goes.
#pragma once

#include <string>
#include <sys/types.h>

namespace tavik::test {

class HttpsTestServer
{
public:
	/** Serves the files of `servedFolder` under "/files/". `scratch` is a
	 *  folder of the caller's for the certificates and the request log. */
	HttpsTestServer (const std::string& servedFolder, const std::string& scratch);
	~HttpsTestServer ();
	HttpsTestServer (const HttpsTestServer&) = delete;
	HttpsTestServer& operator= (const HttpsTestServer&) = delete;

	/** False, with `failure` set, when the server could not be started. */
	bool running () const { return httpsPort > 0; }
	const std::string& failure () const { return why; }

	/** "https://127.0.0.1:PORT" + path. */
	std::string url (const std::string& path) const;
	/** The plain HTTP listener's address + path. */
	std::string plainUrl (const std::string& path) const;
	/** The CA bundle that trusts this server (and nothing else). */
	const std::string& caFile () const { return ca; }
	/** Every request so far, one "SCHEME METHOD PATH" line each. */
	std::string requestLog () const;

private:
	std::string ca;
	std::string logFile;
	std::string why;
	pid_t child = -1;
	int input = -1;
	int httpsPort = 0;
	int httpPort = 0;
};

} // namespace tavik::test
