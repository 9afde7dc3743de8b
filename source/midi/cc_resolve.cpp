#include "cc_resolve.h"

#include <cmath>

namespace tavik {

namespace {

constexpr int CC_TOP = 127;

// The clamps below send NaN to the bottom of the range, so that a binding
// range or a host value that is not a number still yields a valid value.
double clampRange (double x, double lo, double hi) { return x > lo ? (x < hi ? x : hi) : lo; }

double clampUnit (double x) { return clampRange (x, 0.0, 1.0); }

int clampStep (int k) { return k < 0 ? 0 : k > CC_TOP ? CC_TOP : k; }

double shape (uint8_t curve, double x)
{
	switch (curve)
	{
		case CC_CURVE_EXP: return x * x;
		case CC_CURVE_LOG: return std::sqrt (x);
		case CC_CURVE_S: return x * x * (3.0 - 2.0 * x);
		default: return x;
	}
}

// The binding's range in the parameter's plain units; lo above hi inverts.
void plainRange (const CcBinding& b, const tavik_param_desc& p, double& lo, double& hi)
{
	lo = b.hasMin ? b.min : p.min;
	hi = b.hasMax ? b.max : p.max;
}

double normalizePlain (const tavik_param_desc& p, double plain)
{
	switch (p.kind)
	{
		case TAVIK_PARAM_LIST:
		{
			const int n = p.listCount;
			if (n < 2)
				return 0;
			return clampRange (plain, 0.0, n - 1.0) / (n - 1.0);
		}
		// A threshold of one half, so that a binding range of 0..1 turns
		// the toggle on in the upper half of the controller's travel.
		case TAVIK_PARAM_TOGGLE: return clampRange (plain, p.min, p.max) >= 0.5 ? 1 : 0;
		default:
			if (p.max == p.min)
				return 0;
			return clampUnit ((plain - p.min) / (p.max - p.min));
	}
}

// One binding's mapping of controller positions onto its parameter, with
// the range worked out once for the searches that evaluate it 128 times.
class StepMapping
{
public:
	StepMapping (const CcBinding& b, const tavik_param_desc& p) : binding (b), param (p) { plainRange (b, p, lo, hi); }

	double at (int k) const
	{
		const double x = clampStep (k) / static_cast<double> (CC_TOP);
		return normalizePlain (param, lo + shape (binding.curve, x) * (hi - lo));
	}

	// The controller position whose mapped value lies closest to `target`;
	// the lowest position wins a tie. It runs the very mapping that is
	// applied, so it agrees with it for every curve and range. With a
	// finite range the mapping is monotonic (each step of it rounds
	// monotonically), so two binary searches find what a scan of all 128
	// positions finds, in a tenth of the time.
	int nearest (double target) const
	{
		if (std::isnan (target))
			return 0;
		if (!std::isfinite (lo) || !std::isfinite (hi))
			return nearestByScan (target);
		const bool rising = hi >= lo;
		// The first position on or past the target in the direction of
		// travel: distances fall up to it and rise from it on.
		const int first = firstWhere (CC_TOP + 1, [&] (int k) { return rising ? at (k) >= target : at (k) <= target; });
		if (first == 0)
			return 0;
		const double before = std::fabs (at (first - 1) - target);
		if (first <= CC_TOP && std::fabs (at (first) - target) < before)
			return first;
		// Before `first` the distances only fall, so the lowest position
		// as close as the one just before it starts a suffix.
		return firstWhere (first, [&] (int k) { return std::fabs (at (k) - target) <= before; });
	}

private:
	// The lowest position below `end` where `holds` is true (it stays true
	// from there up to `end`), or `end`.
	template <typename Predicate>
	static int firstWhere (int end, Predicate holds)
	{
		int low = 0;
		int high = end;
		while (low < high)
		{
			const int mid = low + (high - low) / 2;
			if (holds (mid))
				high = mid;
			else
				low = mid + 1;
		}
		return low;
	}

	int nearestByScan (double target) const
	{
		int best = 0;
		double bestDistance = std::fabs (at (0) - target);
		for (int k = 1; k <= CC_TOP; ++k)
		{
			const double distance = std::fabs (at (k) - target);
			if (distance < bestDistance)
			{
				best = k;
				bestDistance = distance;
			}
		}
		return best;
	}

