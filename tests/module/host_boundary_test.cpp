// What a careless or hostile host can hand the module through its VST 3
// interfaces: indices outside every list, unknown ids, null pointers,
// non-finite values, calls before initialise and after terminate. Each is
// refused with a result code; nothing may throw into the host or crash it.

#include "loaded_module.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "tavik_parameter.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using tavik::test::ZorvModule;

constexpr ProgramListID kPresetList = 0x3F010001;
constexpr ParamID kProgramChange = 0x3F010001;
// 27 stands for the first index past each list's end.
const int32 kBadIndices[] = {-1, INT32_MIN, 27, 1000000, INT32_MAX};
// The product's parameters, the program change and the hidden parameters of
// 16 channels by 130 controllers.
const int32 kParameterCount = 27 + 16 * 130;

// A message whose attribute list is missing, as a broken host might send.
class MessageWithoutAttributes : public IMessage
{
public:
	tresult PLUGIN_API queryInterface (const TUID, void** obj) override
	{
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef () override { return 1; }
	uint32 PLUGIN_API release () override { return 1; }
	FIDString PLUGIN_API getMessageID () override { return "TextMessage"; }
	void PLUGIN_API setMessageID (FIDString) override {}
	IAttributeList* PLUGIN_API getAttributes () override { return nullptr; }
};

class HostBoundary : public ZorvModule
{
protected:
	void SetUp () override
	{
		ZorvModule::SetUp ();
		controller = create<IEditController> (1);
		component = create<IComponent> (0);
		ASSERT_TRUE (controller && component);
	}

	void TearDown () override
	{
		controller = nullptr;
		component = nullptr;
		ZorvModule::TearDown ();
	}

