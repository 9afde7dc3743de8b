#include "bank_files.h"
#include "runtime_bank_loader.h"
#include "temp_directory.h"
#include "wav_bytes.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace tavik::test;
using tavik::RuntimeBankLimits;
using tavik::RuntimeBankLoad;
using tavik::StagedBank;
using tavik::StagedZone;

const char* const ELLIPSIS = "\xE2\x80\xA6";

// JSON objects for the documents, written member by member as raw JSON
// values, so each test replaces or removes exactly what it is about.
using Members = std::map<std::string, std::string>;

std::string object (const Members& members)
{
	std::string out = "{";
	for (const auto& [key, value] : members)
		out += (out.size () > 1 ? "," : "") + std::string ("\"") + key + "\":" + value;
	return out + "}";
}

std::string jsonText (const std::string& text) { return "\"" + text + "\""; }

std::vector<int> ramp (int frames, int step)
{
	std::vector<int> values;
	for (int i = 0; i < frames; ++i)
		values.push_back (i * step);
	return values;
}

// A bank of two mono assets ("tone": 100 frames at 44100 Hz, "click": 10
// frames at 48000 Hz), an instrument "tam" whose one zone plays "tone", a
// kit "kit" and an empty preset list.
class BankTest : public testing::Test
{
protected:
	void SetUp () override
	{
		tone = wav16 (ramp (100, 100), 1, 44100);
		click = wav16 (ramp (10, -1000), 1, 48000);
		dir.write ("audio/tone.wav", tone);
		dir.write ("audio/click.wav", click);
		manifest = {
			{"format", jsonText ("tavik-sound-pack/v1")},
			{"id", jsonText ("gongs")},
			{"version", jsonText ("1.2.0")},
			{"name", jsonText ("Gongs")},
			{"assetTable", "[{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"bytes\":" + std::to_string (tone.size ()) +
		                       ",\"sha256\":" + jsonText (digest (tone)) +
		                       "},{\"id\":\"click\",\"path\":\"audio/click.wav\",\"codec\":\"wav\"}]"},
			{"instruments", "[{\"id\":\"tam\",\"name\":\"Tam-tam\",\"document\":\"instruments/tam.json\"}]"},
			{"kits", "[{\"id\":\"kit\",\"name\":\"Kit\",\"document\":\"kits/kit.json\"}]"},
		};
		instrument = {
			{"format", jsonText ("tavik-sampler-instrument/v1")},
			{"zones", "[{\"id\":\"z1\",\"assetId\":\"tone\"}]"},
		};
		dir.write ("kits/kit.json", object ({{"format", jsonText ("tavik-sampler-instrument/v1")},
		                                     {"zones", "[{\"id\":\"k1\",\"assetId\":\"click\"}]"}}));
	}

	static std::string digest (const std::string& bytes)
	{
		return tavik::sha256Hex (reinterpret_cast<const uint8_t*> (bytes.data ()), bytes.size ());
	}

	RuntimeBankLoad load (uint64_t maxFrames = 0, const std::string& requested = "",
	                      const RuntimeBankLimits& limits = RuntimeBankLimits ())
	{
		if (!manifest.empty ())
			dir.write ("bank.json", object (manifest));
		if (!instrument.empty ())
			dir.write ("instruments/tam.json", object (instrument));
		return tavik::loadRuntimeBank (dir.path (), maxFrames, requested, limits);
	}

	// Loads a bank whose instrument holds the given zones and expects it to
	// load.
	std::vector<StagedZone> zonesOf (const std::string& zones)
	{
		instrument["zones"] = zones;
		const RuntimeBankLoad result = load ();
		EXPECT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
		return result.bank.zones;
	}

	StagedZone zoneOf (const std::string& members)
	{
		const std::vector<StagedZone> zones = zonesOf ("[{\"id\":\"z\",\"assetId\":\"tone\"" + members + "}]");
		return zones.empty () ? StagedZone () : zones.front ();
	}

	void expectFailure (const RuntimeBankLoad& result, uint32_t outcome, const std::string& message)
	{
		EXPECT_EQ (tavik::runtimeBankOutcomeName (result.outcome),
		           std::string (tavik::runtimeBankOutcomeName (outcome)));
		EXPECT_EQ (result.message, message);
	}

	void expectEmpty (const StagedBank& bank)
	{
		EXPECT_TRUE (bank.id.empty () && bank.version.empty () && bank.name.empty () && bank.sha256.empty ());
		EXPECT_TRUE (bank.instrumentId.empty () && bank.instrumentName.empty () && bank.instrumentKind.empty ());
		EXPECT_TRUE (bank.positioning.empty () && bank.presets.empty ());
		EXPECT_TRUE (bank.samples.empty () && bank.zones.empty ());
		EXPECT_EQ (bank.sampleRate, 48000);
	}

	void setAsset (const std::string& entry) { manifest["assetTable"] = "[" + entry + "]"; }

	TempDirectory dir;       // the bank
	TempDirectory elsewhere; // files outside it
	std::string tone;
	std::string click;
	Members manifest;
	Members instrument;
};

TEST (RuntimeBankOutcome, NamesEveryOutcome)
{
	const char* names[] = {"ok",
	                       "bank-missing",
	                       "bank-hash-mismatch",
	                       "bank-malformed",
	                       "bank-unsupported-codec",
	                       "bank-too-large",
	                       "bank-instrument-unknown"};
	for (uint32_t outcome = 0; outcome <= 6; ++outcome)
		EXPECT_STREQ (tavik::runtimeBankOutcomeName (outcome), names[outcome]);
	EXPECT_EQ (tavik::RUNTIME_BANK_INSTRUMENT_UNKNOWN, 6u);
	EXPECT_STREQ (tavik::runtimeBankOutcomeName (7), "bank-missing");
	EXPECT_STREQ (tavik::runtimeBankOutcomeName (0xFFFFFFFFu), "bank-missing");
}

