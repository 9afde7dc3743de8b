// The kernel host inside the audio processor: parameter values and the
// kernel's view of them, the queue of events of the current host block,
// the kernel instance and the rate adapter, the diagnostics the audio
// thread posts, and the sampler face.
#pragma once

#include "engine_event_queue.h"
#include "kernel_library_api.h"
#include "parameter_table.h"
#include "rate_adapter.h"
#include "realtime_diagnostic_queue.h"
#include "runtime_diagnostics.h"
#include "sampler_face.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace tavik {

class KernelEngine
{
public:
	/** Events a host block may queue besides its parameter changes: notes
	 *  and controllers (parameter changes have room for every parameter on
	 *  every frame of the largest block). */
	static constexpr int NOTE_EVENT_CAPACITY = EngineEventQueue::NOTE_EVENT_CAPACITY;
	static constexpr int CHUNK_FRAMES = 128;
	/** The block the queue is sized for until setup names the host's. */
	static constexpr int DEFAULT_QUEUE_BLOCK = 512;
	static constexpr int MAX_HOST_BLOCK = 16384;
	static constexpr int DEFAULT_VARIATION = 16;
	/** The one controller the kernel acts on. */
	static constexpr uint32_t ALL_SOUND_OFF_CONTROLLER = 120;

	explicit KernelEngine (const KernelLibraryApi& kernel = defaultKernelLibrary ());
	~KernelEngine ();
	KernelEngine (const KernelEngine&) = delete;
	KernelEngine& operator= (const KernelEngine&) = delete;

	// Parameters and events (audio thread, or the state methods' thread).
	bool pushParamNormalized (uint32_t index, double normalized, int frame);
	bool pushNoteOn (int note, double velocity, int frame, uint32_t route, uint32_t channel);
	bool pushNoteOff (int note, int frame, uint32_t route, uint32_t channel);
	bool pushController (uint32_t controller, uint32_t value, int frame, uint32_t route, uint32_t channel);
	/** Every voice fades out at `frame` (the kernel's all-sound-off). */
	bool pushAllSoundOff (int frame) { return pushController (ALL_SOUND_OFF_CONTROLLER, 0, frame, 0, 0); }
	/** The normalized value parameter `index` has at `frame` of the block
	 *  being queued: the last change queued for it at or before that frame
	 *  (in queue order at one frame), else its current value. */
	double paramNormalizedAt (uint32_t index, int frame) const;
	void sortEventsInPlace ();
	void flushParameterEvents ();
	void setParamValue (uint32_t index, double value);
	double paramValue (uint32_t index) const;
	double paramNormalized (uint32_t index) const;
	void resetParams ();
	void setVariation (int value);
	int variation () const { return variationValue; }
	static int eventInputCount () { return 1; }
	static int eventOutputCount () { return 0; }
	static uint32_t eventRouteForInput (int /*busIndex*/) { return 0; }

	// Setup and rendering.
	bool setup (double sampleRate, int maxBlockFrames);
	void processBlock (const float* const* inputs, int inputChannels, float* const* outputs, int outputChannels,
	                   int frames);
	/** Host frames of latency: the rate adapter's while it converts, else 0. */
	uint32_t latencySamples () const { return convertsRate () ? RateAdapter::latencyFrames (rate) : 0; }

	// Diagnostics.
	void recordDiagnostic (uint32_t code, uint8_t severity, uint8_t phase, const char* message, const char* detail);
	void recordRealtimeDiagnostic (uint32_t code, uint8_t severity, uint8_t phase);
	void drainRuntimeDiagnostics ();
	bool hasUndrainedDiagnostics () const { return realtimeDiagnostics.hasPending (); }
	const tavik_runtime_diagnostic_ring& diagnosticRing () const { return ring; }

	// The sampler face (control thread): pad overrides, and the bank
	// refusals this kernel records.
	SamplerFace& sampler () { return samplerFace; }
	const SamplerFace& sampler () const { return samplerFace; }

