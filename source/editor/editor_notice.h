// What the host's window shows when the editor cannot be: one line, "Zorv
// editor: <reason>", drawn by the plug-in itself with plain X (never GTK).
// A child window of the host's with a background colour holds a smaller
// window whose background is a picture of the text, so the X server
// repaints both by itself and the plug-in handles no events at all.
#pragma once

#include "host_display.h"

#include <cstdint>
#include <string>

namespace tavik {

class EditorNotice
{
public:
	explicit EditorNotice (HostDisplay& display) : d (display) {}
	~EditorNotice ();
	EditorNotice (const EditorNotice&) = delete;
	EditorNotice& operator= (const EditorNotice&) = delete;

	/** Shows `reason` over the whole of `parent`'s view area. */
	void show (uint32_t parent, int width, int height, const std::string& reason);
	/** Follows the view's new size. */
	void resize (int width, int height);
	void hide ();
	bool shown () const { return window != 0; }

	/** The line as drawn for `reason` at `width` pixels with characters
	 *  `characterWidth` wide: Latin-1, cut with "..." to fit. */
	static std::string lineFor (const std::string& reason, int width, int characterWidth);

private:
	bool openFont ();
	void drawText ();

	HostDisplay& d;
	uint32_t window = 0;
	uint32_t text = 0;
	uint32_t font = 0;
	int characterWidth = 0;
	int ascent = 0;
	int descent = 0;
	int width = 0;
	int height = 0;
	std::string message;
};

} // namespace tavik
