// Cost of MIDI controller mapping on the threads that use it: resolving one
// controller message per value mode (the audio thread), noting and draining
// controller activity, and publishing a CC map while a reader advances its
// epoch every 128-frame block.

#include "cc_activity_feed.h"
#include "cc_map_store.h"
#include "cc_resolve.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace tavik;

constexpr uint32_t POSITION = 5; // strike.position, continuous 0..1

double hostValue (void* context, uint32_t) { return *static_cast<const double*> (context); }

CcMap oneBinding (uint8_t mode, uint8_t takeover, uint8_t curve = CC_CURVE_LINEAR)
{
	CcMap map;
	CcBinding& b = map.bindings[map.count++];
	b.paramIndex = POSITION;
	b.cc = 1;
	b.valueMode = mode;
	b.takeover = takeover;
	b.curve = curve;
	return map;
}

// One message per iteration through a one-binding map with a router state
// and a host value. `values` are cycled through; `host` is the parameter's
// value as the host reports it.
void resolveLoop (benchmark::State& state, const CcMap& map, const int* values, int count, double host)
{
	CcRouterState router;
	CcResolution out[4];
	uint64_t emitted = 0;
	int i = 0;
	for (auto _ : state)
	{
		const uint32_t n = ccResolve (map, 1, 1, values[i], &router, hostValue, &host, out, 4);
		benchmark::DoNotOptimize (out[0]);
		emitted += n;
		i = i + 1 == count ? 0 : i + 1;
	}
	state.counters["emitted"] = benchmark::Counter (static_cast<double> (emitted) / state.iterations ());
}

const int kSweep[] = {0, 17, 40, 64, 90, 127, 100, 64, 30, 5};

void BM_CcResolveAbsolute (benchmark::State& state)
{
	resolveLoop (state, oneBinding (CC_MODE_ABSOLUTE, CC_TAKEOVER_IMMEDIATE), kSweep, 10, 0.5);
}
BENCHMARK (BM_CcResolveAbsolute);

void BM_CcResolveAbsoluteSCurve (benchmark::State& state)
{
	resolveLoop (state, oneBinding (CC_MODE_ABSOLUTE, CC_TAKEOVER_IMMEDIATE, CC_CURVE_S), kSweep, 10, 0.5);
}
BENCHMARK (BM_CcResolveAbsoluteSCurve);

// The controller wobbles below a parameter it never reaches: every message
// runs the 128-step search and emits nothing.
void BM_CcResolvePickupSearching (benchmark::State& state)
{
	const int wobble[] = {10, 11};
	resolveLoop (state, oneBinding (CC_MODE_ABSOLUTE, CC_TAKEOVER_PICKUP), wobble, 2, 0.9);
}
BENCHMARK (BM_CcResolvePickupSearching);

void BM_CcResolvePickupEngaged (benchmark::State& state)
{
	resolveLoop (state, oneBinding (CC_MODE_ABSOLUTE, CC_TAKEOVER_PICKUP), kSweep, 10, 0.0);
}
BENCHMARK (BM_CcResolvePickupEngaged);

void BM_CcResolveScaled (benchmark::State& state)
{
	resolveLoop (state, oneBinding (CC_MODE_ABSOLUTE, CC_TAKEOVER_SCALED), kSweep, 10, 0.5);
}
BENCHMARK (BM_CcResolveScaled);

void BM_CcResolveRelativeSignedBit (benchmark::State& state)
{
	const int turns[] = {65, 66, 1, 2};
	resolveLoop (state, oneBinding (CC_MODE_RELATIVE_SIGNED_BIT, CC_TAKEOVER_IMMEDIATE), turns, 4, 0.5);
}
BENCHMARK (BM_CcResolveRelativeSignedBit);

void BM_CcResolveRelativeBinaryOffset (benchmark::State& state)
{
	const int turns[] = {65, 66, 63, 62};
	resolveLoop (state, oneBinding (CC_MODE_RELATIVE_BINARY_OFFSET, CC_TAKEOVER_IMMEDIATE), turns, 4, 0.5);
}
BENCHMARK (BM_CcResolveRelativeBinaryOffset);

void BM_CcResolveRelativeTwosComplement (benchmark::State& state)
{
	const int turns[] = {1, 2, 127, 126};
	resolveLoop (state, oneBinding (CC_MODE_RELATIVE_TWOS_COMPLEMENT, CC_TAKEOVER_IMMEDIATE), turns, 4, 0.5);
}
BENCHMARK (BM_CcResolveRelativeTwosComplement);

void BM_CcResolveToggle (benchmark::State& state)
{
	const int presses[] = {127, 0};
	resolveLoop (state, oneBinding (CC_MODE_TOGGLE, CC_TAKEOVER_IMMEDIATE), presses, 2, 0.5);
}
BENCHMARK (BM_CcResolveToggle);

// A full map of 64 bindings on other controllers: the scan alone.
void BM_CcResolveNoMatchIn64 (benchmark::State& state)
{
	CcMap map;
	for (uint32_t j = 0; j < CC_MAP_CAPACITY; ++j)
	{
		map.bindings[j].paramIndex = static_cast<int32_t> (j % 26);
		map.bindings[j].cc = static_cast<uint8_t> (j + 2);
	}
	map.count = CC_MAP_CAPACITY;
	resolveLoop (state, map, kSweep, 10, 0.5);
}
BENCHMARK (BM_CcResolveNoMatchIn64);

void BM_CcActivityFeedRecord (benchmark::State& state)
{
	CcActivityFeed feed;
	int i = 0;
	for (auto _ : state)
	{
		feed.record (i & 127, 1, i);
		++i;
	}
	benchmark::ClobberMemory ();
}
BENCHMARK (BM_CcActivityFeedRecord);

