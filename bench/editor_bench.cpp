// How the editor opens and closes in a host: each iteration attaches the
// editor view to a fresh X window from inside the host's run loop (as a
// host does from its own event handling) and runs the loop until the page
// has said "tavik.ready"; the time from the attach call to the helper's
// receipt of that message is the iteration's time. Meanwhile a 10 ms timer
// of the host's own records the gaps between its fires: the longest gap is
// how long the editor held the host's UI thread (the timer's own 10 ms
// included). The loop then runs on for a second (the page's first messages
// and drawing), the proportional set size of the helper and every process
// it started is read (WebKit's web and network processes and their
// sandbox), and the view is removed, again from inside the loop, with the
// gap recorded for the close. The first attach warms the caches and is not
// counted; later ones either start a new helper or reopen the one kept
// from the previous close. Needs an X display: run it under xvfb-run.

#include "host_context.h"
#include "hosted_module.h"
#include "plugin_instance.h"
#include "x11_host.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

using namespace Steinberg;
using Steinberg::Vst::IEditController;
using namespace tavik::tools;
using namespace std::chrono_literals;

double monotonicSeconds ()
{
	timespec now {};
	clock_gettime (CLOCK_MONOTONIC, &now);
	return static_cast<double> (now.tv_sec) + now.tv_nsec * 1e-9;
}

// The trace time of the page's ready message, or a negative number.
double readyTime (const std::string& trace)
{
	const size_t at = trace.find (" page {\"type\":\"tavik.ready\"}");
	if (at == std::string::npos)
		return -1;
	const size_t lineStart = trace.rfind ('\n', at);
	return std::strtod (trace.c_str () + (lineStart == std::string::npos ? 0 : lineStart + 1), nullptr);
}

double milliseconds (std::chrono::microseconds time) { return time.count () / 1000.0; }

struct Opened
{
	double seconds = -1;
	double openGapMs = 0;
	double openDispatchMs = 0;
	double closeGapMs = 0;
	double closeDispatchMs = 0;
	double pssMiB = 0;
	int processes = 0;
};

Opened openEditorOnce (IEditController* controller, const std::string& tracePath)
{
	Opened result;
	std::ofstream (tracePath, std::ios::trunc).close ();
	HostWindow window (720, 560, "Zorv editor benchmark");
	HostRunLoop loop (window);
	loop.measureGaps (10ms);
	IPtr<IPlugView> view = owned (controller->createView ("editor"));
	if (!view)
		return result;
	view->setFrame (&loop);

	double start = -1;
	bool attached = false;
	loop.resetGaps ();
	loop.callSoon ([&] {
		start = monotonicSeconds ();
		attached =
			view->attached (reinterpret_cast<void*> (window.window ()), kPlatformTypeX11EmbedWindowID) == kResultOk;
	});
	double ready = -1;
	loop.run (30s, [&] { return start > 0 && (!attached || (ready = readyTime (readTextFile (tracePath))) > 0); });
	if (!attached || ready < 0)
	{
		std::fprintf (stderr, "the editor did not open; the helper's trace:\n%s", readTextFile (tracePath).c_str ());
		return result;
	}
	result.seconds = ready - start;
	// The page's first messages and its drawing.
	loop.run (1s, nullptr);
	result.openGapMs = milliseconds (loop.longestGap ());
	result.openDispatchMs = milliseconds (loop.slowestDispatch ().time);
	if (std::getenv ("ZORV_BENCH_VERBOSE"))
	{
		std::fprintf (stderr, "attach at %.6f; slowest: %s %.3f ms\n%s", start, loop.slowestDispatch ().what,
		              result.openDispatchMs, readTextFile (tracePath).substr (0, 400).c_str ());
		for (pid_t pid : descendantProcesses (::getpid ()))
			std::fprintf (stderr, "  %d %s %ld KiB\n", pid, processName (pid).c_str (), proportionalSetKiB (pid));
	}
	// Let the page settle before weighing it.
	loop.run (500ms, nullptr);
	long kib = 0;
	for (pid_t pid : descendantProcesses (::getpid ()))
	{
		kib += proportionalSetKiB (pid);
		++result.processes;
	}
	result.pssMiB = kib / 1024.0;

	loop.resetGaps ();
	loop.callSoon ([&] { view->removed (); });
	loop.run (500ms, nullptr);
	result.closeGapMs = milliseconds (loop.longestGap ());
	result.closeDispatchMs = milliseconds (loop.slowestDispatch ().time);
	view->setFrame (nullptr);
	// Without a kept helper, the next attach is measured warm but alone:
	// WebKit's processes of this one have gone first.
	if (std::getenv ("ZORV_EDITOR_KEEP_SECONDS"))
		loop.run (5s, [] { return descendantProcesses (::getpid ()).empty (); });
	return result;
}

