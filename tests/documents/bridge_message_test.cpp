#include "bridge_message.h"
#include "diagnostic_feeds.h"
#include "exact_buffer.h"
#include "hostile_input.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tavik;
using namespace std::string_literals;
using tavik::test::ExactBuffer;

// Every message is read from an exact heap copy, so that the sanitizer
// build reports any read past the given length.
std::unique_ptr<BridgeMessage> read (const std::string& text)
{
	const ExactBuffer buffer (text);
	auto message = std::make_unique<BridgeMessage> ();
	if (!parseBridgeMessage (buffer.begin (), buffer.size (), *message))
		return nullptr;
	return message;
}

bool wellFormed (const std::string& text) { return read (text) != nullptr; }

std::string nested (char open, char close, int levels)
{
	return std::string (static_cast<size_t> (levels), open) + std::string (static_cast<size_t> (levels), close);
}

const uint32_t kIrSize = 1;
const uint32_t kIrDamping = 3;

// A message that carries every member the reader knows, with values of
// the expected kinds, and an unknown member.
const std::string kFullMessage =
	"{\"type\":\"tavik.setState\",\"path\":\"ir.size\",\"id\":\"factory-3\",\"source\":\"hosted\","
	"\"bankPath\":\"/banks/g\",\"url\":\"https://example.invalid/g.zip\",\"sha256\":\"ab12\",\"instrument\":\"tam\","
	"\"value\":1.25,\"note\":60,\"velocity\":0.5,"
	"\"state\":{\"params\":{\"ir.size\":1.5},\"variation\":2,\"ccMap\":[{\"cc\":1,\"path\":\"ir.size\"}],"
	"\"bank\":{\"id\":\"gongs\"}},"
	"\"map\":{\"version\":1,\"bindings\":[{\"cc\":74,\"path\":\"strike.position\",\"curve\":\"log\"}]},"
	"\"pads\":{\"p1\":{\"gain\":2}},\"feeds\":[\"host\",\"clock\"],\"hz\":30,\"stimulus\":{\"kind\":\"impulse\"},"
	"\"extra\":[1,{\"a\":null}]}";

TEST (BridgeMessageEnvelope, EmptyObjectIsTakenAtOnce)
{
	for (const std::string& text : {"{}"s, "{ \t\r\n}"s, " {}"s, "{}x"s, "{} {\""s, "{}\0garbage"s, "{}\xff"s})
	{
		const auto m = read (text);
		ASSERT_NE (m, nullptr) << text;
		EXPECT_TRUE (m->type.empty ());
		EXPECT_FALSE (m->hasValue || m->hasState || m->hasCcMap || m->hasPads);
		EXPECT_EQ (m->diagnosticCommand, DIAGNOSTIC_COMMAND_NONE);
		EXPECT_EQ (m->feeds, 0u);
		EXPECT_EQ (m->state.variation, -1);
		EXPECT_EQ (m->ccMap.count, 0u);
		EXPECT_TRUE (m->stimulus.kind.empty ());
	}
}

TEST (BridgeMessageEnvelope, OnlyTheFourWhitespaceBytesSurroundTheObject)
{
	EXPECT_TRUE (wellFormed (" \t\r\n{\"type\":\"tavik.ready\"}\t\r\n "));
	EXPECT_TRUE (wellFormed ("{ \"type\" \t:\n\"tavik.ready\"\r,\"id\" : \"a\" }"));
	for (const std::string& blank : {"\f"s, "\v"s, "\xa0"s, "\xef\xbb\xbf"s, "\0"s})
	{
		EXPECT_FALSE (wellFormed (blank + "{\"type\":\"tavik.ready\"}")) << "leading " << +blank[0];
		EXPECT_FALSE (wellFormed ("{\"type\":\"tavik.ready\"}" + blank)) << "trailing " << +blank[0];
		EXPECT_FALSE (wellFormed ("{" + blank + "\"type\":\"tavik.ready\"}")) << "inside " << +blank[0];
	}
	EXPECT_FALSE (wellFormed ("{\"type\":\"tavik.ready\"} x"));
	EXPECT_FALSE (wellFormed ("{\"type\":\"tavik.ready\"}{}"));
}

TEST (BridgeMessageEnvelope, MalformedObjects)
{
	for (const std::string& text :
	     {""s, "   "s, "[]"s, "\"type\""s, "1"s, "null"s, "{"s, "{\"type\"}"s, "{\"type\" \"tavik.ready\"}"s,
	      "{\"type\":}"s, "{\"type\":\"tavik.ready\",}"s, "{\"type\":\"tavik.ready\" \"id\":\"a\"}"s,
	      "{type:\"tavik.ready\"}"s, "{'type':'tavik.ready'}"s, "{\"type\":\"tavik.ready\""s, "{,}"s, "{:1}"s, "{1:1}"s,
	      "{\"type\":\"tavik.ready\"]"s})
		EXPECT_FALSE (wellFormed (text)) << text;
	BridgeMessage m;
	EXPECT_FALSE (parseBridgeMessage (nullptr, 16, m));
}

