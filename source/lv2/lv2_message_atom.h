// A controller message as an LV2 atom, both ways between the UI and the
// plug-in: an atom:Object of type MESSAGE_URI with its id (atom:String), an
// optional payload (atom:Chunk) and the transport poll's reset (atom:Bool).
// Reading checks every size against the bytes at hand, so a truncated or
// hostile atom is refused, never read past; neither side allocates.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cstdint>

namespace tavik::lv2 {

struct MessageUrids
{
	LV2_URID atomObject = 0;
	LV2_URID atomString = 0;
	LV2_URID atomChunk = 0;
	LV2_URID atomBool = 0;
	LV2_URID atomInt = 0;
	LV2_URID atomEventTransfer = 0;
	LV2_URID message = 0;
	LV2_URID messageId = 0;
	LV2_URID payload = 0;
	LV2_URID reset = 0;
	LV2_URID workFragment = 0;

	explicit MessageUrids (const LV2_URID_Map& map);
};

/** A message read in place: pointers into the atom's bytes. */
struct MessageView
{
	const char* id = nullptr; // NUL-terminated, 1..MAX_MESSAGE_ID bytes
	const uint8_t* payload = nullptr;
	uint32_t payloadSize = 0;
	bool hasPayload = false;
	bool reset = false;
};

/** Reads `atom`, of which `available` bytes (header included) are at hand;
 *  false when it is no well-formed message. */
bool readMessage (const LV2_Atom* atom, uint32_t available, const MessageUrids& urids, MessageView& out) noexcept;

/** The bytes (header included) of the message atom writeMessage makes. */
uint32_t messageAtomSize (uint32_t idLength, uint32_t payloadSize, bool hasPayload) noexcept;

/** Writes the message atom into `buffer` (8-byte aligned, `capacity`
 *  bytes); its size, or 0 when it does not fit or the id is no message
 *  id. */
uint32_t writeMessage (void* buffer, uint32_t capacity, const MessageUrids& urids, const char* id, const void* payload,
                       uint32_t payloadSize, bool hasPayload, bool reset) noexcept;

/** Adds an event at frame 0 for an atom of `atomSize` bytes (header
 *  included) to the end of `sequence`, whose body may hold `capacity`
 *  bytes; the atom to fill in, or null (and nothing added) when the padded
 *  event does not fit. */
LV2_Atom* appendEvent (LV2_Atom_Sequence& sequence, uint32_t capacity, uint32_t atomSize) noexcept;

} // namespace tavik::lv2
