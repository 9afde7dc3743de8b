// The kernel's C library interface: slots, handles, event validation and
// dispatch order, views, and traps.

#include "tavik_kernel.h"
#include "kernel_runtime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

#define K(name) TAVIK_KERNEL_FN (name)

class KernelLibrary : public ::testing::Test
{
protected:
	void SetUp () override { ASSERT_EQ (K (runtime_init) (), 0); }

	static uint32_t create (uint32_t frames = 128, double rate = 48000)
	{
		return static_cast<uint32_t> (K (create) (frames, 0, 2, rate));
	}

	static std::vector<float> render (uint32_t handle, uint32_t frames)
	{
		float* out = nullptr;
		uint32_t length = 0;
		K (output_view) (handle, &out, &length);
		EXPECT_EQ (K (process) (handle, frames), 0);
		return std::vector<float> (out, out + length);
	}
};

TEST_F (KernelLibrary, CreateRefusesUnsupportedFormatsWithoutClaimingASlot)
{
	EXPECT_EQ (K (abi_version) (), 2);
	const double nan = std::nan (""), inf = std::numeric_limits<double>::infinity ();
	EXPECT_EQ (K (create) (0, 0, 2, 48000), 0);
	EXPECT_EQ (K (create) (129, 0, 2, 48000), 0);
	EXPECT_EQ (K (create) (128, 1, 2, 48000), 0);
	EXPECT_EQ (K (create) (128, 0, 1, 48000), 0);
	EXPECT_EQ (K (create) (128, 0, 3, 48000), 0);
	for (const double rate : {0.0, -48000.0, nan, inf})
		EXPECT_EQ (K (create) (128, 0, 2, rate), 0);
	EXPECT_EQ (create (), 1u); // slot 0, generation 1: nothing was claimed before
}

TEST_F (KernelLibrary, ASlotThatFailsPreparationAdvancesItsGeneration)
{
	EXPECT_EQ (K (create) (64, 0, 2, 48000), 0);            // the module wants 128
	EXPECT_EQ (create (), 1u + TAVIK_KERNEL_MAX_INSTANCES); // slot 0, generation 2
}

// Every slot plays at once with a sound of its own; past the last, create
// refuses and the library says it is full.
TEST_F (KernelLibrary, EverySlotPlaysItsOwnSoundThenRefusal)
{
	constexpr int NOTES = 48;
	std::vector<std::vector<float>> alone (NOTES);
	for (int n = 0; n < NOTES; ++n)
	{
		const uint32_t h = create ();
		ASSERT_EQ (K (push_event) (h, 2, 3, static_cast<uint32_t> (30 + n), 0.9), 0);
		for (int chunk = 0; chunk < 3; ++chunk)
		{
			const std::vector<float> out = render (h, 128);
			alone[n].insert (alone[n].end (), out.begin (), out.end ());
		}
		ASSERT_EQ (K (destroy) (h), 0);
	}
	std::vector<uint32_t> handles;
	for (uint32_t i = 0; i < TAVIK_KERNEL_MAX_INSTANCES; ++i)
	{
		handles.push_back (create ());
		ASSERT_NE (handles.back (), 0u) << i;
		ASSERT_EQ (K (push_event) (handles.back (), 2, 3, 30 + i % NOTES, 0.9), 0);
	}
	EXPECT_EQ (K (instances) (), TAVIK_KERNEL_MAX_INSTANCES);
	EXPECT_EQ (create (), 0u);
	std::vector<std::vector<float>> played (handles.size ());
	for (int chunk = 0; chunk < 3; ++chunk)
		for (size_t i = 0; i < handles.size (); ++i)
		{
			const std::vector<float> out = render (handles[i], 128);
			played[i].insert (played[i].end (), out.begin (), out.end ());
		}
	for (size_t i = 0; i < handles.size (); ++i)
		ASSERT_EQ (played[i], alone[i % NOTES]) << "instance " << i;
	EXPECT_EQ (K (destroy) (handles[5]), 0);
	EXPECT_EQ (K (instances) (), TAVIK_KERNEL_MAX_INSTANCES - 1);
	EXPECT_EQ (create (), 5u + TAVIK_KERNEL_MAX_INSTANCES + 1u); // slot 5 again, next generation
	for (size_t i = 0; i < handles.size (); ++i)
		if (i != 5)
			K (destroy) (handles[i]);
}

TEST_F (KernelLibrary, OldHandlesStayInvalidAfterReuse)
{
	const uint32_t first = create ();
	ASSERT_EQ (K (destroy) (first), 0);
	EXPECT_EQ (K (destroy) (first), 1);
	const uint32_t second = create ();
	ASSERT_NE (second, first);
	for (const uint32_t bad : {first, 0u, second + 1, 4294967295u})
	{
		EXPECT_EQ (K (process) (bad, 128), 1) << bad;
		EXPECT_EQ (K (reset) (bad), 1) << bad;
		EXPECT_EQ (K (push_event) (bad, 2, 0, 60, 0.5), 1) << bad;
		float* out = nullptr;
		uint32_t length = 99;
		K (output_view) (bad, &out, &length);
		EXPECT_EQ (length, 0u);
	}
	float* out = nullptr;
	uint32_t length = 0;
	K (output_view) (second, &out, &length);
	EXPECT_EQ (length, 256u);
	const float* in = nullptr;
	K (input_view) (second, &in, &length);
	EXPECT_EQ (length, 0u);
}

