// The editor as an LV2 UI, under Xvfb: Zorv_ui.so loaded as an LV2 host
// loads it, embedded into a real X window, wired to a plug-in instance made
// through lilv the way a host wires them (the UI's writes reach the ports
// and the event input before the next block; after each block the notify
// sequence and the changed ports reach the UI's port_event). The stand-in
// helper plays the page: it logs what the controller sends it and sends
// what the test puts in its inbox.

#include "factory_presets.h"
#include "lv2_message_atom.h"
#include "lv2_test_host.h"
#include "plugin_messages.h"
#include "x11_host.h"

#include <gtest/gtest.h>
#include <lv2/atom/util.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace {

namespace lv2 = tavik::lv2;
using namespace std::chrono_literals;
using tavik::tavik_factory_preset;
using tavik::TAVIK_FACTORY_PRESETS;
using tavik::TAVIK_PARAM_COUNT;
using tavik::TAVIK_PARAMS;

struct PortWrite
{
	uint32_t port;
	float value;
};

class Lv2UiTest : public testing::Test
{
protected:
	void SetUp () override
	{
		host = tavik::test::zorvHost (48000, 256);
		mapFeature.handle = host.get ();
		mapFeature.map = [] (LV2_URID_Map_Handle h, const char* uri) {
			return static_cast<tavik::tools::Lv2Host*> (h)->map (uri);
		};
		urids = std::make_unique<lv2::MessageUrids> (mapFeature);

		// A bundle like the build's, with the stand-in as its helper.
		bundle = testing::TempDir () + "zorv_ui_bundle_" + std::to_string (::getpid ());
		std::filesystem::remove_all (bundle);
		std::filesystem::create_directories (bundle);
		std::filesystem::create_directory_symlink (std::string (ZORV_LV2_BUNDLE_PATH) + "/ui", bundle + "/ui");
		std::filesystem::create_symlink (FAKE_EDITOR_HELPER, bundle + "/zorv-editor");
		pageLog = bundle + "/page.log";
		inbox = bundle + "/inbox";
		std::ofstream (inbox).close ();
		::setenv ("FAKE_EDITOR_MODE", "page", 1);
		::setenv ("FAKE_EDITOR_PAGE_LOG", pageLog.c_str (), 1);
		::setenv ("FAKE_EDITOR_PAGE_INBOX", inbox.c_str (), 1);

		window = std::make_unique<tavik::tools::HostWindow> (720, 560, "Zorv LV2 UI test");
		library =
			::dlopen ((std::string (ZORV_LV2_BUNDLE_PATH) + "/" + lv2::UI_BINARY_NAME).c_str (), RTLD_NOW | RTLD_LOCAL);
		ASSERT_NE (library, nullptr) << ::dlerror ();
		const auto entry = reinterpret_cast<LV2UI_DescriptorFunction> (::dlsym (library, "lv2ui_descriptor"));
		ASSERT_NE (entry, nullptr);
		descriptor = entry (0);
		ASSERT_NE (descriptor, nullptr);
		EXPECT_STREQ (descriptor->URI, lv2::UI_URI);
		EXPECT_EQ (entry (1), nullptr);
		idle = static_cast<const LV2UI_Idle_Interface*> (descriptor->extension_data (LV2_UI__idleInterface));
		ASSERT_NE (idle, nullptr);

		touchFeature.handle = this;
		touchFeature.touch = [] (LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
			static_cast<Lv2UiTest*> (h)->touches.push_back ({port, grabbed ? 1.0f : 0.0f});
		};
		for (uint32_t i = 0; i < lv2::PORT_COUNT; ++i)
			sent.push_back (host->control (i));
	}

	void TearDown () override
	{
		if (ui)
			descriptor->cleanup (ui);
		if (library)
			::dlclose (library);
		::unsetenv ("FAKE_EDITOR_MODE");
		std::error_code error;
		std::filesystem::remove_all (bundle, error);
	}