	// Facts for the processor and tests.
	bool ready () const { return isReady; }
	bool failed () const { return hasFailed; }
	bool converted () const { return isConverted; }
	double hostRate () const { return rate; }
	int maxBlockFrames () const { return maxFrames; }
	int queuedEvents () const { return events.size (); }
	/** Events the queue holds; parameter changes may take all but
	 *  NOTE_EVENT_CAPACITY of them. */
	int queueCapacity () const { return events.capacity (); }
	const EngineEvent& queuedEvent (int i) const { return events[i]; }
	double kernelShadow (uint32_t index) const { return index < TAVIK_PARAM_COUNT ? shadow[index] : 0; }
	bool republishPending () const { return republish.load (std::memory_order_acquire) != 0; }

	/** Plain values the kernel applies at creation and reset. */
	static constexpr const double* KERNEL_DEFAULTS = TAVIK_KERNEL_PARAMETER_DEFAULTS;

private:
	/** The kernel runs at 48 kHz behind the rate adapter. */
	bool convertsRate () const { return isConverted && rate != 48000; }
	static bool forwardsToKernel (const EngineEvent& e)
	{
		return e.kind == EngineEvent::CONTROLLER && e.index == ALL_SOUND_OFF_CONTROLLER;
	}
	bool reserveQueue (int maxBlockFrames, double hostRate);
	void takeOverflowedParameters ();
	int republishStep (const bool* skip);
	bool pushProductParameter (uint32_t index, uint32_t frame, double value, const char* source);
	void resetProductParameterShadow ();
	bool dispatchToKernel (const EngineEvent& event, uint32_t kernelFrame, bool traced);
	template <typename FrameOf, typename Emit>
	bool renderChunk (int& next, int chunk, const bool* skip, bool traced, FrameOf frameOf, Emit emit);
	void renderDirect (float* const* outputs, int outputChannels, int frames);
	bool renderConverted (const float* const* inputs, int inputChannels, float* const* outputs, int outputChannels,
	                      int frames);
	static void clearOutputs (float* const* outputs, int channels, int frames);
	static void copyChannel (const float* source, float* destination, int frames);
	void resetRateAdapterState ();
	void failBlock (float* const* outputs, int outputChannels, int frames, uint32_t code, uint8_t severity);
	void stampAndSortByHostFrame ();

	const KernelLibraryApi& kernel;

	// Parameters. The values are written on the audio thread (queued
	// changes) and on the control thread (state recall), so they are
	// atomics read and written relaxed: the republish flag, set with release
	// after a value and exchanged with acquire before the values are read,
	// orders them. The shadow is the audio thread's own.
	double value (uint32_t index) const { return values[index].load (std::memory_order_relaxed); }
	void storeValue (uint32_t index, double v) { values[index].store (v, std::memory_order_relaxed); }
	void markRepublish () { republish.store (1, std::memory_order_release); }

	std::atomic<double> values[TAVIK_PARAM_COUNT];
	double shadow[TAVIK_PARAM_COUNT];
	std::atomic<uint8_t> republish {1};
	int variationValue = DEFAULT_VARIATION;

	// Events of the current block, sized at setup for the largest block.
	EngineEventQueue events;

	// Rendering.
	double rate = 48000;
	uint64_t rateNum = 48000;
	uint64_t rateDen = 1;
	int maxFrames = 0;
	bool isReady = false;
	bool hasFailed = false;
	bool isConverted = false;
	bool isAdapterFailed = false;
	uint32_t handle = 0;
	const float* inputData = nullptr;
	uint32_t inputLength = 0;
	float* outputData = nullptr;
	uint32_t outputLength = 0;
	RateAdapter adapter;

	// Diagnostics.
	tavik_runtime_diagnostic_ring ring;
	RealtimeDiagnosticQueue realtimeDiagnostics;
	SamplerFace samplerFace {ring};
	unsigned long long traceBlock = 0; // block number of this engine's trace lines
};

} // namespace tavik
