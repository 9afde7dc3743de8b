// zorv-render end to end: the built bundle played from scores and a MIDI file.

#include "cc_resolve.h"
#include "factory_presets.h"
#include "parameter_table.h"
#include "run_command.h"
#include "vst_preset_file.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using tavik::test::CommandResult;
using tavik::test::shellQuote;

class RenderTool : public ::testing::Test
{
protected:
	void SetUp () override
	{
		dir = fs::path (testing::TempDir ()) / ("zorv_render_" + std::to_string (getpid ()) + "_" +
		                                        testing::UnitTest::GetInstance ()->current_test_info ()->name ());
		fs::remove_all (dir);
		fs::create_directories (dir);
	}
	void TearDown () override { fs::remove_all (dir); }

	std::string write (const std::string& name, const std::string& text)
	{
		const fs::path path = dir / name;
		std::ofstream (path, std::ios::binary) << text;
		return path.string ();
	}

	CommandResult render (const std::string& args)
	{
		return tavik::test::runCommand (std::string (ZORV_RENDER_PATH) + " --plugin " + shellQuote (ZORV_BUNDLE_PATH) +
		                                " " + args);
	}

	std::vector<std::string> files () const
	{
		std::vector<std::string> names;
		for (const auto& entry : fs::directory_iterator (dir))
			names.push_back (entry.path ().filename ().string ());
		std::sort (names.begin (), names.end ());
		return names;
	}

	fs::path dir;
};

std::string readBytes (const std::string& path)
{
	std::ifstream in (path, std::ios::binary);
	return std::string ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char> ());
}

std::vector<float> readWav (const std::string& path, SF_INFO& info)
{
	info = SF_INFO {};
	SNDFILE* file = sf_open (path.c_str (), SFM_READ, &info);
	if (!file)
		return {};
	std::vector<float> samples (static_cast<size_t> (info.frames * info.channels));
	sf_readf_float (file, samples.data (), info.frames);
	sf_close (file);
	return samples;
}

const char* kScore = R"({"sampleRate": 48000, "blockSize": 512, "frames": 60000,
 "params": {"ir.instrument": 2, "ir.size": 1.2, "Mallet": "Wood"},
 "events": [{"frame": 0, "type": "noteOn", "note": 45, "velocity": 0.8},
            {"frame": 12000, "type": "param", "path": "model.coupling", "value": 0.5},
            {"frame": 20000, "type": "noteOff", "note": 45},
            {"time": 0.6, "type": "noteOn", "note": 57, "velocity": 1},
            {"frame": 40000, "type": "param", "path": "16", "value": 220},
            {"frame": 40000, "type": "noteOn", "note": 50, "velocity": 0.5, "channel": 3}]})";

TEST_F (RenderTool, BlockSizeDoesNotChangeASingleBit)
{
	const std::string score = write ("score.json", kScore);
	std::string reference;
	for (const int block : {512, 1, 37, 128, 4096})
	{
		const std::string out = (dir / ("out" + std::to_string (block) + ".wav")).string ();
		const CommandResult run = render ("--score " + shellQuote (score) + " --out " + shellQuote (out) + " --block " +
		                                  std::to_string (block));
		ASSERT_EQ (run.exitCode, 0) << run.err;
		EXPECT_NE (run.out.find ("1.250 s (60000 frames at 48000 Hz), peak "), std::string::npos) << run.out;
		EXPECT_NE (run.out.find ("real time"), std::string::npos);
		const std::string bytes = readBytes (out);
		if (reference.empty ())
			reference = bytes;
		else
			EXPECT_TRUE (bytes == reference) << "block " << block;
	}
	SF_INFO info;
	const std::vector<float> samples = readWav ((dir / "out512.wav").string (), info);
	EXPECT_EQ (info.frames, 60000);
	EXPECT_EQ (info.channels, 2);
	EXPECT_EQ (info.samplerate, 48000);
	EXPECT_EQ (info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
	float peak = 0;
	for (float s : samples)
		peak = std::max (peak, std::fabs (s));
	EXPECT_GT (peak, 0.05f);
	EXPECT_LT (peak, 1.0f);
}

// A crowded score for the vector paths: six voices of different models
// ringing together, restruck while they bloom, glide and split, with decays,
// releases and voice stealing, at a rate that is not the kernel's own.
const char* kCrowdedScore = R"({"sampleRate": 44100, "blockSize": 333, "seconds": 7,
 "params": {"bloom.amount": 0.8, "glide.amount": 0.6, "ir.stereoWidth": 0.7},
 "events": [
  {"time": 0.00, "type": "param", "path": "ir.instrument", "value": "Tam-Tam"},
  {"time": 0.00, "type": "noteOn", "note": 36, "velocity": 1},
  {"time": 0.05, "type": "param", "path": "ir.instrument", "value": "Gong Ageng"},
  {"time": 0.05, "type": "param", "path": "ombak.amount", "value": 1.5},
  {"time": 0.05, "type": "noteOn", "note": 41, "velocity": 0.7},
  {"time": 0.30, "type": "param", "path": "ir.instrument", "value": "Xiaoluo"},
  {"time": 0.30, "type": "param", "path": "mallet.type", "value": "Wood"},
  {"time": 0.30, "type": "noteOn", "note": 67, "velocity": 0.9},
  {"time": 0.31, "type": "noteOn", "note": 70, "velocity": 0.4},
  {"time": 0.80, "type": "param", "path": "ir.instrument", "value": "Daluo"},
  {"time": 0.80, "type": "param", "path": "amp.decay", "value": 1.2},
  {"time": 0.80, "type": "noteOn", "note": 52, "velocity": 0.8},
  {"time": 0.81, "type": "noteOn", "note": 55, "velocity": 0.6},
  {"time": 1.20, "type": "noteOff", "note": 67},
  {"time": 1.50, "type": "param", "path": "ir.instrument", "value": "Wind Gong"},
  {"time": 1.50, "type": "param", "path": "amp.decay", "value": 15},
  {"time": 1.50, "type": "noteOn", "note": 48, "velocity": 1},
  {"time": 1.60, "type": "noteOn", "note": 36, "velocity": 0.5},
  {"time": 2.40, "type": "param", "path": "model.coupling", "value": 1},
  {"time": 2.40, "type": "noteOn", "note": 60, "velocity": 0.9},
  {"time": 3.00, "type": "noteOff", "note": 48},
  {"time": 3.00, "type": "noteOff", "note": 36},
  {"time": 3.50, "type": "param", "path": "ir.instrument", "value": "Symphonic"},
  {"time": 3.50, "type": "noteOn", "note": 43, "velocity": 0.95},
  {"time": 5.00, "type": "noteOff", "note": 43}]})";

