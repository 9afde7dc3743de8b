// Rendering cost of the gong kernel through its library interface at
// 48 kHz. Each benchmark reports x_realtime: seconds of audio rendered per
// second of CPU time on one core.

#include "tavik_kernel.h"
#include "mode_resonators.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

#define K(name) TAVIK_KERNEL_FN (name)

constexpr double kRate = 48000;
constexpr uint32_t kBlock = 128;
constexpr int kBlocksPerIteration = 375; // one second of audio

struct Setting
{
	uint32_t index;
	double value;
};

class KernelRun
{
public:
	KernelRun (std::initializer_list<Setting> settings, int voiceCount, double restrikeSeconds)
		: voices (voiceCount), restrikeBlocks (static_cast<int> (restrikeSeconds * kRate / kBlock))
	{
		if (K (runtime_init) () != 0)
			std::abort ();
		handle = static_cast<uint32_t> (K (create) (kBlock, 0, 2, kRate));
		if (handle == 0)
			std::abort ();
		float* out = nullptr;
		uint32_t length = 0;
		K (output_view) (handle, &out, &length);
		for (const Setting& s : settings)
			K (push_event) (handle, TAVIK_KERNEL_EVENT_PARAMETER, 0, s.index, s.value);
		strike ();
	}

	~KernelRun () { K (destroy) (handle); }

	// Renders one second, striking the voices again before they would end.
	void renderSecond ()
	{
		for (int b = 0; b < kBlocksPerIteration; ++b)
		{
			if (++blocks >= restrikeBlocks)
			{
				blocks = 0;
				strike ();
			}
			if (K (process) (handle, kBlock) != 0)
				std::abort ();
		}
	}

private:
	void strike ()
	{
		for (int v = 0; v < voices; ++v)
			K (push_event) (handle, TAVIK_KERNEL_EVENT_NOTE_ON, 0, static_cast<uint32_t> (38 + 5 * v), 0.8);
	}

	uint32_t handle = 0;
	int voices;
	int restrikeBlocks;
	int blocks = 0;
};

void report (benchmark::State& state)
{
	state.counters["x_realtime"] =
		benchmark::Counter (static_cast<double> (state.iterations ()), benchmark::Counter::kIsRate);
}

void BM_SixVoices (benchmark::State& state)
{
	KernelRun run ({}, 6, 10);
	for (auto _ : state)
		run.renderSecond ();
	report (state);
}

void BM_SixVoicesOmbak (benchmark::State& state)
{
	KernelRun run ({{0, 4}, {12, 1}}, 6, 10); // Gong Ageng, ombak on
	for (auto _ : state)
		run.renderSecond ();
	report (state);
}

void BM_SixVoicesDecay (benchmark::State& state)
{
	KernelRun run ({{14, 4}}, 6, 3.5); // amp.decay 4 s: the envelope runs every frame
	for (auto _ : state)
		run.renderSecond ();
	report (state);
}

void BM_OneVoice (benchmark::State& state)
{
	KernelRun run ({}, 1, 10);
	for (auto _ : state)
		run.renderSecond ();
	report (state);
}

void BM_Idle (benchmark::State& state)
{
	KernelRun run ({}, 0, 10);
	for (auto _ : state)
		run.renderSecond ();
	report (state);
}

// The six-voice case on each vector path the CPU offers.
void BM_SixVoicesOnPath (benchmark::State& state)
{
	const auto path = static_cast<tavik::kernel::SimdPath> (state.range (0));
	const tavik::kernel::SimdPath saved = tavik::kernel::currentSimdPath ();
	if (!tavik::kernel::setSimdPath (path))
	{
		state.SkipWithError ("path not supported by this CPU");
		return;
	}
	state.SetLabel (tavik::kernel::simdPathName (path));
	{
		KernelRun run ({}, 6, 10);
		for (auto _ : state)
			run.renderSecond ();
	}
	tavik::kernel::setSimdPath (saved);
	report (state);
}

BENCHMARK (BM_SixVoices)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_SixVoicesOmbak)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_SixVoicesDecay)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_OneVoice)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_Idle)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_SixVoicesOnPath)->DenseRange (0, tavik::kernel::SIMD_PATH_COUNT - 1)->Unit (benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN ();
