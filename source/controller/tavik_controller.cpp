#include "tavik_controller.h"

#include "factory_presets.h"
#include "host_call.h"
#include "tavik_parameter.h"

#include "pluginterfaces/vst/ivstmessage.h"

#include <cmath>
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
	// The SDK base only refuses a second initialise when the first had a
	// host context; without one, a second call would publish every
	// parameter twice.
	if (initialised)
		return kResultFalse;
	return guardedHostCall ([&] () -> tresult {
		const tresult result = EditControllerEx1::initialize (context);
		if (result != kResultOk)
			return result;
		initialised = true;
		publishParametersAndPresets ();
		return kResultOk;
	});
}

tresult PLUGIN_API TavikController::terminate ()
{
	initialised = false;
	return guardedHostCall ([&] { return EditControllerEx1::terminate (); });
}

void TavikController::publishParametersAndPresets ()
{
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
}

tresult PLUGIN_API TavikController::getParameterInfo (int32 paramIndex, ParameterInfo& info)
{
	if (paramIndex < 0 || paramIndex >= parameters.getParameterCount ())
		return kInvalidArgument;
	return EditControllerEx1::getParameterInfo (paramIndex, info);
}

tresult PLUGIN_API TavikController::getParamStringByValue (ParamID tag, ParamValue valueNormalized, String128 string)
{
	if (!string || !std::isfinite (valueNormalized))
		return kInvalidArgument;
	// A value outside 0..1 reads as the nearest end, for every parameter
	// (the program list's own conversion would index outside its names).
	const ParamValue clamped = valueNormalized < 0 ? 0 : valueNormalized > 1 ? 1 : valueNormalized;
	return guardedHostCall ([&] { return EditControllerEx1::getParamStringByValue (tag, clamped, string); });
}

tresult PLUGIN_API TavikController::getParamValueByString (ParamID tag, TChar* string, ParamValue& valueNormalized)
{
	if (!string)
		return kInvalidArgument;
	return guardedHostCall ([&] { return EditControllerEx1::getParamValueByString (tag, string, valueNormalized); });
}

tresult PLUGIN_API TavikController::setParamNormalized (ParamID tag, ParamValue value)
{
	if (!std::isfinite (value))
		return kInvalidArgument;
	return guardedHostCall ([&] { return EditControllerEx1::setParamNormalized (tag, value); });
}

tresult PLUGIN_API TavikController::getUnitInfo (int32 unitIndex, UnitInfo& info)
{
	if (unitIndex < 0 || unitIndex >= getUnitCount ())
		return kInvalidArgument;
	return EditControllerEx1::getUnitInfo (unitIndex, info);
}

tresult PLUGIN_API TavikController::getProgramName (ProgramListID listId, int32 programIndex, String128 name)
{
	if (!name)
		return kInvalidArgument;
	return guardedHostCall ([&] { return EditControllerEx1::getProgramName (listId, programIndex, name); });
}

tresult PLUGIN_API TavikController::getProgramInfo (ProgramListID listId, int32 programIndex, Vst::CString attributeId,
                                                    String128 attributeValue)
{
	if (!attributeId || !attributeValue)
		return kInvalidArgument;
	return guardedHostCall (
		[&] { return EditControllerEx1::getProgramInfo (listId, programIndex, attributeId, attributeValue); });
}

tresult PLUGIN_API TavikController::getProgramPitchName (ProgramListID listId, int32 programIndex, int16 midiPitch,
                                                         String128 name)
{
	if (!name)
		return kInvalidArgument;
	return guardedHostCall (
		[&] { return EditControllerEx1::getProgramPitchName (listId, programIndex, midiPitch, name); });
}

tresult PLUGIN_API TavikController::notify (IMessage* message)
{
	if (!message || !message->getAttributes ())
		return kInvalidArgument;
	return guardedHostCall ([&] { return EditControllerEx1::notify (message); });
}

} // namespace tavik
