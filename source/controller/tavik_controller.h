// The plug-in's edit controller: host-visible parameters, the root unit and
// the factory preset program list.
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

	OBJ_METHODS (TavikController, EditControllerEx1)
};

} // namespace tavik
