// The render tool's MIDI file check: whatever it lets through, the MIDI
// library must read without stopping the program, events and all.
#include "midi_file_check.h"

#include <glib.h>
#include <smf.h>

#include <cstdint>

namespace {

void quiet (const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
	g_log_set_handler ("libsmf", static_cast<GLogLevelFlags> (G_LOG_LEVEL_MASK), quiet, nullptr);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	if (!tavik::tools::midiFileProblem (data, size).empty ())
		return 0;
	if (smf_t* smf = smf_load_from_memory (data, static_cast<int> (size)))
	{
		while (smf_get_next_event (smf))
		{
		}
		smf_delete (smf);
	}
	return 0;
}
