// What one render plays, read from the options, the score and the MIDI
// file: the score's start values and its events (each at its frame, sorted
// by frame), the sample rate, the block size and the length in frames.
#pragma once

#include "render_options.h"
#include "render_score.h"

#include <cstdint>

namespace tavik::tools {

struct RenderDescription
{
	Score score;
	double rate = 0;
	int block = 0;
	int64_t frames = 0;
};

/** The render the options describe; throws std::runtime_error naming the
 *  score or MIDI file and what is wrong with it. */
RenderDescription readRender (const Options& options);

} // namespace tavik::tools