TEST_F (KernelLibrary, PushEventStatuses)
{
	const uint32_t h = create ();
	const double nan = std::nan ("");
	EXPECT_EQ (K (push_event) (h, 2, 0, 60, 2.5), 0); // admitted, strikes at 1
	EXPECT_EQ (K (push_event) (h, 2, 0, 60, 1.5), 2);
	EXPECT_EQ (K (push_event) (h, 2, 0, 128, 0.5), 2);
	EXPECT_EQ (K (push_event) (h, 3, 0, 60, 0.5), 2); // note-off value must be 0
	EXPECT_EQ (K (push_event) (h, 1, 0, 26, 0.5), 2);
	EXPECT_EQ (K (push_event) (h, 4, 0, 128, 0.5), 2);
	EXPECT_EQ (K (push_event) (h, 4, 0, 1, 1.5), 2);
	EXPECT_EQ (K (push_event) (h, 7, 0, 1, 0.5), 2);
	EXPECT_EQ (K (push_event) (h, 1, 0, 3, nan), 3);
	EXPECT_EQ (K (push_event) (h, 1, 128, 3, 0.5), 1); // frame = maximum block size
	EXPECT_EQ (K (push_event) (h, 1, 20, 3, 0.5), 0);
	EXPECT_EQ (K (push_event) (h, 1, 10, 3, 0.5), 4);
	for (int i = 2; i < 64; ++i)
		ASSERT_EQ (K (push_event) (h, 1, 30, 3, 0.5), 0) << i;
	EXPECT_EQ (K (push_event) (h, 1, 30, 3, 0.5), 3); // the 65th
	EXPECT_EQ (K (process) (h, 128), 0);
	EXPECT_EQ (K (push_event) (h, 1, 0, 3, 0.5), 0); // the queue was emptied
}

TEST_F (KernelLibrary, ParametersApplyBeforeNotesWithinAFrame)
{
	const uint32_t a = create ();
	const uint32_t b = create ();
	// a: note first, then the model change at the same frame; b: in order.
	ASSERT_EQ (K (push_event) (a, 2, 5, 60, 0.8), 0);
	ASSERT_EQ (K (push_event) (a, 1, 5, 0, 3), 0);
	ASSERT_EQ (K (push_event) (b, 1, 5, 0, 3), 0);
	ASSERT_EQ (K (push_event) (b, 2, 5, 60, 0.8), 0);
	const std::vector<float> ra = render (a, 128);
	const std::vector<float> rb = render (b, 128);
	EXPECT_EQ (ra, rb);
	for (int i = 0; i < 5; ++i)
		EXPECT_EQ (ra[i], 0.f);
	EXPECT_NE (ra[10], 0.f);
}

TEST_F (KernelLibrary, ProcessLimitsAndQueueDiscard)
{
	const uint32_t h = create ();
	EXPECT_EQ (K (process) (h, 129), 1);
	ASSERT_EQ (K (push_event) (h, 2, 0, 60, 0.8), 0);
	EXPECT_EQ (K (process) (h, 0), 0); // renders nothing, drops the note
	std::vector<float> out = render (h, 128);
	for (float x : out)
		ASSERT_EQ (x, 0.f);
	// A control change passes the checks but the instrument refuses it,
	// all sound off (120) alone excepted: every voice, a released one
	// included, is silent 10 ms later.
	ASSERT_EQ (K (push_event) (h, 4, 3, 1, 0.5), 0);
	EXPECT_EQ (K (process) (h, 128), 2);
	const uint32_t v = create ();
	ASSERT_EQ (K (push_event) (v, 2, 0, 45, 0.9), 0);
	ASSERT_EQ (K (push_event) (v, 2, 0, 52, 0.9), 0);
	ASSERT_EQ (K (push_event) (v, 3, 0, 52, 0), 0);
	render (v, 128);
	ASSERT_EQ (K (push_event) (v, 4, 0, 120, 0), 0);
	render (v, 128);
	for (int i = 0; i < 3; ++i)
		render (v, 128);
	out = render (v, 128);
	for (float x : out)
		ASSERT_EQ (x, 0.f);
	// Events at frames beyond this block are discarded with the queue.
	const uint32_t g = create ();
	ASSERT_EQ (K (push_event) (g, 2, 100, 60, 0.8), 0);
	EXPECT_EQ (K (process) (g, 50), 0);
	out = render (g, 128);
	for (float x : out)
		ASSERT_EQ (x, 0.f);
}

