#include "rate_adapter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tavik {

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

// floor(a / b) for b > 0.
i128 floorDiv (i128 a, i128 b)
{
	i128 q = a / b;
	if ((a % b != 0) && (a < 0))
		--q;
	return q;
}

// round(1024 × rem / denominator), halves up, at most PHASES − 1.
int phaseOf (u128 rem, u128 denominator)
{
	const u128 p = (2 * RateAdapter::PHASES * rem + denominator) / (2 * denominator);
	return p > RateAdapter::PHASES - 1 ? RateAdapter::PHASES - 1 : static_cast<int> (p);
}

// Interpolates channel `data` (a FIFO of `fill` frames whose first frame is
// absolute frame `base`) at integer frame `at` with the given taps.
float interpolate (const float* data, size_t fill, uint64_t base, uint64_t at, const float* taps)
{
	double sum = 0;
	double tapSum = 0;
	for (int j = 0; j < RateAdapter::TAPS; ++j)
	{
		const int64_t index = static_cast<int64_t> (at) - static_cast<int64_t> (base) + j - RateAdapter::TAP_CENTRE;
		const int64_t clamped = std::min<int64_t> (std::max<int64_t> (index, 0), static_cast<int64_t> (fill) - 1);
		sum += static_cast<double> (taps[j]) * data[clamped];
		tapSum += taps[j];
	}
	if (tapSum == 0)
	{
		const int64_t index = static_cast<int64_t> (at) - static_cast<int64_t> (base);
		return data[std::min<int64_t> (std::max<int64_t> (index, 0), static_cast<int64_t> (fill) - 1)];
	}
	return static_cast<float> (sum / tapSum);
}

} // namespace

bool RateAdapter::fifoCapacity (uint64_t num, uint64_t den, int maxBlockFrames, uint64_t& capacity)
{
	if (num == 0 || maxBlockFrames < 1)
		return false;
	const u128 need = static_cast<u128> (maxBlockFrames) * KERNEL_RATE * den;
	const u128 q = (need + num - 1) / num;
	const u128 fifo = std::max<u128> (q + 64, static_cast<u128> (3) * static_cast<unsigned> (maxBlockFrames) + 8);
	if (fifo > MAX_FIFO_FRAMES)
		return false;
	capacity = static_cast<uint64_t> (fifo);
	return true;
}

void RateAdapter::buildTable (std::vector<float>& table, double cutoff)
{
	table.assign (static_cast<size_t> (PHASES) * TAPS, 0.f);
	const double pi = 3.141592653589793;
	for (int p = 0; p < PHASES; ++p)
	{
		double taps[TAPS];
		double sum = 0;
		for (int j = 0; j < TAPS; ++j)
		{
			const double x = cutoff * (static_cast<double> (p) / PHASES - (j - TAP_CENTRE));
			const double s = std::fabs (x) < 1e-12 ? 1.0 : std::sin (pi * x) / (pi * x);
			const double w = 0.5 - 0.5 * std::cos (2 * pi * j / 31);
			taps[j] = w * cutoff * s;
			sum += taps[j];
		}
		for (int j = 0; j < TAPS; ++j)
			table[static_cast<size_t> (p) * TAPS + j] = static_cast<float> (sum != 0 ? taps[j] / sum : taps[j]);
	}
}

void RateAdapter::configure (uint64_t rateNum, uint64_t rateDen, size_t capacity)
{
	num = rateNum;
	den = rateDen;
	fifoFrames = capacity;
	inputFifo.assign (2 * capacity, 0.f);
	resampled.assign (2 * capacity, 0.f);
	outputFifo.assign (2 * capacity, 0.f);
	const double hostRate = static_cast<double> (num) / static_cast<double> (den);
	buildTable (inputTable, std::min (static_cast<double> (KERNEL_RATE) / hostRate, 1.0));
	buildTable (outputTable, std::min (hostRate / static_cast<double> (KERNEL_RATE), 1.0));
	reset ();
}

void RateAdapter::release ()
{
	for (std::vector<float>* v : {&inputFifo, &resampled, &outputFifo, &inputTable, &outputTable})
		std::vector<float> ().swap (*v);
	fifoFrames = 0;
	reset ();
}

void RateAdapter::reset ()
{
	inFill = outFill = 0;
	inBase = outBase = 0;
	hostFramesReceived = hostFramesProduced = kernelFramesRendered = nextKernelFrame = 0;
}

void RateAdapter::dropFront (std::vector<float>& fifo, size_t capacity, size_t fill, size_t count)
{
	if (count == 0)
		return;
	for (int c = 0; c < 2; ++c)
	{
		float* channel = fifo.data () + static_cast<size_t> (c) * capacity;
		std::memmove (channel, channel + count, (fill - count) * sizeof (float));
	}
}

void RateAdapter::trimInput ()
{
	const u128 e = static_cast<u128> (nextKernelFrame) * num / (static_cast<u128> (den) * KERNEL_RATE);
	const u128 keepFrom = e < static_cast<u128> (TAP_REACH) ? 0 : e - TAP_REACH;
	if (keepFrom <= inBase)
		return;
	const size_t count = static_cast<size_t> (std::min<u128> (keepFrom - inBase, inFill));
	dropFront (inputFifo, fifoFrames, inFill, count);
	inFill -= count;
	inBase += count;
}

