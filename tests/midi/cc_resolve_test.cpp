// CC resolution: matching, the value mapping, relative modes, toggles and
// both takeover rules.

#include "cc_resolve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using namespace tavik;

constexpr uint32_t POSITION = 5;   // strike.position, continuous 0..1
constexpr uint32_t INSTRUMENT = 0; // ir.instrument, a list of six
constexpr uint32_t BASE_FREQ = 16; // tuning.baseFreq, continuous 55..440 Hz
constexpr uint32_t VELOCITY = 25;  // performance.velocity, continuous 0.01..1

CcBinding binding (uint32_t param, int cc, uint8_t mode = CC_MODE_ABSOLUTE, uint8_t takeover = CC_TAKEOVER_IMMEDIATE)
{
	CcBinding b {};
	b.paramIndex = static_cast<int32_t> (param);
	b.cc = static_cast<uint8_t> (cc);
	b.valueMode = mode;
	b.takeover = takeover;
	b.enabled = true;
	return b;
}

CcMap mapOf (std::initializer_list<CcBinding> bindings)
{
	CcMap map;
	for (const CcBinding& b : bindings)
		map.bindings[map.count++] = b;
	return map;
}

// Parameter values as a host holds them, read by the resolver's callback.
struct Host
{
	double values[TAVIK_PARAM_COUNT] = {};
	static double read (void* context, uint32_t id) { return static_cast<Host*> (context)->values[id]; }
};

// One message through the map; the results as a vector.
struct Resolver
{
	const CcMap& map;
	CcRouterState* state = nullptr;
	Host* host = nullptr;

	std::vector<CcResolution> send (int cc, int value, int channel = 1, uint32_t capacity = 8)
	{
		CcResolution out[8] = {};
		const uint32_t n =
			ccResolve (map, cc, channel, value, state, host ? &Host::read : nullptr, host, out, capacity);
		return std::vector<CcResolution> (out, out + n);
	}

	// The single value a message yields, NaN when it yields nothing.
	double value (int cc, int value)
	{
		const std::vector<CcResolution> r = send (cc, value);
		return r.size () == 1 ? r[0].value : std::numeric_limits<double>::quiet_NaN ();
	}
};

double step (int k) { return k / 127.0; }

TEST (CcResolve, MatchesEnabledBindingsByControllerAndChannelInSlotOrder)
{
	CcBinding onThree = binding (POSITION, 7);
	onThree.channel = 3;
	CcBinding disabled = binding (BASE_FREQ, 7);
	disabled.enabled = false;
	CcBinding noParameter = binding (0, 7);
	noParameter.paramIndex = 26;
	CcMap map =
		mapOf ({binding (VELOCITY, 7), onThree, disabled, noParameter, binding (INSTRUMENT, 7), binding (POSITION, 8)});
	Resolver r {map};

	std::vector<CcResolution> any = r.send (7, 127, 5);
	ASSERT_EQ (any.size (), 2u);
	EXPECT_EQ (any[0].paramIndex, VELOCITY);
	EXPECT_EQ (any[1].paramIndex, INSTRUMENT);
	std::vector<CcResolution> three = r.send (7, 127, 3);
	ASSERT_EQ (three.size (), 3u);
	EXPECT_EQ (three[0].paramIndex, VELOCITY);
	EXPECT_EQ (three[1].paramIndex, POSITION);
	EXPECT_EQ (three[2].paramIndex, INSTRUMENT);
	EXPECT_TRUE (r.send (9, 127).empty ());
	EXPECT_TRUE (r.send (7 + 256, 127).empty ()); // no truncation to a byte

	// A count beyond the capacity is read as the capacity.
	CcMap full;
	for (uint32_t j = 0; j < CC_MAP_CAPACITY; ++j)
		full.bindings[j] = binding (POSITION, 1);
	full.count = 1000;
	CcResolution many[100];
	EXPECT_EQ (ccResolve (full, 1, 1, 64, nullptr, nullptr, nullptr, many, 100), CC_MAP_CAPACITY);
	uint64_t fullIndex[128];
	ccIndexBindings (full, fullIndex);
	EXPECT_EQ (fullIndex[1], ~uint64_t (0));

	// The index names each controller's enabled bindings with a target,
	// whatever their channel; resolving over it gives what ccResolve gives,
	// and a slot left out is not heard.
	uint64_t index[128];
	ccIndexBindings (map, index);
	EXPECT_EQ (index[7], 0b10011u);
	EXPECT_EQ (index[8], 0b100000u);
	EXPECT_EQ (index[9], 0u);
	CcResolution out[8];
	ASSERT_EQ (ccResolveSlots (map, index[7], 7, 3, 127, nullptr, nullptr, nullptr, out, 8), 3u);
	EXPECT_EQ (out[1].paramIndex, POSITION);
	ASSERT_EQ (ccResolveSlots (map, index[7] & ~uint64_t (1), 7, 5, 127, nullptr, nullptr, nullptr, out, 8), 1u);
	EXPECT_EQ (out[0].paramIndex, INSTRUMENT);
	CcMap shorter = map;
	shorter.count = 2; // slots past the count are never read
	EXPECT_EQ (ccResolveSlots (shorter, ~uint64_t (0), 7, 5, 127, nullptr, nullptr, nullptr, out, 8), 1u);
}

