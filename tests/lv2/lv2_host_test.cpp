// The LV2 bundle and plug-in as an LV2 host sees them, through lilv: the
// ports the Turtle describes against the parameter table, rendering at
// several block sizes, the latency port, state saved and restored through
// lilv (and bad state refused), the factory presets, and CC maps sent as
// patch messages and applied by the worker.

#include "lv2_test_host.h"

#include "factory_presets.h"
#include "kernel_engine.h"
#include "parameter_table.h"
#include "state_document.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/units/units.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using tavik::TAVIK_PARAM_COUNT;
using tavik::TAVIK_PARAMS;
using tavik::tools::Lv2Host;
namespace lv2 = tavik::lv2;

struct Uri
{
	LilvNode* node;
	Uri (LilvWorld* world, const char* uri) : node (lilv_new_uri (world, uri)) {}
	~Uri () { lilv_node_free (node); }
	Uri (const Uri&) = delete;
	Uri& operator= (const Uri&) = delete;
};

tavik::StateChunk stateOf (Lv2Host& host)
{
	std::string type;
	const std::string text = host.savedProperty (lv2::STATE_PROPERTY_URI, &type);
	EXPECT_EQ (type, LV2_ATOM__String);
	tavik::StateChunk chunk;
	EXPECT_FALSE (text.empty ());
	EXPECT_EQ (text.back (), '\0') << "an atom:String ends in a NUL";
	EXPECT_TRUE (tavik::parseStateJson (text.c_str (), std::strlen (text.c_str ()), chunk)) << text;
	return chunk;
}

std::string stateText (Lv2Host& host) { return host.savedProperty (lv2::STATE_PROPERTY_URI); }

// A phrase of notes and a sustained chord, rendered in `block`-frame blocks.
std::vector<float> renderPhrase (int block, int maxBlock, double rate = 48000)
{
	auto host = tavik::test::zorvHost (rate, maxBlock);
	const int total = 48000;
	const int noteFrames[] = {0, 1000, 7919, 20000, 20001, 33333};
	std::vector<float> out;
	for (int start = 0; start < total; start += block)
	{
		const int n = std::min (block, total - start);
		for (int i = 0; i < 6; ++i)
			if (noteFrames[i] >= start && noteFrames[i] < start + n)
			{
				tavik::test::queueNote (*host, static_cast<uint32_t> (noteFrames[i] - start), true, 40 + 5 * i,
				                        90 + 6 * i);
				if (i == 3)
					tavik::test::queueController (*host, static_cast<uint32_t> (noteFrames[i] - start), 64, 127);
			}
		host->run (static_cast<uint32_t> (n));
		const float* left = host->audio (lv2::PORT_OUT_LEFT);
		const float* right = host->audio (lv2::PORT_OUT_RIGHT);
		for (int i = 0; i < n; ++i)
		{
			out.push_back (left[i]);
			out.push_back (right[i]);
		}
	}
	return out;
}

