// The plug-in's edit controller: host-visible parameters, the root unit and
// the factory preset program list.
//
// Every call a host can make with an index, an id, a pointer or a value of
// its own choosing is checked here before the SDK's containers see it, and
// none lets an exception out.
#pragma once

#include "bridge_host.h"
#include "controller_session.h"
#include "run_loop_timer.h"

#include "pluginterfaces/vst/ivstmidilearn.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

#include <memory>

namespace tavik {

class TavikController : public Steinberg::Vst::EditControllerEx1,
						public Steinberg::Vst::IMidiMapping,
						public Steinberg::Vst::IMidiLearn,
						public BridgeHost
{
public:
	TavikController ();
	~TavikController () override;

	/** Factory entry: a new, zero-filled then constructed controller as its
	 *  IEditController facet. */
	static Steinberg::FUnknown* createInstance (void* context);

	Steinberg::tresult PLUGIN_API initialize (Steinberg::FUnknown* context) override;
	Steinberg::tresult PLUGIN_API terminate () override;

	// IEditController
	Steinberg::tresult PLUGIN_API setComponentHandler (Steinberg::Vst::IComponentHandler* handler) override;
	Steinberg::tresult PLUGIN_API setComponentState (Steinberg::IBStream* state) override;
	Steinberg::tresult PLUGIN_API setState (Steinberg::IBStream* state) override;
	Steinberg::tresult PLUGIN_API getState (Steinberg::IBStream* state) override;
	Steinberg::IPlugView* PLUGIN_API createView (Steinberg::FIDString name) override;
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

	// IMidiMapping
	Steinberg::tresult PLUGIN_API getMidiControllerAssignment (Steinberg::int32 busIndex, Steinberg::int16 channel,
	                                                           Steinberg::Vst::CtrlNumber midiControllerNumber,
	                                                           Steinberg::Vst::ParamID& id) override;

	// IMidiLearn: a host's live controller input, for the binding that learns.
	Steinberg::tresult PLUGIN_API onLiveMIDIControllerInput (Steinberg::int32 busIndex, Steinberg::int16 channel,
	                                                         Steinberg::Vst::CtrlNumber midiCC) override;

	// IConnectionPoint
	Steinberg::tresult PLUGIN_API notify (Steinberg::Vst::IMessage* message) override;

	// BridgeHost (the editor's bridge and the diagnostic exports)
	void handleBridgeMessage (const char* json, size_t length) override;
	void setBridgeSink (std::function<void (const std::string&)> sink) override;
	void onEditorOpened () override;
	void onEditorClosed () override;
	void onEditorError (const char* reason) override;

	/** One cadence tick: asks the processor for its transport and feeds. */
	void tickCadence ();

	/** The controller's 1/30 s clock: on the host's run loop when its
	 *  context offers one, else ticks come only from outside. */
	bool cadenceClockRunning () const { return cadence && cadence->running (); }

	/** The SDK-free logic behind this controller. */
	ControllerSession& session () { return *logic; }

	OBJ_METHODS (TavikController, EditControllerEx1)
	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** obj) override;
	REFCOUNT_METHODS (EditControllerEx1)

private:
	/** The 26 parameters, the root unit, the factory preset list with its
	 *  program-change parameter, and the hidden MIDI controller parameters. */
	void publishParametersAndPresets ();
	/** The hidden parameters of the MIDI mapping and their unit. */
	void publishMidiControllerParameters ();

	/** The host side of the controller's logic, over the SDK base. */
	class Surface : public ControllerSurface
	{
	public:
		explicit Surface (TavikController& c) : controller (c) {}
		double normalizedValue (uint32_t id) const override;
		bool setParameterValue (uint32_t id, double normalized) override;
		void beginEdit (uint32_t id) override;
		void performEdit (uint32_t id, double normalized) override;
		void endEdit (uint32_t id) override;
		void restartComponent (int32_t flags) override;
		bool sendToProcessor (const char* id, const std::string* payload) override;
		bool sendTransportPoll (bool reset) override;

	private:
		TavikController& controller;
	};

	void startCadenceClock (Steinberg::FUnknown* context);
	void stopCadenceClock ();

	Surface surface {*this};
	Steinberg::IPtr<RunLoopTimer> cadence;
	Steinberg::Linux::IRunLoop* cadenceLoop = nullptr;
	std::unique_ptr<ControllerSession> logic;
	bool initialised = false;
};

} // namespace tavik
