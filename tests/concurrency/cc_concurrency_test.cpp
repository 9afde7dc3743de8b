// The CC map store and the controller activity feed under two threads, as
// the controller's thread and the audio thread use them, and the LV2
// plug-in's worker and state save beside its run(). Run under
// ThreadSanitizer by test.sh (ctest label "concurrency"); under
// AddressSanitizer a map freed while the reader holds it is reported.

#include "cc_activity_feed.h"
#include "cc_map_store.h"
#include "lv2_test_host.h"
#include "midi_controller_params.h"
#include "processor_test_host.h"

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace tavik;

// Every slot of a map carries its stamp, so a map seen half written or
// overwritten after it was freed shows as a mismatch.
CcMap stampedMap (uint32_t stamp)
{
	CcMap map;
	map.count = 1 + stamp % CC_MAP_CAPACITY;
	for (uint32_t j = 0; j < CC_MAP_CAPACITY; ++j)
	{
		CcBinding& b = map.bindings[j];
		b.paramIndex = static_cast<int32_t> ((stamp + j) % 26);
		b.cc = static_cast<uint8_t> ((stamp + j) % 128);
		b.channel = static_cast<uint8_t> (j % 17);
		b.enabled = true;
		b.min = stamp;
		b.max = static_cast<double> (stamp) + j;
	}
	return map;
}

bool holdsStamp (const CcMap& map, uint32_t stamp)
{
	if (map.count != 1 + stamp % CC_MAP_CAPACITY)
		return false;
	for (uint32_t j = 0; j < CC_MAP_CAPACITY; ++j)
	{
		const CcBinding& b = map.bindings[j];
		if (b.paramIndex != static_cast<int32_t> ((stamp + j) % 26) || b.cc != (stamp + j) % 128 ||
		    b.channel != j % 17 || !b.enabled || b.min != stamp || b.max != static_cast<double> (stamp) + j)
			return false;
	}
	return true;
}

TEST (CcMapStoreStress, TheReaderSeesOnlyCompleteMapsThatStayAliveWhileHeld)
{
	CcMapStore store;
	ASSERT_TRUE (store.publish (stampedMap (1)));
	constexpr uint32_t kPublications = 20000;
	std::atomic<bool> done {false};
	uint64_t cycles = 0, incomplete = 0, changedWhileHeld = 0, wentBack = 0, distinct = 0;
	double sink = 0;

	// The reader plays an audio thread: each cycle loads the map once,
	// reads it for 128 frames, and then advances its epoch.
	std::thread reader ([&] {
		double stamp = 0;
		while (!done.load (std::memory_order_acquire))
		{
			const CcMap& map = store.readerMap ();
			const double seen = map.bindings[0].min;
			const uint32_t s = static_cast<uint32_t> (seen);
			if (!holdsStamp (map, s))
				++incomplete;
			for (int frame = 0; frame < 128; ++frame)
				sink += map.bindings[frame % CC_MAP_CAPACITY].max;
			if (!holdsStamp (map, s))
				++changedWhileHeld;
			if (seen < stamp)
				++wentBack;
			if (seen != stamp)
				++distinct;
			stamp = seen;
			store.advanceReaderEpoch ();
			++cycles;
		}
	});
	size_t mostRetired = 0;
	for (uint32_t i = 2; i <= kPublications; ++i)
	{
		if (!store.publish (stampedMap (i)))
		{
			ADD_FAILURE () << "publication " << i << " failed";
			break;
		}
		if (i % 16 == 0)
			store.collect ();
		mostRetired = std::max (mostRetired, store.retiredCount ());
		if (i % 64 == 0)
			std::this_thread::yield ();
	}
	done.store (true, std::memory_order_release);
	reader.join ();

	EXPECT_GT (cycles, 0u);
	EXPECT_GT (distinct, 1u) << "the reader never saw a new map";
	EXPECT_EQ (incomplete, 0u);
	EXPECT_EQ (changedWhileHeld, 0u);
	EXPECT_EQ (wentBack, 0u);
	EXPECT_TRUE (holdsStamp (store.readerMap (), kPublications));
	// The retired list empties once the reader has moved on.
	store.advanceReaderEpoch ();
	store.advanceReaderEpoch ();
	store.collect ();
	EXPECT_EQ (store.retiredCount (), 0u) << "at most " << mostRetired << " were waiting" << sink;
}

