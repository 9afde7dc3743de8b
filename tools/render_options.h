// The render tool's command line: its usage text, the options it takes and
// the checks they pass before anything is loaded.
#pragma once

#include <stdexcept>
#include <string>

namespace tavik::tools {

/** The usage text, printed by --help and after a usage error. */
extern const char* const kUsage;

struct Options
{
	std::string plugin, score, out, className, midi, state, saveState, preset;
	bool listPresets = false;
	bool bridge = false;
	bool midiResolution = false; // the score held as a MIDI host carries it
	double rate = 0;
	int block = 0;
};

/** A command line the tool cannot run; reported with the usage text. */
class UsageError : public std::runtime_error
{
public:
	using std::runtime_error::runtime_error;
};

/** The options of `argv`; throws UsageError on a bad command line. --help
 *  prints the usage text and exits. */
Options parseOptions (int argc, char** argv);

} // namespace tavik::tools
