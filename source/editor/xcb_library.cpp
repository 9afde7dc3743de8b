#include "xcb_library.h"

#include <dlfcn.h>

namespace tavik {

namespace {

template <typename Function>
bool find (void* library, const char* name, Function& function)
{
	function = reinterpret_cast<Function> (::dlsym (library, name));
	return function != nullptr;
}

bool load (XcbLibrary& x)
{
	// Kept loaded: the host may well use the same library itself.
	void* library = ::dlopen ("libxcb.so.1", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
	if (!library)
		return false;
	return find (library, "xcb_connect", x.connect) && find (library, "xcb_disconnect", x.disconnect) &&
	       find (library, "xcb_connection_has_error", x.connectionHasError) &&
	       find (library, "xcb_get_setup", x.getSetup) &&
	       find (library, "xcb_setup_roots_iterator", x.setupRootsIterator) &&
	       find (library, "xcb_screen_next", x.screenNext) &&
	       find (library, "xcb_screen_allowed_depths_iterator", x.screenAllowedDepthsIterator) &&
	       find (library, "xcb_depth_next", x.depthNext) &&
	       find (library, "xcb_depth_visuals_iterator", x.depthVisualsIterator) &&
	       find (library, "xcb_visualtype_next", x.visualtypeNext) &&
	       find (library, "xcb_get_file_descriptor", x.getFileDescriptor) && find (library, "xcb_flush", x.flush) &&
	       find (library, "xcb_generate_id", x.generateId) && find (library, "xcb_poll_for_event", x.pollForEvent) &&
	       find (library, "xcb_poll_for_reply", x.pollForReply) &&
	       find (library, "xcb_discard_reply", x.discardReply) &&
	       find (library, "xcb_get_input_focus", x.getInputFocus) &&
	       find (library, "xcb_get_geometry", x.getGeometry) && find (library, "xcb_query_tree", x.queryTree) &&
	       find (library, "xcb_unmap_window", x.unmapWindow) &&
	       find (library, "xcb_reparent_window", x.reparentWindow) &&
	       find (library, "xcb_create_window", x.createWindow) &&
	       find (library, "xcb_configure_window", x.configureWindow) && find (library, "xcb_map_window", x.mapWindow) &&
	       find (library, "xcb_destroy_window", x.destroyWindow) &&
	       find (library, "xcb_create_pixmap", x.createPixmap) && find (library, "xcb_free_pixmap", x.freePixmap) &&
	       find (library, "xcb_create_gc", x.createGc) && find (library, "xcb_free_gc", x.freeGc) &&
	       find (library, "xcb_poly_fill_rectangle", x.polyFillRectangle) &&
	       find (library, "xcb_image_text_8", x.imageText8) && find (library, "xcb_open_font", x.openFont) &&
	       find (library, "xcb_close_font", x.closeFont) && find (library, "xcb_query_font", x.queryFont);
}

} // namespace

const XcbLibrary* xcbLibrary ()
{
	static XcbLibrary x {};
	static const bool loaded = load (x);
	return loaded ? &x : nullptr;
}

} // namespace tavik