TEST (BridgeMessageEnvelope, TheLengthEndsTheText)
{
	const std::string text = "{\"type\":\"tavik.ready\"}trailing";
	BridgeMessage m;
	EXPECT_TRUE (parseBridgeMessage (text.data (), text.size () - 8, m));
	EXPECT_EQ (m.type, "tavik.ready");
	BridgeMessage cut;
	EXPECT_FALSE (parseBridgeMessage (text.data (), text.size () - 9, cut));
}

TEST (BridgeMessageMembers, EveryMemberIsReadIntoItsField)
{
	const auto m = read (kFullMessage);
	ASSERT_NE (m, nullptr);
	EXPECT_EQ (m->type, "tavik.setState");
	EXPECT_EQ (m->path, "ir.size");
	EXPECT_EQ (m->id, "factory-3");
	EXPECT_EQ (m->source, "hosted");
	EXPECT_EQ (m->bankPath, "/banks/g");
	EXPECT_EQ (m->url, "https://example.invalid/g.zip");
	EXPECT_EQ (m->sha256, "ab12");
	EXPECT_EQ (m->instrument, "tam");
	EXPECT_TRUE (m->hasValue);
	EXPECT_EQ (m->value, 1.25);
	EXPECT_EQ (m->note, 60);
	EXPECT_EQ (m->velocity, 0.5);
	ASSERT_TRUE (m->hasState);
	EXPECT_TRUE (m->state.present[kIrSize]);
	EXPECT_EQ (m->state.values[kIrSize], 1.5);
	EXPECT_EQ (m->state.variation, 2);
	EXPECT_TRUE (m->state.hasCcMap);
	EXPECT_EQ (m->state.ccMap.count, 1u);
	EXPECT_STREQ (m->state.bankRef.id, "gongs");
	ASSERT_TRUE (m->hasCcMap);
	ASSERT_EQ (m->ccMap.count, 1u);
	EXPECT_EQ (m->ccMap.bindings[0].cc, 74);
	EXPECT_EQ (m->ccMap.bindings[0].paramIndex, 5);
	EXPECT_EQ (m->ccMap.bindings[0].curve, CC_CURVE_LOG);
	ASSERT_TRUE (m->hasPads);
	ASSERT_EQ (m->pads.size (), 1u);
	EXPECT_EQ (m->pads[0].padKey, "p1");
	EXPECT_EQ (m->pads[0].value (PAD_GAIN), 2);
	EXPECT_EQ (m->feeds, 1u | 1024u);
	EXPECT_EQ (m->hz, 30);
	EXPECT_EQ (m->stimulus.kind, "impulse");
	EXPECT_EQ (m->diagnosticCommand, DIAGNOSTIC_COMMAND_NONE);
}

TEST (BridgeMessageMembers, AbsentMembersKeepTheirDefaults)
{
	const auto m = read ("{\"type\":\"tavik.getState\"}");
	ASSERT_NE (m, nullptr);
	EXPECT_EQ (m->type, "tavik.getState");
	EXPECT_TRUE (m->path.empty () && m->id.empty () && m->source.empty () && m->bankPath.empty ());
	EXPECT_TRUE (m->url.empty () && m->sha256.empty () && m->instrument.empty ());
	EXPECT_FALSE (m->hasValue || m->hasState || m->hasCcMap || m->hasPads);
	EXPECT_EQ (m->value, 0);
	EXPECT_EQ (m->note, 0);
	EXPECT_EQ (m->velocity, 0);
	EXPECT_EQ (m->hz, 0);
	EXPECT_EQ (m->feeds, 0u);
	EXPECT_FALSE (m->state.present[kIrSize]);
	EXPECT_EQ (m->state.variation, -1);
	// Only "value" itself marks a value as present.
	const auto note = read ("{\"type\":\"tavik.noteOn\",\"note\":60,\"velocity\":100,\"hz\":5}");
	ASSERT_NE (note, nullptr);
	EXPECT_FALSE (note->hasValue);
	EXPECT_EQ (note->value, 0);
}

TEST (BridgeMessageMembers, StringsAndNumbersFollowTheDocumentReader)
{
	const auto m = read ("{\"path\":\"a\\u00e9b\\n\\\"\\/\\x\",\"id\":\"\",\"value\":0x10,\"note\":+3,"
	                     "\"velocity\":1e2,\"hz\":-0.5}");
	ASSERT_NE (m, nullptr);
	EXPECT_EQ (m->path, "a?b\n\"/x");
	EXPECT_TRUE (m->id.empty ());
	EXPECT_TRUE (m->hasValue);
	EXPECT_EQ (m->value, 16);
	EXPECT_EQ (m->note, 3);
	EXPECT_EQ (m->velocity, 100);
	EXPECT_EQ (m->hz, -0.5);
	const auto special = read ("{\"value\":nan,\"note\":-Infinity}");
	ASSERT_NE (special, nullptr);
	EXPECT_TRUE (std::isnan (special->value));
	EXPECT_EQ (special->note, -INFINITY);
	EXPECT_TRUE (read ("{\"value\":0}")->hasValue);
}

