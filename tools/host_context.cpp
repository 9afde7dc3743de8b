#include "host_context.h"

namespace tavik::tools {

Steinberg::tresult PLUGIN_API ToolHostApplication::getName (Steinberg::Vst::String128 name)
{
	size_t i = 0;
	for (; i < 127 && i < hostName.size (); ++i)
		name[i] = static_cast<Steinberg::Vst::TChar> (static_cast<unsigned char> (hostName[i]));
	name[i] = 0;
	return Steinberg::kResultOk;
}

} // namespace tavik::tools
