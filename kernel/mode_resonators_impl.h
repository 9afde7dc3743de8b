// Body of the mode resonator loop, included by one translation unit per
// instruction set, each instantiating it with its vector width W (floats per
// register). Everything here is file-local so that no inline function
// compiled for a wide instruction set can be shared with other code.
//
// Per resonator and frame, for a mode with coefficients (c, s), gain g,
// state (re, im), exciter sample e, direct and bloom weights dw, bw and bloom
// level b, in the precision the model defines:
//   x   = single(e + re)                     (double sum)
//   re' = single(c·x) − single(im·s)         (single precision)
//   im' = single(im·c) + single(s·x)         (single precision)
//   out = single((dw + bw·b) · single(im'·g))   (weight in double)
// and per chain and frame, modes in ascending order from +0:
//   sum = sum + out

#include "mode_resonators.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

using tavik::kernel::CHAIN_ROW_LANES;
using tavik::kernel::MAX_VECTOR_LANES;
using tavik::kernel::MODE_TILE_FRAMES;
using tavik::kernel::ModeBlock;
using tavik::kernel::ModeTile;
using tavik::kernel::PACKED_LANES;
using tavik::kernel::PackedModes;
using tavik::kernel::VOICE_LANES;

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

// Where vector k's lanes start in a chain row: the row repeats the chains'
// values, so lanes r..r+W-1 of any vector are row entries o..o+W-1.
inline int rowOffset (const PackedModes& lanes, int k, int W) { return (k * W) % lanes.chains; }

typedef double Row4 __attribute__ ((vector_size (4 * sizeof (double))));
typedef float Row4F __attribute__ ((vector_size (4 * sizeof (float))));

// One frame of the bloom envelope over a chain row, entry by entry:
// b' = single(b + (1 − b) · coef), as for the voice the entry belongs to.
template <int V>
__attribute__ ((always_inline)) inline void stepBloomRowOf (const double* from, const double* coef, double* to)
{
#pragma GCC unroll 8
	for (int i = 0; i < V; ++i)
	{
		const Row4 b = loadVector<Row4> (from + 4 * i);
		const Row4 next = b + (1 - b) * loadVector<Row4> (coef + 4 * i);
		storeVector (to + 4 * i, __builtin_convertvector(__builtin_convertvector(next, Row4F), Row4));
	}
}

// The same over `vectors` groups of four entries (1 to 8), unrolled.
__attribute__ ((always_inline)) inline void stepBloomRow (const double* from, const double* coef, double* to,
                                                          int vectors)
{
	static_assert (CHAIN_ROW_LANES == 32, "eight groups of four entries");
	switch (vectors)
	{
		case 1: stepBloomRowOf<1> (from, coef, to); break;
		case 2: stepBloomRowOf<2> (from, coef, to); break;
		case 3: stepBloomRowOf<3> (from, coef, to); break;
		case 4: stepBloomRowOf<4> (from, coef, to); break;
		case 5: stepBloomRowOf<5> (from, coef, to); break;
		case 6: stepBloomRowOf<6> (from, coef, to); break;
		case 7: stepBloomRowOf<7> (from, coef, to); break;
		default: stepBloomRowOf<8> (from, coef, to); break;
	}
}