TEST_F (BankTest, StagesTheWholeBank)
{
	const RuntimeBankLoad result = load ();
	ASSERT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
	EXPECT_EQ (result.message, "");
	const StagedBank& bank = result.bank;
	EXPECT_EQ (bank.id, "gongs");
	EXPECT_EQ (bank.version, "1.2.0");
	EXPECT_EQ (bank.name, "Gongs");
	EXPECT_EQ (bank.instrumentId, "tam");
	EXPECT_EQ (bank.instrumentName, "Tam-tam");
	EXPECT_EQ (bank.instrumentKind, "instruments");
	std::ifstream file (dir.path ("bank.json"), std::ios::binary);
	EXPECT_EQ (bank.sha256, digest (std::string (std::istreambuf_iterator<char> (file), {})));
	ASSERT_EQ (bank.samples.size (), 100u); // only the asset a zone plays
	EXPECT_EQ (bank.samples[1], 100 / 32768.0f);
	EXPECT_EQ (bank.sampleRate, 44100);
	ASSERT_EQ (bank.zones.size (), 1u);
	const StagedZone& zone = bank.zones[0];
	EXPECT_EQ (zone.id, "z1");
	EXPECT_EQ (zone.assetOffset, 0u);
	EXPECT_EQ (zone.assetFrames, 100u);
	EXPECT_EQ (zone.sampleStart, 0u);
	EXPECT_EQ (zone.frameCount, 100u);
	EXPECT_EQ (zone.sampleRate, 44100);
}

TEST_F (BankTest, ListsEveryInstrumentAndKitWithAnId)
{
	manifest["instruments"] = "[{\"id\":\"tam\",\"name\":\"Tam-tam\",\"document\":\"instruments/tam.json\"},"
							  "{\"name\":\"no id\",\"document\":\"x.json\"},7,{\"id\":\"bell\"}]";
	manifest["kits"] = "[{\"id\":\"kit\",\"name\":\"Kit\"},{\"id\":\"\"}]";
	const RuntimeBankLoad result = load ();
	ASSERT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
	const auto& list = result.bank.positioning;
	ASSERT_EQ (list.size (), 3u);
	EXPECT_EQ (list[0].id, "tam");
	EXPECT_EQ (list[0].name, "Tam-tam");
	EXPECT_EQ (list[0].kind, "instruments");
	EXPECT_EQ (list[1].id, "bell");
	EXPECT_EQ (list[1].name, "");
	EXPECT_EQ (list[2].id, "kit");
	EXPECT_EQ (list[2].kind, "kits");
}

// Step 1 and 2: the manifest.
TEST_F (BankTest, NeedsAReadableManifestObject)
{
	manifest.clear ();
	expectFailure (load (), tavik::RUNTIME_BANK_MISSING, "cannot read " + dir.path () + "/bank.json");
	expectEmpty (load ().bank);
	std::filesystem::create_directory (dir.path ("bank.json"));
	expectFailure (load (), tavik::RUNTIME_BANK_MISSING, "cannot read " + dir.path () + "/bank.json");
	expectFailure (tavik::loadRuntimeBank (dir.path ("none"), 0, ""), tavik::RUNTIME_BANK_MISSING,
	               "cannot read " + dir.path ("none") + "/bank.json");
	expectFailure (tavik::loadRuntimeBank (dir.path () + "/", 0, ""), tavik::RUNTIME_BANK_MISSING,
	               "cannot read " + dir.path () + "/bank.json");
	std::filesystem::remove (dir.path ("bank.json"));
	for (const char* text : {"[1,2]", "\"text\"", "{\"format\":", "", "{} x"})
	{
		dir.write ("bank.json", text);
		const RuntimeBankLoad result = load ();
		expectFailure (result, tavik::RUNTIME_BANK_MALFORMED, "bank.json is not a JSON object");
		expectEmpty (result.bank);
	}
}

// Steps 3 and 4: format and identity.
TEST_F (BankTest, NeedsTheSoundPackFormatAndAnId)
{
	manifest["format"] = jsonText ("tavik-sound-pack/v2");
	expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED,
	               "bank.json format is \"tavik-sound-pack/v2\", expected tavik-sound-pack/v1");
	manifest.erase ("format");
	expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED, "bank.json format is \"\", expected tavik-sound-pack/v1");
	manifest["format"] = jsonText ("tavik-sound-pack/v1");
	for (const char* id : {"", "12", "\"\""})
	{
		if (*id)
			manifest["id"] = id;
		else
			manifest.erase ("id");
		const RuntimeBankLoad result = load ();
		expectFailure (result, tavik::RUNTIME_BANK_MALFORMED, "bank.json declares no id");
		expectEmpty (result.bank);
	}
}

// Step 5: the asset table.
TEST_F (BankTest, NeedsANonEmptyAssetTableOfEntriesWithIdAndPath)
{
	for (const char* table : {"[]", "{}", "\"audio/tone.wav\""})
	{
		manifest["assetTable"] = table;
		expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED, "bank.json declares no assetTable");
	}
	manifest.erase ("assetTable");
	expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED, "bank.json declares no assetTable");
	for (const char* entry : {"{\"path\":\"audio/tone.wav\"}", "{\"id\":\"tone\"}", "{\"id\":\"\",\"path\":\"a\"}",
	                          "{\"id\":\"tone\",\"path\":5}"})
	{
		setAsset (entry);
		const RuntimeBankLoad result = load ();
		expectFailure (result, tavik::RUNTIME_BANK_MALFORMED, "assetTable entry missing id or path");
		EXPECT_EQ (result.bank.id, "gongs"); // staged so far
	}
	// Entries that are not objects are passed over.
	setAsset ("1,\"x\",null,{\"id\":\"tone\",\"path\":\"audio/tone.wav\"}");
	EXPECT_EQ (load ().outcome, tavik::RUNTIME_BANK_OK);
}

TEST_F (BankTest, AssetPathsMustStayInsideTheBank)
{
	elsewhere.write ("outside.wav", tone);
	dir.write ("audio/..tone.wav", tone);
	// Paths as JSON text: "\\\\" is one backslash.
	for (const std::string& path : std::vector<std::string> {
			 "../outside.wav", "audio/../../outside.wav", elsewhere.path ("outside.wav"), "audio\\\\tone.wav",
			 "\\\\audio/tone.wav", "audio/../audio/tone.wav", "audio/..", ".."})
	{
		setAsset ("{\"id\":\"tone\",\"path\":" + jsonText (path) + "}");
		expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED, "asset \"tone\" path escapes the bank directory");
	}
	for (const char* path : {"./audio/./tone.wav", "audio//tone.wav", "audio/..tone.wav"})
	{
		setAsset ("{\"id\":\"tone\",\"path\":" + jsonText (path) + "}");
		const RuntimeBankLoad result = load ();
		EXPECT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << path << ": " << result.message;
	}
}

TEST_F (BankTest, OnlyWavAssetsAreDecoded)
{
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"codec\":\"flac\"}");
	expectFailure (load (), tavik::RUNTIME_BANK_UNSUPPORTED_CODEC,
	               "asset \"tone\" codec \"flac\" is not decoded by the native runtime loader (wav only)");
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"codec\":\"WAV\"}");
	expectFailure (load (), tavik::RUNTIME_BANK_UNSUPPORTED_CODEC,
	               "asset \"tone\" codec \"WAV\" is not decoded by the native runtime loader (wav only)");
	// A codec that is no text counts as absent.
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"codec\":3}");
	EXPECT_EQ (load ().outcome, tavik::RUNTIME_BANK_OK);
}

