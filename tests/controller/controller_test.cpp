// TavikController through its VST 3 interfaces, as a host drives it: factory
// presets applied through the edit protocol with the dirty flag following,
// MIDI controller assignment from the CC map, component and controller
// state, host identity, and the bank state the editor is sent.

#include "factory_presets.h"
#include "host_context.h"
#include "json_text.h"
#include "message_recorder.h"
#include "midi_controller_params.h"
#include "recording_component_handler.h"
#include "plugin_messages.h"
#include "tavik_controller.h"

#include "public.sdk/source/common/memorystream.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstmidilearn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using tavik::TavikController;
using tavik::test::LockingHandler;
using tavik::test::MessageRecorder;

constexpr ParamID PROGRAM_CHANGE = 0x3F010001;

IPtr<MemoryStream> streamOf (const std::string& text)
{
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	int32 written = 0;
	stream->write (const_cast<char*> (text.data ()), static_cast<int32> (text.size ()), &written);
	int64 position = 0;
	stream->seek (0, IBStream::kIBSeekSet, &position);
	return stream;
}

class Controller : public ::testing::Test
{
protected:
	explicit Controller (const char* hostName = "Tavik controller test") : host (hostName)
	{
		object = static_cast<IEditController*> (TavikController::createInstance (nullptr));
		controller = static_cast<TavikController*> (object);
		EXPECT_EQ (object->initialize (&host), kResultOk);
		object->setComponentHandler (&handler);
		controller->connect (processor);
		controller->session ().setBridgeSink ([this] (const std::string& json) { editor.push_back (json); });
	}
	~Controller () override
	{
		EXPECT_EQ (handler.blocked, 0) << "the controller called back into the host from inside its call";
		controller->disconnect (processor);
		object->terminate ();
		object->release ();
	}

	size_t editorCount (const std::string& type) const
	{
		size_t n = 0;
		for (const std::string& m : editor)
			n += m.rfind ("{\"type\":\"" + type + "\"", 0) == 0;
		return n;
	}
	std::string controllerState ()
	{
		IPtr<MemoryStream> stream = owned (new MemoryStream ());
		EXPECT_EQ (object->getState (stream), kResultOk);
		return std::string (stream->getData (), static_cast<size_t> (stream->getSize ()));
	}

	tavik::tools::ToolHostApplication host;
	LockingHandler handler;
	IPtr<MessageRecorder> processor = owned (new MessageRecorder ());
	IEditController* object = nullptr;
	TavikController* controller = nullptr;
	std::vector<std::string> editor;
};

