// zorv-render end to end: the built bundle played from scores and a MIDI file.

#include "factory_presets.h"
#include "parameter_table.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
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
