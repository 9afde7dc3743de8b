#include "tavik_controller.h"

#include "factory_presets.h"
#include "tavik_parameter.h"

#include <cstring>
#include <new>

namespace tavik {

using namespace Steinberg;
using namespace Steinberg::Vst;

FUnknown* TavikController::createInstance (void*)
{
	void* memory = ::operator new (sizeof (TavikController));
	std::memset (memory, 0, sizeof (TavikController));
	TavikController* controller = nullptr;
	try
	{
		controller = new (memory) TavikController ();
	}
	catch (...)
	{
		::operator delete (memory);
		throw;
	}
	return static_cast<IEditController*> (controller);
}

tresult PLUGIN_API TavikController::initialize (FUnknown* context)
{
	const tresult result = EditControllerEx1::initialize (context);
	if (result != kResultOk)
		return result;

	for (const auto& row : TAVIK_PARAMS)
		parameters.addParameter (new TavikParameter (row));

	String128 name;
	asciiToString128 ("Root", name);
	addUnit (new Unit (name, kRootUnitId, kNoParentUnitId, TAVIK_FACTORY_PROGRAM_LIST_ID));

	asciiToString128 ("Factory Presets", name);
	auto* presets = new ProgramList (name, TAVIK_FACTORY_PROGRAM_LIST_ID, kRootUnitId);
	for (const auto& preset : TAVIK_FACTORY_PRESETS)
	{
		asciiToString128 (preset.name, name);
		presets->addProgram (name);
	}
	addProgramList (presets);
	if (Parameter* programChange = presets->getParameter ())
	{
		programChange->getInfo ().flags &= ~ParameterInfo::kCanAutomate;
		parameters.addParameter (programChange);
	}
	return result;
}

} // namespace tavik