	IPtr<IEditController> controller;
	IPtr<IComponent> component;
};

TEST_F (HostBoundary, ControllerRefusesIndicesOutsideItsLists)
{
	ASSERT_EQ (controller->initialize (nullptr), kResultOk);
	FUnknownPtr<IUnitInfo> units (controller);
	ASSERT_TRUE (units);
	String128 text {};
	for (int32 index : kBadIndices)
	{
		ParameterInfo info {};
		EXPECT_EQ (controller->getParameterInfo (index == 27 ? kParameterCount : index, info), kInvalidArgument)
			<< index;
		UnitInfo unit {};
		EXPECT_NE (units->getUnitInfo (index == 27 ? 2 : index, unit), kResultOk) << index;
		ProgramListInfo list {};
		EXPECT_NE (units->getProgramListInfo (index == 27 ? 1 : index, list), kResultOk) << index;
		const int32 program = index == 27 ? 10 : index;
		EXPECT_NE (units->getProgramName (kPresetList, program, text), kResultOk) << index;
		EXPECT_NE (units->getProgramInfo (kPresetList, program, "name", text), kResultOk) << index;
		EXPECT_NE (units->hasProgramPitchNames (kPresetList, program), kResultTrue) << index;
		EXPECT_NE (units->getProgramPitchName (kPresetList, program, 60, text), kResultOk) << index;
	}
	EXPECT_NE (units->getProgramName (12345, 0, text), kResultOk);
	EXPECT_NE (units->getProgramPitchName (kPresetList, 0, -1, text), kResultOk);
	EXPECT_NE (units->getProgramPitchName (kPresetList, 0, 32767, text), kResultOk);
	int32 unitId = 77;
	EXPECT_NE (units->getUnitByBus (kAudio, kOutput, -1, -1, unitId), kResultOk);
	// The lists themselves are intact.
	ASSERT_EQ (units->getProgramName (kPresetList, 7, text), kResultOk);
	ParameterInfo last {};
	EXPECT_EQ (controller->getParameterInfo (26, last), kResultOk);
	EXPECT_EQ (controller->terminate (), kResultOk);
}

TEST_F (HostBoundary, ControllerRefusesNullPointersAndNonFiniteValues)
{
	ASSERT_EQ (controller->initialize (nullptr), kResultOk);
	FUnknownPtr<IUnitInfo> units (controller);
	String128 text {};
	const double nan = std::numeric_limits<double>::quiet_NaN ();
	const double inf = std::numeric_limits<double>::infinity ();

	EXPECT_EQ (controller->getParamStringByValue (0, 0.5, nullptr), kInvalidArgument);
	EXPECT_EQ (controller->getParamStringByValue (kProgramChange, 0.5, nullptr), kInvalidArgument);
	ParamValue parsed = 0.25;
	EXPECT_EQ (controller->getParamValueByString (0, nullptr, parsed), kInvalidArgument);
	EXPECT_EQ (controller->getParamValueByString (kProgramChange, nullptr, parsed), kInvalidArgument);
	EXPECT_EQ (parsed, 0.25);
	EXPECT_EQ (units->getProgramName (kPresetList, 0, nullptr), kInvalidArgument);
	EXPECT_EQ (units->getProgramInfo (kPresetList, 0, nullptr, text), kInvalidArgument);
	EXPECT_EQ (units->getProgramInfo (kPresetList, 0, "name", nullptr), kInvalidArgument);
	EXPECT_EQ (units->getProgramPitchName (kPresetList, 0, 60, nullptr), kInvalidArgument);

	// Values outside 0..1 read as the nearest end; values that are not
	// numbers are refused.
	for (ParamID id : {ParamID (0), ParamID (16), kProgramChange})
	{
		String128 low {}, zero {}, high {}, one {};
		ASSERT_EQ (controller->getParamStringByValue (id, -0.5, low), kResultOk) << id;
		ASSERT_EQ (controller->getParamStringByValue (id, 0.0, zero), kResultOk) << id;
		ASSERT_EQ (controller->getParamStringByValue (id, 7.0, high), kResultOk) << id;
		ASSERT_EQ (controller->getParamStringByValue (id, 1.0, one), kResultOk) << id;
		EXPECT_EQ (tavik::string128ToBytes (low), tavik::string128ToBytes (zero)) << id;
		EXPECT_EQ (tavik::string128ToBytes (high), tavik::string128ToBytes (one)) << id;
		EXPECT_EQ (controller->getParamStringByValue (id, nan, text), kInvalidArgument) << id;
		EXPECT_EQ (controller->getParamStringByValue (id, -inf, text), kInvalidArgument) << id;
		const ParamValue before = controller->getParamNormalized (id);
		EXPECT_EQ (controller->setParamNormalized (id, nan), kInvalidArgument) << id;
		EXPECT_EQ (controller->setParamNormalized (id, inf), kInvalidArgument) << id;
		EXPECT_EQ (controller->getParamNormalized (id), before) << id;
	}
	EXPECT_NE (controller->getParamStringByValue (9999, 0.5, text), kResultOk);
	EXPECT_NE (controller->setParamNormalized (9999, 0.5), kResultOk);

	EXPECT_NE (controller->setComponentState (nullptr), kResultOk);
	EXPECT_NE (controller->setState (nullptr), kResultOk);
	EXPECT_NE (controller->getState (nullptr), kResultOk);
	FUnknownPtr<IConnectionPoint> point (controller);
	ASSERT_TRUE (point);
	EXPECT_EQ (point->notify (nullptr), kInvalidArgument);
	MessageWithoutAttributes message;
	EXPECT_EQ (point->notify (&message), kInvalidArgument);
	EXPECT_EQ (point->connect (nullptr), kInvalidArgument);
	EXPECT_EQ (controller->terminate (), kResultOk);
}

TEST_F (HostBoundary, ControllerListsAreEmptyBeforeInitialiseAndAfterTerminate)
{
	FUnknownPtr<IUnitInfo> units (controller);
	for (int pass = 0; pass < 2; ++pass)
	{
		ParameterInfo info {};
		EXPECT_NE (controller->getParameterInfo (0, info), kResultOk) << pass;
		UnitInfo unit {};
		EXPECT_NE (units->getUnitInfo (0, unit), kResultOk) << pass;
		String128 text {};
		EXPECT_NE (units->getProgramName (kPresetList, 0, text), kResultOk) << pass;
		EXPECT_NE (controller->getParamStringByValue (0, 0.5, text), kResultOk) << pass;
		if (pass == 0)
		{
			ASSERT_EQ (controller->initialize (nullptr), kResultOk);
			EXPECT_NE (controller->initialize (nullptr), kResultOk); // only once
			EXPECT_EQ (controller->getParameterCount (), kParameterCount);
			ASSERT_EQ (controller->terminate (), kResultOk);
		}
	}
	EXPECT_EQ (controller->getParameterCount (), 0);
}

TEST_F (HostBoundary, ProcessorRefusesBusIndicesAndNullArguments)
{
	ASSERT_EQ (component->initialize (nullptr), kResultOk);
	EXPECT_NE (component->initialize (nullptr), kResultOk); // only once
	EXPECT_EQ (component->getBusCount (kAudio, kOutput), 1);
	FUnknownPtr<IAudioProcessor> processor (component);
	ASSERT_TRUE (processor);
	for (int32 index : kBadIndices)
	{
		const int32 bus = index == 27 ? 1 : index;
		BusInfo info {};
		EXPECT_NE (component->getBusInfo (kAudio, kOutput, bus, info), kResultOk) << index;
		EXPECT_NE (component->getBusInfo (kAudio, kInput, index, info), kResultOk) << index;
		EXPECT_NE (component->getBusInfo (kEvent, kInput, bus, info), kResultOk) << index;
		EXPECT_NE (component->activateBus (kAudio, kOutput, bus, true), kResultOk) << index;
		SpeakerArrangement arrangement = 0;
		EXPECT_NE (processor->getBusArrangement (kOutput, bus, arrangement), kResultOk) << index;
		EXPECT_NE (processor->getBusArrangement (kInput, index, arrangement), kResultOk) << index;
	}
	BusInfo info {};
	EXPECT_NE (component->getBusInfo (7, kOutput, 0, info), kResultOk);
	EXPECT_EQ (component->getBusCount (7, kOutput), 0);
	EXPECT_NE (component->activateBus (7, kInput, 0, true), kResultOk);
	EXPECT_EQ (component->getControllerClassId (nullptr), kInvalidArgument);
	EXPECT_NE (processor->setBusArrangements (nullptr, 0, nullptr, 1), kResultOk);
	EXPECT_NE (processor->setBusArrangements (nullptr, -1, nullptr, -1), kResultOk);
	SpeakerArrangement mono = SpeakerArr::kMono;
	EXPECT_NE (processor->setBusArrangements (nullptr, 0, &mono, 1), kResultOk);
	RoutingInfo in {}, out {};
	EXPECT_NE (component->getRoutingInfo (in, out), kResultOk);
	EXPECT_NE (component->setState (nullptr), kResultOk);
	EXPECT_NE (component->getState (nullptr), kResultOk);

	FUnknownPtr<IConnectionPoint> point (component);
	ASSERT_TRUE (point);
	EXPECT_EQ (point->notify (nullptr), kInvalidArgument);
	MessageWithoutAttributes message;
	EXPECT_EQ (point->notify (&message), kInvalidArgument);

	// The buses are intact.
	ASSERT_EQ (component->getBusInfo (kAudio, kOutput, 0, info), kResultOk);
	EXPECT_EQ (info.channelCount, 2);
	EXPECT_EQ (component->terminate (), kResultOk);
}

TEST_F (HostBoundary, ProcessorSurvivesUnusableProcessCalls)
{
	ASSERT_EQ (component->initialize (nullptr), kResultOk);
	FUnknownPtr<IAudioProcessor> processor (component);
	ProcessData data {};
	data.symbolicSampleSize = kSample32;
	data.numSamples = 64;
	EXPECT_NE (processor->process (data), kResultOk); // before any setup, no outputs

	ProcessSetup setup {kRealtime, kSample32, 256, 48000};
	ASSERT_EQ (processor->setupProcessing (setup), kResultOk);
	ASSERT_EQ (component->setActive (true), kResultOk);
	float left[512] = {}, right[512] = {};
	float* channels[2] = {left, right};
	float* missing[2] = {left, nullptr};
	AudioBusBuffers output {};
	output.numChannels = 2;
	output.channelBuffers32 = channels;
	data.numOutputs = 1;
	data.outputs = &output;

	data.numSamples = 512; // beyond the declared maximum
	EXPECT_NE (processor->process (data), kResultOk);
	data.numSamples = -5;
	EXPECT_EQ (processor->process (data), kResultOk);
	data.numSamples = 64;
	output.channelBuffers32 = missing;
	EXPECT_EQ (processor->process (data), kResultOk);
	output.channelBuffers32 = nullptr;
	EXPECT_NE (processor->process (data), kResultOk);
	data.outputs = nullptr;
	EXPECT_NE (processor->process (data), kResultOk);
	data.symbolicSampleSize = kSample64;
	EXPECT_NE (processor->process (data), kResultOk);

	data.symbolicSampleSize = kSample32;
	data.outputs = &output;
	output.channelBuffers32 = channels;
	EXPECT_EQ (processor->process (data), kResultOk);
	EXPECT_EQ (component->setActive (false), kResultOk);
	EXPECT_EQ (component->terminate (), kResultOk);
}

} // namespace
