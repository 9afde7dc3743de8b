// Base64: decoding anything; what decodes encodes back to the same bytes.
#include "base64.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	const std::string text (reinterpret_cast<const char*> (data), size);
	std::vector<uint8_t> bytes;
	if (tavik::base64Decode (text, bytes, 1 << 16))
	{
		std::string again;
		tavik::base64Append (again, bytes.data (), bytes.size ());
		std::vector<uint8_t> back;
		if (!tavik::base64Decode (again, back, 1 << 16) || back != bytes)
			std::abort ();
	}
	std::string encoded;
	tavik::base64Append (encoded, data, size);
	std::vector<uint8_t> decoded;
	if (!tavik::base64Decode (encoded, decoded, size) || decoded != std::vector<uint8_t> (data, data + size))
		std::abort ();
	return 0;
}