bool cpuRunsPath (const std::string& path)
{
	__builtin_cpu_init ();
	if (path == "avx2")
		return __builtin_cpu_supports ("avx2");
	if (path == "avx512")
		return __builtin_cpu_supports ("avx512f");
	return true;
}

uint64_t fingerprint (const std::string& bytes)
{
	uint64_t h = 14695981039346656037ull;
	for (const char c : bytes)
		h = (h ^ static_cast<unsigned char> (c)) * 1099511628211ull;
	return h;
}

// Renders through the built bundle on each vector path the CPU offers and
// compares every output byte with renders kept in tests/golden, so the
// kernel's vector code cannot change a sample unnoticed on any path.
// ZORV_UPDATE_GOLDEN=1 writes the file anew after an intended change.
TEST_F (RenderTool, EveryVectorPathRendersTheRecordedSound)
{
	const std::string scores = std::string (ZORV_TEST_SOURCE_DIR) + "/../tools/scores/";
	const std::pair<std::string, std::string> cases[] = {
		{"short", write ("short.json", kScore)},
		{"crowded", write ("crowded.json", kCrowdedScore)},
		{"demo", scores + "demo.json"},
		{"cc_sweep", scores + "cc_sweep.json"},
		{"cc_options", scores + "cc_options.json"},
	};
	const std::string golden = std::string (ZORV_TEST_SOURCE_DIR) + "/golden/render_fingerprints.txt";
	const char* update = std::getenv ("ZORV_UPDATE_GOLDEN");
	const bool updating = update && std::string (update) == "1";
	std::string expected;
	if (!updating)
	{
		expected = readBytes (golden);
		ASSERT_FALSE (expected.empty ()) << golden << " is missing; run with ZORV_UPDATE_GOLDEN=1";
	}
	int pathsRun = 0;
	for (const std::string path : {"sse2", "avx2", "avx512"})
	{
		if (!cpuRunsPath (path))
			continue;
		++pathsRun;
		std::string rendered;
		for (const auto& [name, score] : cases)
		{
			const std::string out = (dir / (name + "_" + path + ".wav")).string ();
			const CommandResult run = tavik::test::runCommand (
				"ZORV_SIMD_PATH=" + path + " " + std::string (ZORV_RENDER_PATH) + " --plugin " +
				shellQuote (ZORV_BUNDLE_PATH) + " --score " + shellQuote (score) + " --out " + shellQuote (out));
			ASSERT_EQ (run.exitCode, 0) << name << " on " << path << ": " << run.err;
			char line[96];
			std::snprintf (line, sizeof (line), "%s %016llx\n", name.c_str (),
			               static_cast<unsigned long long> (fingerprint (readBytes (out))));
			rendered += line;
		}
		if (updating)
		{
			std::ofstream (golden) << rendered;
			GTEST_SKIP () << "wrote " << golden;
		}
		EXPECT_EQ (rendered, expected) << "on the " << path << " path; columns: score, fingerprint of the file";
	}
	EXPECT_GE (pathsRun, 1);
}

TEST_F (RenderTool, FlagsOverrideTheScore)
{
	const std::string score = write ("score.json", kScore);
	const std::string out = (dir / "hi.wav").string ();
	const CommandResult run = render ("--score " + shellQuote (score) + " --out " + shellQuote (out) + " --rate 96000");
	ASSERT_EQ (run.exitCode, 0) << run.err;
	SF_INFO info;
	readWav (out, info);
	EXPECT_EQ (info.samplerate, 96000);
	EXPECT_EQ (info.frames, 60000);
}

