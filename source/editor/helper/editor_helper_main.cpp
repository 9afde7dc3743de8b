// zorv-editor: shows the editor page for a plug-in in the host's window.
// Started by the plug-in with the host's X11 window id and one end of a
// socket; it embeds a GtkPlug with a WebKitGTK view into that window and
// relays newline-delimited JSON between the page and the plug-in. It leaves
// when the socket ends, when the host's window goes and when the plug-in's
// process dies.

#include "editor_protocol.h"
#include "line_channel.h"
#include "page_bridge.h"
#include "ui_resource.h"
#include "ui_scheme.h"

#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <gtk/gtkx.h>
#include <webkit2/webkit2.h>

#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace tavik;

// How long a parked helper waits for the next embed when the plug-in
// does not say.
constexpr double DEFAULT_KEEP_SECONDS = 32;

struct Options
{
	int socket = -1;
	unsigned long parent = 0;
	long parentPid = 0;
	int width = 720;
	int height = 560;
	std::string uiRoot;
};

bool parseOptions (int argc, char** argv, Options& options)
{
	for (int i = 1; i + 1 < argc; i += 2)
	{
		const std::string name = argv[i];
		const char* value = argv[i + 1];
		char* end = nullptr;
		errno = 0;
		if (name == "--socket")
			options.socket = static_cast<int> (std::strtol (value, &end, 10));
		else if (name == "--parent")
			options.parent = std::strtoul (value, &end, 0);
		else if (name == "--parent-pid")
			options.parentPid = std::strtol (value, &end, 10);
		else if (name == "--size")
		{
			if (std::sscanf (value, "%dx%d", &options.width, &options.height) != 2)
				return false;
			continue;
		}
		else if (name == "--ui-root")
		{
			options.uiRoot = value;
			continue;
		}
		else
			return false;
		if (errno != 0 || !end || *end)
			return false;
	}
	return options.socket >= 0 && options.parent != 0 && !options.uiRoot.empty () && options.width > 0 &&
	       options.height > 0;
}

// A record of what crosses the socket, for whoever debugs an editor (and for
// the editor tests): ZORV_EDITOR_TRACE names a file that gets one line per
// event, "<monotonic seconds> <direction> <text>".
class Trace
{
public:
	Trace ()
	{
		const char* path = std::getenv ("ZORV_EDITOR_TRACE");
		if (path && *path)
			file = std::fopen (path, "a");
	}
	~Trace ()
	{
		if (file)
			std::fclose (file);
	}
	void write (const char* direction, const std::string& text)
	{
		if (!file)
			return;
		timespec now {};
		clock_gettime (CLOCK_MONOTONIC, &now);
		std::fprintf (file, "%ld.%06ld %s %s\n", static_cast<long> (now.tv_sec), now.tv_nsec / 1000, direction,
		              text.c_str ());
		std::fflush (file);
	}

private:
	std::FILE* file = nullptr;
};

struct Editor
{
	Options options;
	Trace trace;
	std::unique_ptr<LineChannel> channel;
	std::unique_ptr<PageBridge> bridge;
	GtkWidget* plug = nullptr;
	WebKitWebView* view = nullptr;
	GdkWindow* parent = nullptr;
	guint outputWatch = 0;
	guint keepTimer = 0;
	bool quitting = false;
	bool parked = false;

	void quit ()
	{
		if (quitting)
			return;
		if (!gtk_main_level ())
			_exit (0);
		quitting = true;
		gtk_main_quit ();
	}

	void parentGone ()
	{
		if (quitting || parked)
			return;
		// The plug-in takes this window out of the host's before it lets
		// the host destroy its own; "park" follows on the socket.
		if (plugOutside ())
		{
			trace.write ("event", "parent window destroyed after the plug-in took the editor out");
			return;
		}
		trace.write ("event", "parent window destroyed");
		quit ();
	}

	// Whether the plug's window still exists outside the host's window.
	bool plugOutside ()
	{
		GdkWindow* own = plug ? gtk_widget_get_window (plug) : nullptr;
		if (!own)
			return false;
		GdkDisplay* display = gdk_window_get_display (own);
		gdk_x11_display_error_trap_push (display);
		Window root = 0, above = 0;
		Window* children = nullptr;
		unsigned count = 0;
		const Status found =
			XQueryTree (GDK_WINDOW_XDISPLAY (own), GDK_WINDOW_XID (own), &root, &above, &children, &count);
		if (children)
			XFree (children);
		return gdk_x11_display_error_trap_pop (display) == 0 && found != 0 && above != options.parent;
	}