TEST (BridgeMessageMembers, LaterMembersWin)
{
	const auto m = read ("{\"type\":\"tavik.noteOn\",\"note\":60,\"path\":\"ir.size\",\"type\":\"tavik.noteOff\","
	                     "\"note\":61.5,\"path\":\"\"}");
	ASSERT_NE (m, nullptr);
	EXPECT_EQ (m->type, "tavik.noteOff");
	EXPECT_EQ (m->note, 61.5);
	EXPECT_TRUE (m->path.empty ());
	const auto stimulus = read ("{\"stimulus\":{\"kind\":\"a\"},\"stimulus\":{\"kind\":\"bb\",\"kind\":\"c\"}}");
	ASSERT_NE (stimulus, nullptr);
	EXPECT_EQ (stimulus->stimulus.kind, "c");
}

TEST (BridgeMessageMembers, NamesAreWholeCaseSensitiveByteStrings)
{
	// Keys that only resemble known ones are unknown members: their values
	// are skipped whatever they are, so a wrong kind does not fail.
	const auto m = read ("{\"Type\":\"tavik.ready\",\"value \":\"x\",\"valu\":[1],\"hz\\u0000\":{},"
	                     "\"value\\u0000\":\"x\",\"value\0\":\"x\",\"type\0\":5}"s);
	ASSERT_NE (m, nullptr);
	EXPECT_TRUE (m->type.empty ());
	EXPECT_FALSE (m->hasValue);
	EXPECT_EQ (m->hz, 0);
}

TEST (BridgeMessageMembers, UnknownMembersOfEveryKindAreSkipped)
{
	const auto m = read ("{\"a\":null,\"b\":true,\"c\":false,\"d\":-1.5e3,\"e\":\"s\",\"f\":[],\"g\":{},"
	                     "\"h\":[1,[2,{\"x\":[null]}],\"y\"],\"i\":{\"type\":\"tavik.ready\",\"value\":\"s\"},"
	                     "\"type\":\"tavik.ready\"}");
	ASSERT_NE (m, nullptr);
	EXPECT_EQ (m->type, "tavik.ready");
	EXPECT_FALSE (m->hasValue);
	EXPECT_FALSE (wellFormed ("{\"a\":tru}"));
	EXPECT_FALSE (wellFormed ("{\"a\":[1,]}"));
	EXPECT_FALSE (wellFormed ("{\"a\":{\"b\"}}"));
	EXPECT_FALSE (wellFormed ("{\"a\":-}"));
}

TEST (BridgeMessageTypes, TextMembersMustBeStrings)
{
	for (const char* key : {"type", "path", "id", "source", "bankPath", "url", "sha256", "instrument"})
		for (const char* value : {"5", "null", "true", "{}", "[\"x\"]"})
		{
			const std::string text = "{\"" + std::string (key) + "\":" + value + "}";
			EXPECT_FALSE (wellFormed (text)) << text;
		}
}

TEST (BridgeMessageTypes, NumberMembersMustBeNumbers)
{
	EXPECT_FALSE (wellFormed ("{\"type\":\"tavik.setParam\",\"path\":\"ir.size\",\"value\":\"1.25\"}"));
	for (const char* key : {"value", "note", "velocity", "hz"})
		for (const char* value : {"\"1\"", "null", "true", "false", "{}", "[1]", "1x", "--1"})
		{
			const std::string text = "{\"" + std::string (key) + "\":" + value + "}";
			EXPECT_FALSE (wellFormed (text)) << text;
		}
}

TEST (BridgeMessageTypes, StructuredMembersOfAnotherKindAreSkipped)
{
	const auto getState = read ("{\"type\":\"tavik.getState\",\"state\":5}");
	ASSERT_NE (getState, nullptr);
	EXPECT_FALSE (getState->hasState);
	EXPECT_EQ (getState->type, "tavik.getState");

	const char* const others[] = {"null", "true", "7", "\"{}\"", "[]", "{}"};
	for (const char* member : {"state", "map", "pads", "feeds", "stimulus"})
		for (const char* value : others)
		{
			const bool expected = (std::string (member) == "map" && value[0] == '[') ||
			                      (std::string (member) == "feeds" ? value[0] == '[' : value[0] == '{');
			const std::string text = "{\"" + std::string (member) + "\":" + value + "}";
			const auto m = read (text);
			ASSERT_NE (m, nullptr) << text;
			if (expected)
				continue;
			EXPECT_FALSE (m->hasState || m->hasCcMap || m->hasPads) << text;
			EXPECT_EQ (m->feeds, 0u) << text;
		}
	// What decides is the value's first byte: a skipped one is never looked into.
	EXPECT_FALSE (wellFormed ("{\"feeds\":[1]}"));
	EXPECT_TRUE (wellFormed ("{\"feeds\":{\"a\":1}}"));
	EXPECT_TRUE (wellFormed ("{\"stimulus\":[\"kind\",1]}"));
}