TEST_F (RenderTool, BadScoresNameTheFieldAndLeaveNoFile)
{
	const struct
	{
		const char* score;
		const char* message;
	} cases[] = {
		{R"({"frames": 100, "tempo": 120})", "score: unknown key \"tempo\""},
		{R"({"frames": 100, "params": {"ir.sizzle": 1}})", "score: params.ir.sizzle: no parameter named \"ir.sizzle\""},
		{R"({"frames": 100, "events": [{"frame": 100, "type": "noteOn", "note": 60}]})",
	     "events[0]: frame 100 is outside the render (0..99)"},
		{R"({"frames": 100, "events": [{"frame": 1, "type": "noteOn", "note": 128}]})",
	     "score: events[0].note: expected an integer 0..127"},
		{R"({"frames": 100, "events": [{"frame": 1, "type": "strike", "note": 60}]})", "score: events[0].type:"},
		{R"({"frames": 100, "events": [{"frame": 1, "type": "param", "path": "Gong", "value": "Bell"}]})",
	     "\"Bell\" is not a value of \"Gong\""},
		{R"({"frames": 100, "events": [{"frame": 1, "type": "noteOn"}]})", "score: events[0]: missing \"note\""},
		{R"({"frames": 100, "seconds": 2})", "give either \"frames\" or \"seconds\""},
		{R"({"frames": 100, "events": [)", "score: events[0]: the text ends where an object should follow"},
		{R"({"frames": 100, "events": [{"frame": 1, "type": "noteOn", "note": 60} {}]})",
	     "score: events: expected ',' or ']' after element 0"},
		{R"({"sampleRate": "fast", "frames": 10})", "score: sampleRate: expected a number"},
		{R"({"events": []})", "give \"frames\" or \"seconds\""},
	};
	for (const auto& c : cases)
	{
		const std::string score = write ("bad.json", c.score);
		const std::string out = (dir / "bad.wav").string ();
		const CommandResult run = render ("--score " + shellQuote (score) + " --out " + shellQuote (out));
		EXPECT_EQ (run.exitCode, 1) << c.score;
		EXPECT_NE (run.err.find (c.message), std::string::npos) << c.score << "\n" << run.err;
		EXPECT_EQ (run.err.find ('\n'), run.err.size () - 1) << run.err;
		EXPECT_EQ (files (), std::vector<std::string> {"bad.json"}) << c.score;
	}
	const CommandResult usage = render ("--score");
	EXPECT_EQ (usage.exitCode, 2);
	const CommandResult missing = render ("--score " + shellQuote ((dir / "none.json").string ()) + " --out x.wav");
	EXPECT_EQ (missing.exitCode, 1);
	EXPECT_NE (missing.err.find ("cannot read"), std::string::npos);
	const CommandResult badPlugin =
		tavik::test::runCommand (std::string (ZORV_RENDER_PATH) + " --plugin /nonexistent.vst3 --score x --out y.wav");
	EXPECT_EQ (badPlugin.exitCode, 1);
}

// A type-0 Standard MIDI File at 120 bpm, 480 ticks per quarter note.
std::string midiFile ()
{
	const unsigned char track[] = {
		0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, // tempo 500000 µs per quarter
		0x00, 0x90, 45,   100,                    // note on at 0 s
		0x83, 0x60, 0x80, 45,   0,                // 480 ticks: off at 0.5 s
		0x00, 0x90, 57,   127,                    // note on at 0.5 s
		0x83, 0x60, 0x90, 57,   0,                // 0.5 s later: velocity 0 = off
		0x00, 0xFF, 0x2F, 0x00,                   // end of track
	};
	std::string bytes = "MThd";
	const unsigned char header[] = {0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0};
	bytes.append (reinterpret_cast<const char*> (header), sizeof (header));
	bytes += "MTrk";
	const unsigned char length[] = {0, 0, 0, static_cast<unsigned char> (sizeof (track))};
	bytes.append (reinterpret_cast<const char*> (length), 4);
	bytes.append (reinterpret_cast<const char*> (track), sizeof (track));
	return bytes;
}

TEST_F (RenderTool, PlaysAStandardMidiFile)
{
	const std::string midi = write ("phrase.mid", midiFile ());
	const std::string out = (dir / "midi.wav").string ();
	const CommandResult run = render ("--midi " + shellQuote (midi) + " --out " + shellQuote (out));
	ASSERT_EQ (run.exitCode, 0) << run.err;
	SF_INFO info;
	const std::vector<float> samples = readWav (out, info);
	EXPECT_EQ (info.frames, static_cast<sf_count_t> (std::llround ((1.0 + 4.0) * 48000))); // last event + 4 s
	// The second note starts at 0.5 s: the level jumps there.
	auto energy = [&] (int from, int to) {
		double sum = 0;
		for (int i = from; i < to; ++i)
			sum += samples[static_cast<size_t> (2 * i)] * samples[static_cast<size_t> (2 * i)];
		return sum;
	};
	EXPECT_GT (energy (0, 2000), 0);
	EXPECT_GT (energy (24000, 25000), 4 * energy (23000, 24000));

	const std::string score = write ("score.json", R"({"seconds": 2, "params": {"ir.instrument": 5}})");
	const CommandResult both = render ("--score " + shellQuote (score) + " --midi " + shellQuote (midi) + " --out " +
	                                   shellQuote ((dir / "both.wav").string ()));
	ASSERT_EQ (both.exitCode, 0) << both.err;
	readWav ((dir / "both.wav").string (), info);
	EXPECT_EQ (info.frames, 96000);

	const std::string broken = write ("broken.mid", "MThd nonsense");
	const CommandResult bad =
		render ("--midi " + shellQuote (broken) + " --out " + shellQuote ((dir / "x.wav").string ()));
	EXPECT_EQ (bad.exitCode, 1);
	EXPECT_NE (bad.err.find ("not a readable Standard MIDI File"), std::string::npos) << bad.err;

	// Broken tracks the MIDI library would stop the program on get the
	// same error line: a track cut before its End of Track event, one whose
	// chunk says it is shorter than its events, one running past the file.
	const std::string good = midiFile ();
	const std::string cut = good.substr (0, good.size () - 4);
	std::string shortChunk = good;
	shortChunk[21] = 4; // the track chunk's length
	std::string pastEnd = good;
	pastEnd[20] = 1;
	for (const std::string& bytes : {cut, shortChunk, pastEnd, good.substr (0, 14)})
	{
		const std::string file = write ("cut.mid", bytes);
		const std::string wav = (dir / "cut.wav").string ();
		const CommandResult refused = render ("--midi " + shellQuote (file) + " --out " + shellQuote (wav));
		EXPECT_EQ (refused.exitCode, 1) << refused.err;
		EXPECT_NE (refused.err.find ("not a readable Standard MIDI File ("), std::string::npos) << refused.err;
		EXPECT_FALSE (std::filesystem::exists (wav));
	}
}

} // namespace

