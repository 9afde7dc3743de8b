#include "wav_output.h"

#include "render_files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace tavik::tools {

WavOutput::WavOutput (const std::string& path, int sampleRate) : target (path)
{
	const int fd = createBeside (path, temporary, "output file");
	SF_INFO info {};
	info.samplerate = sampleRate;
	info.channels = 2;
	info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
	file = sf_open_fd (fd, SFM_WRITE, &info, SF_TRUE);
	if (!file)
	{
		::close (fd);
		std::remove (temporary.c_str ());
		throw std::runtime_error (path + ": cannot write WAV data (" + sf_strerror (nullptr) + ")");
	}
	// No PEAK chunk: it carries a time stamp, and the same render must
	// give the same file.
	sf_command (file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

WavOutput::~WavOutput ()
{
	if (file)
		sf_close (file);
	if (!committed)
		std::remove (temporary.c_str ());
}

void WavOutput::write (const float* left, const float* right, size_t frames)
{
	interleaved.resize (2 * frames);
	for (size_t i = 0; i < frames; ++i)
	{
		interleaved[2 * i] = left[i];
		interleaved[2 * i + 1] = right[i];
		peak = std::max ({peak, std::fabs (static_cast<double> (left[i])), std::fabs (static_cast<double> (right[i]))});
		sumSquares += static_cast<double> (left[i]) * left[i] + static_cast<double> (right[i]) * right[i];
	}
	if (sf_writef_float (file, interleaved.data (), static_cast<sf_count_t> (frames)) !=
	    static_cast<sf_count_t> (frames))
		throw std::runtime_error (target + ": write failed (" + sf_strerror (file) + ")");
	written += frames;
}

void WavOutput::commit ()
{
	if (sf_close (file) != 0)
	{
		file = nullptr;
		throw std::runtime_error (target + ": could not finish the file");
	}
	file = nullptr;
	if (std::rename (temporary.c_str (), target.c_str ()) != 0)
		throw std::runtime_error (target + ": cannot move the finished file into place (" + std::strerror (errno) +
		                          ")");
	committed = true;
}

namespace {

std::string decibels (double linear)
{
	char text[32];
	if (linear <= 0)
		return "-inf dBFS";
	std::snprintf (text, sizeof (text), "%.1f dBFS", 20 * std::log10 (linear));
	return text;
}

} // namespace

std::string WavOutput::summary (const std::string& out, int64_t frames, double rate) const
{
	const double seconds = static_cast<double> (frames) / rate;
	const double rms = written > 0 ? std::sqrt (sumSquares / (2.0 * static_cast<double> (written))) : 0.0;
	char text[160];
	std::snprintf (text, sizeof text, ": %.3f s (%lld frames at %g Hz), peak %s, RMS %s", seconds,
	               static_cast<long long> (frames), rate, decibels (peak).c_str (), decibels (rms).c_str ());
	return out + text;
}

} // namespace tavik::tools
