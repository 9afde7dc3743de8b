// Coded runtime diagnostics, their fixed ring, and the runtime-health report
// built from it.
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

enum tavik_diagnostic_code : uint32_t
{
	DIAG_KERNEL_CREATE_FAILED = 1,
	DIAG_RATE_ADAPTER_INIT_FAILED = 2,
	DIAG_UNSUPPORTED_PROCESSING_CONFIGURATION = 3,
	DIAG_PROCESS_FAILED = 4,
	DIAG_SUSPICIOUS_SILENCE = 5,
	DIAG_PRESET_BANK_MISMATCH = 6,
	DIAG_PRESET_PROCESSOR_APPLY_FAILED = 7,
	DIAG_STATE_DECODE_FAILED = 8,
	DIAG_STATE_RESTORE_FAILED = 9,
	DIAG_EDITOR_BUNDLE_IDENTITY_MISMATCH = 10,
	DIAG_EDITOR_BRIDGE_TIMEOUT = 11,
	DIAG_INSTALL_ARTIFACT_STALE = 12,
	DIAG_INSTALL_DUPLICATE_SCAN_CANDIDATE = 13,
	DIAG_INVALID_CONFIGURATION = 14,
	DIAG_ENGINE_UNAVAILABLE = 15,
	DIAG_BUILD_DEPENDENCY_MISSING = 16,
	DIAG_BUILD_ARTIFACT_MISSING = 17,
	DIAG_HOST_VALIDATOR_MISSING = 18,
	DIAG_REALTIME_VIOLATION = 19,
	DIAG_NONFINITE_AUDIO = 20,
	DIAG_CALLBACK_MISSING = 21,
	DIAG_EVENT_REJECTED = 22,
	DIAG_HOST_CONNECTION_FAILED = 23,
	DIAG_CLOSED = 24,
	DIAG_DIAGNOSTICS_OVERFLOW = 25,
	DIAG_UNKNOWN = 26,
	DIAG_BANK_MISSING = 27,
	DIAG_BANK_HASH_MISMATCH = 28,
};

enum tavik_diagnostic_severity : uint8_t
{
	DIAG_INFO = 0,
	DIAG_WARNING = 1,
	DIAG_ERROR = 2,
	DIAG_FATAL = 3,
};

enum tavik_diagnostic_phase : uint8_t
{
	PHASE_BUILD = 0,
	PHASE_PACKAGE = 1,
	PHASE_INSTALL = 2,
	PHASE_SCAN = 3,
	PHASE_LOAD = 4,
	PHASE_CONFIGURE = 5,
	PHASE_ACTIVATE = 6,
	PHASE_PROCESS = 7,
	PHASE_PRESET = 8,
	PHASE_STATE = 9,
	PHASE_EDITOR = 10,
	PHASE_SHUTDOWN = 11,
};

struct tavik_runtime_diagnostic
{
	uint32_t sequence;
	uint32_t code;
	uint8_t severity;
	uint8_t phase;
	uint8_t reserved[2];
	char message[192];
	char detail[128];
};

constexpr uint32_t TAVIK_DIAGNOSTIC_RING_CAPACITY = 32;

struct tavik_runtime_diagnostic_ring
{
	uint32_t header;
	uint32_t nextSequence;
	uint32_t dropped;
	uint32_t firstErrorSequence;
	uint32_t count;
	tavik_runtime_diagnostic records[TAVIK_DIAGNOSTIC_RING_CAPACITY];
};

/** A ring in its initial state (header 1, next sequence 1, empty). */
void diagnosticRingInit (tavik_runtime_diagnostic_ring& ring);

/** Appends a record (or counts it as dropped when the ring is full). Message
 *  and detail are cut at 191 and 127 bytes; null reads as empty. */
void diagnosticRingAppend (tavik_runtime_diagnostic_ring& ring, uint32_t code, uint8_t severity, uint8_t phase,
                           const char* message, const char* detail);

const char* diagnosticCodeName (uint32_t code);
const char* diagnosticSeverityName (uint8_t severity);
const char* diagnosticPhaseName (uint8_t phase);

/** The "tavik-runtime-health/v1" report of a ring, from the plug-in format
 *  `target` ("vst3", "lv2"; null is "vst3"), which names the instance and
 *  each record's identity. */
std::string writeRuntimeHealthJson (const tavik_runtime_diagnostic_ring& ring, const char* moduleId,
                                    const char* version, double sampleRate, int maxBlockFrames, bool failed,
                                    const char* target = "vst3");

} // namespace tavik
