#include "editor_notice.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tavik {

namespace {

// The page's own colours: near-black, warm white, brass.
constexpr uint8_t BACKGROUND[3] = {0x0d, 0x0b, 0x09};
constexpr uint8_t TEXT[3] = {0xef, 0xe7, 0xd7};
constexpr uint8_t ACCENT[3] = {0xe4, 0xbd, 0x6e};
constexpr int MARGIN = 24;
constexpr const char* PREFIX = "Zorv editor: ";

// Character-cell fonts the server may have, largest first; "fixed" is one
// every X server carries.
constexpr const char* FONTS[] = {"-misc-fixed-medium-r-normal--18-*-*-*-c-*-iso8859-1", "10x20", "9x15", "fixed"};

} // namespace

EditorNotice::~EditorNotice ()
{
	hide ();
	if (font)
	{
		d.xcb ().closeFont (d.connection (), font);
		d.flush ();
	}
}

std::string EditorNotice::lineFor (const std::string& reason, int widthPixels, int cell)
{
	// The fonts are Latin-1; other characters show as '?', controls as spaces.
	std::string latin;
	for (size_t i = 0; i < reason.size (); ++i)
	{
		const unsigned char byte = static_cast<unsigned char> (reason[i]);
		if (byte < 0x20 || byte == 0x7f)
			latin += ' ';
		else if (byte < 0x80)
			latin += static_cast<char> (byte);
		else if ((byte == 0xc2 || byte == 0xc3) && i + 1 < reason.size ())
			latin += static_cast<char> (((byte & 0x03) << 6) | (static_cast<unsigned char> (reason[++i]) & 0x3f));
		else if (byte >= 0xc0)
		{
			latin += '?';
			while (i + 1 < reason.size () && (static_cast<unsigned char> (reason[i + 1]) & 0xc0) == 0x80)
				++i;
		}
	}
	std::string line = PREFIX + latin;
	// image_text_8 takes at most 255 characters.
	const size_t fits = std::min<size_t> (255, cell > 0 ? static_cast<size_t> (std::max (0, widthPixels) / cell) : 0);
	if (line.size () > fits)
		line = fits > 3 ? line.substr (0, fits - 3) + "..." : line.substr (0, fits);
	return line;
}

bool EditorNotice::openFont ()
{
	if (font)
		return true;
	const XcbLibrary& x = d.xcb ();
	for (const char* name : FONTS)
	{
		const uint32_t id = x.generateId (d.connection ());
		x.openFont (d.connection (), id, static_cast<uint16_t> (std::strlen (name)), name);
		auto* info = static_cast<xcb_query_font_reply_t*> (d.awaitReply (x.queryFont (d.connection (), id).sequence));
		if (!info)
			continue; // no such font (the open failed too)
		characterWidth = info->max_bounds.character_width;
		ascent = info->font_ascent;
		descent = info->font_descent;
		std::free (info);
		if (characterWidth > 0 && ascent + descent > 0)
		{
			font = id;
			return true;
		}
		x.closeFont (d.connection (), id);
	}
	return false;
}

void EditorNotice::show (uint32_t parent, int viewWidth, int viewHeight, const std::string& reason)
{
	hide ();
	const XcbLibrary& x = d.xcb ();
	const xcb_screen_t& screen = d.screen ();
	width = std::max (1, viewWidth);
	height = std::max (1, viewHeight);
	message = reason;
	window = x.generateId (d.connection ());
	// The root window's depth and visual with a colour map of its own, so
	// the host's window may have any visual.
	const uint32_t background = d.pixel (BACKGROUND[0], BACKGROUND[1], BACKGROUND[2]);
	const uint32_t values[] = {background, background, screen.default_colormap};
	x.createWindow (d.connection (), screen.root_depth, window, parent, 0, 0, static_cast<uint16_t> (width),
	                static_cast<uint16_t> (height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen.root_visual,
	                XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_COLORMAP, values);
	drawText ();
	x.mapWindow (d.connection (), window);
	d.flush ();
}

void EditorNotice::resize (int viewWidth, int viewHeight)
{
	if (!window)
		return;
	width = std::max (1, viewWidth);
	height = std::max (1, viewHeight);
	const uint32_t size[] = {static_cast<uint32_t> (width), static_cast<uint32_t> (height)};
	d.xcb ().configureWindow (d.connection (), window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
	drawText ();
	d.flush ();
}

void EditorNotice::drawText ()
{
	const XcbLibrary& x = d.xcb ();
	xcb_connection_t* c = d.connection ();
	if (text)
	{
		x.destroyWindow (c, text);
		text = 0;
	}
	if (!openFont ())
		return; // the background alone still says the editor is not there
	const std::string line = lineFor (message, width - 2 * MARGIN, characterWidth);
	if (line.empty ())
		return;
	const int textWidth = static_cast<int> (line.size ()) * characterWidth;
	const int textHeight = ascent + descent;
	const xcb_screen_t& screen = d.screen ();

	const uint32_t picture = x.generateId (c);
	x.createPixmap (c, screen.root_depth, picture, screen.root, static_cast<uint16_t> (textWidth),
	                static_cast<uint16_t> (textHeight));
	const uint32_t background = d.pixel (BACKGROUND[0], BACKGROUND[1], BACKGROUND[2]);
	const size_t prefix = std::min (line.size (), std::strlen (PREFIX));
	for (int part = 0; part < 2; ++part)
	{
		const uint8_t* colour = part == 0 ? ACCENT : TEXT;
		const uint32_t gc = x.generateId (c);
		const uint32_t values[] = {d.pixel (colour[0], colour[1], colour[2]), background, font};
		x.createGc (c, gc, picture, XCB_GC_FOREGROUND | XCB_GC_BACKGROUND | XCB_GC_FONT, values);
		const size_t from = part == 0 ? 0 : prefix;
		const size_t count = part == 0 ? prefix : line.size () - prefix;
		if (count > 0)
			x.imageText8 (c, static_cast<uint8_t> (count), picture, gc,
			              static_cast<int16_t> (static_cast<int> (from) * characterWidth),
			              static_cast<int16_t> (ascent), line.data () + from);
		x.freeGc (c, gc);
	}

	text = x.generateId (c);
	const int left = std::max (MARGIN, (width - textWidth) / 2);
	const int top = std::max (0, (height - textHeight) / 2);
	const uint32_t values[] = {picture, background};
	x.createWindow (c, XCB_COPY_FROM_PARENT, text, window, static_cast<int16_t> (left), static_cast<int16_t> (top),
	                static_cast<uint16_t> (textWidth), static_cast<uint16_t> (textHeight), 0,
	                XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL,
	                values);
	// The window keeps the picture.
	x.freePixmap (c, picture);
	x.mapWindow (c, text);
}

void EditorNotice::hide ()
{
	if (!window)
		return;
	// Its text window goes with it.
	d.xcb ().destroyWindow (d.connection (), window);
	d.flush ();
	window = text = 0;
}

} // namespace tavik