TEST_F (Controller, ProgramChangeAppliesAFactoryPresetThroughTheEditProtocol)
{
	ASSERT_EQ (object->getParameterCount (), 27 + 16 * kCountCtrlNumber);
	ParameterInfo info {};
	ASSERT_EQ (object->getParameterInfo (26, info), kResultOk);
	EXPECT_EQ (info.id, PROGRAM_CHANGE);
	EXPECT_EQ (info.stepCount, 9);
	EXPECT_EQ (info.flags & ParameterInfo::kCanAutomate, 0);

	// The host holds its lock across the program change, as a host's
	// preset menu does; the values arrive through the edit protocol inside
	// the call, the request to re-read them on the next tick.
	handler.whileLocked ([&] { ASSERT_EQ (object->setParamNormalized (PROGRAM_CHANGE, 0.5), kResultOk); });
	EXPECT_TRUE (handler.restarts.empty ());
	controller->tickCadence ();
	const tavik::PresetStateFacts& state = controller->session ().presetState ();
	EXPECT_STREQ (state.currentId, "factory-6");
	EXPECT_STREQ (state.currentName, "Gong Ageng Wadon");
	ASSERT_EQ (handler.calls.size (), 3u * 26);
	for (uint32_t id = 0; id < 26; ++id)
	{
		EXPECT_EQ (handler.calls[3 * id], "begin " + std::to_string (id));
		EXPECT_EQ (handler.calls[3 * id + 1], "perform " + std::to_string (id));
		EXPECT_EQ (handler.calls[3 * id + 2], "end " + std::to_string (id));
		EXPECT_EQ (handler.performed[id].second, tavik::TAVIK_FACTORY_PRESETS[5].values[id]);
		EXPECT_EQ (object->getParamNormalized (id), tavik::TAVIK_FACTORY_PRESETS[5].values[id]);
	}
	EXPECT_EQ (handler.restarts, (std::vector<int32> {kParamValuesChanged}));
	EXPECT_EQ (editorCount ("tavik.paramChanged"), 26u);
	EXPECT_EQ (*processor->last (tavik::messages::PRESET_LOADED), ""); // no bank preset selected
	EXPECT_EQ (object->getParamNormalized (25), 0.8484848484848485);   // performance.velocity 0.85

	// The dirty flag follows edits, and going back to the preset's value
	// makes it clean again.
	EXPECT_FALSE (controller->session ().presetDirty ());
	const double size = object->getParamNormalized (1);
	ASSERT_EQ (object->setParamNormalized (1, size / 2), kResultOk);
	EXPECT_TRUE (controller->session ().presetDirty ());
	ASSERT_EQ (object->setParamNormalized (1, size), kResultOk);
	EXPECT_FALSE (controller->session ().presetDirty ());

	const struct
	{
		double value;
		const char* id;
	} choices[] = {{0, "factory-1"}, {1.0 / 9, "factory-2"}, {17.0 / 18, "factory-10"}, {1, "factory-10"}};
	for (const auto& c : choices)
	{
		handler.whileLocked ([&] { ASSERT_EQ (object->setParamNormalized (PROGRAM_CHANGE, c.value), kResultOk); });
		EXPECT_STREQ (state.currentId, c.id) << c.value;
	}
	// Several program changes between two ticks: one request to re-read.
	controller->tickCadence ();
	EXPECT_EQ (handler.restarts, (std::vector<int32> {kParamValuesChanged, kParamValuesChanged}));
	EXPECT_EQ (object->getParamNormalized (7), 1.0); // factory-10 strikes with the Metal mallet
	ASSERT_EQ (object->setParamNormalized (PROGRAM_CHANGE, 7.0 / 9), kResultOk);
	EXPECT_EQ (object->getParamNormalized (0), 1.0); // factory-8 is a Symphonic gong
}

TEST_F (Controller, HostEditsReachTheEditor)
{
	ASSERT_EQ (object->setParamNormalized (1, 0.5), kResultOk);
	ASSERT_EQ (editor.size (), 1u);
	EXPECT_EQ (editor[0], "{\"type\":\"tavik.paramChanged\",\"path\":\"ir.size\",\"value\":1.25,\"normalized\":0.5}");
	EXPECT_EQ (object->setParamNormalized (999, 0.5), kResultFalse);
	EXPECT_EQ (editor.size (), 1u);
	// A controller's position is held, and neither the page nor the preset
	// hears of it.
	const ParamID modWheel = tavik::midiControllerParamId (0, 1);
	ASSERT_EQ (object->setParamNormalized (modWheel, 0.75), kResultOk);
	EXPECT_EQ (object->getParamNormalized (modWheel), 0.75);
	EXPECT_EQ (editor.size (), 1u);
	EXPECT_FALSE (controller->session ().presetState ().dirty);
}

