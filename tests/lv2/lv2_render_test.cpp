// One sound: the same score played through the VST 3 build (zorv-render,
// holding the score at MIDI resolution) and the LV2 build (zorv-lv2-render)
// writes the same WAV file, byte for byte.

#include "lv2_test_host.h"
#include "run_command.h"
#include "temp_directory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

using tavik::test::CommandResult;
using tavik::test::runCommand;
using tavik::test::shellQuote;

std::string readBytes (const std::string& path)
{
	std::ifstream in (path, std::ios::binary);
	return std::string (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char> ());
}

TEST (Lv2RenderTool, EveryScoreSoundsTheSameThroughBothBuilds)
{
	tavik::test::useBuildBundle ();
	tavik::test::TempDirectory dir;
	struct Case
	{
		const char* score;
		const char* flags;
	};
	// The scores' own rate and block (parameter changes inside blocks, which
	// the LV2 host plays by splitting them), and another rate and block.
	const Case cases[] = {{"demo", ""},
	                      {"cc_sweep", ""},
	                      {"cc_options", ""},
	                      {"demo", " --rate 44100 --block 100"},
	                      {"cc_sweep", " --rate 96000 --block 333"}};
	for (const Case& c : cases)
	{
		SCOPED_TRACE (std::string (c.score) + c.flags);
		const std::string score = std::string (ZORV_TEST_SOURCE_DIR) + "/../tools/scores/" + c.score + ".json";
		const std::string vst = dir.path ("vst3.wav"), lv2 = dir.path ("lv2.wav");
		const CommandResult a =
			runCommand (std::string (ZORV_RENDER_PATH) + " --plugin " + shellQuote (ZORV_BUNDLE_PATH) +
		                " --midi-resolution --score " + shellQuote (score) + " --out " + shellQuote (vst) + c.flags);
		ASSERT_EQ (a.exitCode, 0) << a.err;
		const CommandResult b = runCommand (std::string (ZORV_LV2_RENDER_PATH) + " --score " + shellQuote (score) +
		                                    " --out " + shellQuote (lv2) + c.flags);
		ASSERT_EQ (b.exitCode, 0) << b.err;
		EXPECT_NE (b.out.find ("peak -"), std::string::npos) << b.out;
		const std::string vstBytes = readBytes (vst);
		ASSERT_GT (vstBytes.size (), 1000u);
		EXPECT_TRUE (readBytes (lv2) == vstBytes) << "the two builds' renders differ";
	}
}

TEST (Lv2RenderTool, RefusesWhatOnlyAVst3HostHasAndBadScores)
{
	tavik::test::useBuildBundle ();
	tavik::test::TempDirectory dir;
	const std::string out = dir.path ("x.wav");
	const CommandResult preset =
		runCommand (std::string (ZORV_LV2_RENDER_PATH) + " --preset factory-2 --out " + shellQuote (out));
	EXPECT_EQ (preset.exitCode, 2);
	EXPECT_NE (preset.err.find ("--preset is an option of zorv-render only"), std::string::npos) << preset.err;
	dir.write ("bad.json", R"({"seconds":1,"params":{"no.such":1}})");
	const CommandResult bad = runCommand (std::string (ZORV_LV2_RENDER_PATH) + " --score " +
	                                      shellQuote (dir.path ("bad.json")) + " --out " + shellQuote (out));
	EXPECT_EQ (bad.exitCode, 1);
	EXPECT_NE (bad.err.find ("params.no.such: no parameter named \"no.such\""), std::string::npos) << bad.err;
	std::ifstream left (out);
	EXPECT_FALSE (left.good ()) << "no file is left behind";
}

} // namespace