TEST (CcActivityFeedStress, AFastProducerLosesNoValueAndEachControllerArrivesAtMostEvery33Ms)
{
	CcActivityFeed feed;
	constexpr int kControllers = 8;
	constexpr uint32_t kBursts = 4;
	constexpr uint32_t kRoundsPerBurst = 1500; // channel and value carry the round: 13 bits
	// The lowest round every controller has delivered.
	std::atomic<uint32_t> settled {0};
	std::atomic<bool> done {false};
	std::atomic<uint32_t> stuckBursts {0};

	// Each round records every controller once, far faster than the
	// consumer drains. After each burst the producer waits until the
	// burst's last values have all arrived: a value lost at the end of a
	// burst would never arrive, since nothing records after it.
	std::thread producer ([&] {
		uint32_t round = 0;
		for (uint32_t burst = 0; burst < kBursts; ++burst)
		{
			for (uint32_t i = 0; i < kRoundsPerBurst; ++i)
			{
				++round;
				for (int cc = 0; cc < kControllers; ++cc)
					feed.record (cc * 9, static_cast<int> (round >> 7), static_cast<int> (round & 0x7F));
				if (round % 16 == 0)
					std::this_thread::sleep_for (std::chrono::microseconds (300));
			}
			const auto deadline = std::chrono::steady_clock::now () + std::chrono::seconds (10);
			while (settled.load (std::memory_order_acquire) < round && std::chrono::steady_clock::now () < deadline)
				std::this_thread::sleep_for (std::chrono::milliseconds (1));
			if (settled.load (std::memory_order_acquire) < round)
				stuckBursts.fetch_add (1);
		}
		done.store (true, std::memory_order_release);
	});

	struct Delivery
	{
		uint32_t round;
		int64_t at;
	};
	std::vector<Delivery> deliveries[kControllers];
	uint64_t strangers = 0;
	uint32_t tick = 0;
	while (!done.load (std::memory_order_acquire))
	{
		CcActivityRecord out[kControllers];
		const int64_t now = CcActivityFeed::nowMs ();
		const uint32_t n = feed.drain (now, out, tick++ % 3 == 0 ? 3 : kControllers); // some run out of room
		for (uint32_t i = 0; i < n; ++i)
		{
			if (out[i].cc % 9 != 0 || out[i].cc / 9 >= kControllers)
			{
				++strangers;
				continue;
			}
			deliveries[out[i].cc / 9].push_back ({static_cast<uint32_t> (out[i].channel) << 7 | out[i].value, now});
		}
		uint32_t lowest = UINT32_MAX;
		for (const auto& d : deliveries)
			lowest = std::min (lowest, d.empty () ? 0 : d.back ().round);
		settled.store (lowest, std::memory_order_release);
		std::this_thread::sleep_for (std::chrono::milliseconds (4));
	}
	producer.join ();

	EXPECT_EQ (stuckBursts.load (), 0u) << "values recorded last in a burst never arrived";
	EXPECT_EQ (strangers, 0u);
	for (int cc = 0; cc < kControllers; ++cc)
	{
		const std::vector<Delivery>& d = deliveries[cc];
		ASSERT_FALSE (d.empty ()) << "controller " << cc * 9;
		EXPECT_EQ (d.back ().round, kBursts * kRoundsPerBurst) << "controller " << cc * 9;
		EXPECT_GT (d.size (), kBursts) << "controller " << cc * 9 << " arrived only at the ends of bursts";
		for (size_t i = 1; i < d.size (); ++i)
		{
			EXPECT_GT (d[i].round, d[i - 1].round) << "controller " << cc * 9 << ", delivery " << i;
			EXPECT_GE (d[i].at - d[i - 1].at, CcActivityFeed::MIN_INTERVAL_MS)
				<< "controller " << cc * 9 << ", delivery " << i;
		}
	}
	EXPECT_FALSE (feed.hasPending ());
}

