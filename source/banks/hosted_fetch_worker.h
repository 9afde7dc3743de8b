// Runs hosted bank downloads outside the host's process, in the download
// helper (zorv-bank-fetch, beside the module): a download may take
// minutes, and the host's user interface must not wait for it; and the
// bytes it reads come from the internet, which the host's process should
// never parse. The controller starts a fetch and picks up its result on a
// later tick.
#pragma once

#include "hosted_bank_fetch.h"
#include "hosted_bank_staging.h"
#include "hosted_fetch_protocol.h"

#include <memory>
#include <string>

namespace tavik {

/** Used from one thread (the controller's), and never blocks it: each
 *  fetch is one helper process, which the plug-in's reaper thread reaps
 *  once the worker is done with it. */
class HostedFetchWorker
{
public:
	HostedFetchWorker ();
	/** Cancels what is running. */
	~HostedFetchWorker ();
	HostedFetchWorker (const HostedFetchWorker&) = delete;
	HostedFetchWorker& operator= (const HostedFetchWorker&) = delete;

	/** Starts a download in a helper. A fetch still running is cancelled
	 *  first and its result dropped. False with `error` when the helper is
	 *  missing or cannot be started. */
	bool start (const HostedFetchPlan& plan, const HostedFetchOptions& options, std::string& error);
	/** Kills the running fetch's helper without waiting; its result is
	 *  dropped and its staging folder removed once it is reaped. */
	void cancel ();
	bool busy () const { return current != nullptr; }
	/** True once per finished fetch, with its result: the helper's answer,
	 *  or why there was none (it died, or outlived the download's time
	 *  limit and was killed). Never blocks. */
	bool poll (HostedFetchResult& result);

	/** "zorv-bank-fetch" beside the module; empty outside a module. */
	static std::string helperBesideModule ();

private:
	struct Job;
	std::unique_ptr<Job> current;
};

} // namespace tavik