// range(0): 1 reopens the helper kept from the previous close (the usual
// reopen), 0 starts a new helper every time.
void BM_EditorOpenAndClose (benchmark::State& state)
{
	if (state.range (0) == 0)
		::setenv ("ZORV_EDITOR_KEEP_SECONDS", "0", 1);
	else
		::unsetenv ("ZORV_EDITOR_KEEP_SECONDS");
	const char* bundle = std::getenv ("ZORV_BUNDLE");
	const std::string tracePath = "/tmp/zorv-editor-bench-" + std::to_string (::getpid ()) + ".trace";
	::setenv ("ZORV_EDITOR_TRACE", tracePath.c_str (), 1);
	ToolHostApplication host ("Zorv editor benchmark");
	HostedModule module (bundle ? bundle : ZORV_BUNDLE_PATH);
	PluginInstance plugin (module.factory (), firstAudioProcessorClass (module.factory ()), &host);

	if (openEditorOnce (plugin.controller (), tracePath).seconds < 0)
	{
		state.SkipWithError ("the editor did not open");
		return;
	}
	double pss = 0;
	double largestPss = 0;
	int processes = 0;
	double openGap = 0, openGapSum = 0, closeGap = 0, openDispatch = 0, closeDispatch = 0;
	for (auto _ : state)
	{
		const Opened opened = openEditorOnce (plugin.controller (), tracePath);
		if (opened.seconds < 0)
		{
			state.SkipWithError ("the editor did not open");
			break;
		}
		state.SetIterationTime (opened.seconds);
		pss += opened.pssMiB;
		largestPss = std::max (largestPss, opened.pssMiB);
		processes = opened.processes;
		openGap = std::max (openGap, opened.openGapMs);
		openGapSum += opened.openGapMs;
		closeGap = std::max (closeGap, opened.closeGapMs);
		openDispatch = std::max (openDispatch, opened.openDispatchMs);
		closeDispatch = std::max (closeDispatch, opened.closeDispatchMs);
	}
	if (state.iterations () > 0)
	{
		const double n = static_cast<double> (state.iterations ());
		state.counters["pss_mib"] = pss / n;
		state.counters["pss_mib_max"] = largestPss;
		state.counters["processes"] = processes;
		// The longest gap of the host's 10 ms timer over all iterations, and
		// the slowest single call the loop made (attached(), removed(), a
		// socket or timer handler of the editor's).
		state.counters["open_gap_ms_max"] = openGap;
		state.counters["open_gap_ms_mean"] = openGapSum / n;
		state.counters["open_call_ms_max"] = openDispatch;
		state.counters["close_gap_ms_max"] = closeGap;
		state.counters["close_call_ms_max"] = closeDispatch;
	}
	std::remove (tracePath.c_str ());
}
BENCHMARK (BM_EditorOpenAndClose)
	->ArgName ("kept_helper")
	->Arg (0)
	->Arg (1)
	->UseManualTime ()
	->Iterations (8)
	->Unit (benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN ();
