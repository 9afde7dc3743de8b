#include "host_display.h"

#include <chrono>
#include <cstdlib>
#include <poll.h>

namespace tavik {

namespace {

uint32_t scaled (uint8_t value, uint32_t mask)
{
	if (!mask)
		return 0;
	const int shift = __builtin_ctz (mask);
	const uint32_t top = mask >> shift;
	return ((static_cast<uint32_t> (value) * top + 127) / 255) << shift;
}

} // namespace

std::unique_ptr<HostDisplay> HostDisplay::connect (std::string& error)
{
	const XcbLibrary* library = xcbLibrary ();
	if (!library)
	{
		error = "cannot load the X client library (libxcb.so.1)";
		return nullptr;
	}
	int screenNumber = 0;
	xcb_connection_t* connection = library->connect (nullptr, &screenNumber);
	if (!connection || library->connectionHasError (connection))
	{
		if (connection)
			library->disconnect (connection);
		const char* display = std::getenv ("DISPLAY");
		error = std::string ("cannot open the X display ") + (display ? display : "");
		return nullptr;
	}
	xcb_screen_iterator_t screens = library->setupRootsIterator (library->getSetup (connection));
	for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
		library->screenNext (&screens);
	if (screens.rem <= 0 || !screens.data)
	{
		library->disconnect (connection);
		error = "the X display has no such screen";
		return nullptr;
	}
	return std::unique_ptr<HostDisplay> (new HostDisplay (*library, connection, screens.data));
}

HostDisplay::HostDisplay (const XcbLibrary& library, xcb_connection_t* connection, const xcb_screen_t* screen)
	: x (library), c (connection), rootScreen (screen)
{
	auto* mutableScreen = const_cast<xcb_screen_t*> (screen);
	for (xcb_depth_iterator_t depths = x.screenAllowedDepthsIterator (mutableScreen); depths.rem > 0 && !rootVisual;
	     x.depthNext (&depths))
		for (xcb_visualtype_iterator_t visuals = x.depthVisualsIterator (depths.data); visuals.rem > 0;
		     x.visualtypeNext (&visuals))
			if (visuals.data->visual_id == screen->root_visual)
			{
				rootVisual = visuals.data;
				break;
			}
}

HostDisplay::~HostDisplay ()
{
	// The server destroys whatever this connection made (the notice).
	x.disconnect (c);
}

uint32_t HostDisplay::pixel (uint8_t red, uint8_t green, uint8_t blue) const
{
	if (rootVisual &&
	    (rootVisual->_class == XCB_VISUAL_CLASS_TRUE_COLOR || rootVisual->_class == XCB_VISUAL_CLASS_DIRECT_COLOR))
		return scaled (red, rootVisual->red_mask) | scaled (green, rootVisual->green_mask) |
		       scaled (blue, rootVisual->blue_mask);
	// A palette display: black or white is all that is sure to exist.
	return red + green + blue > 3 * 127 ? rootScreen->white_pixel : rootScreen->black_pixel;
}

void* HostDisplay::awaitReply (unsigned int sequence, bool* answered)
{
	if (answered)
		*answered = false;
	x.flush (c);
	const auto deadline = std::chrono::steady_clock::now () + std::chrono::milliseconds (REPLY_MILLISECONDS);
	for (;;)
	{
		void* reply = nullptr;
		xcb_generic_error_t* error = nullptr;
		if (x.pollForReply (c, sequence, &reply, &error))
		{
			std::free (error);
			if (answered)
				*answered = true;
			discardEvents ();
			return reply;
		}
		const auto left =
			std::chrono::duration_cast<std::chrono::milliseconds> (deadline - std::chrono::steady_clock::now ())
				.count ();
		if (x.connectionHasError (c) || left <= 0)
		{
			x.discardReply (c, sequence);
			discardEvents ();
			return nullptr;
		}
		pollfd watch {x.getFileDescriptor (c), POLLIN, 0};
		::poll (&watch, 1, static_cast<int> (left));
	}
}

bool HostDisplay::sync ()
{
	bool answered = false;
	std::free (awaitReply (x.getInputFocus (c).sequence, &answered));
	return answered;
}

void HostDisplay::flush ()
{
	x.flush (c);
	discardEvents ();
}

void HostDisplay::discardEvents ()
{
	// Nothing is selected on any window: what comes unasked is errors.
	while (xcb_generic_event_t* event = x.pollForEvent (c))
		std::free (event);
}

bool HostDisplay::windowExists (uint32_t window)
{
	void* geometry = awaitReply (x.getGeometry (c, window).sequence);
	std::free (geometry);
	return geometry != nullptr;
}

bool HostDisplay::takeOut (uint32_t window, uint32_t parent)
{
	bool answered = false;
	auto* tree = static_cast<xcb_query_tree_reply_t*> (awaitReply (x.queryTree (c, window).sequence, &answered));
	if (!tree)
		return !answered; // an error: the window has gone
	const bool inside = tree->parent == parent;
	std::free (tree);
	if (!inside)
		return true;
	x.unmapWindow (c, window);
	x.reparentWindow (c, window, rootScreen->root, 0, 0);
	// Done before the host may destroy its window.
	sync ();
	return true;
}

} // namespace tavik
