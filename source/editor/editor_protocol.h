// The lines the plug-in and its editor helper exchange besides the page's
// own messages. Every line is one JSON text; a line is the helper's or the
// plug-in's own when it is an object with a string member "editor" (page
// messages always carry "type" and never "editor", and the helper refuses
// page messages that look like control lines).
#pragma once

#include <string>

namespace tavik {

struct EditorControl
{
	enum class Kind
	{
		PageMessage, // not a control line
		Started,     // helper → plug-in: "window": embedded (that X window) and the page loading
		Error,       // helper → plug-in: "reason"
		Size,        // plug-in → helper: "width", "height"
		Park,        // plug-in → helper: "keep": drop the page, wait that many seconds for an embed
		Parked,      // helper → plug-in: done
		Embed,       // plug-in → helper: "parent", "width", "height": show again
		Unknown,     // a control line of a kind this side does not know
	};
	Kind kind = Kind::PageMessage;
	int width = 0;
	int height = 0;
	unsigned long parent = 0;
	unsigned long window = 0;
	double seconds = 0;
	std::string reason;
};

/** Values a line may hold before it is refused unread (hostile pages). */
constexpr size_t EDITOR_LINE_MAX_VALUES = 1u << 20;

/** Whether `line` is one JSON value (the only thing evaluated in a page). */
bool isOneJsonValue (const std::string& line);

/** The control carried by `line`; Kind::PageMessage for anything else. */
EditorControl parseEditorControl (const std::string& line);

std::string editorStartedLine (unsigned long window);
std::string editorErrorLine (const std::string& reason);
std::string editorSizeLine (int width, int height);
std::string editorParkLine (double keepSeconds);
std::string editorParkedLine ();
std::string editorEmbedLine (unsigned long parent, int width, int height);

} // namespace tavik
