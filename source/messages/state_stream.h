// Reading and writing the plug-in's state documents through a host's
// IBStream.
#pragma once

#include "host_call.h"

#include "pluginterfaces/base/ibstream.h"

#include <cstddef>
#include <string>

namespace tavik {

/** Bytes asked of the host per read. */
constexpr size_t STATE_STREAM_PIECE = 4096;

/** Largest state text taken from a host: a stream that never ends must not
 *  exhaust the host's memory. */
constexpr size_t STATE_STREAM_MAX_BYTES = 16 * 1024 * 1024;

/** Reads the rest of `stream` into `text`: pieces of STATE_STREAM_PIECE
 *  bytes appended until a read fails, returns nothing or returns less than a
 *  full piece. False for a null stream or past `limit` bytes (`text` then
 *  empty). */
bool readStateStream (Steinberg::IBStream* stream, std::string& text, size_t limit = STATE_STREAM_MAX_BYTES);

/** Reads a host's state stream and hands the text to `restore`, which
 *  answers whether it took it; kResultFalse for a null or unreadable
 *  stream or a refused text. No exception leaves it. */
template <typename Restore>
Steinberg::tresult restoreFromStateStream (Steinberg::IBStream* stream, Restore&& restore)
{
	if (!stream)
		return Steinberg::kResultFalse;
	return guardedHostCall ([&] () -> Steinberg::tresult {
		std::string text;
		if (!readStateStream (stream, text))
			return Steinberg::kResultFalse;
		return restore (text.data (), text.size ()) ? Steinberg::kResultOk : Steinberg::kResultFalse;
	});
}

/** Writes `text` in one write (no terminating zero); the stream's result,
 *  or kResultFalse when the stream took fewer bytes than it was given. */
Steinberg::tresult writeStateStream (Steinberg::IBStream* stream, const std::string& text);

} // namespace tavik