TEST (CcResolve, OutputLimitsAndTheRouterStateTiedToOneMap)
{
	CcMap map = mapOf ({binding (POSITION, 7, CC_MODE_TOGGLE), binding (BASE_FREQ, 7, CC_MODE_TOGGLE)});
	CcRouterState state;
	CcResolution out[2];

	// No output: nothing happens, not even tying the state to the map.
	EXPECT_EQ (ccResolve (map, 7, 1, 100, &state, nullptr, nullptr, nullptr, 2), 0u);
	EXPECT_EQ (ccResolve (map, 7, 1, 100, &state, nullptr, nullptr, out, 0), 0u);
	EXPECT_EQ (state.map, nullptr);
	EXPECT_FALSE (state.hasLastValue[0]);

	// Capacity 1: the second slot is not visited, so its toggle still fires
	// on the next message while the first one's does not.
	EXPECT_EQ (ccResolve (map, 7, 1, 100, &state, nullptr, nullptr, out, 1), 1u);
	EXPECT_EQ (out[0].paramIndex, POSITION);
	EXPECT_TRUE (state.hasLastValue[0]);
	EXPECT_FALSE (state.hasLastValue[1]);
	ASSERT_EQ (ccResolve (map, 7, 1, 100, &state, nullptr, nullptr, out, 2), 1u);
	EXPECT_EQ (out[0].paramIndex, BASE_FREQ);

	// A copy of the same bindings is another map: the state starts over.
	const CcMap copy = map;
	EXPECT_EQ (ccResolve (copy, 7, 1, 100, &state, nullptr, nullptr, out, 2), 2u);
	EXPECT_EQ (state.map, &copy);
}

TEST (CcApplyNormalized, CurvesRangesAndParameterKinds)
{
	const tavik_param_desc& position = TAVIK_PARAMS[POSITION];
	CcBinding b = binding (POSITION, 1);
	EXPECT_EQ (ccApplyNormalized (b, position, 127), 1.0);
	EXPECT_EQ (ccApplyNormalized (b, position, 0), 0.0);
	EXPECT_EQ (ccApplyNormalized (b, position, 300), 1.0);
	EXPECT_EQ (ccApplyNormalized (b, position, -5), 0.0);
	b.curve = CC_CURVE_EXP;
	EXPECT_DOUBLE_EQ (ccApplyNormalized (b, position, 64), step (64) * step (64));
	b.curve = CC_CURVE_LOG;
	EXPECT_DOUBLE_EQ (ccApplyNormalized (b, position, 64), std::sqrt (step (64)));
	b.curve = CC_CURVE_S;
	EXPECT_DOUBLE_EQ (ccApplyNormalized (b, position, 32), step (32) * step (32) * (3 - 2 * step (32)));

	// A reversed range inverts the controller.
	CcBinding inverted = binding (POSITION, 1);
	inverted.hasMin = inverted.hasMax = true;
	inverted.min = 1;
	inverted.max = 0;
	EXPECT_EQ (ccApplyNormalized (inverted, position, 0), 1.0);
	EXPECT_EQ (ccApplyNormalized (inverted, position, 127), 0.0);

	// A range in plain units, and one wider than the parameter's.
	CcBinding octave = binding (BASE_FREQ, 1);
	octave.hasMin = octave.hasMax = true;
	octave.min = 110;
	octave.max = 220;
	EXPECT_DOUBLE_EQ (ccApplyNormalized (octave, TAVIK_PARAMS[BASE_FREQ], 127), (220.0 - 55) / (440 - 55));
	EXPECT_DOUBLE_EQ (ccApplyNormalized (octave, TAVIK_PARAMS[BASE_FREQ], 0), (110.0 - 55) / (440 - 55));
	octave.max = 1000;
	EXPECT_EQ (ccApplyNormalized (octave, TAVIK_PARAMS[BASE_FREQ], 127), 1.0);

	// A list of six: its plain range is the entry index.
	const tavik_param_desc& instrument = TAVIK_PARAMS[INSTRUMENT];
	CcBinding list = binding (INSTRUMENT, 1);
	EXPECT_EQ (ccApplyNormalized (list, instrument, 127), 1.0);
	EXPECT_EQ (ccApplyNormalized (list, instrument, 0), 0.0);
	list.hasMax = true;
	list.max = 2;
	EXPECT_DOUBLE_EQ (ccApplyNormalized (list, instrument, 127), 0.4);

	// A toggle turns on at one half of its plain range.
	tavik_param_desc toggle = position;
	toggle.kind = TAVIK_PARAM_TOGGLE;
	b = binding (POSITION, 1);
	EXPECT_EQ (ccApplyNormalized (b, toggle, 63), 0.0);
	EXPECT_EQ (ccApplyNormalized (b, toggle, 64), 1.0);
	// Degenerate rows and ranges still give a value in 0..1.
	tavik_param_desc flat = position;
	flat.min = flat.max = 0.3;
	EXPECT_EQ (ccApplyNormalized (b, flat, 100), 0.0);
	tavik_param_desc oneEntry = instrument;
	oneEntry.listCount = 1;
	EXPECT_EQ (ccApplyNormalized (list, oneEntry, 100), 0.0);
	CcBinding endless = binding (POSITION, 1);
	endless.hasMin = endless.hasMax = true;
	endless.min = -std::numeric_limits<double>::infinity ();
	endless.max = std::numeric_limits<double>::infinity ();
	for (const int k : {0, 64, 127})
	{
		const double v = ccApplyNormalized (endless, position, k);
		EXPECT_TRUE (v >= 0 && v <= 1) << k << ": " << v;
	}
}

