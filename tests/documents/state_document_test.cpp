#include "hostile_input.h"
#include "state_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

using namespace tavik;
using namespace std::string_literals;

double defaults[TAVIK_PARAM_COUNT];

const double* defaultValues ()
{
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		defaults[i] = TAVIK_PARAMS[i].defaultPlain;
	return defaults;
}

bool parse (const std::string& text, StateChunk& chunk) { return parseStateJson (text.data (), text.size (), chunk); }

bool parsePads (const std::string& text, SamplerPadOverrides& pads)
{
	return parseSamplerPadOverridesJson (text.data (), text.size (), pads);
}

const std::string kDefaultParams =
	"{\"params\":{\"ir.instrument\":0,\"ir.size\":1,\"ir.decayScale\":1,\"ir.damping\":1,\"ir.stereoWidth\":0.4,"
	"\"strike.position\":0.15,\"strike.velTone\":0.6,\"mallet.type\":0,\"exciter.noise\":0.15,\"bloom.amount\":0.7,"
	"\"bloom.time\":0.8,\"glide.amount\":0.7,\"ombak.amount\":1,\"ombak.rate\":2.5,\"amp.decay\":15,"
	"\"amp.release\":0.6,\"tuning.baseFreq\":110,\"master.level\":0.8,\"model.stiffness\":0,\"model.coupling\":0,"
	"\"model.edgeLoss\":0,\"model.radiation\":0,\"glide.depth\":0.65,\"glide.time\":0.85,"
	"\"performance.fixedVelocity\":0,\"performance.velocity\":0.85}";

TEST (StateWriting, MinimalDocument)
{
	EXPECT_EQ (writeStateJson (defaultValues (), -1, nullptr, SAMPLER_ASSET_NONE, ZONE_LEGACY_SINGLE_ZONE, nullptr,
	                           nullptr, nullptr),
	           kDefaultParams + "}");
}

TEST (StateWriting, EveryMemberInOrder)
{
	CcMap map;
	map.bindings[0] = CcBinding {};
	map.bindings[0].paramIndex = 5;
	map.bindings[0].cc = 74;
	map.bindings[0].enabled = true;
	map.count = 1;
	BankStateRefOut bank;
	bank.id = "tavik.gongs";
	bank.bankVersion = "1.2";
	bank.sha256 = "ab12";
	bank.source = "user-folder";
	bank.presetId = "p1";
	bank.instrument = "tam";
	bank.locator = "/home/u/banks/g";
	SamplerPadOverrides pads (1);
	pads[0].padKey = "pad-1";
	pads[0].mask = PAD_TRANSPOSE | PAD_GAIN;
	pads[0].values[0] = 2;
	pads[0].values[2] = 0.5;
	const uint8_t bytes[] = {'h', 'i'};
	AuthoredStateOut authored;
	authored.bytes = bytes;
	authored.count = 2;
	authored.version = 3;
	EXPECT_EQ (
		writeStateJson (defaultValues (), 5, &map, SAMPLER_ASSET_CORRUPT_IN_MEMORY, ZONE_VELOCITY_ROUND_ROBIN, &bank,
	                    &pads, &authored),
		kDefaultParams +
			",\"variation\":5,\"ccMap\":{\"version\":1,\"bindings\":[{\"cc\":74,\"path\":\"strike.position\"}]},"
			"\"samplerAssetFault\":\"corrupt-in-memory-asset\","
			"\"samplerZoneAbi\":\"tavik-dual-stack-sampler/zone-layer/v1\",\"samplerZoneVersion\":1,"
			"\"samplerZoneProgram\":\"velocity-round-robin\","
			"\"sampler\":{\"v\":1,\"pads\":{\"pad-1\":{\"transpose\":2,\"gain\":0.5}}},"
			"\"bank\":{\"version\":1,\"id\":\"tavik.gongs\",\"bankVersion\":\"1.2\",\"sha256\":\"ab12\","
			"\"locator\":\"/home/u/banks/g\",\"source\":\"user-folder\",\"instrument\":\"tam\",\"presetId\":\"p1\"},"
			"\"authoredState\":{\"v\":3,\"bytes\":\"aGk=\"}}");
}

