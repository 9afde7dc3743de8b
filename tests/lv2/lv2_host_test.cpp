// The LV2 bundle and plug-in as an LV2 host sees them, through lilv: the
// ports the Turtle describes against the parameter table, rendering at
// several block sizes, the latency port, state saved and restored through
// lilv (and bad state refused), the factory presets, and CC maps sent as
// patch messages and applied by the worker; the UI's controller messages
// answered through the worker into the notify sequence, bad ones ignored.

#include "lv2_test_host.h"

#include "factory_presets.h"
#include "host_facts.h"
#include "kernel_engine.h"
#include "lv2_message_atom.h"
#include "plugin_messages.h"
#include "parameter_table.h"
#include "state_document.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/ui/ui.h>
#include <lv2/units/units.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <cstring>
#include <filesystem>
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
	LilvNode* name = lilv_plugin_get_name (plugin); // the caller's to free
	EXPECT_EQ (lilv_node_as_string (name), std::string ("Zorv"));
	lilv_node_free (name);

	// The editor: one X11 UI in its own binary, told of notify's events and
	// of every parameter port.
	LilvUIs* uis = lilv_plugin_get_uis (plugin);
	ASSERT_EQ (lilv_uis_size (uis), 1u);
	const LilvUI* ui = lilv_uis_get (uis, lilv_uis_begin (uis));
	EXPECT_STREQ (lilv_node_as_uri (lilv_ui_get_uri (ui)), lv2::UI_URI);
	Uri x11 (world, LV2_UI__X11UI);
	EXPECT_TRUE (lilv_ui_is_a (ui, x11.node));
	char* binary = lilv_file_uri_parse (lilv_node_as_uri (lilv_ui_get_binary_uri (ui)), nullptr);
	std::error_code error;
	EXPECT_TRUE (
		std::filesystem::equivalent (binary, std::string (ZORV_LV2_BUNDLE_PATH) + "/" + lv2::UI_BINARY_NAME, error))
		<< binary;
	lilv_free (binary);
	Uri notification (world, LV2_UI__portNotification), symbol (world, LV2_CORE__symbol),
		protocol (world, LV2_UI__protocol), eventTransfer (world, LV2_ATOM__eventTransfer),
		floatProtocol (world, LV2_UI__floatProtocol), required (world, LV2_CORE__requiredFeature),
		parent (world, LV2_UI__parent);
	std::map<std::string, std::string> notified;
	LilvNodes* notifications = lilv_world_find_nodes (world, lilv_ui_get_uri (ui), notification.node, nullptr);
	LILV_FOREACH (nodes, i, notifications)
	{
		const LilvNode* n = lilv_nodes_get (notifications, i);
		LilvNode* sym = lilv_world_get (world, n, symbol.node, nullptr);
		LilvNode* proto = lilv_world_get (world, n, protocol.node, nullptr);
		if (sym && proto)
			notified[lilv_node_as_string (sym)] = lilv_node_as_uri (proto);
		lilv_node_free (sym);
		lilv_node_free (proto);
	}
	lilv_nodes_free (notifications);
	EXPECT_EQ (notified.size (), TAVIK_PARAM_COUNT + 1);
	EXPECT_EQ (notified["notify"], LV2_ATOM__eventTransfer);
	for (const tavik::tavik_param_desc& row : TAVIK_PARAMS)
		EXPECT_EQ (notified[lv2::portSymbol (row)], LV2_UI__floatProtocol) << row.path;
	EXPECT_TRUE (lilv_world_ask (world, lilv_ui_get_uri (ui), required.node, parent.node));
	lilv_uis_free (uis);
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

// A plug-in instance with the UI's side of the message atoms.
struct MessageHost
{
	std::unique_ptr<Lv2Host> host = tavik::test::zorvHost ();
	LV2_URID_Map map {host.get (),
	                  [] (LV2_URID_Map_Handle h, const char* uri) { return static_cast<Lv2Host*> (h)->map (uri); }};
	lv2::MessageUrids urids {map};
	std::vector<uint64_t> buffer = std::vector<uint64_t> (lv2::MAX_MESSAGE_BYTES / 4);

