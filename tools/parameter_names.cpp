#include "parameter_names.h"

#include "json_text.h"
#include "parameter_table.h"

#include <stdexcept>

namespace tavik::tools {

using namespace Steinberg;
using namespace Steinberg::Vst;

ParameterNames::ParameterNames (IEditController* editController, bool isZorv)
	: controller (editController), zorv (isZorv)
{
	const int32 count = controller->getParameterCount ();
	for (int32 i = 0; i < count; ++i)
	{
		ParameterInfo info {};
		if (controller->getParameterInfo (i, info) != kResultOk)
			continue;
		const std::string title = utf16ToUtf8 (reinterpret_cast<const char16_t*> (info.title), 128);
		byTitle.emplace (title, info.id);
		ids.emplace (std::to_string (info.id), info.id);
	}
}

ParamID ParameterNames::resolve (const ScoreValue& v, const std::string& field) const
{
	if (zorv)
		if (const tavik::tavik_param_desc* row = tavik::tavik_param_find_path (v.parameter))
			return row->id;
	if (auto it = byTitle.find (v.parameter); it != byTitle.end ())
		return it->second;
	if (auto it = ids.find (v.parameter); it != ids.end ())
		return it->second;
	throw std::runtime_error ("score: " + field + ": no parameter named \"" + v.parameter + "\"");
}

ParamValue ParameterNames::normalized (ParamID id, const ScoreValue& v) const
{
	if (v.isText)
	{
		String128 text {};
		for (size_t i = 0; i < 127 && i < v.text.size (); ++i)
			text[i] = static_cast<TChar> (static_cast<unsigned char> (v.text[i]));
		ParamValue out = 0;
		if (controller->getParamValueByString (id, text, out) != kResultOk)
			throw std::runtime_error ("score: " + v.field + ": \"" + v.text + "\" is not a value of \"" + v.parameter +
			                          "\"");
		return out;
	}
	const ParamValue n = controller->plainParamToNormalized (id, v.value);
	return n < 0 ? 0 : n > 1 ? 1 : n;
}

} // namespace tavik::tools