TEST_F (BankTest, AssetFilesMustBeReadableRegularFiles)
{
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/none.wav\"}");
	expectFailure (load (), tavik::RUNTIME_BANK_MISSING, "asset \"tone\" file missing: audio/none.wav");
	setAsset ("{\"id\":\"tone\",\"path\":\"audio\"}");
	expectFailure (load (), tavik::RUNTIME_BANK_MISSING, "asset \"tone\" file missing: audio");
	dir.link ("audio/dangling.wav", "gone.wav");
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/dangling.wav\"}");
	expectFailure (load (), tavik::RUNTIME_BANK_MISSING, "asset \"tone\" file missing: audio/dangling.wav");
}

TEST_F (BankTest, DeclaredSizeAndDigestMustMatchTheFile)
{
	const std::string size = std::to_string (tone.size ());
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"bytes\":" + std::to_string (tone.size () + 1) + "}");
	expectFailure (load (), tavik::RUNTIME_BANK_HASH_MISMATCH,
	               "asset \"tone\" is " + size + " bytes, manifest declares " + std::to_string (tone.size () + 1));
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"bytes\":" + std::to_string (tone.size () - 1) + "}");
	expectFailure (load (), tavik::RUNTIME_BANK_HASH_MISMATCH,
	               "asset \"tone\" is " + size + " bytes, manifest declares " + std::to_string (tone.size () - 1));
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"bytes\":0}");
	expectFailure (load (), tavik::RUNTIME_BANK_HASH_MISMATCH,
	               "asset \"tone\" is " + size + " bytes, manifest declares 0");
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"bytes\":1000000000}");
	expectFailure (load (), tavik::RUNTIME_BANK_HASH_MISMATCH,
	               "asset \"tone\" is " + size + " bytes, manifest declares 1000000000");
	// Negative or absent sizes are not checked.
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"bytes\":-1}");
	EXPECT_EQ (load ().outcome, tavik::RUNTIME_BANK_OK);
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"bytes\":-7.5}");
	EXPECT_EQ (load ().outcome, tavik::RUNTIME_BANK_OK);

	const std::string real = digest (tone);
	std::string wrong = real;
	wrong[63] = wrong[63] == '0' ? '1' : '0';
	const std::string mismatch =
		"asset \"tone\" sha256 " + real.substr (0, 16) + ELLIPSIS + " does not match the manifest";
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"sha256\":" + jsonText (wrong) + "}");
	expectFailure (load (), tavik::RUNTIME_BANK_HASH_MISMATCH, mismatch);
	std::string upper = real;
	for (char& c : upper)
		c = static_cast<char> (std::toupper (static_cast<unsigned char> (c)));
	ASSERT_NE (upper, real);
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"sha256\":" + jsonText (upper) + "}");
	expectFailure (load (), tavik::RUNTIME_BANK_HASH_MISMATCH, mismatch);
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\",\"sha256\":" + jsonText (real) + ",\"bytes\":" + size +
	          "}");
	EXPECT_EQ (load ().outcome, tavik::RUNTIME_BANK_OK);
}

TEST_F (BankTest, ALaterAssetEntryReplacesAnEarlierOne)
{
	dir.write ("audio/garbage.wav", "not audio at all");
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/garbage.wav\"},{\"id\":\"tone\",\"path\":\"audio/click.wav\"}");
	RuntimeBankLoad result = load ();
	ASSERT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
	EXPECT_EQ (result.bank.samples.size (), 10u);
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/click.wav\"},{\"id\":\"tone\",\"path\":\"audio/garbage.wav\"}");
	expectFailure (load (), tavik::RUNTIME_BANK_UNSUPPORTED_CODEC, "asset \"tone\": not a RIFF/WAVE file");
}

// Step 7: presets.
TEST_F (BankTest, KeepsPresetsWithFiniteNumericParams)
{
	manifest["presets"] =
		"[{\"id\":\"bright\",\"name\":\"Bright\",\"instrument\":\"tam\",\"document\":\"presets/bright.json\"},"
		"{\"id\":\"plain\",\"document\":\"presets/plain.json\"},"
		"{\"id\":\"unnamed\",\"name\":\"\",\"document\":\"presets/plain.json\"}]";
	dir.write ("presets/bright.json", "{\"params\":{\"tone\":0.5,\"decay\":2,\"text\":\"x\",\"none\":null,"
	                                  "\"huge\":1e999,\"nan\":nan,\"list\":[1],\"neg\":-0.25}}");
	dir.write ("presets/plain.json", "{\"params\":{\"gain\":1},\"other\":true}");
	const RuntimeBankLoad result = load ();
	ASSERT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
	const auto& presets = result.bank.presets;
	ASSERT_EQ (presets.size (), 3u);
	EXPECT_EQ (presets[0].id, "bright");
	EXPECT_EQ (presets[0].name, "Bright");
	EXPECT_EQ (presets[0].instrument, "tam");
	using Params = std::vector<std::pair<std::string, double>>;
	EXPECT_EQ (presets[0].params, (Params {{"decay", 2}, {"neg", -0.25}, {"tone", 0.5}}));
	EXPECT_EQ (presets[1].name, "plain"); // the id stands in for a missing name
	EXPECT_EQ (presets[1].instrument, "");
	EXPECT_EQ (presets[1].params, (Params {{"gain", 1}}));
	EXPECT_EQ (presets[2].name, "unnamed");
}