// The controller thread replaces the processor's CC map while the audio
// thread streams controllers through it: every value reported comes from
// one whole map (the level follows the controller, or its reverse), and the
// block after the last replacement hears the last map.
TEST (CcMapStoreStress, AProcessorsMapReplacedWhileControllersStreamIsHeardWhole)
{
	tavik::test::ProcessorHost host;
	ASSERT_TRUE (host.start (48000, 256));
	const std::string follows = "{\"version\":1,\"bindings\":[{\"cc\":1,\"path\":\"master.level\"}]}";
	const std::string reverses =
		"{\"version\":1,\"bindings\":[{\"cc\":1,\"path\":\"master.level\",\"min\":1,\"max\":0}]}";
	host.processor ().session ().adoptCcMap (follows);
	std::atomic<bool> done {false};
	std::atomic<int> blocks {0};
	int torn = 0;
	int reported = 0;
	std::thread audio ([&] {
		for (int b = 0; !done.load (std::memory_order_acquire) || b < 200; ++b)
		{
			const int value = b % 128;
			host.addParameterPoint (midiControllerParamId (0, 1), 0, value / 127.0);
			host.addParameterPoint (midiControllerParamId (0, 1), 128, value / 127.0);
			if (host.process (256) != Steinberg::kResultOk)
				++torn;
			for (int32_t q = 0; q < host.outputChanges.getParameterCount (); ++q)
			{
				auto* queue =
					static_cast<tavik::test::OutputParameterChanges::Queue*> (host.outputChanges.getParameterData (q));
				for (int32_t i = 0; i < queue->count; ++i, ++reported)
				{
					const double v = queue->values[i];
					if (queue->id != 17 || (v != value / 127.0 && v != 1 - value / 127.0))
						++torn;
				}
			}
			blocks.fetch_add (1, std::memory_order_release);
		}
	});
	// Replacements go on until the audio thread has streamed a while; the
	// same thread drains the controllers the editor is shown meanwhile, as
	// the feed drain does.
	int noted = 0;
	int wrongNotes = 0;
	for (int i = 0; i < 2000 || blocks.load (std::memory_order_acquire) < 300; ++i)
	{
		host.processor ().session ().adoptCcMap (i % 2 ? follows : reverses);
		const std::string moved = host.processor ().session ().drainCcActivity ();
		for (size_t at = 0; at + 3 <= moved.size (); at += 3, ++noted)
			wrongNotes += moved[at] != 1 || moved[at + 1] != 1 || static_cast<unsigned char> (moved[at + 2]) > 127;
		wrongNotes += moved.size () % 3 != 0;
	}
	host.processor ().session ().adoptCcMap (reverses);
	done.store (true, std::memory_order_release);
	audio.join ();
	EXPECT_EQ (torn, 0);
	EXPECT_EQ (reported, 2 * blocks.load ());
	EXPECT_GE (noted, 1);
	EXPECT_EQ (wrongNotes, 0);

	host.addParameterPoint (midiControllerParamId (0, 1), 0, 1.0);
	ASSERT_EQ (host.process (256), Steinberg::kResultOk);
	EXPECT_EQ (host.processor ().engine ().paramValue (17), 0.0);
	// Two blocks later every superseded copy is freed at the next
	// replacement but the one it supersedes.
	ASSERT_EQ (host.process (256), Steinberg::kResultOk);
	host.processor ().session ().adoptCcMap (reverses);
	EXPECT_EQ (host.processor ().session ().ccMapStore ().retiredCount (), 1u);
}

// An LV2 host's worker thread publishes CC maps and its main thread saves
// the state while the audio thread runs blocks full of controllers.
namespace lv2 = tavik::lv2;

TEST (Lv2WorkerStress, MapsPublishedAndStatesSavedWhileRunPlaysControllers)
{
	auto host = tavik::test::zorvHost (48000, 256);
	std::vector<std::vector<uint8_t>> maps;
	for (int k = 0; k < 8; ++k)
	{
		const std::string text = "{\"version\":1,\"bindings\":[{\"cc\":" + std::to_string (1 + k) + ",\"path\":\"" +
		                         TAVIK_PARAMS[k].path + "\"},{\"cc\":74,\"path\":\"ir.size\"}]}";
		std::vector<uint8_t> atom (sizeof (LV2_Atom) + text.size () + 1, 0);
		LV2_Atom header {static_cast<uint32_t> (text.size () + 1), host->map (LV2_ATOM__String)};
		std::memcpy (atom.data (), &header, sizeof header);
		std::memcpy (atom.data () + sizeof header, text.c_str (), text.size ());
		maps.push_back (std::move (atom));
	}
	ASSERT_EQ (host->workNow (static_cast<uint32_t> (maps[0].size ()), maps[0].data ()), LV2_WORKER_SUCCESS);
	std::atomic<bool> done {false};
	std::thread worker ([&] {
		for (int i = 1; !done.load (); ++i)
		{
			const std::vector<uint8_t>& atom = maps[static_cast<size_t> (i) % maps.size ()];
			EXPECT_EQ (host->workNow (static_cast<uint32_t> (atom.size ()), atom.data ()), LV2_WORKER_SUCCESS);
			std::this_thread::yield ();
		}
	});
	std::thread saver ([&] {
		while (!done.load ())
			EXPECT_NE (host->savedProperty (lv2::STATE_PROPERTY_URI).find ("\"ccMap\""), std::string::npos);
	});
	for (int block = 0; block < 400; ++block)
	{
		for (uint32_t f = 0; f < 256; f += 16)
			tavik::test::queueController (*host, f, f % 32 == 0 ? 74 : 1 + block % 8, (block + f) % 128);
		tavik::test::queueNote (*host, 0, true, 40 + block % 30, 100);
		host->runAudio (256);
	}
	done = true;
	worker.join ();
	saver.join ();
}

} // namespace
