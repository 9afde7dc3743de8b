// The bundle's moduleinfo.json: written at build time by the inspector from
// the built module, it must say what the module's factory says.

#include "json_text.h"
#include "json_tree.h"
#include "loaded_module.h"
#include "run_command.h"
#include "temp_directory.h"

#include "pluginterfaces/base/ipluginbase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace Steinberg;
using tavik::JsonValue;
using tavik::test::CommandResult;
using tavik::test::runCommand;
using tavik::test::shellQuote;

const std::string kModuleInfoPath = std::string (ZORV_BUNDLE_PATH) + "/Contents/Resources/moduleinfo.json";

std::string readFile (const std::string& path)
{
	std::ifstream in (path, std::ios::binary);
	return std::string (std::istreambuf_iterator<char> (in), {});
}

CommandResult runInspect (const std::string& args) { return runCommand (shellQuote (VST3_INSPECT_PATH) + " " + args); }

std::set<std::string> keysOf (const JsonValue& object)
{
	std::set<std::string> keys;
	for (const auto& entry : object.members)
		keys.insert (entry.first);
	return keys;
}

// The member `key` of `object`, which must be of `kind`.
const JsonValue& member (const JsonValue& object, const char* key, JsonValue::Kind kind)
{
	static const JsonValue missing;
	const JsonValue* m = object.find (key);
	EXPECT_NE (m, nullptr) << key;
	if (!m)
		return missing;
	EXPECT_EQ (m->kind, kind) << key;
	return *m;
}

const std::string& text (const JsonValue& object, const char* key)
{
	return member (object, key, JsonValue::Kind::String).string;
}

std::vector<std::string> strings (const JsonValue& array)
{
	std::vector<std::string> out;
	for (const JsonValue& item : array.items)
	{
		EXPECT_EQ (item.kind, JsonValue::Kind::String);
		out.push_back (item.string);
	}
	return out;
}

// The module is loaded in this process too, so the document is compared
// with what its factory answers now.
class ModuleInfoFile : public tavik::test::ZorvModule
{
};

TEST_F (ModuleInfoFile, SaysWhatTheFactoryReports)
{
	const std::string bytes = readFile (kModuleInfoPath);
	ASSERT_FALSE (bytes.empty ()) << kModuleInfoPath;
	JsonValue document;
	ASSERT_TRUE (tavik::parseJsonDocument (bytes.data (), bytes.size (), document)) << bytes;
	ASSERT_EQ (document.kind, JsonValue::Kind::Object);
	EXPECT_EQ (keysOf (document),
	           (std::set<std::string> {"Name", "Version", "Factory Info", "Compatibility", "Classes"}));

	PFactoryInfo factoryInfo {};
	ASSERT_EQ (factory->getFactoryInfo (&factoryInfo), kResultOk);
	FUnknownPtr<IPluginFactory2> factory2 (factory);
	ASSERT_TRUE (factory2);
	ASSERT_EQ (factory->countClasses (), 2);
	PClassInfo2 expected[2];
	for (int32 i = 0; i < 2; ++i)
		ASSERT_EQ (factory2->getClassInfo2 (i, &expected[i]), kResultOk);

	EXPECT_EQ (text (document, "Name"), "Zorv");
	EXPECT_EQ (text (document, "Version"), expected[0].version);

	const JsonValue& info = member (document, "Factory Info", JsonValue::Kind::Object);
	EXPECT_EQ (keysOf (info), (std::set<std::string> {"Vendor", "URL", "E-Mail", "Flags"}));
	EXPECT_EQ (text (info, "Vendor"), "Tavik Music");
	EXPECT_EQ (text (info, "URL"), factoryInfo.url);
	EXPECT_EQ (text (info, "E-Mail"), factoryInfo.email);
	const JsonValue& flags = member (info, "Flags", JsonValue::Kind::Object);
	EXPECT_EQ (keysOf (flags), (std::set<std::string> {"Unicode", "Classes Discardable", "Component Non Discardable"}));
	EXPECT_TRUE (member (flags, "Unicode", JsonValue::Kind::Boolean).boolean);
	EXPECT_FALSE (member (flags, "Classes Discardable", JsonValue::Kind::Boolean).boolean);
	EXPECT_FALSE (member (flags, "Component Non Discardable", JsonValue::Kind::Boolean).boolean);

	EXPECT_TRUE (member (document, "Compatibility", JsonValue::Kind::Array).items.empty ());

	const JsonValue& classes = member (document, "Classes", JsonValue::Kind::Array);
	ASSERT_EQ (classes.items.size (), 2u);
	const std::vector<std::vector<std::string>> subCategories = {{"Instrument", "Synth"}, {}};
	const char* const categories[] = {"Audio Module Class", "Component Controller Class"};
	for (size_t i = 0; i < 2; ++i)
	{
		SCOPED_TRACE (i);
		const JsonValue& c = classes.items[i];
		ASSERT_EQ (c.kind, JsonValue::Kind::Object);
		EXPECT_EQ (keysOf (c), (std::set<std::string> {"CID", "Category", "Name", "Vendor", "Version", "SDKVersion",
		                                               "Sub Categories", "Class Flags", "Cardinality", "Snapshots"}));
		const std::string& cid = text (c, "CID");
		EXPECT_EQ (cid, tavik::tools::classIdHex (expected[i].cid));
		EXPECT_EQ (cid.size (), 32u);
		EXPECT_EQ (cid.find_first_not_of ("0123456789ABCDEF"), std::string::npos) << cid;
		EXPECT_EQ (text (c, "Category"), categories[i]);
		EXPECT_EQ (text (c, "Category"), expected[i].category);
		EXPECT_EQ (text (c, "Name"), expected[i].name);
		// The classes name no vendor of their own: the factory's stands.
		EXPECT_EQ (text (c, "Vendor"), "Tavik Music");
		EXPECT_EQ (text (c, "Version"), expected[i].version);
		EXPECT_EQ (text (c, "SDKVersion"), "VST 3.8.1");
		EXPECT_EQ (strings (member (c, "Sub Categories", JsonValue::Kind::Array)), subCategories[i]);
		EXPECT_EQ (member (c, "Class Flags", JsonValue::Kind::Number).number, expected[i].classFlags);
		EXPECT_EQ (member (c, "Cardinality", JsonValue::Kind::Number).number, PClassInfo::kManyInstances);
		EXPECT_TRUE (member (c, "Snapshots", JsonValue::Kind::Array).items.empty ());
	}
	EXPECT_EQ (text (classes.items[0], "Name"), "Zorv");
	EXPECT_EQ (text (classes.items[1], "Name"), "Zorv Controller");
}

