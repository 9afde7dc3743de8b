// Snapshots of the plug-in's environment: the host and its processing
// configuration (HostFacts) and the transport at one audio block
// (TransportFact). Both cross from processor to controller as exact byte
// images, so their layouts are fixed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavik {

struct HostBusFact
{
	char id[32];
	bool isInput;
	uint8_t padding0[3];
	int32_t channels;
	bool active;
	char layout[24];
	uint8_t padding1[3];
};

constexpr uint32_t HOST_FACTS_MAX_BUSES = 8;

struct HostFacts
{
	char hostName[128];
	char hostVersion[64];
	char hostPath[512];
	uint8_t validatorHost; // 0 none, 1 pluginval, 2 clap-validator, 3 auval, 4 steinberg-validator, 5 tavik-probe
	uint8_t padding0[7];
	double sampleRate;
	int32_t maxBlockFrames;
	int32_t lastBlockFrames; // -1 unknown
	uint8_t processMode;     // 0 realtime, 1 offline, 2 prefetch
	uint8_t padding1[3];
	int32_t sampleSize;
	int32_t latencySamples;
	uint8_t tailKind; // 0 unreported, 1 samples, 2 infinite
	uint8_t padding2[3];
	int32_t tailSamples;
	uint8_t padding3[4];
	double internalSampleRate;
	bool bypassKnown;
	bool bypassed;
	uint8_t padding4[2];
	HostBusFact buses[HOST_FACTS_MAX_BUSES];
	uint32_t busCount;

	/** All zero but lastBlockFrames -1 and sampleSize 32. */
	HostFacts ();

	/** Appends a bus (texts cut at 31 and 23 bytes); ignored with 8 buses present. */
	void addBus (const char* id, bool isInput, int32_t channels, bool active, const char* layout);
};

static_assert (sizeof (HostBusFact) == 68, "bus entry layout");
static_assert (offsetof (HostBusFact, isInput) == 32 && offsetof (HostBusFact, channels) == 36 &&
                   offsetof (HostBusFact, active) == 40 && offsetof (HostBusFact, layout) == 41,
               "bus entry layout");
static_assert (sizeof (HostFacts) == 1312, "host facts layout");
static_assert (offsetof (HostFacts, hostVersion) == 128 && offsetof (HostFacts, hostPath) == 192 &&
                   offsetof (HostFacts, validatorHost) == 704 && offsetof (HostFacts, sampleRate) == 712 &&
                   offsetof (HostFacts, maxBlockFrames) == 720 && offsetof (HostFacts, lastBlockFrames) == 724 &&
                   offsetof (HostFacts, processMode) == 728 && offsetof (HostFacts, sampleSize) == 732 &&
                   offsetof (HostFacts, latencySamples) == 736 && offsetof (HostFacts, tailKind) == 740 &&
                   offsetof (HostFacts, tailSamples) == 744 && offsetof (HostFacts, internalSampleRate) == 752 &&
                   offsetof (HostFacts, bypassKnown) == 760 && offsetof (HostFacts, bypassed) == 761 &&
                   offsetof (HostFacts, buses) == 764 && offsetof (HostFacts, busCount) == 1308,
               "host facts layout");

struct TransportFact
{
	uint64_t atFrame;
	uint8_t source; // 0 none, 1 host, 2 internal
	bool playing;
	bool recording;
	bool looping;
	bool hasTempo;
	bool hasTimeSignature;
	bool hasPosition;
	bool hasLoop;
	bool canSetTempo;
	uint8_t padding0[7];
	double tempo;
	int32_t numerator;
	int32_t denominator;
	double ppqPosition;
	double barPositionPpq;
	double loopStartPpq;
	double loopEndPpq;
	double sampleRate;
	int64_t projectTimeSamples;

	/** A zero fact at 120 bpm in 4/4. */
	TransportFact ();

	/** Whether the transport state differs (positions are not compared). */
	bool differsFrom (const TransportFact& other) const;
};

static_assert (sizeof (TransportFact) == 88, "transport fact layout");
static_assert (offsetof (TransportFact, source) == 8 && offsetof (TransportFact, canSetTempo) == 16 &&
                   offsetof (TransportFact, tempo) == 24 && offsetof (TransportFact, numerator) == 32 &&
                   offsetof (TransportFact, denominator) == 36 && offsetof (TransportFact, ppqPosition) == 40 &&
                   offsetof (TransportFact, barPositionPpq) == 48 && offsetof (TransportFact, loopStartPpq) == 56 &&
                   offsetof (TransportFact, loopEndPpq) == 64 && offsetof (TransportFact, sampleRate) == 72 &&
                   offsetof (TransportFact, projectTimeSamples) == 80,
               "transport fact layout");

/** Transport facts from the audio thread (one producer) to the thread that
 *  sends messages (one consumer), which only wants the newest. */
class DiagnosticTransportRing
{
public:
	static constexpr uint32_t CAPACITY = 32;

	DiagnosticTransportRing ();

	void push (const TransportFact& fact);
	bool drainLatest (TransportFact& out);
	uint32_t overwritten () const { return overwrittenCount.load (); }

private:
	TransportFact slots[CAPACITY];
	std::atomic<uint32_t> writeIndex {0};
	std::atomic<uint32_t> readIndex {0};
	std::atomic<uint32_t> overwrittenCount {0};
};

void writeDiagnosticHostJson (std::string& out, const HostFacts& facts);
bool writeDiagnosticHostDeltaJson (std::string& out, const HostFacts& previous, const HostFacts& current);
const char* diagnosticHostChangeKind (const HostFacts& previous, const HostFacts& current);
bool writeDiagnosticHostChangedJson (std::string& out, const HostFacts& previous, const HostFacts& current,
                                     uint32_t sequence, double timeMs);
void writeDiagnosticTransportJson (std::string& out, const TransportFact& fact);

} // namespace tavik