TEST (Lv2Bundle, EveryPortMatchesTheParameterTable)
{
	auto host = tavik::test::zorvHost ();
	LilvWorld* world = host->world ();
	const LilvPlugin* plugin = host->plugin ();
	ASSERT_EQ (lilv_plugin_get_num_ports (plugin), lv2::PORT_COUNT);
	Uri integer (world, LV2_CORE__integer), toggled (world, LV2_CORE__toggled),
		enumeration (world, LV2_CORE__enumeration), unit (world, LV2_UNITS__unit), input (world, LV2_CORE__InputPort),
		control (world, LV2_CORE__ControlPort);
	for (const tavik::tavik_param_desc& row : TAVIK_PARAMS)
	{
		SCOPED_TRACE (row.path);
		const LilvPort* port = lilv_plugin_get_port_by_index (plugin, lv2::PORT_FIRST_PARAMETER + row.id);
		ASSERT_NE (port, nullptr);
		EXPECT_TRUE (lilv_port_is_a (plugin, port, input.node) && lilv_port_is_a (plugin, port, control.node));
		EXPECT_EQ (lilv_node_as_string (lilv_port_get_symbol (plugin, port)), lv2::portSymbol (row));
		LilvNode* name = lilv_port_get_name (plugin, port);
		EXPECT_STREQ (lilv_node_as_string (name), row.name);
		lilv_node_free (name);
		LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
		lilv_port_get_range (plugin, port, &def, &min, &max);
		ASSERT_TRUE (def && min && max);
		EXPECT_EQ (lilv_node_as_float (def), static_cast<float> (row.defaultPlain));
		EXPECT_EQ (lilv_node_as_float (min), static_cast<float> (row.min));
		EXPECT_EQ (lilv_node_as_float (max), static_cast<float> (row.max));
		lilv_node_free (def);
		lilv_node_free (min);
		lilv_node_free (max);

		const bool isList = row.kind == tavik::TAVIK_PARAM_LIST;
		const bool isSwitch = row.kind == tavik::TAVIK_PARAM_CONTINUOUS && row.step == row.max - row.min;
		EXPECT_EQ (lilv_port_has_property (plugin, port, enumeration.node), isList);
		EXPECT_EQ (lilv_port_has_property (plugin, port, integer.node), isList || isSwitch);
		EXPECT_EQ (lilv_port_has_property (plugin, port, toggled.node), isSwitch);

		LilvNodes* units = lilv_port_get_value (plugin, port, unit.node);
		const std::string expectedUnit = std::strcmp (row.unit, "s") == 0    ? LV2_UNITS__s
		                                 : std::strcmp (row.unit, "Hz") == 0 ? LV2_UNITS__hz
		                                                                     : "";
		EXPECT_EQ (units && lilv_nodes_size (units) == 1 ? std::string (lilv_node_as_uri (lilv_nodes_get_first (units)))
		                                                 : std::string (),
		           expectedUnit);
		lilv_nodes_free (units);

		LilvScalePoints* points = lilv_port_get_scale_points (plugin, port);
		std::map<float, std::string> labels;
		LILV_FOREACH (scale_points, i, points)
		{
			const LilvScalePoint* p = lilv_scale_points_get (points, i);
			labels[lilv_node_as_float (lilv_scale_point_get_value (p))] =
				lilv_node_as_string (lilv_scale_point_get_label (p));
		}
		lilv_scale_points_free (points);
		std::map<float, std::string> expected;
		for (int32_t i = 0; isList && i < row.listCount; ++i)
			expected[static_cast<float> (i)] = row.listEntries[i];
		EXPECT_EQ (labels, expected);
	}

	// Audio out, the event ports and the latency port.
	Uri audio (world, LV2_CORE__AudioPort), atom (world, LV2_ATOM__AtomPort), output (world, LV2_CORE__OutputPort);
	for (const uint32_t i : {lv2::PORT_OUT_LEFT, lv2::PORT_OUT_RIGHT})
	{
		const LilvPort* port = lilv_plugin_get_port_by_index (plugin, i);
		EXPECT_TRUE (lilv_port_is_a (plugin, port, audio.node) && lilv_port_is_a (plugin, port, output.node));
	}
	const LilvPort* events = lilv_plugin_get_port_by_index (plugin, lv2::PORT_EVENTS_IN);
	EXPECT_TRUE (lilv_port_is_a (plugin, events, atom.node) && lilv_port_is_a (plugin, events, input.node));
	Uri midi (world, "http://lv2plug.in/ns/ext/midi#MidiEvent");
	EXPECT_TRUE (lilv_port_supports_event (plugin, events, midi.node));
	const LilvPort* notify = lilv_plugin_get_port_by_index (plugin, lv2::PORT_NOTIFY_OUT);
	EXPECT_TRUE (lilv_port_is_a (plugin, notify, atom.node) && lilv_port_is_a (plugin, notify, output.node));
	EXPECT_TRUE (lilv_plugin_has_latency (plugin));
	EXPECT_EQ (lilv_plugin_get_latency_port_index (plugin), lv2::PORT_LATENCY);
	EXPECT_EQ (lilv_node_as_string (lilv_plugin_get_name (plugin)), std::string ("Zorv"));
}

TEST (Lv2Instance, EveryBlockSizeRendersTheSameBits)
{
	const std::vector<float> reference = renderPhrase (512, 512);
	double energy = 0;
	for (const float s : reference)
		energy += static_cast<double> (s) * s;
	EXPECT_GT (energy, 1.0) << "the phrase sounds";
	EXPECT_EQ (renderPhrase (1, 1), reference);
	EXPECT_EQ (renderPhrase (37, 64), reference) << "blocks shorter than the host's largest";
	EXPECT_EQ (renderPhrase (4096, 4096), reference);
	// A host block longer than the engine's largest is rendered in slices.
	EXPECT_EQ (renderPhrase (20000, 20000), reference);
}