TEST (ModuleInfoTool, BundleHoldsWhatTheInspectorWritesForThisBuild)
{
	const CommandResult run = runInspect ("--moduleinfo " + shellQuote (ZORV_BUNDLE_PATH));
	ASSERT_EQ (run.exitCode, 0) << run.err;
	EXPECT_EQ (run.err, "");
	EXPECT_EQ (readFile (kModuleInfoPath), run.out);
	EXPECT_FALSE (std::filesystem::exists (kModuleInfoPath + ".part"));

	const CommandResult compact = runInspect ("--moduleinfo --compact " + shellQuote (ZORV_BUNDLE_PATH));
	ASSERT_EQ (compact.exitCode, 0) << compact.err;
	EXPECT_EQ (compact.out.find ('\n'), compact.out.size () - 1);
	JsonValue document;
	ASSERT_TRUE (tavik::parseJsonDocument (compact.out.data (), compact.out.size (), document)) << compact.out;
	EXPECT_EQ (member (document, "Classes", JsonValue::Kind::Array).items.size (), 2u);
}

TEST (ModuleInfoTool, ModulesItCannotDescribeGiveOneLineAndNonZeroExit)
{
	const auto expectFailure = [] (const std::string& module, const std::string& fragment) {
		const CommandResult run = runInspect ("--moduleinfo " + shellQuote (module));
		EXPECT_NE (run.exitCode, 0) << module;
		EXPECT_EQ (run.out, "") << module;
		ASSERT_FALSE (run.err.empty ()) << module;
		EXPECT_EQ (run.err.find ('\n'), run.err.size () - 1) << run.err;
		EXPECT_EQ (run.err.rfind ("vst3-inspect: ", 0), 0u) << run.err;
		EXPECT_NE (run.err.find (fragment), std::string::npos) << run.err;
	};
	const std::string fixtures = FIXTURE_DIR;
	expectFailure ("/nonexistent/Missing.vst3", "no such bundle");
	expectFailure (fixtures + "/fixture_no_entry.so", "missing entry point ModuleEntry");
	expectFailure (fixtures + "/fixture_null_factory.so", "returned no factory");
	expectFailure (fixtures + "/fixture_compatibility_class.so",
	               "class \"Fixture Compatibility\" is a Plugin Compatibility Class");

	// That module loads and lists its class: only the document is refused.
	const CommandResult listing = runInspect (shellQuote (fixtures + "/fixture_compatibility_class.so"));
	EXPECT_EQ (listing.exitCode, 0) << listing.err;
	EXPECT_NE (listing.out.find ("Fixture Compatibility"), std::string::npos) << listing.out;
}

CommandResult runBuildStep (const std::string& bundle, const std::string& output)
{
	return runCommand (shellQuote (CMAKE_EXECUTABLE_PATH) + " -DINSPECT=" + shellQuote (VST3_INSPECT_PATH) +
	                   " -DBUNDLE=" + shellQuote (bundle) + " -DOUTPUT=" + shellQuote (output) + " -P " +
	                   shellQuote (WRITE_MODULE_INFO_SCRIPT));
}

TEST (ModuleInfoBuildStep, WritesTheDocumentWhole)
{
	tavik::test::TempDirectory dir;
	const std::string output = dir.path ("Zorv.vst3/Contents/Resources/moduleinfo.json");
	const CommandResult run = runBuildStep (ZORV_BUNDLE_PATH, output);
	ASSERT_EQ (run.exitCode, 0) << run.out << run.err;
	EXPECT_EQ (readFile (output), readFile (kModuleInfoPath));
	EXPECT_FALSE (std::filesystem::exists (output + ".part"));
}

TEST (ModuleInfoBuildStep, FailedRunLeavesNoDocument)
{
	tavik::test::TempDirectory dir;
	const std::string output = dir.path ("Broken.vst3/Contents/Resources/moduleinfo.json");
	// A document of an earlier build would describe another module.
	dir.write ("Broken.vst3/Contents/Resources/moduleinfo.json", "{\"Name\": \"earlier build\"}");
	const CommandResult run = runBuildStep (std::string (FIXTURE_DIR) + "/fixture_null_factory.so", output);
	EXPECT_NE (run.exitCode, 0);
	EXPECT_NE ((run.out + run.err).find ("returned no factory"), std::string::npos) << run.out << run.err;
	EXPECT_FALSE (std::filesystem::exists (output));
	EXPECT_FALSE (std::filesystem::exists (output + ".part"));
}

} // namespace
