#include "processor_class.h"

#include "fixed_text.h"
#include "hosted_module.h"
#include "product_identity.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace tavik::tools {

using namespace Steinberg;
using namespace Steinberg::Vst;

bool isZorvProcessor (const TUID cid)
{
	uint8_t expected[16];
	for (int w = 0; w < 4; ++w)
	{
		const uint32_t word = tavik::classIdWord (tavik::PROCESSOR_ID_WORD0, static_cast<uint32_t> (w));
		for (int b = 0; b < 4; ++b)
			expected[4 * w + b] = static_cast<uint8_t> (word >> (24 - 8 * b));
	}
	return std::memcmp (expected, cid, 16) == 0;
}

PClassInfo chooseClass (IPluginFactory* factory, const std::string& wanted)
{
	FUnknownPtr<IPluginFactory2> factory2 (factory);
	const int32 count = factory->countClasses ();
	std::vector<std::string> names;
	for (int32 i = 0; i < count; ++i)
	{
		PClassInfo info {};
		if (factory->getClassInfo (i, &info) != kResultOk ||
		    std::strncmp (info.category, kVstAudioEffectClass, PClassInfo::kCategorySize) != 0)
			continue;
		const std::string name = tavik::fixedText (info.name);
		names.push_back (name);
		if (!wanted.empty ())
		{
			if (name == wanted)
				return info;
			continue;
		}
		PClassInfo2 info2 {};
		if (factory2 && factory2->getClassInfo2 (i, &info2) == kResultOk &&
		    tavik::fixedText (info2.subCategories).find ("Instrument") != std::string::npos)
			return info;
	}
	std::string list;
	for (const std::string& n : names)
		list += (list.empty () ? "" : ", ") + ("\"" + n + "\"");
	if (!wanted.empty ())
		throw HostError ("no processor class named \"" + wanted + "\" (classes: " + (list.empty () ? "none" : list) +
		                 ")");
	throw HostError ("no instrument class in this bundle (processor classes: " + (list.empty () ? "none" : list) + ")");
}

} // namespace tavik::tools
