// Fetching a hosted bank of about 50 MB from a loopback HTTPS server:
// download with hashing, unpacking and the move into the cache, end to end.
// The cache entry is removed between iterations, outside the timing.
#include "bank_files.h"
#include "hosted_bank_download.h"
#include "https_test_server.h"
#include "scoped_variable.h"
#include "zip_bytes.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

namespace {

namespace fs = std::filesystem;

constexpr size_t SAMPLE_BYTES = size_t (48) << 20;

// Sample data compresses about as badly as noise does.
std::string noise (size_t bytes)
{
	std::mt19937_64 random (7);
	std::string out (bytes, '\0');
	for (size_t i = 0; i + 8 <= bytes; i += 8)
	{
		const uint64_t v = random ();
		std::memcpy (&out[i], &v, 8);
	}
	return out;
}

void fetchBank (benchmark::State& state, bool deflate)
{
	char pattern[] = "/tmp/zorv_bank_bench_XXXXXX";
	const char* made = ::mkdtemp (pattern);
	if (!made)
	{
		state.SkipWithError ("cannot make a scratch folder");
		return;
	}
	const std::string root = made;
	fs::create_directories (root + "/served");
	fs::create_directories (root + "/server");
	const tavik::test::ScopedVariable dataHome ("XDG_DATA_HOME", (root + "/data").c_str ());
	const tavik::test::ScopedVariable proxy ("https_proxy", nullptr);

	tavik::test::ZipEntry samples = tavik::test::ZipEntry::file ("Bench Bank/samples/gong.raw", noise (SAMPLE_BYTES));
	samples.deflate = deflate;
	const std::string archive = tavik::test::zipBytes (
		{tavik::test::ZipEntry::folder ("Bench Bank/"),
	     tavik::test::ZipEntry::file ("Bench Bank/bank.json", "{\"format\":\"tavik-sound-pack/v1\"}"), samples});
	std::ofstream (root + "/served/bank.zip", std::ios::binary)
		.write (archive.data (), static_cast<std::streamsize> (archive.size ()));
	const std::string digest = tavik::sha256Hex (reinterpret_cast<const uint8_t*> (archive.data ()), archive.size ());
	{
		tavik::test::HttpsTestServer server (root + "/served", root + "/server");
		if (!server.running ())
		{
			state.SkipWithError (server.failure ().c_str ());
			fs::remove_all (root);
			return;
		}
		tavik::HostedFetchOptions options;
		options.download.caFile = server.caFile ();
		const std::string url = server.url ("/files/bank.zip");
		for (auto _ : state)
		{
			std::string directory, error;
			if (!tavik::fetchHostedBank (url, digest, directory, error, options))
			{
				state.SkipWithError (error.c_str ());
				break;
			}
			state.PauseTiming ();
			fs::remove_all (directory);
			state.ResumeTiming ();
		}
	}
	state.SetBytesProcessed (static_cast<int64_t> (state.iterations () * archive.size ()));
	state.counters["archive_MB"] = static_cast<double> (archive.size ()) / 1e6;
	fs::remove_all (root);
}

void BM_FetchStoredBank (benchmark::State& state) { fetchBank (state, false); }
void BM_FetchDeflatedBank (benchmark::State& state) { fetchBank (state, true); }

BENCHMARK (BM_FetchStoredBank)->Unit (benchmark::kMillisecond)->UseRealTime ()->Iterations (5);
BENCHMARK (BM_FetchDeflatedBank)->Unit (benchmark::kMillisecond)->UseRealTime ()->Iterations (5);

} // namespace

BENCHMARK_MAIN ();