TEST (BridgeMessageTypes, ASkippedMemberLeavesAnEarlierOneAlone)
{
	const auto m = read ("{\"map\":[{\"cc\":1,\"path\":\"ir.size\"}],\"map\":null,"
	                     "\"state\":{\"variation\":4},\"state\":\"none\",\"pads\":{\"k\":{\"pan\":1}},\"pads\":[],"
	                     "\"stimulus\":{\"kind\":\"k\"},\"stimulus\":7,\"feeds\":[\"scope\"],\"feeds\":\"host\"}");
	ASSERT_NE (m, nullptr);
	EXPECT_TRUE (m->hasCcMap);
	EXPECT_EQ (m->ccMap.count, 1u);
	EXPECT_TRUE (m->hasState);
	EXPECT_EQ (m->state.variation, 4);
	EXPECT_TRUE (m->hasPads);
	EXPECT_EQ (m->pads.size (), 1u);
	EXPECT_EQ (m->stimulus.kind, "k");
	EXPECT_EQ (m->feeds, 32u);
}

TEST (BridgeMessageDiagnostics, CommandsFollowTheWholeType)
{
	const std::pair<const char*, DiagnosticCommand> cases[] = {
		{"tavik.diag.subscribe", DIAGNOSTIC_SUBSCRIBE},     {"tavik.diag.unsubscribe", DIAGNOSTIC_UNSUBSCRIBE},
		{"tavik.diag.stimulus", DIAGNOSTIC_STIMULUS},       {"tavik.diag.subscribe ", DIAGNOSTIC_COMMAND_NONE},
		{"tavik.diag.subscribeX", DIAGNOSTIC_COMMAND_NONE}, {"tavik.diag.", DIAGNOSTIC_COMMAND_NONE},
		{"Tavik.diag.subscribe", DIAGNOSTIC_COMMAND_NONE},  {"diag.subscribe", DIAGNOSTIC_COMMAND_NONE},
		{"tavik.ready", DIAGNOSTIC_COMMAND_NONE},           {"", DIAGNOSTIC_COMMAND_NONE},
	};
	for (const auto& c : cases)
	{
		const auto m = read ("{\"type\":\"" + std::string (c.first) + "\"}");
		ASSERT_NE (m, nullptr) << c.first;
		EXPECT_EQ (m->diagnosticCommand, c.second) << c.first;
	}
	// The last "type" decides, and a type unlike any message's is still
	// well formed (it is ignored by the dispatch, not refused here).
	EXPECT_EQ (read ("{\"type\":\"tavik.diag.stimulus\",\"type\":\"tavik.diag.unsubscribe\"}")->diagnosticCommand,
	           DIAGNOSTIC_UNSUBSCRIBE);
	EXPECT_EQ (read ("{\"type\":\"tavik.diag.subscribe\",\"type\":\"x\"}")->diagnosticCommand, DIAGNOSTIC_COMMAND_NONE);
	EXPECT_TRUE (wellFormed ("{\"type\":\"other.vendor.hello\"}"));
}

TEST (BridgeMessageDiagnostics, CommandIsSetOnlyByASuccessfulRead)
{
	const std::string text = "{\"type\":\"tavik.diag.subscribe\",\"hz\":\"fast\"}";
	BridgeMessage m;
	EXPECT_FALSE (parseBridgeMessage (text.data (), text.size (), m));
	EXPECT_EQ (m.diagnosticCommand, DIAGNOSTIC_COMMAND_NONE);
	EXPECT_EQ (m.type, "tavik.diag.subscribe");
}

TEST (BridgeMessageDiagnostics, FeedNamesSetTheirBits)
{
	const auto m = read ("{\"type\":\"tavik.diag.subscribe\",\"feeds\":[\"lifecycle\",\"transport\"],\"hz\":30}");
	ASSERT_NE (m, nullptr);
	EXPECT_EQ (m->diagnosticCommand, DIAGNOSTIC_SUBSCRIBE);
	EXPECT_EQ (m->feeds, 66u);
	EXPECT_EQ (m->hz, 30);
	EXPECT_EQ (read ("{\"feeds\":[\"lifecycle\",\"nope\",\"Transport\",\"\",\"transport\"]}")->feeds, 66u);
	EXPECT_EQ (read ("{\"feeds\":[\"host\",\"transport\",\"midiIn\",\"midiOut\",\"meters\",\"scope\",\"lifecycle\","
	                 "\"counters\",\"params\",\"presets\",\"clock\"]}")
	               ->feeds,
	           2047u);
	EXPECT_EQ (read ("{\"feeds\":[ ]}")->feeds, 0u);
	// Repeated "feeds" members accumulate rather than replace.
	EXPECT_EQ (read ("{\"feeds\":[\"meters\"],\"feeds\":[],\"feeds\":[\"scope\",\"meters\"]}")->feeds, 48u);
	EXPECT_EQ (read ("{\"feeds\":[\"midi\\u0049n\"]}")->feeds, 0u); // "\u" reads as "?"
}