namespace {

// A sound kept as a state file: the state saved after one render brings the
// next render to the same sound without the score saying so.
TEST_F (RenderTool, SavedStatesKeepAndShareASound)
{
	const std::string shaped = write ("shaped.json", R"({"sampleRate": 48000, "blockSize": 256, "frames": 24000,
	  "params": {"ir.instrument": "Daluo", "mallet.type": "Metal", "bloom.amount": 0.2, "tuning.baseFreq": 180},
	  "events": [{"frame": 0, "type": "noteOn", "note": 50, "velocity": 0.9}]})");
	const std::string plain = write ("plain.json", R"({"sampleRate": 48000, "blockSize": 256, "frames": 24000,
	  "events": [{"frame": 0, "type": "noteOn", "note": 50, "velocity": 0.9}]})");
	const std::string state = (dir / "sound.json").string ();

	ASSERT_EQ (render ("--score " + shellQuote (shaped) + " --out " + shellQuote ((dir / "a.wav").string ()) +
	                   " --save-state " + shellQuote (state))
	               .exitCode,
	           0);
	const std::string saved = readBytes (state);
	ASSERT_EQ (saved.rfind ("{\"params\":{\"ir.instrument\":2,", 0), 0u) << saved;
	ASSERT_EQ (render ("--score " + shellQuote (plain) + " --state " + shellQuote (state) + " --out " +
	                   shellQuote ((dir / "b.wav").string ()))
	               .exitCode,
	           0);
	ASSERT_EQ (render ("--score " + shellQuote (plain) + " --out " + shellQuote ((dir / "c.wav").string ())).exitCode,
	           0);
	SF_INFO info;
	const std::vector<float> a = readWav ((dir / "a.wav").string (), info);
	ASSERT_FALSE (a.empty ());
	EXPECT_EQ (a, readWav ((dir / "b.wav").string (), info));
	EXPECT_NE (a, readWav ((dir / "c.wav").string (), info));

	// A state restored and saved again is the same file.
	ASSERT_EQ (render ("--score " + shellQuote (plain) + " --state " + shellQuote (state) + " --out " +
	                   shellQuote ((dir / "d.wav").string ()) + " --save-state " +
	                   shellQuote ((dir / "again.json").string ()))
	               .exitCode,
	           0);
	EXPECT_EQ (readBytes ((dir / "again.json").string ()), saved);
}

TEST_F (RenderTool, AStateThatDoesNotParseRendersNothing)
{
	const std::string score = write ("score.json", R"({"frames": 4800, "events": []})");
	const struct
	{
		const char* text;
		const char* message;
	} cases[] = {
		{"{\"params\":{\"ir.size\":0.5", "bad.json: state: not valid JSON (at byte 24)"},
		{"[1,2]", "bad.json: state: expected a JSON object"},
		{"{\"params\":null}", "bad.json: state: the plug-in refused it (not a state document of Zorv)"},
	};
	for (const auto& c : cases)
	{
		const std::string bad = write ("bad.json", c.text);
		const std::string out = (dir / "out.wav").string ();
		const CommandResult r = render ("--score " + shellQuote (score) + " --state " + shellQuote (bad) + " --out " +
		                                shellQuote (out) + " --save-state " + shellQuote ((dir / "s.json").string ()));
		EXPECT_EQ (r.exitCode, 1) << c.text;
		EXPECT_EQ (r.err, "zorv-render: " + dir.string () + "/" + c.message + "\n") << c.text;
		EXPECT_EQ (files (), (std::vector<std::string> {"bad.json", "score.json"})) << c.text;
	}
	const CommandResult missing =
		render ("--score " + shellQuote (score) + " --state " + shellQuote ((dir / "none.json").string ()) + " --out " +
	            shellQuote ((dir / "out.wav").string ()));
	EXPECT_EQ (missing.exitCode, 1);
	EXPECT_EQ (missing.err, "zorv-render: " + (dir / "none.json").string () + ": cannot read the file\n");
}

} // namespace

