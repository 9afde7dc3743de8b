#include "runtime_diagnostics.h"

#include "fixed_text.h"
#include "json_writer.h"

#include <cstring>

namespace tavik {

namespace {

const char* const kCodeNames[] = {
	"runtime.unknown", // 0
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

const char* const kPhaseNames[] = {"build",    "package", "install", "scan",  "load",   "configure",
                                   "activate", "process", "preset",  "state", "editor", "shutdown"};

void appendRecord (std::string& out, const tavik_runtime_diagnostic& record, const char* moduleId, const char* version,
                   double sampleRate, int maxBlockFrames, const char* target)
{
	JsonMembers m = JsonMembers::open (out);
	m.text ("format", "tavik-plugin-runtime-diagnostic/v1");
	m.integer ("schemaVersion", 1);
	m.integer ("sequence", record.sequence);
	m.text ("code", diagnosticCodeName (record.code));
	m.text ("severity", diagnosticSeverityName (record.severity));
	m.text ("phase", diagnosticPhaseName (record.phase));
	m.text ("component", "shell");
	m.text ("message", fixedText (record.message).c_str ());
	m.boolean ("recoverable", record.severity == DIAG_INFO || record.severity == DIAG_WARNING);
	JsonMembers identity = m.object ("identity");
	identity.text ("moduleId", moduleId ? moduleId : "unknown");
	identity.text ("version", version ? version : "unknown");
	identity.text ("target", target);
	identity.close ();
	JsonMembers configuration = m.object ("configuration");
	configuration.number ("sampleRate", sampleRate);
	configuration.integer ("maxBlockFrames", maxBlockFrames);
	configuration.close ();
	m.raw ("occurrence", "{\"count\":1}");
	const std::string detail = fixedText (record.detail);
	if (!detail.empty ())
	{
		JsonMembers context = m.object ("context");
		context.text ("detail", detail.c_str ());
		context.close ();
	}
	m.close ();
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

const char* diagnosticPhaseName (uint8_t phase) { return phase <= PHASE_SHUTDOWN ? kPhaseNames[phase] : "process"; }

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
                                    const char* version, double sampleRate, int maxBlockFrames, bool failed,
                                    const char* target)
{
	if (!target)
		target = "vst3";
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
	JsonMembers m = JsonMembers::open (out);
	m.text ("format", "tavik-runtime-health/v1");
	m.integer ("schemaVersion", 1);
	m.text ("instanceId", target);
	m.text ("lifecycle", failed ? "failed" : "configured");
	m.text ("status", status);
	JsonMembers counters = m.object ("counters");
	counters.integer ("diagnostics", ring.count);
	counters.integer ("diagnostics.dropped", ring.dropped);
	counters.close ();
	m.member ("diagnostics") += "[";
	for (uint32_t i = 0; i < count; ++i)
	{
		if (i)
			out += ",";
		appendRecord (out, ring.records[i], moduleId, version, sampleRate, maxBlockFrames, target);
	}
	out += "]";
	if (firstError)
		appendRecord (m.member ("firstError"), *firstError, moduleId, version, sampleRate, maxBlockFrames, target);
	m.close ();
	return out;
}

} // namespace tavik