TEST (StateWriting, OptionalPartsAndFallbacks)
{
	double values[TAVIK_PARAM_COUNT];
	std::memcpy (values, defaultValues (), sizeof (values));
	values[1] = std::nan ("");
	BankStateRefOut bank;
	bank.id = "b";
	SamplerPadOverrides empty;
	AuthoredStateOut nothing;
	const std::string text = writeStateJson (values, -1, nullptr, static_cast<SamplerAssetDiagnostic> (7),
	                                         static_cast<SamplerZoneProgram> (9), &bank, &empty, &nothing);
	EXPECT_NE (text.find ("\"ir.size\":null"), std::string::npos);
	EXPECT_NE (text.find ("\"samplerAssetFault\":\"none\""), std::string::npos);
	EXPECT_NE (text.find ("\"samplerZoneProgram\":\"legacy-single-zone\""), std::string::npos);
	EXPECT_NE (text.find ("\"bank\":{\"version\":1,\"id\":\"b\",\"source\":\"embedded\"}"), std::string::npos);
	EXPECT_EQ (text.find ("sampler\":"), std::string::npos);
	EXPECT_EQ (text.find ("authoredState"), std::string::npos);
	EXPECT_EQ (text.find ("variation"), std::string::npos);
}

TEST (StateReading, ParameterValues)
{
	StateChunk chunk;
	ASSERT_TRUE (parse ("{\"params\":{}}", chunk));
	for (bool present : chunk.present)
		EXPECT_FALSE (present);
	EXPECT_EQ (chunk.variation, -1);

	StateChunk values;
	ASSERT_TRUE (parse ("{\"params\":{\"ir.size\":true,\"ir.damping\":false,\"amp.decay\":\"long\",\"bogus\":3,"
	                    "\"glide.time\":null,\"glide.depth\":[1],\"master.level\":{\"deep\":{\"x\":1}},"
	                    "\"tuning.baseFreq\":220,\"tuning.baseFreq\":330}}",
	                    values));
	EXPECT_EQ (values.values[1], 1);
	EXPECT_TRUE (values.present[1]);
	EXPECT_EQ (values.values[3], 0);
	EXPECT_FALSE (values.present[14]);
	EXPECT_FALSE (values.present[23]); // null is skipped, the document still reads
	EXPECT_FALSE (values.present[22]);
	EXPECT_FALSE (values.present[17]);
	EXPECT_EQ (values.values[16], 330);

	StateChunk bad;
	EXPECT_FALSE (parse ("{\"params\":{\"ir.size\":tru}}", bad));
	EXPECT_FALSE (parse ("{\"params\":null}", bad));
	EXPECT_FALSE (parse ("{\"params\":[]}", bad));
}

TEST (StateReading, TopLevelMembers)
{
	StateChunk a;
	ASSERT_TRUE (parse ("{\"variation\":2.9,\"ccMap\":null,\"unknown\":{\"x\":[1,2]}}", a));
	EXPECT_EQ (a.variation, 2);
	EXPECT_FALSE (a.hasCcMap);
	StateChunk negative;
	ASSERT_TRUE (parse ("{\"variation\":-2.9}", negative));
	EXPECT_EQ (negative.variation, -2);
	StateChunk huge;
	ASSERT_TRUE (parse ("{\"variation\":1e300}", huge));
	EXPECT_EQ (huge.variation, INT32_MAX);
	StateChunk b;
	EXPECT_FALSE (parse ("{\"variation\":\"2\"}", b));
	StateChunk c;
	EXPECT_FALSE (parse ("{\"variation\":null}", c));

	StateChunk faults;
	ASSERT_TRUE (
		parse ("{\"samplerAssetFault\":\"moved-in-memory-asset\",\"samplerZoneProgram\":\"one-shot-drum\"}", faults));
	EXPECT_EQ (faults.samplerAssetFault, SAMPLER_ASSET_MOVED_IN_MEMORY);
	EXPECT_TRUE (faults.hasSamplerAssetFault);
	EXPECT_EQ (faults.samplerZoneProgram, ZONE_ONE_SHOT_DRUM);
	StateChunk unknown;
	ASSERT_TRUE (parse ("{\"samplerAssetFault\":\"melted\",\"samplerZoneProgram\":\"jazz\"}", unknown));
	EXPECT_EQ (unknown.samplerAssetFault, SAMPLER_ASSET_NONE);
	EXPECT_FALSE (unknown.hasSamplerAssetFault);
	EXPECT_FALSE (unknown.hasSamplerZoneProgram);
	StateChunk wrongType;
	EXPECT_FALSE (parse ("{\"samplerZoneProgram\":3}", wrongType));

	StateChunk cc;
	ASSERT_TRUE (parse ("{\"ccMap\":[{\"cc\":1,\"path\":\"ir.size\"}]}", cc));
	EXPECT_TRUE (cc.hasCcMap);
	EXPECT_EQ (cc.ccMap.count, 1u);
	StateChunk trailing;
	EXPECT_FALSE (parse ("{} {}", trailing));
	StateChunk notObject;
	EXPECT_FALSE (parse ("[]", notObject));
}