	unsigned long plugWindow () const
	{
		GdkWindow* own = plug ? gtk_widget_get_window (plug) : nullptr;
		return own ? GDK_WINDOW_XID (own) : 0;
	}

	void send (const std::string& line)
	{
		trace.write ("out", line);
		channel->send (line);
		watchOutput ();
	}

	void watchOutput ()
	{
		if (outputWatch || !channel->pending ())
			return;
		outputWatch = g_unix_fd_add (channel->fd (), G_IO_OUT, &Editor::writable, this);
	}

	static gboolean writable (gint, GIOCondition, gpointer self)
	{
		auto* editor = static_cast<Editor*> (self);
		if (editor->channel->flush () && !editor->channel->ended ())
			return G_SOURCE_CONTINUE;
		editor->outputWatch = 0;
		return G_SOURCE_REMOVE;
	}

	void resize (int width, int height)
	{
		if (width <= 0 || height <= 0 || !plug)
			return;
		trace.write ("event", "size " + std::to_string (width) + "x" + std::to_string (height));
		gtk_window_resize (GTK_WINDOW (plug), width, height);
		// Outside a GTK socket nobody sizes a plug but the plug itself.
		if (GdkWindow* own = gtk_widget_get_window (plug))
		{
			Display* x = GDK_WINDOW_XDISPLAY (own);
			XMoveResizeWindow (x, GDK_WINDOW_XID (own), 0, 0, static_cast<unsigned> (width),
			                   static_cast<unsigned> (height));
			XFlush (x);
		}
	}

	static gboolean readable (gint, GIOCondition, gpointer self)
	{
		auto* editor = static_cast<Editor*> (self);
		std::vector<std::string> lines;
		editor->channel->receive ([&lines] (const std::string& line) { lines.push_back (line); });
		// An ended socket means the plug-in is done: what came before the
		// end (an embed, say) is not carried out.
		if (editor->channel->ended ())
		{
			editor->trace.write ("event", "socket ended");
			editor->quit ();
			return G_SOURCE_REMOVE;
		}
		for (const std::string& line : lines)
			editor->fromPlugin (line);
		return G_SOURCE_CONTINUE;
	}

	// Watches the host's window: its size and its end.
	void watchParent (unsigned long xid)
	{
		GdkDisplay* display = gdk_display_get_default ();
		parent = gdk_x11_window_foreign_new_for_display (display, xid);
		if (!parent)
			return;
		gdk_window_set_events (parent, static_cast<GdkEventMask> (gdk_window_get_events (parent) | GDK_STRUCTURE_MASK));
		gdk_window_add_filter (parent, &Editor::parentEvent, this);
	}

	void unwatchParent ()
	{
		if (!parent)
			return;
		gdk_window_remove_filter (parent, &Editor::parentEvent, this);
		g_object_unref (parent);
		parent = nullptr;
	}

	// The view closed but the plug-in keeps this helper for a quick reopen:
	// leave the host's window before the host destroys it, and drop the
	// page (its timers, its memory) until the next embed.
	// The plug-in has usually taken the window out already (it must be out
	// before the host destroys its own); doing it again is harmless. The
	// helper then waits `keepSeconds` for the next embed and leaves by
	// itself, so it never outlives a plug-in that can no longer end it.
	void park (double keepSeconds)
	{
		GdkWindow* own = gtk_widget_get_window (plug);
		Display* x = GDK_WINDOW_XDISPLAY (own);
		parked = true;
		unwatchParent ();
		XUnmapWindow (x, GDK_WINDOW_XID (own));
		XReparentWindow (x, GDK_WINDOW_XID (own), DefaultRootWindow (x), 0, 0);
		XSync (x, False);
		replaceView ();
		stopKeepTimer ();
		const double seconds = keepSeconds > 0 ? keepSeconds : DEFAULT_KEEP_SECONDS;
		keepTimer = g_timeout_add (static_cast<guint> (seconds * 1000), &Editor::keptTooLong, this);
		trace.write ("event", "parked");
		send (editorParkedLine ());
	}

	static gboolean keptTooLong (gpointer self)
	{
		auto* editor = static_cast<Editor*> (self);
		editor->keepTimer = 0;
		editor->trace.write ("event", "kept too long; leaving");
		editor->quit ();
		return G_SOURCE_REMOVE;
	}

	void stopKeepTimer ()
	{
		if (keepTimer)
			g_source_remove (keepTimer);
		keepTimer = 0;
	}

