// The tree reader, with and without a value budget.
#include "json_tree.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	tavik::JsonValue value;
	tavik::parseJsonDocument (reinterpret_cast<const char*> (data), size, value);
	tavik::JsonValue bounded;
	tavik::parseJsonDocument (reinterpret_cast<const char*> (data), size, bounded, 64);
	return 0;
}