namespace {

// A factory preset chosen by the render tool goes through the controller's
// program change and the host's edits, and sounds exactly like a score that
// names all of its values.
TEST_F (RenderTool, PresetsPlayThroughTheControllerAsInAHost)
{
	const std::string notes = R"("events": [{"frame": 0, "type": "noteOn", "note": 48, "velocity": 0.9}]})";
	const std::string plain =
		write ("plain.json", R"({"sampleRate": 48000, "blockSize": 256, "frames": 48000, )" + notes);
	std::string values;
	const tavik::tavik_factory_preset& tableGong = tavik::TAVIK_FACTORY_PRESETS[7];
	for (uint32_t id = 0; id < tavik::TAVIK_PARAM_COUNT; ++id)
	{
		char number[40];
		std::snprintf (number, sizeof number, "%.17g",
		               tavik::tavik_param_plain (&tavik::TAVIK_PARAMS[id], tableGong.values[id]));
		values += std::string (id ? ", \"" : "\"") + tavik::TAVIK_PARAMS[id].path + "\": " + number;
	}
	const std::string spelled =
		write ("spelled.json",
	           R"({"sampleRate": 48000, "blockSize": 256, "frames": 48000, "params": {)" + values + "}, " + notes);

	const std::string state = (dir / "state.json").string ();
	ASSERT_EQ (render ("--score " + shellQuote (plain) + " --preset factory-8 --out " +
	                   shellQuote ((dir / "preset.wav").string ()) + " --save-state " + shellQuote (state))
	               .exitCode,
	           0);
	ASSERT_EQ (render ("--score " + shellQuote (plain) + " --preset 'Table Gong' --out " +
	                   shellQuote ((dir / "named.wav").string ()))
	               .exitCode,
	           0);
	ASSERT_EQ (
		render ("--score " + shellQuote (spelled) + " --out " + shellQuote ((dir / "spelled.wav").string ())).exitCode,
		0);
	ASSERT_EQ (
		render ("--score " + shellQuote (plain) + " --out " + shellQuote ((dir / "default.wav").string ())).exitCode,
		0);
	SF_INFO info;
	const std::vector<float> preset = readWav ((dir / "preset.wav").string (), info);
	ASSERT_FALSE (preset.empty ());
	EXPECT_EQ (preset, readWav ((dir / "named.wav").string (), info));
	EXPECT_EQ (preset, readWav ((dir / "spelled.wav").string (), info));
	EXPECT_NE (preset, readWav ((dir / "default.wav").string (), info));
	EXPECT_NE (readBytes (state).find ("\"ir.instrument\":5,"), std::string::npos); // a Symphonic gong

	const CommandResult list = render ("--list-presets");
	EXPECT_EQ (list.exitCode, 0);
	EXPECT_EQ (list.out.rfind ("0\tfactory-1\tTam-Tam Yarn\n1\tfactory-2\t", 0), 0u);
	const CommandResult unknown =
		render ("--score " + shellQuote (plain) + " --preset nope --out " + shellQuote ((dir / "x.wav").string ()));
	EXPECT_EQ (unknown.exitCode, 1);
	EXPECT_EQ (unknown.err, "zorv-render: --preset: no program 'nope' (--list-presets shows them)\n");
	EXPECT_FALSE (fs::exists (dir / "x.wav"));
}

// A preset saved from the editor is a standard preset file: a fresh
// instance that loads it the way a host does holds the same state bytes
// and plays the same sound; files that are no such preset are refused by
// name with nothing rendered.
TEST_F (RenderTool, PresetFilesSavedInTheEditorPlayInAFreshInstance)
{
	const std::string home = (dir / "home").string ();
	const std::string heard = (dir / "heard.wav").string ();
	const std::string script =
		write ("script.txt", "{\"type\":\"tavik.ready\"}\n"
	                         "{\"type\":\"tavik.setParam\",\"path\":\"ir.instrument\",\"value\":4}\n"
	                         "{\"type\":\"tavik.setParam\",\"path\":\"amp.decay\",\"value\":3.3}\n"
	                         "{\"type\":\"tavik.savePreset\",\"name\":\"Round Trip\"}\n"
	                         "{\"zorv\":\"render\",\"seconds\":1,\"out\":\"" +
	                             heard + "\",\"note\":45,\"velocity\":0.8}\n");
	const CommandResult session =
		tavik::test::runCommand ("HOME=" + shellQuote (home) + " " + ZORV_RENDER_PATH + " --plugin " +
	                             shellQuote (ZORV_BUNDLE_PATH) + " --bridge < " + shellQuote (script));
	ASSERT_EQ (session.exitCode, 0) << session.err;
	EXPECT_NE (session.out.find ("\"action\":\"save\",\"ok\":true"), std::string::npos) << session.out;
	const std::string file = home + "/.vst3/presets/Tavik Music/Zorv/Round Trip.vstpreset";
	const std::string bytes = readBytes (file);
	tavik::PresetFileStates states;
	std::string error;
	ASSERT_TRUE (tavik::readPresetFile (bytes, states, error)) << error;

	const std::string plain = write ("plain.json", R"({"sampleRate": 48000, "blockSize": 512, "frames": 48000,
	  "events": [{"frame": 0, "type": "noteOn", "note": 45, "velocity": 0.8}]})");
	const std::string state = (dir / "state.json").string ();
	const CommandResult fresh =
		render ("--score " + shellQuote (plain) + " --preset " + shellQuote (file) + " --out " +
	            shellQuote ((dir / "preset.wav").string ()) + " --save-state " + shellQuote (state));
	ASSERT_EQ (fresh.exitCode, 0) << fresh.err;
	EXPECT_EQ (readBytes (state), states.component);
	SF_INFO info;
	const std::vector<float> preset = readWav ((dir / "preset.wav").string (), info);
	ASSERT_FALSE (preset.empty ());
	EXPECT_EQ (preset, readWav (heard, info));

