#include "page_bridge.h"

#include "editor_protocol.h"
#include "tavik_host_script.h"

#include <cstring>

namespace tavik {

PageBridge::PageBridge (WebKitUserContentManager* contentManager, std::function<void (const std::string&)> toPlugin)
	: manager (contentManager), forward (std::move (toPlugin))
{
	g_object_ref (manager);
	WebKitUserScript* script = webkit_user_script_new (TAVIK_HOST_SCRIPT, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
	                                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
	webkit_user_content_manager_add_script (manager, script);
	webkit_user_script_unref (script);
	handlerId = g_signal_connect (manager, "script-message-received::tavik", G_CALLBACK (&PageBridge::received), this);
	webkit_user_content_manager_register_script_message_handler (manager, "tavik");
}

PageBridge::~PageBridge ()
{
	webkit_user_content_manager_unregister_script_message_handler (manager, "tavik");
	g_signal_handler_disconnect (manager, handlerId);
	g_object_unref (manager);
}

void PageBridge::received (WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self)
{
	auto* bridge = static_cast<PageBridge*> (self);
	JSCValue* value = webkit_javascript_result_get_js_value (result);
	// Only texts reach the plug-in; a page posting anything else directly
	// to the handler is ignored.
	if (!value || !jsc_value_is_string (value))
		return;
	gchar* text = jsc_value_to_string (value);
	if (!text)
		return;
	const std::string message (text, std::strlen (text));
	g_free (text);
	// The page may not speak for the helper.
	if (parseEditorControl (message).kind != EditorControl::Kind::PageMessage)
		return;
	bridge->forward (message);
}

bool PageBridge::deliver (WebKitWebView* view, const std::string& message)
{
	if (!g_utf8_validate (message.data (), static_cast<gssize> (message.size ()), nullptr) || !isOneJsonValue (message))
		return false;
	// One JSON value is also one JavaScript expression, so the page's
	// handlers receive the parsed object.
	const std::string script = "window.tavikHost && window.tavikHost._deliver(" + message + ");";
	webkit_web_view_evaluate_javascript (view, script.data (), static_cast<gssize> (script.size ()), nullptr, nullptr,
	                                     nullptr, nullptr, nullptr);
	return true;
}

} // namespace tavik
