#include "block_router.h"

#include "stable_sort.h"

#include <climits>
#include <cmath>

namespace tavik {

void BlockRouter::addController (int32_t frame, uint32_t channel, uint32_t number, int32_t value) noexcept
{
	if (count < CONTROLLER_CAPACITY)
		messages[count++] =
			ControllerMessage {frame, static_cast<uint16_t> (channel), static_cast<uint16_t> (number), value};
}

void BlockRouter::addControllerNormalized (int32_t frame, uint32_t channel, uint32_t number, double normalized) noexcept
{
	if (!std::isfinite (normalized))
		return;
	const double clamped = normalized < 0 ? 0 : normalized > 1 ? 1 : normalized;
	addController (frame, channel, number, static_cast<int32_t> (std::lround (clamped * 127)));
}

void BlockRouter::beginNotes (CcRouter::Report reportTo, void* context) noexcept
{
	report = reportTo;
	reportContext = context;
	stableSortBy (messages, scratch, count, [] (const ControllerMessage& m) { return m.frame; });
	next = 0;
}

void BlockRouter::routeControllersUpTo (int frame) noexcept
{
	for (; next < count && messages[next].frame <= frame; ++next)
	{
		const ControllerMessage& m = messages[next];
		router.controller (m.channel, m.number, m.value, m.frame, report, reportContext);
	}
}

void BlockRouter::noteOn (int pitch, double velocity, int frame, uint32_t route, uint32_t channel) noexcept
{
	routeControllersUpTo (frame);
	if (velocity > 0)
		router.noteOn (pitch, velocity, frame, route, channel);
	else
		router.noteOff (pitch, frame, route, channel);
}

void BlockRouter::noteOff (int pitch, int frame, uint32_t route, uint32_t channel) noexcept
{
	routeControllersUpTo (frame);
	router.noteOff (pitch, frame, route, channel);
}

void BlockRouter::finish () noexcept
{
	routeControllersUpTo (INT32_MAX);
	count = 0;
	next = 0;
	report = nullptr;
	reportContext = nullptr;
}

} // namespace tavik
