#include "hello_blocks.h"

#include "fixed_text.h"
#include "json_writer.h"
#include "product_identity.h"

namespace tavik {

namespace {

const char* const kTargets[] = {"vst3", "clap", "au", "standalone", "offline", "lv2"};

// Counts below zero are unknown and left out.
void optionalCount (JsonMembers& m, const char* name, int64_t value)
{
	if (value >= 0)
		m.integer (name, value);
}

} // namespace

const char* diagnosticTargetName (DiagnosticTarget target)
{
	return target <= TARGET_LV2 ? kTargets[target] : "offline";
}

void writeDiagnosticIdentityJson (std::string& out, DiagnosticTarget target)
{
	writeDiagnosticIdentityJson (out, target, readUiBundleFacts ());
}

void writeDiagnosticIdentityJson (std::string& out, DiagnosticTarget target, const UiBundleFacts& ui)
{
	JsonMembers m = JsonMembers::open (out);
	m.text ("moduleId", PRODUCT_PACKAGE_ID);
	m.text ("name", PRODUCT_NAME);
	m.text ("vendor", PRODUCT_VENDOR);
	m.text ("version", PRODUCT_VERSION);
	m.text ("hostClass", "instrument");
	m.text ("target", diagnosticTargetName (target));
	m.text ("sdkVersion", "0.0.0");
	m.raw ("build", "{\"mode\":\"production\",\"configuration\":\"Release\"}");

	const std::string buildTime = fixedText (ui.buildTime);
	const std::string revision = fixedText (ui.sourceRevision);
	const std::string sha256 = fixedText (ui.sha256);
	if (!buildTime.empty () || !revision.empty () || !sha256.empty ())
	{
		JsonMembers facts = m.object ("ui");
		facts.optionalText ("buildTime", buildTime.c_str ());
		facts.optionalText ("sourceRevision", revision.c_str ());
		facts.optionalText ("sha256", sha256.c_str ());
		facts.close ();
	}
	m.raw ("ratePolicy", "{\"mode\":\"host-native\"}");
	m.raw ("state", "{\"version\":1,\"maxBytes\":65536}");
	m.raw ("ports", "[{\"id\":\"out\",\"kind\":\"audio\",\"direction\":\"output\",\"busRole\":\"main\","
	                "\"channels\":2},{\"id\":\"midi-in\",\"kind\":\"midi\",\"direction\":\"input\","
	                "\"busRole\":\"main\"}]");
	m.close ();
}

void writeDiagnosticCapabilitiesJson (std::string& out) { out += "{\"feeds\":[],\"commands\":[],\"maxFeedHz\":0}"; }

void writeDiagnosticBankJson (std::string& out, const BankFacts& bank)
{
	JsonMembers m = JsonMembers::open (out);
	m.text ("id", fixedText (bank.id).c_str ());
	m.optionalText ("name", fixedText (bank.name).c_str ());
	m.optionalText ("kind", fixedText (bank.kind).c_str ());
	m.optionalText ("version", fixedText (bank.version).c_str ());
	m.optionalText ("sha256", fixedText (bank.sha256).c_str ());
	m.optionalText ("source", fixedText (bank.source).c_str ());
	m.optionalText ("entryId", fixedText (bank.entryId).c_str ());
	optionalCount (m, "index", bank.index);
	optionalCount (m, "zoneCount", bank.zoneCount);
	optionalCount (m, "roundRobinGroups", bank.roundRobinGroups);
	optionalCount (m, "chokeGroups", bank.chokeGroups);
	optionalCount (m, "velocityLayers", bank.velocityLayers);
	optionalCount (m, "padCount", bank.padCount);
	m.close ();
}

void writeDiagnosticPresetStateJson (std::string& out, const PresetStateFacts& facts)
{
	JsonMembers m = JsonMembers::open (out);
	m.integer ("factoryCount", facts.factoryCount);
	m.optionalText ("currentId", fixedText (facts.currentId).c_str ());
	m.optionalText ("currentName", fixedText (facts.currentName).c_str ());
	m.boolean ("dirty", facts.dirty);
	m.boolean ("userPresetsSupported", facts.userPresetsSupported);
	optionalCount (m, "lastStateBytes", facts.lastStateBytes);
	if (facts.bank.present && facts.bank.id[0])
		writeDiagnosticBankJson (m.member ("bank"), facts.bank);
	m.close ();
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
	JsonMembers m (out, true);
	writeDiagnosticIdentityJson (m.member ("identity"), target);
	if (host.sampleRate > 0)
		writeDiagnosticHostJson (m.member ("host"), host);
	writeDiagnosticCapabilitiesJson (m.member ("diagnostics"));
	writeDiagnosticPresetStateJson (m.member ("presetState"), presets);
}

} // namespace tavik