TEST_F (BankTest, DropsEveryPresetItCannotUse)
{
	dir.write ("presets/good.json", "{\"params\":{\"gain\":1}}");
	dir.write ("presets/strings.json", "{\"params\":{\"gain\":\"1\",\"x\":1e999}}");
	dir.write ("presets/empty.json", "{\"params\":{}}");
	dir.write ("presets/array.json", "[{\"params\":{\"gain\":1}}]");
	dir.write ("presets/flat.json", "{\"params\":[1,2],\"gain\":1}");
	dir.write ("presets/broken.json", "{\"params\":{\"gain\":1}");
	elsewhere.write ("outside.json", "{\"params\":{\"gain\":1}}");
	dir.link ("presets/link-out.json", elsewhere.path ("outside.json"));
	dir.link ("presets/link-in.json", "good.json");
	manifest["presets"] = "[7,{\"document\":\"presets/good.json\"},{\"id\":\"\",\"document\":\"presets/good.json\"},"
	                      "{\"id\":\"a\",\"document\":\"presets/missing.json\"},{\"id\":\"b\"},"
	                      "{\"id\":\"c\",\"document\":\"presets/strings.json\"},"
	                      "{\"id\":\"d\",\"document\":\"presets/empty.json\"},"
	                      "{\"id\":\"e\",\"document\":\"presets/array.json\"},"
	                      "{\"id\":\"f\",\"document\":\"presets/flat.json\"},"
	                      "{\"id\":\"g\",\"document\":\"presets/broken.json\"},"
	                      "{\"id\":\"h\",\"document\":\"../outside.json\"},"
	                      "{\"id\":\"i\",\"document\":" +
	                      jsonText (elsewhere.path ("outside.json")) +
	                      "},"
	                      "{\"id\":\"j\",\"document\":\"presets/link-out.json\"},"
	                      "{\"id\":\"k\",\"document\":\"presets\"},"
	                      "{\"id\":\"kept\",\"document\":\"presets/link-in.json\"}]";
	const RuntimeBankLoad result = load ();
	ASSERT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
	ASSERT_EQ (result.bank.presets.size (), 1u);
	EXPECT_EQ (result.bank.presets[0].id, "kept");
	manifest["presets"] = "{\"id\":\"x\"}";
	EXPECT_EQ (load ().outcome, tavik::RUNTIME_BANK_OK);
}

// Step 8: choosing the instrument or kit.
TEST_F (BankTest, TakesTheFirstInstrumentOrKitWithADocument)
{
	RuntimeBankLoad result = load (0, "kit");
	ASSERT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
	EXPECT_EQ (result.bank.instrumentId, "kit");
	EXPECT_EQ (result.bank.instrumentName, "Kit");
	EXPECT_EQ (result.bank.instrumentKind, "kits");
	EXPECT_EQ (result.bank.samples.size (), 10u);
	EXPECT_EQ (result.bank.sampleRate, 48000);

	manifest["instruments"] = "[{\"id\":\"tam\",\"name\":\"Tam-tam\",\"document\":\"\"},{\"id\":\"bell\"}]";
	result = load ();
	ASSERT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
	EXPECT_EQ (result.bank.instrumentId, "kit");
	// A requested id whose entry has no document is not found.
	expectFailure (load (0, "tam"), tavik::RUNTIME_BANK_INSTRUMENT_UNKNOWN,
	               "bank gongs has no instrument or kit \"tam\" (known: tam, bell, kit)");
}

TEST_F (BankTest, ReportsAnUnknownInstrumentWithTheKnownIds)
{
	RuntimeBankLoad result = load (0, "nope");
	expectFailure (result, tavik::RUNTIME_BANK_INSTRUMENT_UNKNOWN,
	               "bank gongs has no instrument or kit \"nope\" (known: tam, kit)");
	EXPECT_EQ (result.bank.id, "gongs"); // what was staged stays
	EXPECT_EQ (result.bank.positioning.size (), 2u);
	manifest.erase ("instruments");
	manifest.erase ("kits");
	expectFailure (load (0, "nope"), tavik::RUNTIME_BANK_INSTRUMENT_UNKNOWN,
	               "bank gongs has no instrument or kit \"nope\" (the bank lists none)");
	expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED, "bank.json names no readable instrument/kit document");
}

// Step 9: the instrument document.
TEST_F (BankTest, NeedsAContainedReadableInstrumentDocument)
{
	elsewhere.write ("tam.json", object (instrument));
	dir.link ("instruments/out.json", elsewhere.path ("tam.json"));
	dir.link ("linked", elsewhere.path ());
	for (const std::string& document :
	     std::vector<std::string> {"../tam.json", elsewhere.path ("tam.json"), "instruments\\\\tam.json",
	                               "instruments/out.json", "linked/tam.json"})
	{
		manifest["instruments"] = "[{\"id\":\"tam\",\"document\":" + jsonText (document) + "}]";
		RuntimeBankLoad result = load ();
		expectFailure (result, tavik::RUNTIME_BANK_MALFORMED, "bank.json names no readable instrument/kit document");
		EXPECT_EQ (result.bank.instrumentId, "tam");
	}
	manifest["instruments"] = "[{\"id\":\"tam\",\"document\":\"instruments/none.json\"}]";
	expectFailure (load (), tavik::RUNTIME_BANK_MISSING, "instrument document missing: instruments/none.json");
	manifest["instruments"] = "[{\"id\":\"tam\",\"document\":\"instruments\"}]";
	expectFailure (load (), tavik::RUNTIME_BANK_MISSING, "instrument document missing: instruments");
	dir.link ("instruments/in.json", "tam.json");
	manifest["instruments"] = "[{\"id\":\"tam\",\"document\":\"./instruments/in.json\"}]";
	EXPECT_EQ (load ().outcome, tavik::RUNTIME_BANK_OK);
}

TEST_F (BankTest, NeedsAnInstrumentObjectOfTheSamplerFormatWithZones)
{
	dir.write ("instruments/list.json", "[]");
	manifest["instruments"] = "[{\"id\":\"tam\",\"document\":\"instruments/list.json\"}]";
	expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED, "instrument document is not a JSON object");
	manifest["instruments"] = "[{\"id\":\"tam\",\"document\":\"instruments/tam.json\"}]";

	instrument["format"] = jsonText ("tavik-sampler-instrument/v2");
	expectFailure (
		load (), tavik::RUNTIME_BANK_MALFORMED,
		"instrument document format is \"tavik-sampler-instrument/v2\", expected tavik-sampler-instrument/v1");
	instrument["format"] = "1";
	expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED,
	               "instrument document format is \"\", expected tavik-sampler-instrument/v1");
	instrument["format"] = jsonText ("tavik-sampler-instrument/v1");
	for (const char* zones : {"[]", "{}", "\"zones\""})
	{
		instrument["zones"] = zones;
		expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED, "instrument document declares no zones");
	}
	instrument.erase ("zones");
	expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED, "instrument document declares no zones");
}

