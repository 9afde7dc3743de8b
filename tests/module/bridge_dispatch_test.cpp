// The editor bridge as a diagnostic tool drives it: the built module's
// exported functions, a controller made by its factory, messages in and the
// sink's texts out. The hello, the echo rule, every dispatch rule, and
// malformed or hostile messages.

#include "loaded_module.h"
#include "midi_controller_params.h"
#include "recording_component_handler.h"

#include "host_context.h"
#include "parameter_table.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using tavik::test::RecordingHandler;

class Bridge : public tavik::test::ZorvModule
{
protected:
	using Install = int (*) (FUnknown*, void (*) (void*, const char*, size_t), void*);
	using Deliver = int (*) (FUnknown*, const char*, size_t);
	using Tick = int (*) (FUnknown*);
	using Abi = int (*) ();

	void SetUp () override
	{
		ZorvModule::SetUp ();
		install = reinterpret_cast<Install> (dlsym (handle, "tavikInstallDiagnosticBridgeSink"));
		deliver = reinterpret_cast<Deliver> (dlsym (handle, "tavikDeliverDiagnosticBridgeMessage"));
		tick = reinterpret_cast<Tick> (dlsym (handle, "tavikTickDiagnosticCadence"));
		abi = reinterpret_cast<Abi> (dlsym (handle, "tavikDiagnosticBridgeAbiVersion"));
		ASSERT_TRUE (install && deliver && tick && abi);
		controller = create<IEditController> (1);
		ASSERT_TRUE (controller);
		ASSERT_EQ (controller->initialize (&host), kResultOk);
		controller->setComponentHandler (&handler);
		ASSERT_EQ (install (controller, &Bridge::collect, this), 1);
	}
	void TearDown () override
	{
		if (controller)
		{
			install (controller, nullptr, nullptr);
			controller->terminate ();
		}
		controller = nullptr;
		ZorvModule::TearDown ();
	}

	static void collect (void* self, const char* json, size_t length)
	{
		static_cast<Bridge*> (self)->sent.emplace_back (json, length);
	}
	int send (const std::string& json) { return deliver (controller, json.data (), json.size ()); }
	std::string sendCapturingErrors (const std::string& json)
	{
		testing::internal::CaptureStderr ();
		send (json);
		return testing::internal::GetCapturedStderr ();
	}

	tavik::tools::ToolHostApplication host {"Tavik bridge test"};
	RecordingHandler handler;
	IPtr<IEditController> controller;
	std::vector<std::string> sent;
	Install install = nullptr;
	Deliver deliver = nullptr;
	Tick tick = nullptr;
	Abi abi = nullptr;
};

TEST_F (Bridge, TheHelloDescribesEverythingInItsOrder)
{
	EXPECT_EQ (abi (), 2);
	ASSERT_EQ (send ("{\"type\":\"tavik.ready\"}"), 1);
	ASSERT_EQ (sent.size (), 2u); // the hello, then the user presets
	EXPECT_EQ (sent[1].rfind ("{\"type\":\"tavik.presetList\",\"folder\":", 0), 0u) << sent[1];
	const std::string& hello = sent[0];
	EXPECT_EQ (hello.rfind ("{\"type\":\"tavik.hello\",\"plugin\":{\"id\":\"music.tavik.zorv\",\"name\":\"Zorv\","
	                        "\"vendor\":\"Tavik Music\",\"version\":\"0.0.0\"},\"params\":[{\"path\":\"ir.instrument\","
	                        "\"value\":0,\"normalized\":0},{\"path\":\"ir.size\",\"value\":1,",
	                        0),
	           0u)
		<< hello;
	size_t last = 0;
	for (const char* member :
	     {",\"factoryPresets\":[{\"id\":\"factory-1\",\"name\":\"Tam-Tam Yarn\",\"values\":{"
	      "\"ir.instrument\":0,",
	      ",\"identity\":", ",\"diagnostics\":{\"feeds\":[],\"commands\":[],\"maxFeedHz\":0}", ",\"presetState\":"})
	{
		const size_t at = hello.find (member);
		ASSERT_NE (at, std::string::npos) << member;
		EXPECT_GT (at, last) << member;
		last = at;
	}
	EXPECT_EQ (hello.find (",\"host\":"), std::string::npos); // no sample rate known yet
	EXPECT_EQ (hello.find (",\"ccMap\":"), std::string::npos);
	EXPECT_EQ (hello.back (), '}');
	size_t params = 0, presets = 0;
	for (size_t at = hello.find ("{\"path\":"); at != std::string::npos; at = hello.find ("{\"path\":", at + 1))
		++params;
	for (size_t at = hello.find ("\"factory-"); at != std::string::npos; at = hello.find ("\"factory-", at + 1))
		++presets;
	EXPECT_EQ (params, 26u);
	EXPECT_EQ (presets, 10u);
}