TEST (BridgeMessageDiagnostics, FeedArraysHoldOnlyStrings)
{
	for (const char* feeds : {"[\"host\",1]", "[null]", "[[\"host\"]]", "[{\"host\":1}]", "[\"host\",]", "[,]",
	                          "[\"host\" \"clock\"]", "[\"host\"", "[\"host"})
	{
		const std::string text = "{\"feeds\":" + std::string (feeds) + "}";
		EXPECT_FALSE (wellFormed (text)) << text;
	}
}

TEST (BridgeMessageDiagnostics, FeedReaderOnItsOwn)
{
	const std::string text = " [ \"params\" , \"presets\" ] ,x";
	Reader r {text.data (), text.data () + text.size ()};
	uint32_t mask = 1;
	ASSERT_TRUE (parseDiagnosticFeedArray (r, mask));
	EXPECT_EQ (mask, 1u | 256u | 512u);
	EXPECT_EQ (std::string (r.cur, r.end), " ,x");
	const std::string object = "{\"host\":1}";
	Reader o {object.data (), object.data () + object.size ()};
	EXPECT_FALSE (parseDiagnosticFeedArray (o, mask));
}

TEST (BridgeMessageDiagnostics, StimulusReadsOnlyItsKind)
{
	const auto m = read ("{\"type\":\"tavik.diag.stimulus\",\"stimulus\":{\"level\":0.5,\"kind\":\"sine\","
	                     "\"params\":{\"hz\":[440]},\"note\":\"x\"}}");
	ASSERT_NE (m, nullptr);
	EXPECT_EQ (m->diagnosticCommand, DIAGNOSTIC_STIMULUS);
	EXPECT_EQ (m->stimulus.kind, "sine");
	EXPECT_EQ (m->note, 0); // a stimulus member is not a message member
	EXPECT_TRUE (read ("{\"stimulus\":{ }}")->stimulus.kind.empty ());
	for (const char* stimulus : {"{\"kind\":1}", "{\"kind\":null}", "{\"kind\":[\"a\"]}", "{\"kind\"}",
	                             "{\"kind\":\"a\",}", "{\"kind\":\"a\" \"b\":1}", "{\"kind\":\"a\""})
	{
		const std::string text = "{\"stimulus\":" + std::string (stimulus) + "}";
		EXPECT_FALSE (wellFormed (text)) << text;
	}
}

TEST (BridgeMessageDiagnostics, StimulusReaderOnItsOwn)
{
	const std::string text = "\t{\"kind\":\"noise\"}]";
	Reader r {text.data (), text.data () + text.size ()};
	std::string kind = "old";
	ASSERT_TRUE (parseDiagnosticStimulus (r, kind));
	EXPECT_EQ (kind, "noise");
	EXPECT_EQ (std::string (r.cur, r.end), "]");
	const std::string empty = "{}";
	Reader e {empty.data (), empty.data () + empty.size ()};
	ASSERT_TRUE (parseDiagnosticStimulus (e, kind));
	EXPECT_EQ (kind, "noise"); // an empty stimulus names no kind
}

TEST (BridgeMessageDocuments, StateDocuments)
{
	const auto m = read ("{\"type\":\"tavik.setState\",\"state\":{\"params\":{\"ir.size\":true,\"nope\":2},"
	                     "\"samplerZoneProgram\":\"one-shot-drum\",\"sampler\":{\"v\":1,\"pads\":{\"a\":{\"pan\":-1}}},"
	                     "\"unknown\":[{}]}}");
	ASSERT_NE (m, nullptr);
	ASSERT_TRUE (m->hasState);
	EXPECT_EQ (m->state.values[kIrSize], 1);
	EXPECT_TRUE (m->state.present[kIrSize]);
	EXPECT_TRUE (m->state.hasSamplerZoneProgram);
	EXPECT_EQ (m->state.samplerZoneProgram, ZONE_ONE_SHOT_DRUM);
	ASSERT_TRUE (m->state.hasPadOverrides);
	EXPECT_EQ (m->state.padOverrides[0].padKey, "a");
	EXPECT_FALSE (m->hasPads); // the state's pads are not the message's

	// Whatever fails a state document fails the message.
	for (const char* state : {"{\"params\":null}", "{\"variation\":\"2\"}", "{\"samplerAssetFault\":1}",
	                          "{\"params\":{\"ir.size\":tru}}", "{\"sampler\":{\"v\":\"1\"}}",
	                          "{\"ccMap\":{\"bindings\":[{\"curve\":1}]}}", "{\"params\":{}", "{\"params\":{}}}"})
	{
		const std::string text = "{\"state\":" + std::string (state) + "}";
		EXPECT_FALSE (wellFormed (text)) << text;
	}
}

