#include "runtime_diagnostics.h"

#include "fixed_text.h"
#include "json_writer.h"

#include <cstring>

namespace tavik {

namespace {

const char* const kCodeNames[] = {
	"runtime.unknown",  // 0
	"runtime.kernel-create-failed",
	"runtime.rate-adapter-init-failed",
	"runtime.unsupported-processing-configuration",
	"runtime.process-failed",
	"runtime.suspicious-silence",
	"preset.bank-mismatch",
	"preset.processor-apply-failed",
	"state.decode-failed",
	"state.restore-failed",
	"editor.bundle-identity-mismatch",
	"editor.bridge-timeout",
	"install.artifact-stale",
	"install.duplicate-scan-candidate",
	"runtime.invalid-configuration",
	"runtime.engine-unavailable",
	"build.dependency-missing",
	"build.artifact-missing",
	"host.validator-missing",
	"runtime.realtime-violation",
	"runtime.nonfinite-audio",
	"runtime.callback-missing",
	"runtime.event-rejected",
	"runtime.host-connection-failed",
	"runtime.closed",
	"runtime.diagnostics-overflow",
	"runtime.unknown",
	"bank.missing",
	"bank.hash-mismatch",
};

const char* const kPhaseNames[] = {"build",   "package", "install", "scan",   "load",   "configure",
                                   "activate", "process", "preset",  "state", "editor", "shutdown"};

void appendRecord (std::string& out, const tavik_runtime_diagnostic& record, const char* moduleId,
                   const char* version, double sampleRate, int maxBlockFrames)
{
	out += "{\"format\":\"tavik-plugin-runtime-diagnostic/v1\",\"schemaVersion\":1,\"sequence\":";
	out += std::to_string (record.sequence);
	out += ",\"code\":";
	jsonAppendQuoted (out, diagnosticCodeName (record.code));
	out += ",\"severity\":";
	jsonAppendQuoted (out, diagnosticSeverityName (record.severity));
	out += ",\"phase\":";
	jsonAppendQuoted (out, diagnosticPhaseName (record.phase));
	out += ",\"component\":\"shell\",\"message\":";
	jsonAppendQuoted (out, fixedText (record.message).c_str ());
	out += ",\"recoverable\":";
	out += record.severity == DIAG_INFO || record.severity == DIAG_WARNING ? "true" : "false";
	out += ",\"identity\":{\"moduleId\":";
	jsonAppendQuoted (out, moduleId ? moduleId : "unknown");
	out += ",\"version\":";
	jsonAppendQuoted (out, version ? version : "unknown");
	out += ",\"target\":\"vst3\"},\"configuration\":{\"sampleRate\":";
	jsonAppendNumber (out, sampleRate);
	out += ",\"maxBlockFrames\":";
	out += std::to_string (maxBlockFrames);
	out += "},\"occurrence\":{\"count\":1}";
	const std::string detail = fixedText (record.detail);
	if (!detail.empty ())
	{
		out += ",\"context\":{\"detail\":";
		jsonAppendQuoted (out, detail.c_str ());
		out += "}";
	}
	out += "}";
}

} // namespace

const char* diagnosticCodeName (uint32_t code)
{
	return code >= 1 && code <= 28 ? kCodeNames[code] : "runtime.unknown";
}

const char* diagnosticSeverityName (uint8_t severity)
{
	switch (severity)
	{
		case DIAG_INFO: return "info";
		case DIAG_WARNING: return "warning";
		case DIAG_FATAL: return "fatal";
		default: return "error";
	}
}

const char* diagnosticPhaseName (uint8_t phase)
{
	return phase <= PHASE_SHUTDOWN ? kPhaseNames[phase] : "process";
}

void diagnosticRingInit (tavik_runtime_diagnostic_ring& ring)
{
	std::memset (&ring, 0, sizeof (ring));
	ring.header = 1;
	ring.nextSequence = 1;
}

void diagnosticRingAppend (tavik_runtime_diagnostic_ring& ring, uint32_t code, uint8_t severity, uint8_t phase,
                           const char* message, const char* detail)
{
	const uint32_t sequence = ring.nextSequence++;
	if (ring.count >= TAVIK_DIAGNOSTIC_RING_CAPACITY)
	{
		++ring.dropped;
		return;
	}
	tavik_runtime_diagnostic& record = ring.records[ring.count++];
	std::memset (&record, 0, sizeof (record));
	record.sequence = sequence;
	record.code = code;
	record.severity = severity;
	record.phase = phase;
	copyFixedText (record.message, message);
	copyFixedText (record.detail, detail);
	if (ring.firstErrorSequence == 0 && (severity == DIAG_ERROR || severity == DIAG_FATAL))
		ring.firstErrorSequence = sequence;
}

std::string writeRuntimeHealthJson (const tavik_runtime_diagnostic_ring& ring, const char* moduleId,
                                    const char* version, double sampleRate, int maxBlockFrames, bool failed)
{
	const uint32_t count = ring.count < TAVIK_DIAGNOSTIC_RING_CAPACITY ? ring.count : TAVIK_DIAGNOSTIC_RING_CAPACITY;
	bool anyError = false;
	bool anyWarning = false;
	const tavik_runtime_diagnostic* firstError = nullptr;
	for (uint32_t i = 0; i < count; ++i)
	{
		const tavik_runtime_diagnostic& r = ring.records[i];
		anyError = anyError || r.severity == DIAG_ERROR || r.severity == DIAG_FATAL;
		anyWarning = anyWarning || r.severity == DIAG_WARNING;
		if (!firstError && ring.firstErrorSequence != 0 && r.sequence == ring.firstErrorSequence)
			firstError = &r;
	}
	const char* status = (failed || anyError) ? "failed" : (ring.dropped != 0 || anyWarning) ? "degraded" : "healthy";

	std::string out;
	out.reserve (512 + count * 512);
	out += "{\"format\":\"tavik-runtime-health/v1\",\"schemaVersion\":1,\"instanceId\":\"vst3\",\"lifecycle\":";
	jsonAppendQuoted (out, failed ? "failed" : "configured");
	out += ",\"status\":";
	jsonAppendQuoted (out, status);
	out += ",\"counters\":{\"diagnostics\":";
	out += std::to_string (ring.count);
	out += ",\"diagnostics.dropped\":";
	out += std::to_string (ring.dropped);
	out += "},\"diagnostics\":[";
	for (uint32_t i = 0; i < count; ++i)
	{
		if (i)
			out += ",";
		appendRecord (out, ring.records[i], moduleId, version, sampleRate, maxBlockFrames);
	}
	out += "]";
	if (firstError)
	{
		out += ",\"firstError\":";
		appendRecord (out, *firstError, moduleId, version, sampleRate, maxBlockFrames);
	}
	out += "}";
	return out;
}

} // namespace tavik
