// CC resolution: one incoming controller message (controller number,
// channel, 7-bit value) becomes normalized values for every enabled binding
// of a CC map that matches it, shaped by the binding's range, curve, value
// mode and takeover rule. Allocation-free and lock-free, so it may run on
// the audio thread; a CcRouterState carries what it needs between messages.
#pragma once

#include "cc_map.h"
#include "cc_router_state.h"
#include "parameter_table.h"

#include <cstdint>

namespace tavik {

/** One value for one parameter. */
struct CcResolution
{
	uint32_t paramIndex;
	double value; // normalized, 0..1
};

/** The caller's current normalized value of parameter `paramIndex`. */
using CcCurrentValue = double (*) (void* context, uint32_t paramIndex);

/** Normalized value of `param` for controller position `value` (clamped to
 *  0..127) through the binding's curve and range. */
double ccApplyNormalized (const CcBinding& binding, const tavik_param_desc& param, int value);

/** Resolves one controller message (`channel` 1..16) through `map` into
 *  `out`, in binding order, and returns the number of results written
 *  (at most `capacity`). `state` and `current` may each be null: without a
 *  state nothing is remembered between calls; without `current` the state's
 *  last sent values stand in for the parameters' values. */
uint32_t ccResolve (const CcMap& map, int controller, int channel, int rawValue, CcRouterState* state,
                    CcCurrentValue current, void* context, CcResolution* out, uint32_t capacity);

/** For each controller 0..127, the slots of `map` (bit j for binding j)
 *  whose binding is enabled, has a valid target and listens to that
 *  controller, on whatever channel. */
void ccIndexBindings (const CcMap& map, uint64_t (&slots)[128]);

/** ccResolve over the slots set in `slots` alone (the others are skipped
 *  as if they did not match), for a caller that indexed the map once. */
uint32_t ccResolveSlots (const CcMap& map, uint64_t slots, int controller, int channel, int rawValue,
                         CcRouterState* state, CcCurrentValue current, void* context, CcResolution* out,
                         uint32_t capacity);

} // namespace tavik
