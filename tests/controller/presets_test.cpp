// Presets: the factory presets' tables; the musician's own presets (the
// names that may become file names, the folder they live in, the preset
// files) and what the controller does with each of the editor's preset
// messages and tells it about presets.

#include "controller_session.h"
#include "factory_presets.h"
#include "fake_controller_surface.h"
#include "scoped_variable.h"
#include "temp_directory.h"
#include "user_preset_folder.h"
#include "vst_preset_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <set>

namespace {

using namespace tavik;

double plainOf (int preset, const char* path)
{
	const tavik_param_desc* d = tavik_param_find_path (path);
	return tavik_param_plain (d, TAVIK_FACTORY_PRESETS[preset].values[d->id]);
}

TEST (FactoryPresets, IdsAndNamesInTableOrder)
{
	const char* names[] = {"Tam-Tam Yarn",    "Tam-Tam Rim Shimmer", "Wind Gong Splash", "Daluo Theater",
	                       "Xiaoluo Rising",  "Gong Ageng Wadon",    "Great Tam",        "Table Gong",
	                       "Symphonic Swell", "Metal Beater Clang"};
	for (int i = 0; i < 10; ++i)
	{
		EXPECT_EQ (std::string (TAVIK_FACTORY_PRESETS[i].id), "factory-" + std::to_string (i + 1));
		EXPECT_STREQ (TAVIK_FACTORY_PRESETS[i].name, names[i]);
		EXPECT_EQ (tavik_factory_preset_index (TAVIK_FACTORY_PRESETS[i].id), i);
	}
	EXPECT_EQ (TAVIK_FACTORY_PRESETS[0].values, tavik_factory_preset_0_normalized_values);
	EXPECT_EQ (TAVIK_FACTORY_PRESETS[9].values, tavik_factory_preset_9_normalized_values);
	for (const char* bad : {"factory-0", "factory-11", "Factory-1", "factory-1 ", ""})
		EXPECT_EQ (tavik_factory_preset_index (bad), -1) << bad;
	EXPECT_EQ (tavik_factory_preset_index (nullptr), -1);
}

// Dirty tracking compares with ==, so every stored value must be exactly the
// double the plain-to-normalized rule gives for the preset's plain value.
TEST (FactoryPresets, StoredValuesAreExactlyTheNormalizedPlainValues)
{
	for (const auto& preset : TAVIK_FACTORY_PRESETS)
	{
		for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
		{
			const tavik_param_desc& d = TAVIK_PARAMS[id];
			const double stored = preset.values[id];
			ASSERT_GE (stored, 0.0);
			ASSERT_LE (stored, 1.0);
			const double plain = tavik_param_plain (&d, stored);
			// The plain value has at most two decimals in the preset tables.
			const double tabled = std::round (plain * 100.0) / 100.0;
			EXPECT_EQ (stored, tavik_param_normalize (&d, tabled)) << preset.id << " " << d.path;
		}
	}
}

TEST (FactoryPresets, SpotChecksAgainstThePresetSheet)
{
	EXPECT_EQ (plainOf (7, "ir.instrument"), 5); // "Table Gong" is Symphonic
	EXPECT_EQ (plainOf (9, "mallet.type"), 3);   // "Metal Beater Clang": Metal
	EXPECT_EQ (plainOf (5, "ir.instrument"), 4);
	EXPECT_DOUBLE_EQ (plainOf (6, "tuning.baseFreq"), 72);
	EXPECT_DOUBLE_EQ (plainOf (4, "model.stiffness"), -0.32);
	EXPECT_DOUBLE_EQ (plainOf (2, "glide.time"), 0.42);
	EXPECT_DOUBLE_EQ (plainOf (3, "amp.decay"), 3.5);
	EXPECT_DOUBLE_EQ (plainOf (6, "ombak.rate"), 2);
	for (const auto& preset : TAVIK_FACTORY_PRESETS)
	{
		EXPECT_EQ (preset.values[24], 0.0) << preset.id;
		EXPECT_EQ (preset.values[25], 0.8484848484848485) << preset.id;
	}
}

TEST (FactoryPresets, PresetsDifferFromEachOther)
{
	std::set<std::vector<double>> distinct;
	for (const auto& preset : TAVIK_FACTORY_PRESETS)
		distinct.insert (std::vector<double> (preset.values, preset.values + TAVIK_PARAM_COUNT));
	EXPECT_EQ (distinct.size (), TAVIK_FACTORY_PRESET_COUNT);
}

} // namespace

