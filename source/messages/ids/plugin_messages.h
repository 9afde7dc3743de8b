// The messages the processor and the controller exchange over the SDK's
// connection point. Text payloads travel as one binary attribute, "json",
// without a terminating zero.
#pragma once

namespace tavik::messages {

/** The one attribute every text payload travels in. */
constexpr const char* JSON_ATTRIBUTE = "json";

// Controller to processor.
constexpr const char* CC_MAP = "tavik.ccMap";
constexpr const char* PAD_OVERRIDES = "tavik.padOverrides";
constexpr const char* LOAD_RUNTIME_BANK = "tavik.loadRuntimeBank";
constexpr const char* PRESET_LOADED = "tavik.diag.presetLoaded";
constexpr const char* TRANSPORT_POLL = "tavik.diag.transportPoll";
constexpr const char* FEED_DRAIN = "tavik.diag.feedDrain";
constexpr const char* RESET_COUNTERS = "tavik.diag.resetCounters";
constexpr const char* STAGE_RESOURCE_SLOT = "tavik.stageResourceSlot";
/** Asks for the processor's state document (a preset being saved). */
constexpr const char* STATE_REQUEST = "tavik.stateRequest";

// Processor to controller.
constexpr const char* RUNTIME_DIAGNOSTICS = "tavik.runtimeDiagnostics";
constexpr const char* HOST_FACTS = "tavik.diag.hostFacts";
constexpr const char* RUNTIME_BANK_RESULT = "tavik.runtimeBankResult";
constexpr const char* LIFECYCLE = "tavik.diag.lifecycle";
constexpr const char* TRANSPORT = "tavik.diag.transport";
constexpr const char* SIGNAL = "tavik.diag.signal";
/** The answer to STATE_REQUEST: the state document, as getState writes it. */
constexpr const char* COMPONENT_STATE = "tavik.componentState";
/** Controllers that moved since the last feed drain: three bytes each
 *  (controller, channel 1..16, value), as CcActivityRecord holds them. */
constexpr const char* MIDI_CC = "tavik.midiCc";
/** The values MIDI controllers gave parameters in one block, where the
 *  host cannot be told (an LV2 host's control ports are its own): twelve
 *  bytes each, the parameter id (uint32) and its normalized value
 *  (double), in host byte order. */
constexpr const char* PARAMETER_VALUES = "tavik.paramValues";

} // namespace tavik::messages
