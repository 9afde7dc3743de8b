// KernelEngine: parameter values, the kernel's shadow of them, the event
// queue of the current host block.

#include "kernel_engine.h"

#include "kernel_trace.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <new>

namespace tavik {

static_assert (TAVIK_PARAM_COUNT == TAVIK_KERNEL_PARAMETER_COUNT, "the engine drives every kernel parameter");

KernelEngine::KernelEngine (const KernelLibraryApi& kernelApi) : kernel (kernelApi)
{
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
	{
		storeValue (i, TAVIK_PARAMS[i].defaultPlain);
		shadow[i] = KERNEL_DEFAULTS[i];
	}
	diagnosticRingInit (ring);
	if (!reserveQueue (DEFAULT_QUEUE_BLOCK, 48000))
		throw std::bad_alloc ();
}

bool KernelEngine::reserveQueue (int maxBlockFrames, double hostRate)
{
	// Every parameter on every frame of the block, and of what the rate
	// adapter may carry into the next block, plus the notes.
	const int carried = 2 * CHUNK_FRAMES + static_cast<int> (RateAdapter::latencyFrames (hostRate));
	return events.reserve (TAVIK_PARAM_COUNT * (maxBlockFrames + carried) + NOTE_EVENT_CAPACITY);
}

void KernelEngine::takeOverflowedParameters ()
{
	events.takeOverflowed ([this] (uint32_t index, double v) {
		storeValue (index, v);
		markRepublish ();
	});
}

bool KernelEngine::pushParamNormalized (uint32_t index, double normalized, int frame)
{
	if (index >= TAVIK_PARAM_COUNT)
		return false;
	const double plain = tavik_param_plain (&TAVIK_PARAMS[index], normalized);
	return events.push ({EngineEvent::PARAMETER, frame, index, plain, 0, 0, 0, 0, 0});
}

bool KernelEngine::pushNoteOn (int note, double velocity, int frame, uint32_t route, uint32_t channel)
{
	return events.push ({EngineEvent::NOTE_ON, frame, 0, velocity, note, route, channel & 15u, 0, 0});
}

bool KernelEngine::pushNoteOff (int note, int frame, uint32_t route, uint32_t channel)
{
	return events.push ({EngineEvent::NOTE_OFF, frame, 0, 0.0, note, route, channel & 15u, 0, 0});
}

bool KernelEngine::pushController (uint32_t controller, uint32_t value, int frame, uint32_t route, uint32_t channel)
{
	if (controller >= 128 || value >= 128)
		return false;
	return events.push (
		{EngineEvent::CONTROLLER, frame, controller, static_cast<double> (value), 0, route, channel & 15u, 0, 0});
}

void KernelEngine::sortEventsInPlace ()
{
	// Stable: events at one frame keep their push order.
	events.sortBy ([] (const EngineEvent& e) { return e.frame; });
}

void KernelEngine::flushParameterEvents ()
{
	for (int i = 0; i < events.size (); ++i)
	{
		if (events[i].kind == EngineEvent::PARAMETER && events[i].index < TAVIK_PARAM_COUNT)
		{
			storeValue (events[i].index, events[i].value);
			markRepublish ();
		}
	}
	events.clear ();
}

void KernelEngine::setParamValue (uint32_t index, double value)
{
	// A non-finite value could never reach the kernel (it refuses them) and
	// would be offered again at every chunk; it is not taken.
	if (index >= TAVIK_PARAM_COUNT || !std::isfinite (value))
		return;
	storeValue (index, value);
	markRepublish ();
}

double KernelEngine::paramValue (uint32_t index) const { return index < TAVIK_PARAM_COUNT ? value (index) : 0; }

double KernelEngine::paramNormalized (uint32_t index) const
{
	return index < TAVIK_PARAM_COUNT ? tavik_param_normalize (&TAVIK_PARAMS[index], value (index)) : 0;
}

double KernelEngine::paramNormalizedAt (uint32_t index, int frame) const
{
	if (index >= TAVIK_PARAM_COUNT)
		return 0;
	// Events carried over from an earlier block (stamped) come before this
	// block's; among this block's, the latest frame at or before `frame`
	// wins, and at one frame the one queued last, as the render applies them.
	double plain = value (index);
	if (!events.mayHoldParameter (index))
		return tavik_param_normalize (&TAVIK_PARAMS[index], plain);
	int bestFrame = INT32_MIN;
	for (int i = 0; i < events.size (); ++i)
	{
		const EngineEvent& e = events[i];
		if (e.kind != EngineEvent::PARAMETER || e.index != index)
			continue;
		if (e.stamped)
		{
			// Carried events stay at the front of the queue, before this block's.
			if (bestFrame == INT32_MIN)
				plain = e.value;
		}
		else if (e.frame <= frame && e.frame >= bestFrame)
		{
			plain = e.value;
			bestFrame = e.frame;
		}
	}
	return tavik_param_normalize (&TAVIK_PARAMS[index], plain);
}

bool KernelEngine::pushProductParameter (uint32_t index, uint32_t frame, double value, const char* source)
{
	const double status = kernel.pushEvent (handle, TAVIK_KERNEL_EVENT_PARAMETER, frame, index, value);
	if (std::FILE* trace = kernelTraceFile ())
		std::fprintf (trace, "E this=%p blk=%llu frame=%u kind=1 a=%u value=%.17g src=%s status=%g\n",
		              static_cast<void*> (this), traceBlock, frame, index, value, source, status);
	if (status == 0)
	{
		shadow[index] = value;
		return true;
	}
	markRepublish ();
	return false;
}

int KernelEngine::republishStep (const bool* skip)
{
	if (republish.exchange (0, std::memory_order_acquire) == 0)
		return 0;
	int pushed = 0;
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
	{
		const double current = value (i);
		if (!(skip && skip[i]) && shadow[i] != current && pushProductParameter (i, 0, current, "republish"))
			++pushed;
	}
	return pushed;
}

void KernelEngine::resetProductParameterShadow ()
{
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		shadow[i] = KERNEL_DEFAULTS[i];
}

void KernelEngine::resetParams ()
{
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		storeValue (i, KERNEL_DEFAULTS[i]);
	variationValue = DEFAULT_VARIATION;
	events.clear ();
	resetRateAdapterState ();
	markRepublish ();
	if (handle != 0)
		kernel.reset (handle);
	resetProductParameterShadow ();
}

void KernelEngine::setVariation (int value) { variationValue = value < 0 ? 0 : value > 19 ? 19 : value; }

void KernelEngine::recordDiagnostic (uint32_t code, uint8_t severity, uint8_t phase, const char* message,
                                     const char* detail)
{
	diagnosticRingAppend (ring, code, severity, phase, message, detail);
}

void KernelEngine::recordRealtimeDiagnostic (uint32_t code, uint8_t severity, uint8_t phase)
{
	realtimeDiagnostics.post (code, severity, phase);
}

void KernelEngine::drainRuntimeDiagnostics () { realtimeDiagnostics.drainInto (ring); }

} // namespace tavik