	const CcBinding& binding;
	const tavik_param_desc& param;
	double lo = 0, hi = 0;
};

bool isRelative (uint8_t mode)
{
	return mode == CC_MODE_RELATIVE_SIGNED_BIT || mode == CC_MODE_RELATIVE_BINARY_OFFSET ||
	       mode == CC_MODE_RELATIVE_TWOS_COMPLEMENT;
}

// Steps a relative message moves; 0 for one that moves nothing.
int relativeDelta (uint8_t mode, int raw, int v)
{
	switch (mode)
	{
		case CC_MODE_RELATIVE_SIGNED_BIT: return v == 64 ? 0 : raw > 64 ? v - 64 : -v;
		case CC_MODE_RELATIVE_BINARY_OFFSET: return v - 64;
		default: return v == 64 ? 0 : raw < 64 ? v : v - 128;
	}
}

} // namespace

double ccApplyNormalized (const CcBinding& binding, const tavik_param_desc& param, int value)
{
	return StepMapping (binding, param).at (value);
}

uint32_t ccResolve (const CcMap& map, int controller, int channel, int rawValue, CcRouterState* state,
                    CcCurrentValue current, void* context, CcResolution* out, uint32_t capacity)
{
	return ccResolveSlots (map, ~uint64_t (0), controller, channel, rawValue, state, current, context, out, capacity);
}

void ccIndexBindings (const CcMap& map, uint64_t (&slots)[128])
{
	static_assert (CC_MAP_CAPACITY <= 64, "a bit per slot");
	for (uint64_t& s : slots)
		s = 0;
	const uint32_t count = map.count < CC_MAP_CAPACITY ? map.count : CC_MAP_CAPACITY;
	for (uint32_t j = 0; j < count; ++j)
	{
		const CcBinding& b = map.bindings[j];
		if (b.enabled && b.cc < 128 && b.paramIndex >= 0 && b.paramIndex < static_cast<int32_t> (TAVIK_PARAM_COUNT))
			slots[b.cc] |= uint64_t (1) << j;
	}
}

uint32_t ccResolveSlots (const CcMap& map, uint64_t slots, int controller, int channel, int rawValue,
                         CcRouterState* state, CcCurrentValue current, void* context, CcResolution* out,
                         uint32_t capacity)
{
	if (!out || capacity == 0)
		return 0;
	if (state && state->map != &map)
		state->reset (&map);
	const int v = clampStep (rawValue);
	const uint32_t count = map.count < CC_MAP_CAPACITY ? map.count : CC_MAP_CAPACITY;
	if (count < CC_MAP_CAPACITY)
		slots &= (uint64_t (1) << count) - 1;
	uint32_t written = 0;
	for (; slots != 0 && written < capacity; slots &= slots - 1)
	{
		const uint32_t j = static_cast<uint32_t> (__builtin_ctzll (slots));
		const CcBinding& b = map.bindings[j];
		if (!b.enabled || b.cc != controller || (b.channel != 0 && b.channel != channel) || b.paramIndex < 0 ||
		    b.paramIndex >= static_cast<int32_t> (TAVIK_PARAM_COUNT))
			continue;
		const uint32_t paramIndex = static_cast<uint32_t> (b.paramIndex);
		const tavik_param_desc& p = TAVIK_PARAMS[paramIndex];
		const StepMapping mapping (b, p);

		int prev = 0;
		bool hadPrev = false;
		if (state)
		{
			hadPrev = state->hasLastValue[j];
			prev = hadPrev ? state->lastValue[j] : 0;
			state->lastValue[j] = static_cast<uint8_t> (v);
			state->hasLastValue[j] = true;
		}

		// The current value is asked for only by the modes that use it: an
		// absolute binding with immediate takeover never needs it.
		const bool needsCurrent =
			b.valueMode != CC_MODE_ABSOLUTE ||
			(state && b.takeover != CC_TAKEOVER_IMMEDIATE && !(b.takeover == CC_TAKEOVER_PICKUP && state->pickedUp[j]));
		double currentValue = 0;
		bool haveCurrent = false;
		if (current && needsCurrent)
		{
			currentValue = clampUnit (current (context, paramIndex));
			haveCurrent = true;
		}
		else if (state && state->hasLastNormalized[j])
		{
			currentValue = state->lastNormalized[j];
			haveCurrent = true;
		}

		bool emit = false;
		double value = 0;
		if (isRelative (b.valueMode))
		{
			const int delta = relativeDelta (b.valueMode, rawValue, v);
			if (delta != 0)
			{
				const int from = mapping.nearest (haveCurrent ? currentValue : 0.0);
				value = mapping.at (clampStep (from + delta));
				emit = true;
			}
		}
		else if (b.valueMode == CC_MODE_TOGGLE)
		{
			// Only a rising crossing of the middle toggles.
			if (rawValue >= 64 && !(hadPrev && prev > 63))
			{
				double lo = 0, hi = 0;
				plainRange (b, p, lo, hi);
				const double low = normalizePlain (p, lo);
				const double high = normalizePlain (p, hi);
				value = haveCurrent && std::fabs (currentValue - high) < std::fabs (currentValue - low) ? low : high;
				emit = true;
			}
		}
		else if (b.takeover == CC_TAKEOVER_PICKUP && state)
		{
			// The controller takes the parameter over once it reaches or
			// passes the parameter's value. With no value to compare it
			// with, the first message sets the parameter, which then
			// follows the controller.
			if (state->pickedUp[j] || !haveCurrent)
				emit = true;
			else
			{
				const int target = mapping.nearest (currentValue);
				emit = v == target || (hadPrev && ((prev < target && target < v) || (prev > target && target > v)));
			}
			if (emit)
			{
				state->pickedUp[j] = true;
				value = mapping.at (v);
			}
		}
		else if (b.takeover == CC_TAKEOVER_SCALED && state && haveCurrent)
		{
			// The controller's remaining travel is spread over the
			// parameter's remaining travel, so that both reach an end
			// together. The first message only tells where the controller is.
			if (hadPrev)
			{
				const int target = mapping.nearest (currentValue);
				const int d = v - prev;
				const int span = v > prev ? CC_TOP - prev : prev;
				if (d != 0 && span != 0)
				{
					const int room = d > 0 ? CC_TOP - target : target;
					const double t = (static_cast<double> (room) / span * d + target) / CC_TOP;
					const int k = static_cast<int> (std::lround (clampUnit (t) * CC_TOP));
					value = mapping.at (k);
					emit = true;
				}
			}
		}
		else
		{
			value = mapping.at (v);
			emit = true;
		}

		if (emit)
		{
			out[written++] = CcResolution {paramIndex, value};
			if (state)
			{
				state->lastNormalized[j] = value;
				state->hasLastNormalized[j] = true;
			}
		}
	}
	return written;
}

} // namespace tavik