namespace {

using namespace tavik;
using tavik::test::FakeControllerSurface;
using tavik::test::TempDirectory;

TEST (UserPresetNames, OnlyNamesThatAreSafeFileNamesPass)
{
	const struct
	{
		std::string given;
		const char* kept; // null: refused
	} cases[] = {
		{"My Bell", "My Bell"},
		{"  padded  ", "padded"},
		{"Gong R\xC3\xA9 \xE9\x90\x98", "Gong R\xC3\xA9 \xE9\x90\x98"}, // any language
		{std::string (100, 'a'), "exactly 100 bytes"},
		{"", nullptr},
		{"   ", nullptr},
		{std::string (101, 'a'), nullptr},
		{"caf\xC3", nullptr},      // cut short
		{"\xED\xA0\x80", nullptr}, // a surrogate
		{"\xC0\xAF", nullptr},     // an overlong '/'
		{"tab\there", nullptr},    // a control character
		{std::string ("nul\0x", 5), nullptr},
		{".hidden", nullptr},
		{"..", nullptr},
		{"a/b", nullptr},
		{"a\\b", nullptr},
		{"a:b", nullptr},
		{"what?", nullptr},
		{"star*", nullptr},
		{"\"quoted\"", nullptr},
		{"<>", nullptr},
		{"pipe|", nullptr},
	};
	for (const auto& c : cases)
	{
		std::string trimmed;
		std::string why;
		const bool ok = UserPresetFolder::checkName (c.given, trimmed, why);
		EXPECT_EQ (ok, c.kept != nullptr) << c.given << ": " << why;
		if (ok && c.given.size () != 100)
		{
			EXPECT_EQ (trimmed, c.kept);
		}
		if (!ok)
		{
			EXPECT_FALSE (why.empty ()) << c.given;
		}
	}
}

TEST (UserPresetFolder, WritesWholeFilesAndNeverReplacesUnasked)
{
	TempDirectory home;
	const UserPresetFolder folder (home.path ("presets/Tavik Music/Zorv"));
	bool exists = true;
	std::string error;
	ASSERT_TRUE (folder.write ("Bell", "first", false, exists, error)) << error; // makes the folder
	EXPECT_FALSE (exists);
	EXPECT_FALSE (folder.write ("Bell", "second", false, exists, error));
	EXPECT_TRUE (exists);
	std::string bytes;
	ASSERT_TRUE (folder.read ("Bell", 100, bytes, error));
	EXPECT_EQ (bytes, "first");
	ASSERT_TRUE (folder.write ("Bell", "second", true, exists, error)) << error;
	ASSERT_TRUE (folder.read ("Bell", 100, bytes, error));
	EXPECT_EQ (bytes, "second");
	EXPECT_FALSE (folder.read ("Bell", 3, bytes, error)); // over the limit
	EXPECT_TRUE (bytes.empty ());
	ASSERT_TRUE (folder.head ("Bell", 3, bytes, error));
	EXPECT_EQ (bytes, "sec");

	// What the listing leaves out: other files, hidden ones, folders, names
	// it would refuse, and the write's own temporary files.
	home.write ("presets/Tavik Music/Zorv/notes.txt", "x");
	home.write ("presets/Tavik Music/Zorv/.Hidden.vstpreset", "x");
	home.write ("presets/Tavik Music/Zorv/a:b.vstpreset", "x");
	home.write ("presets/Tavik Music/Zorv/.vstpreset", "x");
	std::filesystem::create_directories (home.path ("presets/Tavik Music/Zorv/Folder.vstpreset"));
	home.write ("presets/Tavik Music/Zorv/alto.vstpreset", "x");
	home.write ("presets/Tavik Music/Zorv/Zither.vstpreset", "x");
	EXPECT_EQ (folder.names (), (std::vector<std::string> {"alto", "Bell", "Zither"}));

	EXPECT_FALSE (folder.rename ("Bell", "Zither", exists, error));
	EXPECT_TRUE (exists);
	ASSERT_TRUE (folder.rename ("Bell", "BELL", exists, error)) << error; // a change of case only
	ASSERT_TRUE (folder.rename ("BELL", "Chime", exists, error)) << error;
	EXPECT_FALSE (folder.rename ("Bell", "Other", exists, error)); // gone
	EXPECT_FALSE (exists);
	EXPECT_TRUE (folder.remove ("Chime", error));
	EXPECT_FALSE (folder.remove ("Chime", error));
	EXPECT_EQ (folder.names (), (std::vector<std::string> {"alto", "Zither"}));

	const UserPresetFolder nowhere ("");
	EXPECT_FALSE (nowhere.write ("Bell", "x", false, exists, error));
	EXPECT_TRUE (nowhere.names ().empty ());
}

TEST (UserPresetFolder, LivesWhereLinuxHostsLookForUserPresets)
{
	{
		const tavik::test::ScopedVariable home ("HOME", "/home/player/");
		EXPECT_EQ (UserPresetFolder::standardLocation (), "/home/player/.vst3/presets/Tavik Music/Zorv");
	}
	const tavik::test::ScopedVariable relative ("HOME", "player"); // never the host's working directory
	const std::string fallback = UserPresetFolder::standardLocation ();
	EXPECT_TRUE (fallback.empty () || fallback[0] == '/') << fallback;
}

TEST (PresetFiles, KeepBothStatesAndRefuseWhatIsNotOurs)
{
	const std::string component = "{\"params\":{\"ir.size\":1.25}}";
	const std::string controller = "{\"preset\":{\"id\":\"user:Bell\",\"name\":\"Bell\"}}";
	const std::string file = writePresetFile (component, controller);
	ASSERT_GT (file.size (), PRESET_FILE_HEADER_BYTES);
	EXPECT_EQ (file.compare (0, 4, "VST3"), 0);
	PresetFileStates states;
	std::string error;
	ASSERT_TRUE (readPresetFile (file, states, error)) << error;
	EXPECT_EQ (states.component, component);
	EXPECT_EQ (states.controller, controller);
	EXPECT_TRUE (states.hasController);
	EXPECT_TRUE (presetFileHeaderIsOurs (file.substr (0, PRESET_FILE_HEADER_BYTES), error));

	// Cut short anywhere: refused with a reason, never read past the end.
	for (size_t length = 0; length < file.size (); ++length)
	{
		error.clear ();
		EXPECT_FALSE (readPresetFile (file.substr (0, length), states, error)) << length;
		EXPECT_FALSE (error.empty ()) << length;
	}
	// The class id is hexadecimal in either case, for the listing as for
	// the reader.
	std::string lower = file;
	for (size_t i = 8; i < 40; ++i)
		lower[i] = static_cast<char> (std::tolower (static_cast<unsigned char> (lower[i])));
	EXPECT_TRUE (readPresetFile (lower, states, error)) << error;
	EXPECT_TRUE (presetFileHeaderIsOurs (lower.substr (0, PRESET_FILE_HEADER_BYTES), error)) << error;
	std::string foreign = file;
	foreign[8] = foreign[8] == 'A' ? 'B' : 'A'; // another class id
	EXPECT_FALSE (readPresetFile (foreign, states, error));
	EXPECT_EQ (error, "the preset belongs to another plug-in");
	EXPECT_FALSE (presetFileHeaderIsOurs (foreign.substr (0, PRESET_FILE_HEADER_BYTES), error));
	EXPECT_FALSE (presetFileHeaderIsOurs ("VST3", error));

	// A chunk list that points outside the file.
	std::string damaged = file;
	const size_t list = damaged.rfind ("List");
	ASSERT_NE (list, std::string::npos);
	damaged[list + 8 + 4 + 6] = 0x7f; // the first entry's offset, far beyond the end
	EXPECT_FALSE (readPresetFile (damaged, states, error));
	EXPECT_NE (error.find ("damaged"), std::string::npos) << error;
	EXPECT_FALSE (readPresetFile (std::string (PRESET_FILE_MAX_BYTES + 1, 'V'), states, error));
	EXPECT_NE (error.find ("too large"), std::string::npos);
	EXPECT_FALSE (readPresetFile (std::string (4096, '\0'), states, error));
}

// The controller's preset messages and preset reports, over a recording
// host and a preset folder of the test's own.
class UserPresets : public ::testing::Test
{
protected:
	UserPresets ()
	{
		// No processor: saved presets take the controller's values.
		surface.connected = false;
		session.setClock ([this] { return now; });
		session.setUserPresetFolder (home.path ("Zorv"));
		session.setBridgeSink ([this] (const std::string& json) { editor.push_back (json); });
		session.initialized ("Tavik preset test");
	}

