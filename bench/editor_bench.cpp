// How quickly the editor opens and how much memory it takes: each iteration
// attaches the editor view to a fresh X window, runs the host's loop until
// the page has said "tavik.ready" (time measured from the attach call to the
// helper's receipt of that message), then reads the proportional set size
// of the helper and every process it started (WebKit's web and network
// processes and their sandbox). The first attach warms the caches and is
// not counted; later ones either start a new helper or reopen the one kept
// from the previous close. Needs an X display: run it under xvfb-run.

#include "host_context.h"
#include "hosted_module.h"
#include "plugin_instance.h"
#include "x11_host.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <benchmark/benchmark.h>

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

struct Opened
{
	double seconds = -1;
	double pssMiB = 0;
	int processes = 0;
};

Opened openEditorOnce (IEditController* controller, const std::string& tracePath)
{
	Opened result;
	std::ofstream (tracePath, std::ios::trunc).close ();
	HostWindow window (720, 560, "Zorv editor benchmark");
	HostRunLoop loop (window);
	IPtr<IPlugView> view = owned (controller->createView ("editor"));
	if (!view)
		return result;
	view->setFrame (&loop);
	const double start = monotonicSeconds ();
	if (view->attached (reinterpret_cast<void*> (window.window ()), kPlatformTypeX11EmbedWindowID) != kResultOk)
		return result;
	double ready = -1;
	loop.run (30s, [&] { return (ready = readyTime (readTextFile (tracePath))) > 0; });
	if (ready > 0)
		result.seconds = ready - start;
	if (std::getenv ("ZORV_BENCH_VERBOSE"))
	{
		std::fprintf (stderr, "attach at %.6f\n%s", start, readTextFile (tracePath).substr (0, 400).c_str ());
		for (pid_t pid : descendantProcesses (::getpid ()))
			std::fprintf (stderr, "  %d %s %ld KiB\n", pid, processName (pid).c_str (), proportionalSetKiB (pid));
	}
	// Let the page draw and settle before weighing it.
	loop.run (1500ms, nullptr);
	long kib = 0;
	for (pid_t pid : descendantProcesses (::getpid ()))
	{
		kib += proportionalSetKiB (pid);
		++result.processes;
	}
	result.pssMiB = kib / 1024.0;
	view->removed ();
	view->setFrame (nullptr);
	// Without a kept helper, the next attach is measured warm but alone:
	// WebKit's processes of this one have gone first.
	if (std::getenv ("ZORV_EDITOR_KEEP_SECONDS"))
		loop.run (5s, [] { return descendantProcesses (::getpid ()).empty (); });
	return result;
}

// range(0): 1 reopens the helper kept from the previous close (the usual
// reopen), 0 starts a new helper every time.
void BM_EditorAttachToReady (benchmark::State& state)
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
	}
	if (state.iterations () > 0)
	{
		state.counters["pss_mib"] = pss / static_cast<double> (state.iterations ());
		state.counters["pss_mib_max"] = largestPss;
		state.counters["processes"] = processes;
	}
	std::remove (tracePath.c_str ());
}
BENCHMARK (BM_EditorAttachToReady)
	->ArgName ("kept_helper")
	->Arg (0)
	->Arg (1)
	->UseManualTime ()
	->Iterations (8)
	->Unit (benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN ();
