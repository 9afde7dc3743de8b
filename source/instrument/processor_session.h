// The processor's non-audio state, free of the SDK: the state document it
// saves and restores, its copy of the CC map, the bank reference and the
// preset the controller last reported, and what each controller message
// does to them. TavikProcessor carries the streams and messages.
#pragma once

#include "cc_activity_feed.h"
#include "cc_map.h"
#include "cc_map_store.h"
#include "kernel_engine.h"
#include "state_document.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace tavik {

class ProcessorSession
{
public:
	/** `diagnosticsChanged` sends the runtime-health report (after a bank
	 *  failure was recorded on the engine). */
	ProcessorSession (KernelEngine& engine, std::function<void ()> diagnosticsChanged);

	/** The state document of the engine's values, the variation, the CC map
	 *  (when one was supplied), the bank reference and the pad overrides. */
	std::string writeState () const;

	/** Parses `text` into a scratch chunk and applies it only when it is one
	 *  valid state document; false leaves everything as it was. */
	bool restoreState (const char* text, size_t length);

	/** "tavik.ccMap": a valid map replaces the copy and is published to the
	 *  audio thread's store; anything else is ignored. */
	void adoptCcMap (const std::string& payload);
	/** "tavik.padOverrides": a valid map is published to the engine. */
	void adoptPadOverrides (const std::string& payload);
	/** "tavik.diag.presetLoaded": null (no readable payload) clears it. */
	void notePresetLoaded (const std::string* payload);
	/** "tavik.diag.transportPoll" with a non-zero "reset". */
	void resetTransportSnapshot () { transportSnapshot = false; }
	/** "tavik.loadRuntimeBank": source, path, sha256 and instrument lines;
	 *  returns the "tavik.runtimeBankResult" text. */
	std::string loadRuntimeBankRequest (const std::string& payload);

	/** Loads a bank folder and hands it to the engine; the outcome (0 only
	 *  when the engine took the bank), with the reason in `error`. */
	uint32_t loadRuntimeBankFromPath (const std::string& path, const std::string& sourceKind,
	                                  const std::string& instrument, std::string& error);

	bool hasCcMap () const { return holdsCcMap; }
	const CcMap& ccMap () const { return map; }
	/** The map the audio thread resolves controllers through; this
	 *  session's thread publishes into it. */
	CcMapStore& ccMapStore () { return store; }
	/** The controllers the audio thread routed, for the editor. */
	CcActivityFeed& ccActivity () { return activity; }
	/** The controllers that moved and are due (at most 30 a second each),
	 *  as MIDI_CC's payload: three bytes per controller; empty when none
	 *  did. Callers on several threads never drain at once: one of two
	 *  drains at the same time gets nothing. */
	std::string drainCcActivity ();
	const std::string& bankLocator () const { return locator; }
	const std::string& presetId () const { return preset; }
	bool hasTransportSnapshot () const { return transportSnapshot; }

private:
	void applyBankRecall (const StateChunk& chunk);
	void clearBank ();
	void publishCcMap ();

	KernelEngine& engine;
	std::function<void ()> diagnosticsChanged;
	CcMap map;
	bool holdsCcMap = false;
	CcMapStore store;
	CcActivityFeed activity;
	std::atomic_flag draining = ATOMIC_FLAG_INIT;
	std::string source;
	std::string locator;
	std::string preset;
	bool transportSnapshot = false;
};

} // namespace tavik
