// The progress line shown on a terminal while a long render runs: only when
// standard error is a terminal and the render is longer than five seconds.
#pragma once

#include <cstdint>

namespace tavik::tools {

class ProgressLine
{
public:
	ProgressLine (int64_t totalFrames, double sampleRate);

	/** Shows `done` frames of the total, when the percentage changed. */
	void update (int64_t done);

	/** Clears the line once the render is over. */
	void clear ();

private:
	bool shown;
	int64_t total;
	double rate;
	int lastPercent = -1;
};

} // namespace tavik::tools
