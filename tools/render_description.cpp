#include "render_description.h"

#include "midi_resolution.h"
#include "render_files.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace tavik::tools {

RenderDescription readRender (const Options& options)
{
	RenderDescription render;
	Score& score = render.score;
	if (!options.score.empty ())
	{
		std::string error;
		if (!parseScore (readFile (options.score), score, error))
			throw std::runtime_error (options.score + ": " + error);
	}
	double midiEnd = 0;
	if (!options.midi.empty ())
	{
		if (!score.events.empty ())
			throw std::runtime_error (options.score + ": score: events: --midi plays in place of the score's events; "
			                                          "remove one of them");
		std::string error;
		if (!readMidiFile (options.midi, score.events, midiEnd, error))
			throw std::runtime_error (error);
	}
	render.rate = options.rate > 0 ? options.rate : score.sampleRate;
	render.block = options.block > 0 ? options.block : score.blockSize;
	if (score.hasFrames)
		render.frames = score.frames;
	else if (score.hasSeconds)
		render.frames = static_cast<int64_t> (std::llround (score.seconds * render.rate));
	else if (!options.midi.empty ())
		render.frames = static_cast<int64_t> (std::llround ((midiEnd + 4.0) * render.rate));
	else
		throw std::runtime_error (options.score + ": score: give \"frames\" or \"seconds\"");
	if (render.frames < 1)
		throw std::runtime_error (options.score + ": score: the render is empty");
	if (options.midiResolution)
		holdAtMidiResolution (score);
	resolveEventFrames (score.events, render.rate);
	for (const ScoreEvent& e : score.events)
		if (e.frame < 0 || e.frame >= render.frames)
			throw std::runtime_error ((options.midi.empty () ? options.score + ": score: " : std::string ()) + e.field +
			                          ": frame " + std::to_string (e.frame) + " is outside the render (0.." +
			                          std::to_string (render.frames - 1) + ")");
	return render;
}

} // namespace tavik::tools