// Step 10: zone assets.
TEST_F (BankTest, ZonesMustNameDeclaredDecodableAssets)
{
	instrument["zones"] = "[{\"id\":\"z1\",\"assetId\":\"tone\"},{\"id\":\"z2\",\"assetId\":\"nope\"}]";
	RuntimeBankLoad result = load ();
	expectFailure (result, tavik::RUNTIME_BANK_MALFORMED,
	               "zone \"z2\" names asset \"nope\" which the assetTable does not declare");
	EXPECT_TRUE (result.bank.samples.empty ());
	EXPECT_EQ (result.bank.instrumentId, "tam");
	instrument["zones"] = "[{\"id\":\"z1\"}]";
	expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED,
	               "zone \"z1\" names asset \"\" which the assetTable does not declare");

	dir.write ("audio/eight.wav", riffWave (chunk ("fmt ", fmtPayload (1, 1, 48000, 8)) + chunk ("data", "abcd")));
	dir.write ("audio/three.wav", riffWave (chunk ("fmt ", fmtPayload (1, 3, 48000, 16)) + chunk ("data", "abcdef")));
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\"},{\"id\":\"eight\",\"path\":\"audio/eight.wav\"},"
	          "{\"id\":\"three\",\"path\":\"audio/three.wav\"}");
	instrument["zones"] = "[{\"id\":\"z1\",\"assetId\":\"tone\"},{\"id\":\"z2\",\"assetId\":\"eight\"}]";
	expectFailure (load (), tavik::RUNTIME_BANK_UNSUPPORTED_CODEC,
	               "asset \"eight\": unsupported WAV format tag 1 / 8-bit");
	instrument["zones"] = "[{\"id\":\"z1\",\"assetId\":\"three\"}]";
	expectFailure (load (), tavik::RUNTIME_BANK_UNSUPPORTED_CODEC, "asset \"three\": unsupported channel count 3");
	// Assets no zone uses are never decoded.
	instrument["zones"] = "[{\"id\":\"z1\",\"assetId\":\"tone\"}]";
	EXPECT_EQ (load ().outcome, tavik::RUNTIME_BANK_OK);
}

// Step 11: the arena.
TEST_F (BankTest, TheArenaHoldsEachAssetOnceInOrderOfFirstUse)
{
	const std::vector<StagedZone> zones =
		zonesOf ("[{\"id\":\"a\",\"assetId\":\"click\"},{\"id\":\"b\",\"assetId\":\"tone\"},"
	             "{\"id\":\"c\",\"assetId\":\"click\",\"startFrame\":4},{\"id\":\"d\",\"assetId\":\"tone\"}]");
	ASSERT_EQ (zones.size (), 4u);
	EXPECT_EQ (zones[0].assetOffset, 0u);
	EXPECT_EQ (zones[0].assetFrames, 10u);
	EXPECT_EQ (zones[0].sampleRate, 48000);
	EXPECT_EQ (zones[1].assetOffset, 10u);
	EXPECT_EQ (zones[1].assetFrames, 100u);
	EXPECT_EQ (zones[1].sampleStart, 10u);
	EXPECT_EQ (zones[1].sampleRate, 44100);
	EXPECT_EQ (zones[2].assetOffset, 0u);
	EXPECT_EQ (zones[2].sampleStart, 4u);
	EXPECT_EQ (zones[2].frameCount, 6u);
	EXPECT_EQ (zones[3].assetOffset, 10u);
	const RuntimeBankLoad result = load ();
	ASSERT_EQ (result.bank.samples.size (), 110u);
	EXPECT_EQ (result.bank.samples[1], -1000 / 32768.0f);
	EXPECT_EQ (result.bank.samples[11], 100 / 32768.0f);
	EXPECT_EQ (result.bank.sampleRate, 48000); // the first zone's
}

TEST_F (BankTest, AnArenaAboveTheMaximumEmptiesTheBank)
{
	dir.write ("audio/long.wav", wav16 (ramp (1001, 1)));
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/long.wav\"}");
	RuntimeBankLoad result = load (1000);
	expectFailure (result, tavik::RUNTIME_BANK_TOO_LARGE, "bank needs 1001 arena frames, the kernel published 1000");
	expectEmpty (result.bank);
	result = load (1001);
	EXPECT_EQ (result.outcome, tavik::RUNTIME_BANK_OK);
	EXPECT_EQ (result.bank.samples.size (), 1001u);
	// No maximum still leaves the arena limit of the loader itself.
	RuntimeBankLimits limits;
	limits.arenaFrames = 1000;
	result = load (0, "", limits);
	expectFailure (result, tavik::RUNTIME_BANK_TOO_LARGE,
	               "bank needs 1001 arena frames, above the 1000-frame arena limit");
	expectEmpty (result.bank);
	EXPECT_EQ (RuntimeBankLimits ().arenaFrames, uint64_t (1) << 27);
}

// Step 13.
TEST_F (BankTest, ABankWithoutZoneObjectsStagesNothing)
{
	instrument["zones"] = "[1,\"z\",null]";
	const RuntimeBankLoad result = load ();
	expectFailure (result, tavik::RUNTIME_BANK_MALFORMED, "bank staged no zones or no samples");
	expectEmpty (result.bank);
}

// Zone members.
TEST_F (BankTest, ZoneStartAndEndCutTheAsset)
{
	StagedZone zone = zoneOf (",\"startFrame\":10.9");
	EXPECT_EQ (zone.sampleStart, 10u);
	EXPECT_EQ (zone.frameCount, 90u);
	EXPECT_EQ (zone.assetFrames, 100u);
	zone = zoneOf (",\"startFrame\":10,\"endFrame\":50");
	EXPECT_EQ (zone.sampleStart, 10u);
	EXPECT_EQ (zone.frameCount, 40u);
	zone = zoneOf (",\"startFrame\":10,\"endFrame\":500");
	EXPECT_EQ (zone.frameCount, 90u);
	// Starting beyond the asset starts at 0; an end not above the start
	// changes nothing.
	for (const char* members : {",\"startFrame\":100", ",\"startFrame\":1e300", ",\"startFrame\":-5",
	                            ",\"startFrame\":nan", ",\"startFrame\":null", ",\"startFrame\":\"10\""})
	{
		zone = zoneOf (members);
		EXPECT_EQ (zone.sampleStart, 0u) << members;
		EXPECT_EQ (zone.frameCount, 100u) << members;
	}
	zone = zoneOf (",\"startFrame\":20,\"endFrame\":20");
	EXPECT_EQ (zone.frameCount, 80u);
	zone = zoneOf (",\"startFrame\":20,\"endFrame\":5");
	EXPECT_EQ (zone.frameCount, 80u);
	zone = zoneOf (",\"endFrame\":-3");
	EXPECT_EQ (zone.frameCount, 100u);
	zone = zoneOf (",\"endFrame\":1e999");
	EXPECT_EQ (zone.frameCount, 100u);
	zone = zoneOf (",\"endFrame\":1");
	EXPECT_EQ (zone.frameCount, 1u);
}

