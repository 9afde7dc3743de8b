// Body of the mode resonator loop, included by one translation unit per
// instruction set, each instantiating it with its vector width W (floats per
// register). Everything here is file-local so that no inline function
// compiled for a wide instruction set can be shared with other code.
//
// Per lane and frame, for a mode with coefficients (c, s), gain g, state
// (re, im), exciter sample e, direct and bloom weights dw, bw and bloom
// level b, in the precision the model defines:
//   x   = single(e + re)                     (double sum)
//   re' = single(c·x) − single(im·s)         (single precision)
//   im' = single(im·c) + single(s·x)         (single precision)
//   sum = sum + single((dw + bw·b) · single(im'·g))   (weight in double)

#include "mode_resonators.h"

#include <cstring>

namespace {

using tavik::kernel::ModeBlock;
using tavik::kernel::PARTIAL_LANES;

template <int W>
struct Vectors
{
	typedef float F __attribute__ ((vector_size (W * sizeof (float))));
	typedef double D __attribute__ ((vector_size (W * sizeof (double))));
};

template <typename V, typename T>
__attribute__ ((always_inline)) inline V loadVector (const T* p)
{
	V v;
	std::memcpy (&v, p, sizeof (V));
	return v;
}

template <typename V, typename T>
__attribute__ ((always_inline)) inline void storeVector (T* p, const V& v)
{
	std::memcpy (p, &v, sizeof (V));
}

// One mode of one group of W lanes over all frames of the block; the
// weight is per frame unless the bloom is at rest.
template <int W, bool kSteadyBloom>
__attribute__ ((always_inline)) inline void renderLaneGroup (tavik::kernel::GongVoiceBank& bank, int m, int lane,
                                                             const ModeBlock& job)
{
	typedef typename Vectors<W>::F F;
	typedef typename Vectors<W>::D D;
	// Locals, so that the stores below cannot make the compiler reload them.
	const int frames = job.frames;
	const uint8_t* const exciting = job.exciting;
	const double (*const excite)[PARTIAL_LANES] = job.excite;
	const double (*const bloom)[PARTIAL_LANES] = job.bloom;
	float (*const sums)[PARTIAL_LANES] = job.sums;

	const F c = loadVector<F> (&bank.coefCos[m][lane]);
	const F s = loadVector<F> (&bank.coefSin[m][lane]);
	const F g = loadVector<F> (&bank.partialGain[m][lane]);
	const D dw = loadVector<D> (&bank.directWeight[m][lane]);
	const D bw = loadVector<D> (&bank.bloomWeight[m][lane]);
	const D steadyWeight = dw + bw * loadVector<D> (&bloom[0][lane]);
	F re = loadVector<F> (&bank.stateRe[m][lane]);
	F im = loadVector<F> (&bank.stateIm[m][lane]);
	for (int f = 0; f < frames; ++f)
	{
		F x;
		if (exciting[f])
			x = __builtin_convertvector (__builtin_convertvector (re, D) + loadVector<D> (&excite[f][lane]), F);
		else
			x = re + 0.0f;  // single(0 + re): turns −0 into +0 like the double sum
		const F y = im;
		re = c * x - y * s;
		im = y * c + s * x;
		const F p = im * g;
		const D weight = kSteadyBloom ? steadyWeight : dw + bw * loadVector<D> (&bloom[f][lane]);
		const F term = __builtin_convertvector (__builtin_convertvector (p, D) * weight, F);
		storeVector (&sums[f][lane], loadVector<F> (&sums[f][lane]) + term);
	}
	storeVector (&bank.stateRe[m][lane], re);
	storeVector (&bank.stateIm[m][lane], im);
}

template <int W>
inline void renderModeBlockLanes (const ModeBlock& job)
{
	static_assert (PARTIAL_LANES % W == 0, "lanes must fill whole vectors");
	tavik::kernel::GongVoiceBank& bank = *job.bank;
	for (int m = 0; m < job.modes; ++m)
		for (int lane = 0; lane < PARTIAL_LANES; lane += W)
		{
			if (job.bloomConstant)
				renderLaneGroup<W, true> (bank, m, lane, job);
			else
				renderLaneGroup<W, false> (bank, m, lane, job);
		}
}

} // namespace