// N consecutive vectors of resonators over the tile's frames. Each vector is
// an independent recurrence; running several in one frame loop keeps the CPU
// busy while each waits for its own previous frame.
// With `stepBloom`, the frame loop also steps the tile's bloom rows (the
// first group of a tile whose levels move does): the bloom recurrence and the
// resonators are independent chains of dependent operations, so run side by
// side they overlap instead of waiting for each other.
template <int W, int N, bool kSteadyWeights>
__attribute__ ((always_inline)) inline void renderVectors (PackedModes& lanes, int k0, const ModeBlock& job,
                                                           ModeTile& tile, int first, int frames, bool stepBloom,
                                                           int rowVectors)
{
	typedef typename Vectors<W>::F F;
	typedef typename Vectors<W>::D D;
	// Locals, so that the stores below cannot make the compiler reload them.
	const uint8_t* const exciting = job.exciting + first;
	const double (*const excite)[CHAIN_ROW_LANES] = tile.excite;
	const double (*const bloom)[CHAIN_ROW_LANES] = tile.bloom;
	float (*const outputs)[PACKED_LANES] = tile.outputs;

	F c[N], s[N], g[N], re[N], im[N];
	D dw[N], bw[N], steady[N];
	int row[N];
#pragma GCC unroll 8
	for (int k = 0; k < N; ++k)
	{
		const int lane = (k0 + k) * W;
		row[k] = rowOffset (lanes, k0 + k, W);
		c[k] = loadVector<F> (&lanes.coefCos[lane]);
		s[k] = loadVector<F> (&lanes.coefSin[lane]);
		g[k] = loadVector<F> (&lanes.gain[lane]);
		re[k] = loadVector<F> (&lanes.stateRe[lane]);
		im[k] = loadVector<F> (&lanes.stateIm[lane]);
		dw[k] = loadVector<D> (&lanes.directWeight[lane]);
		bw[k] = loadVector<D> (&lanes.bloomWeight[lane]);
		if constexpr (kSteadyWeights)
			steady[k] = dw[k] + bw[k] * loadVector<D> (&bloom[0][row[k]]);
	}
	// One frame of the N vectors, fully unrolled so their states stay in
	// registers.
	auto frame = [&](int f, auto excited) __attribute__ ((always_inline))
	{
#pragma GCC unroll 8
		for (int k = 0; k < N; ++k)
		{
			F x;
			if constexpr (decltype (excited)::value)
				x = __builtin_convertvector(__builtin_convertvector(re[k], D) + loadVector<D> (&excite[f][row[k]]), F);
			else
				x = re[k] + 0.0f; // single(0 + re): turns −0 into +0 like the double sum
			const F y = im[k];
			re[k] = c[k] * x - y * s[k];
			im[k] = y * c[k] + s[k] * x;
			const F p = im[k] * g[k];
			const D weight = kSteadyWeights ? steady[k] : dw[k] + bw[k] * loadVector<D> (&bloom[f][row[k]]);
			storeVector (&outputs[f][(k0 + k) * W], __builtin_convertvector(__builtin_convertvector(p, D) * weight, F));
		}
	};
	auto run = [&](auto step) __attribute__ ((always_inline))
	{
		for (int f = 0; f < frames; ++f)
		{
			if constexpr (decltype (step)::value)
				stepBloomRow (f == 0 ? tile.bloomCarry : tile.bloom[f - 1], tile.bloomCoef, tile.bloom[f], rowVectors);
			if (exciting[f])
				frame (f, std::true_type {});
			else
				frame (f, std::false_type {});
		}
	};
	if (!kSteadyWeights && stepBloom)
		run (std::true_type {});
	else
		run (std::false_type {});
#pragma GCC unroll 8
	for (int k = 0; k < N; ++k)
	{
		storeVector (&lanes.stateRe[(k0 + k) * W], re[k]);
		storeVector (&lanes.stateIm[(k0 + k) * W], im[k]);
	}
}

// Vectors k..vectors-1, N at a time; what is left goes to narrower loops.
// The first group run steps the bloom rows when `stepBloom` is set.
template <int W, int N, bool kSteadyWeights>
inline void renderVectorRun (PackedModes& lanes, int k, int vectors, const ModeBlock& job, ModeTile& tile, int first,
                             int frames, bool stepBloom, int rowVectors)
{
	for (; k + N <= vectors; k += N)
	{
		renderVectors<W, N, kSteadyWeights> (lanes, k, job, tile, first, frames, stepBloom, rowVectors);
		stepBloom = false;
	}
	if constexpr (N > 1)
		if (k < vectors)
			renderVectorRun<W, N - 1, kSteadyWeights> (lanes, k, vectors, job, tile, first, frames, stepBloom,
			                                           rowVectors);
}

// The chains' sums of one tile, modes in ascending order, W chains at a time
// (C vectors of them). Lanes past the last chain read the next mode's
// outputs and are dropped. Each sum is a chain of dependent additions, so
// R frames run side by side to overlap their waits.
template <int W, int K, int C, int R>
__attribute__ ((always_inline)) inline void sumChainFrames (const ModeTile& tile, int chains,
                                                            float (*sums)[MAX_VECTOR_LANES], int f)
{
	typedef typename Vectors<W>::F F;
	F acc[R][C] = {};
#pragma GCC unroll 12
	for (int m = 0; m < K; ++m)
#pragma GCC unroll 4
		for (int r = 0; r < R; ++r)
#pragma GCC unroll 4
			for (int q = 0; q < C; ++q)
				acc[r][q] = acc[r][q] + loadVector<F> (&tile.outputs[f + r][m * chains + q * W]);
#pragma GCC unroll 4
	for (int r = 0; r < R; ++r)
#pragma GCC unroll 4
		for (int q = 0; q < C; ++q)
			storeVector (&sums[f + r][q * W], acc[r][q]);
}

template <int W, int K, int C>
inline void sumChains (const PackedModes& lanes, const ModeTile& tile, float (*sums)[MAX_VECTOR_LANES], int frames)
{
	// Frames side by side: enough independent sums to cover an addition's
	// latency, within the registers.
	constexpr int R = C >= 3 ? 1 : C == 2 ? 2 : 4;
	const int chains = lanes.chains;
	int f = 0;
	for (; f + R <= frames; f += R)
		sumChainFrames<W, K, C, R> (tile, chains, sums, f);
	for (; f < frames; ++f)
		sumChainFrames<W, K, C, 1> (tile, chains, sums, f);
}

