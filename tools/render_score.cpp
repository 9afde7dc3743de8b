#include "render_score.h"

#include "midi_file_check.h"

#include "json_reader.h"
#include "json_tree.h"
#include "parameter_table.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <glib.h>
#include <smf.h>

namespace tavik::tools {

namespace {

constexpr std::streamoff MAX_MIDI_FILE_BYTES = std::streamoff (64) << 20;

// A score reader that remembers the first error with its field.
class ScoreReader
{
public:
	explicit ScoreReader (const std::string& text) : r {text.data (), text.data () + text.size ()} {}

	bool fail (const std::string& field, const std::string& what)
	{
		if (error.empty ())
			error = "score: " + (field.empty () ? std::string () : field + ": ") + what;
		return false;
	}

	// Whether `c` follows, past any whitespace.
	bool nextIs (char c)
	{
		skipWhitespace (r);
		return r.cur < r.end && *r.cur == c;
	}

	// A failure to find the expected value: says so, or that the text ended.
	bool missing (const std::string& field, const std::string& expected)
	{
		skipWhitespace (r);
		return fail (field,
		             r.cur >= r.end ? "the text ends where " + expected + " should follow" : "expected " + expected);
	}

	bool number (const std::string& field, double& out)
	{
		skipWhitespace (r);
		if (r.cur >= r.end || *r.cur == '"' || *r.cur == '{' || *r.cur == '[' || *r.cur == 't' || *r.cur == 'f')
			return missing (field, "a number");
		if (!parseNumber (r, &out) || !std::isfinite (out))
			return fail (field, "expected a finite number");
		return true;
	}

	bool integer (const std::string& field, int64_t lo, int64_t hi, int64_t& out)
	{
		double v = 0;
		if (!number (field, v))
			return false;
		if (std::floor (v) != v || v < static_cast<double> (lo) || v > static_cast<double> (hi))
			return fail (field, "expected an integer " + std::to_string (lo) + ".." + std::to_string (hi));
		out = static_cast<int64_t> (v);
		return true;
	}

	bool string (const std::string& field, std::string& out)
	{
		if (!parseString (r, &out))
			return missing (field, "a string");
		return true;
	}

	// A number, or a string taken as the parameter's display text.
	bool value (const std::string& field, ScoreValue& out)
	{
		out.field = field;
		if (nextIs ('"'))
		{
			out.isText = true;
			return string (field, out.text);
		}
		out.isText = false;
		return number (field, out.value);
	}

	template <typename OnMember>
	bool object (const std::string& field, OnMember&& onMember)
	{
		if (!nextIs ('{'))
			return missing (field, "an object");
		const bool ok = readObject (r, onMember);
		if (!ok)
			return fail (field, "malformed object");
		return true;
	}

	template <typename OnElement>
	bool array (const std::string& field, OnElement&& onElement)
	{
		if (!nextIs ('['))
			return missing (field, "an array");
		// A failed element has said why; otherwise a separator was missing.
		size_t count = 0;
		bool elementFailed = false;
		const bool ok = readArray (r, [&] (Reader&) {
			elementFailed = !onElement (count);
			if (elementFailed)
				return false;
			++count;
			return true;
		});
		if (ok || elementFailed)
			return ok;
		return missing (field, "',' or ']' after element " + std::to_string (count - 1));
	}

	bool unknown (const std::string& field, const std::string& key)
	{
		return fail (field, "unknown key \"" + key + "\"");
	}

