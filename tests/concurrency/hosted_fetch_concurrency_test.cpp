// The hosted bank worker's hand-offs between the controller's thread and
// the reaper's, run under ThreadSanitizer with the other hand-offs: fetch
// helpers started and killed in quick succession, results read while the
// reaper is still reaping killed helpers and removing their staging
// folders.
#include "bank_files.h"
#include "helper_reaper.h"
#include "hosted_fetch_worker.h"
#include "https_test_server.h"
#include "scoped_variable.h"
#include "scratch_bank.h"
#include "temp_directory.h"
#include "zip_bytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

namespace {

using namespace tavik;

std::string readText (const std::string& path)
{
	std::ifstream in (path, std::ios::binary);
	return std::string (std::istreambuf_iterator<char> (in), {});
}

TEST (HostedFetchWorkerStress, CancelledFetchesNeverReportAndTheLastOneDoes)
{
	test::TempDirectory temp;
	const test::ScopedVariable dataHome ("XDG_DATA_HOME", temp.path ("data").c_str ());
	const test::ScopedVariable proxy ("https_proxy", nullptr), upperProxy ("HTTPS_PROXY", nullptr);
	test::writeScratchBank (temp, "source");
	const std::string archive =
		test::zipBytes ({test::ZipEntry::file ("bank.json", readText (temp.path ("source/bank.json"))),
	                     test::ZipEntry::file ("inst.json", readText (temp.path ("source/inst.json"))),
	                     test::ZipEntry::file ("hit.wav", readText (temp.path ("source/hit.wav")))});
	temp.write ("served/bank.zip", archive);
	temp.write ("server/.keep", "");
	test::HttpsTestServer server (temp.path ("served"), temp.path ("server"));
	ASSERT_TRUE (server.running ()) << server.failure ();

	HostedFetchOptions options;
	options.download.caFile = server.caFile ();
	options.helperPath = ZORV_BANK_FETCH_PATH;
	const std::string digest = sha256Hex (reinterpret_cast<const uint8_t*> (archive.data ()), archive.size ());
	const auto plan = [&] (const std::string& path, const std::string& pin) {
		HostedFetchPlan p;
		std::string cached, error;
		EXPECT_EQ (prepareHostedFetch (server.url (path), pin, p, cached, error), HostedFetchStart::Download);
		return p;
	};

	{
		HostedFetchWorker worker;
		HostedFetchResult result;
		std::string error;
		for (int i = 0; i < 12; ++i)
		{
			ASSERT_TRUE (
				worker.start (plan (i % 2 ? "/stall" : "/files/bank.zip", std::string (64, 'e')), options, error))
				<< error;
			if (i % 3 == 0)
				std::this_thread::sleep_for (std::chrono::milliseconds (5));
			worker.cancel ();
			EXPECT_FALSE (worker.poll (result));
		}
		ASSERT_TRUE (worker.start (plan ("/files/bank.zip", digest), options, error)) << error;
		const auto until = std::chrono::steady_clock::now () + std::chrono::seconds (20);
		bool finished = false;
		while (!(finished = worker.poll (result)) && std::chrono::steady_clock::now () < until)
			std::this_thread::sleep_for (std::chrono::milliseconds (2));
		ASSERT_TRUE (finished);
		EXPECT_TRUE (result.ok) << result.error;
		EXPECT_EQ (result.bankDirectory, temp.path ("data/Tavik/banks/") + digest);
		EXPECT_FALSE (worker.busy ());
		// A stalled fetch left running when the worker goes is killed.
		ASSERT_TRUE (worker.start (plan ("/stall", std::string (64, 'f')), options, error)) << error;
	}
	// Every helper is reaped and every killed one's staging folder removed.
	ASSERT_TRUE (HelperReaper::instance ().waitUntilIdle (std::chrono::seconds (10)));
	std::set<std::string> cached;
	for (const auto& entry : std::filesystem::directory_iterator (temp.path ("data/Tavik/banks")))
		cached.insert (entry.path ().filename ().string ());
	EXPECT_EQ (cached, std::set<std::string> {digest});
}

} // namespace