TEST_F (Bridge, TheEditorsOwnEditsAreNotEchoedBack)
{
	ASSERT_EQ (send ("{\"type\":\"tavik.beginEdit\",\"path\":\"ir.size\"}"), 1);
	ASSERT_EQ (send ("{\"type\":\"tavik.setParam\",\"path\":\"ir.size\",\"value\":1.25}"), 1);
	ASSERT_EQ (send ("{\"type\":\"tavik.endEdit\",\"path\":\"ir.size\"}"), 1);
	EXPECT_EQ (handler.calls, (std::vector<std::string> {"begin 1", "perform 1", "end 1"}));
	EXPECT_EQ (handler.performed[0].second, 0.5);
	EXPECT_EQ (controller->getParamNormalized (1), 0.5);
	EXPECT_TRUE (sent.empty ());

	// The host's own write of another value is reported.
	ASSERT_EQ (controller->setParamNormalized (1, 0.75), kResultOk);
	ASSERT_EQ (sent.size (), 1u);
	EXPECT_EQ (sent[0], "{\"type\":\"tavik.paramChanged\",\"path\":\"ir.size\",\"value\":1.625,\"normalized\":0.75}");

	send ("{\"type\":\"tavik.setParam\",\"path\":\"ir.size\",\"value\":99}");
	EXPECT_EQ (controller->getParamNormalized (1), 1.0);
	send ("{\"type\":\"tavik.setParam\",\"path\":\"mallet.type\",\"value\":2.6}");
	EXPECT_EQ (handler.performed.back ().second, 2.6 / 3);
	const size_t before = handler.performed.size ();
	send ("{\"type\":\"tavik.setParam\",\"path\":\"ir.sizes\",\"value\":1}");
	send ("{\"type\":\"tavik.setParam\",\"path\":\"ir.size\"}");
	EXPECT_EQ (handler.performed.size (), before);
	EXPECT_EQ (sent.size (), 1u);
}