TEST_F (Controller, MidiControllersFollowTheCcMapPerChannel)
{
	FUnknownPtr<IMidiMapping> mapping (object);
	ASSERT_TRUE (mapping);
	ParamID id = 12345;
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 0, 1, id), kResultFalse); // no map yet

	tavik::CcMap map;
	map.count = 4;
	map.bindings[0].cc = 7;
	map.bindings[0].paramIndex = 30; // not a parameter: never reported
	map.bindings[1].cc = 7;
	map.bindings[1].paramIndex = 17;
	map.bindings[1].channel = 0; // any channel
	map.bindings[2].cc = 1;
	map.bindings[2].paramIndex = 9;
	map.bindings[2].channel = 3; // MIDI channel 3 is index 2
	map.bindings[3].cc = 2;
	map.bindings[3].paramIndex = 5;
	map.bindings[3].enabled = false;
	controller->session ().adoptCcMap (map, true);
	EXPECT_EQ (handler.restarts, (std::vector<int32> {kMidiCCAssignmentChanged}));
	EXPECT_EQ (processor->count (tavik::messages::CC_MAP), 1u);
	EXPECT_EQ (editorCount ("tavik.ccMapChanged"), 1u);

	// Each matched (channel, controller) drives a hidden parameter of its
	// own, which the processor resolves through the map.
	for (int16 channel : {0, 5, 15})
	{
		ASSERT_EQ (mapping->getMidiControllerAssignment (0, channel, 7, id), kResultOk);
		EXPECT_EQ (id, tavik::midiControllerParamId (static_cast<uint32_t> (channel), 7));
	}
	ASSERT_EQ (mapping->getMidiControllerAssignment (0, 2, 1, id), kResultOk);
	EXPECT_EQ (id, tavik::midiControllerParamId (2, 1));
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 3, 1, id), kResultFalse);
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 0, 2, id), kResultFalse);           // disabled
	EXPECT_EQ (mapping->getMidiControllerAssignment (1, 0, 7, id), kResultFalse);           // another bus
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 0, kAfterTouch, id), kResultFalse); // no binding can
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 0, kCountCtrlNumber, id), kResultFalse);
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 0, -1, id), kResultFalse);
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 16, 7, id), kResultFalse);
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, -1, 7, id), kResultFalse);
	// Sustain, all sound off and all notes off reach the processor on every
	// channel, with or without a binding.
	for (CtrlNumber performance : {kCtrlSustainOnOff, kCtrlAllSoundsOff, kCtrlAllNotesOff})
		for (int16 channel : {0, 9, 15})
		{
			ASSERT_EQ (mapping->getMidiControllerAssignment (0, channel, performance, id), kResultOk);
			EXPECT_EQ (id, tavik::midiControllerParamId (static_cast<uint32_t> (channel),
			                                             static_cast<uint32_t> (performance)));
		}

	// Every hidden parameter is listed after the product's, hidden, never
	// automated, in the MIDI controllers unit, with a distinct id.
	ASSERT_EQ (object->getParameterCount (), 27 + 16 * kCountCtrlNumber);
	std::set<ParamID> ids;
	for (int32 i = 27; i < object->getParameterCount (); ++i)
	{
		ParameterInfo info {};
		ASSERT_EQ (object->getParameterInfo (i, info), kResultOk);
		EXPECT_TRUE (tavik::isMidiControllerParam (info.id)) << i;
		EXPECT_EQ (info.flags, ParameterInfo::kIsHidden) << i;
		EXPECT_EQ (info.unitId, tavik::MIDI_CONTROLLER_UNIT_ID);
		ids.insert (info.id);
	}
	EXPECT_EQ (ids.size (), 16u * kCountCtrlNumber);
	ParameterInfo last {};
	ASSERT_EQ (object->getParameterInfo (object->getParameterCount () - 1, last), kResultOk);
	EXPECT_EQ (tavik::tools::utf16ToUtf8 (reinterpret_cast<const char16_t*> (last.title), 128),
	           "MIDI Ch 16 Pitch Bend");
	FUnknownPtr<IUnitInfo> units (object);
	UnitInfo unit {};
	ASSERT_EQ (units->getUnitInfo (1, unit), kResultOk);
	EXPECT_EQ (unit.id, tavik::MIDI_CONTROLLER_UNIT_ID);
	EXPECT_EQ (unit.parentUnitId, kRootUnitId);
	EXPECT_EQ (tavik::tools::utf16ToUtf8 (reinterpret_cast<const char16_t*> (unit.name), 128), "MIDI Controllers");

	// A binding removed drops its controller on the next answer.
	map.count = 2;
	controller->session ().adoptCcMap (map, true);
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 2, 1, id), kResultFalse);
	EXPECT_EQ (handler.restarts, (std::vector<int32> {kMidiCCAssignmentChanged, kMidiCCAssignmentChanged}));
}