	const struct
	{
		const char* name;
		std::string bytes;
		const char* says;
	} refused[] = {
		{"cut.vstpreset", bytes.substr (0, bytes.size () - 7), "not a VST 3 preset file, or cut short"},
		{"empty.vstpreset", "", "not a VST 3 preset file, or cut short"},
		{"foreign.vstpreset", std::string (bytes).replace (8, 8, "0123ABCD"), "it belongs to another plug-in"},
	};
	for (const auto& r : refused)
	{
		const std::string out = (dir / "refused.wav").string ();
		const CommandResult result = render ("--score " + shellQuote (plain) + " --preset " +
		                                     shellQuote (write (r.name, r.bytes)) + " --out " + shellQuote (out));
		EXPECT_EQ (result.exitCode, 1) << r.name;
		EXPECT_NE (result.err.find (r.says), std::string::npos) << r.name << ": " << result.err;
		EXPECT_FALSE (fs::exists (out)) << r.name;
	}
	const std::string huge = write ("huge.vstpreset", "");
	fs::resize_file (huge, 65 << 20);
	const CommandResult tooLarge = render ("--score " + shellQuote (plain) + " --preset " + shellQuote (huge) +
	                                       " --out " + shellQuote ((dir / "huge.wav").string ()));
	EXPECT_EQ (tooLarge.exitCode, 1);
	EXPECT_NE (tooLarge.err.find ("too large to be a preset"), std::string::npos) << tooLarge.err;
}

} // namespace

namespace {

// A script drives the real controller over the bridge: it gets the hello,
// sets a parameter as the editor would, and hears it.
TEST_F (RenderTool, TheBridgeModeLetsAScriptSetAParameterAndHearIt)
{
	const std::string heard = (dir / "heard.wav").string ();
	const std::string script =
		write ("script.txt", "{\"type\":\"tavik.ready\"}\n"
	                         "{\"type\":\"tavik.setParam\",\"path\":\"ir.instrument\",\"value\":5}\n"
	                         "{\"zorv\":\"tick\"}\n"
	                         "{\"zorv\":\"render\",\"seconds\":1,\"out\":\"" +
	                             heard +
	                             "\",\"note\":48,\"velocity\":0.8}\n"
	                             "{\"type\":\"tavik.ready\"\n"
	                             "{\"zorv\":\"quit\"}\n"
	                             "{\"type\":\"tavik.ready\"}\n");
	const CommandResult session = render ("--bridge < " + shellQuote (script));
	ASSERT_EQ (session.exitCode, 0) << session.err;
	EXPECT_EQ (session.out.rfind ("{\"type\":\"tavik.hello\",\"plugin\":{\"id\":\"music.tavik.zorv\"", 0), 0u);
	EXPECT_NE (session.out.find ("\n{\"zorv\":\"rendered\",\"out\":\"" + heard + "\",\"frames\":48000}\n"),
	           std::string::npos);
	EXPECT_EQ (session.out.find ("tavik.hello", 20), std::string::npos); // nothing after "quit"
	EXPECT_EQ (session.err, "tavik-plugin-shell: malformed bridge message (21 bytes)\n");

	const std::string score = write ("score.json", R"({"sampleRate": 48000, "blockSize": 512, "frames": 48000,
	  "params": {"ir.instrument": 5},
	  "events": [{"frame": 0, "type": "noteOn", "note": 48, "velocity": 0.8}]})");
	ASSERT_EQ (
		render ("--score " + shellQuote (score) + " --out " + shellQuote ((dir / "score.wav").string ())).exitCode, 0);
	SF_INFO info;
	const std::vector<float> bridged = readWav (heard, info);
	ASSERT_FALSE (bridged.empty ());
	EXPECT_EQ (bridged, readWav ((dir / "score.wav").string (), info));

	const std::string plain = (dir / "plain.wav").string ();
	const std::string untouched = write ("untouched.txt", "{\"zorv\":\"render\",\"seconds\":1,\"out\":\"" + plain +
	                                                          "\",\"note\":48,\"velocity\":0.8}\n");
	ASSERT_EQ (render ("--bridge < " + shellQuote (untouched)).exitCode, 0);
	EXPECT_NE (bridged, readWav (plain, info));
}

} // namespace

