// Preset files from the user preset folder, where any program may leave any
// bytes: whatever is read lies inside the file, and the two states it
// yields are written back into a file that reads the same.
#include "vst_preset_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	const std::string bytes (reinterpret_cast<const char*> (data), size);
	tavik::PresetFileStates states;
	std::string error;
	std::string problem;
	const bool header = size >= tavik::PRESET_FILE_HEADER_BYTES &&
	                    tavik::presetFileHeaderIsOurs (bytes.substr (0, tavik::PRESET_FILE_HEADER_BYTES), problem);
	if (!tavik::readPresetFile (bytes, states, error))
	{
		if (error.empty ())
			std::abort ();
		return 0;
	}
	if (!header || states.component.size () > size || states.controller.size () > size)
		std::abort ();
	const std::string again = tavik::writePresetFile (states.component, states.controller);
	tavik::PresetFileStates back;
	if (!tavik::readPresetFile (again, back, error) || back.component != states.component ||
	    back.controller != states.controller)
		std::abort ();
	return 0;
}