TEST (StateReading, SamplerAndAuthoredState)
{
	StateChunk v2;
	ASSERT_TRUE (parse ("{\"sampler\":{\"v\":2,\"pads\":{\"a\":{\"gain\":2}}}}", v2));
	EXPECT_FALSE (v2.hasPadOverrides);
	StateChunk v1;
	ASSERT_TRUE (parse ("{\"sampler\":{\"pads\":{},\"v\":1}}", v1));
	EXPECT_TRUE (v1.hasPadOverrides);
	EXPECT_TRUE (v1.padOverrides.empty ());
	StateChunk badV;
	EXPECT_FALSE (parse ("{\"sampler\":{\"v\":\"1\"}}", badV));
	StateChunk badPads;
	EXPECT_FALSE (parse ("{\"sampler\":{\"v\":1,\"pads\":{\"a\":{\"gain\":}}}}", badPads));
	StateChunk skippedPads;
	ASSERT_TRUE (parse ("{\"sampler\":{\"v\":1,\"pads\":[1]},\"samplerZoneAbi\":5}", skippedPads));
	EXPECT_FALSE (skippedPads.hasPadOverrides);

	StateChunk authored;
	ASSERT_TRUE (parse ("{\"authoredState\":{\"v\":4.7,\"bytes\":\"AAEC\"}}", authored));
	EXPECT_TRUE (authored.hasAuthoredState);
	EXPECT_EQ (authored.authoredVersion, 4u);
	EXPECT_EQ (authored.authoredBytes, (std::vector<uint8_t> {0, 1, 2}));
	StateChunk undecodable;
	ASSERT_TRUE (parse ("{\"authoredState\":{\"bytes\":\"A!==\"}}", undecodable));
	EXPECT_FALSE (undecodable.hasAuthoredState);
	// 1 MiB decodes; one byte more is ignored without failing the document.
	std::string big (1048575 / 3 * 4 + 4, 'A');
	big[big.size () - 1] = '=';
	big[big.size () - 2] = '='; // 1048575 + 1 = 1048576 bytes exactly
	StateChunk limit;
	ASSERT_TRUE (parse ("{\"authoredState\":{\"bytes\":\"" + big + "\"}}", limit));
	EXPECT_EQ (limit.authoredBytes.size (), 1048576u);
	big[big.size () - 2] = 'A'; // one byte more
	StateChunk over;
	ASSERT_TRUE (parse ("{\"authoredState\":{\"bytes\":\"" + big + "\"}}", over));
	EXPECT_FALSE (over.hasAuthoredState);
	StateChunk badVersion;
	EXPECT_FALSE (parse ("{\"authoredState\":{\"v\":[]}}", badVersion));
}

