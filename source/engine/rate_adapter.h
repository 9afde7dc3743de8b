// The windowed-sinc sample-rate adapter that lets the kernel run at
// 48,000 Hz behind a host running at another rate: FIFOs at both rates,
// two interpolation tables, and the exact integer arithmetic that maps host
// frames to kernel frames. Everything is sized in configure(); the render
// path never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavik {

class RateAdapter
{
public:
	static constexpr int TAPS = 32;
	static constexpr int PHASES = 1024;
	static constexpr uint64_t KERNEL_RATE = 48000;
	static constexpr uint64_t MAX_FIFO_FRAMES = 1048576;
	/** Tap j of an interpolation weighs the sample j − TAP_CENTRE frames
	 *  from the interpolated position. */
	static constexpr int TAP_CENTRE = 15;
	/** Frames the taps reach past the interpolated position (the farther
	 *  side): a sample is produced only once they are all there, and the
	 *  FIFOs keep this many frames behind the position still to be read. */
	static constexpr int64_t TAP_REACH = TAPS - 1 - TAP_CENTRE;
	/** The output lags the host by this many host frames plus this many
	 *  kernel frames. */
	static constexpr int64_t HOST_DELAY_FRAMES = 16;
	static constexpr int64_t KERNEL_DELAY_FRAMES = 20;

	/** The latency the adapter adds at host rate `hostRate`, in whole host
	 *  frames (rounded up). */
	static uint32_t latencyFrames (double hostRate);

	/** FIFO frames per channel for a host rate num/den and a maximum block;
	 *  false when that is not representable or above MAX_FIFO_FRAMES. */
	static bool fifoCapacity (uint64_t num, uint64_t den, int maxBlockFrames, uint64_t& capacity);

	/** Sizes the FIFOs (zeroed) and builds the tables for host rate num/den. */
	void configure (uint64_t num, uint64_t den, size_t capacity);

	/** Clears both FIFO fills and all counters. */
	void reset ();

	/** Gives the FIFOs' and tables' memory back (configure makes them again). */
	void release ();

	/** The interpolation taps of one phase (TAPS floats). */
	const float* inputTaps (int phase) const { return &inputTable[static_cast<size_t> (phase) * TAPS]; }
	const float* outputTaps (int phase) const { return &outputTable[static_cast<size_t> (phase) * TAPS]; }

	// Steps of one converted block, in the order the engine runs them.
	void trimInput ();
	void trimOutput ();
	bool appendInput (const float* const* inputs, int inputChannels, int frames);
	/** Derives up to `capacity` kernel-rate input frames that the FIFO now
	 *  covers; returns how many (the kernel frames to render). */
	int deriveKernelFrames ();
	bool appendOutput (const float* left, const float* right, int frames);
	/** Writes the block's output (host rate) into every non-null channel. */
	void produceOutput (float* const* outputs, int outputChannels, int frames) const;

	/** Kernel frame at which an event at an absolute host frame is due:
	 *  round(hostFrame × 48000 / R), halves up. */
	uint64_t kernelFrameOf (uint64_t hostFrame) const;

	uint64_t hostFramesReceived = 0;
	uint64_t hostFramesProduced = 0;
	uint64_t kernelFramesRendered = 0;
	uint64_t nextKernelFrame = 0;

	size_t capacity () const { return fifoFrames; }

private:
	static void buildTable (std::vector<float>& table, double cutoff);
	static void dropFront (std::vector<float>& fifo, size_t capacity, size_t fill, size_t count);

	uint64_t num = KERNEL_RATE;
	uint64_t den = 1;
	size_t fifoFrames = 0;
	std::vector<float> inputFifo;  // 2 × capacity, host rate
	std::vector<float> resampled;  // 2 × capacity, kernel rate
	std::vector<float> outputFifo; // 2 × capacity, kernel rate
	size_t inFill = 0;
	size_t outFill = 0;
	uint64_t inBase = 0;
	uint64_t outBase = 0;
	std::vector<float> inputTable; // PHASES × TAPS
	std::vector<float> outputTable;
};

} // namespace tavik
