// The mode resonators of all voices, run as vector lanes.
//
// One lane per partial and voice (see PARTIAL_LANES). For every frame each
// lane updates its resonator and adds its weighted output to that frame's
// per-lane sum, modes in ascending order, so the sums come out exactly as
// a voice-by-voice, mode-by-mode scalar loop would produce them.
#pragma once

#include "gong_voice_bank.h"

#include <cstdint>

namespace tavik::kernel {

constexpr int MAX_SEGMENT_FRAMES = 128;

struct ModeBlock
{
	GongVoiceBank* bank;
	int modes;                             // modes 0..modes-1 are run for every lane
	int frames;                            // 0..MAX_SEGMENT_FRAMES
	bool bloomConstant;                    // bloom[0] holds the level of every frame
	const uint8_t* exciting;               // [frame]: some lane has a non-rest exciter
	const double (*excite)[PARTIAL_LANES]; // [frame][lane]: exciter sample e
	const double (*bloom)[PARTIAL_LANES];  // [frame][lane]: bloom level of the frame
	float (*sums)[PARTIAL_LANES];          // [frame][lane]: zeroed by the caller, summed into
};

enum class SimdPath : int
{
	Sse2 = 0,
	Avx2 = 1,
	Avx512 = 2,
};

constexpr int SIMD_PATH_COUNT = 3;

const char* simdPathName (SimdPath path);

/** Whether this CPU can run the path. */
bool simdPathSupported (SimdPath path);

/** The widest path this CPU supports. */
SimdPath bestSimdPath ();

/** The path in use (process-wide; the widest supported one unless set). */
SimdPath currentSimdPath ();

/** Selects a path; refused (false) when the CPU cannot run it. */
bool setSimdPath (SimdPath path);

/** Selects the path named by ZORV_SIMD_PATH ("sse2", "avx2", "avx512") when
 *  it is set and the CPU can run it; otherwise leaves the choice alone. Lets
 *  a whole host process (the render tool, a test) be pinned to one path. */
void applySimdPathOverride ();

/** Runs the block on the current path. */
void renderModeBlock (const ModeBlock& block);

// One entry per path, each compiled for its own instruction set.
void renderModeBlockSse2 (const ModeBlock& block);
void renderModeBlockAvx2 (const ModeBlock& block);
void renderModeBlockAvx512 (const ModeBlock& block);

} // namespace tavik::kernel
