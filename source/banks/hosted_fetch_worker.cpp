#include "hosted_fetch_worker.h"

#include <atomic>
#include <exception>
#include <thread>

namespace tavik {

struct HostedFetchWorker::Job
{
	HostedFetchPlan plan;
	HostedFetchOptions options;
	std::atomic<bool> cancel {false};
	std::atomic<bool> finished {false};
	HostedFetchResult result; // written by the thread before `finished`
	std::thread thread;

	void run () noexcept
	{
		try
		{
			result.ok = downloadHostedBank (plan, options, result.bankDirectory, result.error, &cancel);
		}
		catch (const std::exception&)
		{
			result = HostedFetchResult ();
			result.error = "download failed";
		}
		finished.store (true, std::memory_order_release);
	}

	~Job ()
	{
		if (thread.joinable ())
			thread.join ();
	}
};

HostedFetchWorker::HostedFetchWorker () = default;

HostedFetchWorker::~HostedFetchWorker ()
{
	cancel ();
	for (const std::unique_ptr<Job>& job : retired)
		job->cancel.store (true);
	retired.clear (); // each job joins its thread
}

bool HostedFetchWorker::start (const HostedFetchPlan& plan, const HostedFetchOptions& options, std::string& error)
{
	cancel ();
	reapRetired ();
	try
	{
		auto job = std::make_unique<Job> ();
		job->plan = plan;
		job->options = options;
		Job* running = job.get ();
		job->thread = std::thread ([running] { running->run (); });
		current = std::move (job);
		return true;
	}
	catch (const std::exception&)
	{
		error = "cannot start the download";
		return false;
	}
}

void HostedFetchWorker::cancel ()
{
	if (!current)
		return;
	current->cancel.store (true);
	try
	{
		retired.push_back (std::move (current));
	}
	catch (const std::exception&)
	{
		current.reset (); // no room to let it end on its own: wait for it here
	}
}

bool HostedFetchWorker::poll (HostedFetchResult& result)
{
	reapRetired ();
	if (!current || !current->finished.load (std::memory_order_acquire))
		return false;
	result = std::move (current->result);
	current.reset (); // the thread has finished: the join is immediate
	return true;
}

void HostedFetchWorker::reapRetired ()
{
	for (size_t i = 0; i < retired.size ();)
		if (retired[i]->finished.load (std::memory_order_acquire))
			retired.erase (retired.begin () + static_cast<std::ptrdiff_t> (i));
		else
			++i;
}

} // namespace tavik
