#include "cc_router_state.h"

namespace tavik {

void CcRouterState::reset (const CcMap* owner) noexcept
{
	map = owner;
	for (uint32_t j = 0; j < CC_MAP_CAPACITY; ++j)
	{
		lastValue[j] = 0;
		hasLastValue[j] = false;
		pickedUp[j] = false;
		lastNormalized[j] = 0;
		hasLastNormalized[j] = false;
	}
}

} // namespace tavik
