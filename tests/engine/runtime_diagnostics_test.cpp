// Diagnostic records: the ring, the audio thread's queue, and the
// runtime-health report.

#include "realtime_diagnostic_queue.h"
#include "runtime_diagnostics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using namespace tavik;

tavik_runtime_diagnostic_ring emptyRing ()
{
	tavik_runtime_diagnostic_ring ring;
	diagnosticRingInit (ring);
	return ring;
}

TEST (DiagnosticRing, KeepsThirtyTwoAndCountsTheRest)
{
	auto ring = emptyRing ();
	diagnosticRingAppend (ring, DIAG_SUSPICIOUS_SILENCE, DIAG_WARNING, PHASE_PROCESS, "quiet", nullptr);
	diagnosticRingAppend (ring, DIAG_PROCESS_FAILED, DIAG_ERROR, PHASE_PROCESS, "a", "");
	diagnosticRingAppend (ring, DIAG_ENGINE_UNAVAILABLE, DIAG_FATAL, PHASE_CONFIGURE, "b", "");
	EXPECT_EQ (ring.firstErrorSequence, 2u);
	for (int i = 0; i < 40; ++i)
		diagnosticRingAppend (ring, DIAG_UNKNOWN, DIAG_INFO, PHASE_PROCESS, "x", "y");
	EXPECT_EQ (ring.count, 32u);
	EXPECT_EQ (ring.dropped, 11u);
	EXPECT_EQ (ring.nextSequence, 44u);
	EXPECT_EQ (ring.records[31].sequence, 32u);

	auto cut = emptyRing ();
	diagnosticRingAppend (cut, 1, 0, 0, std::string (300, 'm').c_str (), std::string (300, 'd').c_str ());
	EXPECT_EQ (std::string (cut.records[0].message).size (), 191u);
	EXPECT_EQ (std::string (cut.records[0].detail).size (), 127u);
}

TEST (RealtimeDiagnostics, DrainMovesEntriesAndAccountsForOverflow)
{
	RealtimeDiagnosticQueue queue;
	auto ring = emptyRing ();
	EXPECT_FALSE (queue.hasPending ());
	queue.post (DIAG_RATE_ADAPTER_INIT_FAILED, DIAG_ERROR, PHASE_PROCESS);
	queue.post (DIAG_PROCESS_FAILED, DIAG_FATAL, PHASE_PROCESS);
	queue.post (DIAG_EVENT_REJECTED, DIAG_ERROR, PHASE_PROCESS);
	EXPECT_TRUE (queue.hasPending ());
	queue.drainInto (ring);
	EXPECT_FALSE (queue.hasPending ());
	ASSERT_EQ (ring.count, 3u);
	EXPECT_STREQ (ring.records[0].message, "sample-rate adapter failed; output was cleared");
	EXPECT_STREQ (ring.records[1].message, "audio process callback failed; output was cleared");
	EXPECT_EQ (ring.records[1].severity, DIAG_FATAL);
	EXPECT_STREQ (ring.records[2].message, "runtime diagnostic observed on the audio callback");
	EXPECT_STREQ (ring.records[2].detail, "audio callback");

	// 40 posts keep 32; the drain offers those 32 and one overflow record,
	// which a ring that has just taken 32 records can only count as dropped.
	for (int i = 0; i < 40; ++i)
		queue.post (DIAG_PROCESS_FAILED, DIAG_ERROR, PHASE_PROCESS);
	auto full = emptyRing ();
	queue.drainInto (full);
	EXPECT_EQ (full.count, 32u);
	EXPECT_EQ (full.nextSequence, 34u);
	EXPECT_EQ (full.dropped, 1u);
	EXPECT_FALSE (queue.hasPending ());
	// The queue works on after wrapping around.
	queue.post (DIAG_EVENT_REJECTED, DIAG_ERROR, PHASE_PROCESS);
	auto again = emptyRing ();
	queue.drainInto (again);
	EXPECT_EQ (again.count, 1u);
}

TEST (HealthReport, EmptyRingIsHealthy)
{
	const auto ring = emptyRing ();
	EXPECT_EQ (writeRuntimeHealthJson (ring, "music.tavik.zorv", "0.0.0", 48000, 512, false),
	           "{\"format\":\"tavik-runtime-health/v1\",\"schemaVersion\":1,\"instanceId\":\"vst3\","
	           "\"lifecycle\":\"configured\",\"status\":\"healthy\",\"counters\":{\"diagnostics\":0,"
	           "\"diagnostics.dropped\":0},\"diagnostics\":[]}");
}