	LV2UI_Handle instantiate (bool withParent = true)
	{
		const LV2_Feature parent {LV2_UI__parent, reinterpret_cast<void*> (window->window ())};
		const LV2_Feature map {LV2_URID__map, &mapFeature};
		const LV2_Feature touch {LV2_UI__touch, &touchFeature};
		const LV2_Feature* features[] = {&map, &touch, withParent ? &parent : nullptr, nullptr};
		LV2UI_Widget widget = nullptr;
		LV2UI_Handle handle =
			descriptor->instantiate (descriptor, lv2::PLUGIN_URI, bundle.c_str (), write, this, &widget, features);
		if (handle)
		{
			EXPECT_NE (widget, nullptr);
		}
		return handle;
	}

	static void write (LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
	{
		auto* self = static_cast<Lv2UiTest*> (controller);
		if (format == 0 && size == sizeof (float) && port < lv2::PORT_COUNT)
		{
			float value = 0;
			std::memcpy (&value, buffer, sizeof value);
			self->writes.push_back ({port, value});
			self->host->control (port) = value;
		}
		else if (format == self->urids->atomEventTransfer && port == lv2::PORT_EVENTS_IN)
		{
			self->host->queueAtom (0, *static_cast<const LV2_Atom*> (buffer));
			++self->atomWrites;
		}
	}

	// One host cycle: the UI's idle call, a block, then the notify sequence
	// and the control ports that changed to the UI.
	void cycle ()
	{
		idle->idle (ui);
		host->run (256);
		const LV2_Atom_Sequence& notify = host->notifyOutput ();
		LV2_ATOM_SEQUENCE_FOREACH (&notify, ev)
		{
			replies.push_back (ev->body.type);
			descriptor->port_event (ui, lv2::PORT_NOTIFY_OUT, static_cast<uint32_t> (sizeof (LV2_Atom)) + ev->body.size,
			                        urids->atomEventTransfer, &ev->body);
		}
		for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
			if (host->control (i) != sent[i])
			{
				sent[i] = host->control (i);
				descriptor->port_event (ui, i, sizeof (float), 0, &sent[i]);
			}
	}

	bool cycleUntil (const std::function<bool ()>& done, std::chrono::milliseconds limit = 10s)
	{
		const auto end = std::chrono::steady_clock::now () + limit;
		while (std::chrono::steady_clock::now () < end)
		{
			cycle ();
			if (done ())
				return true;
			std::this_thread::sleep_for (5ms);
		}
		return false;
	}

	std::string page () const { return tavik::tools::readTextFile (pageLog); }
	bool pageHeard (const std::string& text) const { return page ().find (text) != std::string::npos; }
	void say (const std::string& line) const { std::ofstream (inbox, std::ios::app) << line << "\n"; }

	bool wroteTo (uint32_t port, float value) const
	{
		for (const PortWrite& w : writes)
			if (w.port == port && w.value == value)
				return true;
		return false;
	}

	std::unique_ptr<tavik::tools::Lv2Host> host;
	LV2_URID_Map mapFeature {};
	std::unique_ptr<lv2::MessageUrids> urids;
	LV2UI_Touch touchFeature {};
	std::string bundle, pageLog, inbox;
	std::unique_ptr<tavik::tools::HostWindow> window;
	void* library = nullptr;
	const LV2UI_Descriptor* descriptor = nullptr;
	const LV2UI_Idle_Interface* idle = nullptr;
	LV2UI_Handle ui = nullptr;
	std::vector<float> sent;
	std::vector<PortWrite> writes;
	std::vector<PortWrite> touches;
	std::vector<uint32_t> replies;
	int atomWrites = 0;
};

TEST_F (Lv2UiTest, WithoutAParentWindowTheUiRefusesToStart)
{
	EXPECT_EQ (instantiate (false), nullptr);
	EXPECT_FALSE (std::filesystem::exists (pageLog));
}

TEST_F (Lv2UiTest, ThePageTalksToTheHostsPortsAndThePlugIn)
{
	ui = instantiate ();
	ASSERT_NE (ui, nullptr);
	// The window is the UI's own, inside the host's.
	EXPECT_EQ (window->children ().size (), 1u);

	say ("{\"type\":\"tavik.ready\"}");
	ASSERT_TRUE (cycleUntil ([&] { return pageHeard ("\"type\":\"tavik.hello\""); })) << page ();
	EXPECT_TRUE (pageHeard ("\"hostClass\":\"instrument\",\"target\":\"lv2\"")) << page ();

	// An edit from the page: a gesture around a plain-valued port write.
	const uint32_t mallet = 7;
	ASSERT_STREQ (TAVIK_PARAMS[mallet].path, "mallet.type");
	say ("{\"type\":\"tavik.beginEdit\",\"path\":\"mallet.type\"}");
	say ("{\"type\":\"tavik.setParam\",\"path\":\"mallet.type\",\"value\":2}");
	say ("{\"type\":\"tavik.endEdit\",\"path\":\"mallet.type\"}");
	ASSERT_TRUE (cycleUntil ([&] { return touches.size () >= 2; })) << page ();
	EXPECT_TRUE (wroteTo (mallet, 2.0f));
	ASSERT_EQ (touches.size (), 2u);
	EXPECT_EQ (touches[0].port, mallet);
	EXPECT_EQ (touches[0].value, 1.0f);
	EXPECT_EQ (touches[1].value, 0.0f);
	// The host sending the value back is no news for the page.
	for (int i = 0; i < 5; ++i)
		cycle ();
	EXPECT_FALSE (pageHeard ("\"type\":\"tavik.paramChanged\",\"path\":\"mallet.type\""));

	// A port the host moves reaches the page.
	host->control (9) = 0.25f;
	ASSERT_TRUE (cycleUntil ([&] { return pageHeard ("\"type\":\"tavik.paramChanged\",\"path\":\"bloom.amount\""); }))
		<< page ();
	const size_t writesBefore = writes.size ();
	for (int i = 0; i < 5; ++i)
		cycle ();
	EXPECT_EQ (writes.size (), writesBefore) << "a value the host set was written back";

	// The page's CC map reaches the plug-in: its saved state carries it.
	say ("{\"type\":\"tavik.setCcMap\",\"map\":[{\"cc\":20,\"path\":\"ir.size\"},{\"cc\":21,\"path\":\"bloom.amount\"}]"
	     "}");
	ASSERT_TRUE (cycleUntil ([&] {
		const std::string state = host->savedProperty ((std::string (lv2::PLUGIN_URI) + "#state").c_str ());
		return state.find ("\"cc\":21") != std::string::npos;
	}));

	// Learning: a controller played into the plug-in comes back to the page
	// as activity, and the binding learns it.
	say ("{\"type\":\"tavik.ccLearn\",\"value\":1}");
	ASSERT_TRUE (cycleUntil ([&] { return pageHeard ("\"type\":\"tavik.ccLearnState\",\"slot\":1"); })) << page ();
	ASSERT_TRUE (cycleUntil ([&] {
		tavik::test::queueController (*host, 0, 74, 90);
		return pageHeard ("\"type\":\"tavik.midiCc\"") && pageHeard ("\"type\":\"tavik.ccMapChanged\"");
	})) << page ();
	EXPECT_TRUE (pageHeard ("\"cc\":74")) << page ();
	ASSERT_TRUE (cycleUntil ([&] {
		const std::string state = host->savedProperty ((std::string (lv2::PLUGIN_URI) + "#state").c_str ());
		return state.find ("\"cc\":74") != std::string::npos;
	}));

	// What a controller does to a parameter reaches the page, though the
	// host's port keeps its value: the port is the host's.
	const size_t beforeSweep = page ().size ();
	const size_t writesBeforeSweep = writes.size ();
	tavik::test::queueController (*host, 0, 74, 127);
	ASSERT_TRUE (cycleUntil ([&] {
		return page ().find ("\"path\":\"bloom.amount\",\"value\":1,", beforeSweep) != std::string::npos;
	})) << page ().substr (beforeSweep);
	EXPECT_EQ (host->control (9), 0.25f);
	EXPECT_EQ (writes.size (), writesBeforeSweep);

	// A factory preset chosen on the page writes its values to the ports.
	writes.clear ();
	say ("{\"type\":\"tavik.loadFactoryPreset\",\"id\":\"factory-3\"}");
	ASSERT_TRUE (cycleUntil ([&] { return writes.size () >= 10; })) << page ();
	for (int i = 0; i < 5; ++i)
		cycle ();
	const tavik_factory_preset& preset = TAVIK_FACTORY_PRESETS[2];
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		EXPECT_EQ (host->control (i), static_cast<float> (tavik_param_plain (&TAVIK_PARAMS[i], preset.values[i])))
			<< TAVIK_PARAMS[i].path;

	// A host's own preset arrives as port values alone: values that are a
	// factory preset's name it, and an edit afterwards marks it edited.
	const tavik_factory_preset& hostPreset = TAVIK_FACTORY_PRESETS[6];
	const size_t heardBefore = page ().size ();
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		host->control (i) = static_cast<float> (tavik_param_plain (&TAVIK_PARAMS[i], hostPreset.values[i]));
	const std::string named = std::string ("\"currentId\":\"") + hostPreset.id + "\"";
	ASSERT_TRUE (cycleUntil ([&] { return page ().find (named, heardBefore) != std::string::npos; })) << page ();
	EXPECT_NE (page ().find ("\"dirty\":false", page ().find (named, heardBefore)), std::string::npos);
	host->control (9) = 0.01f;
	ASSERT_TRUE (cycleUntil ([&] { return page ().find ("\"dirty\":true", heardBefore) != std::string::npos; }))
		<< page ();

	// The diagnostics drawer hears the host facts LV2 knows and the health.
	say ("{\"type\":\"tavik.diag.subscribe\",\"feeds\":[\"host\"],\"hz\":30}");
	ASSERT_TRUE (cycleUntil ([&] { return pageHeard ("\"sampleRate\":48000,\"maxBlockFrames\":256"); })) << page ();
	EXPECT_TRUE (cycleUntil ([&] { return pageHeard ("\"type\":\"tavik.runtimeDiagnostics\""); })) << page ();
	EXPECT_TRUE (pageHeard ("\"instanceId\":\"lv2\"")) << page ();
}

TEST_F (Lv2UiTest, BadPortEventsAreIgnored)
{
	ui = instantiate ();
	ASSERT_NE (ui, nullptr);
	say ("{\"type\":\"tavik.ready\"}");
	ASSERT_TRUE (cycleUntil ([&] { return pageHeard ("\"type\":\"tavik.hello\""); }));
	const std::string before = page ();
	alignas (8) uint8_t junk[64] = {};
	auto* atom = reinterpret_cast<LV2_Atom*> (junk);
	atom->type = urids->atomObject;
	atom->size = 4000; // beyond the bytes given
	descriptor->port_event (ui, lv2::PORT_NOTIFY_OUT, sizeof junk, urids->atomEventTransfer, junk);
	descriptor->port_event (ui, lv2::PORT_NOTIFY_OUT, 4, urids->atomEventTransfer, junk);
	descriptor->port_event (ui, lv2::PORT_NOTIFY_OUT, sizeof junk, urids->atomEventTransfer, nullptr);
	const float nan = std::nanf ("");
	descriptor->port_event (ui, 3, sizeof nan, 0, &nan);
	descriptor->port_event (ui, 3, 2, 0, junk);
	descriptor->port_event (ui, 999, sizeof nan, 0, &nan);
	for (int i = 0; i < 5; ++i)
		cycle ();
	EXPECT_EQ (page ().find ("paramChanged", before.size ()), std::string::npos) << page ();
}

} // namespace
