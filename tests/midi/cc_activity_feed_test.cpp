// The controller activity feed on one thread: coalescing, the 33 ms limit
// per controller, partial drains, and the UI message. The two-thread test
// is in cc_concurrency_test.cpp.

#include "cc_activity_feed.h"
#include "midi_cc_message.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using namespace tavik;

std::vector<CcActivityRecord> drain (CcActivityFeed& feed, int64_t now, uint32_t capacity = 128)
{
	std::vector<CcActivityRecord> out (capacity);
	out.resize (feed.drain (now, out.data (), capacity));
	return out;
}

TEST (CcActivityFeed, KeepsTheLatestValuePerControllerAndIgnoresOthers)
{
	CcActivityFeed feed;
	feed.record (128, 1, 10);
	feed.record (-1, 1, 10);
	EXPECT_FALSE (feed.hasPending ());
	EXPECT_TRUE (drain (feed, 1000).empty ());

	feed.record (7, 1, 10);
	feed.record (7, 1, 20);
	feed.record (7, 16, 30 + 128); // only the low seven bits are a value
	EXPECT_TRUE (feed.hasPending ());
	CcActivityRecord none[1];
	EXPECT_EQ (feed.drain (1000, nullptr, 4), 0u);
	EXPECT_EQ (feed.drain (1000, none, 0), 0u);
	const std::vector<CcActivityRecord> got = drain (feed, 1000);
	ASSERT_EQ (got.size (), 1u);
	EXPECT_EQ (got[0].cc, 7);
	EXPECT_EQ (got[0].channel, 16);
	EXPECT_EQ (got[0].value, 30);
	EXPECT_FALSE (feed.hasPending ());
	EXPECT_TRUE (drain (feed, 2000).empty ());
}

TEST (CcActivityFeed, DeliversEachControllerAtMostOncePer33Ms)
{
	CcActivityFeed feed;
	feed.record (7, 1, 10);
	feed.record (8, 1, 10);
	ASSERT_EQ (drain (feed, 1000).size (), 2u);
	feed.record (7, 1, 11);
	EXPECT_TRUE (drain (feed, 1020).empty ());
	EXPECT_TRUE (feed.hasPending ());
	EXPECT_TRUE (drain (feed, 1032).empty ());
	feed.record (8, 1, 12); // also drained at 1000, also due at 1033
	const std::vector<CcActivityRecord> due = drain (feed, 1033);
	ASSERT_EQ (due.size (), 2u);
	EXPECT_EQ (due[0].value, 11);
	EXPECT_EQ (due[1].value, 12);
	EXPECT_FALSE (feed.hasPending ());

	// Each controller keeps its own time.
	feed.record (9, 1, 1);
	EXPECT_EQ (drain (feed, 1040).size (), 1u);
	feed.record (7, 1, 1);
	feed.record (9, 1, 2);
	const std::vector<CcActivityRecord> one = drain (feed, 1066);
	ASSERT_EQ (one.size (), 1u);
	EXPECT_EQ (one[0].cc, 7);
	EXPECT_EQ (drain (feed, 1073).size (), 1u);
}

TEST (CcActivityFeed, AFullOutputLeavesTheRestForTheNextDrain)
{
	CcActivityFeed feed;
	for (const int cc : {90, 3, 127, 0, 64})
		feed.record (cc, 2, cc);
	const std::vector<CcActivityRecord> first = drain (feed, 500, 2);
	ASSERT_EQ (first.size (), 2u);
	EXPECT_EQ (first[0].cc, 0);
	EXPECT_EQ (first[1].cc, 3);
	EXPECT_TRUE (feed.hasPending ());
	const std::vector<CcActivityRecord> rest = drain (feed, 500);
	ASSERT_EQ (rest.size (), 3u);
	EXPECT_EQ (rest[0].cc, 64);
	EXPECT_EQ (rest[1].cc, 90);
	EXPECT_EQ (rest[2].cc, 127);
	EXPECT_EQ (rest[2].value, 127);
	EXPECT_FALSE (feed.hasPending ());
}

TEST (CcActivityFeed, AnyClockReadingIsSafe)
{
	// The first activity drains at once whatever the clock says, and clock
	// readings far apart do not overflow the interval test.
	constexpr int64_t lowest = std::numeric_limits<int64_t>::min ();
	constexpr int64_t highest = std::numeric_limits<int64_t>::max ();
	CcActivityFeed feed;
	feed.record (1, 1, 1);
	EXPECT_EQ (drain (feed, lowest + 1).size (), 1u);
	feed.record (1, 1, 2);
	EXPECT_TRUE (drain (feed, lowest + 32).empty ());
	EXPECT_EQ (drain (feed, highest).size (), 1u);
	feed.record (1, 1, 3);
	EXPECT_TRUE (drain (feed, lowest).empty ()); // the clock went back: wait
	EXPECT_EQ (drain (feed, highest).size (), 0u);
	EXPECT_TRUE (feed.hasPending ());

	const int64_t before = CcActivityFeed::nowMs ();
	const int64_t after = CcActivityFeed::nowMs ();
	EXPECT_GE (after, before);
	EXPECT_GT (before, 0);
}

TEST (MidiCcMessage, WritesControllerChannelAndValueInOrder)
{
	std::string out = "[";
	writeMidiCcJson (out, CcActivityRecord {1, 2, 64});
	EXPECT_EQ (out, "[{\"type\":\"tavik.midiCc\",\"cc\":1,\"channel\":2,\"value\":64}");
}

} // namespace
