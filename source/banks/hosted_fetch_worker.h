// Runs hosted bank downloads off the controller's thread: a download may
// take minutes, and the host's user interface must not wait for it. The
// controller starts a fetch and picks up its result on a later tick.
#pragma once

#include "hosted_bank_fetch.h"

#include <memory>
#include <string>
#include <vector>

namespace tavik {

struct HostedFetchResult
{
	bool ok = false;
	std::string bankDirectory;
	std::string error;
};

/** Used from one thread (the controller's); the download itself runs on a
 *  thread of its own per fetch. */
class HostedFetchWorker
{
public:
	HostedFetchWorker ();
	/** Cancels what is running and waits for it (about a second at most). */
	~HostedFetchWorker ();
	HostedFetchWorker (const HostedFetchWorker&) = delete;
	HostedFetchWorker& operator= (const HostedFetchWorker&) = delete;

	/** Starts a download. A fetch still running is cancelled first and its
	 *  result dropped. False with `error` when no thread could be started. */
	bool start (const HostedFetchPlan& plan, const HostedFetchOptions& options, std::string& error);
	/** Stops the running fetch without waiting; its result is dropped. */
	void cancel ();
	bool busy () const { return current != nullptr; }
	/** True once per finished fetch, with its result. Also reaps cancelled
	 *  fetches that have ended. Never blocks. */
	bool poll (HostedFetchResult& result);

private:
	struct Job;
	void reapRetired ();

	std::unique_ptr<Job> current;
	std::vector<std::unique_ptr<Job>> retired;
};

} // namespace tavik
