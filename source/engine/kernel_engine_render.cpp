// KernelEngine: setup of the kernel instance and rate adapter, and the
// rendering of host blocks, directly or through the rate adapter.

#include "kernel_engine.h"

#include "kernel_trace.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <numeric>

namespace tavik {

namespace {

std::once_flag gLibraryInitOnce;

void panicSink (void*, const uint8_t* message, size_t length, uint64_t)
{
	std::fprintf (stderr, "tavik-plugin-shell: vexil trap: %.*s\n", static_cast<int> (length),
	              reinterpret_cast<const char*> (message));
}

// The host rate as a reduced fraction of micro-hertz steps; false when it is
// not a usable rate.
bool reduceRate (double sampleRate, uint64_t& num, uint64_t& den)
{
	if (!std::isfinite (sampleRate) || sampleRate < 0.000001 || sampleRate > 4000000)
		return false;
	const double scaled = std::round (sampleRate * 1000000.0); // ties away from zero
	if (scaled < 1 || scaled > 18446744073709551615.0)
		return false;
	const uint64_t n = static_cast<uint64_t> (scaled);
	const uint64_t g = std::gcd (n, static_cast<uint64_t> (1000000));
	num = n / g;
	den = 1000000 / g;
	return true;
}

} // namespace

KernelEngine::~KernelEngine ()
{
	if (handle != 0)
		kernel.destroy (handle);
}

bool KernelEngine::setup (double sampleRate, int maxBlockFrames)
{
	isReady = false;
	hasFailed = false;

	uint64_t num = 0, den = 1;
	if (!reduceRate (sampleRate, num, den) || maxBlockFrames < 1 || maxBlockFrames > MAX_HOST_BLOCK)
	{
		recordDiagnostic (DIAG_INVALID_CONFIGURATION, DIAG_ERROR, PHASE_CONFIGURE,
		                  "host processing configuration is invalid", "");
		std::fprintf (stderr, "tavik-plugin-shell: rejected host format (sampleRate=%.9g, maxBlockFrames=%d)\n",
		              sampleRate, maxBlockFrames);
		if (maxBlockFrames > MAX_HOST_BLOCK)
			std::fprintf (stderr,
			              "tavik-plugin-shell: maxBlockFrames exceeds the %d-frame ceiling; render long fixtures as a "
			              "LOOP of <=%d-frame blocks rather than declaring the whole fixture as one block\n",
			              MAX_HOST_BLOCK, MAX_HOST_BLOCK);
		return false;
	}
	uint64_t capacity = 0;
	if (!RateAdapter::fifoCapacity (num, den, maxBlockFrames, capacity))
	{
		recordDiagnostic (DIAG_INVALID_CONFIGURATION, DIAG_ERROR, PHASE_CONFIGURE,
		                  "host rate requires unsupported SRC FIFO capacity", "");
		return false;
	}
	if (!reserveQueue (maxBlockFrames, sampleRate))
	{
		recordDiagnostic (DIAG_ENGINE_UNAVAILABLE, DIAG_FATAL, PHASE_CONFIGURE, "no memory for the event queue", "");
		return false;
	}
	rateNum = num;
	rateDen = den;
	rate = static_cast<double> (num) / static_cast<double> (den);
	maxFrames = maxBlockFrames;

	isAdapterFailed = false;
	isConverted = false;
	events.clear ();
	markRepublish ();

	std::call_once (gLibraryInitOnce, [this] {
		kernel.setPanicSink (panicSink, nullptr);
		kernel.runtimeInit ();
	});

	if (handle != 0)
		kernel.destroy (handle);
	handle = static_cast<uint32_t> (kernel.create (CHUNK_FRAMES, 0, 2, rate));
	if (handle == 0)
	{
		handle = static_cast<uint32_t> (kernel.create (CHUNK_FRAMES, 0, 2, 48000));
		if (handle != 0 && rate != 48000)
			isConverted = true;
	}
	// The adapter's tables and FIFOs (some 300 KiB) only where it converts.
	if (isConverted)
		adapter.configure (num, den, static_cast<size_t> (capacity));
	else
		adapter.release ();
	if (std::FILE* trace = kernelTraceFile ())
	{
		std::fprintf (trace, "S this=%p rate=%.17g kernelRate=%.17g handle=%u\n", static_cast<void*> (this), rate,
		              sampleRate, handle);
		std::fflush (trace);
	}
	if (handle == 0)
	{
		if (kernel.instances () >= TAVIK_KERNEL_MAX_INSTANCES)
		{
			// The one limit a large session can reach: say which.
			char line[160];
			std::snprintf (line, sizeof line, "all %d gong instances this process can run are in use",
			               static_cast<int> (TAVIK_KERNEL_MAX_INSTANCES));
			recordDiagnostic (DIAG_KERNEL_CREATE_FAILED, DIAG_FATAL, PHASE_CONFIGURE, line, "");
			std::fprintf (stderr, "tavik-plugin-shell: kernel setup failed: %s\n", line);
		}
		else
			recordDiagnostic (DIAG_KERNEL_CREATE_FAILED, DIAG_FATAL, PHASE_CONFIGURE,
			                  "product kernel instance creation failed", "");
	}
	else
	{
		resetProductParameterShadow ();
		inputData = nullptr;
		outputData = nullptr;
		inputLength = outputLength = 0;
		kernel.inputView (handle, &inputData, &inputLength);
		kernel.outputView (handle, &outputData, &outputLength);
		if (inputData && outputData && outputLength >= 2 * CHUNK_FRAMES)
		{
			isReady = true;
			return true;
		}
	}
	recordDiagnostic (DIAG_ENGINE_UNAVAILABLE, DIAG_FATAL, PHASE_CONFIGURE, "kernel runtime is unavailable after setup",
	                  "");
	std::fprintf (stderr, "tavik-plugin-shell: kernel setup failed at %.9g Hz\n", rate);
	return false;
}

void KernelEngine::clearOutputs (float* const* outputs, int channels, int frames)
{
	if (!outputs || channels <= 0 || frames <= 0)
		return;
	for (int c = 0; c < channels; ++c)
		if (outputs[c])
			std::memset (outputs[c], 0, static_cast<size_t> (frames) * sizeof (float));
}

void KernelEngine::resetRateAdapterState ()
{
	isAdapterFailed = false;
	adapter.reset ();
}

void KernelEngine::copyChannel (const float* source, float* destination, int frames)
{
	if (source != destination && frames > 0)
		std::memcpy (destination, source, static_cast<size_t> (frames) * sizeof (float));
}

void KernelEngine::failBlock (float* const* outputs, int outputChannels, int frames, uint32_t code, uint8_t severity)
{
	clearOutputs (outputs, outputChannels, frames);
	events.clear ();
	hasFailed = true;
	recordRealtimeDiagnostic (code, severity, PHASE_PROCESS);
}

void KernelEngine::processBlock (const float* const* inputs, int inputChannels, float* const* outputs,
                                 int outputChannels, int frames)
{
	if (!isReady)
	{
		failBlock (outputs, outputChannels, frames, DIAG_PROCESS_FAILED, DIAG_FATAL);
		return;
	}
	hasFailed = false;
	if (frames < 1)
	{
		// No audio: the block's parameter changes become the current values;
		// the processor queues them again for the next rendered block.
		sortEventsInPlace ();
		for (int i = 0; i < events.size (); ++i)
			if (events[i].kind == EngineEvent::PARAMETER && events[i].index < TAVIK_PARAM_COUNT)
				storeValue (events[i].index, events[i].value);
		events.clear ();
		takeOverflowedParameters ();
		return;
	}
	if (outputChannels <= 0 || !outputs || frames > maxFrames || handle == 0 || !outputData)
	{
		failBlock (outputs, outputChannels, frames, DIAG_PROCESS_FAILED, DIAG_ERROR);
		return;
	}
	if (convertsRate ())
	{
		if (isAdapterFailed)
		{
			failBlock (outputs, outputChannels, frames, DIAG_RATE_ADAPTER_INIT_FAILED, DIAG_ERROR);
			return;
		}
		if (!renderConverted (inputs, inputChannels, outputs, outputChannels, frames))
		{
			adapter.reset ();
			isAdapterFailed = true;
			failBlock (outputs, outputChannels, frames, DIAG_RATE_ADAPTER_INIT_FAILED, DIAG_ERROR);
		}
		takeOverflowedParameters ();
		return;
	}
	renderDirect (outputs, outputChannels, frames);
	takeOverflowedParameters ();
}

bool KernelEngine::dispatchToKernel (const EngineEvent& event, uint32_t kernelFrame, bool traced)
{
	std::FILE* trace = traced ? kernelTraceFile () : nullptr;
	switch (event.kind)
	{
		case EngineEvent::PARAMETER:
			if (event.index < TAVIK_PARAM_COUNT)
			{
				storeValue (event.index, event.value);
				return pushProductParameter (event.index, kernelFrame, event.value, "queue");
			}
			return false;
		case EngineEvent::NOTE_ON:
		case EngineEvent::NOTE_OFF:
		{
			const uint32_t kind =
				event.kind == EngineEvent::NOTE_ON ? TAVIK_KERNEL_EVENT_NOTE_ON : TAVIK_KERNEL_EVENT_NOTE_OFF;
			const double value = event.kind == EngineEvent::NOTE_ON ? event.value : 0.0;
			const double status =
				kernel.pushEvent (handle, kind, kernelFrame, static_cast<uint32_t> (event.note), value);
			if (trace)
				std::fprintf (trace, "E this=%p blk=%llu frame=%u kind=%u a=%u value=%.17g src=queue status=%g\n",
				              static_cast<void*> (this), traceBlock, kernelFrame, kind,
				              static_cast<uint32_t> (event.note), value, status);
			if (traced && status != 0)
				recordRealtimeDiagnostic (DIAG_EVENT_REJECTED, DIAG_ERROR, PHASE_PROCESS);
			return status == 0;
		}
		case EngineEvent::CONTROLLER:
			if (forwardsToKernel (event))
			{
				const double value = event.value / 127.0;
				const double status =
					kernel.pushEvent (handle, TAVIK_KERNEL_EVENT_CONTROL_CHANGE, kernelFrame, event.index, value);
				if (trace)
					std::fprintf (trace, "E this=%p blk=%llu frame=%u kind=%u a=%u value=%.17g src=queue status=%g\n",
					              static_cast<void*> (this), traceBlock, kernelFrame,
					              static_cast<uint32_t> (TAVIK_KERNEL_EVENT_CONTROL_CHANGE), event.index, value,
					              status);
				if (traced && status != 0)
					recordRealtimeDiagnostic (DIAG_EVENT_REJECTED, DIAG_ERROR, PHASE_PROCESS);
				return status == 0;
			}
			[[fallthrough]];
		default:
			// Other controllers are not forwarded to the kernel.
			if (trace)
				std::fprintf (trace, "E this=%p blk=%llu frame=%u kind=0 a=0 value=%.17g src=queue status=%g\n",
				              static_cast<void*> (this), traceBlock, kernelFrame, event.value, -1.0);
			return false;
	}
}

// Hands the events of one kernel chunk to the kernel at their frames and
// renders the chunk. The kernel queues at most TAVIK_KERNEL_MAX_EVENTS events
// per render, so where a frame's events would not fit, the chunk is rendered
// up to that frame and continues from an empty queue; a frame with more
// events than the queue holds hands them over in parts with apply_events,
// parameters first as the kernel applies them. Nothing is dropped, and a
// chunk whose events fit is rendered in one call as before.
// `frameOf (e)` is an event's frame in the chunk (`chunk` or more: a later
// chunk's); `emit (left, right, at, count)` takes each rendered piece, or
// null channels for a piece the kernel failed, and returns false to stop.
template <typename FrameOf, typename Emit>
bool KernelEngine::renderChunk (int& next, int chunk, const bool* skip, bool traced, FrameOf frameOf, Emit emit)
{
	constexpr int KERNEL_QUEUE = TAVIK_KERNEL_MAX_EVENTS;
	int pending = republishStep (skip);
	int cursor = 0;
	bool ok = true;
	const auto renderTo = [&] (int end) {
		if (end > cursor)
		{
			const bool rendered = kernel.process (handle, static_cast<uint32_t> (end - cursor)) == 0;
			if (!emit (rendered ? outputData : nullptr, rendered ? outputData + CHUNK_FRAMES : nullptr, cursor,
			           end - cursor))
				ok = false;
		}
		cursor = end;
		pending = 0;
	};
	const auto reachesKernel = [] (const EngineEvent& e) {
		return (e.kind == EngineEvent::PARAMETER && e.index < TAVIK_PARAM_COUNT) || e.kind == EngineEvent::NOTE_ON ||
		       e.kind == EngineEvent::NOTE_OFF || forwardsToKernel (e);
	};
	while (ok && next < events.size ())
	{
		const int64_t frame = frameOf (events[next]);
		if (frame >= chunk)
			break;
		int end = next;
		int count = 0;
		for (; end < events.size () && frameOf (events[end]) == frame; ++end)
			count += reachesKernel (events[end]) ? 1 : 0;
		if (pending + count > KERNEL_QUEUE && frame > cursor)
			renderTo (static_cast<int> (frame));
		for (const bool parameters : {true, false})
			for (int k = next; k < end; ++k)
			{
				const EngineEvent& e = events[k];
				if ((e.kind == EngineEvent::PARAMETER) != parameters)
					continue;
				if (reachesKernel (e) && pending == KERNEL_QUEUE)
				{
					// Only when the frame's events alone overflow: they are at
					// the kernel's frame 0, and what is queued is applied now.
					pending = 0;
					if (kernel.applyEvents (handle) != 0)
					{
						emit (nullptr, nullptr, cursor, chunk - cursor);
						return false;
					}
				}
				if (dispatchToKernel (e, static_cast<uint32_t> (frame - cursor), traced))
					++pending;
			}
		next = end;
	}
	if (ok)
		renderTo (chunk);
	return ok;
}

void KernelEngine::renderDirect (float* const* outputs, int outputChannels, int frames)
{
	sortEventsInPlace ();
	// Parameters with a change queued at frame 0 are not republished ahead
	// of it in the first chunk. Later chunks skip nothing: by then that change
	// has been offered, and a value the kernel refused is retried like any
	// other.
	bool skip[TAVIK_PARAM_COUNT] = {};
	for (int i = 0; i < events.size (); ++i)
		if (events[i].kind == EngineEvent::PARAMETER && events[i].frame == 0 && events[i].index < TAVIK_PARAM_COUNT)
			skip[events[i].index] = true;

	std::FILE* trace = kernelTraceFile ();
	int next = 0;
	// Events before the block (negative frames) reach no chunk.
	while (next < events.size () && events[next].frame < 0)
		++next;
	for (int off = 0; off < frames; off += CHUNK_FRAMES)
	{
		const int chunk = frames - off < CHUNK_FRAMES ? frames - off : CHUNK_FRAMES;
		if (trace)
		{
			if (off == 0)
				traceBlock = advanceKernelTraceBlock ();
			std::fprintf (trace, "B this=%p blk=%llu off=%d chunk=%d frames=%d events=%d\n", static_cast<void*> (this),
			              traceBlock, off, chunk, frames, events.size ());
		}
		const auto frameOf = [off] (const EngineEvent& e) { return static_cast<int64_t> (e.frame) - off; };
		const auto emit = [&] (const float* left, const float* right, int at, int count) {
			for (int c = 0; c < outputChannels; ++c)
			{
				if (!outputs[c])
					continue;
				if (left)
					copyChannel (c == 1 ? right : left, outputs[c] + off + at, count);
				else
					std::memset (outputs[c] + off + at, 0, static_cast<size_t> (count) * sizeof (float));
			}
			if (!left)
			{
				hasFailed = true;
				recordRealtimeDiagnostic (DIAG_PROCESS_FAILED, DIAG_ERROR, PHASE_PROCESS);
			}
			return true;
		};
		renderChunk (next, chunk, off == 0 ? skip : nullptr, true, frameOf, emit);
		if (trace)
			std::fflush (trace);
	}
	events.clear ();
}

void KernelEngine::stampAndSortByHostFrame ()
{
	for (int i = 0; i < events.size (); ++i)
	{
		if (events[i].stamped)
			continue;
		events[i].hostFrame =
			adapter.hostFramesReceived + static_cast<uint64_t> (events[i].frame < 0 ? 0 : events[i].frame);
		events[i].stamped = 1;
	}
	events.sortBy ([] (const EngineEvent& e) { return e.hostFrame; });
}

bool KernelEngine::renderConverted (const float* const* inputs, int inputChannels, float* const* outputs,
                                    int outputChannels, int frames)
{
	if (frames <= 0 || outputChannels <= 0 || !outputs || frames > maxFrames || handle == 0 || !inputData ||
	    !outputData)
		return false;

	stampAndSortByHostFrame ();
	adapter.trimInput ();
	adapter.trimOutput ();
	if (!adapter.appendInput (inputs, inputChannels, frames))
		return false;
	const int kernelFrames = adapter.deriveKernelFrames ();

	// Events are sorted by host frame and their kernel frames follow that
	// order, so the events due in this call are a prefix of the queue. One
	// due before the first frame rendered here is raised to it.
	const uint64_t firstFrame = adapter.kernelFramesRendered;
	auto dueFrame = [&] (const EngineEvent& e, uint64_t from) {
		const uint64_t due = adapter.kernelFrameOf (e.hostFrame);
		return due < from ? from : due;
	};
	// As in direct mode, the skip applies to the first chunk only.
	bool skip[TAVIK_PARAM_COUNT] = {};
	if (kernelFrames > 0)
		for (int i = 0; i < events.size () && dueFrame (events[i], firstFrame) == firstFrame; ++i)
			if (events[i].kind == EngineEvent::PARAMETER && events[i].index < TAVIK_PARAM_COUNT)
				skip[events[i].index] = true;

	bool ok = true;
	int next = 0;
	for (int done = 0; done < kernelFrames;)
	{
		const int chunk = kernelFrames - done < CHUNK_FRAMES ? kernelFrames - done : CHUNK_FRAMES;
		const uint64_t chunkStart = adapter.kernelFramesRendered;
		const auto frameOf = [&] (const EngineEvent& e) {
			return static_cast<int64_t> (dueFrame (e, chunkStart) - chunkStart);
		};
		bool appended = true;
		const auto emit = [&] (const float* left, const float* right, int, int count) {
			if (!left)
			{
				ok = false;
				return true;
			}
			if (!adapter.appendOutput (left, right, count))
				return appended = false;
			adapter.kernelFramesRendered += static_cast<uint64_t> (count);
			return true;
		};
		renderChunk (next, chunk, done == 0 ? skip : nullptr, false, frameOf, emit);
		if (!appended)
			return false;
		done += chunk;
	}

	adapter.hostFramesReceived += static_cast<uint64_t> (frames);
	adapter.produceOutput (outputs, outputChannels, frames);
	adapter.hostFramesProduced += static_cast<uint64_t> (frames);
	adapter.trimOutput ();

	// The undelivered events stay queued, in order, for the next block.
	events.dropFront (next);
	return ok;
}

} // namespace tavik
