// libxcb, loaded when an editor first needs it. The plug-in talks to the
// host's X display itself for two things only: taking the helper's window
// out of the host's when the view closes, and drawing a one-line notice when
// the editor cannot be shown. It uses XCB, not Xlib, because Xlib's error
// handler is process-wide and belongs to the host: an X error on a window
// the host destroyed must never reach it. Loading the library on demand
// keeps the module loadable where there is no X at all (render machines,
// plug-in scanners).
#pragma once

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace tavik {

struct XcbLibrary
{
	decltype (&xcb_connect) connect;
	decltype (&xcb_disconnect) disconnect;
	decltype (&xcb_connection_has_error) connectionHasError;
	decltype (&xcb_get_setup) getSetup;
	decltype (&xcb_setup_roots_iterator) setupRootsIterator;
	decltype (&xcb_screen_next) screenNext;
	decltype (&xcb_screen_allowed_depths_iterator) screenAllowedDepthsIterator;
	decltype (&xcb_depth_next) depthNext;
	decltype (&xcb_depth_visuals_iterator) depthVisualsIterator;
	decltype (&xcb_visualtype_next) visualtypeNext;
	decltype (&xcb_get_file_descriptor) getFileDescriptor;
	decltype (&xcb_flush) flush;
	decltype (&xcb_generate_id) generateId;
	decltype (&xcb_poll_for_event) pollForEvent;
	decltype (&xcb_poll_for_reply) pollForReply;
	decltype (&xcb_discard_reply) discardReply;
	decltype (&xcb_get_input_focus) getInputFocus;
	decltype (&xcb_get_geometry) getGeometry;
	decltype (&xcb_query_tree) queryTree;
	decltype (&xcb_unmap_window) unmapWindow;
	decltype (&xcb_reparent_window) reparentWindow;
	decltype (&xcb_create_window) createWindow;
	decltype (&xcb_configure_window) configureWindow;
	decltype (&xcb_map_window) mapWindow;
	decltype (&xcb_destroy_window) destroyWindow;
	decltype (&xcb_create_pixmap) createPixmap;
	decltype (&xcb_free_pixmap) freePixmap;
	decltype (&xcb_create_gc) createGc;
	decltype (&xcb_free_gc) freeGc;
	decltype (&xcb_poly_fill_rectangle) polyFillRectangle;
	decltype (&xcb_image_text_8) imageText8;
	decltype (&xcb_open_font) openFont;
	decltype (&xcb_close_font) closeFont;
	decltype (&xcb_query_font) queryFont;
};

/** libxcb's entry points, or null when it cannot be loaded. Loaded once
 *  and kept for the life of the process (main thread). */
const XcbLibrary* xcbLibrary ();

} // namespace tavik
