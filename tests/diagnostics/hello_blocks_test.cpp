#include "hello_blocks.h"
#include "ui_manifest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace tavik;

const std::string kIdentityTail = ",\"ratePolicy\":{\"mode\":\"host-native\"},\"state\":{\"version\":1,\"maxBytes\":"
								  "65536},\"ports\":[{\"id\":\"out\","
								  "\"kind\":\"audio\",\"direction\":\"output\",\"busRole\":\"main\",\"channels\":2},{"
								  "\"id\":\"midi-in\",\"kind\":\"midi\","
								  "\"direction\":\"input\",\"busRole\":\"main\"}]}";

TEST (HelloBlocks, FeedBits)
{
	EXPECT_EQ (diagnosticFeedBit ("midiIn"), 4u);
	EXPECT_EQ (diagnosticFeedBit ("MIDIIN"), 0u);
	EXPECT_EQ (diagnosticFeedBit ("clock"), 1024u);
	EXPECT_EQ (diagnosticFeedBit (""), 0u);
	EXPECT_EQ (diagnosticFeedBit (nullptr), 0u);
	uint32_t all = 0;
	for (const char* name : {"host", "transport", "midiIn", "midiOut", "meters", "scope", "lifecycle", "counters",
	                         "params", "presets", "clock"})
		all |= diagnosticFeedBit (name);
	EXPECT_EQ (all, 2047u);
}

TEST (HelloBlocks, Identity)
{
	std::string out;
	writeDiagnosticIdentityJson (out, TARGET_VST3, UiBundleFacts ());
	EXPECT_EQ (out,
	           "{\"moduleId\":\"music.tavik.zorv\",\"name\":\"Zorv\",\"vendor\":\"Tavik Music\",\"version\":\"0.0.0\","
	           "\"hostClass\":\"instrument\",\"target\":\"vst3\",\"sdkVersion\":\"0.0.0\",\"build\":{\"mode\":"
	           "\"production\",\"configuration\":\"Release\"}" +
	               kIdentityTail);
	UiBundleFacts ui;
	std::strcpy (ui.sourceRevision, "abc123");
	out.clear ();
	writeDiagnosticIdentityJson (out, static_cast<DiagnosticTarget> (9), ui);
	EXPECT_NE (out.find ("\"target\":\"offline\""), std::string::npos);
	out.clear ();
	writeDiagnosticIdentityJson (out, TARGET_LV2, ui);
	EXPECT_NE (out.find ("\"target\":\"lv2\""), std::string::npos);
	EXPECT_NE (out.find ("\"ui\":{\"sourceRevision\":\"abc123\"},"), std::string::npos);
	std::strcpy (ui.buildTime, "2026-12-08");
	std::strcpy (ui.sha256, "ff");
	out.clear ();
	writeDiagnosticIdentityJson (out, TARGET_CLAP, ui);
	EXPECT_NE (out.find ("\"ui\":{\"buildTime\":\"2026-12-08\",\"sourceRevision\":\"abc123\",\"sha256\":\"ff\"}"),
	           std::string::npos);
}

TEST (HelloBlocks, PresetStateAndBank)
{
	PresetStateFacts facts;
	facts.factoryCount = 10;
	std::string out;
	writeDiagnosticPresetStateJson (out, facts);
	EXPECT_EQ (out, "{\"factoryCount\":10,\"dirty\":false,\"userPresetsSupported\":false}");
	std::strcpy (facts.currentId, "factory-2");
	std::strcpy (facts.currentName, "Tam-Tam \"Rim\"");
	facts.dirty = true;
	facts.lastStateBytes = 903;
	facts.bank.present = true;
	std::strcpy (facts.bank.id, "gongs");
	std::strcpy (facts.bank.kind, "sampler");
	facts.bank.index = 0;
	facts.bank.padCount = 16;
	out.clear ();
	writeDiagnosticPresetStateJson (out, facts);
	EXPECT_EQ (out, "{\"factoryCount\":10,\"currentId\":\"factory-2\",\"currentName\":\"Tam-Tam \\\"Rim\\\"\","
	                "\"dirty\":true,\"userPresetsSupported\":false,\"lastStateBytes\":903,\"bank\":{\"id\":\"gongs\","
	                "\"kind\":\"sampler\",\"index\":0,\"padCount\":16}}");

	BankFacts bank;
	EXPECT_EQ (compiledBankCount (), 0);
	std::strcpy (bank.id, "x");
	bank.present = true;
	EXPECT_FALSE (describeCompiledBank (0, bank));
	EXPECT_FALSE (bank.present);
	EXPECT_EQ (bank.index, -1);
	EXPECT_STREQ (bank.id, "");
	out.clear ();
	EXPECT_FALSE (writeDiagnosticBanksJson (out));
	EXPECT_TRUE (out.empty ());
	std::strcpy (bank.id, "only");
	writeDiagnosticBankJson (out, bank);
	EXPECT_EQ (out, "{\"id\":\"only\"}");
}

