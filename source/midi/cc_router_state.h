// What CC resolution remembers between messages for one map: per binding
// slot, the controller's last position, whether pickup has engaged, and the
// last value sent. Relative modes, toggles and both takeover rules need it.
#pragma once

#include "cc_map.h"

#include <cstdint>

namespace tavik {

struct CcRouterState
{
	/** The map this state belongs to; ccResolve resets the state when it
	 *  is handed another one (compared by address). */
	const CcMap* map = nullptr;
	uint8_t lastValue[CC_MAP_CAPACITY] = {};
	bool hasLastValue[CC_MAP_CAPACITY] = {};
	bool pickedUp[CC_MAP_CAPACITY] = {};
	double lastNormalized[CC_MAP_CAPACITY] = {};
	bool hasLastNormalized[CC_MAP_CAPACITY] = {};

	/** Ties the state to `owner` and forgets everything about the slots. */
	void reset (const CcMap* owner) noexcept;
};

} // namespace tavik