TEST (BridgeMessageDocuments, ALaterStateReplacesAnEarlierOneWhole)
{
	const auto m = read ("{\"state\":{\"params\":{\"ir.size\":1.5},\"variation\":3,\"bank\":{\"id\":\"b\"},"
	                     "\"ccMap\":[{\"cc\":2,\"path\":\"ir.size\"}]},"
	                     "\"state\":{\"params\":{\"ir.damping\":0.25}}}");
	ASSERT_NE (m, nullptr);
	ASSERT_TRUE (m->hasState);
	EXPECT_TRUE (m->state.present[kIrDamping]);
	EXPECT_EQ (m->state.values[kIrDamping], 0.25);
	EXPECT_FALSE (m->state.present[kIrSize]);
	EXPECT_EQ (m->state.values[kIrSize], 0);
	EXPECT_EQ (m->state.variation, -1);
	EXPECT_FALSE (m->state.bankRef.present);
	EXPECT_FALSE (m->state.hasCcMap);
}

TEST (BridgeMessageDocuments, CcMaps)
{
	const auto array = read ("{\"type\":\"tavik.setCcMap\",\"map\":[{\"cc\":7,\"path\":\"master.level\"},"
	                         "{\"cc\":8},{\"cc\":9,\"path\":\"nope\"},5]}");
	ASSERT_NE (array, nullptr);
	EXPECT_TRUE (array->hasCcMap);
	ASSERT_EQ (array->ccMap.count, 1u);
	EXPECT_EQ (array->ccMap.bindings[0].cc, 7);
	EXPECT_EQ (array->ccMap.bindings[0].paramIndex, 17);

	const auto object = read ("{\"map\":{\"version\":7,\"bindings\":[]}}");
	ASSERT_NE (object, nullptr);
	EXPECT_TRUE (object->hasCcMap);
	EXPECT_EQ (object->ccMap.count, 0u);

	const auto noBindings = read ("{\"map\":{\"version\":1,\"bindings\":{}}}");
	ASSERT_NE (noBindings, nullptr);
	EXPECT_FALSE (noBindings->hasCcMap);

	// The last map read decides, even one that turns out to hold no map.
	const auto later = read ("{\"map\":[{\"cc\":7,\"path\":\"master.level\"}],\"map\":{\"version\":1}}");
	ASSERT_NE (later, nullptr);
	EXPECT_FALSE (later->hasCcMap);
	EXPECT_EQ (later->ccMap.count, 0u);

	for (const char* map : {"[{\"cc\":1,\"path\":2}]", "[{\"curve\":1}]", "{\"bindings\":[{]}", "[1,]"})
	{
		const std::string text = "{\"map\":" + std::string (map) + "}";
		EXPECT_FALSE (wellFormed (text)) << text;
	}
}

TEST (BridgeMessageDocuments, PadMaps)
{
	const auto m = read ("{\"type\":\"tavik.setPadOverrides\",\"pads\":{\"kick\":{\"gain\":3,\"transpose\":1.5},"
	                     "\"snare\":{\"muted\":0.5},\"tom\":\"x\"}}");
	ASSERT_NE (m, nullptr);
	ASSERT_TRUE (m->hasPads);
	ASSERT_EQ (m->pads.size (), 1u);
	EXPECT_EQ (m->pads[0].padKey, "kick");
	EXPECT_EQ (m->pads[0].mask, static_cast<uint32_t> (PAD_GAIN));

	const auto empty = read ("{\"pads\":{}}");
	ASSERT_NE (empty, nullptr);
	EXPECT_TRUE (empty->hasPads);
	EXPECT_TRUE (empty->pads.empty ());

	const auto later = read ("{\"pads\":{\"a\":{\"gain\":2}},\"pads\":{\"b\":{\"pan\":0.5}}}");
	ASSERT_NE (later, nullptr);
	ASSERT_EQ (later->pads.size (), 1u);
	EXPECT_EQ (later->pads[0].padKey, "b");

	for (const char* pads : {"{\"a\":{\"gain\"}}", "{\"a\":{\"gain\":2,}}", "{\"a\"}", "{\"a\":{\"gain\":tru}}"})
	{
		const std::string text = "{\"pads\":" + std::string (pads) + "}";
		EXPECT_FALSE (wellFormed (text)) << text;
	}
}

TEST (BridgeMessageHostileInput, EveryTruncationFails)
{
	const std::string valid[] = {
		kFullMessage,
		"{}",
		"{\"type\":\"tavik.ready\"}",
		"{\"type\":\"tavik.setParam\",\"path\":\"ir.size\",\"value\":1.25}",
		"{\"type\":\"tavik.diag.subscribe\",\"feeds\":[\"host\"],\"hz\":60}",
	};
	for (const std::string& text : valid)
	{
		ASSERT_TRUE (wellFormed (text)) << text;
		const auto cuts = tavik::test::feedHostile (text, [] (const char* bytes, size_t length) {
			auto m = std::make_unique<BridgeMessage> ();
			return parseBridgeMessage (bytes, length, *m);
		});
		EXPECT_TRUE (cuts.empty ()) << text << " accepted at " << (cuts.empty () ? 0 : cuts.front ());
	}
}

