// Eight lanes per AVX2 register. Compiled with -mavx2 (never -mfma: the
// model's products and sums are rounded separately).
#include "mode_resonators_impl.h"

namespace tavik::kernel {

void renderModeBlockAvx2 (const ModeBlock& block) { renderModeBlockLanes<8> (block); }

} // namespace tavik::kernel