TEST_F (BankTest, ZoneKeysAndVelocitiesAreRoundedAndCapped)
{
	StagedZone zone = zoneOf ("");
	EXPECT_EQ (zone.lowKey, 0u);
	EXPECT_EQ (zone.highKey, 127u);
	EXPECT_EQ (zone.rootKey, 60u);
	EXPECT_EQ (zone.lowVelocity, 0u);
	EXPECT_EQ (zone.highVelocity, 127u);
	zone = zoneOf (",\"lowKey\":35.5,\"highKey\":71.49,\"rootKey\":0.4,\"lowVelocity\":200,\"highVelocity\":126.5");
	EXPECT_EQ (zone.lowKey, 36u);
	EXPECT_EQ (zone.highKey, 71u);
	EXPECT_EQ (zone.rootKey, 0u);
	EXPECT_EQ (zone.lowVelocity, 127u);
	EXPECT_EQ (zone.highVelocity, 127u);
	// Numbers that are not positive give 0; members that are no numbers
	// keep their defaults.
	zone = zoneOf (",\"lowKey\":-3,\"highKey\":0,\"rootKey\":-1e300,\"lowVelocity\":nan,\"highVelocity\":-0.1");
	EXPECT_EQ (zone.lowKey, 0u);
	EXPECT_EQ (zone.highKey, 0u);
	EXPECT_EQ (zone.rootKey, 0u);
	EXPECT_EQ (zone.lowVelocity, 0u);
	EXPECT_EQ (zone.highVelocity, 0u);
	zone = zoneOf (",\"lowKey\":\"40\",\"highKey\":\"x\",\"rootKey\":true,\"highVelocity\":null,\"lowVelocity\":1e999");
	EXPECT_EQ (zone.lowKey, 0u);
	EXPECT_EQ (zone.highKey, 127u);
	EXPECT_EQ (zone.rootKey, 60u);
	EXPECT_EQ (zone.highVelocity, 127u);
	EXPECT_EQ (zone.lowVelocity, 127u);
}

TEST_F (BankTest, ZoneFlagsNumbersAndGroups)
{
	StagedZone zone = zoneOf ("");
	EXPECT_TRUE (zone.keyTracking);
	EXPECT_FALSE (zone.reverse);
	EXPECT_EQ (zone.gain, 1.0);
	EXPECT_EQ (zone.pan, 0.0);
	EXPECT_EQ (zone.fineTuneCents, 0.0);
	EXPECT_EQ (zone.filterCutoffHz, 0.0);
	EXPECT_EQ (zone.filterResonance, 0.0);
	EXPECT_EQ (zone.attackSeconds, 0.001);
	EXPECT_EQ (zone.releaseSeconds, 0.05);
	EXPECT_EQ (zone.roundRobinGroup, 0u);
	EXPECT_EQ (zone.chokeGroup, 0u);
	EXPECT_EQ (zone.trigger, 0u);

	zone = zoneOf (",\"keyTracking\":false,\"reverse\":true,\"gain\":0.5,\"pan\":-0.75,\"fineTuneCents\":-12.5,"
	               "\"filterCutoffHz\":1200,\"filterResonance\":0.7,\"attackSeconds\":0.02,\"releaseSeconds\":3,"
	               "\"roundRobinGroup\":3.9,\"chokeGroup\":-2,\"trigger\":\"release\"");
	EXPECT_FALSE (zone.keyTracking);
	EXPECT_TRUE (zone.reverse);
	EXPECT_EQ (zone.gain, 0.5);
	EXPECT_EQ (zone.pan, -0.75);
	EXPECT_EQ (zone.fineTuneCents, -12.5);
	EXPECT_EQ (zone.filterCutoffHz, 1200);
	EXPECT_EQ (zone.filterResonance, 0.7);
	EXPECT_EQ (zone.attackSeconds, 0.02);
	EXPECT_EQ (zone.releaseSeconds, 3);
	EXPECT_EQ (zone.roundRobinGroup, 3u);
	EXPECT_EQ (zone.chokeGroup, 0u);
	EXPECT_EQ (zone.trigger, 1u);

	zone = zoneOf (",\"keyTracking\":0,\"reverse\":\"yes\",\"gain\":\"2\",\"chokeGroup\":1e300,\"trigger\":\"legato\"");
	EXPECT_TRUE (zone.keyTracking);
	EXPECT_FALSE (zone.reverse);
	EXPECT_EQ (zone.gain, 1.0);
	EXPECT_EQ (zone.chokeGroup, 0xFFFFFFFFu);
	EXPECT_EQ (zone.trigger, 2u);
	for (const char* trigger : {"\"Release\"", "\"attack\"", "1", "\"\""})
		EXPECT_EQ (zoneOf (",\"trigger\":" + std::string (trigger)).trigger, 0u) << trigger;
}

TEST_F (BankTest, ForwardLoopsInsideTheZoneAreUsed)
{
	StagedZone zone = zoneOf (",\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":80,"
	                          "\"loopCrossfadeFrames\":10.8");
	EXPECT_TRUE (zone.looping);
	EXPECT_EQ (zone.loopStart, 20u);
	EXPECT_EQ (zone.loopEnd, 80u);
	EXPECT_EQ (zone.loopCrossfade, 10u);
	EXPECT_EQ (zone.requestedLoopStart, 20u);
	EXPECT_EQ (zone.requestedLoopEnd, 80u);
	EXPECT_EQ (zone.requestedCrossfade, 10u);

	// Relative to the zone's start; a loop may end exactly at the zone's end.
	zone = zoneOf (",\"startFrame\":10,\"endFrame\":80,\"loopMode\":\"forward\",\"loopStartFrame\":10,"
	               "\"loopEndFrame\":80");
	EXPECT_TRUE (zone.looping);
	EXPECT_EQ (zone.loopStart, 0u);
	EXPECT_EQ (zone.loopEnd, 70u);
	EXPECT_EQ (zone.loopCrossfade, 0u);
	EXPECT_EQ (zone.requestedCrossfade, 0u);
	EXPECT_EQ (zone.requestedLoopStart, 10u);

	// A crossfade longer than the loop is not kept, but recorded as written.
	zone = zoneOf (",\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":80,\"loopCrossfadeFrames\":61");
	EXPECT_TRUE (zone.looping);
	EXPECT_EQ (zone.loopCrossfade, 0u);
	EXPECT_EQ (zone.requestedCrossfade, 61u);
	zone = zoneOf (",\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":80,\"loopCrossfadeFrames\":60");
	EXPECT_EQ (zone.loopCrossfade, 60u);
	zone = zoneOf (",\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":80,\"loopCrossfadeFrames\":-4");
	EXPECT_EQ (zone.loopCrossfade, 0u);
	EXPECT_EQ (zone.requestedCrossfade, 0u);
}

