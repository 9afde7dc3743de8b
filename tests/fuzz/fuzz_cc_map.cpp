// The CC map document: a parsed map writes back into one that parses to
// the same bindings.
#include "cc_map.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	tavik::CcMap map;
	if (!tavik::parseCcMapJson (reinterpret_cast<const char*> (data), size, map))
		return 0;
	std::string text;
	tavik::writeCcMapJson (text, map);
	tavik::CcMap back;
	if (!tavik::parseCcMapJson (text.data (), text.size (), back) || back.count > map.count)
		std::abort ();
	return 0;
}