namespace {

// A type-0 file at 120 bpm, 480 ticks per quarter (50 frames a tick at
// 48 kHz): a note at 0, then CC 1 on channel 1 swept from 127 down to 1 in
// steps of 2, one message every 15 ticks (750 frames).
std::string sweepMidiFile (int controller)
{
	std::string track = {0x00, '\xFF', 0x51, 0x03, 0x07, '\xA1', 0x20, 0x00, '\x90', 45, 100};
	for (int v = 127, i = 0; v >= 1; v -= 2, ++i)
		track += {static_cast<char> (i == 0 ? 0 : 15), '\xB0', static_cast<char> (controller), static_cast<char> (v)};
	track += {0x00, '\xFF', 0x2F, 0x00};
	std::string bytes = "MThd";
	bytes += std::string ({0, 0, 0, 6, 0, 0, 0, 1, 0x01, '\xE0'});
	bytes += "MTrk";
	for (const int shift : {24, 16, 8, 0})
		bytes += static_cast<char> (track.size () >> shift);
	return bytes + track;
}

// The sweep's messages as score events: "cc" events, or the parameter
// changes a host makes of them (value / 127 of master.level, whose plain
// range is 0..1).
// The master level swept down from 127 to 1 in steps of two: controller
// messages, or as parameter events the values `level` gives each position.
std::string sweepEvents (
	bool asParams, double (*level) (int) = [] (int v) { return v / 127.0; })
{
	char note[96];
	std::snprintf (note, sizeof note, R"([{"frame": 0, "type": "noteOn", "note": 45, "velocity": %.17g})", 100 / 127.0);
	std::string events = note;
	for (int v = 127, i = 0; v >= 1; v -= 2, ++i)
	{
		char event[160];
		if (asParams)
			std::snprintf (event, sizeof event,
			               R"(, {"frame": %d, "type": "param", "path": "master.level", "value": %.17g})", 750 * i,
			               level (v));
		else
			std::snprintf (event, sizeof event, R"(, {"frame": %d, "type": "cc", "cc": 1, "value": %d})", 750 * i, v);
		events += event;
	}
	return events + "]";
}

double energy (const std::vector<float>& samples, int from, int to)
{
	double sum = 0;
	for (int i = from; i < to; ++i)
		for (int c = 0; c < 2; ++c)
			sum += static_cast<double> (samples[static_cast<size_t> (2 * i + c)]) *
			       samples[static_cast<size_t> (2 * i + c)];
	return sum;
}

// A MIDI controller sweep plays as a host plays it: the controller's MIDI
// mapping (from the CC map) names the parameter, and each message becomes
// that parameter's change to value / 127 at the message's frame.
TEST_F (RenderTool, AMappedControllerSweepChangesTheSound)
{
	const std::string midi = write ("sweep.mid", sweepMidiFile (1));
	const std::string mapped = write ("mapped.json", R"({"seconds": 1.5,
	  "ccMap": {"version": 1, "bindings": [{"cc": 1, "path": "master.level"}]}})");
	const std::string unmapped = write ("unmapped.json", R"({"seconds": 1.5})");
	const std::string state = (dir / "state.json").string ();
	auto out = [&] (const char* name) { return (dir / name).string (); };

	const CommandResult swept = render ("--midi " + shellQuote (midi) + " --score " + shellQuote (mapped) + " --out " +
	                                    shellQuote (out ("swept.wav")) + " --save-state " + shellQuote (state));
	ASSERT_EQ (swept.exitCode, 0) << swept.err;
	EXPECT_EQ (swept.err, "");
	const CommandResult plain = render ("--midi " + shellQuote (midi) + " --score " + shellQuote (unmapped) +
	                                    " --out " + shellQuote (out ("plain.wav")));
	ASSERT_EQ (plain.exitCode, 0) << plain.err;
	EXPECT_EQ (plain.err, "zorv-render: CC 1 on MIDI channel 1 drives no parameter: 64 messages left out\n");

	SF_INFO info;
	const std::vector<float> sweep = readWav (out ("swept.wav"), info);
	const std::vector<float> steady = readWav (out ("plain.wav"), info);
	ASSERT_EQ (sweep.size (), steady.size ());
	ASSERT_EQ (info.frames, 72000);
	// Level 1 at first (the plain render keeps the default 0.8), then the
	// sweep fades the gong to 1/127 by frame 47250 while the plain render
	// rings on.
	EXPECT_NEAR (energy (sweep, 0, 700) / energy (steady, 0, 700), 1 / (0.8 * 0.8), 0.01);
	EXPECT_LT (energy (sweep, 48000, 72000), energy (steady, 48000, 72000) / (0.8 * 0.8 * 127 * 127) * 1.01);
	EXPECT_GT (energy (steady, 48000, 72000), 0);
	const double middle = energy (sweep, 23000, 24000) / energy (steady, 23000, 24000);
	EXPECT_GT (middle, 0.2);
	EXPECT_LT (middle, 0.5); // about (65/127 / 0.8)^2