TEST_F (Controller, MidiLearnTakesTheNextControllerFromTheProcessorOrTheHost)
{
	FUnknownPtr<IMidiMapping> mapping (object);
	FUnknownPtr<IMidiLearn> learning (object);
	ASSERT_TRUE (mapping && learning);
	const auto bridge = [this] (const std::string& json) {
		controller->session ().handleBridgeMessage (json.data (), json.size ());
	};
	// The processor's report of the controllers it saw: three bytes each.
	const auto processorSaw = [this] (std::initializer_list<std::array<uint8_t, 3>> records) {
		std::string payload;
		for (const auto& r : records)
			payload.append (reinterpret_cast<const char*> (r.data ()), 3);
		IPtr<IMessage> message = owned (new HostMessage ());
		message->setMessageID (tavik::messages::MIDI_CC);
		message->getAttributes ()->setBinary ("json", payload.data (), static_cast<uint32> (payload.size ()));
		EXPECT_EQ (controller->notify (message), kResultOk);
	};
	const auto binding = [this] (uint32_t slot) { return controller->session ().ccMap ().bindings[slot]; };
	bridge ("{\"type\":\"tavik.setCcMap\",\"map\":[{\"cc\":20,\"path\":\"ir.size\"},"
	        "{\"cc\":21,\"path\":\"ir.damping\",\"channel\":2}]}");
	handler.restarts.clear ();
	editor.clear ();
	ParamID id = 0;
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 4, 30, id), kResultFalse);

	// What moved reaches the drawer; nothing learns without a request.
	processorSaw ({{30, 5, 99}});
	EXPECT_EQ (editor, (std::vector<std::string> {"{\"type\":\"tavik.midiCc\",\"cc\":30,\"channel\":5,\"value\":99}"}));
	EXPECT_EQ (learning->onLiveMIDIControllerInput (0, 4, 30), kResultFalse);
	EXPECT_EQ (binding (0).cc, 20);

	// While a binding learns, every learnable controller reaches the
	// processor, whichever the musician moves.
	for (const char* refused :
	     {"{\"type\":\"tavik.ccLearn\",\"value\":2}", "{\"type\":\"tavik.ccLearn\",\"value\":0.5}",
	      "{\"type\":\"tavik.ccLearn\",\"value\":-1}", "{\"type\":\"tavik.ccLearn\"}"})
	{
		editor.clear ();
		bridge (refused);
		EXPECT_EQ (editor,
		           (std::vector<std::string> {"{\"type\":\"tavik.ccLearnState\",\"slot\":-1,\"learned\":false}"}))
			<< refused;
	}
	EXPECT_TRUE (handler.restarts.empty ());
	editor.clear ();
	bridge ("{\"type\":\"tavik.ccLearn\",\"value\":1}");
	EXPECT_EQ (editor, (std::vector<std::string> {"{\"type\":\"tavik.ccLearnState\",\"slot\":1,\"learned\":false}"}));
	EXPECT_EQ (handler.restarts, (std::vector<int32> {kMidiCCAssignmentChanged}));
	ASSERT_EQ (mapping->getMidiControllerAssignment (0, 4, 30, id), kResultOk);
	EXPECT_EQ (id, tavik::midiControllerParamId (4, 30));
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 4, 121, id), kResultFalse);
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 4, kPitchBend, id), kResultFalse);

	// Channel mode messages, pressure and records that make no sense are
	// not learned; the next real controller is, with the channel it moved
	// on for a binding on one channel.
	EXPECT_EQ (learning->onLiveMIDIControllerInput (0, 4, kCtrlAllNotesOff), kResultFalse);
	EXPECT_EQ (learning->onLiveMIDIControllerInput (0, 4, kAfterTouch), kResultFalse);
	EXPECT_EQ (learning->onLiveMIDIControllerInput (1, 4, 30), kResultFalse);
	EXPECT_EQ (learning->onLiveMIDIControllerInput (0, 16, 30), kResultFalse);
	processorSaw ({{30, 0, 99}, {30, 17, 99}, {128, 1, 5}, {30, 1, 200}});
	EXPECT_EQ (controller->session ().learningSlot (), 1);
	editor.clear ();
	handler.restarts.clear ();
	processorSaw ({{74, 6, 12}, {75, 6, 12}});
	EXPECT_EQ (binding (1).cc, 74);
	EXPECT_EQ (binding (1).channel, 6);
	EXPECT_EQ (binding (0).cc, 20);
	EXPECT_EQ (processor->count (tavik::messages::CC_MAP), 2u);
	EXPECT_EQ (editorCount ("tavik.midiCc"), 2u);
	EXPECT_EQ (editorCount ("tavik.ccMapChanged"), 1u);
	EXPECT_EQ (editorCount ("tavik.ccLearnState"), 1u);
	EXPECT_NE (
		std::find (editor.begin (), editor.end (), "{\"type\":\"tavik.ccLearnState\",\"slot\":-1,\"learned\":true}"),
		editor.end ());
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 4, 30, id), kResultFalse);
	EXPECT_EQ (mapping->getMidiControllerAssignment (0, 5, 74, id), kResultOk);

	// A host's learn: inside its call the new assignments wait for the
	// next tick. A binding on any channel stays on any channel.
	bridge ("{\"type\":\"tavik.ccLearn\",\"value\":0}");
	handler.restarts.clear ();
	handler.whileLocked ([&] { EXPECT_EQ (learning->onLiveMIDIControllerInput (0, 9, 7), kResultTrue); });
	EXPECT_EQ (binding (0).cc, 7);
	EXPECT_EQ (binding (0).channel, 0);
	EXPECT_TRUE (handler.restarts.empty ());
	controller->tickCadence ();
	EXPECT_EQ (handler.restarts, (std::vector<int32> {kMidiCCAssignmentChanged}));

	// Learning ends when its binding goes or the editor closes.
	bridge ("{\"type\":\"tavik.ccLearn\",\"value\":1}");
	bridge ("{\"type\":\"tavik.setCcMap\",\"map\":[{\"cc\":20,\"path\":\"ir.size\"}]}");
	EXPECT_EQ (controller->session ().learningSlot (), -1);
	bridge ("{\"type\":\"tavik.ccLearn\",\"value\":0}");
	controller->session ().editorClosed ();
	EXPECT_EQ (controller->session ().learningSlot (), -1);
	EXPECT_EQ (learning->onLiveMIDIControllerInput (0, 0, 3), kResultFalse);
	EXPECT_EQ (binding (0).cc, 20);
}