TEST (CcResolve, RelativeModesStepFromTheCurrentValue)
{
	CcMap map = mapOf ({binding (POSITION, 1, CC_MODE_RELATIVE_BINARY_OFFSET),
	                    binding (POSITION, 2, CC_MODE_RELATIVE_TWOS_COMPLEMENT),
	                    binding (POSITION, 3, CC_MODE_RELATIVE_SIGNED_BIT)});
	Host host;
	host.values[POSITION] = 1.0;
	Resolver r {map, nullptr, &host};

	EXPECT_TRUE (std::isnan (r.value (1, 64)));
	EXPECT_DOUBLE_EQ (r.value (1, 0), step (127 - 64));
	EXPECT_DOUBLE_EQ (r.value (1, 127), 1.0); // clamped at the top
	host.values[POSITION] = step (50);
	EXPECT_DOUBLE_EQ (r.value (1, 70), step (56));
	EXPECT_DOUBLE_EQ (r.value (2, 127), step (49));
	EXPECT_DOUBLE_EQ (r.value (2, 1), step (51));
	EXPECT_EQ (r.value (2, 65), 0.0); // 63 steps down, clamped at the bottom
	EXPECT_DOUBLE_EQ (r.value (3, 65), step (51));
	EXPECT_DOUBLE_EQ (r.value (3, 1), step (49));
	EXPECT_DOUBLE_EQ (r.value (3, 127), step (50 + 63));
	for (const int cc : {2, 3})
		for (const int nothing : {0, 64})
			EXPECT_TRUE (std::isnan (r.value (cc, nothing))) << cc << " " << nothing;

	// A value between steps starts from the nearest one; a host value
	// outside 0..1 or not a number counts as the nearest end.
	host.values[POSITION] = 0.3; // 38.1 steps
	EXPECT_DOUBLE_EQ (r.value (1, 65), step (39));
	host.values[POSITION] = 7;
	EXPECT_DOUBLE_EQ (r.value (1, 63), step (126));
	host.values[POSITION] = std::numeric_limits<double>::quiet_NaN ();
	EXPECT_DOUBLE_EQ (r.value (1, 65), step (1));

	// Where several positions give the value, the lowest one is the start:
	// with a range of 0..2, every position from 64 on gives 1.
	CcBinding wide = binding (POSITION, 1, CC_MODE_RELATIVE_BINARY_OFFSET);
	wide.hasMax = true;
	wide.max = 2;
	CcMap wideMap = mapOf ({wide});
	host.values[POSITION] = 1.0;
	Resolver w {wideMap, nullptr, &host};
	EXPECT_DOUBLE_EQ (w.value (1, 63), 2 * step (63));

	// Under a curve the step is taken in controller positions, not values.
	CcBinding curved = binding (POSITION, 1, CC_MODE_RELATIVE_BINARY_OFFSET);
	curved.curve = CC_CURVE_EXP;
	CcMap curvedMap = mapOf ({curved});
	host.values[POSITION] = step (100) * step (100);
	Resolver c {curvedMap, nullptr, &host};
	EXPECT_DOUBLE_EQ (c.value (1, 65), step (101) * step (101));

	// Without a host value: from nothing, or from what the state last sent.
	Resolver bare {map};
	EXPECT_DOUBLE_EQ (bare.value (1, 66), step (2));
	EXPECT_DOUBLE_EQ (bare.value (1, 66), step (2));
	CcRouterState state;
	Resolver remembering {map, &state};
	for (int k = 1; k <= 3; ++k)
		EXPECT_DOUBLE_EQ (remembering.value (3, 65), step (k));
	EXPECT_DOUBLE_EQ (remembering.value (1, 54), 0.0);
}