	LV2_Atom& message (const char* id, const std::string* payload = nullptr, bool reset = false)
	{
		const uint32_t size = lv2::writeMessage (
			buffer.data (), static_cast<uint32_t> (buffer.size () * 8), urids, id, payload ? payload->data () : nullptr,
			payload ? static_cast<uint32_t> (payload->size ()) : 0, payload, reset);
		EXPECT_GT (size, 0u) << id;
		return *reinterpret_cast<LV2_Atom*> (buffer.data ());
	}
	void send (const char* id, const std::string* payload = nullptr, bool reset = false)
	{
		host->queueAtom (0, message (id, payload, reset));
	}
	/** The replies in the last block's notify sequence, as (id, payload). */
	std::vector<std::pair<std::string, std::string>> replies () const
	{
		std::vector<std::pair<std::string, std::string>> out;
		const LV2_Atom_Sequence& notify = host->notifyOutput ();
		LV2_ATOM_SEQUENCE_FOREACH (&notify, ev)
		{
			lv2::MessageView view;
			EXPECT_TRUE (
				lv2::readMessage (&ev->body, static_cast<uint32_t> (sizeof (LV2_Atom)) + ev->body.size, urids, view));
			out.emplace_back (view.id, std::string (reinterpret_cast<const char*> (view.payload), view.payloadSize));
		}
		return out;
	}
	/** Runs blocks until the replies of what was sent are out (worker,
	 *  then the block that writes them). */
	std::vector<std::pair<std::string, std::string>> exchange ()
	{
		host->run (64);
		host->run (64);
		return replies ();
	}
};

TEST (Lv2Worker, UiMessagesAreAnsweredInTheNotifySequence)
{
	MessageHost m;
	// The state a preset save asks for is the document the state saves.
	m.send (tavik::messages::STATE_REQUEST);
	auto replies = m.exchange ();
	ASSERT_EQ (replies.size (), 1u);
	EXPECT_EQ (replies[0].first, tavik::messages::COMPONENT_STATE);
	const std::string saved = stateText (*m.host);
	EXPECT_EQ (replies[0].second, saved.substr (0, saved.size () - 1));

	// A CC map message reaches the session; a map the session refuses
	// leaves it.
	const std::string map = R"({"version":1,"bindings":[{"cc":30,"path":"ir.size"}]})";
	const std::string broken = "{\"version\":1,";
	m.send (tavik::messages::CC_MAP, &map);
	EXPECT_TRUE (m.exchange ().empty ());
	m.send (tavik::messages::CC_MAP, &broken);
	m.exchange ();
	EXPECT_NE (stateText (*m.host).find ("\"cc\":30"), std::string::npos);

	// An editor opening: the host facts LV2 knows and the health report.
	m.send (tavik::messages::TRANSPORT_POLL, nullptr, true);
	replies = m.exchange ();
	ASSERT_EQ (replies.size (), 2u);
	EXPECT_EQ (replies[0].first, tavik::messages::HOST_FACTS);
	ASSERT_EQ (replies[0].second.size (), sizeof (tavik::HostFacts));
	tavik::HostFacts facts;
	std::memcpy (static_cast<void*> (&facts), replies[0].second.data (), sizeof facts);
	EXPECT_EQ (facts.sampleRate, 48000.0);
	EXPECT_EQ (facts.maxBlockFrames, 512);
	EXPECT_EQ (facts.busCount, 1u);
	EXPECT_EQ (replies[1].first, tavik::messages::RUNTIME_DIAGNOSTICS);
	EXPECT_NE (replies[1].second.find ("\"status\":\"healthy\""), std::string::npos) << replies[1].second;
	m.send (tavik::messages::TRANSPORT_POLL);
	EXPECT_TRUE (m.exchange ().empty ()) << "only an opening editor's poll is answered";

	// Controllers the instance played come back on a feed drain.
	tavik::test::queueController (*m.host, 3, 30, 99);
	m.host->run (64);
	m.send (tavik::messages::FEED_DRAIN);
	replies = m.exchange ();
	ASSERT_EQ (replies.size (), 1u);
	EXPECT_EQ (replies[0].first, tavik::messages::MIDI_CC);
	EXPECT_EQ (replies[0].second, std::string ("\x1e\x01\x63", 3));

	// A bank load the session cannot do is answered with its reason.
	const std::string bank = "source=folder\npath=/nonexistent/zorv-bank\n";
	m.send (tavik::messages::LOAD_RUNTIME_BANK, &bank);
	replies = m.exchange ();
	ASSERT_GE (replies.size (), 1u);
	EXPECT_EQ (replies[0].first, tavik::messages::RUNTIME_BANK_RESULT);
	EXPECT_FALSE (replies[0].second.empty ());

	// Replies that do not fit the notify buffer wait for the next block.
	m.host->setNotifyCapacity (static_cast<uint32_t> (saved.size ()) + 200);
	m.send (tavik::messages::STATE_REQUEST);
	m.send (tavik::messages::STATE_REQUEST);
	m.host->run (64);
	m.host->run (64);
	EXPECT_EQ (m.replies ().size (), 1u);
	m.host->run (64);
	EXPECT_EQ (m.replies ().size (), 1u);
	m.host->run (64);
	EXPECT_TRUE (m.replies ().empty ());
	// One that cannot fit an empty buffer is dropped, not kept for ever.
	m.host->setNotifyCapacity (256);
	m.send (tavik::messages::STATE_REQUEST);
	m.exchange ();
	EXPECT_TRUE (m.replies ().empty ());
	m.host->setNotifyCapacity (1u << 16);
	m.send (tavik::messages::STATE_REQUEST);
	EXPECT_EQ (m.exchange ().size (), 1u);
}

