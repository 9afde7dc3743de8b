// The plug-in state document: parameter values, variation, CC map, sampler
// facts and pad overrides, an optional sample-bank reference and an opaque
// authored block. Written by the processor, read by processor and controller.
#pragma once

#include "cc_map.h"
#include "parameter_table.h"
#include "sampler_pad_overrides.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavik {

enum SamplerAssetDiagnostic : uint32_t
{
	SAMPLER_ASSET_NONE = 0,
	SAMPLER_ASSET_MISSING_IN_MEMORY = 0x53410001,
	SAMPLER_ASSET_CORRUPT_IN_MEMORY = 0x53410002,
	SAMPLER_ASSET_MOVED_IN_MEMORY = 0x53410003,
	SAMPLER_ASSET_CHANGED_IN_MEMORY = 0x53410004,
	SAMPLER_ASSET_UNSUPPORTED_STEREO_SOURCE = 0x53410005,
};

enum SamplerZoneProgram : uint32_t
{
	ZONE_LEGACY_SINGLE_ZONE = 0,
	ZONE_ONE_SHOT_DRUM = 1,
	ZONE_LOOPED_PAD_RELEASE = 2,
	ZONE_VELOCITY_ROUND_ROBIN = 3,
	ZONE_KEY_ZONES_PITCH = 4,
	ZONE_STEREO_MULTI_MIC = 5,
	ZONE_CHOKE_AND_SUSTAIN = 6,
	ZONE_VOICE_LIMIT_STEAL = 7,
};

const char* samplerAssetDiagnosticName (SamplerAssetDiagnostic fault);
bool samplerZoneProgramNameKnown (const char* name);
SamplerZoneProgram samplerZoneProgramFromName (const char* name);
const char* samplerZoneProgramName (SamplerZoneProgram program);
bool bankSourceNameKnown (const char* name);

/** A bank reference to write; every text optional. */
struct BankStateRefOut
{
	const char* id = nullptr;
	const char* bankVersion = nullptr;
	const char* sha256 = nullptr;
	const char* source = nullptr;
	const char* presetId = nullptr;
	const char* instrument = nullptr;
	const char* locator = nullptr;
};

struct AuthoredStateOut
{
	const uint8_t* bytes = nullptr;
	size_t count = 0;
	uint32_t version = 0;
};

/** The bank reference as read, in fixed text fields. */
struct BankStateRef
{
	char id[128] = {};
	char bankVersion[32] = {};
	char sha256[65] = {};
	char source[24] = {};
	char presetId[64] = {};
	char instrument[64] = {};
	char locator[1024] = {};
	bool hasLocator = false;
	bool present = false;
	bool hasPresetId = false;
};

constexpr size_t AUTHORED_STATE_MAX_BYTES = 1048576;

/** The preset a saved sound came from, as the controller's own chunk keeps
 *  it: {"id":…,"name":…,"edited":…}. Longer texts than a preset id or name
 *  can be leave no reference. */
struct PresetRef
{
	static constexpr size_t MAX_TEXT_BYTES = 95;
	std::string id;
	std::string name;
	bool edited = false;
	bool present = false;
};

/** Appends the "preset" object of a reference. */
void writePresetRefJson (std::string& out, const PresetRef& ref);

struct StateChunk
{
	double values[TAVIK_PARAM_COUNT] = {};
	bool present[TAVIK_PARAM_COUNT] = {};
	int32_t variation = -1;
	CcMap ccMap;
	bool hasCcMap = false;
	SamplerAssetDiagnostic samplerAssetFault = SAMPLER_ASSET_NONE;
	bool hasSamplerAssetFault = false;
	SamplerZoneProgram samplerZoneProgram = ZONE_LEGACY_SINGLE_ZONE;
	bool hasSamplerZoneProgram = false;
	SamplerPadOverrides padOverrides;
	bool hasPadOverrides = false;
	std::vector<uint8_t> authoredBytes;
	uint32_t authoredVersion = 0;
	bool hasAuthoredState = false;
	BankStateRef bankRef;
	PresetRef preset;
};

std::string writeStateJson (const double* values, int variation, const CcMap* ccMap, SamplerAssetDiagnostic fault,
                            SamplerZoneProgram zoneProgram, const BankStateRefOut* bank,
                            const SamplerPadOverrides* padOverrides, const AuthoredStateOut* authored);

/** Reads one state document object at the cursor, by the rules of
 *  parseStateJson but leaving whatever follows it to the caller: the reader
 *  of state documents nested in other documents. */
bool readStateDocument (Reader& r, StateChunk& chunk);

/** True when the text is one valid state document. The chunk is filled as
 *  the parser goes: use a fresh chunk and adopt it only on success. */
bool parseStateJson (const char* text, size_t length, StateChunk& chunk);

/** 2 when the chunk names a bank (present, non-empty id), else 0. */
uint32_t resolveBankStateRef (const StateChunk& chunk, uint32_t& unused);

} // namespace tavik