// The nearest controller position to a value, by looking at every one:
// what the resolver's faster search must agree with everywhere.
int nearestByScan (const CcBinding& b, const tavik_param_desc& p, double target)
{
	int best = 0;
	for (int k = 1; k <= 127; ++k)
		if (std::fabs (ccApplyNormalized (b, p, k) - target) < std::fabs (ccApplyNormalized (b, p, best) - target))
			best = k;
	return best;
}

TEST (CcResolve, RelativeStepsStartFromTheNearestPositionForEveryParameterRangeAndCurve)
{
	Host host;
	for (uint32_t param = 0; param < TAVIK_PARAM_COUNT; ++param)
	{
		const tavik_param_desc& p = TAVIK_PARAMS[param];
		const double span = p.max - p.min;
		// Full, reversed, inside, beyond both ends (plateaus), a single
		// point, and a range of values no controller position reaches.
		const double ranges[][2] = {{p.min, p.max},
		                            {p.max, p.min},
		                            {p.min + 0.2 * span, p.min + 0.7 * span},
		                            {p.min - span, p.max + 2 * span},
		                            {p.min + 0.5 * span, p.min + 0.5 * span},
		                            {p.max + span, p.max + 2 * span}};
		for (const auto& range : ranges)
			for (const uint8_t curve : {CC_CURVE_LINEAR, CC_CURVE_EXP, CC_CURVE_LOG, CC_CURVE_S})
			{
				CcBinding b = binding (param, 1, CC_MODE_RELATIVE_BINARY_OFFSET);
				b.curve = curve;
				b.hasMin = b.hasMax = true;
				b.min = range[0];
				b.max = range[1];
				const CcMap map = mapOf ({b});
				Resolver r {map, nullptr, &host};
				std::vector<double> targets = {0.0, 1.0, 0.5, 1.0 / 3};
				for (int k = 0; k <= 127; ++k)
				{
					const double v = ccApplyNormalized (b, p, k);
					targets.insert (targets.end (), {v, std::nextafter (v, 2.0), std::nextafter (v, -1.0),
					                                 (v + ccApplyNormalized (b, p, k + 1)) / 2});
				}
				for (const double target : targets)
				{
					const double current = target < 0 ? 0 : target > 1 ? 1 : target;
					host.values[param] = target;
					const int from = nearestByScan (b, p, current);
					ASSERT_EQ (r.value (1, 65), ccApplyNormalized (b, p, std::min (from + 1, 127)))
						<< p.path << " " << range[0] << ".." << range[1] << " curve " << int (curve) << " at "
						<< target;
					ASSERT_EQ (r.value (1, 63), ccApplyNormalized (b, p, std::max (from - 1, 0)))
						<< p.path << " " << range[0] << ".." << range[1] << " curve " << int (curve) << " at "
						<< target;
				}
			}
	}
}