TEST_F (KernelLibrary, ResetSilencesAndRestoresDefaults)
{
	const uint32_t h = create ();
	ASSERT_EQ (K (push_event) (h, 1, 0, 17, 0.1), 0);
	ASSERT_EQ (K (push_event) (h, 2, 0, 60, 0.8), 0);
	std::vector<float> loud = render (h, 128);
	EXPECT_EQ (K (reset) (h), 0);
	float* out = nullptr;
	uint32_t length = 0;
	K (output_view) (h, &out, &length);
	for (uint32_t i = 0; i < length; ++i)
		ASSERT_EQ (out[i], 0.f);
	// After the reset the master level is back at its default (0.8, not 0.1).
	const uint32_t fresh = create ();
	ASSERT_EQ (K (push_event) (h, 2, 0, 60, 0.8), 0);
	ASSERT_EQ (K (push_event) (fresh, 2, 0, 60, 0.8), 0);
	EXPECT_EQ (render (h, 128), render (fresh, 128));
}

TEST_F (KernelLibrary, ViewsAreReleasedByTheNextEntry)
{
	const uint32_t h = create ();
	float* out = nullptr;
	uint32_t length = 0;
	const float* in = nullptr;
	K (input_view) (h, &in, &length);
	K (output_view) (h, &out, &length);
	EXPECT_EQ (tavik::kernel::runtime::outstandingViews (), 1u);
	K (push_event) (h, 2, 0, 60, 0.8);
	EXPECT_EQ (tavik::kernel::runtime::outstandingViews (), 0u);
	K (output_view) (h, &out, &length);
	K (collect) ();
	EXPECT_EQ (tavik::kernel::runtime::outstandingViews (), 0u);
}

TEST (KernelTrapMessage, FormatAndLimits)
{
	char message[4096];
	const size_t n =
		tavik::kernel::runtime::buildTrapMessage ("vexil: out of memory\n", "create", message, sizeof (message));
	const std::string text (message, n);
	EXPECT_EQ (text, std::string ("\x01vexil: out of memory\n\x1Fout-of-memory\x1F"
	                              "create"));
	EXPECT_STREQ (tavik::kernel::runtime::trapCode ("vexil: internal error: library reset registry overflow\n"),
	              "internal-error");
	EXPECT_STREQ (tavik::kernel::runtime::trapCode ("something else"), "other");

	std::string huge (5000, 'x');
	huge[10] = '\x01';
	huge[20] = '\x1F';
	const size_t m = tavik::kernel::runtime::buildTrapMessage (huge.c_str (), "process", message, sizeof (message));
	EXPECT_LT (m, 2048u);
	EXPECT_EQ (message[0], '\x01');
	EXPECT_EQ (message[11], ' ');
	EXPECT_EQ (message[21], ' ');
	EXPECT_EQ (std::count (message, message + m, '\x1F'), 2);
	EXPECT_EQ (std::string (message + m - 7, 7), "process");
}

void printingSink (void*, const uint8_t* message, size_t length, uint64_t)
{
	std::string text (reinterpret_cast<const char*> (message), length);
	for (char& c : text)
		if (c == '\x01' || c == '\x1F')
			c = '|';
	std::fprintf (stderr, "sink got: %s\n", text.c_str ());
}

void reenteringSink (void* context, const uint8_t* message, size_t length, uint64_t extra)
{
	printingSink (context, message, length, extra);
	K (abi_version) ();
}

TEST (KernelTrapDeathTest, SinkReceivesTheMessageThenTheProcessAborts)
{
	GTEST_FLAG_SET (death_test_style, "threadsafe");
	EXPECT_DEATH (
		{
			K (set_panic_sink) (printingSink, nullptr);
			K (runtime_init) ();
			tavik::kernel::runtime::trap ("vexil: internal error: test\n");
		},
		"sink got: \\|vexil: internal error: test\n\\|internal-error\\|runtime_init");
}

TEST (KernelTrapDeathTest, PendingErrorsTrapWhenTheEntryReturns)
{
	GTEST_FLAG_SET (death_test_style, "threadsafe");
	EXPECT_DEATH (
		{
			K (set_panic_sink) (printingSink, nullptr);
			{
				tavik::kernel::runtime::EntryScope scope ("reset");
				tavik::kernel::runtime::setPendingError ("vexil: out of memory\n");
			}
		},
		"out-of-memory\\|reset");
}

TEST (KernelTrapDeathTest, EntryFromInsideTheSinkIsMisuse)
{
	GTEST_FLAG_SET (death_test_style, "threadsafe");
	EXPECT_DEATH (
		{
			K (set_panic_sink) (reenteringSink, nullptr);
			tavik::kernel::runtime::trap ("vexil: first\n");
		},
		"library entry 'abi_version' invoked from a host callback\n\\|callback-misuse\\|abi_version");
}

TEST (KernelTrapDeathTest, WithoutASinkTheProcessAbortsDirectly)
{
	GTEST_FLAG_SET (death_test_style, "threadsafe");
	EXPECT_DEATH (
		{
			K (set_panic_sink) (nullptr, nullptr);
			tavik::kernel::runtime::trap ("vexil: internal error\n");
		},
		"");
}

} // namespace
