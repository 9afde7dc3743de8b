#include "program_list.h"

#include "factory_presets.h"
#include "json_text.h"

#include "pluginterfaces/vst/ivstunits.h"

#include <stdexcept>

namespace tavik::tools {

using namespace Steinberg;
using namespace Steinberg::Vst;

std::vector<Program> listPrograms (IEditController* controller, bool zorv)
{
	std::vector<Program> programs;
	FUnknownPtr<IUnitInfo> units (controller);
	ProgramListInfo info {};
	if (!units || units->getProgramListCount () < 1 || units->getProgramListInfo (0, info) != kResultOk)
		return programs;
	for (int32 i = 0; i < info.programCount; ++i)
	{
		String128 name {};
		if (units->getProgramName (info.id, i, name) != kResultOk)
			continue;
		std::string id;
		if (zorv && i < static_cast<int32> (tavik::TAVIK_FACTORY_PRESET_COUNT))
			id = tavik::TAVIK_FACTORY_PRESETS[i].id;
		programs.push_back ({i, utf16ToUtf8 (reinterpret_cast<const char16_t*> (name), 128), id});
	}
	return programs;
}

void selectProgram (IEditController* controller, bool zorv, const std::string& wanted)
{
	const std::vector<Program> programs = listPrograms (controller, zorv);
	if (programs.empty ())
		throw std::runtime_error ("--preset: the plug-in has no program list");
	const Program* chosen = nullptr;
	for (const Program& p : programs)
		if (p.name == wanted || (!p.id.empty () && p.id == wanted) || std::to_string (p.index) == wanted)
			chosen = &p;
	if (!chosen)
		throw std::runtime_error ("--preset: no program '" + wanted + "' (--list-presets shows them)");
	const int32 count = controller->getParameterCount ();
	for (int32 i = 0; i < count; ++i)
	{
		ParameterInfo info {};
		if (controller->getParameterInfo (i, info) != kResultOk || !(info.flags & ParameterInfo::kIsProgramChange))
			continue;
		const double steps = info.stepCount > 0 ? info.stepCount : 1;
		controller->setParamNormalized (info.id, chosen->index / steps);
		return;
	}
	throw std::runtime_error ("--preset: the plug-in has no program-change parameter");
}

} // namespace tavik::tools