TEST (BridgeMessageHostileInput, DeepNestingFailsWherePossible)
{
	std::string deepObject;
	for (int i = 0; i < 10000; ++i)
		deepObject += "{\"a\":";
	deepObject += "1" + std::string (10000, '}');
	const std::string deepValues[] = {nested ('[', ']', 10000), deepObject};
	// Every place a value may nest, each reached through the member that
	// reads it.
	const std::string places[] = {
		"{\"x\":@}",
		"{\"state\":@}",
		"{\"state\":{\"x\":@}}",
		"{\"state\":{\"params\":{\"ir.size\":@}}}",
		"{\"state\":{\"ccMap\":@}}",
		"{\"state\":{\"ccMap\":[{\"cc\":@}]}}",
		"{\"state\":{\"sampler\":{\"pads\":{\"a\":{\"gain\":@}}}}}",
		"{\"state\":{\"bank\":{\"id\":@}}}",
		"{\"state\":{\"authoredState\":{\"bytes\":@}}}",
		"{\"map\":@}",
		"{\"map\":{\"bindings\":[@]}}",
		"{\"map\":[{\"min\":@}]}",
		"{\"map\":[{\"enabled\":@}]}",
		"{\"pads\":@}",
		"{\"pads\":{\"a\":@}}",
		"{\"pads\":{\"a\":{\"gain\":@}}}",
		"{\"feeds\":@}",
		"{\"stimulus\":@}",
		"{\"stimulus\":{\"x\":@}}",
	};
	for (const std::string& place : places)
		for (const std::string& deep : deepValues)
		{
			std::string text = place;
			text.replace (text.find ('@'), 1, deep);
			EXPECT_FALSE (wellFormed (text)) << place;
			text.resize (text.size () / 2); // unclosed as well
			EXPECT_FALSE (wellFormed (text)) << place;
		}
}

TEST (BridgeMessageHostileInput, SkippedMembersNestUpToThirtyTwoLevels)
{
	// Unknown members of the message and of its sub-objects are skipped at
	// depth 1, so an array nested 32 levels deep is the most they hold; the
	// CC map's own array holds elements that are skipped at depth 1.
	const std::pair<const char*, int> places[] = {
		{"{\"x\":@}", 32},
		{"{\"stimulus\":{\"x\":@}}", 32},
		{"{\"state\":{\"x\":@}}", 32},
		{"{\"state\":{\"bank\":{\"x\":@}}}", 32},
		{"{\"map\":@}", 33},
	};
	for (const auto& place : places)
	{
		std::string ok = place.first, deep = place.first;
		ok.replace (ok.find ('@'), 1, nested ('[', ']', place.second));
		deep.replace (deep.find ('@'), 1, nested ('[', ']', place.second + 1));
		EXPECT_TRUE (wellFormed (ok)) << place.first;
		EXPECT_FALSE (wellFormed (deep)) << place.first;
	}
}

TEST (BridgeMessageHostileInput, MegabyteMessagesAreReadInOnePass)
{
	const auto start = std::chrono::steady_clock::now ();
	const size_t megabyte = 1 << 20;

	const std::string longText (megabyte, 'g');
	const auto longType = read ("{\"type\":\"" + longText + "\",\"note\":1}");
	ASSERT_NE (longType, nullptr);
	EXPECT_EQ (longType->type, longText);
	EXPECT_FALSE (wellFormed ("{\"type\":\"" + longText + "}"));

	std::string numbers = "{\"x\":[";
	while (numbers.size () < megabyte)
		numbers += "1,-2.5e3,{\"a\":[null]},\"s\",";
	EXPECT_TRUE (wellFormed (numbers + "0],\"type\":\"tavik.ready\"}"));
	EXPECT_FALSE (wellFormed (numbers + "0,\"type\":\"tavik.ready\"}"));

	std::string feeds = "{\"feeds\":[";
	while (feeds.size () < megabyte)
		feeds += "\"nope\",\"clock\",";
	const auto manyFeeds = read (feeds + "\"host\"]}");
	ASSERT_NE (manyFeeds, nullptr);
	EXPECT_EQ (manyFeeds->feeds, 1025u);

	std::string bindings = "{\"map\":[";
	while (bindings.size () < megabyte)
		bindings += "{\"cc\":3,\"path\":\"ir.size\"},";
	const auto manyBindings = read (bindings + "{}]}");
	ASSERT_NE (manyBindings, nullptr);
	EXPECT_EQ (manyBindings->ccMap.count, CC_MAP_CAPACITY);

	std::string pads = "{\"pads\":{";
	for (int i = 0; pads.size () < megabyte; ++i)
		pads += "\"p" + std::to_string (i % 300) + "\":{\"gain\":2},";
	const auto manyPads = read (pads + "\"last\":{}}}");
	ASSERT_NE (manyPads, nullptr);
	EXPECT_TRUE (manyPads->hasPads);
	EXPECT_TRUE (manyPads->pads.empty ()); // more members than pads can exist

	std::string states = "{";
	while (states.size () < megabyte)
		states += "\"state\":{\"variation\":1},";
	EXPECT_TRUE (wellFormed (states + "\"type\":\"tavik.setState\"}"));

	const auto digits = read ("{\"value\":" + std::string (megabyte, '9') + "}");
	ASSERT_NE (digits, nullptr);
	EXPECT_EQ (digits->value, INFINITY);

	// A read that is not linear in the text's length takes minutes here.
	EXPECT_LT (std::chrono::steady_clock::now () - start, std::chrono::seconds (20));
}