TEST (CcResolve, PickupWaitsUntilTheControllerMeetsTheParameter)
{
	CcMap map = mapOf ({binding (POSITION, 1, CC_MODE_ABSOLUTE, CC_TAKEOVER_PICKUP)});
	Host host;
	host.values[POSITION] = 0.5;
	CcRouterState state;
	Resolver r {map, &state, &host};
	EXPECT_TRUE (std::isnan (r.value (1, 10)));
	EXPECT_TRUE (std::isnan (r.value (1, 40)));
	EXPECT_DOUBLE_EQ (r.value (1, 100), step (100)); // passed 64 on the way
	host.values[POSITION] = step (100);
	EXPECT_DOUBLE_EQ (r.value (1, 20), step (20)); // engaged: follows from now on
	host.values[POSITION] = 0.9;
	EXPECT_DOUBLE_EQ (r.value (1, 21), step (21)); // even after the host moved it

	// Meeting the value exactly, and passing it downwards.
	CcRouterState exact;
	host.values[POSITION] = step (30);
	Resolver e {map, &exact, &host};
	EXPECT_TRUE (std::isnan (e.value (1, 29)));
	EXPECT_DOUBLE_EQ (e.value (1, 30), step (30));
	CcRouterState down;
	host.values[POSITION] = step (30);
	Resolver d {map, &down, &host};
	EXPECT_TRUE (std::isnan (d.value (1, 90)));
	EXPECT_TRUE (std::isnan (d.value (1, 31)));
	EXPECT_DOUBLE_EQ (d.value (1, 12), step (12));

	// A new copy of the map must be picked up again.
	const CcMap copy = map;
	Resolver again {copy, &state, &host};
	EXPECT_TRUE (std::isnan (again.value (1, 20)));

	// Without a state there is nothing to remember: pickup acts at once.
	Resolver stateless {map, nullptr, &host};
	EXPECT_DOUBLE_EQ (stateless.value (1, 10), step (10));

	// Without a host value the first message sets the parameter, which then
	// follows the controller rather than waiting for it to come back.
	CcRouterState alone;
	Resolver unseen {map, &alone};
	EXPECT_DOUBLE_EQ (unseen.value (1, 10), step (10));
	EXPECT_DOUBLE_EQ (unseen.value (1, 20), step (20));
	EXPECT_DOUBLE_EQ (unseen.value (1, 5), step (5));
}

TEST (CcResolve, ToggleFlipsOnEachRisingCrossing)
{
	CcBinding half = binding (BASE_FREQ, 2, CC_MODE_TOGGLE);
	half.curve = CC_CURVE_EXP; // the ends ignore the curve
	half.hasMax = true;
	half.max = 247.5;
	CcMap map = mapOf ({binding (POSITION, 1, CC_MODE_TOGGLE), half});
	CcRouterState state;
	Resolver r {map, &state};
	EXPECT_EQ (r.value (1, 127), 1.0);
	EXPECT_TRUE (std::isnan (r.value (1, 127)));
	EXPECT_TRUE (std::isnan (r.value (1, 0)));
	EXPECT_TRUE (std::isnan (r.value (1, 0)));
	EXPECT_EQ (r.value (1, 100), 0.0); // the other end
	EXPECT_TRUE (std::isnan (r.value (1, 63)));
	EXPECT_EQ (r.value (1, 64), 1.0);
	EXPECT_DOUBLE_EQ (r.value (2, 64), 0.5);

	// The host's value decides which end comes next; the middle goes high.
	Host host;
	Resolver hosted {map, nullptr, &host};
	host.values[POSITION] = 0.8;
	EXPECT_EQ (hosted.value (1, 127), 0.0);
	host.values[POSITION] = 0.5;
	EXPECT_EQ (hosted.value (1, 127), 1.0);
}

TEST (CcResolve, ScaledTakeoverSpreadsTheRemainingTravel)
{
	CcMap map = mapOf ({binding (POSITION, 1, CC_MODE_ABSOLUTE, CC_TAKEOVER_SCALED)});
	Host host;
	host.values[POSITION] = 0.25; // nearest step 32
	CcRouterState state;
	Resolver r {map, &state, &host};
	EXPECT_TRUE (std::isnan (r.value (1, 64))); // where the controller is
	EXPECT_TRUE (std::isnan (r.value (1, 64))); // no move
	EXPECT_EQ (r.value (1, 127), 1.0);

	CcRouterState middle;
	Resolver m {map, &middle, &host};
	m.value (1, 64);
	// 95 steps of room above 32 over 63 of travel above 64: 32 of travel
	// are worth 48.25 steps.
	EXPECT_DOUBLE_EQ (m.value (1, 96), step (80));
	host.values[POSITION] = step (80);
	EXPECT_EQ (m.value (1, 0), 0.0);

	// Without a state no move can be seen: the controller sets the value.
	Resolver stateless {map, nullptr, &host};
	EXPECT_DOUBLE_EQ (stateless.value (1, 64), step (64));
	// Without a host value the first message sets it; later ones scale.
	CcRouterState alone;
	Resolver unseen {map, &alone};
	EXPECT_DOUBLE_EQ (unseen.value (1, 32), step (32));
	EXPECT_DOUBLE_EQ (unseen.value (1, 127), 1.0);
}

} // namespace