TEST_F (Bridge, FactoryPresetsStateAndCcMapsFromTheEditor)
{
	send ("{\"type\":\"tavik.loadFactoryPreset\",\"id\":\"factory-10\"}");
	size_t changed = 0;
	for (const std::string& m : sent)
		changed += m.rfind ("{\"type\":\"tavik.paramChanged\"", 0) == 0;
	EXPECT_EQ (changed, 26u);
	EXPECT_EQ (controller->getParamNormalized (0x3F010001), 1.0);
	for (const char* id : {"factory-11", "factory-0", "Factory-1", "factory-1 "})
	{
		sent.clear ();
		send (std::string ("{\"type\":\"tavik.loadFactoryPreset\",\"id\":\"") + id + "\"}");
		EXPECT_TRUE (sent.empty ()) << id;
	}

	sent.clear ();
	send ("{\"type\":\"tavik.getState\"}");
	ASSERT_EQ (sent.size (), 1u);
	EXPECT_EQ (sent[0].rfind ("{\"type\":\"tavik.state\",\"state\":{\"params\":{\"ir.instrument\":", 0), 0u);
	EXPECT_EQ (sent[0].find ("\"ccMap\""), std::string::npos);
	EXPECT_EQ (sent[0].find ("\"variation\""), std::string::npos);
	// The editor's copy names the preset it came from.
	const std::string named = "\"preset\":{\"id\":\"factory-10\",\"name\":\"Metal Beater Clang\"}}}";
	EXPECT_EQ (sent[0].compare (sent[0].size () - named.size (), named.size (), named), 0) << sent[0];

	sent.clear ();
	send ("{\"type\":\"tavik.setCcMap\",\"map\":{\"version\":1,\"bindings\":[{\"cc\":1,\"path\":\"ir.size\"}]}}");
	ASSERT_FALSE (sent.empty ());
	EXPECT_EQ (sent.back ().rfind ("{\"type\":\"tavik.ccMapChanged\"", 0), 0u);
	FUnknownPtr<IMidiMapping> mapping (controller);
	ParamID id = 0;
	ASSERT_EQ (mapping->getMidiControllerAssignment (0, 4, 1, id), kResultOk);
	EXPECT_EQ (id, tavik::midiControllerParamId (4, 1));

	sent.clear ();
	handler.calls.clear ();
	send ("{\"type\":\"tavik.setState\",\"state\":{\"params\":{\"ir.size\":0.5,\"amp.decay\":3}}}");
	EXPECT_EQ (handler.calls.size (), 6u); // two full edits
	EXPECT_EQ (controller->getParamNormalized (1), 0);
	size_t bankStates = 0;
	for (const std::string& m : sent)
		bankStates += m.find ("\"type\":\"tavik.bankState\",\"reason\":\"restore\"") != std::string::npos;
	EXPECT_EQ (bankStates, 1u);
	// A state without a preset is no preset; one that names it is that preset.
	EXPECT_EQ (
		sent.back ().rfind ("{\"type\":\"tavik.presetState\",\"presetState\":{\"factoryCount\":10,\"dirty\":false,"
	                        "\"userPresetsSupported\":true,",
	                        0),
		0u)
		<< sent.back ();
	send ("{\"type\":\"tavik.setState\",\"state\":{\"params\":{\"ir.size\":1},"
	      "\"preset\":{\"id\":\"user:Bell\",\"name\":\"Bell\"}}}");
	EXPECT_NE (sent.back ().find ("\"currentId\":\"user:Bell\",\"currentName\":\"Bell\",\"dirty\":false"),
	           std::string::npos)
		<< sent.back ();

	sent.clear ();
	send ("{\"type\":\"tavik.getBankState\"}");
	ASSERT_EQ (sent.size (), 1u);
	EXPECT_NE (sent[0].find ("\"reason\":\"query\""), std::string::npos);
	send ("{\"type\":\"tavik.pickFolder\"}");
	EXPECT_EQ (sent.back (),
	           "{\"type\":\"tavik.folderPicked\",\"ok\":false,\"error\":\"this build has no folder picker\"}");
	send ("{\"type\":\"tavik.loadBank\",\"source\":\"embedded\",\"id\":\"x\"}");
	EXPECT_NE (sent.back ().find ("\"error\":{\"code\":\"bank-missing\",\"requestedId\":\"x\"}"), std::string::npos);
	send ("{\"type\":\"tavik.loadBank\",\"source\":\"user-folder\"}");
	EXPECT_NE (sent.back ().find ("\"error\":{\"code\":\"bank-missing\",\"requestedId\":\"user-folder\"}"),
	           std::string::npos);
}

TEST_F (Bridge, NotesAndMalformedMessagesOnlyLeaveALine)
{
	EXPECT_EQ (sendCapturingErrors ("{\"type\":\"tavik.noteOn\",\"note\":60.9,\"velocity\":1}"),
	           "tavik-plugin-shell: bridge tavik.noteOn note=60\n");
	EXPECT_EQ (sendCapturingErrors ("{\"type\":\"tavik.ready\""),
	           "tavik-plugin-shell: malformed bridge message (21 bytes)\n");
	EXPECT_TRUE (sent.empty ());

	// Hostile texts: every cut of a good message, deep nesting, a megabyte,
	// raw NUL bytes. None may reply, crash or hang.
	const std::string good = "{\"type\":\"tavik.setParam\",\"path\":\"ir.size\",\"value\":1.5}";
	testing::internal::CaptureStderr ();
	for (size_t cut = 0; cut < good.size (); ++cut)
		send (good.substr (0, cut));
	send ("{\"type\":\"tavik.ready\",\"x\":" + std::string (10000, '[') + std::string (10000, ']') + "}");
	send ("{\"type\":\"tavik.ready\",\"x\":\"" + std::string (1 << 20, 'a') + "\"");
	send (std::string ("{\"type\":\"tavik.ready\0\"}", 22));
	send (std::string ("{\"type\":\"tavik.setParam\",\"path\":\"ir.size\0x\",\"value\":2}", 51));
	testing::internal::GetCapturedStderr ();
	EXPECT_TRUE (sent.empty ());
	EXPECT_EQ (controller->getParamNormalized (1), tavik::TAVIK_PARAMS[1].defaultNormalized);

	EXPECT_EQ (deliver (controller, nullptr, 3), 0);
	EXPECT_EQ (deliver (nullptr, "{}", 2), 0);
	EXPECT_EQ (tick (nullptr), 0);
	EXPECT_EQ (tick (controller), 1);
	IPtr<FUnknown> component = create<FUnknown> (0); // the processor is no controller
	EXPECT_EQ (tick (component), 0);
	EXPECT_EQ (install (component, &Bridge::collect, this), 0);
}

} // namespace

