#include "lifecycle_log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

namespace {

using namespace tavik;
using Kind = DiagnosticLifecycleKind;

TEST (LifecycleLog, KindNames)
{
	Kind kind = Kind::created;
	EXPECT_TRUE (diagnosticLifecycleKindFromName ("stateSaved", kind));
	EXPECT_EQ (static_cast<int> (kind), 9);
	EXPECT_FALSE (diagnosticLifecycleKindFromName ("StateSaved", kind));
	EXPECT_FALSE (diagnosticLifecycleKindFromName ("", kind));
	EXPECT_FALSE (diagnosticLifecycleKindFromName (nullptr, kind));
	EXPECT_EQ (static_cast<int> (kind), 9);
	EXPECT_STREQ (diagnosticLifecycleKindName (Kind::runtimeDiagnostic), "runtimeDiagnostic");
	EXPECT_STREQ (diagnosticLifecycleKindName (Kind::timeSignatureChanged), "timeSignatureChanged");
	EXPECT_EQ (diagnosticLifecycleKindName (static_cast<Kind> (25)), nullptr);
}

TEST (LifecycleLog, RecordsInARingOf256)
{
	auto log = std::make_unique<DiagnosticLifecycleLog> ();
	const DiagnosticLifecycleEvent& first = log->record (Kind::created, -1);
	EXPECT_EQ (first.sequence, 1u);
	EXPECT_GE (first.timeMs, 0);
	EXPECT_LT (first.timeMs, 1000);
	for (int i = 1; i < 300; ++i)
		log->record (Kind::stimulus, i);
	EXPECT_EQ (log->count, 256u);
	EXPECT_EQ (log->dropped, 44u);
	EXPECT_EQ (log->at (0).sequence, 45u);
	EXPECT_EQ (log->at (255).sequence, 300u);
	EXPECT_EQ (log->at (999).sequence, 45u); // out of range: the oldest
	std::string out;
	ASSERT_TRUE (writeDiagnosticLifecycleReplayJson (out, *log));
	EXPECT_EQ (out.rfind (",\"dropped\":44}"), out.size () - 14);
	EXPECT_EQ (out.find ("{\"type\":\"tavik.lifecycle\",\"events\":[{\"seq\":45,"), 0u);
}

TEST (LifecycleLog, EventJsonAndDetails)
{
	auto log = std::make_unique<DiagnosticLifecycleLog> ();
	DiagnosticLifecycleEvent& e = log->record (Kind::presetLoaded, -1);
	e.timeMs = 12.5;
	e.addString ("id", "factory-3");
	e.addNumber ("index", 2);
	e.addBool ("dirty", false);
	e.addNull ("bank");
	e.addNumber ("inf", INFINITY);
	e.addString (nullptr, nullptr);
	e.addString ("seventh", "ignored");
	std::string out;
	writeDiagnosticLifecycleEventJson (out, e);
	EXPECT_EQ (out, "{\"seq\":1,\"timeMs\":12.5,\"kind\":\"presetLoaded\",\"detail\":{\"id\":\"factory-3\",\"index\":2,"
	                "\"dirty\":false,\"bank\":null,\"inf\":null,\"\":\"\"}}");

	DiagnosticLifecycleEvent& f = log->record (Kind::activated, 0);
	f.timeMs = 0;
	f.addString (std::string (30, 'n').c_str (), std::string (100, 't').c_str ());
	f.sequence = 1000000;
	out.clear ();
	writeDiagnosticLifecycleEventJson (out, f);
	EXPECT_EQ (out, "{\"seq\":1e+06,\"timeMs\":0,\"atFrame\":0,\"kind\":\"activated\",\"detail\":{\"" +
	                    std::string (23, 'n') + "\":\"" + std::string (63, 't') + "\"}}");
	f.kind = static_cast<Kind> (40);
	f.detailCount = 0;
	out.clear ();
	writeDiagnosticLifecycleEventJson (out, f);
	EXPECT_NE (out.find ("\"kind\":\"runtimeDiagnostic\"}"), std::string::npos);
}

TEST (LifecycleLog, MessageWriters)
{
	std::string out;
	EXPECT_FALSE (writeDiagnosticLifecycleJson (out, nullptr, 3, 0));
	auto log = std::make_unique<DiagnosticLifecycleLog> ();
	EXPECT_FALSE (writeDiagnosticLifecycleReplayJson (out, *log));
	DiagnosticLifecycleEvent& e = log->record (Kind::reset, 77);
	e.timeMs = 1;
	EXPECT_FALSE (writeDiagnosticLifecycleJson (out, &e, 0, 0));
	EXPECT_TRUE (out.empty ());
	ASSERT_TRUE (writeDiagnosticLifecycleJson (out, &e, 1, 0));
	EXPECT_EQ (
		out, "{\"type\":\"tavik.lifecycle\",\"events\":[{\"seq\":1,\"timeMs\":1,\"atFrame\":77,\"kind\":\"reset\"}]}");
	out.clear ();
	ASSERT_TRUE (writeDiagnosticLifecycleJson (out, &e, 1, 5));
	EXPECT_NE (out.find ("],\"dropped\":5}"), std::string::npos);
}

} // namespace