TEST (BridgeMessageHostileInput, NulBytesAreOrdinaryStringBytes)
{
	const auto type = read ("{\"type\":\"tavik.diag.subscribe\0\",\"path\":\"ir.size\0x\"}"s);
	ASSERT_NE (type, nullptr);
	EXPECT_EQ (type->type, "tavik.diag.subscribe\0"s);
	EXPECT_EQ (type->diagnosticCommand, DIAGNOSTIC_COMMAND_NONE);
	EXPECT_EQ (type->path, "ir.size\0x"s);

	EXPECT_EQ (read ("{\"feeds\":[\"host\0\",\"clock\0x\",\"\0\",\"scope\"]}"s)->feeds, 32u);
	EXPECT_EQ (diagnosticFeedBit ("host\0"s), 0u);
	EXPECT_EQ (diagnosticFeedBit ("host"s), 1u);
	EXPECT_EQ (read ("{\"stimulus\":{\"kind\0\":5,\"kind\":\"a\0b\"}}"s)->stimulus.kind, "a\0b"s);

	// Outside strings a NUL is no whitespace and no value.
	for (const std::string& text :
	     {"\0{\"type\":\"a\"}"s, "{\0\"type\":\"a\"}"s, "{\"type\"\0:\"a\"}"s, "{\"type\":\0\"a\"}"s,
	      "{\"type\":\"a\"\0}"s, "{\"type\":\"a\"}\0"s, "{\"value\":1\0}"s, "{\"x\":[1,\0]}"s, "{\"x\":\0}"s})
		EXPECT_FALSE (wellFormed (text)) << text.size ();
}

TEST (BridgeMessageHostileInput, NulBytesNeverShortenNestedNames)
{
	// A NUL inside a name read by a nested reader is part of the name, so it
	// never matches the shorter known name before it.
	const auto state = read ("{\"state\":{\"params\":{\"ir.size\0\":2,\"ir.damping\":0.5},"
	                         "\"ccMap\":[{\"cc\":1,\"path\":\"ir.size\0\"},{\"cc\":2,\"path\":\"ir.damping\"}]}}"s);
	ASSERT_NE (state, nullptr);
	EXPECT_FALSE (state->state.present[kIrSize]);
	EXPECT_TRUE (state->state.present[kIrDamping]);
	ASSERT_EQ (state->state.ccMap.count, 1u);
	EXPECT_EQ (state->state.ccMap.bindings[0].cc, 2);

	const auto map = read ("{\"map\":[{\"cc\":1,\"path\":\"ir.size\0\",\"curve\":\"log\0\"},"
	                       "{\"cc\":2,\"path\":\"ir.size\",\"curve\":\"log\0\",\"takeover\":\"pickup\0\"}]}"s);
	ASSERT_NE (map, nullptr);
	ASSERT_EQ (map->ccMap.count, 1u);
	EXPECT_EQ (map->ccMap.bindings[0].cc, 2);
	EXPECT_EQ (map->ccMap.bindings[0].curve, CC_CURVE_LINEAR);
	EXPECT_EQ (map->ccMap.bindings[0].takeover, CC_TAKEOVER_IMMEDIATE);

	// The pad map's writer would cut such keys into one shorter key.
	const auto pads = read ("{\"pads\":{\"kick\0a\":{\"gain\":2},\"kick\0b\":{\"gain\":3},\"kick\":{\"pan\":1}}}"s);
	ASSERT_NE (pads, nullptr);
	ASSERT_EQ (pads->pads.size (), 1u);
	EXPECT_EQ (pads->pads[0].padKey, "kick");
	EXPECT_EQ (pads->pads[0].mask, static_cast<uint32_t> (PAD_PAN));
}

TEST (BridgeMessageHostileInput, InvalidUtf8IsCarriedAsItIs)
{
	const std::string bytes = "\xff\xfe\xc3\x28\xed\xa0\x80\xc0\xaf\xf4\x90\x80\x80\xe2\x82";
	const auto m = read ("{\"type\":\"" + bytes + "\",\"" + bytes + "\":[\"" + bytes + "\"],\"id\":\"\xc3\"}");
	ASSERT_NE (m, nullptr);
	EXPECT_EQ (m->type, bytes);
	EXPECT_EQ (m->id, "\xc3");
	const auto feeds = read ("{\"feeds\":[\"ho\xc3\xa9st\",\"host\xff\"]}");
	ASSERT_NE (feeds, nullptr);
	EXPECT_EQ (feeds->feeds, 0u);
	for (const std::string& text : {"\xc3{\"type\":\"a\"}"s, "{\xc3\"type\":\"a\"}"s, "{\"type\":\"a\"}\xc3\xa9"s,
	                                "{\"x\":\xff}"s, "{\"value\":1\xe2\x80\xa8}"s})
		EXPECT_FALSE (wellFormed (text)) << text;
}

} // namespace
