// The diagnostic blocks of the editor's hello message: the module's
// identity, the host configuration, the diagnostic capabilities and the
// preset state; and the bank facts block. The feed-name subscription bits
// live with the documents (diagnostic_feeds.h), which the bridge reader shares.
#pragma once

#include "diagnostic_feeds.h"
#include "host_facts.h"
#include "ui_manifest.h"

#include <cstdint>
#include <string>

namespace tavik {

enum DiagnosticTarget : uint32_t
{
	TARGET_VST3 = 0,
	TARGET_CLAP = 1,
	TARGET_AU = 2,
	TARGET_STANDALONE = 3,
	TARGET_OFFLINE = 4,
	TARGET_LV2 = 5,
};

/** The target's name ("vst3", "clap", "au", "standalone", "offline",
 *  "lv2"); any other value is "offline". */
const char* diagnosticTargetName (DiagnosticTarget target);

struct BankFacts
{
	bool present = false;
	int32_t index = -1;
	char id[128] = {};
	char name[128] = {};
	char kind[16] = {};
	char version[32] = {};
	char sha256[65] = {};
	char source[24] = {};
	char entryId[96] = {};
	int32_t zoneCount = -1;
	int32_t roundRobinGroups = -1;
	int32_t chokeGroups = -1;
	int32_t velocityLayers = -1;
	int32_t padCount = -1;
};

struct PresetStateFacts
{
	uint32_t factoryCount = 0;
	char currentId[96] = {};
	char currentName[96] = {};
	bool dirty = false;
	bool userPresetsSupported = false;
	int64_t lastStateBytes = -1;
	BankFacts bank;
};

void writeDiagnosticIdentityJson (std::string& out, DiagnosticTarget target);
/** The identity with the given UI bundle facts (the plain form uses this
 *  product's own, read once per process). */
void writeDiagnosticIdentityJson (std::string& out, DiagnosticTarget target, const UiBundleFacts& ui);
void writeDiagnosticCapabilitiesJson (std::string& out);
void writeDiagnosticPresetStateJson (std::string& out, const PresetStateFacts& facts);
void writeDiagnosticBankJson (std::string& out, const BankFacts& bank);

/** Sample banks compiled into the module: none in this product. */
int compiledBankCount ();
bool describeCompiledBank (int index, BankFacts& facts);
bool writeDiagnosticBanksJson (std::string& out);

/** Appends the hello blocks as members of an object the caller opened. */
void appendDiagnosticHelloBlocks (std::string& out, DiagnosticTarget target, const HostFacts& host,
                                  const PresetStateFacts& presets);

} // namespace tavik