	void send (const std::string& json)
	{
		editor.clear ();
		surface.edits.clear ();
		session.handleBridgeMessage (json.data (), json.size ());
	}
	std::vector<std::string> of (const std::string& type) const
	{
		std::vector<std::string> found;
		for (const std::string& m : editor)
			if (m.rfind ("{\"type\":\"" + type + "\"", 0) == 0)
				found.push_back (m);
		return found;
	}
	std::string lastPresetState () const
	{
		const std::vector<std::string> states = of ("tavik.presetState");
		return states.empty () ? std::string () : states.back ();
	}

	TempDirectory home;
	FakeControllerSurface surface;
	ControllerSession session {surface};
	std::vector<std::string> editor;
	double now = 0;
};

TEST_F (UserPresets, EveryProgramChangeTellsTheEditorWhichPresetItIs)
{
	// The host's preset menu.
	session.parameterSet (TAVIK_FACTORY_PROGRAM_LIST_ID, 2.0 / 9);
	EXPECT_NE (lastPresetState ().find ("\"currentId\":\"factory-3\",\"currentName\":\"Wind Gong Splash\","
	                                    "\"dirty\":false"),
	           std::string::npos)
		<< lastPresetState ();
	EXPECT_NE (lastPresetState ().find ("\"origin\":\"host\""), std::string::npos);
	EXPECT_EQ (of ("tavik.presetState").size (), 1u); // one report for 26 values

	// An edit makes it dirty, once; going back makes it clean, once; a
	// host's float echo of the preset's own value changes nothing.
	editor.clear ();
	surface.values[1] = 0.9;
	session.parameterSet (1, 0.9);
	surface.values[1] = 0.95;
	session.parameterSet (1, 0.95);
	ASSERT_EQ (of ("tavik.presetState").size (), 1u);
	EXPECT_NE (lastPresetState ().find ("\"dirty\":true"), std::string::npos);
	EXPECT_NE (lastPresetState ().find ("\"origin\":\"edit\""), std::string::npos);
	const double preset = TAVIK_FACTORY_PRESETS[2].values[1];
	surface.values[1] = static_cast<float> (preset);
	session.parameterSet (1, surface.values[1]);
	EXPECT_EQ (of ("tavik.presetState").size (), 2u);
	EXPECT_NE (lastPresetState ().find ("\"dirty\":false"), std::string::npos);
	EXPECT_FALSE (session.presetDirty ());

	// The editor's own choice.
	send ("{\"type\":\"tavik.loadFactoryPreset\",\"id\":\"factory-8\"}");
	EXPECT_NE (lastPresetState ().find ("\"currentId\":\"factory-8\""), std::string::npos);
	EXPECT_NE (lastPresetState ().find ("\"origin\":\"editor\""), std::string::npos);

	// A restored state names no preset; the controller's chunk may.
	const std::string component = "{\"params\":{\"ir.size\":1.5}}";
	ASSERT_TRUE (session.restoreComponentState (component.data (), component.size ()));
	EXPECT_EQ (lastPresetState ().find ("currentId"), std::string::npos) << lastPresetState ();
	EXPECT_NE (lastPresetState ().find ("\"origin\":\"state\""), std::string::npos);
	const std::string edited = "{\"preset\":{\"id\":\"factory-8\",\"name\":\"stale name\",\"edited\":true}}";
	ASSERT_TRUE (session.restoreControllerState (edited.data (), edited.size ()));
	EXPECT_NE (lastPresetState ().find ("\"currentName\":\"Table Gong\",\"dirty\":true"), std::string::npos)
		<< lastPresetState ();
	const std::string user = "{\"preset\":{\"id\":\"user:Bell\",\"name\":\"Bell\"}}";
	ASSERT_TRUE (session.restoreControllerState (user.data (), user.size ()));
	EXPECT_NE (lastPresetState ().find ("\"currentId\":\"user:Bell\",\"currentName\":\"Bell\",\"dirty\":false"),
	           std::string::npos);
	EXPECT_EQ (session.writeControllerState (), user);
	const std::string userEdited = "{\"preset\":{\"id\":\"user:Bell\",\"name\":\"Bell\",\"edited\":true}}";
	ASSERT_TRUE (session.restoreControllerState (userEdited.data (), userEdited.size ()));
	EXPECT_TRUE (session.presetDirty ());
	EXPECT_EQ (session.writeControllerState (), userEdited);
	// A reference that cannot be used is left out, not the whole state.
	const std::string odd = "{\"preset\":{\"id\":7,\"name\":[1]},\"ccMap\":{\"version\":1,\"bindings\":[]}}";
	EXPECT_TRUE (session.restoreControllerState (odd.data (), odd.size ()));
	EXPECT_TRUE (session.presetDirty ()); // still the edited Bell
}

TEST_F (UserPresets, SaveListLoadRenameAndDelete)
{
	surface.values[0] = 0.6; // a Xiaoluo
	send ("{\"type\":\"tavik.savePreset\",\"name\":\"  Bell  \"}");
	ASSERT_EQ (of ("tavik.presetResult").size (), 1u);
	EXPECT_EQ (of ("tavik.presetResult")[0],
	           "{\"type\":\"tavik.presetResult\",\"action\":\"save\",\"ok\":true,"
	           "\"id\":\"user:Bell\",\"name\":\"Bell\",\"message\":\"Saved \\\"Bell\\\".\"}");
	ASSERT_EQ (of ("tavik.presetList").size (), 1u);
	EXPECT_NE (
		of ("tavik.presetList")[0].find ("\"presets\":[{\"id\":\"user:Bell\",\"name\":\"Bell\",\"usable\":true}]"),
		std::string::npos)
		<< of ("tavik.presetList")[0];
	EXPECT_NE (lastPresetState ().find ("\"currentId\":\"user:Bell\",\"currentName\":\"Bell\",\"dirty\":false"),
	           std::string::npos);

	send ("{\"type\":\"tavik.savePreset\",\"name\":\"Bell\"}");
	EXPECT_NE (of ("tavik.presetResult")[0].find ("\"ok\":false"), std::string::npos);
	EXPECT_NE (of ("tavik.presetResult")[0].find ("\"exists\":true"), std::string::npos);
	send ("{\"type\":\"tavik.savePreset\",\"name\":\"Bell\",\"overwrite\":true}");
	EXPECT_NE (of ("tavik.presetResult")[0].find ("\"ok\":true"), std::string::npos);
	send ("{\"type\":\"tavik.savePreset\",\"name\":\"a/b\"}");
	EXPECT_NE (of ("tavik.presetResult")[0].find ("\"ok\":false,\"message\":\"A preset name cannot hold"),
	           std::string::npos);

	// Another plug-in's file and a damaged one in the folder.
	home.write ("Zorv/Foreign.vstpreset", std::string ("VST3\1\0\0\0", 8) + std::string (40, 'F'));
	home.write ("Zorv/Broken.vstpreset", writePresetFile ("{\"params\":", "{}"));
	send ("{\"type\":\"tavik.listPresets\"}");
	const std::string list = of ("tavik.presetList").at (0);
	EXPECT_NE (
		list.find ("{\"id\":\"user:Foreign\",\"name\":\"Foreign\",\"usable\":false,\"problem\":\"a preset of another "
	               "plug-in\"}"),
		std::string::npos)
		<< list;
	EXPECT_LT (list.find ("user:Bell"), list.find ("user:Broken"));

	// Loading plays the preset through the host's edit protocol.
	surface.values[0] = 0;
	send ("{\"type\":\"tavik.loadPreset\",\"id\":\"user:Bell\"}");
	EXPECT_NE (of ("tavik.presetResult").at (0).find ("\"ok\":true"), std::string::npos);
	EXPECT_EQ (surface.values[0], 0.6);
	EXPECT_EQ (surface.edits.size (), 3u * TAVIK_PARAM_COUNT);
	EXPECT_NE (lastPresetState ().find ("\"currentId\":\"user:Bell\""), std::string::npos);
	EXPECT_EQ (of ("tavik.presetState").size (), 1u);
	session.tickCadence ();
	EXPECT_EQ (surface.restarts, (std::vector<int32_t> {RESTART_PARAM_VALUES_CHANGED}));

	// A file that is not a sound of ours changes nothing.
	for (const char* bad : {"user:Broken", "user:Foreign", "user:Missing", "user:../Zorv/Bell", "factory-1", "user:"})
	{
		surface.values[3] = 0.25;
		send (std::string ("{\"type\":\"tavik.loadPreset\",\"id\":\"") + bad + "\"}");
		ASSERT_EQ (of ("tavik.presetResult").size (), 1u) << bad;
		EXPECT_NE (of ("tavik.presetResult")[0].find ("\"ok\":false"), std::string::npos) << bad;
		EXPECT_TRUE (surface.edits.empty ()) << bad;
		EXPECT_EQ (surface.values[3], 0.25) << bad;
		EXPECT_TRUE (of ("tavik.presetState").empty ()) << bad;
	}
	send ("{\"type\":\"tavik.loadPreset\",\"id\":\"user:Broken\"}");
	EXPECT_NE (of ("tavik.presetResult")[0].find ("Nothing was changed."), std::string::npos);

	send ("{\"type\":\"tavik.renamePreset\",\"id\":\"user:Bell\",\"name\":\"Broken\"}");
	EXPECT_NE (of ("tavik.presetResult")[0].find ("exists already"), std::string::npos);
	send ("{\"type\":\"tavik.renamePreset\",\"id\":\"user:Bell\",\"name\":\"Chime\"}");
	EXPECT_NE (of ("tavik.presetResult")[0].find ("\"ok\":true,\"id\":\"user:Chime\""), std::string::npos);
	EXPECT_NE (lastPresetState ().find ("\"currentId\":\"user:Chime\""), std::string::npos); // it was the current one
	EXPECT_EQ (of ("tavik.presetList").size (), 1u);

	send ("{\"type\":\"tavik.deletePreset\",\"id\":\"user:Chime\"}");
	EXPECT_NE (of ("tavik.presetResult")[0].find ("\"ok\":true"), std::string::npos);
	EXPECT_EQ (lastPresetState ().find ("currentId"), std::string::npos); // no preset to go back to
	EXPECT_EQ (surface.values[0], 0.6);                                   // the sound stays
	send ("{\"type\":\"tavik.deletePreset\",\"id\":\"user:Chime\"}");
	EXPECT_NE (of ("tavik.presetResult")[0].find ("\"ok\":false"), std::string::npos);
	EXPECT_FALSE (std::filesystem::exists (home.path ("Zorv/Chime.vstpreset")));
}

// A saved preset holds the processor's own state document when the
// processor answers, and the controller's values when it does not.
TEST_F (UserPresets, SavedPresetsHoldTheProcessorsState)
{
	surface.connected = true;
	send ("{\"type\":\"tavik.savePreset\",\"name\":\"Asked\"}");
	EXPECT_EQ (surface.sent.back (), "tavik.stateRequest");
	EXPECT_TRUE (of ("tavik.presetResult").empty ()); // waits for the answer
	send ("{\"type\":\"tavik.savePreset\",\"name\":\"Second\"}");
	EXPECT_NE (of ("tavik.presetResult").at (0).find ("still being saved"), std::string::npos);
	// The processor has not heard of the latest edit yet: the values are
	// the controller's, the rest the processor's.
	surface.values[1] = 1;
	const std::string processorState = "{\"params\":{\"ir.size\":0.5},\"variation\":7}";
	editor.clear ();
	session.adoptProcessorState (processorState);
	EXPECT_NE (of ("tavik.presetResult").at (0).find ("\"ok\":true,\"id\":\"user:Asked\""), std::string::npos);
	std::string bytes;
	std::string error;
	PresetFileStates states;
	ASSERT_TRUE (session.userPresetFolder ().read ("Asked", PRESET_FILE_MAX_BYTES, bytes, error));
	ASSERT_TRUE (readPresetFile (bytes, states, error));
	EXPECT_NE (states.component.find ("\"ir.size\":2,"), std::string::npos) << states.component;
	EXPECT_NE (states.component.find ("},\"variation\":7}"), std::string::npos) << states.component;
	EXPECT_EQ (states.controller, "{\"preset\":{\"id\":\"user:Asked\",\"name\":\"Asked\"}}");
	session.adoptProcessorState (processorState); // an answer nobody waits for
	EXPECT_EQ (of ("tavik.presetResult").size (), 1u);

	// No answer within a second: the controller's values are saved.
	send ("{\"type\":\"tavik.savePreset\",\"name\":\"Unanswered\"}");
	now += 500;
	session.tickCadence ();
	EXPECT_TRUE (of ("tavik.presetResult").empty ());
	now += 600;
	session.tickCadence ();
	EXPECT_NE (of ("tavik.presetResult").at (0).find ("\"ok\":true"), std::string::npos);
	ASSERT_TRUE (session.userPresetFolder ().read ("Unanswered", PRESET_FILE_MAX_BYTES, bytes, error));
	ASSERT_TRUE (readPresetFile (bytes, states, error));
	EXPECT_EQ (states.component, session.currentStateDocument ());
}

} // namespace