TEST_F (Controller, ComponentStateUpdatesOnlyWhatTheDocumentCarries)
{
	ASSERT_EQ (object->setParamNormalized (16, 0.25), kResultOk);
	editor.clear ();
	const std::string state = "{\"params\":{\"ir.size\":1.25,\"mallet.type\":2},"
							  "\"ccMap\":{\"version\":1,\"bindings\":[{\"cc\":74,\"path\":\"strike.position\"}]},"
							  "\"sampler\":{\"v\":1,\"pads\":{\"kick\":{\"gain\":2}}}}";
	handler.whileLocked ([&] { ASSERT_EQ (object->setComponentState (streamOf (state)), kResultOk); });
	EXPECT_TRUE (handler.restarts.empty ()); // the new MIDI assignments wait for the next tick
	controller->tickCadence ();
	EXPECT_EQ (handler.restarts, (std::vector<int32> {kMidiCCAssignmentChanged}));
	EXPECT_EQ (object->getParamNormalized (1), 0.5);
	EXPECT_EQ (object->getParamNormalized (7), 2.0 / 3);
	EXPECT_EQ (object->getParamNormalized (16), 0.25); // not named: kept
	EXPECT_EQ (editorCount ("tavik.paramChanged"), 2u);
	EXPECT_EQ (editorCount ("tavik.ccMapChanged"), 1u);
	ASSERT_EQ (editorCount ("tavik.bankState"), 1u);
	const auto bankState = std::find_if (editor.begin (), editor.end (), [] (const std::string& m) {
		return m.rfind ("{\"type\":\"tavik.bankState\"", 0) == 0;
	});
	EXPECT_NE (bankState->find ("\"reason\":\"restore\",\"stateVersion\":1,\"pads\":{\"kick\":{\"gain\":2}}"),
	           std::string::npos);
	// A restored sound is no preset, and the editor hears so once.
	EXPECT_EQ (editorCount ("tavik.presetState"), 1u);
	EXPECT_EQ (editor.back (), "{\"type\":\"tavik.presetState\",\"presetState\":{\"factoryCount\":10,\"dirty\":false,"
	                           "\"userPresetsSupported\":true,\"lastStateBytes\":" +
	                               std::to_string (state.size ()) + "},\"origin\":\"state\"}");
	EXPECT_EQ (controller->session ().presetState ().lastStateBytes, static_cast<int64_t> (state.size ()));
	FUnknownPtr<IMidiMapping> mapping (object);
	ParamID id = 0;
	ASSERT_EQ (mapping->getMidiControllerAssignment (0, 0, 74, id), kResultOk);
	EXPECT_EQ (id, tavik::midiControllerParamId (0, 74));

	// A document that does not parse changes nothing.
	editor.clear ();
	for (const std::string bad : {"", "{\"params\":", "{\"params\":null}", "[]"})
		EXPECT_EQ (object->setComponentState (streamOf (bad)), kResultFalse) << bad;
	EXPECT_EQ (object->setComponentState (nullptr), kResultFalse);
	EXPECT_EQ (object->getParamNormalized (1), 0.5);
	EXPECT_TRUE (editor.empty ());
}