TEST (HealthReport, StatusRules)
{
	auto dropped = emptyRing ();
	dropped.dropped = 3;
	EXPECT_NE (writeRuntimeHealthJson (dropped, nullptr, nullptr, 48000, 512, false).find ("\"status\":\"degraded\""),
	           std::string::npos);
	const std::string failedOnly = writeRuntimeHealthJson (emptyRing (), nullptr, nullptr, 48000, 512, true);
	EXPECT_NE (failedOnly.find ("\"lifecycle\":\"failed\",\"status\":\"failed\""), std::string::npos);

	auto warning = emptyRing ();
	diagnosticRingAppend (warning, DIAG_SUSPICIOUS_SILENCE, DIAG_WARNING, PHASE_PROCESS, "w", "");
	EXPECT_NE (writeRuntimeHealthJson (warning, nullptr, nullptr, 48000, 512, false).find ("\"status\":\"degraded\""),
	           std::string::npos);

	auto error = emptyRing ();
	diagnosticRingAppend (error, DIAG_PROCESS_FAILED, DIAG_ERROR, PHASE_PROCESS, "e", "");
	const std::string withError = writeRuntimeHealthJson (error, nullptr, nullptr, 48000, 512, false);
	EXPECT_NE (withError.find ("\"status\":\"failed\""), std::string::npos);
	EXPECT_NE (withError.find ("\"firstError\":{"), std::string::npos);
	// The LV2 build names itself in the instance and in every record.
	const std::string fromLv2 = writeRuntimeHealthJson (error, nullptr, nullptr, 48000, 512, false, "lv2");
	EXPECT_NE (fromLv2.find ("\"instanceId\":\"lv2\""), std::string::npos);
	EXPECT_EQ (fromLv2.find ("vst3"), std::string::npos);
	error.firstErrorSequence = 99; // names no stored record
	EXPECT_EQ (writeRuntimeHealthJson (error, nullptr, nullptr, 48000, 512, false).find ("firstError"),
	           std::string::npos);
}

TEST (HealthReport, RecordLayoutAndFallbackNames)
{
	auto ring = emptyRing ();
	diagnosticRingAppend (ring, 29, 7, 40, "say \"hi\"\\", "why");
	const std::string text = writeRuntimeHealthJson (ring, nullptr, nullptr, std::nan (""), 64, false);
	const std::string record =
		"{\"format\":\"tavik-plugin-runtime-diagnostic/v1\",\"schemaVersion\":1,\"sequence\":1,"
		"\"code\":\"runtime.unknown\",\"severity\":\"error\",\"phase\":\"process\",\"component\":\"shell\","
		"\"message\":\"say \\\"hi\\\"\\\\\",\"recoverable\":false,\"identity\":{\"moduleId\":\"unknown\","
		"\"version\":\"unknown\",\"target\":\"vst3\"},\"configuration\":{\"sampleRate\":null,"
		"\"maxBlockFrames\":64},\"occurrence\":{\"count\":1},\"context\":{\"detail\":\"why\"}}";
	// Severity 7 is written as "error", but the status rules look at the
	// stored severity: it is neither error nor fatal, so no first error.
	EXPECT_EQ (text, "{\"format\":\"tavik-runtime-health/v1\",\"schemaVersion\":1,\"instanceId\":\"vst3\","
	                 "\"lifecycle\":\"configured\",\"status\":\"healthy\",\"counters\":{\"diagnostics\":1,"
	                 "\"diagnostics.dropped\":0},\"diagnostics\":[" +
	                     record + "]}");

	auto info = emptyRing ();
	diagnosticRingAppend (info, DIAG_KERNEL_CREATE_FAILED, DIAG_INFO, PHASE_CONFIGURE, "fine", "");
	const std::string infoText = writeRuntimeHealthJson (info, "m", "1", 44100, 128, false);
	EXPECT_NE (
		infoText.find ("\"code\":\"runtime.kernel-create-failed\",\"severity\":\"info\",\"phase\":\"configure\""),
		std::string::npos);
	EXPECT_NE (infoText.find ("\"recoverable\":true"), std::string::npos);
	EXPECT_NE (infoText.find ("\"sampleRate\":44100"), std::string::npos);
	EXPECT_EQ (infoText.find ("context"), std::string::npos);
	EXPECT_STREQ (diagnosticCodeName (0), "runtime.unknown");
	EXPECT_STREQ (diagnosticCodeName (28), "bank.hash-mismatch");
	EXPECT_STREQ (diagnosticPhaseName (11), "shutdown");
}

} // namespace
