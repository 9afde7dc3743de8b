#include "hello_blocks.h"

#include "fixed_text.h"
#include "json_writer.h"
#include "product_identity.h"

#include <cstring>

namespace tavik {

namespace {

struct FeedName
{
	const char* name;
	uint32_t bit;
};

const FeedName kFeeds[] = {
	{"host", 1},       {"transport", 2}, {"midiIn", 4},    {"midiOut", 8},   {"meters", 16},  {"scope", 32},
	{"lifecycle", 64}, {"counters", 128}, {"params", 256}, {"presets", 512}, {"clock", 1024},
};

const char* const kTargets[] = {"vst3", "clap", "au", "standalone", "offline"};

void appendTextMember (std::string& out, const char* name, const std::string& text)
{
	if (text.empty ())
		return;
	out += ",\"";
	out += name;
	out += "\":";
	jsonAppendQuoted (out, text.c_str ());
}

void appendCountMember (std::string& out, const char* name, int64_t value)
{
	if (value < 0)
		return;
	out += ",\"";
	out += name;
	out += "\":";
	out += std::to_string (value);
}

} // namespace

uint32_t diagnosticFeedBit (const char* name)
{
	if (!name)
		return 0;
	for (const FeedName& feed : kFeeds)
		if (std::strcmp (feed.name, name) == 0)
			return feed.bit;
	return 0;
}

void writeDiagnosticIdentityJson (std::string& out, DiagnosticTarget target)
{
	writeDiagnosticIdentityJson (out, target, readUiBundleFacts ());
}

void writeDiagnosticIdentityJson (std::string& out, DiagnosticTarget target, const UiBundleFacts& ui)
{
	out += "{\"moduleId\":";
	jsonAppendQuoted (out, PRODUCT_PACKAGE_ID);
	out += ",\"name\":";
	jsonAppendQuoted (out, PRODUCT_NAME);
	out += ",\"vendor\":";
	jsonAppendQuoted (out, PRODUCT_VENDOR);
	out += ",\"version\":";
	jsonAppendQuoted (out, PRODUCT_VERSION);
	out += ",\"hostClass\":\"instrument\",\"target\":";
	jsonAppendQuoted (out, target <= TARGET_OFFLINE ? kTargets[target] : "offline");
	out += ",\"sdkVersion\":\"0.0.0\",\"build\":{\"mode\":\"production\",\"configuration\":\"Release\"}";

	const std::string buildTime = fixedText (ui.buildTime);
	const std::string revision = fixedText (ui.sourceRevision);
	const std::string sha256 = fixedText (ui.sha256);
	if (!buildTime.empty () || !revision.empty () || !sha256.empty ())
	{
		out += ",\"ui\":{";
		bool first = true;
		for (const auto& member : {std::make_pair ("buildTime", buildTime), std::make_pair ("sourceRevision", revision),
		                           std::make_pair ("sha256", sha256)})
		{
			if (member.second.empty ())
				continue;
			if (!first)
				out += ",";
			first = false;
			out += "\"";
			out += member.first;
			out += "\":";
			jsonAppendQuoted (out, member.second.c_str ());
		}
		out += "}";
	}
	out += ",\"ratePolicy\":{\"mode\":\"host-native\"},\"state\":{\"version\":1,\"maxBytes\":65536},"
	       "\"ports\":[{\"id\":\"out\",\"kind\":\"audio\",\"direction\":\"output\",\"busRole\":\"main\","
	       "\"channels\":2},{\"id\":\"midi-in\",\"kind\":\"midi\",\"direction\":\"input\",\"busRole\":\"main\"}]}";
}

void writeDiagnosticCapabilitiesJson (std::string& out) { out += "{\"feeds\":[],\"commands\":[],\"maxFeedHz\":0}"; }

void writeDiagnosticBankJson (std::string& out, const BankFacts& bank)
{
	out += "{\"id\":";
	jsonAppendQuoted (out, fixedText (bank.id).c_str ());
	appendTextMember (out, "name", fixedText (bank.name));
	appendTextMember (out, "kind", fixedText (bank.kind));
	appendTextMember (out, "version", fixedText (bank.version));
	appendTextMember (out, "sha256", fixedText (bank.sha256));
	appendTextMember (out, "source", fixedText (bank.source));
	appendTextMember (out, "entryId", fixedText (bank.entryId));
	appendCountMember (out, "index", bank.index);
	appendCountMember (out, "zoneCount", bank.zoneCount);
	appendCountMember (out, "roundRobinGroups", bank.roundRobinGroups);
	appendCountMember (out, "chokeGroups", bank.chokeGroups);
	appendCountMember (out, "velocityLayers", bank.velocityLayers);
	appendCountMember (out, "padCount", bank.padCount);
	out += "}";
}

void writeDiagnosticPresetStateJson (std::string& out, const PresetStateFacts& facts)
{
	out += "{\"factoryCount\":";
	out += std::to_string (facts.factoryCount);
	appendTextMember (out, "currentId", fixedText (facts.currentId));
	appendTextMember (out, "currentName", fixedText (facts.currentName));
	out += ",\"dirty\":";
	out += facts.dirty ? "true" : "false";
	out += ",\"userPresetsSupported\":";
	out += facts.userPresetsSupported ? "true" : "false";
	appendCountMember (out, "lastStateBytes", facts.lastStateBytes);
	if (facts.bank.present && facts.bank.id[0])
	{
		out += ",\"bank\":";
		writeDiagnosticBankJson (out, facts.bank);
	}
	out += "}";
}

int compiledBankCount () { return 0; }

bool describeCompiledBank (int, BankFacts& facts)
{
	facts = BankFacts ();
	return false;
}

bool writeDiagnosticBanksJson (std::string&) { return false; }

void appendDiagnosticHelloBlocks (std::string& out, DiagnosticTarget target, const HostFacts& host,
                                  const PresetStateFacts& presets)
{
	out += ",\"identity\":";
	writeDiagnosticIdentityJson (out, target);
	if (host.sampleRate > 0)
	{
		out += ",\"host\":";
		writeDiagnosticHostJson (out, host);
	}
	out += ",\"diagnostics\":";
	writeDiagnosticCapabilitiesJson (out);
	out += ",\"presetState\":";
	writeDiagnosticPresetStateJson (out, presets);
}

} // namespace tavik
