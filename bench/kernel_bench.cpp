// Rendering cost of the gong kernel through its library interface at
// 48 kHz, on each vector path the CPU offers. Each benchmark reports
// x_realtime: seconds of audio rendered per second of CPU time on one core.
// scripts/kernel_bench_compare.sh runs these against an earlier kernel.

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

// Selects a vector path for one benchmark and restores the previous one.
class PathChoice
{
public:
	explicit PathChoice (benchmark::State& state)
		: path (static_cast<tavik::kernel::SimdPath> (state.range (0))), saved (tavik::kernel::currentSimdPath ())
	{
		ok = tavik::kernel::setSimdPath (path);
		if (!ok)
			state.SkipWithError ("path not supported by this CPU");
		else
			state.SetLabel (tavik::kernel::simdPathName (path));
	}
	~PathChoice () { tavik::kernel::setSimdPath (saved); }
	bool ok = false;

private:
	tavik::kernel::SimdPath path;
	tavik::kernel::SimdPath saved;
};

void run (benchmark::State& state, std::initializer_list<Setting> settings, int voices, double restrikeSeconds)
{
	PathChoice choice (state);
	if (!choice.ok)
		return;
	{
		KernelRun kernel (settings, voices, restrikeSeconds);
		for (auto _ : state)
			kernel.renderSecond ();
	}
	report (state);
}

// Default sound, 1 to 6 voices ringing (struck again every 10 s): the
// bloom settles a few seconds after each strike.
void BM_Voices (benchmark::State& state) { run (state, {}, static_cast<int> (state.range (1)), 10); }

// Gong Ageng with ombak: every mode splits into two partials a few hertz apart.
void BM_SixVoicesOmbak (benchmark::State& state) { run (state, {{0, 4}, {12, 1}}, 6, 10); }

// amp.decay 4 s: the envelope runs every frame, bounded by the library exp.
void BM_SixVoicesDecay (benchmark::State& state) { run (state, {{14, 4}}, 6, 3.5); }

// No voice sounding.
void BM_Idle (benchmark::State& state) { run (state, {}, 0, 10); }

constexpr int kLastPath = tavik::kernel::SIMD_PATH_COUNT - 1;

BENCHMARK (BM_Voices)
	->ArgNames ({"path", "voices"})
	->ArgsProduct ({benchmark::CreateDenseRange (0, kLastPath, 1), {1, 2, 4, 6}})
	->Unit (benchmark::kMillisecond);
BENCHMARK (BM_SixVoicesOmbak)->ArgName ("path")->DenseRange (0, kLastPath)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_SixVoicesDecay)->ArgName ("path")->DenseRange (0, kLastPath)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_Idle)->ArgName ("path")->DenseRange (0, kLastPath)->Unit (benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN ();
