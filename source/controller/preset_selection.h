// Which preset the sound came from, and whether it has been edited since:
// what the preset box shows. A factory or user preset loaded here is
// compared with its values; one that comes back with a saved state is
// known by name, and compared with its values when those are known.
#pragma once

#include "parameter_table.h"

#include <functional>
#include <string>

namespace tavik {

class PresetSelection
{
public:
	using Values = std::function<double (uint32_t id)>;

	/** A preset whose 26 normalized values are known. */
	void choose (const std::string& id, const std::string& name, const double* normalized);
	/** A preset named by a restored state. Its values are `known` when
	 *  given (a factory preset); else the current values are taken as
	 *  the preset's when the state was saved unedited, and an edited one
	 *  stays edited until another preset is chosen. */
	void restore (const std::string& id, const std::string& name, bool edited, const double* known,
	              const Values& current);
	/** A bank preset, known by id and name only: the values to compare
	 *  with stay those of the last preset. */
	void rename (const std::string& id, const std::string& name);
	/** No preset: a sound from a state that named none. */
	void clear ();

	bool any () const { return !presetId.empty (); }
	const std::string& id () const { return presetId; }
	const std::string& name () const { return presetName; }

	/** True when a current value differs from the preset's by more than a
	 *  host's 32-bit float can hold (hosts echo values back as floats, VST 3
	 *  hosts normalized, LV2 hosts plain). */
	bool dirty (const Values& current) const;

private:
	std::string presetId;
	std::string presetName;
	double baseline[TAVIK_PARAM_COUNT] = {};
	bool baselineValid = false;
	bool editedUnknown = false;
};

} // namespace tavik
