// A sample bank as the loader stages it for the kernel: the manifest's
// identity and listings, the chosen instrument or kit, one mono sample arena
// and the zones that play from it. Plain values, copied or shared whole.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tavik {

/** "Not given" for the unsigned zone members that can be absent. */
constexpr uint32_t STAGED_UNSET = 0xFFFFFFFFu;

/** One instrument or kit the manifest lists. */
struct StagedPositioning
{
	std::string id;
	std::string name;
	std::string kind; // "instruments" or "kits"
};

struct StagedPreset
{
	std::string id;
	std::string name;
	std::string instrument;
	std::vector<std::pair<std::string, double>> params;
};

struct StagedZone
{
	std::string id;
	uint32_t assetOffset = 0; // where the zone's whole asset lies in the arena
	uint32_t assetFrames = 0;
	uint32_t requestedLoopStart = STAGED_UNSET; // as written, usable or not
	uint32_t requestedLoopEnd = STAGED_UNSET;
	uint32_t requestedCrossfade = STAGED_UNSET; // as written, only for a usable loop
	uint32_t sampleStart = 0;                   // the part of the arena the zone plays
	uint32_t frameCount = 0;
	double sampleRate = 0.0; // of the zone's asset
	uint32_t lowKey = 0;
	uint32_t highKey = 127;
	uint32_t rootKey = 60;
	bool keyTracking = true;
	uint32_t lowVelocity = 0;
	uint32_t highVelocity = 127;
	double gain = 1.0;
	double pan = 0.0;
	double fineTuneCents = 0.0;
	uint32_t roundRobinGroup = 0;
	uint32_t chokeGroup = 0;
	uint32_t trigger = 0; // 0 attack, 1 release, 2 legato
	bool looping = false;
	uint32_t loopStart = 0; // loop points relative to sampleStart
	uint32_t loopEnd = 0;
	uint32_t loopCrossfade = 0;
	double attackSeconds = 0.001;
	double releaseSeconds = 0.05;
	bool reverse = false;
	double filterCutoffHz = 0.0;
	double filterResonance = 0.0;
};

struct StagedBank
{
	std::string id;
	std::string version;
	std::string instrumentId;
	std::string instrumentName;
	std::string instrumentKind; // "instruments" or "kits"
	std::vector<StagedPositioning> positioning;
	std::vector<StagedPreset> presets;
	std::string sha256; // of the manifest's bytes, lowercase hex
	std::string name;
	std::vector<float> samples; // the mono sample arena
	std::vector<StagedZone> zones;
	double sampleRate = 48000.0; // of the first zone's audio
};

} // namespace tavik
