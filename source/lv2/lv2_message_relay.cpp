#include "lv2_message_relay.h"

#include "lv2_layout.h"

#include <algorithm>
#include <cstring>

namespace tavik::lv2 {

namespace {

constexpr uint32_t padded (uint32_t size) { return (size + 7u) & ~7u; }

} // namespace

MessageRelay::MessageRelay (const MessageUrids& messageUrids) : urids (messageUrids), store (REPLY_STORE_BYTES)
{
	request.reserve (MAX_MESSAGE_BYTES + sizeof (LV2_Atom));
}

template <typename Send>
bool MessageRelay::sendInPieces (const uint8_t* bytes, uint32_t total, Send send) const
{
	alignas (8) uint8_t piece[sizeof (FragmentHeader) + FRAGMENT_BYTES];
	for (uint32_t offset = 0; offset < total; offset += FRAGMENT_BYTES)
	{
		const uint32_t length = std::min (FRAGMENT_BYTES, total - offset);
		FragmentHeader header {};
		header.atom.size = static_cast<uint32_t> (sizeof header - sizeof (LV2_Atom)) + length;
		header.atom.type = urids.workFragment;
		header.total = total;
		header.offset = offset;
		std::memcpy (piece, &header, sizeof header);
		std::memcpy (piece + sizeof header, bytes + offset, length);
		if (!send (static_cast<uint32_t> (sizeof header) + length, piece))
			return false;
	}
	return true;
}

bool MessageRelay::schedule (const LV2_Atom* atom, uint32_t available, const LV2_Worker_Schedule& worker) const noexcept
{
	MessageView view;
	if (!readMessage (atom, available, urids, view))
		return false;
	const uint32_t total = static_cast<uint32_t> (sizeof (LV2_Atom)) + atom->size;
	return sendInPieces (reinterpret_cast<const uint8_t*> (atom), total, [&] (uint32_t size, const void* data) {
		return worker.schedule_work (worker.handle, size, data) == LV2_WORKER_SUCCESS;
	});
}

bool MessageRelay::isFragment (const LV2_Atom* atom, uint32_t size) const noexcept
{
	return atom && size >= sizeof (FragmentHeader) && atom->type == urids.workFragment &&
	       atom->size == size - sizeof (LV2_Atom);
}

bool MessageRelay::takeRequestFragment (uint32_t size, const void* data, MessageView& message)
{
	const auto* atom = static_cast<const LV2_Atom*> (data);
	if (!isFragment (atom, size))
		return false;
	FragmentHeader header;
	std::memcpy (&header, data, sizeof header);
	const uint32_t length = size - static_cast<uint32_t> (sizeof header);
	if (header.total == 0 || header.total > MAX_MESSAGE_BYTES + sizeof (LV2_Atom) || length > header.total ||
	    header.offset > header.total - length)
		return false;
	if (header.offset == 0)
	{
		request.clear ();
		requestTotal = header.total;
	}
	// A piece out of order (an earlier one was refused) drops the message.
	if (header.total != requestTotal || header.offset != request.size ())
	{
		request.clear ();
		requestTotal = 0;
		return false;
	}
	const auto* bytes = static_cast<const uint8_t*> (data) + sizeof header;
	request.insert (request.end (), bytes, bytes + length);
	if (request.size () < requestTotal)
		return false;
	requestTotal = 0;
	return readMessage (reinterpret_cast<const LV2_Atom*> (request.data ()), static_cast<uint32_t> (request.size ()),
	                    urids, message);
}

bool MessageRelay::respond (const char* id, const std::string& payload, LV2_Worker_Respond_Function respondFunction,
                            LV2_Worker_Respond_Handle handle)
{
	if (!respondFunction || payload.size () > MAX_MESSAGE_BYTES)
		return false;
	const uint32_t size = static_cast<uint32_t> (payload.size ());
	const uint32_t idLength = static_cast<uint32_t> (strnlen (id, MAX_MESSAGE_ID + 1));
	reply.assign (messageAtomSize (idLength, size, true), 0);
	const uint32_t total = writeMessage (reply.data (), static_cast<uint32_t> (reply.size ()), urids, id,
	                                     payload.data (), size, true, false);
	if (total == 0)
		return false;
	return sendInPieces (reply.data (), total, [&] (uint32_t pieceSize, const void* data) {
		return respondFunction (handle, pieceSize, data) == LV2_WORKER_SUCCESS;
	});
}

void MessageRelay::takeReplyFragment (uint32_t size, const void* data) noexcept
{
	const auto* atom = static_cast<const LV2_Atom*> (data);
	if (!isFragment (atom, size))
		return;
	FragmentHeader header;
	std::memcpy (&header, data, sizeof header);
	const uint32_t length = size - static_cast<uint32_t> (sizeof header);
	if (length > header.total || header.offset > header.total - length)
		return;
	if (header.offset == 0)
	{
		// A reply left unfinished is given up.
		writing = tail;
		incomingTotal = header.total;
		skippingIncoming = false;
		const uint32_t needed = 4 + padded (header.total);
		if (needed > store.size () - tail)
		{
			// Move the waiting replies to the front to make room.
			std::memmove (store.data (), store.data () + head, tail - head);
			tail -= head;
			head = 0;
			writing = tail;
		}
		if (needed > store.size () - tail)
		{
			skippingIncoming = true;
			++dropped;
			return;
		}
		std::memcpy (store.data () + tail, &header.total, 4);
		writing = tail + 4;
	}
	if (skippingIncoming || header.total != incomingTotal || writing - tail - 4 != header.offset)
		return;
	std::memcpy (store.data () + writing, static_cast<const uint8_t*> (data) + sizeof header, length);
	writing += length;
	if (writing - tail - 4 == incomingTotal)
	{
		tail += 4 + padded (incomingTotal);
		writing = tail;
		++waiting;
	}
}

void MessageRelay::writeReplies (LV2_Atom_Sequence& notify, uint32_t capacity) noexcept
{
	while (head < tail)
	{
		uint32_t size = 0;
		std::memcpy (&size, store.data () + head, 4);
		LV2_Atom* room = appendEvent (notify, capacity, size);
		if (!room)
		{
			// One that cannot fit even an empty sequence would wait for ever.
			if (notify.atom.size <= sizeof (LV2_Atom_Sequence_Body))
			{
				head += 4 + padded (size);
				--waiting;
				++dropped;
				continue;
			}
			break;
		}
		std::memcpy (room, store.data () + head + 4, size);
		head += 4 + padded (size);
		--waiting;
	}
	if (head == tail && writing == tail)
		head = tail = writing = 0;
}

} // namespace tavik::lv2
