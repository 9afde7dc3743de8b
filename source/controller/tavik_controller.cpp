#include "tavik_controller.h"

#include "factory_presets.h"
#include "host_call.h"
#include "json_message.h"
#include "midi_controller_params.h"
#include "module_path.h"
#include "plugin_messages.h"
#include "state_stream.h"
#include "tavik_parameter.h"
#include "parked_editor.h"
#include "web_view_plug_view.h"

#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace tavik {

using namespace Steinberg;
using namespace Steinberg::Vst;

static_assert (RESTART_PARAM_VALUES_CHANGED == kParamValuesChanged, "restart flags");
static_assert (RESTART_MIDI_CC_ASSIGNMENT_CHANGED == kMidiCCAssignmentChanged, "restart flags");
static_assert (MIDI_CONTROLLER_NUMBERS == kCountCtrlNumber && MIDI_CHANNEL_PRESSURE == kAfterTouch &&
                   MIDI_PITCH_BEND == kPitchBend,
               "one hidden parameter for each controller a host can map");
static_assert (!isMidiControllerParam (TAVIK_FACTORY_PROGRAM_LIST_ID) && !isMidiControllerParam (TAVIK_PARAM_COUNT - 1),
               "the hidden parameters' ids meet no other parameter's");

namespace {

// The host's name as bytes: the low byte of each UTF-16 unit, at most 126.
bool hostNameOf (FUnknown* context, std::string& name)
{
	FUnknownPtr<IHostApplication> application (context);
	String128 wide {};
	if (!application || application->getName (wide) != kResultOk)
		return false;
	name.clear ();
	for (int i = 0; i < 126 && wide[i]; ++i)
		name.push_back (static_cast<char> (wide[i] & 0xFF));
	return true;
}

} // namespace

TavikController::TavikController () : logic (std::make_unique<ControllerSession> (surface)) {}

TavikController::~TavikController () = default;

void TavikController::startCadenceClock (FUnknown* context)
{
	FUnknownPtr<Linux::IRunLoop> loop (context);
	if (!loop || cadenceClockRunning ())
		return;
	rememberHostRunLoop (loop);
	cadenceLoop = loop;
	cadence = owned (RunLoopTimer::create ([this] {
		logic->tickCadence ();
		// A closed editor's kept helper goes when its time is up, even if
		// no editor opens again.
		expireParkedEditor ();
	}));
	if (!cadence->start (loop, 1000 / 30))
		cadence = nullptr;
}

tresult PLUGIN_API TavikController::setComponentHandler (IComponentHandler* handler)
{
	const tresult result = EditControllerEx1::setComponentHandler (handler);
	// Some hosts offer their run loop on the handler rather than on the
	// context: the clock then starts here (restarts owed to the host wait
	// for its ticks).
	if (result == kResultOk && handler && initialised && !cadenceClockRunning ())
		guardedHostCall ([&] {
			startCadenceClock (handler);
			return kResultOk;
		});
	return result;
}

void TavikController::stopCadenceClock ()
{
	if (cadence)
		cadence->stop ();
	cadence = nullptr;
	if (cadenceLoop && rememberedHostRunLoop () == cadenceLoop)
		rememberHostRunLoop (nullptr);
	cadenceLoop = nullptr;
}

tresult PLUGIN_API TavikController::queryInterface (const TUID iid, void** obj)
{
	QUERY_INTERFACE (iid, obj, IMidiMapping::iid, IMidiMapping)
	QUERY_INTERFACE (iid, obj, IMidiLearn::iid, IMidiLearn)
	return EditControllerEx1::queryInterface (iid, obj);
}

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
		std::string name;
		const bool named = hostNameOf (context, name);
		publishParametersAndPresets ();
		logic->initialized (named ? name.c_str () : nullptr);
		startCadenceClock (context);
		return kResultOk;
	});
}

tresult PLUGIN_API TavikController::terminate ()
{
	if (initialised)
		guardedHostCall ([&] {
			logic->terminating ();
			stopCadenceClock ();
			return kResultOk;
		});
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
	publishMidiControllerParameters ();
}

