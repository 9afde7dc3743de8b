// Rendering of the voice bank: the per-quantum glide update and runs of
// frames of all voices mixed to stereo.
#pragma once

#include "gong_voice_bank.h"
#include "mode_resonators.h"

#include <cstdint>

namespace tavik::kernel {

/** Working memory of one run, sized once so that rendering never allocates.
 *  Page-aligned: its arrays are read and written together in the hottest
 *  loops, and where the allocator happened to place it, some placements
 *  made loads wait for unrelated stores four kilobytes away (measured up to
 *  12 % slower); at a fixed page offset every instance renders at the
 *  measured speed. */
struct alignas (4096) RenderScratch
{
	alignas (64) double excite[MAX_SEGMENT_FRAMES][VOICE_LANES];
	alignas (64) double bloom[MAX_SEGMENT_FRAMES][VOICE_LANES];
	alignas (64) float sums[MAX_SEGMENT_FRAMES][MAX_VECTOR_LANES];
	uint8_t exciting[MAX_SEGMENT_FRAMES];
	double rngAfter[MAX_SEGMENT_FRAMES][BANK_VOICES];
	double noiseAfter[MAX_SEGMENT_FRAMES][BANK_VOICES];
	float voiceGain[MAX_SEGMENT_FRAMES][BANK_VOICES];
	PackedModes lanes;
	ModeTile tile;
};

/** Renders `frames` (at most 128) consecutive frames of every voice. For
 *  frame i, mixLeft[i] and mixRight[i] receive the frame's stereo mix
 *  (single-precision values, before the master level). The caller runs
 *  gongGlideQuantum at quantum starts, so a run never crosses one. */
void renderBankFrames (GongVoiceBank& bank, RenderScratch& scratch, int frames, double* mixLeft, double* mixRight);

} // namespace tavik::kernel
