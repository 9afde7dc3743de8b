// Proof that the LV2 plug-in's run() allocates nothing: every malloc-family
// call of this process goes through the counting wrappers, and counting is
// on only around run() (the worker, which may allocate, runs after it).
// Built without sanitizers (they bring allocators of their own).

#include "allocation_counter.h"
#include "lv2_message_atom.h"
#include "lv2_test_host.h"
#include "plugin_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace lv2 = tavik::lv2;

long countedRun (tavik::tools::Lv2Host& host, uint32_t frames)
{
	tavik::test::startCountingAllocations ();
	host.runAudio (frames);
	const long allocations = tavik::test::stopCountingAllocations ();
	host.runWork ();
	return allocations;
}

TEST (Lv2AudioThread, TheCounterSeesAllocations)
{
	tavik::test::startCountingAllocations ();
	std::string grown (1000, 'x');
	EXPECT_GT (tavik::test::stopCountingAllocations (), 0);
}

TEST (Lv2AudioThread, RunAllocatesNothingWithNotesControllersPortsAndMessages)
{
	for (const double rate : {48000.0, 44100.0})
	{
		SCOPED_TRACE (rate);
		auto host = tavik::test::zorvHost (rate, 512);
		std::string map = "{\"version\":1,\"bindings\":[";
		for (int i = 0; i < 26; ++i)
			map += std::string (i ? "," : "") + "{\"cc\":" + std::to_string (1 + i) + ",\"path\":\"" +
			       tavik::TAVIK_PARAMS[i].path + "\",\"curve\":\"" + (i % 2 ? "exp" : "linear") + "\"}";
		map += "]}";
		host->queuePatchString (0, lv2::CC_MAP_PROPERTY_URI, map);
		long allocations = countedRun (*host, 512);
		EXPECT_EQ (host->workRuns, 1);
		LV2_URID_Map uridMap {host.get (), [] (LV2_URID_Map_Handle h, const char* uri) {
								  return static_cast<tavik::tools::Lv2Host*> (h)->map (uri);
							  }};
		const lv2::MessageUrids urids (uridMap);
		const auto messageOf = [&] (const char* id, const std::string* payload) {
			std::vector<uint64_t> bytes (lv2::MAX_MESSAGE_BYTES / 8);
			EXPECT_GT (lv2::writeMessage (bytes.data (), lv2::MAX_MESSAGE_BYTES, urids, id,
			                              payload ? payload->data () : nullptr,
			                              payload ? static_cast<uint32_t> (payload->size ()) : 0, payload, false),
			           0u);
			return bytes;
		};
		const std::vector<uint64_t> drain = messageOf (tavik::messages::FEED_DRAIN, nullptr);
		const std::vector<uint64_t> stateRequest = messageOf (tavik::messages::STATE_REQUEST, nullptr);
		const std::vector<uint64_t> mapMessage = messageOf (tavik::messages::CC_MAP, &map);
		const auto atomOf = [] (const std::vector<uint64_t>& bytes) -> const LV2_Atom& {
			return *reinterpret_cast<const LV2_Atom*> (bytes.data ());
		};
		const int responsesBefore = host->workResponses;
		for (int block = 0; block < 200; ++block)
		{
			for (uint32_t f = 0; f < 512; f += 32)
				tavik::test::queueController (*host, f, 1 + static_cast<int> ((block + f) % 26),
				                              static_cast<int> ((block * 7 + f) % 128));
			if (block % 10 == 0)
				tavik::test::queueController (*host, 100, 64, block % 20 == 0 ? 127 : 0);
			tavik::test::queueNote (*host, static_cast<uint32_t> (block % 500), block % 3 != 2, 30 + block % 60,
			                        1 + block % 127);
			host->control (static_cast<uint32_t> (block % 26)) = static_cast<float> (block % 3) * 0.25f + 0.5f;
			if (block == 100)
				host->queuePatchString (7, lv2::CC_MAP_PROPERTY_URI, map);
			// The UI's traffic: feed drains, state requests and a map, each
			// answered into the notify sequence a block or two later.
			if (block % 5 == 0)
				host->queueAtom (0, atomOf (drain));
			if (block % 20 == 3)
				host->queueAtom (1, atomOf (stateRequest));
			if (block == 77)
				host->queueAtom (2, atomOf (mapMessage));
			allocations += countedRun (*host, block == 50 ? 0 : 512);
		}
		EXPECT_EQ (allocations, 0);
		// Two patch maps, and the UI's messages (a state request's answer
		// comes back in several pieces).
		EXPECT_GT (host->workRuns, 2 + 40);
		EXPECT_GT (host->workResponses - responsesBefore, 10);
	}
}

} // namespace
