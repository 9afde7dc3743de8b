// The scheme handler's path rules: a request either resolves to a file
// inside the root, whatever it says, or is refused.
#include "ui_resource.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	const std::string request (reinterpret_cast<const char*> (data), size);
	const std::string root = "/opt/zorv/Resources/ui";
	std::string file;
	if (tavik::resolveUiRequest (root, request, file))
	{
		if (file.compare (0, root.size () + 1, root + "/") != 0 || file.find ("/../") != std::string::npos ||
		    file.find ('\0') != std::string::npos)
			std::abort ();
		tavik::uiMimeType (file);
	}
	tavik::standardizePath (request);
	return 0;
}
