// The inbound bridge message: one JSON object that the web editor sends to
// the plug-in, read into a record for the controller to act on. Messages
// the other way are plain texts written by whoever sends them.
#pragma once

#include "cc_map.h"
#include "json_reader.h"
#include "sampler_pad_overrides.h"
#include "state_document.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace tavik {

/** What a diagnostic message asks for, named by its "type"; values are
 *  part of the message record. */
enum DiagnosticCommand : uint8_t
{
	DIAGNOSTIC_COMMAND_NONE = 0,
	DIAGNOSTIC_SUBSCRIBE = 1,   // "tavik.diag.subscribe"
	DIAGNOSTIC_UNSUBSCRIBE = 2, // "tavik.diag.unsubscribe"
	DIAGNOSTIC_STIMULUS = 3,    // "tavik.diag.stimulus"
};

/** A stimulus the editor asks the diagnostics to apply; a message carries
 *  only its kind. */
struct DiagnosticStimulus
{
	std::string kind;
};

/** One inbound message, every member at its default until the message
 *  sets it. Construct a fresh one per message: it holds a whole state
 *  document and CC map (several kilobytes), so callers allocate it on the
 *  heap, and constructing it allocates nothing beyond that one block. */
struct BridgeMessage
{
	std::string type;
	std::string path;
	std::string id;
	std::string source;
	std::string bankPath;
	std::string url;
	std::string sha256;
	std::string instrument;
	std::string name;       // a user preset's name
	bool overwrite = false; // a saved preset may replace one of the same name
	double value = 0;
	bool hasValue = false;
	double note = 0;
	double velocity = 0;
	StateChunk state;
	bool hasState = false;
	CcMap ccMap;
	bool hasCcMap = false;
	SamplerPadOverrides pads;
	bool hasPads = false;
	DiagnosticCommand diagnosticCommand = DIAGNOSTIC_COMMAND_NONE;
	uint32_t feeds = 0; // diagnosticFeedBit of every feed named
	double hz = 0;
	DiagnosticStimulus stimulus;
};

static_assert (std::is_nothrow_default_constructible_v<BridgeMessage>,
               "a message record must be constructible without allocating");

/** True when the text is one well-formed message object with nothing but
 *  whitespace after it (an empty object is taken at once, whatever follows
 *  it). `out` must be freshly constructed; it is filled as far as reading
 *  got either way and means nothing when this returns false. */
bool parseBridgeMessage (const char* json, size_t length, BridgeMessage& out);

/** Reads an array of feed names at the cursor and ORs the bit of each into
 *  `mask` (unknown names add nothing). Every element must be a string. */
bool parseDiagnosticFeedArray (Reader& r, uint32_t& mask);

/** Reads a stimulus object at the cursor: a string "kind" goes into `kind`,
 *  other members are skipped. A "kind" that is not a string fails. */
bool parseDiagnosticStimulus (Reader& r, std::string& kind);

} // namespace tavik