TEST (HelloBlocks, AppendedMembers)
{
	HostFacts host;
	PresetStateFacts presets;
	std::string out = "{\"type\":\"tavik.hello\"";
	appendDiagnosticHelloBlocks (out, TARGET_VST3, host, presets);
	EXPECT_EQ (out.find (",\"host\":"), std::string::npos); // never configured
	EXPECT_NE (out.find (",\"identity\":{\"moduleId\""), std::string::npos);
	EXPECT_NE (out.find (",\"diagnostics\":{\"feeds\":[],\"commands\":[],\"maxFeedHz\":0},\"presetState\":{"),
	           std::string::npos);
	host.sampleRate = 44100;
	out.clear ();
	appendDiagnosticHelloBlocks (out, TARGET_VST3, host, presets);
	EXPECT_NE (out.find (",\"host\":{\"sampleRate\":44100,"), std::string::npos);
}

TEST (UiManifest, Scanner)
{
	char out[16];
	uiManifestString ("{\"buildTime\":\"2026\",\"x\":{\"sha256\":\"nested\"}}", "sha256", out, sizeof (out));
	EXPECT_STREQ (out, "");
	uiManifestString ("{\"buildTime\" : \"a\\\"b\"}", "buildTime", out, sizeof (out));
	EXPECT_STREQ (out, "a");
	uiManifestString ("{\"k\":\"0123456789abcdefXYZ\"}", "k", out, sizeof (out));
	EXPECT_STREQ (out, "0123456789abcde");
	uiManifestString ("{\"name\":\"k\",\"k\":\"v\"}", "k", out, sizeof (out));
	EXPECT_STREQ (out, "v"); // a value equal to the key is not the member
	uiManifestString ("{\"s\":\"\\\"k\\\"\",\"k\":\"v2\"}", "k", out, sizeof (out));
	EXPECT_STREQ (out, "v2");
	uiManifestString ("[{\"k\":\"v\"}]", "k", out, sizeof (out));
	EXPECT_STREQ (out, "");
	uiManifestString ("{\"k\":5}", "k", out, sizeof (out));
	EXPECT_STREQ (out, "");
	uiManifestString ("{\"k\":\"unterminated", "k", out, sizeof (out));
	EXPECT_STREQ (out, "unterminated");
	uiManifestString ("} {\"k\":\"v\"}", "k", out, sizeof (out));
	EXPECT_STREQ (out, "");
}

TEST (UiManifest, FilesAndPaths)
{
	EXPECT_EQ (uiManifestPathForImage ("/home/u/.vst3/Zorv.vst3/Contents/x86_64-linux/Zorv.so"),
	           "/home/u/.vst3/Zorv.vst3/Contents/Resources/ui/manifest.json");
	const std::filesystem::path dir =
		std::filesystem::path (testing::TempDir ()) / ("manifest_" + std::to_string (getpid ()));
	std::filesystem::create_directories (dir);
	const std::string path = (dir / "manifest.json").string ();
	std::ofstream (path) << "{\"buildTime\":\"t\",\"sourceRevision\":\"r\",\"sha256\":\"" << std::string (100, 'h')
						 << "\"}";
	UiBundleFacts facts = readUiBundleFactsFromFile (path);
	EXPECT_STREQ (facts.buildTime, "t");
	EXPECT_STREQ (facts.sourceRevision, "r");
	EXPECT_EQ (std::strlen (facts.sha256), 79u);

	std::ofstream (path) << "{\"buildTime\":\"t\",\"pad\":\"" << std::string (1048576, 'x') << "\"}";
	facts = readUiBundleFactsFromFile (path);
	EXPECT_STREQ (facts.buildTime, ""); // over 1 MiB: no facts at all
	facts = readUiBundleFactsFromFile ((dir / "missing.json").string ());
	EXPECT_STREQ (facts.buildTime, "");
	std::filesystem::remove_all (dir);
}

TEST (UiManifest, TheBundleCarriesItsBuildFacts)
{
	const UiBundleFacts facts =
		readUiBundleFactsFromFile (std::string (ZORV_BUNDLE_PATH) + "/Contents/Resources/ui/manifest.json");
	EXPECT_EQ (std::strlen (facts.sha256), 64u);
	EXPECT_EQ (std::strlen (facts.buildTime), 20u); // 2026-12-08T15:20:22Z
	EXPECT_EQ (uiManifestPathForImage (std::string (ZORV_BUNDLE_PATH) + "/Contents/x86_64-linux/Zorv.so"),
	           std::string (ZORV_BUNDLE_PATH) + "/Contents/Resources/ui/manifest.json");
}

} // namespace