void TavikController::publishMidiControllerParameters ()
{
	// The parameters a host plays MIDI controllers into: hidden, never
	// automated, grouped in a unit of their own. They come after every
	// product parameter, so indices 0..26 stay as they were.
	String128 name;
	asciiToString128 ("MIDI Controllers", name);
	addUnit (new Unit (name, MIDI_CONTROLLER_UNIT_ID, kRootUnitId));
	for (uint32_t channel = 0; channel < MIDI_CHANNELS; ++channel)
		for (uint32_t controller = 0; controller < MIDI_CONTROLLER_NUMBERS; ++controller)
		{
			char title[48];
			if (controller == MIDI_CHANNEL_PRESSURE)
				std::snprintf (title, sizeof title, "MIDI Ch %u Pressure", channel + 1);
			else if (controller == MIDI_PITCH_BEND)
				std::snprintf (title, sizeof title, "MIDI Ch %u Pitch Bend", channel + 1);
			else
				std::snprintf (title, sizeof title, "MIDI Ch %u CC %u", channel + 1, controller);
			asciiToString128 (title, name);
			parameters.addParameter (name, nullptr, 0, 0, ParameterInfo::kIsHidden,
			                         midiControllerParamId (channel, controller), MIDI_CONTROLLER_UNIT_ID);
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
	// The host may hold a lock across this call that its restartComponent
	// takes: restarts asked for in here wait for the next tick.
	const HostCallScope inside (logic->restarts ());
	return guardedHostCall ([&] () -> tresult {
		const tresult result = EditControllerEx1::setParamNormalized (tag, value);
		// A controller's position is no sound: the page, the preset and
		// the echo rule never hear of it.
		if (result == kResultOk && !isMidiControllerParam (tag))
			logic->parameterSet (tag, value);
		return result;
	});
}

tresult PLUGIN_API TavikController::setComponentState (IBStream* stream)
{
	const HostCallScope inside (logic->restarts ());
	return restoreFromStateStream (
		stream, [&] (const char* text, size_t length) { return logic->restoreComponentState (text, length); });
}

tresult PLUGIN_API TavikController::setState (IBStream* stream)
{
	const HostCallScope inside (logic->restarts ());
	return restoreFromStateStream (
		stream, [&] (const char* text, size_t length) { return logic->restoreControllerState (text, length); });
}

tresult PLUGIN_API TavikController::getState (IBStream* stream)
{
	if (!stream)
		return kResultFalse;
	return guardedHostCall ([&] { return writeStateStream (stream, logic->writeControllerState ()); });
}

IPlugView* PLUGIN_API TavikController::createView (FIDString name)
{
	if (!name || std::strcmp (name, "editor") != 0)
		return nullptr;
	return callRefusingExceptions<IPlugView*> (nullptr, nullptr, [&] () -> IPlugView* {
		EditorOptions options;
		options.tick = [this] { tickCadence (); };
		options.fallbackRunLoop = cadenceLoop;
		options.owner = static_cast<IEditController*> (this);
		return createWebViewEditor (this, nullptr, std::move (options));
	});
}

tresult PLUGIN_API TavikController::getMidiControllerAssignment (int32 busIndex, int16 channel,
                                                                 CtrlNumber midiControllerNumber, ParamID& id)
{
	uint32_t found = 0;
	if (!logic->midiControllerAssignment (busIndex, channel, midiControllerNumber, found))
		return kResultFalse;
	id = found;
	return kResultOk;
}

tresult PLUGIN_API TavikController::onLiveMIDIControllerInput (int32 busIndex, int16 channel, CtrlNumber midiCC)
{
	// A map learned here asks the host for new assignments: inside its
	// call that waits for the next tick.
	const HostCallScope inside (logic->restarts ());
	return guardedHostCall (
		[&] { return logic->liveControllerInput (busIndex, channel, midiCC) ? kResultTrue : kResultFalse; });
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
	const HostCallScope inside (logic->restarts ());
	return guardedHostCall ([&] () -> tresult {
		const char* id = message->getMessageID ();
		if (!id)
			return EditControllerEx1::notify (message);
		std::string payload;
		const bool readable = readJsonPayload (message, payload);
		if (!logic->adoptProcessorMessage (id, readable ? &payload : nullptr))
			return EditControllerEx1::notify (message);
		return kResultOk;
	});
}

void TavikController::handleBridgeMessage (const char* json, size_t length)
{
	guardedHostCall ([&] {
		logic->handleBridgeMessage (json, length);
		return kResultOk;
	});
}

void TavikController::setBridgeSink (std::function<void (const std::string&)> sink)
{
	logic->setBridgeSink (std::move (sink));
}

void TavikController::onEditorOpened ()
{
	guardedHostCall ([&] {
		logic->editorOpened ();
		return kResultOk;
	});
}

void TavikController::onEditorClosed ()
{
	guardedHostCall ([&] {
		logic->editorClosed ();
		return kResultOk;
	});
}

void TavikController::onEditorError (const char* reason)
{
	guardedHostCall ([&] {
		logic->editorError (reason);
		return kResultOk;
	});
}

void TavikController::tickCadence ()
{
	guardedHostCall ([&] {
		logic->tickCadence ();
		return kResultOk;
	});
}

double TavikController::Surface::normalizedValue (uint32_t id) const { return controller.getParamNormalized (id); }

bool TavikController::Surface::setParameterValue (uint32_t id, double normalized)
{
	return controller.EditControllerEx1::setParamNormalized (id, normalized) == kResultOk;
}

void TavikController::Surface::beginEdit (uint32_t id) { controller.EditControllerEx1::beginEdit (id); }

void TavikController::Surface::performEdit (uint32_t id, double normalized)
{
	controller.EditControllerEx1::performEdit (id, normalized);
}

void TavikController::Surface::endEdit (uint32_t id) { controller.EditControllerEx1::endEdit (id); }

void TavikController::Surface::restartComponent (int32_t flags)
{
	if (IComponentHandler* handler = controller.getComponentHandler ())
		handler->restartComponent (flags);
}

bool TavikController::Surface::sendToProcessor (const char* id, const std::string* payload)
{
	IPtr<IMessage> message = owned (controller.allocateMessage ());
	if (!message)
		return false;
	message->setMessageID (id);
	if (payload && message->getAttributes ())
		message->getAttributes ()->setBinary (messages::JSON_ATTRIBUTE, payload->data (),
		                                      static_cast<uint32> (payload->size ()));
	return controller.sendMessage (message) == kResultOk;
}

bool TavikController::Surface::sendTransportPoll (bool reset)
{
	IPtr<IMessage> message = owned (controller.allocateMessage ());
	if (!message)
		return false;
	message->setMessageID (messages::TRANSPORT_POLL);
	if (message->getAttributes ())
		message->getAttributes ()->setInt ("reset", reset ? 1 : 0);
	return controller.sendMessage (message) == kResultOk;
}

} // namespace tavik
