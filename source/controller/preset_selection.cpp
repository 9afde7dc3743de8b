#include "preset_selection.h"

#include <cstring>

namespace tavik {

namespace {

// Hosts keep values as 32-bit floats: VST 3 hosts the normalized value, LV2
// hosts the plain one in a control port. Either way a value that comes
// back from the host is the one it was given.
bool sameHeldValue (uint32_t id, double a, double b)
{
	if (a == b || static_cast<float> (a) == static_cast<float> (b))
		return true;
	const tavik_param_desc* row = &TAVIK_PARAMS[id];
	return static_cast<float> (tavik_param_plain (row, a)) == static_cast<float> (tavik_param_plain (row, b));
}

} // namespace

void PresetSelection::choose (const std::string& id, const std::string& name, const double* normalized)
{
	presetId = id;
	presetName = name;
	std::memcpy (baseline, normalized, sizeof baseline);
	baselineValid = true;
	editedUnknown = false;
}

void PresetSelection::restore (const std::string& id, const std::string& name, bool edited, const double* known,
                               const Values& current)
{
	presetId = id;
	presetName = name;
	editedUnknown = false;
	if (known)
	{
		std::memcpy (baseline, known, sizeof baseline);
		baselineValid = true;
		return;
	}
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		baseline[i] = current (i);
	baselineValid = true;
	editedUnknown = edited;
}

void PresetSelection::rename (const std::string& id, const std::string& name)
{
	presetId = id;
	presetName = name;
}

void PresetSelection::clear ()
{
	presetId.clear ();
	presetName.clear ();
	baselineValid = false;
	editedUnknown = false;
}

bool PresetSelection::dirty (const Values& current) const
{
	if (editedUnknown)
		return true;
	if (!baselineValid)
		return false;
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
		if (!sameHeldValue (id, current (id), baseline[id]))
			return true;
	return false;
}

} // namespace tavik
