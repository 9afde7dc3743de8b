#include "progress_line.h"

#include <cstdio>
#include <unistd.h>

namespace tavik::tools {

ProgressLine::ProgressLine (int64_t totalFrames, double sampleRate)
	: shown (isatty (STDERR_FILENO) && totalFrames > static_cast<int64_t> (sampleRate * 5)), total (totalFrames),
	  rate (sampleRate)
{
}

void ProgressLine::update (int64_t done)
{
	if (!shown)
		return;
	const int percent = static_cast<int> (100 * done / total);
	if (percent == lastPercent)
		return;
	lastPercent = percent;
	std::fprintf (stderr, "\rzorv-render: %3d%% (%.1f of %.1f s)", percent, done / rate, total / rate);
	std::fflush (stderr);
}

void ProgressLine::clear ()
{
	if (shown)
		std::fputs ("\r\033[K", stderr);
}

} // namespace tavik::tools
