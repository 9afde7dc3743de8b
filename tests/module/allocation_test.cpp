// Proof that the audio thread's process call allocates nothing: every
// malloc-family call of this process goes through the counting wrappers of
// allocation_counter.cpp, and counting is switched on only around process().
//
// Built without sanitizers (they bring allocators of their own).

#include "allocation_counter.h"
#include "cc_activity_feed.h"
#include "cc_map_store.h"
#include "cc_resolve.h"
#include "kernel_library_api.h"
#include "midi_controller_params.h"
#include "processor_test_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using tavik::test::ProcessorHost;

// Parameter queues the processor reported to the host, over every session.
long reportedValues = 0;

long countedProcess (ProcessorHost& host, int frames)
{
	host.prepare (frames);
	tavik::test::startCountingAllocations ();
	const auto result = host.runPrepared ();
	const long allocations = tavik::test::stopCountingAllocations ();
	host.changes.clear ();
	host.events.clear ();
	EXPECT_EQ (result, Steinberg::kResultOk);
	reportedValues += host.outputChanges.getParameterCount ();
	return allocations;
}

// A CC map with every curve, value mode and takeover rule, a binding on
// the sustain pedal among them.
void useEveryBindingOption (ProcessorHost& host)
{
	const char* const curves[] = {"linear", "exp", "log", "s-curve"};
	const char* const modes[] = {"absolute", "relative-signed-bit", "relative-binary-offset",
	                             "relative-twos-complement", "toggle"};
	const char* const takeovers[] = {"immediate", "pickup", "scaled"};
	std::string map = "{\"version\":1,\"bindings\":[{\"cc\":64,\"path\":\"ir.size\"}";
	for (int j = 0; j < 60; ++j)
		map += std::string (",{\"cc\":") + std::to_string (1 + j % 8) + ",\"path\":\"" +
		       tavik::TAVIK_PARAMS[j % 26].path + "\",\"curve\":\"" + curves[j % 4] + "\",\"valueMode\":\"" +
		       modes[j % 5] + "\",\"takeover\":\"" + takeovers[j % 3] + "\"" +
		       (j % 7 == 0 ? ",\"min\":0.9,\"max\":0.1" : "") + "}";
	map += "]}";
	host.processor ().session ().adoptCcMap (map);
	ASSERT_TRUE (host.processor ().session ().hasCcMap ());
}

// Controllers 1..8 on three channels, one message every 32 frames, the
// pedal up and down, and now and then all notes off and all sound off.
void addControllerStream (ProcessorHost& host, int b, int frames)
{
	using tavik::midiControllerParamId;
	for (int f = 0, k = 0; f < frames; f += 32, ++k)
		host.addParameterPoint (
			midiControllerParamId (static_cast<uint32_t> (k % 3), static_cast<uint32_t> (1 + k % 8)), f,
			((b * 17 + f) % 128) / 127.0);
	if (b % 5 == 0)
		host.addParameterPoint (midiControllerParamId (0, 64), frames / 4, b % 10 == 0 ? 1.0 : 0.0);
	if (b % 37 == 3)
		host.addParameterPoint (midiControllerParamId (0, 123), frames - 1, 0.0);
	if (b % 61 == 5)
		host.addParameterPoint (midiControllerParamId (1, 120), 0, 0.0);
}

// A session that strikes more notes than voices, retriggers, releases and
// automates every parameter, in blocks of uneven sizes, under a stream of
// MIDI controllers resolved through a CC map.
long allocationsDuringSession (ProcessorHost& host)
{
	useEveryBindingOption (host);
	long total = 0;
	const int sizes[] = {512, 37, 128, 300, 1, 511};
	int note = 36;
	for (int b = 0; b < 400; ++b)
	{
		const int frames = sizes[b % 6];
		if (b % 3 == 0)
		{
			host.addNoteOn (note, 0.9f, 0);
			host.addNoteOn (note + 7, 0.5f, frames / 2);
			note = note >= 90 ? 36 : note + 5;
		}
		if (b % 4 == 1)
			host.addNoteOff (note - 5, frames - 1);
		for (Steinberg::Vst::ParamID id = 0; id < 26; ++id)
			if ((b + static_cast<int> (id)) % 9 == 0)
				host.addParameterPoint (id, (static_cast<int> (id) * 7) % frames,
				                        ((b * 13 + static_cast<int> (id)) % 100) / 100.0);
		// Now and then the densest block a host can send: every parameter
		// on every frame, and more notes at one frame than the kernel queues
		// (the engine splits chunks and hands frames over in parts).
		if (b % 50 == 12)
		{
			for (Steinberg::Vst::ParamID id = 0; id < 26; ++id)
				for (int f = 0; f < frames; ++f)
					host.addParameterPoint (id, f, ((f + static_cast<int> (id)) % 50) / 100.0 + 0.25);
			for (int n = 0; n < 80; ++n)
				host.addNoteOn (30 + n % 60, 0.5f, frames / 3);
		}
		addControllerStream (host, b, frames);
		// The host objects themselves may grow while the test fills them;
		// only process() is counted.
		total += countedProcess (host, frames);
	}
	return total;
}