TEST_F (Controller, ControllerStateHoldsTheCcMapAndPads)
{
	EXPECT_EQ (controllerState (), "{}");
	EXPECT_EQ (object->setState (streamOf ("")), kResultOk);
	EXPECT_EQ (object->setState (streamOf ("{\"ccMap\":")), kResultFalse);
	EXPECT_EQ (object->getState (nullptr), kResultFalse);

	const std::string pads = "{\"sampler\":{\"v\":1,\"pads\":{\"snare\":{\"pan\":-0.5}}}}";
	ASSERT_EQ (object->setState (streamOf (pads)), kResultOk);
	EXPECT_EQ (controllerState (), pads);
	const std::string both = "{\"ccMap\":{\"version\":1,\"bindings\":[{\"cc\":1,\"path\":\"ir.size\"}]},"
							 "\"sampler\":{\"v\":1,\"pads\":{\"snare\":{\"pan\":-0.5}}}}";
	handler.whileLocked ([&] { ASSERT_EQ (object->setState (streamOf (both)), kResultOk); });
	EXPECT_EQ (controllerState (), both);
	EXPECT_TRUE (handler.restarts.empty ());
	controller->tickCadence ();
	EXPECT_EQ (handler.restarts, (std::vector<int32> {kMidiCCAssignmentChanged}));
	// Parameter values in the controller's own chunk are not its business.
	ASSERT_EQ (object->setState (streamOf ("{\"params\":{\"ir.size\":2}}")), kResultOk);
	EXPECT_EQ (object->getParamNormalized (1), tavik::TAVIK_PARAMS[1].defaultNormalized);
	EXPECT_EQ (controllerState (), "{\"ccMap\":{\"version\":1,\"bindings\":[{\"cc\":1,\"path\":\"ir.size\"}]}}");
}

