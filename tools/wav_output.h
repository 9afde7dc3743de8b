// The WAV being written: a temporary file beside the target, renamed into
// place only when everything was written; 32-bit float stereo, with the
// peak and the sum of squares of what went in.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavik::tools {

class WavOutput
{
public:
	/** Creates the temporary file; throws std::runtime_error naming `path`. */
	WavOutput (const std::string& path, int sampleRate);
	/** Removes the temporary file unless it was committed. */
	~WavOutput ();

	void write (const float* left, const float* right, size_t frames);

	/** Finishes the file and renames it into place. */
	void commit ();

	/** What a render tool says of the file it wrote: "OUT: 2.000 s (96000
	 *  frames at 48000 Hz), peak -3.2 dBFS, RMS -25.5 dBFS". */
	std::string summary (const std::string& out, int64_t frames, double rate) const;

	double peak = 0;
	double sumSquares = 0;
	size_t written = 0;

private:
	std::string target;
	std::string temporary;
	SNDFILE* file = nullptr;
	std::vector<float> interleaved;
	bool committed = false;
};

} // namespace tavik::tools