	Reader r;
	std::string error;
};

bool readEvent (ScoreReader& in, size_t index, ScoreEvent& event)
{
	const std::string field = "events[" + std::to_string (index) + "]";
	event.field = field;
	std::string type;
	bool hasType = false, hasNote = false, hasParam = false, hasValue = false, hasTime = false, hasController = false;
	const bool ok = in.object (field, [&] (const std::string& key, Reader&) {
		const std::string name = field + "." + key;
		if (key == "frame")
		{
			event.hasFrame = true;
			return in.integer (name, 0, INT64_C (1) << 40, event.frame);
		}
		if (key == "time")
		{
			hasTime = true;
			if (!in.number (name, event.time))
				return false;
			return event.time >= 0 || in.fail (name, "must not be negative");
		}
		if (key == "type")
		{
			hasType = true;
			return in.string (name, type);
		}
		if (key == "note")
		{
			hasNote = true;
			int64_t note = 0;
			if (!in.integer (name, 0, 127, note))
				return false;
			event.note = static_cast<int> (note);
			return true;
		}
		if (key == "velocity")
		{
			if (!in.number (name, event.velocity))
				return false;
			return (event.velocity >= 0 && event.velocity <= 1) || in.fail (name, "expected a velocity 0..1");
		}
		if (key == "channel")
		{
			int64_t channel = 0;
			if (!in.integer (name, 0, 15, channel))
				return false;
			event.channel = static_cast<int> (channel);
			return true;
		}
		if (key == "cc")
		{
			hasController = true;
			int64_t controller = 0;
			if (!in.integer (name, 0, 127, controller))
				return false;
			event.controller = static_cast<int> (controller);
			return true;
		}
		if (key == "path" || key == "param")
		{
			hasParam = true;
			return in.string (name, event.param.parameter);
		}
		if (key == "value")
		{
			hasValue = true;
			return in.value (name, event.param);
		}
		return in.unknown (field, key);
	});
	if (!ok)
		return false;
	if (event.hasFrame == hasTime)
		return in.fail (field, "give exactly one of \"frame\" and \"time\"");
	if (!hasType)
		return in.fail (field, "missing \"type\"");
	if (hasController && type != "cc")
		return in.fail (field, "only a cc event takes \"cc\"");
	if (type == "noteOn" || type == "noteOff")
	{
		event.type = type == "noteOn" ? ScoreEvent::NOTE_ON : ScoreEvent::NOTE_OFF;
		if (!hasNote)
			return in.fail (field, "missing \"note\"");
		if (hasParam || hasValue)
			return in.fail (field, "a note event takes no \"path\" or \"value\"");
	}
	else if (type == "param")
	{
		event.type = ScoreEvent::PARAM;
		if (!hasParam)
			return in.fail (field, "missing \"path\"");
		if (!hasValue)
			return in.fail (field, "missing \"value\"");
		event.param.field = field + ".value";
	}
	else if (type == "cc")
	{
		event.type = ScoreEvent::CC;
		if (!hasController)
			return in.fail (field, "missing \"cc\"");
		if (!hasValue)
			return in.fail (field, "missing \"value\"");
		if (hasNote || hasParam)
			return in.fail (field, "a cc event takes no \"note\" or \"path\"");
		const ScoreValue& v = event.param;
		if (v.isText || std::floor (v.value) != v.value || v.value < 0 || v.value > 127)
			return in.fail (field + ".value", "expected a controller value, an integer 0..127");
		event.ccValue = static_cast<int> (v.value);
	}
	else
		return in.fail (field + ".type", "expected \"noteOn\", \"noteOff\", \"param\" or \"cc\", not \"" + type + "\"");
	return true;
}

// A member naming one of `names`, when present.
bool checkName (ScoreReader& in, const JsonValue& binding, const std::string& field, const char* key,
                std::initializer_list<const char*> names)
{
	const JsonValue* member = binding.find (key);
	if (!member)
		return true;
	std::string list;
	for (const char* name : names)
	{
		if (member->kind == JsonValue::Kind::String && member->string == name)
			return true;
		list += std::string (list.empty () ? "" : ", ") + "\"" + name + "\"";
	}
	return in.fail (field + "." + key, "expected one of " + list);
}

// The bindings a CC map document holds, checked so that none is dropped
// unseen: each needs a controller number and the path of a parameter, and
// names only known curves, modes and takeover rules.
bool checkCcBindings (ScoreReader& in, const JsonValue& bindings, const std::string& field)
{
	if (bindings.items.size () > CC_MAP_CAPACITY)
		return in.fail (field, "at most " + std::to_string (CC_MAP_CAPACITY) + " bindings");
	for (size_t i = 0; i < bindings.items.size (); ++i)
	{
		const JsonValue& b = bindings.items[i];
		const std::string at = field + "[" + std::to_string (i) + "]";
		if (b.kind != JsonValue::Kind::Object)
			return in.fail (at, "expected a binding object");
		const JsonValue* cc = b.find ("cc");
		if (!cc || cc->kind != JsonValue::Kind::Number)
			return in.fail (at, "missing \"cc\", the controller number");
		const JsonValue* path = b.find ("path");
		if (!path || path->kind != JsonValue::Kind::String)
			return in.fail (at, "missing \"path\", the parameter it drives");
		if (!tavik_param_find_path (path->string))
			return in.fail (at + ".path", "no parameter named \"" + path->string + "\"");
		if (!checkName (in, b, at, "curve", {"linear", "exp", "log", "s-curve"}) ||
		    !checkName (
				in, b, at, "valueMode",
				{"absolute", "relative-signed-bit", "relative-binary-offset", "relative-twos-complement", "toggle"}) ||
		    !checkName (in, b, at, "takeover", {"immediate", "pickup", "scaled"}))
			return false;
	}
	return true;
}

// The score's CC map: Zorv's CC map document (object or array form).
bool readScoreCcMap (ScoreReader& in, CcMap& map)
{
	const std::string field = "ccMap";
	if (!in.nextIs ('{') && !in.nextIs ('['))
		return in.missing (field, "a CC map (an object with \"bindings\", or an array of bindings)");
	Reader span = in.r;
	if (!skipValue (span, 1))
		return in.fail (field, "malformed JSON");
	JsonValue document;
	if (!parseJsonDocument (in.r.cur, static_cast<size_t> (span.cur - in.r.cur), document))
		return in.fail (field, "malformed JSON");
	if (document.kind == JsonValue::Kind::Array)
	{
		if (!checkCcBindings (in, document, field))
			return false;
	}
	else
	{
		const JsonValue* bindings = document.find ("bindings");
		if (!bindings || bindings->kind != JsonValue::Kind::Array)
			return in.fail (field, "missing \"bindings\", an array of bindings");
		if (!checkCcBindings (in, *bindings, field + ".bindings"))
			return false;
	}
	bool present = false;
	if (!readCcMapValue (in.r, map, present) || !present)
		return in.fail (field, "not a CC map document");
	return true;
}

} // namespace

bool parseScore (const std::string& text, Score& score, std::string& error)
{
	ScoreReader in (text);
	const bool ok = in.object ("", [&] (const std::string& key, Reader&) {
		if (key == "sampleRate")
		{
			score.hasSampleRate = true;
			if (!in.number (key, score.sampleRate))
				return false;
			return (score.sampleRate >= 1000 && score.sampleRate <= 768000) ||
			       in.fail (key, "expected a sample rate 1000..768000");
		}
		if (key == "blockSize")
		{
			score.hasBlockSize = true;
			int64_t block = 0;
			if (!in.integer (key, 1, 16384, block))
				return false;
			score.blockSize = static_cast<int> (block);
			return true;
		}
		if (key == "frames")
		{
			score.hasFrames = true;
			return in.integer (key, 1, INT64_C (1) << 36, score.frames);
		}
		if (key == "seconds")
		{
			score.hasSeconds = true;
			if (!in.number (key, score.seconds))
				return false;
			return (score.seconds > 0 && score.seconds <= 86400) || in.fail (key, "expected seconds 0..86400");
		}
		if (key == "params")
			return in.object (key, [&] (const std::string& name, Reader&) {
				ScoreValue value;
				value.parameter = name;
				if (!in.value ("params." + name, value))
					return false;
				score.params.push_back (value);
				return true;
			});
		if (key == "ccMap")
		{
			score.hasCcMap = true;
			return readScoreCcMap (in, score.ccMap);
		}
		if (key == "events")
			return in.array (key, [&] (size_t index) {
				ScoreEvent event;
				if (!readEvent (in, index, event))
					return false;
				score.events.push_back (event);
				return true;
			});
		return in.unknown ("", key);
	});
	if (ok)
	{
		skipWhitespace (in.r);
		if (in.r.cur != in.r.end)
			in.fail ("", "unexpected text after the score object");
		else if (score.hasFrames && score.hasSeconds)
			in.fail ("", "give either \"frames\" or \"seconds\", not both");
	}
	else if (in.error.empty ())
		in.fail ("", "malformed JSON");
	error = in.error;
	return error.empty ();
}

namespace {

// The MIDI library reports through GLib's log; its messages are collected
// here and the last one becomes part of our own error line.
void collectMidiLibraryMessage (const gchar*, GLogLevelFlags, const gchar* message, gpointer context)
{
	std::string& last = *static_cast<std::string*> (context);
	last = message ? message : "";
	const std::string prefix = "SMF error: ";
	if (last.rfind (prefix, 0) == 0)
		last.erase (0, prefix.size ());
	while (!last.empty () && (last.back () == '.' || last.back () == '\n'))
		last.pop_back ();
}

} // namespace

bool readMidiFile (const std::string& path, std::vector<ScoreEvent>& events, double& endSeconds, std::string& error)
{
	// Read whole and checked first: the library aborts on some broken tracks.
	std::ifstream in (path, std::ios::binary);
	std::string bytes;
	if (in)
	{
		in.seekg (0, std::ios::end);
		const std::streamoff size = in.tellg ();
		in.seekg (0, std::ios::beg);
		if (size >= 0 && size <= MAX_MIDI_FILE_BYTES)
		{
			bytes.resize (static_cast<size_t> (size));
			in.read (bytes.data (), size);
		}
		else
			in.setstate (std::ios::failbit);
	}
	if (!in)
	{
		error = path + ": cannot read the MIDI file (missing, unreadable or over 64 MiB)";
		return false;
	}
	const std::string problem = midiFileProblem (reinterpret_cast<const uint8_t*> (bytes.data ()), bytes.size ());
	if (!problem.empty ())
	{
		error = path + ": not a readable Standard MIDI File (" + problem + ")";
		return false;
	}
	std::string libraryMessage;
	const guint handler = g_log_set_handler ("libsmf", static_cast<GLogLevelFlags> (G_LOG_LEVEL_MASK),
	                                         collectMidiLibraryMessage, &libraryMessage);
	smf_t* smf = smf_load_from_memory (bytes.data (), static_cast<int> (bytes.size ()));
	g_log_remove_handler ("libsmf", handler);
	if (!smf)
	{
		error = path + ": not a readable Standard MIDI File" +
		        (libraryMessage.empty () ? std::string () : " (" + libraryMessage + ")");
		return false;
	}
	endSeconds = 0;
	size_t index = 0;
	while (smf_event_t* e = smf_get_next_event (smf))
	{
		endSeconds = std::max (endSeconds, e->time_seconds);
		if (smf_event_is_metadata (e) || e->midi_buffer_length < 3)
			continue;
		const int status = e->midi_buffer[0] & 0xF0;
		if (status != 0x80 && status != 0x90 && status != 0xB0)
			continue;
		ScoreEvent event;
		event.hasFrame = false;
		event.time = e->time_seconds;
		event.channel = e->midi_buffer[0] & 0x0F;
		if (status == 0xB0)
		{
			event.type = ScoreEvent::CC;
			event.controller = e->midi_buffer[1] & 0x7F;
			event.ccValue = e->midi_buffer[2] & 0x7F;
		}
		else
		{
			event.note = e->midi_buffer[1] & 0x7F;
			const int velocity = e->midi_buffer[2] & 0x7F;
			event.type = (status == 0x90 && velocity > 0) ? ScoreEvent::NOTE_ON : ScoreEvent::NOTE_OFF;
			event.velocity = velocity / 127.0;
		}
		event.field = path + ": event " + std::to_string (index++);
		events.push_back (event);
	}
	smf_delete (smf);
	return true;
}

void resolveEventFrames (std::vector<ScoreEvent>& events, double sampleRate)
{
	for (ScoreEvent& e : events)
		if (!e.hasFrame)
			e.frame = static_cast<int64_t> (std::llround (e.time * sampleRate));
	std::stable_sort (events.begin (), events.end (),
	                  [] (const ScoreEvent& a, const ScoreEvent& b) { return a.frame < b.frame; });
}

} // namespace tavik::tools