// A UI tick with nothing waiting: 128 loads and the rescan.
void BM_CcActivityFeedDrainIdle (benchmark::State& state)
{
	CcActivityFeed feed;
	CcActivityRecord out[128];
	int64_t now = 0;
	for (auto _ : state)
	{
		benchmark::DoNotOptimize (feed.drain (now, out, 128));
		now += 33;
	}
}
BENCHMARK (BM_CcActivityFeedDrainIdle);

// A UI tick delivering `range(0)` waiting controllers; only the drain is
// timed (the clock reading is included, some 20 ns).
void BM_CcActivityFeedDrainWaiting (benchmark::State& state)
{
	const int waiting = static_cast<int> (state.range (0));
	CcActivityFeed feed;
	CcActivityRecord out[128];
	int64_t now = 0;
	for (auto _ : state)
	{
		for (int k = 0; k < waiting; ++k)
			feed.record (k * 128 / waiting, 1, k);
		const auto start = std::chrono::steady_clock::now ();
		benchmark::DoNotOptimize (feed.drain (now, out, 128));
		const auto stop = std::chrono::steady_clock::now ();
		state.SetIterationTime (std::chrono::duration<double> (stop - start).count ());
		now += 33;
	}
}
BENCHMARK (BM_CcActivityFeedDrainWaiting)->Arg (1)->Arg (8)->Arg (128)->UseManualTime ();

// The reader side of the store as an audio thread would run it: each block
// loads the map once, reads it for 128 frames and advances the epoch.
// `pacedMicroseconds` 0 renders blocks back to back; otherwise one block is
// rendered every that many microseconds, as at a real sample rate.
class BlockReader
{
public:
	BlockReader (CcMapStore& s, int pacedMicroseconds) : store (s), paced (pacedMicroseconds)
	{
		thread = std::thread ([this] { run (); });
	}
	~BlockReader ()
	{
		done.store (true, std::memory_order_release);
		thread.join ();
	}
	uint64_t blocks () const { return blockCount.load (std::memory_order_relaxed); }

private:
	void run ()
	{
		auto next = std::chrono::steady_clock::now ();
		while (!done.load (std::memory_order_acquire))
		{
			const CcMap& map = store.readerMap ();
			double sum = 0;
			for (int frame = 0; frame < 128; ++frame)
				sum += map.bindings[static_cast<uint32_t> (frame) % CC_MAP_CAPACITY].min;
			benchmark::DoNotOptimize (sum);
			store.advanceReaderEpoch ();
			blockCount.fetch_add (1, std::memory_order_relaxed);
			if (paced > 0)
			{
				next += std::chrono::microseconds (paced);
				std::this_thread::sleep_until (next);
			}
		}
	}

	CcMapStore& store;
	const int paced;
	std::atomic<bool> done {false};
	std::atomic<uint64_t> blockCount {0};
	std::thread thread;
};

// Times each publication alone, then waits (untimed) until the reader has
// run two more blocks, so that every publication meets a reader that has
// moved on from the one before, as when a UI publishes an edit.
void publishLoop (benchmark::State& state, int pacedMicroseconds)
{
	CcMapStore store;
	CcMap map = oneBinding (CC_MODE_ABSOLUTE, CC_TAKEOVER_IMMEDIATE);
	map.count = CC_MAP_CAPACITY;
	BlockReader reader (store, pacedMicroseconds);
	size_t retired = 0;
	for (auto _ : state)
	{
		map.bindings[0].min += 1;
		const auto start = std::chrono::steady_clock::now ();
		benchmark::DoNotOptimize (store.publish (map));
		const auto stop = std::chrono::steady_clock::now ();
		state.SetIterationTime (std::chrono::duration<double> (stop - start).count ());
		retired += store.retiredCount ();
		const uint64_t blocks = reader.blocks ();
		while (reader.blocks () < blocks + 2)
			if (pacedMicroseconds > 0)
				std::this_thread::sleep_for (std::chrono::microseconds (200));
			else
				std::this_thread::yield ();
	}
	state.counters["mean_retired"] = benchmark::Counter (static_cast<double> (retired) / state.iterations ());
}

void BM_CcMapStorePublish (benchmark::State& state) { publishLoop (state, 0); }
BENCHMARK (BM_CcMapStorePublish)->UseManualTime ();

// 128 frames at 48 kHz: a block every 2667 us.
void BM_CcMapStorePublishRealTimeReader (benchmark::State& state) { publishLoop (state, 2667); }
BENCHMARK (BM_CcMapStorePublishRealTimeReader)->Iterations (400)->UseManualTime ();

// Publishing back to back against the real-time reader: the retired list
// grows between its blocks and every publication walks it. A UI publishes
// a few times a second at most, where it holds one or two copies.
void BM_CcMapStorePublishBackToBack (benchmark::State& state)
{
	CcMapStore store;
	CcMap map = oneBinding (CC_MODE_ABSOLUTE, CC_TAKEOVER_IMMEDIATE);
	map.count = CC_MAP_CAPACITY;
	BlockReader reader (store, 2667);
	size_t retired = 0, mostRetired = 0;
	for (auto _ : state)
	{
		map.bindings[0].min += 1;
		benchmark::DoNotOptimize (store.publish (map));
		retired += store.retiredCount ();
		mostRetired = std::max (mostRetired, store.retiredCount ());
	}
	state.counters["mean_retired"] = benchmark::Counter (static_cast<double> (retired) / state.iterations ());
	state.counters["most_retired"] = benchmark::Counter (static_cast<double> (mostRetired));
}
BENCHMARK (BM_CcMapStorePublishBackToBack)->Iterations (20000)->UseRealTime ();

} // namespace

BENCHMARK_MAIN ();
