// The CC map store on one thread: publication, a failed allocation, and
// when superseded copies are freed. The two-thread stress test is in
// cc_concurrency_test.cpp.

#include "cc_map_store.h"

#include <gtest/gtest.h>

#include <new>

namespace {

// The next this many nothrow allocations on this thread fail.
thread_local int tFailingNothrowAllocations = 0;

} // namespace

// Every other nothrow allocation of the test program goes to the ordinary
// allocator, so the sanitizers still pair it with its delete.
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
	if (tFailingNothrowAllocations > 0)
	{
		--tFailingNothrowAllocations;
		return nullptr;
	}
	try
	{
		return ::operator new (size);
	}
	catch (...)
	{
		return nullptr;
	}
}

namespace {

using namespace tavik;

CcMap stamped (int stamp)
{
	CcMap map;
	map.count = 1;
	map.bindings[0].paramIndex = 5;
	map.bindings[0].cc = static_cast<uint8_t> (stamp);
	return map;
}

TEST (CcMapStore, PublishesCopiesAndKeepsTheCurrentOneWhenMemoryRunsOut)
{
	CcMapStore store;
	EXPECT_EQ (store.readerMap ().count, 0u);
	EXPECT_FALSE (store.takePending ());

	tFailingNothrowAllocations = 1;
	EXPECT_FALSE (store.publish (stamped (1)));
	tFailingNothrowAllocations = 0;
	EXPECT_EQ (store.readerMap ().count, 0u);
	EXPECT_FALSE (store.takePending ());

	CcMap source = stamped (1);
	ASSERT_TRUE (store.publish (source));
	source.bindings[0].cc = 99; // the store holds its own copy
	const CcMap* first = &store.readerMap ();
	EXPECT_EQ (first->bindings[0].cc, 1);
	EXPECT_TRUE (store.takePending ());
	EXPECT_FALSE (store.takePending ());

	tFailingNothrowAllocations = 1;
	EXPECT_FALSE (store.publish (stamped (2)));
	tFailingNothrowAllocations = 0;
	EXPECT_EQ (&store.readerMap (), first);
	EXPECT_EQ (store.readerMap ().bindings[0].cc, 1);
	EXPECT_EQ (store.retiredCount (), 0u);
	EXPECT_FALSE (store.takePending ());
}

TEST (CcMapStore, FreesACopyOnlyAfterTheReaderAdvancedTwice)
{
	CcMapStore store;
	ASSERT_TRUE (store.publish (stamped (1))); // replaces the built-in empty map: nothing retired
	EXPECT_EQ (store.retiredCount (), 0u);
	ASSERT_TRUE (store.publish (stamped (2)));
	ASSERT_TRUE (store.publish (stamped (3)));
	EXPECT_EQ (store.retiredCount (), 2u);
	EXPECT_EQ (store.readerMap ().bindings[0].cc, 3);

	store.advanceReaderEpoch ();
	store.collect ();
	EXPECT_EQ (store.retiredCount (), 2u);
	store.advanceReaderEpoch ();
	store.collect ();
	EXPECT_EQ (store.retiredCount (), 0u);

	// A publication collects too, keeping only what the reader may hold:
	// the copy it replaces now.
	store.advanceReaderEpoch ();
	ASSERT_TRUE (store.publish (stamped (4)));
	EXPECT_EQ (store.retiredCount (), 1u);
	store.advanceReaderEpoch ();
	ASSERT_TRUE (store.publish (stamped (5)));
	EXPECT_EQ (store.retiredCount (), 2u);
	store.advanceReaderEpoch ();
	ASSERT_TRUE (store.publish (stamped (6)));
	EXPECT_EQ (store.retiredCount (), 2u); // the copy of 4 went
	EXPECT_EQ (store.readerMap ().bindings[0].cc, 6);
}

} // namespace
