// Rounding to single precision at the points the synthesis defines.
//
// The kernel computes in 64-bit doubles and rounds to single precision only
// where the model says so. The round trip must survive optimisation: GCC's
// SLP vectoriser has been seen to drop a (double)(float)x pair when it packs
// neighbouring statements, so the single-precision value is pinned in a
// register by an empty asm statement the optimiser cannot see through.
#pragma once

#ifdef __FAST_MATH__
#error "the gong kernel must not be compiled with fast-math: its output is defined to the last bit"
#endif

namespace tavik::kernel {

inline double fround (double x)
{
	float f = static_cast<float> (x);
#if defined(__x86_64__) || defined(__i386__)
	__asm__("" : "+x"(f));
#else
	__asm__("" : "+w"(f));
#endif
	return static_cast<double> (f);
}

} // namespace tavik::kernel
