#include "state_stream.h"

namespace tavik {

using namespace Steinberg;

bool readStateStream (IBStream* stream, std::string& text, size_t limit)
{
	text.clear ();
	if (!stream)
		return false;
	char piece[STATE_STREAM_PIECE];
	for (;;)
	{
		int32 got = 0;
		if (stream->read (piece, static_cast<int32> (sizeof (piece)), &got) != kResultOk || got <= 0)
			break;
		const size_t n = static_cast<size_t> (got) < sizeof (piece) ? static_cast<size_t> (got) : sizeof (piece);
		if (text.size () + n > limit)
		{
			text.clear ();
			return false;
		}
		text.append (piece, n);
		if (n < sizeof (piece))
			break;
	}
	return true;
}

tresult writeStateStream (IBStream* stream, const std::string& text)
{
	if (!stream)
		return kInvalidArgument;
	if (text.size () > static_cast<size_t> (INT32_MAX))
		return kResultFalse;
	int32 written = 0;
	const tresult result =
		stream->write (const_cast<char*> (text.data ()), static_cast<int32> (text.size ()), &written);
	// A stream that took only part of the document has not saved it.
	if (result == kResultOk && static_cast<size_t> (written) != text.size ())
		return kResultFalse;
	return result;
}

} // namespace tavik