namespace {

// A host whose context offers a main-thread run loop, recording the timers
// registered with it so a test can fire them.
class RunLoopHost : public tavik::tools::ToolHostApplication, public Linux::IRunLoop
{
public:
	RunLoopHost () : ToolHostApplication ("Tavik run-loop test") {}

	tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override
	{
		if (FUnknownPrivate::iidEqual (iid, Linux::IRunLoop::iid))
		{
			*obj = static_cast<Linux::IRunLoop*> (this);
			return kResultOk;
		}
		return ToolHostApplication::queryInterface (iid, obj);
	}
	uint32 PLUGIN_API addRef () override { return 1; }
	uint32 PLUGIN_API release () override { return 1; }
	tresult PLUGIN_API registerEventHandler (Linux::IEventHandler*, Linux::FileDescriptor) override
	{
		return kNotImplemented;
	}
	tresult PLUGIN_API unregisterEventHandler (Linux::IEventHandler*) override { return kNotImplemented; }
	tresult PLUGIN_API registerTimer (Linux::ITimerHandler* handler, Linux::TimerInterval milliseconds) override
	{
		timers.push_back ({handler, milliseconds});
		return kResultOk;
	}
	tresult PLUGIN_API unregisterTimer (Linux::ITimerHandler* handler) override
	{
		for (size_t i = 0; i < timers.size (); ++i)
			if (timers[i].first == handler)
			{
				timers.erase (timers.begin () + static_cast<long> (i));
				return kResultOk;
			}
		return kResultFalse;
	}
	std::vector<std::pair<Linux::ITimerHandler*, Linux::TimerInterval>> timers;
};

TEST_F (Bridge, ClocksRunOnTheHostsRunLoop)
{
	using Start = void* (*) (void (*) (void*), void*, double);
	using Stop = void (*) (void*);
	auto start = reinterpret_cast<Start> (dlsym (handle, "tavikStartCadenceClock"));
	auto stop = reinterpret_cast<Stop> (dlsym (handle, "tavikStopCadenceClock"));
	ASSERT_TRUE (start && stop);
	int fired = 0;
	const auto count = [] (void* n) { ++*static_cast<int*> (n); };
	EXPECT_EQ (start (count, &fired, 0.1), nullptr); // this host offers no run loop

	RunLoopHost loopHost;
	IPtr<IEditController> clocked = create<IEditController> (1);
	ASSERT_EQ (clocked->initialize (static_cast<IHostApplication*> (&loopHost)), kResultOk);
	ASSERT_EQ (loopHost.timers.size (), 1u); // the controller's cadence
	EXPECT_EQ (loopHost.timers[0].second, 33u);
	loopHost.timers[0].first->onTimer (); // a tick with no processor sends nothing and survives

	void* clock = start (count, &fired, 0);
	ASSERT_NE (clock, nullptr);
	ASSERT_EQ (loopHost.timers.size (), 2u);
	EXPECT_EQ (loopHost.timers[1].second, 33u); // 1/30 s when no interval is given
	loopHost.timers[1].first->onTimer ();
	loopHost.timers[1].first->onTimer ();
	EXPECT_EQ (fired, 2);
	stop (clock);
	stop (nullptr);
	EXPECT_EQ (start (nullptr, nullptr, 1), nullptr);
	ASSERT_EQ (loopHost.timers.size (), 1u);

	clocked->terminate ();
	EXPECT_TRUE (loopHost.timers.empty ());
	EXPECT_EQ (start (count, &fired, 0.1), nullptr); // the run loop went with its controller
}

} // namespace