template <int W, int K = tavik::kernel::MAX_MODES>
inline void sumChainsOfModes (const PackedModes& lanes, const ModeTile& tile, float (*sums)[MAX_VECTOR_LANES],
                              int frames)
{
	// Mode count and vector count are fixed per instantiation, so each sum
	// unrolls fully.
	constexpr int most = (tavik::kernel::MAX_CHAINS + W - 1) / W;
	static_assert (most <= 4, "at most four vectors of chains");
	if (lanes.modes == K)
	{
		switch ((lanes.chains + W - 1) / W)
		{
			case 1: sumChains<W, K, 1> (lanes, tile, sums, frames); break;
			case 2:
				if constexpr (most >= 2)
					sumChains<W, K, 2> (lanes, tile, sums, frames);
				break;
			case 3:
				if constexpr (most >= 3)
					sumChains<W, K, 3> (lanes, tile, sums, frames);
				break;
			default:
				if constexpr (most >= 4)
					sumChains<W, K, 4> (lanes, tile, sums, frames);
				break;
		}
	}
	else if constexpr (K > 0)
		sumChainsOfModes<W, K - 1> (lanes, tile, sums, frames);
}

template <int W, bool kSteadyWeights>
inline void renderTiles (const ModeBlock& job)
{
	PackedModes& lanes = *job.lanes;
	ModeTile& tile = *job.tile;
	const int vectors = (lanes.resonators + W - 1) / W;
	// Vectors per frame loop: the best measured balance of independent
	// recurrences against registers for each width.
	constexpr int N = W == 4 ? 6 : W == 8 ? 4 : 3;
	// The sums read up to one vector past the last one written.
	const int tail = std::min (vectors * W + W, PACKED_LANES);
	for (int f = 0; f < MODE_TILE_FRAMES; ++f)
		std::fill (&tile.outputs[f][vectors * W], &tile.outputs[f][tail], 0.0f);

	// Chain rows: entry t belongs to chain t mod chains. The bloom rows hold
	// the level of the frame (the run's first level when the weights hold).
	for (int t = 0, chain = 0; t < CHAIN_ROW_LANES; ++t)
	{
		tile.rowVoice[t] = lanes.voiceOfChain[chain];
		tile.bloomCarry[t] = lanes.bloomLevel[chain];
		tile.bloomCoef[t] = lanes.bloomCoef[chain];
		if (++chain == lanes.chains)
			chain = 0;
	}
	// The row entries the vectors read: each starts where its first lane's
	// chain falls, and reads W entries on.
	int rowEntries = lanes.chains;
	for (int k = 0; k < vectors && k * W < lanes.chains * W; ++k)
		rowEntries = std::max (rowEntries, rowOffset (lanes, k, W) + W);
	const int rowVectors = (rowEntries + 3) / 4;
	if (kSteadyWeights)
		std::memcpy (tile.bloom[0], tile.bloomCarry, sizeof tile.bloomCarry);

	// Moving weights: the resonators' frame loop steps the bloom rows as it
	// goes (there is always a vector when there is a chain).
	const bool stepInLoop = !kSteadyWeights && vectors > 0;
	for (int first = 0; first < job.frames; first += MODE_TILE_FRAMES)
	{
		const int frames = std::min (MODE_TILE_FRAMES, job.frames - first);
		for (int f = 0; f < frames; ++f)
		{
			if (job.exciting[first + f])
			{
				const double* const e = job.excite[first + f];
				for (int t = 0; t < rowEntries; ++t)
					tile.excite[f][t] = e[tile.rowVoice[t]];
			}
			if (!kSteadyWeights && !stepInLoop)
				stepBloomRow (f == 0 ? tile.bloomCarry : tile.bloom[f - 1], tile.bloomCoef, tile.bloom[f], rowVectors);
			else if (kSteadyWeights && job.bloomMoving)
				stepBloomRow (tile.bloomCarry, tile.bloomCoef, tile.bloomCarry, rowVectors);
		}
		renderVectorRun<W, N, kSteadyWeights> (lanes, 0, vectors, job, tile, first, frames, stepInLoop, rowVectors);
		if (!kSteadyWeights)
			std::memcpy (tile.bloomCarry, tile.bloom[frames - 1], sizeof tile.bloomCarry);
		sumChainsOfModes<W> (lanes, tile, job.sums + first, frames);
	}
	if (job.bloomMoving || !kSteadyWeights)
		for (int chain = 0; chain < lanes.chains; ++chain)
			lanes.bloomLevel[chain] = tile.bloomCarry[chain];
}

template <int W>
inline void renderModeBlockLanes (const ModeBlock& job)
{
	static_assert (W <= MAX_VECTOR_LANES && MAX_VECTOR_LANES % W == 0, "vectors must fit the rows");
	if (job.frames <= 0 || job.lanes->chains == 0)
		return;
	if (job.steadyWeights)
		renderTiles<W, true> (job);
	else
		renderTiles<W, false> (job);
}

} // namespace