TEST_F (Controller, BankStateListsFactoryPresetsUntilABankAnswers)
{
	tavik::BankControl& bank = controller->session ().bankControl ();
	const std::string plain = bank.bankStateJson (nullptr, nullptr, nullptr);
	EXPECT_EQ (plain.rfind ("{\"type\":\"tavik.bankState\",\"reason\":\"query\",\"stateVersion\":1,\"pads\":{},"
	                        "\"banks\":[],\"presets\":{\"bankScoped\":false,\"items\":[{\"id\":\"factory-1\","
	                        "\"name\":\"Tam-Tam Yarn\"},",
	                        0),
	           0u);
	EXPECT_EQ (plain.find ("\"runtime\""), std::string::npos);

	bank.adoptRuntimeBankReply ("ok\n\ninst\tInstrument\tinstruments\na\tA\tinstruments\nk\tK\tkits\n"
	                            "\x01p1\tFirst\tinst\tir.size=1.5\x1Fmaster.level=0.1");
	const std::string loaded = editor.back ();
	EXPECT_NE (loaded.find ("\"reason\":\"loadBank\""), std::string::npos);
	EXPECT_NE (loaded.find ("\"presets\":{\"bankScoped\":true,\"items\":[{\"id\":\"p1\",\"name\":\"First\","
	                        "\"instrument\":\"inst\",\"params\":{\"ir.size\":1.5,"
	                        "\"master.level\":0.10000000000000001}}]}"),
	           std::string::npos)
		<< loaded;

	bank.adoptRuntimeBankReply ("bank-hash-mismatch\nasset \"a\" sha256 …");
	EXPECT_NE (editor.back ().find ("\"error\":{\"code\":\"bank-hash-mismatch\",\"requestedId\":\"\"}"),
	           std::string::npos);
	EXPECT_NE (editor.back ().find ("\"bankScoped\":false"), std::string::npos);
}

TEST_F (Controller, AMissingEditorPageIsReported)
{
	testing::internal::CaptureStderr ();
	EXPECT_EQ (object->createView ("editor"), nullptr);
	EXPECT_EQ (testing::internal::GetCapturedStderr (), "tavik-plugin-shell: no UI bundle found; editor disabled\n");
	const tavik::DiagnosticLifecycleLog& log = controller->session ().lifecycleLog ();
	const tavik::DiagnosticLifecycleEvent& last = log.at (log.count - 1);
	EXPECT_EQ (last.kind, tavik::DiagnosticLifecycleKind::editorError);
	EXPECT_STREQ (last.details[0].text, "no ui bundle in plugin");
	EXPECT_EQ (object->createView ("other"), nullptr);
	EXPECT_EQ (object->createView (nullptr), nullptr);
}

class ValidatorController : public Controller
{
protected:
	ValidatorController () : Controller ("pluginval auval validator") {}
};

TEST_F (ValidatorController, TheHostNameIsKeptAndClassified)
{
	EXPECT_STREQ (controller->session ().hostFacts ().hostName, "pluginval auval validator");
	EXPECT_EQ (controller->session ().hostFacts ().validatorHost, 1);
	const struct
	{
		const char* name;
		uint8_t kind;
	} names[] = {{"Pluginval", 1},
	             {"auval validator", 3},
	             {"x clap_validator", 2},
	             {"VST3 Validator", 4},
	             {"Tavik zorv-render", 5},
	             {"Bitwig Studio", 0},
	             {"", 0},
	             {nullptr, 0}};
	for (const auto& n : names)
		EXPECT_EQ (tavik::classifyValidatorHost (n.name), n.kind) << (n.name ? n.name : "null");
}

} // namespace