TEST (StateReading, BankReference)
{
	StateChunk full;
	ASSERT_TRUE (parse ("{\"bank\":{\"version\":1,\"id\":\"g\",\"bankVersion\":\"2\",\"sha256\":\"cafe\","
	                    "\"source\":\"hosted\",\"presetId\":\"p\",\"instrument\":\"i\",\"locator\":\"/x\",\"id2\":3}}",
	                    full));
	const BankStateRef& ref = full.bankRef;
	EXPECT_TRUE (ref.present);
	EXPECT_STREQ (ref.id, "g");
	EXPECT_STREQ (ref.bankVersion, "2");
	EXPECT_STREQ (ref.sha256, "cafe");
	EXPECT_STREQ (ref.source, "hosted");
	EXPECT_STREQ (ref.presetId, "p");
	EXPECT_TRUE (ref.hasPresetId);
	EXPECT_STREQ (ref.instrument, "i");
	EXPECT_STREQ (ref.locator, "/x");
	EXPECT_TRUE (ref.hasLocator);
	uint32_t unused = 7;
	EXPECT_EQ (resolveBankStateRef (full, unused), 2u);
	EXPECT_EQ (unused, 7u);

	StateChunk longId;
	ASSERT_TRUE (parse ("{\"bank\":{\"id\":\"" + std::string (128, 'x') + "\",\"sha256\":\"ab\"}}", longId));
	EXPECT_STREQ (longId.bankRef.id, "");
	EXPECT_FALSE (longId.bankRef.present);
	EXPECT_STREQ (longId.bankRef.sha256, "");
	EXPECT_EQ (resolveBankStateRef (longId, unused), 0u);

	StateChunk limits;
	ASSERT_TRUE (parse ("{\"bank\":{\"id\":\"" + std::string (127, 'i') + "\",\"bankVersion\":\"" +
	                        std::string (32, 'v') + "\",\"sha256\":\"" + std::string (65, 's') +
	                        "\",\"source\":\"attic\",\"locator\":\"" + std::string (1024, 'l') + "\",\"presetId\":\"" +
	                        std::string (64, 'p') + "\",\"instrument\":\"" + std::string (64, 'n') + "\"}}",
	                    limits));
	EXPECT_EQ (std::strlen (limits.bankRef.id), 127u);
	EXPECT_STREQ (limits.bankRef.bankVersion, "");
	EXPECT_STREQ (limits.bankRef.sha256, "");
	EXPECT_STREQ (limits.bankRef.source, "");
	EXPECT_FALSE (limits.bankRef.hasLocator);
	EXPECT_FALSE (limits.bankRef.hasPresetId);
	EXPECT_STREQ (limits.bankRef.instrument, "");
	StateChunk nonString;
	ASSERT_TRUE (parse ("{\"bank\":{\"id\":5}}", nonString));
	EXPECT_FALSE (nonString.bankRef.present);
}

TEST (PadOverrides, MemberRules)
{
	SamplerPadOverrides pads;
	ASSERT_TRUE (
		parsePads ("{\"a\":{\"transpose\":1.5,\"gain\":5,\"muted\":0.5},\"b\":{\"transpose\":-24,\"fineTune\":99.5,"
	               "\"reverse\":1,\"chokeGroup\":8,\"release\":0.0005,\"pan\":\"left\",\"filterHz\":20,"
	               "\"velocitySensitivity\":0.2,\"bogus\":1},\"c\":3}",
	               pads));
	ASSERT_EQ (pads.size (), 1u); // "a" kept nothing, "c" is not an object
	const SamplerPadOverride& b = pads[0];
	EXPECT_EQ (b.padKey, "b");
	EXPECT_EQ (b.mask, PAD_TRANSPOSE | PAD_FINE_TUNE | PAD_REVERSE | PAD_CHOKE_GROUP | PAD_FILTER_HZ |
	                       PAD_VELOCITY_SENSITIVITY);
	EXPECT_EQ (b.value (PAD_TRANSPOSE), -24);
	EXPECT_EQ (b.value (PAD_RELEASE), 0.025); // out of range: default kept
	EXPECT_EQ (b.value (PAD_VELOCITY_SENSITIVITY), 0.2);

	SamplerPadOverrides twice;
	ASSERT_TRUE (parsePads ("{\"x\":{\"gain\":2},\"y\":{\"gain\":3},\"x\":{\"pan\":0.5}}", twice));
	ASSERT_EQ (twice.size (), 2u);
	EXPECT_EQ (twice[0].padKey, "x");
	EXPECT_EQ (twice[0].mask, PAD_PAN); // replaced entirely, in place
	EXPECT_EQ (twice[1].padKey, "y");

	SamplerPadOverrides keys;
	ASSERT_TRUE (parsePads (
		"{\"" + std::string (160, 'k') + "\":{\"gain\":2},\"" + std::string (161, 'k') + "\":{\"gain\":2}}", keys));
	ASSERT_EQ (keys.size (), 1u);
	EXPECT_EQ (keys[0].padKey.size (), 160u);
}

TEST (PadOverrides, MapLimits)
{
	auto map = [] (int members) {
		std::string text = "{";
		for (int i = 0; i < members; ++i)
			text += (i ? "," : "") + std::string ("\"p") + std::to_string (i) + "\":{\"gain\":2}";
		return text + "}";
	};
	SamplerPadOverrides pads;
	ASSERT_TRUE (parsePads (map (256), pads));
	EXPECT_EQ (pads.size (), 256u);
	ASSERT_TRUE (parsePads (map (257), pads));
	EXPECT_TRUE (pads.empty ());
	SamplerPadOverrides kept (3);
	EXPECT_FALSE (parsePads ("{\"a\":{\"gain\":2}", kept));
	EXPECT_EQ (kept.size (), 3u); // untouched on failure
	EXPECT_FALSE (parsePads ("{} x", kept));
	EXPECT_FALSE (parsePads ("[]", kept));
}

