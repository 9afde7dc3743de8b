// The inspection tool run on the built bundle and on broken inputs.

#include "json_tree.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using tavik::JsonValue;

using tavik::test::CommandResult;

CommandResult runInspect (const std::string& args)
{
	return tavik::test::runCommand (std::string (VST3_INSPECT_PATH) + " " + args);
}

const JsonValue& member (const JsonValue& v, const char* key)
{
	static const JsonValue missing;
	const JsonValue* m = v.find (key);
	EXPECT_NE (m, nullptr) << key;
	return m ? *m : missing;
}

TEST (InspectTool, ReportsZorvAsAHostSeesIt)
{
	const CommandResult run = runInspect (std::string ("'") + ZORV_BUNDLE_PATH + "'");
	ASSERT_EQ (run.exitCode, 0) << run.err;
	EXPECT_EQ (run.err, "");
	JsonValue report;
	ASSERT_TRUE (tavik::parseJsonDocument (run.out.data (), run.out.size (), report)) << run.out;

	EXPECT_EQ (member (member (report, "factory"), "vendor").string, "Tavik Music");
	const JsonValue& classes = member (report, "classes");
	ASSERT_EQ (classes.items.size (), 2u);
	EXPECT_EQ (member (classes.items[0], "name").string, "Zorv");
	EXPECT_EQ (member (classes.items[0], "subCategories").string, "Instrument|Synth");
	EXPECT_EQ (member (classes.items[1], "name").string, "Zorv Controller");
	EXPECT_EQ (member (classes.items[1], "sdkVersion").string, "VST 3.8.1");

	const JsonValue& components = member (report, "components");
	ASSERT_EQ (components.items.size (), 1u);
	const JsonValue& zorv = components.items[0];
	EXPECT_EQ (member (zorv, "controllerClassId").string, member (classes.items[1], "cid").string);
	const JsonValue& outputs = member (member (zorv, "buses"), "audioOutputs");
	ASSERT_EQ (outputs.items.size (), 1u);
	EXPECT_EQ (member (outputs.items[0], "name").string, "Stereo Out");
	EXPECT_EQ (member (outputs.items[0], "channels").number, 2);
	EXPECT_FALSE (member (zorv, "canProcess64").boolean);

	const JsonValue& controller = member (zorv, "controller");
	// The product's 26, the program change and the 16 × 130 hidden
	// parameters of the MIDI mapping.
	EXPECT_EQ (member (controller, "parameterCount").number, 27 + 16 * 130);
	const JsonValue& params = member (controller, "parameters");
	ASSERT_EQ (params.items.size (), 27u + 16 * 130);
	EXPECT_EQ (member (params.items[27], "title").string, "MIDI Ch 1 CC 0");
	EXPECT_EQ (member (params.items[0], "defaultText").string, "Tam-Tam");
	EXPECT_EQ (member (params.items[16], "title").string, "Base Pitch");
	EXPECT_EQ (member (params.items[16], "units").string, "Hz");
	EXPECT_EQ (member (params.items[16], "defaultText").string, "110");
	EXPECT_EQ (member (params.items[25], "defaultNormalized").number, 0.8484848484848485);
	EXPECT_EQ (member (params.items[26], "id").number, 1057030145);
	const JsonValue& lists = member (controller, "programLists");
	ASSERT_EQ (lists.items.size (), 1u);
	const JsonValue& programs = member (lists.items[0], "programs");
	ASSERT_EQ (programs.items.size (), 10u);
	EXPECT_EQ (programs.items[9].string, "Metal Beater Clang");
}

TEST (InspectTool, CompactOutputIsOneLine)
{
	const CommandResult run = runInspect (std::string ("--compact '") + ZORV_BUNDLE_PATH + "'");
	ASSERT_EQ (run.exitCode, 0);
	EXPECT_EQ (run.out.find ('\n'), run.out.size () - 1);
}

TEST (InspectTool, FailuresGiveOneLineAndNonZeroExit)
{
	const auto expectFailure = [] (const std::string& args, const std::string& fragment) {
		const CommandResult run = runInspect (args);
		EXPECT_NE (run.exitCode, 0) << args;
		EXPECT_EQ (run.out, "") << args;
		ASSERT_FALSE (run.err.empty ()) << args;
		EXPECT_EQ (run.err.find ('\n'), run.err.size () - 1) << run.err;
		EXPECT_EQ (run.err.rfind ("vst3-inspect: ", 0), 0u) << run.err;
		EXPECT_NE (run.err.find (fragment), std::string::npos) << run.err;
	};
	const std::string tmp = testing::TempDir () + "inspect_" + std::to_string (getpid ()) + "/";
	expectFailure ("/nonexistent/Missing.vst3", "no such bundle");
	std::filesystem::create_directories (tmp + "Empty.vst3/Contents");
	expectFailure (tmp + "Empty.vst3", "not a VST 3 bundle");
	{
		std::ofstream junk (tmp + "junk.so");
		junk << "not an ELF file";
	}
	expectFailure (tmp + "junk.so", "cannot load");
	expectFailure (std::string (FIXTURE_DIR) + "/fixture_no_entry.so", "missing entry point ModuleEntry");
	expectFailure (std::string (FIXTURE_DIR) + "/fixture_null_factory.so", "returned no factory");
	expectFailure ("", "no bundle given");
	expectFailure ("--bogus", "unexpected argument");
	std::filesystem::remove_all (tmp);
}

} // namespace