TEST (Lv2Instance, TheLatencyPortReportsTheEnginesLatency)
{
	for (const double rate : {48000.0, 44100.0, 96000.0})
	{
		auto host = tavik::test::zorvHost (rate, 256);
		host->control (lv2::PORT_LATENCY) = -1;
		host->run (256);
		tavik::KernelEngine engine;
		ASSERT_TRUE (engine.setup (rate, 256));
		EXPECT_EQ (host->control (lv2::PORT_LATENCY), static_cast<float> (engine.latencySamples ())) << rate;
	}
}

TEST (Lv2Instance, PortValuesReachTheEngineAsTheTableNormalizesThem)
{
	auto host = tavik::test::zorvHost ();
	// Untouched ports leave the engine at the table's exact defaults.
	host->run (64);
	tavik::StateChunk untouched = stateOf (*host);
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		EXPECT_EQ (untouched.values[i], TAVIK_PARAMS[i].defaultPlain) << TAVIK_PARAMS[i].path;

	host->control (16) = 220.5f; // Base Pitch
	host->control (0) = 3.4f;    // Gong: a list takes the nearest entry
	host->control (1) = 9.0f;    // Size: clamped to its range
	host->control (24) = 0.7f;   // Fixed Velocity: a switch
	host->run (64);
	const tavik::StateChunk moved = stateOf (*host);
	for (const uint32_t i : {16u, 0u, 1u, 24u})
		EXPECT_EQ (moved.values[i],
		           tavik::tavik_param_plain (&TAVIK_PARAMS[i],
		                                     tavik::tavik_param_normalize (&TAVIK_PARAMS[i], host->control (i))))
			<< TAVIK_PARAMS[i].path;
	EXPECT_EQ (moved.values[0], 3.0);
	EXPECT_EQ (moved.values[1], 2.0);
	EXPECT_EQ (moved.values[24], 1.0);
}

TEST (Lv2State, SavedThroughLilvRestoresTheSameDocumentAndPorts)
{
	auto first = tavik::test::zorvHost ();
	first->control (16) = 165.0f;
	first->control (7) = 2.0f;
	first->queuePatchString (0, lv2::CC_MAP_PROPERTY_URI, R"({"version":1,"bindings":[{"cc":1,"path":"ir.size"}]})");
	first->run (128);
	tavik::test::queueController (*first, 10, 1, 127);
	first->run (128);
	const std::string saved = first->saveState ();
	ASSERT_NE (saved.find (lv2::STATE_PROPERTY_URI), std::string::npos) << saved;
	const tavik::StateChunk before = stateOf (*first);
	EXPECT_TRUE (before.hasCcMap);
	EXPECT_EQ (before.values[1], 2.0) << "the controller moved Size to its top";

	auto second = tavik::test::zorvHost ();
	ASSERT_TRUE (second->restoreState (saved));
	EXPECT_EQ (second->control (16), 165.0f);
	EXPECT_EQ (second->control (7), 2.0f);
	EXPECT_EQ (stateText (*second), stateText (*first));
	// The restored document is the sound: the ports that came with it are
	// not played over it (Size's port still holds its default).
	second->run (128);
	EXPECT_EQ (stateText (*second), stateText (*first));
	// A port moved afterwards is a change as ever.
	second->control (1) = 0.5f;
	second->run (128);
	EXPECT_EQ (stateOf (*second).values[1], 0.5);
}

