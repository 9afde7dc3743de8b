#include "midi_resolution.h"

#include <cmath>

namespace tavik::tools {

namespace {

void holdValue (ScoreValue& v)
{
	if (!v.isText)
		v.value = static_cast<double> (static_cast<float> (v.value));
}

} // namespace

int midiVelocity (double velocity)
{
	const long k = std::lround (velocity * 127);
	return k < 0 ? 0 : k > 127 ? 127 : static_cast<int> (k);
}

void holdAtMidiResolution (Score& score)
{
	for (ScoreValue& v : score.params)
		holdValue (v);
	for (ScoreEvent& e : score.events)
		if (e.type == ScoreEvent::NOTE_ON || e.type == ScoreEvent::NOTE_OFF)
			e.velocity = midiVelocity (e.velocity) / 127.0;
		else if (e.type == ScoreEvent::PARAM)
			holdValue (e.param);
}

} // namespace tavik::tools
