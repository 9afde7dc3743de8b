// The LV2 UI's entry points: lv2ui_descriptor and the calls on it, each of
// which keeps exceptions away from the host.
#include "lv2_editor_ui.h"
#include "lv2_layout.h"

#include <lv2/ui/ui.h>

#include <cstring>

namespace tavik::lv2 {

namespace {

Lv2EditorUi* self (LV2UI_Handle handle) { return static_cast<Lv2EditorUi*> (handle); }

LV2UI_Handle instantiate (const LV2UI_Descriptor*, const char* pluginUri, const char* bundlePath,
                          LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                          const LV2_Feature* const* features)
{
	try
	{
		if (!pluginUri || std::strcmp (pluginUri, PLUGIN_URI) != 0)
			return nullptr;
		return Lv2EditorUi::create (bundlePath, write, controller, widget, features).release ();
	}
	catch (...)
	{
		return nullptr;
	}
}

void cleanup (LV2UI_Handle handle)
{
	try
	{
		delete self (handle);
	}
	catch (...)
	{
	}
}

void portEvent (LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
	try
	{
		self (handle)->portEvent (port, size, format, buffer);
	}
	catch (...)
	{
	}
}

int idle (LV2UI_Handle handle)
{
	try
	{
		return self (handle)->idle ();
	}
	catch (...)
	{
		return 0;
	}
}

int resize (LV2UI_Feature_Handle handle, int width, int height)
{
	try
	{
		return self (static_cast<LV2UI_Handle> (handle))->resize (width, height);
	}
	catch (...)
	{
		return 1;
	}
}

const LV2UI_Idle_Interface IDLE_INTERFACE = {idle};
const LV2UI_Resize RESIZE_INTERFACE = {nullptr, resize};

const void* extensionData (const char* uri)
{
	if (!uri)
		return nullptr;
	if (std::strcmp (uri, LV2_UI__idleInterface) == 0)
		return &IDLE_INTERFACE;
	if (std::strcmp (uri, LV2_UI__resize) == 0)
		return &RESIZE_INTERFACE;
	return nullptr;
}

const LV2UI_Descriptor DESCRIPTOR = {UI_URI, instantiate, cleanup, portEvent, extensionData};

} // namespace

} // namespace tavik::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor (uint32_t index)
{
	return index == 0 ? &tavik::lv2::DESCRIPTOR : nullptr;
}