TEST (Lv2State, BadStateIsRefusedAndChangesNothing)
{
	auto host = tavik::test::zorvHost ();
	host->control (16) = 300.0f;
	host->run (64);
	const std::string before = stateText (*host);
	EXPECT_EQ (host->restoreProperty (lv2::STATE_PROPERTY_URI, std::string ("{\"params\":", 11), LV2_ATOM__String),
	           LV2_STATE_ERR_UNKNOWN);
	EXPECT_EQ (host->restoreProperty (lv2::STATE_PROPERTY_URI, "{\"params\":{\"ir.size\":0.1},\"variation\":\"x\"}",
	                                  LV2_ATOM__String),
	           LV2_STATE_ERR_UNKNOWN);
	EXPECT_EQ (host->restoreProperty (lv2::STATE_PROPERTY_URI, "[1,2,3]", LV2_ATOM__String), LV2_STATE_ERR_UNKNOWN);
	EXPECT_EQ (host->restoreProperty (lv2::STATE_PROPERTY_URI, before, LV2_ATOM__Int), LV2_STATE_ERR_BAD_TYPE);
	EXPECT_EQ (stateText (*host), before);

	// The same through lilv: a saved state whose document was damaged.
	std::string saved = host->saveState ();
	const std::string key = "\"variation\":16";
	const size_t at = saved.find (key);
	ASSERT_NE (at, std::string::npos) << saved;
	saved.replace (at, key.size (), "\"variation\":\"x\"");
	auto other = tavik::test::zorvHost ();
	const std::string fresh = stateText (*other);
	other->restoreState (saved);
	EXPECT_EQ (stateText (*other), fresh);

	// A good document still restores after the refusals.
	EXPECT_EQ (host->restoreProperty (lv2::STATE_PROPERTY_URI, stateText (*other), LV2_ATOM__String),
	           LV2_STATE_SUCCESS);
	EXPECT_EQ (stateText (*host), fresh);
}

TEST (Lv2Presets, EachFactoryPresetLoadsThroughLilvWithItsValues)
{
	auto host = tavik::test::zorvHost ();
	Uri presetClass (host->world (), LV2_PRESETS__Preset);
	LilvNodes* related = lilv_plugin_get_related (host->plugin (), presetClass.node);
	ASSERT_EQ (lilv_nodes_size (related), tavik::TAVIK_FACTORY_PRESET_COUNT);
	lilv_nodes_free (related);
	for (const tavik::tavik_factory_preset& preset : tavik::TAVIK_FACTORY_PRESETS)
	{
		SCOPED_TRACE (preset.id);
		ASSERT_TRUE (host->loadPreset (std::string (lv2::PRESET_URI_PREFIX) + preset.id));
		host->run (64);
		const tavik::StateChunk state = stateOf (*host);
		for (const tavik::tavik_param_desc& row : TAVIK_PARAMS)
		{
			const double plain = tavik::tavik_param_plain (&row, preset.values[row.id]);
			EXPECT_EQ (host->control (row.id), static_cast<float> (plain)) << row.path;
			// The port's float carries the value to within its precision.
			EXPECT_NEAR (state.values[row.id], plain, std::fabs (plain) * 1e-7 + 1e-12) << row.path;
		}
	}
}

TEST (Lv2Worker, APatchedCcMapIsAppliedByTheWorkerAndBadOnesIgnored)
{
	auto host = tavik::test::zorvHost ();
	host->queuePatchString (0, lv2::CC_MAP_PROPERTY_URI,
	                        R"({"version":1,"bindings":[{"cc":74,"path":"tuning.baseFreq"}]})");
	host->run (64);
	EXPECT_EQ (host->workRuns, 1);
	EXPECT_EQ (host->workFailures, 0);
	tavik::test::queueController (*host, 5, 74, 127);
	tavik::test::queueNote (*host, 5, true, 45, 100);
	host->run (64);
	EXPECT_EQ (stateOf (*host).values[16], 440.0);

	const std::string mapped = stateText (*host);
	host->queuePatchString (0, lv2::CC_MAP_PROPERTY_URI, "{\"version\":1,\"bindings\":");
	host->queuePatchString (1, "https://tavik.music/plugins/zorv#other", "{}");
	host->run (64);
	EXPECT_EQ (host->workRuns, 2) << "only the CC map property goes to the worker";
	EXPECT_EQ (stateText (*host), mapped) << "an invalid map leaves the last good one";

	// A controller on a channel and number the map does not bind does nothing.
	tavik::test::queueController (*host, 0, 75, 0);
	host->run (64);
	EXPECT_EQ (stateText (*host), mapped);
	tavik::test::queueController (*host, 0, 74, 0);
	host->run (64);
	EXPECT_EQ (stateOf (*host).values[16], 55.0);
}

} // namespace
