#include "midi_file_check.h"

namespace tavik::tools {

namespace {

uint32_t be32 (const uint8_t* p)
{
	return static_cast<uint32_t> (p[0]) << 24 | static_cast<uint32_t> (p[1]) << 16 | static_cast<uint32_t> (p[2]) << 8 |
	       p[3];
}

// A variable-length quantity of at most four bytes inside [p, end).
bool readVarLen (const uint8_t*& p, const uint8_t* end, uint32_t& value)
{
	value = 0;
	for (int i = 0; i < 4; ++i)
	{
		if (p >= end)
			return false;
		const uint8_t byte = *p++;
		value = value << 7 | (byte & 0x7F);
		if (!(byte & 0x80))
			return true;
	}
	return false;
}

std::string trackProblem (const uint8_t* p, const uint8_t* end)
{
	uint8_t running = 0;
	while (p < end)
	{
		uint32_t delta = 0;
		if (!readVarLen (p, end, delta))
			return "a delta time runs past the track's end";
		if (p >= end)
			return "the track ends after a delta time";
		uint8_t status = *p;
		if (status & 0x80)
			++p;
		else if (running)
			status = running;
		else
			return "an event has no status byte";
		if (status == 0xFF)
		{
			if (p >= end)
				return "a meta event runs past the track's end";
			const uint8_t type = *p++;
			uint32_t length = 0;
			if (!readVarLen (p, end, length) || length > static_cast<uint32_t> (end - p))
				return "a meta event runs past the track's end";
			p += length;
			if (type == 0x2F)
				return std::string ();
			running = 0;
		}
		else if (status == 0xF7)
			return "a track holds an escaped system exclusive event, which is not supported";
		else if (status == 0xF0)
		{
			uint32_t length = 0;
			if (!readVarLen (p, end, length) || length > static_cast<uint32_t> (end - p))
				return "a system exclusive event runs past the track's end";
			p += length;
			running = 0;
		}
		else if (status >= 0xF0)
			return "a track holds a system message that files may not carry";
		else
		{
			const int data = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
			if (end - p < data)
				return "a channel message runs past the track's end";
			for (int i = 0; i < data; ++i)
				if (p[i] & 0x80)
					return "a channel message has a data byte above 127";
			p += data;
			running = status;
		}
	}
	return "a track has no End of Track event";
}

} // namespace

std::string midiFileProblem (const uint8_t* bytes, size_t size)
{
	if (size < 14 || be32 (bytes) != 0x4D546864) // "MThd"
		return "no MIDI header";
	const uint32_t headerLength = be32 (bytes + 4);
	if (headerLength < 6 || headerLength > size - 8)
		return "the MIDI header runs past the end";
	const unsigned declared = static_cast<unsigned> (bytes[10]) << 8 | bytes[11];
	if (declared == 0)
		return "the file declares no tracks";
	unsigned tracks = 0;
	size_t at = 8 + static_cast<size_t> (headerLength);
	while (tracks < declared)
	{
		if (size - at < 8)
			return "the file ends before track " + std::to_string (tracks + 1);
		const uint32_t length = be32 (bytes + at + 4);
		if (length > size - at - 8)
			return "a chunk runs past the end of the file";
		if (be32 (bytes + at) == 0x4D54726B) // "MTrk"
		{
			const std::string problem = trackProblem (bytes + at + 8, bytes + at + 8 + length);
			if (!problem.empty ())
				return "track " + std::to_string (tracks + 1) + ": " + problem;
			++tracks;
		}
		at += 8 + static_cast<size_t> (length);
	}
	return std::string ();
}

} // namespace tavik::tools
