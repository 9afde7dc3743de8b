// The UI bundle manifest scanner, for every key it is asked for.
#include "ui_manifest.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	const std::string json (reinterpret_cast<const char*> (data), size);
	for (const char* key : {"name", "version", "buildTime", "gitRevision", ""})
	{
		char out[64];
		std::memset (out, 'x', sizeof out);
		tavik::uiManifestString (json, key, out, sizeof out);
		if (std::memchr (out, 0, sizeof out) == nullptr)
			std::abort (); // always terminated
		char one[1] = {'x'};
		tavik::uiManifestString (json, key, one, sizeof one);
		if (one[0] != 0)
			std::abort ();
	}
	return 0;
}