	void embed (const EditorControl& control)
	{
		GdkDisplay* display = gdk_display_get_default ();
		if (!parked || control.parent == 0 || !windowExists (display, control.parent))
		{
			send (editorErrorLine ("the host's window does not exist"));
			return;
		}
		GdkWindow* own = gtk_widget_get_window (plug);
		Display* x = GDK_WINDOW_XDISPLAY (own);
		options.parent = control.parent;
		watchParent (control.parent);
		XReparentWindow (x, GDK_WINDOW_XID (own), control.parent, 0, 0);
		XMapWindow (x, GDK_WINDOW_XID (own));
		XSync (x, False);
		parked = false;
		stopKeepTimer ();
		resize (control.width, control.height);
		webkit_web_view_load_uri (view, uiStartUrl (options.uiRoot).c_str ());
		trace.write ("event", "started");
		send (editorStartedLine (plugWindow ()));
	}

	// The next page gets a web view of its own. It is made now, while the
	// old one still holds the web process (a related view shares it), and
	// the old one goes with everything the page left in it.
	void replaceView ()
	{
		WebKitWebView* next = WEBKIT_WEB_VIEW (webkit_web_view_new_with_related_view (view));
		connectView (next);
		gtk_container_remove (GTK_CONTAINER (plug), GTK_WIDGET (view));
		view = next;
		gtk_container_add (GTK_CONTAINER (plug), GTK_WIDGET (view));
		gtk_widget_show (GTK_WIDGET (view));
		webkit_web_view_load_uri (view, "about:blank");
	}

	void connectView (WebKitWebView* which)
	{
		g_signal_connect (which, "web-process-terminated", G_CALLBACK (&Editor::webProcessEnded), this);
		g_signal_connect (which, "load-failed", G_CALLBACK (&Editor::loadFailed), this);
		g_signal_connect (which, "load-changed", G_CALLBACK (&Editor::loadChanged), this);
	}

	// For the trace: where a page load spends its time.
	static void loadChanged (WebKitWebView* which, WebKitLoadEvent event, gpointer self)
	{
		static const char* const names[] = {"started", "redirected", "committed", "finished"};
		const char* uri = webkit_web_view_get_uri (which);
		static_cast<Editor*> (self)->trace.write ("event", std::string ("load ") +
		                                                       (event <= WEBKIT_LOAD_FINISHED ? names[event] : "?") +
		                                                       " " + (uri ? uri : ""));
	}

	static bool windowExists (GdkDisplay* display, unsigned long window)
	{
		Display* x = GDK_DISPLAY_XDISPLAY (display);
		gdk_x11_display_error_trap_push (display);
		XWindowAttributes attributes {};
		const Status found = XGetWindowAttributes (x, window, &attributes);
		return gdk_x11_display_error_trap_pop (display) == 0 && found != 0;
	}

	void fromPlugin (const std::string& line)
	{
		const EditorControl control = parseEditorControl (line);
		if (control.kind == EditorControl::Kind::Size)
		{
			resize (control.width, control.height);
			return;
		}
		if (control.kind == EditorControl::Kind::Park)
		{
			if (!parked)
				park (control.seconds);
			return;
		}
		if (control.kind == EditorControl::Kind::Embed)
		{
			embed (control);
			return;
		}
		if (control.kind != EditorControl::Kind::PageMessage || parked)
			return;
		trace.write ("in", line);
		if (!bridge->deliver (view, line))
			trace.write ("event", "refused a line that is not one JSON value");
	}

	// The host's window: follow its size, leave when it goes.
	static GdkFilterReturn parentEvent (GdkXEvent* native, GdkEvent*, gpointer self)
	{
		auto* editor = static_cast<Editor*> (self);
		const XEvent* event = static_cast<const XEvent*> (native);
		if (event->type == ConfigureNotify && event->xconfigure.window == editor->options.parent)
			editor->resize (event->xconfigure.width, event->xconfigure.height);
		else if (event->type == DestroyNotify && event->xdestroywindow.window == editor->options.parent)
		{
			// A host that made a new connection for its next window may get
			// the old window's id again: this may be the end of the window
			// this helper was in before, not of the one it is in now.
			if (windowExists (gdk_window_get_display (editor->parent), editor->options.parent))
				editor->trace.write ("event", "an earlier window of the same id was destroyed");
			else
				editor->parentGone ();
		}
		return GDK_FILTER_CONTINUE;
	}

	static void webProcessEnded (WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer self)
	{
		auto* editor = static_cast<Editor*> (self);
		editor->send (editorErrorLine (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT
		                                   ? "the editor page ran out of memory"
		                                   : "the editor page's web process ended"));
	}

