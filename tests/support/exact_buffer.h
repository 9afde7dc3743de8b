// Test helper: a heap copy of a text with nothing after its last byte, so
// that AddressSanitizer reports any read past the end.
#pragma once

#include <cstring>
#include <memory>
#include <string>

namespace tavik::test {

class ExactBuffer
{
public:
	explicit ExactBuffer (const std::string& text)
		: bytes (new char[text.empty () ? 1 : text.size ()]), length (text.size ())
	{
		if (length)
			std::memcpy (bytes.get (), text.data (), length);
	}
	const char* begin () const { return bytes.get (); }
	const char* end () const { return bytes.get () + length; }
	size_t size () const { return length; }

private:
	std::unique_ptr<char[]> bytes;
	size_t length;
};

} // namespace tavik::test
