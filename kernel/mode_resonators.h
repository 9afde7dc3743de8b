// The mode resonators of the sounding voices, run as densely packed vector
// lanes.
//
// Every partial of a sounding voice is a chain: two per voice (side 0 the
// first, left partial, side 1 the second), in voice order. A chain's modes
// are resonators; resonator lane r = mode × chains + chain, so a run of one
// voice fills three AVX2 vectors where the twelve modes of the voice bank's
// own layout would take twenty-four. Lanes never interact: each resonator's
// weighted output is stored per frame, and each chain's sum then adds its
// modes in ascending order, exactly as a voice-by-voice, mode-by-mode
// scalar loop would.
#pragma once

#include "gong_voice_bank.h"

#include <cstdint>

namespace tavik::kernel {

constexpr int MAX_SEGMENT_FRAMES = 128;

constexpr int MAX_CHAINS = 2 * BANK_VOICES;
constexpr int MAX_RESONATORS = MAX_CHAINS * MAX_MODES;
/** The widest vector (AVX-512) in floats. */
constexpr int MAX_VECTOR_LANES = 16;
/** Resonator lanes with room for a vector read past the last one. */
constexpr int PACKED_LANES = MAX_RESONATORS + MAX_VECTOR_LANES;
/** A per-chain row repeated so that any vector finds its lanes in one load. */
constexpr int CHAIN_ROW_LANES = 32;
static_assert (MAX_CHAINS + MAX_VECTOR_LANES <= CHAIN_ROW_LANES, "a row holds a wrapped vector");
/** Frames whose resonator outputs are held at once (the store stays in L1). */
constexpr int MODE_TILE_FRAMES = 32;

/** The resonators of one run, gathered from the voice bank. Lanes from
 *  `resonators` up to a whole widest vector are at rest with zero
 *  coefficients. */
struct alignas (64) PackedModes
{
	int chains = 0;     // two per sounding voice
	int modes = 0;      // modes run for every chain: the most any sounding voice has
	int resonators = 0; // chains × modes
	int voiceOfChain[MAX_CHAINS] = {};
	alignas (64) float coefCos[PACKED_LANES];
	alignas (64) float coefSin[PACKED_LANES];
	alignas (64) float gain[PACKED_LANES];
	alignas (64) float stateRe[PACKED_LANES];
	alignas (64) float stateIm[PACKED_LANES];
	alignas (64) double directWeight[PACKED_LANES];
	alignas (64) double bloomWeight[PACKED_LANES];
	// Per chain: the bloom level (on return, the level after the run) and
	// its coefficient, those of the chain's voice.
	double bloomLevel[MAX_CHAINS] = {};
	double bloomCoef[MAX_CHAINS] = {};
};

/** Working memory of one tile of frames. */
struct alignas (64) ModeTile
{
	alignas (64) double excite[MODE_TILE_FRAMES][CHAIN_ROW_LANES];
	alignas (64) double bloom[MODE_TILE_FRAMES][CHAIN_ROW_LANES];
	alignas (64) float outputs[MODE_TILE_FRAMES][PACKED_LANES];
	alignas (64) double bloomCoef[CHAIN_ROW_LANES];
	alignas (64) double bloomCarry[CHAIN_ROW_LANES]; // the level row of the frame before the tile
	int rowVoice[CHAIN_ROW_LANES];
};

struct ModeBlock
{
	PackedModes* lanes;
	ModeTile* tile;
	int frames;                          // 0..MAX_SEGMENT_FRAMES
	bool bloomMoving;                    // the bloom levels step every frame; else they hold
	bool steadyWeights;                  // no weight changes during the run
	const uint8_t* exciting;             // [frame]: some voice has a non-rest exciter
	const double (*excite)[VOICE_LANES]; // [frame][voice]: exciter sample e (0 for the rest)
	float (*sums)[MAX_VECTOR_LANES];     // [frame][chain]: written
};

/** Gathers the resonators of the sounding voices (`sounding[v]`), `modes`
 *  per chain, and their bloom levels from the voice bank's layout. */
void packModes (const GongVoiceBank& bank, const bool* sounding, int modes, PackedModes& lanes);

/** Writes the resonator states and bloom levels back into the voice bank. */
void unpackModeStates (const PackedModes& lanes, GongVoiceBank& bank);

/** True when no resonator's weight depends on the bloom level. */
bool bloomWeightsZero (const PackedModes& lanes);

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
