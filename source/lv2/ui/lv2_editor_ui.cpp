#include "lv2_editor_ui.h"

#include "factory_presets.h"
#include "lv2_layout.h"
#include "plugin_messages.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2_util.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace tavik::lv2 {

namespace {

// The editor's first size, as the VST 3 view's.
constexpr int INITIAL_WIDTH = 720;
constexpr int INITIAL_HEIGHT = 560;
constexpr auto CADENCE = std::chrono::milliseconds (1000 / 30);

void report (const std::string& reason) { std::fprintf (stderr, "Zorv UI: %s\n", reason.c_str ()); }

} // namespace

std::unique_ptr<Lv2EditorUi> Lv2EditorUi::create (const char* bundlePath, LV2UI_Write_Function write,
                                                  LV2UI_Controller controller, LV2UI_Widget* widget,
                                                  const LV2_Feature* const* features)
{
	void* parent = nullptr;
	const LV2_URID_Map* map = nullptr;
	const LV2UI_Resize* resize = nullptr;
	const LV2UI_Touch* touch = nullptr;
	const char* missing = lv2_features_query (features, LV2_UI__parent, &parent, true, LV2_URID__map, &map, true,
	                                          LV2_UI__resize, &resize, false, LV2_UI__touch, &touch, false, nullptr);
	if (missing)
	{
		report (std::string ("the host does not provide ") + missing);
		return nullptr;
	}
	if (!write || !bundlePath || !widget)
	{
		report ("the host gave no bundle, write function or widget");
		return nullptr;
	}
	std::unique_ptr<Lv2EditorUi> ui (new Lv2EditorUi (write, controller, *map, touch));
	std::string error;
	if (!ui->open (bundlePath, reinterpret_cast<uintptr_t> (parent), resize, error))
	{
		report (error);
		return nullptr;
	}
	*widget = reinterpret_cast<LV2UI_Widget> (static_cast<uintptr_t> (ui->window));
	return ui;
}

Lv2EditorUi::Lv2EditorUi (LV2UI_Write_Function write, LV2UI_Controller controller, const LV2_URID_Map& map,
                          const LV2UI_Touch* touch)
	: writeFunction (write), hostController (controller), urids (map), touchFeature (touch),
	  atomBuffer ((MAX_MESSAGE_BYTES + sizeof (LV2_Atom)) / 8 + 1)
{
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
	{
		values[i] = TAVIK_PARAMS[i].defaultNormalized;
		hostPort[i] = static_cast<float> (TAVIK_PARAMS[i].defaultPlain);
		written[i] = hostPort[i];
	}
	session = std::make_unique<ControllerSession> (static_cast<ControllerSurface&> (*this));
	session->setDiagnosticTarget (TARGET_LV2);
	session->initialized (nullptr);
}

Lv2EditorUi::~Lv2EditorUi ()
{
	if (link)
	{
		if (display && link->plugWindow ())
			display->takeOut (static_cast<uint32_t> (link->plugWindow ()), window);
		link->close ();
		link.reset ();
	}
	if (display && window)
	{
		display->xcb ().destroyWindow (display->connection (), window);
		display->flush ();
	}
	session->terminating ();
}