	// Exactly the host's parameter changes, the score's "cc" events, and
	// the CC map carried by a saved state.
	const std::string params = write ("params.json", R"({"seconds": 1.5, "events": )" + sweepEvents (true) + "}");
	const std::string ccs = write ("ccs.json", R"({"seconds": 1.5, "ccMap": [{"cc": 1, "path": "master.level"}],
	  "events": )" + sweepEvents (false) + "}");
	ASSERT_EQ (render ("--score " + shellQuote (params) + " --out " + shellQuote (out ("params.wav"))).exitCode, 0);
	ASSERT_EQ (render ("--score " + shellQuote (ccs) + " --out " + shellQuote (out ("ccs.wav"))).exitCode, 0);
	ASSERT_NE (readBytes (state).find ("\"ccMap\":{\"version\":1,\"bindings\":[{\"cc\":1,\"path\":\"master.level\"}]}"),
	           std::string::npos);
	ASSERT_EQ (render ("--midi " + shellQuote (midi) + " --score " + shellQuote (unmapped) + " --state " +
	                   shellQuote (state) + " --out " + shellQuote (out ("restored.wav")))
	               .exitCode,
	           0);
	const std::string bytes = readBytes (out ("swept.wav"));
	EXPECT_TRUE (readBytes (out ("params.wav")) == bytes);
	EXPECT_TRUE (readBytes (out ("ccs.wav")) == bytes);
	EXPECT_TRUE (readBytes (out ("restored.wav")) == bytes);

	// Through an S-curve the sweep sounds otherwise, and exactly as the
	// curve's values sent as automation.
	const std::string curved = write ("curved.json", R"({"seconds": 1.5,
	  "ccMap": [{"cc": 1, "path": "master.level", "curve": "s-curve"}], "events": )" +
	                                                     sweepEvents (false) + "}");
	const std::string curveParams =
		write ("curve_params.json", R"({"seconds": 1.5, "events": )" + sweepEvents (true, [] (int v) {
										tavik::CcBinding b {};
										b.curve = tavik::CC_CURVE_S;
										return tavik::ccApplyNormalized (b, tavik::TAVIK_PARAMS[17], v);
									}) + "}");
	ASSERT_EQ (render ("--score " + shellQuote (curved) + " --out " + shellQuote (out ("curved.wav"))).exitCode, 0);
	ASSERT_EQ (
		render ("--score " + shellQuote (curveParams) + " --out " + shellQuote (out ("curve_params.wav"))).exitCode, 0);
	const std::string curvedBytes = readBytes (out ("curved.wav"));
	EXPECT_FALSE (curvedBytes == bytes);
	EXPECT_TRUE (readBytes (out ("curve_params.wav")) == curvedBytes);
	const std::vector<float> sCurve = readWav (out ("curved.wav"), info);
	// Positions 67 and then 65 of 127: the S-curve sits a little above the
	// line there.
	const auto above = [] (int v) {
		const double x = v / 127.0;
		return std::pow (x * (3 - 2 * x), 2);
	};
	const double ratio = energy (sCurve, 23000, 24000) / energy (sweep, 23000, 24000);
	EXPECT_GT (ratio, above (65) * 0.999);
	EXPECT_LT (ratio, above (67) * 1.001);

	// Another controller, or the same one on another channel than the
	// binding's, leaves the sound alone.
	const std::string other = write ("other.mid", sweepMidiFile (2));
	const std::string onThree = write ("three.json", R"({"seconds": 1.5,
	  "ccMap": [{"cc": 1, "path": "master.level", "channel": 3}]})");
	ASSERT_EQ (render ("--midi " + shellQuote (other) + " --score " + shellQuote (mapped) + " --out " +
	                   shellQuote (out ("other.wav")))
	               .exitCode,
	           0);
	ASSERT_EQ (render ("--midi " + shellQuote (midi) + " --score " + shellQuote (onThree) + " --out " +
	                   shellQuote (out ("three.wav")))
	               .exitCode,
	           0);
	EXPECT_TRUE (readBytes (out ("other.wav")) == readBytes (out ("plain.wav")));
	EXPECT_TRUE (readBytes (out ("three.wav")) == readBytes (out ("plain.wav")));
}

TEST_F (RenderTool, BadControllerEventsAndCcMapsNameTheField)
{
	const struct
	{
		const char* score;
		const char* message;
	} cases[] = {
		{R"({"frames": 100, "events": [{"frame": 1, "type": "cc", "value": 3}]})", "score: events[0]: missing \"cc\""},
		{R"({"frames": 100, "events": [{"frame": 1, "type": "cc", "cc": 1}]})", "score: events[0]: missing \"value\""},
		{R"({"frames": 100, "events": [{"frame": 1, "type": "cc", "cc": 128, "value": 3}]})",
	     "score: events[0].cc: expected an integer 0..127"},
		{R"({"frames": 100, "events": [{"frame": 1, "type": "cc", "cc": 1, "value": 0.5}]})",
	     "score: events[0].value: expected a controller value, an integer 0..127"},
		{R"({"frames": 100, "events": [{"frame": 1, "type": "noteOn", "note": 60, "cc": 1}]})",
	     "score: events[0]: only a cc event takes \"cc\""},
		{R"({"frames": 100, "ccMap": 3})", "score: ccMap: expected a CC map"},
		{R"({"frames": 100, "ccMap": {"version": 1}})", "score: ccMap: missing \"bindings\""},
		{R"({"frames": 100, "ccMap": [{"cc": 1, "path": "master.loudness"}]})",
	     "score: ccMap[0].path: no parameter named \"master.loudness\""},
		{R"({"frames": 100, "ccMap": {"bindings": [{"cc": 1, "path": "master.level"}, {"path": "ir.size"}]}})",
	     "score: ccMap.bindings[1]: missing \"cc\""},
		{R"({"frames": 100, "ccMap": [{"cc": 1, "path": "ir.size", "takeover": "pick-up"}]})",
	     "score: ccMap[0].takeover: expected one of \"immediate\", \"pickup\", \"scaled\""},
	};
	for (const auto& c : cases)
	{
		const std::string score = write ("bad.json", c.score);
		const CommandResult run =
			render ("--score " + shellQuote (score) + " --out " + shellQuote ((dir / "bad.wav").string ()));
		EXPECT_EQ (run.exitCode, 1) << c.score;
		EXPECT_NE (run.err.find (c.message), std::string::npos) << c.score << "\n" << run.err;
		EXPECT_EQ (files (), std::vector<std::string> {"bad.json"}) << c.score;
	}
}

} // namespace