	static gboolean loadFailed (WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self)
	{
		auto* editor = static_cast<Editor*> (self);
		// A load replaced by the next one (the blank page of a parked
		// helper by the editor page) is no failure.
		if (editor->parked || (error && g_error_matches (error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)))
			return FALSE;
		editor->send (editorErrorLine (std::string ("the editor page did not load (") + (uri ? uri : "") +
		                               "): " + (error ? error->message : "unknown error")));
		return FALSE;
	}
};

// Whether the plug-in has closed its end of the socket (nothing is read).
bool socketEnded (int socket)
{
	pollfd watch {socket, POLLIN, 0};
	if (::poll (&watch, 1, 0) <= 0)
		return false;
	if (watch.revents & (POLLHUP | POLLERR))
		return true;
	char byte = 0;
	return ::recv (socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

// Reports why the editor cannot be shown and ends the helper.
[[noreturn]] void fail (Editor& editor, const std::string& reason)
{
	if (editor.channel)
	{
		editor.channel->send (editorErrorLine (reason));
		editor.channel->flush ();
	}
	std::fprintf (stderr, "zorv-editor: %s\n", reason.c_str ());
	_exit (1);
}

// WebKit's sandbox runs its processes under bubblewrap, in namespaces some
// systems forbid (restricted unprivileged user namespaces, some
// containers). There the web process could never start and the editor
// would stay blank; it then runs without the sandbox and says so. A probe
// of the same kind costs a few milliseconds.
bool sandboxUsable ()
{
	gchar* argv[] = {const_cast<gchar*> ("bwrap"),
	                 const_cast<gchar*> ("--unshare-all"),
	                 const_cast<gchar*> ("--die-with-parent"),
	                 const_cast<gchar*> ("--ro-bind"),
	                 const_cast<gchar*> ("/"),
	                 const_cast<gchar*> ("/"),
	                 const_cast<gchar*> ("true"),
	                 nullptr};
	gint status = 0;
	if (!g_spawn_sync (
			nullptr, argv, nullptr,
			static_cast<GSpawnFlags> (G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
			nullptr, nullptr, nullptr, nullptr, &status, nullptr))
		return false;
	return g_spawn_check_wait_status (status, nullptr);
}

WebKitWebView* createWebView (const Options& options, WebKitUserContentManager* content)
{
	// Nothing the page does is kept: no cookies, caches or storage on disk.
	WebKitWebContext* context = webkit_web_context_new_ephemeral ();
	if (!context)
		return nullptr;
	const bool sandbox = sandboxUsable ();
	if (!sandbox)
		std::fputs ("zorv-editor: WebKit's sandbox cannot run on this system (bubblewrap or user namespaces are "
		            "unavailable); showing the editor without it\n",
		            stderr);
	webkit_web_context_set_sandbox_enabled (context, sandbox);
	webkit_web_context_set_cache_model (context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
	registerUiScheme (context, options.uiRoot);

	WebKitSettings* settings = webkit_settings_new ();
	// Hosts run on every kind of graphics stack; software drawing works on
	// all of them and an editor page needs no more.
	webkit_settings_set_hardware_acceleration_policy (settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
	webkit_settings_set_enable_developer_extras (settings, std::getenv ("ZORV_EDITOR_INSPECTOR") != nullptr);
	webkit_settings_set_enable_write_console_messages_to_stdout (settings,
	                                                             std::getenv ("ZORV_EDITOR_CONSOLE") != nullptr);
	webkit_settings_set_enable_back_forward_navigation_gestures (settings, FALSE);
	// The page plays no media, draws no 3D and never navigates back: leave
	// out what would only cost memory. Without a page cache, the page left
	// behind when a kept helper is parked is freed, not kept.
	webkit_settings_set_enable_page_cache (settings, FALSE);
	webkit_settings_set_enable_webgl (settings, FALSE);
	webkit_settings_set_enable_webaudio (settings, FALSE);
	webkit_settings_set_enable_media (settings, FALSE);
	webkit_settings_set_enable_mediasource (settings, FALSE);
	webkit_settings_set_enable_media_stream (settings, FALSE);
	webkit_settings_set_enable_encrypted_media (settings, FALSE);

	GObject* created = static_cast<GObject*> (g_object_new (
		WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", content, "settings", settings, nullptr));
	g_object_unref (settings);
	g_object_unref (context);
	return created ? WEBKIT_WEB_VIEW (created) : nullptr;
}

} // namespace

int main (int argc, char** argv)
{
	Editor editor;
	if (!parseOptions (argc, argv, editor.options))
	{
		std::fputs ("usage: zorv-editor --socket FD --parent XID --parent-pid PID --size WxH --ui-root DIR\n"
		            "Started by the Zorv plug-in to show its editor; not meant to be run by hand.\n",
		            stderr);
		return 2;
	}
	// The socket must not reach WebKit's own child processes.
	editor.channel = std::make_unique<LineChannel> (editor.options.socket);

	// Leave with the plug-in's process, even if it never says goodbye.
	::prctl (PR_SET_PDEATHSIG, SIGTERM);
	if (editor.options.parentPid > 0 && ::getppid () != editor.options.parentPid)
		return 0;

	// The host's window is an X11 window: only GDK's X11 backend can embed.
	gdk_set_allowed_backends ("x11");
	if (!gtk_init_check (nullptr, nullptr))
	{
		const char* display = std::getenv ("DISPLAY");
		fail (editor, std::string ("cannot open the X display ") + (display ? display : "(DISPLAY is not set)"));
	}
	GdkDisplay* display = gdk_display_get_default ();
	if (!display || !GDK_IS_X11_DISPLAY (display))
		fail (editor, "the editor needs an X11 display");
	if (!Editor::windowExists (display, editor.options.parent))
		fail (editor, "the host's window does not exist");

	editor.trace.write ("event", "display open");
	WebKitUserContentManager* content = webkit_user_content_manager_new ();
	editor.bridge = std::make_unique<PageBridge> (content, [&editor] (const std::string& text) {
		if (editor.parked)
			return;
		editor.trace.write ("page", text);
		editor.send (text);
	});
	editor.view = createWebView (editor.options, content);
	g_object_unref (content);
	if (!editor.view)
		fail (editor, "webview allocation failed");
	editor.trace.write ("event", "web view created");
	// The page loads (its web process starts) while the window is embedded.
	webkit_web_view_load_uri (editor.view, uiStartUrl (editor.options.uiRoot).c_str ());
	editor.connectView (editor.view);

	// A view removed while this helper was starting has closed the socket:
	// then the host's window is no longer the editor's to fill.
	if (socketEnded (editor.options.socket))
		_exit (0);
	editor.plug = gtk_plug_new (static_cast<Window> (editor.options.parent));
	if (!editor.plug)
		fail (editor, "cannot embed into the host's window");
	gtk_window_set_default_size (GTK_WINDOW (editor.plug), editor.options.width, editor.options.height);
	gtk_container_add (GTK_CONTAINER (editor.plug), GTK_WIDGET (editor.view));
	// The plug is a child of the host's window: it is destroyed from outside
	// only when that window goes (children go first, so this comes before
	// the parent's own DestroyNotify).
	g_signal_connect_swapped (editor.plug, "destroy", G_CALLBACK (+[] (Editor* e) { e->parentGone (); }), &editor);

	editor.watchParent (editor.options.parent);
	if (!editor.parent)
		fail (editor, "the host's window does not exist");
	// Taken out of the host's window to be kept, the plug is told it lost
	// its embedder and asked to close: it stays for the next embed.
	g_signal_connect (editor.plug, "delete-event",
	                  G_CALLBACK (+[] (GtkWidget*, GdkEvent*, gpointer) -> gboolean { return TRUE; }), nullptr);

	// From here on the host may destroy its window at any moment, and every
	// later request on the plug (a child of that window) then fails. That is
	// the host closing the editor, not a fault: a trap that is never popped
	// keeps GDK from ending the helper over it, and the parent's
	// DestroyNotify (or the plug's own destruction) ends it properly.
	gdk_x11_display_error_trap_push (display);

	gtk_widget_show_all (editor.plug);
	// Hosts do not speak the embedding protocol, so nobody else maps us.
	gdk_window_show (gtk_widget_get_window (editor.plug));
	editor.resize (editor.options.width, editor.options.height);

	g_unix_fd_add (editor.channel->fd (), static_cast<GIOCondition> (G_IO_IN | G_IO_HUP | G_IO_ERR), &Editor::readable,
	               &editor);
	editor.trace.write ("event", "started");
	editor.send (editorStartedLine (editor.plugWindow ()));

	gtk_main ();
	editor.trace.write ("event", "leaving");
	// Nothing to save: the web context is ephemeral. WebKit's processes see
	// this one go and follow.
	std::fflush (nullptr);
	_exit (0);
}
