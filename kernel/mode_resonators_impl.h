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

// M consecutive modes over all lanes (PARTIAL_LANES / W vector groups) and
// all frames of the block. Each (mode, group) pair is an independent
// recurrence; running several of them in one frame loop keeps the CPU busy
// while each waits for its own previous frame. Within a frame, each lane's
// sum still takes the modes in ascending order.
template <int W, int M, bool kSteadyBloom>
__attribute__ ((always_inline)) inline void renderModes (tavik::kernel::GongVoiceBank& bank, int m0,
                                                         const ModeBlock& job)
{
	typedef typename Vectors<W>::F F;
	typedef typename Vectors<W>::D D;
	constexpr int G = PARTIAL_LANES / W;
	// Locals, so that the stores below cannot make the compiler reload them.
	const int frames = job.frames;
	const uint8_t* const exciting = job.exciting;
	const double (*const excite)[PARTIAL_LANES] = job.excite;
	const double (*const bloom)[PARTIAL_LANES] = job.bloom;
	float (*const sums)[PARTIAL_LANES] = job.sums;

	F c[M][G], s[M][G], g[M][G], re[M][G], im[M][G];
	D dw[M][G], bw[M][G], steady[M][G];
	for (int k = 0; k < M; ++k)
		for (int q = 0; q < G; ++q)
		{
			const int m = m0 + k;
			const int lane = q * W;
			c[k][q] = loadVector<F> (&bank.coefCos[m][lane]);
			s[k][q] = loadVector<F> (&bank.coefSin[m][lane]);
			g[k][q] = loadVector<F> (&bank.partialGain[m][lane]);
			re[k][q] = loadVector<F> (&bank.stateRe[m][lane]);
			im[k][q] = loadVector<F> (&bank.stateIm[m][lane]);
			dw[k][q] = loadVector<D> (&bank.directWeight[m][lane]);
			bw[k][q] = loadVector<D> (&bank.bloomWeight[m][lane]);
			steady[k][q] = dw[k][q] + bw[k][q] * loadVector<D> (&bloom[0][lane]);
		}
	for (int f = 0; f < frames; ++f)
	{
		const bool excited = exciting[f] != 0;
		for (int q = 0; q < G; ++q)
		{
			const int lane = q * W;
			F acc = loadVector<F> (&sums[f][lane]);
			const D e = excited ? loadVector<D> (&excite[f][lane]) : D {};
			const D level = kSteadyBloom ? D {} : loadVector<D> (&bloom[f][lane]);
			for (int k = 0; k < M; ++k)
			{
				F x;
				if (excited)
					x = __builtin_convertvector(__builtin_convertvector(re[k][q], D) + e, F);
				else
					x = re[k][q] + 0.0f; // single(0 + re): turns −0 into +0 like the double sum
				const F y = im[k][q];
				re[k][q] = c[k][q] * x - y * s[k][q];
				im[k][q] = y * c[k][q] + s[k][q] * x;
				const F p = im[k][q] * g[k][q];
				const D weight = kSteadyBloom ? steady[k][q] : dw[k][q] + bw[k][q] * level;
				acc = acc + __builtin_convertvector(__builtin_convertvector(p, D) * weight, F);
			}
			storeVector (&sums[f][lane], acc);
		}
	}
	for (int k = 0; k < M; ++k)
		for (int q = 0; q < G; ++q)
		{
			storeVector (&bank.stateRe[m0 + k][q * W], re[k][q]);
			storeVector (&bank.stateIm[m0 + k][q * W], im[k][q]);
		}
}

template <int W, int M>
inline void renderModeRun (tavik::kernel::GongVoiceBank& bank, int m0, const ModeBlock& job)
{
	if (job.bloomConstant)
		renderModes<W, M, true> (bank, m0, job);
	else
		renderModes<W, M, false> (bank, m0, job);
}

template <int W>
inline void renderModeBlockLanes (const ModeBlock& job)
{
	static_assert (PARTIAL_LANES % W == 0, "lanes must fill whole vectors");
	// Modes run together: the best measured balance of independent
	// recurrences against registers for each width.
	constexpr int M = W == 8 ? 2 : 3;
	tavik::kernel::GongVoiceBank& bank = *job.bank;
	int m = 0;
	for (; m + M <= job.modes; m += M)
		renderModeRun<W, M> (bank, m, job);
	for (; m < job.modes; ++m)
		renderModeRun<W, 1> (bank, m, job);
}

} // namespace
