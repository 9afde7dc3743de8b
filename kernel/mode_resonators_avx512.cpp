// Sixteen lanes per AVX-512 register: both partials of eight voices at once.
// -mavx512f implies FMA instructions; -ffp-contract=off keeps the compiler
// from fusing the model's separately rounded products and sums.
#include "mode_resonators_impl.h"

namespace tavik::kernel {

void renderModeBlockAvx512 (const ModeBlock& block) { renderModeBlockLanes<16> (block); }

/** a·b + c as written, compiled where fused multiply-add is available; the
 *  flag check of the kernel build calls it to prove nothing is fused. */
__attribute__ ((noinline)) double kernelContractionProbe (double a, double b, double c) { return a * b + c; }

} // namespace tavik::kernel
