// MIDI learn: which binding of the CC map waits for a controller, and what
// the next controller moved makes of that binding. Learning ends with the
// first controller a binding can hold, or when the binding goes away.
#pragma once

#include "cc_map.h"

#include <cstdint>

namespace tavik {

class CcLearn
{
public:
	/** Controllers 120..127 are channel mode messages, pressure and pitch
	 *  bend have no number in a binding: none of them is learned. */
	static constexpr uint32_t LEARNABLE_CONTROLLERS = 120;

	/** Waits for a controller for binding `slot` of `map`; false (and
	 *  nothing waits) when the map has no such binding. */
	bool start (int32_t slot, const CcMap& map);
	void stop () { waiting = -1; }
	bool active () const { return waiting >= 0; }
	/** The binding waiting, or -1. */
	int32_t slot () const { return waiting; }

	/** Controller `controller` moved on `channel` (0..15): when a binding
	 *  waits and the controller is learnable, the binding takes its number
	 *  (a binding on one channel also takes the channel it moved on; one on
	 *  any channel stays so) and learning ends. True when `map` changed. */
	bool take (CcMap& map, uint32_t channel, uint32_t controller);

	/** After `map` replaced the one learning started with: learning ends
	 *  when the binding is gone. */
	void follow (const CcMap& map);

private:
	int32_t waiting = -1;
};

} // namespace tavik
