// The render tool's score: output length, parameter values at the start,
// the CC map, and timed note, parameter and controller events, read from
// JSON or a Standard MIDI File.
#pragma once

#include "cc_map.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::tools {

/** A parameter named by host title, numeric id or (for Zorv) table path,
 *  with a plain value or a display text. */
struct ScoreValue
{
	std::string parameter;
	double value = 0;
	bool isText = false;
	std::string text;
	std::string field; // where it was written, for messages
};

struct ScoreEvent
{
	enum Type
	{
		NOTE_ON,
		NOTE_OFF,
		PARAM,
		CC, // a MIDI control change, played through the plug-in's MIDI mapping
	};
	Type type = NOTE_ON;
	bool hasFrame = false;
	int64_t frame = 0;
	double time = 0; // seconds, when given instead of a frame
	int note = 0;
	double velocity = 0.8;
	int channel = 0;
	int controller = 0; // CC: controller number and 7-bit value
	int ccValue = 0;
	ScoreValue param;
	std::string field;
};

struct Score
{
	bool hasSampleRate = false;
	double sampleRate = 48000;
	bool hasBlockSize = false;
	int blockSize = 512;
	bool hasFrames = false;
	int64_t frames = 0;
	bool hasSeconds = false;
	double seconds = 0;
	std::vector<ScoreValue> params;
	std::vector<ScoreEvent> events;
	bool hasCcMap = false;
	CcMap ccMap; // Zorv's CC map document, every binding valid
};

/** Reads a score document; on failure `error` names the offending field. */
bool parseScore (const std::string& text, Score& score, std::string& error);

/** Note and control-change events of a Standard MIDI File (its tempo map
 *  applied); `endSeconds` receives the time of its last event. */
bool readMidiFile (const std::string& path, std::vector<ScoreEvent>& events, double& endSeconds, std::string& error);

/** Frame of every event at `sampleRate` (times rounded to the nearest
 *  frame), events sorted stably by frame. */
void resolveEventFrames (std::vector<ScoreEvent>& events, double sampleRate);

} // namespace tavik::tools
