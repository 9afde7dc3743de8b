#include "parameter_changes.h"

#include "parameter_names.h"

#include "pluginterfaces/vst/ivstmidicontrollers.h"

#include <cstdio>
#include <map>
#include <stdexcept>
#include <utility>

namespace tavik::tools {

using namespace Steinberg;
using namespace Steinberg::Vst;

std::vector<TimedChange> resolveParameterChanges (const Score& score, IEditController* controller, bool zorv)
{
	const ParameterNames names (controller, zorv);
	std::vector<TimedChange> changes;
	for (const ScoreValue& p : score.params)
	{
		const std::string field = "params." + p.parameter;
		const ParamID id = names.resolve (p, field);
		ScoreValue v = p;
		v.field = field;
		changes.push_back ({0, id, names.normalized (id, v)});
	}
	FUnknownPtr<IMidiMapping> mapping (controller);
	std::map<std::pair<int, int>, int> unassigned; // messages per channel and controller
	for (const ScoreEvent& e : score.events)
		if (e.type == ScoreEvent::PARAM)
		{
			const ParamID id = names.resolve (e.param, e.field + ".path");
			changes.push_back ({e.frame, id, names.normalized (id, e.param)});
		}
		else if (e.type == ScoreEvent::CC)
		{
			// A host plays a control change as a change of the parameter the
			// plug-in assigns to that controller, to the value over 127.
			ParamID id = 0;
			if (mapping &&
			    mapping->getMidiControllerAssignment (0, static_cast<int16> (e.channel),
			                                          static_cast<CtrlNumber> (e.controller), id) == kResultOk)
				changes.push_back ({e.frame, id, e.ccValue / 127.0});
			else
				++unassigned[{e.channel, e.controller}];
		}
	for (const auto& [where, count] : unassigned)
		std::fprintf (stderr, "zorv-render: CC %d on MIDI channel %d drives no parameter: %d message%s left out\n",
		              where.second, where.first + 1, count, count == 1 ? "" : "s");
	return changes;
}

void adoptScoreCcMap (PluginInstance& plugin, const tavik::CcMap& map, bool zorv, const std::string& scorePath)
{
	if (!zorv)
		throw std::runtime_error (scorePath + ": score: ccMap: only Zorv takes a CC map");
	std::string chunk = "{\"ccMap\":";
	tavik::writeCcMapJson (chunk, map);
	chunk += "}";
	if (!plugin.restoreControllerState (chunk))
		throw std::runtime_error (scorePath + ": score: ccMap: the controller refused the CC map");
}

} // namespace tavik::tools
