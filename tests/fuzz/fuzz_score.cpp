// zorv-render's score reader.
#include "render_score.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	tavik::tools::Score score;
	std::string error;
	if (tavik::tools::parseScore (std::string (reinterpret_cast<const char*> (data), size), score, error))
		tavik::tools::resolveEventFrames (score.events, 48000);
	return 0;
}
