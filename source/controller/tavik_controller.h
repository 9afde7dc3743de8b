// The plug-in's edit controller: host-visible parameters, the root unit and
// the factory preset program list.
//
// Every call a host can make with an index, an id, a pointer or a value of
// its own choosing is checked here before the SDK's containers see it, and
// none lets an exception out.
#pragma once

#include "public.sdk/source/vst/vsteditcontroller.h"

namespace tavik {

class TavikController : public Steinberg::Vst::EditControllerEx1
{
public:
	TavikController () = default;

	/** Factory entry: a new, zero-filled then constructed controller as its
	 *  IEditController facet. */
	static Steinberg::FUnknown* createInstance (void* context);

	Steinberg::tresult PLUGIN_API initialize (Steinberg::FUnknown* context) override;
	Steinberg::tresult PLUGIN_API terminate () override;

	// IEditController
	Steinberg::tresult PLUGIN_API getParameterInfo (Steinberg::int32 paramIndex,
	                                                Steinberg::Vst::ParameterInfo& info) override;
	Steinberg::tresult PLUGIN_API getParamStringByValue (Steinberg::Vst::ParamID tag,
	                                                     Steinberg::Vst::ParamValue valueNormalized,
	                                                     Steinberg::Vst::String128 string) override;
	Steinberg::tresult PLUGIN_API getParamValueByString (Steinberg::Vst::ParamID tag, Steinberg::Vst::TChar* string,
	                                                     Steinberg::Vst::ParamValue& valueNormalized) override;
	Steinberg::tresult PLUGIN_API setParamNormalized (Steinberg::Vst::ParamID tag,
	                                                  Steinberg::Vst::ParamValue value) override;

	// IUnitInfo
	Steinberg::tresult PLUGIN_API getUnitInfo (Steinberg::int32 unitIndex, Steinberg::Vst::UnitInfo& info) override;
	Steinberg::tresult PLUGIN_API getProgramName (Steinberg::Vst::ProgramListID listId, Steinberg::int32 programIndex,
	                                              Steinberg::Vst::String128 name) override;
	Steinberg::tresult PLUGIN_API getProgramInfo (Steinberg::Vst::ProgramListID listId, Steinberg::int32 programIndex,
	                                              Steinberg::Vst::CString attributeId,
	                                              Steinberg::Vst::String128 attributeValue) override;
	Steinberg::tresult PLUGIN_API getProgramPitchName (Steinberg::Vst::ProgramListID listId,
	                                                   Steinberg::int32 programIndex, Steinberg::int16 midiPitch,
	                                                   Steinberg::Vst::String128 name) override;

	// IConnectionPoint
	Steinberg::tresult PLUGIN_API notify (Steinberg::Vst::IMessage* message) override;

	OBJ_METHODS (TavikController, EditControllerEx1)

private:
	/** The 26 parameters, the root unit and the factory preset list with its
	 *  program-change parameter. */
	void publishParametersAndPresets ();

	bool initialised = false;
};

} // namespace tavik
