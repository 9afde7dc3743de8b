// The WAV being written: a temporary file beside the target, renamed into
// place only when everything was written; 32-bit float stereo, with the
// peak and the sum of squares of what went in.
#pragma once

#include <sndfile.h>

#include <cstddef>
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
