#include "lv2_message_atom.h"

#include "lv2_layout.h"

#include <lv2/atom/atom.h>

#include <cstring>

namespace tavik::lv2 {

namespace {

constexpr uint32_t padded (uint32_t size) { return (size + 7u) & ~7u; }

constexpr uint32_t PROPERTY_HEADER = sizeof (LV2_Atom_Property_Body);

} // namespace

MessageUrids::MessageUrids (const LV2_URID_Map& map)
{
	const auto m = [&] (const char* uri) { return map.map (map.handle, uri); };
	atomObject = m (LV2_ATOM__Object);
	atomString = m (LV2_ATOM__String);
	atomChunk = m (LV2_ATOM__Chunk);
	atomBool = m (LV2_ATOM__Bool);
	atomInt = m (LV2_ATOM__Int);
	atomEventTransfer = m (LV2_ATOM__eventTransfer);
	message = m (MESSAGE_URI);
	messageId = m (MESSAGE_ID_URI);
	payload = m (MESSAGE_PAYLOAD_URI);
	reset = m (MESSAGE_RESET_URI);
	workFragment = m (WORK_FRAGMENT_URI);
}

bool readMessage (const LV2_Atom* atom, uint32_t available, const MessageUrids& urids, MessageView& out) noexcept
{
	out = MessageView ();
	if (!atom || available < sizeof (LV2_Atom_Object) || atom->type != urids.atomObject ||
	    atom->size < sizeof (LV2_Atom_Object_Body) || atom->size > available - sizeof (LV2_Atom) ||
	    atom->size > MAX_MESSAGE_BYTES)
		return false;
	const auto* object = reinterpret_cast<const LV2_Atom_Object*> (atom);
	if (object->body.otype != urids.message)
		return false;
	const auto* bytes = reinterpret_cast<const uint8_t*> (atom);
	const uint32_t end = static_cast<uint32_t> (sizeof (LV2_Atom)) + atom->size;
	uint32_t at = sizeof (LV2_Atom_Object);
	while (at < end)
	{
		if (end - at < PROPERTY_HEADER)
			return false;
		const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*> (bytes + at);
		const uint32_t size = property->value.size;
		if (size > end - at - PROPERTY_HEADER)
			return false;
		const uint8_t* value = bytes + at + PROPERTY_HEADER;
		if (property->key == urids.messageId)
		{
			if (property->value.type != urids.atomString || size < 2 || size > MAX_MESSAGE_ID + 1 ||
			    value[size - 1] != 0 || std::memchr (value, 0, size - 1))
				return false;
			out.id = reinterpret_cast<const char*> (value);
		}
		else if (property->key == urids.payload)
		{
			if (property->value.type != urids.atomChunk)
				return false;
			out.payload = value;
			out.payloadSize = size;
			out.hasPayload = true;
		}
		else if (property->key == urids.reset)
		{
			if ((property->value.type != urids.atomBool && property->value.type != urids.atomInt) ||
			    size != sizeof (int32_t))
				return false;
			int32_t flag = 0;
			std::memcpy (&flag, value, sizeof flag);
			out.reset = flag != 0;
		}
		// The last property may end unpadded.
		const uint32_t step = PROPERTY_HEADER + padded (size);
		if (step > end - at)
			break;
		at += step;
	}
	return out.id != nullptr;
}

uint32_t messageAtomSize (uint32_t idLength, uint32_t payloadSize, bool hasPayload) noexcept
{
	uint64_t size = sizeof (LV2_Atom_Object) + PROPERTY_HEADER + padded (idLength + 1) + PROPERTY_HEADER + 8;
	if (hasPayload)
		size += PROPERTY_HEADER + padded (payloadSize);
	return size > 0xffffffffu ? 0xffffffffu : static_cast<uint32_t> (size);
}

uint32_t writeMessage (void* buffer, uint32_t capacity, const MessageUrids& urids, const char* id, const void* payload,
                       uint32_t payloadSize, bool hasPayload, bool reset) noexcept
{
	if (!buffer || !id)
		return 0;
	const size_t idLength = strnlen (id, MAX_MESSAGE_ID + 1);
	if (idLength == 0 || idLength > MAX_MESSAGE_ID)
		return 0;
	const uint32_t total = messageAtomSize (static_cast<uint32_t> (idLength), payloadSize, hasPayload);
	if (total > capacity || total > MAX_MESSAGE_BYTES + sizeof (LV2_Atom))
		return 0;
	auto* bytes = static_cast<uint8_t*> (buffer);
	std::memset (bytes, 0, total);
	auto* object = reinterpret_cast<LV2_Atom_Object*> (bytes);
	object->atom.size = total - static_cast<uint32_t> (sizeof (LV2_Atom));
	object->atom.type = urids.atomObject;
	object->body.id = 0;
	object->body.otype = urids.message;
	uint32_t at = sizeof (LV2_Atom_Object);
	const auto property = [&] (LV2_URID key, LV2_URID type, const void* value, uint32_t size) {
		auto* header = reinterpret_cast<LV2_Atom_Property_Body*> (bytes + at);
		header->key = key;
		header->context = 0;
		header->value.size = size;
		header->value.type = type;
		if (size > 0 && value)
			std::memcpy (bytes + at + PROPERTY_HEADER, value, size);
		at += PROPERTY_HEADER + padded (size);
	};
	property (urids.messageId, urids.atomString, id, static_cast<uint32_t> (idLength + 1));
	const int32_t flag = reset ? 1 : 0;
	property (urids.reset, urids.atomBool, &flag, sizeof flag);
	if (hasPayload)
		property (urids.payload, urids.atomChunk, payload, payloadSize);
	return total;
}

LV2_Atom* appendEvent (LV2_Atom_Sequence& sequence, uint32_t capacity, uint32_t atomSize) noexcept
{
	const uint32_t used = sequence.atom.size;
	const uint64_t event = sizeof (LV2_Atom_Event) - sizeof (LV2_Atom) + uint64_t (padded (atomSize));
	if (used > capacity || event > capacity - used)
		return nullptr;
	auto* ev = reinterpret_cast<LV2_Atom_Event*> (reinterpret_cast<uint8_t*> (&sequence.body) + used);
	ev->time.frames = 0;
	sequence.atom.size = used + static_cast<uint32_t> (event);
	return &ev->body;
}

} // namespace tavik::lv2
