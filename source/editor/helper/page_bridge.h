// The page's side of the bridge inside the helper: the injected
// window.tavikHost, the "tavik" message handler whose texts go to the
// plug-in, and delivery of the plug-in's messages into the page.
#pragma once

#include <functional>
#include <string>
#include <webkit2/webkit2.h>

namespace tavik {

class PageBridge
{
public:
	/** Installs the script and the handler on `manager`; every text the
	 *  page posts goes to `toPlugin`. */
	PageBridge (WebKitUserContentManager* manager, std::function<void (const std::string&)> toPlugin);
	~PageBridge ();
	PageBridge (const PageBridge&) = delete;
	PageBridge& operator= (const PageBridge&) = delete;

	/** Evaluates `message` in `view` for the page's handlers when it is
	 *  valid UTF-8 and exactly one JSON value; false (nothing evaluated)
	 *  otherwise. */
	bool deliver (WebKitWebView* view, const std::string& message);

private:
	static void received (WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);

	WebKitUserContentManager* manager;
	std::function<void (const std::string&)> forward;
	gulong handlerId = 0;
};

} // namespace tavik
