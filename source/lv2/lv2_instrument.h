// One instance of the LV2 plug-in: the same KernelEngine, ProcessorSession,
// CcRouter and BlockRouter the VST 3 processor drives, fed from LV2 ports.
//
// - Each control input port is a parameter in plain units; a port whose
//   value changed since the last block becomes a change at the block's
//   first frame, normalized through the parameter table as a VST 3 host's
//   values are, so the engine sees the same plain values.
// - The event input's MIDI notes and controllers go through the block
//   router at their frames; a patch:Set of the CC map property is handed to
//   the worker, which publishes the map (the audio thread never parses).
// - State is the session's state document under one property; a document
//   the session refuses changes nothing.
//
// run() never allocates, locks, prints or does I/O; hosts longer than the
// engine's largest block are rendered in slices.
#pragma once

#include "block_router.h"
#include "cc_router.h"
#include "kernel_engine.h"
#include "host_facts.h"
#include "lv2_layout.h"
#include "lv2_message_relay.h"
#include "lv2_urids.h"
#include "processor_session.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <memory>
#include <mutex>

namespace tavik::lv2 {

class Lv2Instrument
{
public:
	/** A new instance, or null (with the reason in the host's log) when a
	 *  required feature or option is missing or the engine cannot be set
	 *  up at `sampleRate`. */
	static std::unique_ptr<Lv2Instrument> create (double sampleRate, const LV2_Feature* const* features);

	void connect (uint32_t port, void* data) noexcept;
	/** Sets the engine up again, as a VST 3 host's activation does. */
	void activate ();
	void run (uint32_t frames) noexcept;

	LV2_State_Status save (LV2_State_Store_Function store, LV2_State_Handle handle);
	LV2_State_Status restore (LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);
	LV2_Worker_Status work (uint32_t size, const void* data, LV2_Worker_Respond_Function respond,
	                        LV2_Worker_Respond_Handle handle);
	/** One piece of a worker answer, on the audio thread. */
	void workResponse (uint32_t size, const void* data) noexcept { relay.takeReplyFragment (size, data); }

	/** What LV2 tells of the host: rate, block length, latency, the bus. */
	HostFacts hostFacts () const;
	const MessageRelay& messageRelay () const { return relay; }

	const KernelEngine& engine () const { return kernelEngine; }

private:
	Lv2Instrument (double sampleRate, int maxBlock, const LV2_URID_Map& map, const LV2_Worker_Schedule* schedule,
	               const LV2_Log_Logger& logger);

	void writeLatency () noexcept;
	void clearNotify () noexcept;
	void queuePortChanges () noexcept;
	/** Hands the sequence's patch messages to the worker. */
	void scheduleMessages () noexcept;
	/** Routes the events of frames [begin, end) of a block of `total`
	 *  frames and renders them. */
	void renderSlice (uint32_t begin, uint32_t end, uint32_t total) noexcept;
	void silence (uint32_t frames) noexcept;
	/** Tells the editor, through notify, the values controllers gave
	 *  parameters in this block: the host's ports cannot show them. */
	void notifyControllerResults () noexcept;
	static void noteControllerResult (void* self, uint32_t paramIndex, int frame, double normalized) noexcept;
	/** The CC map text of a patch:Set of the CC map property, or null. */
	const LV2_Atom* ccMapValue (const LV2_Atom_Object* object) const noexcept;

	const double rate;
	const int maxBlockFrames;
	const Lv2Urids urids;
	const MessageUrids messageUrids;
	const LV2_Worker_Schedule* const worker; // may be null
	LV2_Log_Logger log;

	KernelEngine kernelEngine;
	ProcessorSession session;
	CcRouter ccRouter {kernelEngine, session.ccMapStore (), session.ccActivity ()};
	BlockRouter blockRouter {ccRouter};
	/** The session's threads (worker, state save, restore) take turns; the
	 *  audio thread never takes it. */
	std::mutex sessionLock;
	MessageRelay relay {messageUrids};
	/** The session recorded a bank failure (worker thread, under the lock). */
	bool healthChanged = false;
	/** The notify buffer's capacity, as the host gave it this run. */
	uint32_t notifyCapacity = 0;
	/** The last value a controller gave each parameter in this run. */
	double controllerResult[TAVIK_PARAM_COUNT] = {};
	bool controllerMoved[TAVIK_PARAM_COUNT] = {};

	const float* parameterPorts[TAVIK_PARAM_COUNT] = {};
	float* outputs[2] = {};
	const LV2_Atom_Sequence* events = nullptr;
	LV2_Atom_Sequence* notify = nullptr;
	float* latency = nullptr;

	/** The value each parameter port had when it was last taken. */
	float portSeen[TAVIK_PARAM_COUNT];
	/** A restored state is the sound: the port values that come with it
	 *  are taken as they are at the next block, not played as changes. */
	bool adoptPorts = false;
};

} // namespace tavik::lv2