void RateAdapter::trimOutput ()
{
	const i128 numerator = (static_cast<i128> (hostFramesProduced) - HOST_DELAY_FRAMES) *
	                           static_cast<i128> (KERNEL_RATE) * static_cast<i128> (den) -
	                       KERNEL_DELAY_FRAMES * static_cast<i128> (num);
	i128 s = floorDiv (numerator, static_cast<i128> (num));
	if (s < 0)
		s = 0;
	const i128 keepFrom = s <= TAP_REACH ? 0 : s - TAP_REACH;
	if (keepFrom <= static_cast<i128> (outBase))
		return;
	const size_t count =
		static_cast<size_t> (std::min<i128> (keepFrom - static_cast<i128> (outBase), static_cast<i128> (outFill)));
	dropFront (outputFifo, fifoFrames, outFill, count);
	outFill -= count;
	outBase += count;
}

bool RateAdapter::appendInput (const float* const* inputs, int inputChannels, int frames)
{
	if (frames < 0 || inFill + static_cast<size_t> (frames) > fifoFrames)
		return false;
	for (int c = 0; c < 2; ++c)
	{
		float* dest = inputFifo.data () + static_cast<size_t> (c) * fifoFrames + inFill;
		const float* src = (inputs && c < inputChannels) ? inputs[c] : nullptr;
		if (src)
			std::memcpy (dest, src, static_cast<size_t> (frames) * sizeof (float));
		else
			std::memset (dest, 0, static_cast<size_t> (frames) * sizeof (float));
	}
	inFill += static_cast<size_t> (frames);
	return true;
}

int RateAdapter::deriveKernelFrames ()
{
	const u128 D = static_cast<u128> (den) * KERNEL_RATE;
	const uint64_t end = inBase + inFill;
	size_t derived = 0;
	while (derived < fifoFrames)
	{
		const u128 scaled = static_cast<u128> (nextKernelFrame) * num;
		const uint64_t r = static_cast<uint64_t> (scaled / D);
		if (r + TAP_REACH >= end)
			break;
		const int phase = phaseOf (scaled % D, D);
		for (int c = 0; c < 2; ++c)
			resampled[static_cast<size_t> (c) * fifoFrames + derived] = interpolate (
				inputFifo.data () + static_cast<size_t> (c) * fifoFrames, inFill, inBase, r, inputTaps (phase));
		++derived;
		++nextKernelFrame;
	}
	return static_cast<int> (derived);
}

bool RateAdapter::appendOutput (const float* left, const float* right, int frames)
{
	if (frames < 0 || outFill + static_cast<size_t> (frames) > fifoFrames)
		return false;
	std::memcpy (outputFifo.data () + outFill, left, static_cast<size_t> (frames) * sizeof (float));
	std::memcpy (outputFifo.data () + fifoFrames + outFill, right, static_cast<size_t> (frames) * sizeof (float));
	outFill += static_cast<size_t> (frames);
	return true;
}

void RateAdapter::produceOutput (float* const* outputs, int outputChannels, int frames) const
{
	for (int i = 0; i < frames; ++i)
	{
		const uint64_t h = hostFramesProduced + static_cast<uint64_t> (i);
		const i128 numerator =
			(static_cast<i128> (h) - HOST_DELAY_FRAMES) * static_cast<i128> (KERNEL_RATE) * static_cast<i128> (den) -
			KERNEL_DELAY_FRAMES * static_cast<i128> (num);
		bool silent = numerator < 0;
		uint64_t a = 0;
		int phase = 0;
		if (!silent)
		{
			a = static_cast<uint64_t> (numerator / static_cast<i128> (num));
			phase = phaseOf (static_cast<u128> (numerator % static_cast<i128> (num)), num);
			silent = a < outBase || a + TAP_REACH >= outBase + outFill;
		}
		for (int j = 0; j < outputChannels; ++j)
		{
			if (!outputs[j])
				continue;
			if (silent)
			{
				outputs[j][i] = 0;
				continue;
			}
			const int source = j < 2 ? j : 0;
			outputs[j][i] = interpolate (outputFifo.data () + static_cast<size_t> (source) * fifoFrames, outFill,
			                             outBase, a, outputTaps (phase));
		}
	}
}

uint32_t RateAdapter::latencyFrames (double hostRate)
{
	return static_cast<uint32_t> (static_cast<int> (hostRate * KERNEL_DELAY_FRAMES / static_cast<double> (KERNEL_RATE) +
	                                                HOST_DELAY_FRAMES + 0.999999));
}

uint64_t RateAdapter::kernelFrameOf (uint64_t hostFrame) const
{
	const u128 twice = 2 * static_cast<u128> (hostFrame) * KERNEL_RATE * den + num;
	return static_cast<uint64_t> (twice / (2 * static_cast<u128> (num)));
}

} // namespace tavik