bool Lv2EditorUi::open (const std::string& bundle, uintptr_t parent, const LV2UI_Resize* resize, std::string& error)
{
	const std::string folder = !bundle.empty () && bundle.back () == '/' ? bundle : bundle + "/";
	const char* displayName = std::getenv ("DISPLAY");
	if (!displayName || !*displayName)
	{
		error = "no X display (DISPLAY is not set)";
		return false;
	}
	display = HostDisplay::connect (error);
	if (!display)
		return false;
	if (parent == 0 || parent > 0xffffffffu || !display->windowExists (static_cast<uint32_t> (parent)))
	{
		error = "the host's window does not exist";
		return false;
	}
	width = INITIAL_WIDTH;
	height = INITIAL_HEIGHT;
	// The UI's own window inside the host's: the widget the host sizes, and
	// the one the helper embeds into.
	const XcbLibrary& x = display->xcb ();
	window = x.generateId (display->connection ());
	const uint32_t background[] = {display->pixel (0x20, 0x20, 0x24)};
	x.createWindow (display->connection (), XCB_COPY_FROM_PARENT, window, static_cast<uint32_t> (parent), 0, 0,
	                static_cast<uint16_t> (width), static_cast<uint16_t> (height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
	                XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, background);
	x.mapWindow (display->connection (), window);
	display->sync ();
	if (resize && resize->ui_resize)
		resize->ui_resize (resize->handle, width, height);

	EditorLaunch launch;
	launch.helperPath = folder + "zorv-editor";
	launch.uiRoot = folder + "ui";
	launch.parentWindow = window;
	launch.width = width;
	launch.height = height;
	if (::access (launch.helperPath.c_str (), X_OK) != 0)
	{
		error = "the editor helper is missing in the bundle (" + launch.helperPath + ")";
		return false;
	}
	link = std::make_unique<EditorLink> (static_cast<BridgeHost*> (this));
	if (!link->start (launch, error))
	{
		link.reset ();
		return false;
	}
	lastCadence = std::chrono::steady_clock::now ();
	return true;
}

int Lv2EditorUi::idle ()
{
	if (link)
	{
		link->serviceSocket ();
		link->tick ();
		checkLink ();
	}
	// A host's preset reaches the UI as port values only: once a burst of
	// them is in, the editor names the factory preset they are, if any.
	if (hostChangedValues)
	{
		hostChangedValues = false;
		session->recognizeFactoryPreset ();
	}
	const auto now = std::chrono::steady_clock::now ();
	if (now - lastCadence >= CADENCE)
	{
		lastCadence = now;
		session->tickCadence ();
	}
	return 0;
}

void Lv2EditorUi::checkLink ()
{
	if (!link || !link->failed ())
		return;
	report ("editor: " + link->lastError ());
	link.reset ();
}

int Lv2EditorUi::resize (int newWidth, int newHeight)
{
	if (newWidth <= 0 || newHeight <= 0 || newWidth > 16384 || newHeight > 16384)
		return 1;
	width = newWidth;
	height = newHeight;
	if (display && window)
	{
		const uint32_t size[] = {static_cast<uint32_t> (width), static_cast<uint32_t> (height)};
		display->xcb ().configureWindow (display->connection (), window,
		                                 XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
		display->flush ();
	}
	if (link)
		link->resize (width, height);
	return 0;
}

void Lv2EditorUi::portEvent (uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
	if (!buffer)
		return;
	if (port == PORT_NOTIFY_OUT && format == urids.atomEventTransfer)
	{
		MessageView message;
		if (!readMessage (static_cast<const LV2_Atom*> (buffer), size, urids, message))
			return;
		if (std::strcmp (message.id, messages::PARAMETER_VALUES) == 0)
		{
			if (message.hasPayload)
				adoptControllerValues (message.payload, message.payloadSize);
			return;
		}
		std::string payload;
		if (message.hasPayload)
			payload.assign (reinterpret_cast<const char*> (message.payload), message.payloadSize);
		session->adoptProcessorMessage (message.id, message.hasPayload ? &payload : nullptr);
		return;
	}
	if (port >= PORT_FIRST_PARAMETER + TAVIK_PARAM_COUNT || format != 0 || size != sizeof (float))
		return;
	const uint32_t id = port - PORT_FIRST_PARAMETER;
	float value = 0;
	std::memcpy (&value, buffer, sizeof value);
	if (!std::isfinite (value))
		return;
	hostPort[id] = value;
	hostPortKnown[id] = true;
	// The host sending back the UI's own write is no news for the page.
	if (writePending[id] && value == written[id])
	{
		writePending[id] = false;
		return;
	}
	writePending[id] = false;
	const double normalized = tavik_param_normalize (&TAVIK_PARAMS[id], value);
	values[id] = normalized;
	session->parameterSet (id, normalized);
	hostChangedValues = true;
}

// Values MIDI controllers gave parameters in the plug-in: the host's ports
// keep their own, so the page hears of them from here. The page follows;
// the ports are left alone.
void Lv2EditorUi::adoptControllerValues (const uint8_t* bytes, uint32_t size)
{
	for (uint32_t at = 0; at + 12 <= size; at += 12)
	{
		uint32_t id = 0;
		double normalized = 0;
		std::memcpy (&id, bytes + at, 4);
		std::memcpy (&normalized, bytes + at + 4, 8);
		if (id >= TAVIK_PARAM_COUNT || !(normalized >= 0 && normalized <= 1))
			continue;
		values[id] = normalized;
		session->parameterSet (id, normalized);
	}
}

double Lv2EditorUi::normalizedValue (uint32_t id) const
{
	return id < TAVIK_PARAM_COUNT ? values[id] : id == TAVIK_FACTORY_PROGRAM_LIST_ID ? programValue : 0.0;
}

// The factory program list has no port: choosing a program is the UI's own
// business, and the preset's values go to the ports as edits.
bool Lv2EditorUi::setParameterValue (uint32_t id, double normalized)
{
	if (!std::isfinite (normalized) || (id >= TAVIK_PARAM_COUNT && id != TAVIK_FACTORY_PROGRAM_LIST_ID))
		return false;
	const double clamped = normalized < 0 ? 0 : normalized > 1 ? 1 : normalized;
	if (id == TAVIK_FACTORY_PROGRAM_LIST_ID)
		programValue = clamped;
	else
		values[id] = clamped;
	return true;
}

void Lv2EditorUi::beginEdit (uint32_t id)
{
	if (id < TAVIK_PARAM_COUNT && touchFeature && touchFeature->touch)
		touchFeature->touch (touchFeature->handle, PORT_FIRST_PARAMETER + id, true);
}

void Lv2EditorUi::performEdit (uint32_t id, double normalized)
{
	if (id >= TAVIK_PARAM_COUNT || !std::isfinite (normalized))
		return;
	const float plain = static_cast<float> (tavik_param_plain (&TAVIK_PARAMS[id], normalized));
	// What the port holds already is never written back to it.
	if (hostPortKnown[id] && plain == hostPort[id] && !writePending[id])
		return;
	written[id] = plain;
	writePending[id] = true;
	writeFunction (hostController, PORT_FIRST_PARAMETER + id, sizeof plain, 0, &plain);
}

void Lv2EditorUi::endEdit (uint32_t id)
{
	if (id < TAVIK_PARAM_COUNT && touchFeature && touchFeature->touch)
		touchFeature->touch (touchFeature->handle, PORT_FIRST_PARAMETER + id, false);
}

// LV2 hosts re-read nothing on request: the ports are always theirs, and
// MIDI controllers reach the plug-in as raw MIDI (the CC map does the rest),
// so there is no assignment to publish.
void Lv2EditorUi::restartComponent (int32_t) {}

bool Lv2EditorUi::sendMessage (const char* id, const std::string* payload, bool reset)
{
	if (payload && payload->size () > MAX_MESSAGE_BYTES)
		return false;
	const uint32_t size =
		writeMessage (atomBuffer.data (), static_cast<uint32_t> (atomBuffer.size () * 8), urids, id,
	                  payload ? payload->data () : nullptr, payload ? static_cast<uint32_t> (payload->size ()) : 0,
	                  payload != nullptr, reset);
	if (size == 0)
		return false;
	writeFunction (hostController, PORT_EVENTS_IN, size, urids.atomEventTransfer, atomBuffer.data ());
	return true;
}

bool Lv2EditorUi::sendToProcessor (const char* id, const std::string* payload)
{
	return sendMessage (id, payload, false);
}

bool Lv2EditorUi::sendTransportPoll (bool reset) { return sendMessage (messages::TRANSPORT_POLL, nullptr, reset); }

void Lv2EditorUi::handleBridgeMessage (const char* json, size_t length) { session->handleBridgeMessage (json, length); }

void Lv2EditorUi::setBridgeSink (std::function<void (const std::string&)> sink)
{
	session->setBridgeSink (std::move (sink));
}

void Lv2EditorUi::onEditorOpened () { session->editorOpened (); }

void Lv2EditorUi::onEditorClosed () { session->editorClosed (); }

void Lv2EditorUi::onEditorError (const char* reason) { session->editorError (reason); }

} // namespace tavik::lv2
