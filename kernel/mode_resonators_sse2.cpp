// Baseline path: four lanes per SSE2 register.
#include "mode_resonators_impl.h"

namespace tavik::kernel {

void renderModeBlockSse2 (const ModeBlock& block) { renderModeBlockLanes<4> (block); }

} // namespace tavik::kernel
