// The plug-in's half of the UI's controller messages. The audio thread
// hands each message from the event input to the host's worker in pieces of
// at most FRAGMENT_BYTES (hosts' worker queues are small), the worker puts
// them together and answers the same way through work:respond, and the
// answers wait in a store made once at instantiation until run() writes
// them into the notify sequence; what does not fit there waits for the next
// run. Nothing on the audio thread allocates; a reply that cannot be kept
// is dropped whole.
#pragma once

#include "lv2_message_atom.h"

#include <lv2/atom/atom.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::lv2 {

class MessageRelay
{
public:
	static constexpr uint32_t FRAGMENT_BYTES = 1024;
	/** Room for the replies waiting for the notify port. */
	static constexpr uint32_t REPLY_STORE_BYTES = 256 * 1024;

	explicit MessageRelay (const MessageUrids& urids);

	// Audio thread.
	/** Hands one message atom (`available` bytes at hand) to the worker;
	 *  false when it is no message or the host's queue refused it. */
	bool schedule (const LV2_Atom* atom, uint32_t available, const LV2_Worker_Schedule& worker) const noexcept;
	/** One piece of a reply, from work_response. */
	void takeReplyFragment (uint32_t size, const void* data) noexcept;
	/** Writes the waiting replies that fit into `notify`, a sequence whose
	 *  body holds `capacity` bytes and already its header. */
	void writeReplies (LV2_Atom_Sequence& notify, uint32_t capacity) noexcept;
	/** The replies waiting, and those dropped for want of room. */
	uint32_t waitingReplies () const { return waiting; }
	uint32_t droppedReplies () const { return dropped; }

	// Worker thread.
	/** One piece of a request; true with `message` filled (pointing into the
	 *  relay's buffer until the next call) when a message is whole. */
	bool takeRequestFragment (uint32_t size, const void* data, MessageView& message);
	/** Sends message `id` with `payload` back in pieces through `respond`;
	 *  false when it is too large or the host refused a piece. */
	bool respond (const char* id, const std::string& payload, LV2_Worker_Respond_Function respond,
	              LV2_Worker_Respond_Handle handle);
	/** Is `atom` one of the relay's pieces? */
	bool isFragment (const LV2_Atom* atom, uint32_t size) const noexcept;

private:
	struct FragmentHeader
	{
		LV2_Atom atom; // size: 8 + the piece's bytes; type: workFragment
		uint32_t total;
		uint32_t offset;
	};

	template <typename Send>
	bool sendInPieces (const uint8_t* bytes, uint32_t total, Send send) const;

	const MessageUrids& urids;
	// Worker side.
	std::vector<uint8_t> request;
	uint32_t requestTotal = 0;
	std::vector<uint8_t> reply;
	// Audio side: waiting replies, each a 4-byte size and its atom, from
	// `head` to `tail`; the reply being put together runs from `tail` to
	// `writing`.
	std::vector<uint8_t> store;
	uint32_t head = 0;
	uint32_t tail = 0;
	uint32_t writing = 0;
	uint32_t incomingTotal = 0;
	bool skippingIncoming = false;
	uint32_t waiting = 0;
	uint32_t dropped = 0;
};

} // namespace tavik::lv2