TEST (AudioThread, TheCounterSeesAllocations)
{
	tavik::test::startCountingAllocations ();
	void* volatile p = std::malloc (16);
	int* volatile q = new int (3);
	const long allocations = tavik::test::stopCountingAllocations ();
	std::free (p);
	delete q;
	EXPECT_EQ (allocations, 2);
}

TEST (AudioThread, ProcessAllocatesNothingAtTheHostRate)
{
	ProcessorHost host;
	ASSERT_TRUE (host.start (48000, 512));
	reportedValues = 0;
	EXPECT_EQ (allocationsDuringSession (host), 0);
	EXPECT_GT (reportedValues, 400); // the controllers were resolved
}

double only48kCreate (uint32_t maxFrames, uint32_t in, uint32_t out, double rate)
{
	return rate == 48000 ? tavik::productKernelLibrary ().create (maxFrames, in, out, rate) : 0;
}

TEST (AudioThread, ProcessAllocatesNothingThroughTheRateAdapter)
{
	tavik::KernelLibraryApi api = tavik::productKernelLibrary ();
	api.create = only48kCreate;
	tavik::setDefaultKernelLibraryForTesting (&api);
	{
		ProcessorHost host;
		ASSERT_TRUE (host.start (96000, 512));
		ASSERT_TRUE (host.processor ().engine ().converted ());
		EXPECT_EQ (allocationsDuringSession (host), 0);
	}
	tavik::setDefaultKernelLibraryForTesting (nullptr);
}

double hostValue (void*, uint32_t id) { return id / 26.0; }

// What the audio thread would do with MIDI controllers: read the published
// map, resolve messages in every mode, note the activity and end its cycle.
// The UI side's drain allocates nothing either.
TEST (AudioThread, CcMappingAllocatesNothing)
{
	tavik::CcMap map;
	const uint8_t modes[] = {tavik::CC_MODE_ABSOLUTE, tavik::CC_MODE_RELATIVE_SIGNED_BIT,
	                         tavik::CC_MODE_RELATIVE_BINARY_OFFSET, tavik::CC_MODE_RELATIVE_TWOS_COMPLEMENT,
	                         tavik::CC_MODE_TOGGLE};
	for (uint32_t j = 0; j < 15; ++j)
	{
		tavik::CcBinding& b = map.bindings[map.count++];
		b.paramIndex = static_cast<int32_t> (j);
		b.cc = 1;
		b.curve = static_cast<uint8_t> (j % 4);
		b.valueMode = modes[j % 5];
		b.takeover = static_cast<uint8_t> (j / 5);
	}
	tavik::CcMapStore store;
	ASSERT_TRUE (store.publish (map));
	tavik::CcActivityFeed feed;
	tavik::CcRouterState state;
	tavik::CcResolution out[16];
	tavik::CcActivityRecord drained[128];
	uint32_t results = 0;

	tavik::test::startCountingAllocations ();
	for (int value = 0; value < 256; ++value)
	{
		const tavik::CcMap& current = store.readerMap ();
		results +=
			tavik::ccResolve (current, 1, 1, value % 128, &state, value % 2 ? hostValue : nullptr, nullptr, out, 16);
		feed.record (1, 1, value);
		store.advanceReaderEpoch ();
		feed.drain (value * 40, drained, 128);
	}
	const long allocations = tavik::test::stopCountingAllocations ();
	EXPECT_EQ (allocations, 0);
	EXPECT_GT (results, 256u);
}

} // namespace