TEST (Lv2Worker, BadUiMessagesAreIgnored)
{
	MessageHost m;
	const std::string before = stateText (*m.host);
	const std::string map = R"({"version":1,"bindings":[{"cc":31,"path":"ir.size"}]})";
	const auto sendBroken = [&] (const std::function<void (LV2_Atom&, uint8_t*)>& breakIt) {
		LV2_Atom& atom = m.message (tavik::messages::CC_MAP, &map);
		breakIt (atom, reinterpret_cast<uint8_t*> (&atom));
		m.host->queueAtom (0, atom);
	};
	const uint32_t idValue = sizeof (LV2_Atom_Object) + sizeof (LV2_Atom_Property_Body);
	// The id's string without its NUL, a property longer than the object,
	// the payload as another type, another object type.
	sendBroken ([&] (LV2_Atom&, uint8_t* bytes) { bytes[idValue + std::strlen (tavik::messages::CC_MAP)] = 'x'; });
	sendBroken ([&] (LV2_Atom&, uint8_t* bytes) {
		reinterpret_cast<LV2_Atom_Property_Body*> (bytes + sizeof (LV2_Atom_Object))->value.size = 60000;
	});
	sendBroken ([&] (LV2_Atom&, uint8_t* bytes) {
		auto* body = reinterpret_cast<LV2_Atom_Object*> (bytes);
		uint8_t* last = bytes + sizeof (LV2_Atom) + body->atom.size - 8 - ((map.size () + 7) & ~size_t (7)) - 8;
		reinterpret_cast<LV2_Atom_Property_Body*> (last)->value.type = m.urids.atomString;
	});
	sendBroken (
		[&] (LV2_Atom&, uint8_t* bytes) { reinterpret_cast<LV2_Atom_Object*> (bytes)->body.otype = m.urids.atomInt; });
	// An id the processor does not know, and one too long to be any.
	m.send ("tavik.noSuchMessage", &map);
	EXPECT_EQ (
		lv2::writeMessage (m.buffer.data (), 4096, m.urids, std::string (80, 'x').c_str (), nullptr, 0, false, false),
		0u);
	// A payload beyond the largest message.
	const std::string huge (lv2::MAX_MESSAGE_BYTES, ' ');
	EXPECT_EQ (lv2::writeMessage (m.buffer.data (), static_cast<uint32_t> (m.buffer.size () * 8), m.urids,
	                              tavik::messages::CC_MAP, huge.data (), static_cast<uint32_t> (huge.size ()), true,
	                              false),
	           0u);
	EXPECT_TRUE (m.exchange ().empty ());
	EXPECT_EQ (stateText (*m.host), before);
	EXPECT_EQ (m.host->workFailures, 0);

	// A worker handed pieces out of order or cut short drops the message.
	LV2_Atom& whole = m.message (tavik::messages::CC_MAP, &map);
	alignas (8) uint8_t piece[40] = {};
	auto* header = reinterpret_cast<LV2_Atom*> (piece);
	header->type = m.map.map (m.map.handle, lv2::WORK_FRAGMENT_URI);
	header->size = sizeof piece - sizeof (LV2_Atom);
	const uint32_t total = static_cast<uint32_t> (sizeof (LV2_Atom)) + whole.size;
	std::memcpy (piece + 8, &total, 4);
	const uint32_t offset = 16;
	std::memcpy (piece + 12, &offset, 4);
	EXPECT_EQ (m.host->workNow (sizeof piece, piece), LV2_WORKER_SUCCESS);
	EXPECT_EQ (m.host->workNow (4, piece), LV2_WORKER_ERR_UNKNOWN);
	EXPECT_TRUE (m.exchange ().empty ());
	EXPECT_EQ (stateText (*m.host), before);

	// And a good message afterwards is taken.
	m.send (tavik::messages::CC_MAP, &map);
	m.exchange ();
	EXPECT_NE (stateText (*m.host).find ("\"cc\":31"), std::string::npos);
}

} // namespace
