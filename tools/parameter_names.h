// Parameter names a score may use: host title, numeric id and, for Zorv,
// the paths of its parameter table; resolved through the controller to an
// id and a normalized value.
#pragma once

#include "render_score.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <map>
#include <string>

namespace tavik::tools {

class ParameterNames
{
public:
	ParameterNames (Steinberg::Vst::IEditController* editController, bool isZorv);

	/** The id of the parameter `v` names; throws std::runtime_error naming
	 *  `field` when there is none. */
	Steinberg::Vst::ParamID resolve (const ScoreValue& v, const std::string& field) const;

	/** The normalized value of `v` (a plain value or a display text). */
	Steinberg::Vst::ParamValue normalized (Steinberg::Vst::ParamID id, const ScoreValue& v) const;

private:
	Steinberg::Vst::IEditController* controller;
	bool zorv;
	std::map<std::string, Steinberg::Vst::ParamID> byTitle;
	std::map<std::string, Steinberg::Vst::ParamID> ids;
};

} // namespace tavik::tools