TEST_F (BankTest, UnusableLoopsAreRecordedButNotUsed)
{
	const auto expectUnused = [] (const StagedZone& zone, uint32_t start, uint32_t end) {
		EXPECT_FALSE (zone.looping);
		EXPECT_EQ (zone.loopStart, 0u);
		EXPECT_EQ (zone.loopEnd, 0u);
		EXPECT_EQ (zone.requestedLoopStart, start);
		EXPECT_EQ (zone.requestedLoopEnd, end);
		EXPECT_EQ (zone.requestedCrossfade, tavik::STAGED_UNSET);
	};
	// Ends beyond the zone's frames.
	expectUnused (zoneOf (",\"endFrame\":50,\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":60,"
	                      "\"loopCrossfadeFrames\":5"),
	              20, 60);
	expectUnused (zoneOf (",\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":101"), 20, 101);
	// Starts before the zone.
	expectUnused (zoneOf (",\"startFrame\":30,\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":80"), 20,
	              80);
	// Empty or reversed.
	expectUnused (zoneOf (",\"loopMode\":\"forward\",\"loopStartFrame\":40,\"loopEndFrame\":40"), 40, 40);
	expectUnused (zoneOf (",\"loopMode\":\"forward\",\"loopStartFrame\":50,\"loopEndFrame\":-10"), 50, 0);

	// Not a forward loop with both points: nothing is recorded.
	for (const char* members : {",\"loopStartFrame\":20,\"loopEndFrame\":80",
	                            ",\"loopMode\":\"none\",\"loopStartFrame\":20,\"loopEndFrame\":80",
	                            ",\"loopMode\":\"pingpong\",\"loopStartFrame\":20,\"loopEndFrame\":80",
	                            ",\"loopMode\":\"forward\",\"loopStartFrame\":20",
	                            ",\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":null"})
		expectUnused (zoneOf (members), tavik::STAGED_UNSET, tavik::STAGED_UNSET);
}

// Hostile banks.
TEST_F (BankTest, LinksOutOfTheBankAreRefusedAndLinksInsideAccepted)
{
	elsewhere.write ("outside.wav", tone);
	dir.link ("audio/out.wav", elsewhere.path ("outside.wav"));
	dir.link ("audio/up.wav", "../../" + elsewhere.path ().substr (elsewhere.path ().rfind ('/') + 1) + "/outside.wav");
	dir.link ("external", elsewhere.path ());
	dir.link ("audio/in.wav", "tone.wav");
	dir.link ("sounds", "audio");
	for (const char* path : {"audio/out.wav", "audio/up.wav", "external/outside.wav", "sounds/out.wav"})
	{
		setAsset ("{\"id\":\"tone\",\"path\":" + jsonText (path) + "}");
		const RuntimeBankLoad result = load ();
		expectFailure (result, tavik::RUNTIME_BANK_MALFORMED, "asset \"tone\" path escapes the bank directory");
		EXPECT_TRUE (result.bank.samples.empty ());
	}
	for (const char* path : {"audio/in.wav", "sounds/in.wav", "sounds/tone.wav"})
	{
		setAsset ("{\"id\":\"tone\",\"path\":" + jsonText (path) + "}");
		EXPECT_EQ (load ().outcome, tavik::RUNTIME_BANK_OK) << path;
	}
	// The bank directory itself may be reached through a link.
	elsewhere.link ("current", dir.path ());
	const RuntimeBankLoad result = tavik::loadRuntimeBank (elsewhere.path ("current"), 0, "");
	EXPECT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
}

TEST_F (BankTest, ARelativeBankFolderIsNotLookedForInTheWorkingDirectory)
{
	ASSERT_EQ (load ().outcome, tavik::RUNTIME_BANK_OK);
	const std::string parent = dir.path ().substr (0, dir.path ().rfind ('/'));
	const std::string name = dir.path ().substr (parent.size () + 1);
	char* previous = ::getcwd (nullptr, 0);
	ASSERT_NE (previous, nullptr);
	// From its parent and from inside it, the bank is one relative step away.
	for (const auto& [from, folders] :
	     {std::pair {parent, std::vector<std::string> {name, "./" + name, name + "/../" + name}},
	      std::pair {dir.path (), std::vector<std::string> {".", "./"}}})
	{
		ASSERT_EQ (::chdir (from.c_str ()), 0);
		for (const std::string& folder : folders)
		{
			const RuntimeBankLoad result = tavik::loadRuntimeBank (folder, 0, "");
			expectFailure (result, tavik::RUNTIME_BANK_MISSING, "bank directory is not an absolute path: " + folder);
			expectEmpty (result.bank);
		}
	}
	EXPECT_EQ (::chdir (previous), 0);
	std::free (previous);
}

TEST_F (BankTest, AManifestLinkedFromOutsideIsRefused)
{
	elsewhere.write ("bank.json", object (manifest));
	dir.link ("bank.json", elsewhere.path ("bank.json"));
	manifest.clear ();
	const RuntimeBankLoad result = load ();
	expectFailure (result, tavik::RUNTIME_BANK_MALFORMED, "bank.json path escapes the bank directory");
	expectEmpty (result.bank);
}

TEST_F (BankTest, AManifestLinkedFromInsideIsRead)
{
	dir.write ("manifests/real.json", object (manifest));
	dir.link ("bank.json", "manifests/real.json");
	manifest.clear ();
	const RuntimeBankLoad result = load ();
	EXPECT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
}

TEST_F (BankTest, FifosAndDirectoriesAreNoAssets)
{
	ASSERT_EQ (::mkfifo (dir.path ("audio/pipe.wav").c_str (), 0600), 0);
	const auto start = std::chrono::steady_clock::now ();
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/pipe.wav\"}");
	expectFailure (load (), tavik::RUNTIME_BANK_MISSING, "asset \"tone\" file missing: audio/pipe.wav");
	EXPECT_LT (std::chrono::steady_clock::now () - start, std::chrono::seconds (5));
	std::filesystem::create_directories (dir.path ("audio/folder.wav"));
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/folder.wav\"}");
	expectFailure (load (), tavik::RUNTIME_BANK_MISSING, "asset \"tone\" file missing: audio/folder.wav");
	ASSERT_EQ (::mkfifo (dir.path ("instruments/pipe.json").c_str (), 0600), 0);
	manifest["instruments"] = "[{\"id\":\"tam\",\"document\":\"instruments/pipe.json\"}]";
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\"}");
	expectFailure (load (), tavik::RUNTIME_BANK_MISSING, "instrument document missing: instruments/pipe.json");
}

TEST_F (BankTest, FilesAboveTheSizeLimitsAreNotRead)
{
	// Sparse files: their size is all that is looked at.
	dir.sparse ("audio/huge.wav", (uint64_t (256) << 20) + 1);
	setAsset ("{\"id\":\"huge\",\"path\":\"audio/huge.wav\"}");
	expectFailure (load (), tavik::RUNTIME_BANK_TOO_LARGE, "asset \"huge\" is larger than the 256 MiB asset limit");

	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\"}");
	dir.sparse ("instruments/huge.json", (uint64_t (16) << 20) + 1);
	manifest["instruments"] = "[{\"id\":\"tam\",\"document\":\"instruments/huge.json\"}]";
	expectFailure (load (), tavik::RUNTIME_BANK_TOO_LARGE,
	               "instrument document is larger than the 16 MiB document limit");

	manifest.clear ();
	dir.sparse ("bank.json", (uint64_t (16) << 20) + 1);
	const RuntimeBankLoad result = load ();
	expectFailure (result, tavik::RUNTIME_BANK_MALFORMED, "bank.json is larger than the 16 MiB document limit");
	expectEmpty (result.bank);
}

TEST_F (BankTest, AllAssetsTogetherStayWithinTheirLimit)
{
	RuntimeBankLimits limits;
	limits.allAssetBytes = tone.size () + click.size ();
	EXPECT_EQ (load (0, "", limits).outcome, tavik::RUNTIME_BANK_OK);
	limits.allAssetBytes -= 1;
	expectFailure (load (0, "", limits), tavik::RUNTIME_BANK_TOO_LARGE,
	               "asset \"click\" takes the bank's assets past the " + std::to_string (limits.allAssetBytes) +
	                   "-byte limit for all assets");
	// Repeating one entry reads its file again: that counts too.
	setAsset ("{\"id\":\"tone\",\"path\":\"audio/tone.wav\"},{\"id\":\"tone\",\"path\":\"audio/tone.wav\"},"
	          "{\"id\":\"tone\",\"path\":\"audio/tone.wav\"}");
	limits.allAssetBytes = 3 * tone.size () - 1;
	expectFailure (load (0, "", limits), tavik::RUNTIME_BANK_TOO_LARGE,
	               "asset \"tone\" takes the bank's assets past the " + std::to_string (limits.allAssetBytes) +
	                   "-byte limit for all assets");
	EXPECT_EQ (RuntimeBankLimits ().allAssetBytes, uint64_t (512) << 20);
}

TEST_F (BankTest, PresetDocumentsTogetherStayWithinTheirLimit)
{
	const std::string document = "{\"params\":{\"gain\":1}}";
	dir.write ("presets/p.json", document);
	manifest["presets"] =
		"[{\"id\":\"a\",\"document\":\"presets/p.json\"},{\"id\":\"b\",\"document\":\"presets/p.json\"},"
		"{\"id\":\"c\",\"document\":\"presets/p.json\"}]";
	RuntimeBankLimits limits;
	limits.presetDocumentBytes = 2 * document.size () + 1;
	const RuntimeBankLoad result = load (0, "", limits);
	ASSERT_EQ (result.outcome, tavik::RUNTIME_BANK_OK);
	ASSERT_EQ (result.bank.presets.size (), 2u);
	EXPECT_EQ (result.bank.presets[1].id, "b");
}

TEST_F (BankTest, HugeOrDeepDocumentsFailCleanly)
{
	const Members original = manifest;
	// Under the byte limit, but far more values than a bank needs.
	std::string zeros = "{\"format\":\"tavik-sound-pack/v1\",\"id\":\"gongs\",\"pad\":[";
	while (zeros.size () < (size_t (15) << 20))
		zeros += "0,0,0,0,0,0,0,0,";
	zeros += "0]}";
	manifest.clear ();
	dir.write ("bank.json", zeros);
	RuntimeBankLoad result = load ();
	expectFailure (result, tavik::RUNTIME_BANK_MALFORMED, "bank.json is not a JSON object");
	expectEmpty (result.bank);

	dir.write ("bank.json", std::string (size_t (15) << 20, '['));
	expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED, "bank.json is not a JSON object");
	dir.write ("bank.json", std::string ((size_t (16) << 20) + 1, '['));
	expectFailure (load (), tavik::RUNTIME_BANK_MALFORMED, "bank.json is larger than the 16 MiB document limit");

	// The instrument document is held to the same value budget: 27 values
	// against the manifest's 25.
	manifest = original;
	RuntimeBankLimits limits;
	limits.documentValues = 25;
	std::string zones = "[";
	for (int i = 0; i < 8; ++i)
		zones += (i ? "," : "") + std::string ("{\"id\":\"z\",\"assetId\":\"tone\"}");
	instrument["zones"] = zones + "]";
	expectFailure (load (0, "", limits), tavik::RUNTIME_BANK_MALFORMED, "instrument document is not a JSON object");
	limits.documentValues = 0;
	EXPECT_EQ (load (0, "", limits).outcome, tavik::RUNTIME_BANK_OK);
	EXPECT_EQ (RuntimeBankLimits ().documentValues, 250000u);
}