TEST (PadOverrides, WrittenMapsReadBack)
{
	SamplerPadOverrides pads (3);
	pads[0].padKey = "kick \"1\"";
	pads[0].mask = 0x7FFF;
	const double valid[PAD_OVERRIDE_MEMBER_COUNT] = {3, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 500, 0.5, 1, 1, 2, 3, 0.5};
	for (int m = 0; m < PAD_OVERRIDE_MEMBER_COUNT; ++m)
		pads[0].values[m] = valid[m];
	pads[1].padKey = ""; // left out
	pads[1].mask = PAD_GAIN;
	pads[2].padKey = "snare";
	pads[2].mask = PAD_TRANSPOSE | PAD_END;
	pads[2].values[0] = -12;
	pads[2].values[5] = 0.75;
	std::string text;
	writeSamplerPadOverridesJson (text, pads);
	SamplerPadOverrides back;
	ASSERT_TRUE (parsePads (text, back));
	ASSERT_EQ (back.size (), 2u);
	EXPECT_EQ (back[0].padKey, pads[0].padKey);
	EXPECT_EQ (back[0].mask, pads[0].mask);
	for (int m = 0; m < PAD_OVERRIDE_MEMBER_COUNT; ++m)
		EXPECT_EQ (back[0].values[m], pads[0].values[m]) << m;
	EXPECT_EQ (back[1].padKey, "snare");
	EXPECT_EQ (back[1].value (PAD_END), 0.75);
}

TEST (StateReading, WrittenDocumentsReadBackTheSame)
{
	double values[TAVIK_PARAM_COUNT];
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		values[i] = tavik_param_plain (&TAVIK_PARAMS[i], (i * 0.37 + 0.11) - std::floor (i * 0.37 + 0.11));
	CcMap map;
	map.bindings[0].paramIndex = 2;
	map.bindings[0].cc = 3;
	map.count = 1;
	BankStateRefOut bank;
	bank.id = "bank";
	bank.source = "module-relative";
	bank.locator = "banks/gongs";
	SamplerPadOverrides pads (1);
	pads[0].padKey = "pad";
	pads[0].mask = PAD_ATTACK;
	pads[0].values[6] = 1.5;
	const uint8_t bytes[] = {0, 255, 7, 9, 200};
	AuthoredStateOut authored {bytes, 5, 12};
	const std::string text = writeStateJson (values, 11, &map, SAMPLER_ASSET_MISSING_IN_MEMORY, ZONE_KEY_ZONES_PITCH,
	                                         &bank, &pads, &authored);
	StateChunk chunk;
	ASSERT_TRUE (parse (text, chunk));
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
	{
		EXPECT_TRUE (chunk.present[i]);
		EXPECT_EQ (chunk.values[i], values[i]) << TAVIK_PARAMS[i].path;
	}
	EXPECT_EQ (chunk.variation, 11);
	EXPECT_TRUE (chunk.hasCcMap);
	EXPECT_EQ (chunk.ccMap.bindings[0].paramIndex, 2);
	EXPECT_EQ (chunk.samplerAssetFault, SAMPLER_ASSET_MISSING_IN_MEMORY);
	EXPECT_EQ (chunk.samplerZoneProgram, ZONE_KEY_ZONES_PITCH);
	EXPECT_TRUE (chunk.hasPadOverrides);
	EXPECT_EQ (chunk.padOverrides[0].value (PAD_ATTACK), 1.5);
	EXPECT_STREQ (chunk.bankRef.source, "module-relative");
	EXPECT_STREQ (chunk.bankRef.locator, "banks/gongs");
	EXPECT_EQ (chunk.authoredBytes, std::vector<uint8_t> (bytes, bytes + 5));
	EXPECT_EQ (chunk.authoredVersion, 12u);
}

TEST (StateHostileInput, FailsCleanlyOrParses)
{
	CcMap map;
	map.bindings[0].paramIndex = 1;
	map.bindings[0].cc = 9;
	map.count = 1;
	BankStateRefOut bank;
	bank.id = "bank";
	SamplerPadOverrides pads (1);
	pads[0].padKey = "p";
	pads[0].mask = PAD_GAIN;
	const uint8_t bytes[] = {1, 2, 3, 4};
	AuthoredStateOut authored {bytes, 4, 1};
	const std::string valid =
		writeStateJson (defaultValues (), 3, &map, SAMPLER_ASSET_NONE, ZONE_ONE_SHOT_DRUM, &bank, &pads, &authored);
	const auto cuts = tavik::test::feedHostile (valid, [] (const char* text, size_t length) {
		StateChunk chunk;
		return parseStateJson (text, length, chunk);
	});
	EXPECT_TRUE (cuts.empty ());
	const auto padCuts = tavik::test::feedHostile ("{\"a\":{\"gain\":2,\"pan\":-1},\"b\":{\"muted\":1}}",
	                                               [] (const char* text, size_t length) {
													   SamplerPadOverrides out;
													   return parseSamplerPadOverridesJson (text, length, out);
												   });
	EXPECT_TRUE (padCuts.empty ());
}

TEST (StateHostileInput, NulBytesNeverShortenNames)
{
	// A NUL inside a name is part of it; texts that a fixed field would cut
	// at the NUL are treated like texts too long for it.
	StateChunk names;
	ASSERT_TRUE (parse ("{\"params\":{\"ir.size\0\":2},\"samplerZoneProgram\":\"one-shot-drum\0\","
	                    "\"samplerAssetFault\":\"moved-in-memory-asset\0\"}"s,
	                    names));
	EXPECT_FALSE (names.present[1]);
	EXPECT_FALSE (names.hasSamplerZoneProgram);
	EXPECT_FALSE (names.hasSamplerAssetFault);

	StateChunk id;
	ASSERT_TRUE (parse ("{\"bank\":{\"id\":\"gongs\0x\",\"source\":\"hosted\"}}"s, id));
	EXPECT_FALSE (id.bankRef.present);
	EXPECT_STREQ (id.bankRef.id, "");
	uint32_t unused = 0;
	EXPECT_EQ (resolveBankStateRef (id, unused), 0u);

	StateChunk texts;
	ASSERT_TRUE (parse ("{\"bank\":{\"id\":\"gongs\",\"source\":\"hosted\0\",\"bankVersion\":\"1\0.2\","
	                    "\"sha256\":\"ab\0cd\",\"locator\":\"/a\0/b\",\"presetId\":\"p\0q\",\"instrument\":\"t\0u\"}}"s,
	                    texts));
	const BankStateRef& ref = texts.bankRef;
	EXPECT_TRUE (ref.present);
	EXPECT_STREQ (ref.id, "gongs");
	EXPECT_STREQ (ref.source, "");
	EXPECT_STREQ (ref.bankVersion, "");
	EXPECT_STREQ (ref.sha256, "");
	EXPECT_STREQ (ref.locator, "");
	EXPECT_FALSE (ref.hasLocator);
	EXPECT_STREQ (ref.presetId, "");
	EXPECT_FALSE (ref.hasPresetId);
	EXPECT_STREQ (ref.instrument, "");

	SamplerPadOverrides pads;
	ASSERT_TRUE (parsePads ("{\"a\0\":{\"gain\":2},\"a\":{\"pan\":1}}"s, pads));
	ASSERT_EQ (pads.size (), 1u);
	EXPECT_EQ (pads[0].padKey, "a");
}

TEST (StateNames, KnownNames)
{
	EXPECT_TRUE (samplerZoneProgramNameKnown ("voice-limit-steal"));
	EXPECT_FALSE (samplerZoneProgramNameKnown ("Voice-Limit-Steal"));
	EXPECT_FALSE (samplerZoneProgramNameKnown (nullptr));
	EXPECT_EQ (samplerZoneProgramFromName ("choke-and-sustain"), ZONE_CHOKE_AND_SUSTAIN);
	EXPECT_EQ (samplerZoneProgramFromName ("nope"), ZONE_LEGACY_SINGLE_ZONE);
	EXPECT_EQ (samplerZoneProgramFromName (nullptr), ZONE_LEGACY_SINGLE_ZONE);
	EXPECT_TRUE (bankSourceNameKnown ("module-relative"));
	EXPECT_FALSE (bankSourceNameKnown ("cloud"));
	EXPECT_FALSE (bankSourceNameKnown (nullptr));
}

} // namespace