TEST_F (BankTest, HostileWavSizesDecodeWhatTheFileHolds)
{
	dir.write ("audio/liar.wav", riffWave (chunk ("fmt ", fmtPayload (1, 1, 48000, 16)) +
	                                       chunk ("data", pcm16 ({16384, 0}), 0xFFFFFFF0)));
	dir.write ("audio/wrap.wav", riffWave (chunk ("junk", "", 0xFFFFFFF4) +
	                                       chunk ("fmt ", fmtPayload (1, 1, 48000, 16)) + chunk ("data", pcm16 ({1}))));
	setAsset ("{\"id\":\"liar\",\"path\":\"audio/liar.wav\"},{\"id\":\"wrap\",\"path\":\"audio/wrap.wav\"}");
	instrument["zones"] = "[{\"id\":\"z\",\"assetId\":\"liar\",\"endFrame\":4294967296}]";
	RuntimeBankLoad result = load ();
	ASSERT_EQ (result.outcome, tavik::RUNTIME_BANK_OK) << result.message;
	EXPECT_EQ (result.bank.samples, (std::vector<float> {0.5f, 0.0f}));
	EXPECT_EQ (result.bank.zones[0].frameCount, 2u);
	instrument["zones"] = "[{\"id\":\"z\",\"assetId\":\"wrap\"}]";
	expectFailure (load (), tavik::RUNTIME_BANK_UNSUPPORTED_CODEC, "asset \"wrap\": no data chunk");
}

} // namespace
