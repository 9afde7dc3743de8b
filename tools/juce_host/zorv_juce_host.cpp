// zorv-juce-host: opens a VST 3 plug-in's editor in a host built on a
// second framework (Debian's JUCE modules), with that framework's own
// window, run loop and plug-in view hosting, and walks it through what a
// musician does: open, resize, close, reopen, close. It takes screenshots
// of the host's window, reports how long each host call took, the longest
// gap of a 10 ms timer on the host's message thread, and the editor
// helpers it sees. Run it under an X display (xvfb-run):
//
//   zorv-juce-host Zorv.vst3 OUTPUT_FOLDER

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double nowMs () { return juce::Time::getMillisecondCounterHiRes (); }

// The host's own 10 ms timer on its message thread.
class GapProbe : public juce::Timer
{
public:
	void timerCallback () override
	{
		const double now = nowMs ();
		if (last > 0)
			longest = std::max (longest, now - last);
		last = now;
	}
	void reset ()
	{
		last = 0;
		longest = 0;
	}
	double longest = 0;

private:
	double last = 0;
};

std::vector<int> helperProcesses ()
{
	std::vector<int> found;
	DIR* proc = opendir ("/proc");
	if (!proc)
		return found;
	while (dirent* entry = readdir (proc))
	{
		const int pid = std::atoi (entry->d_name);
		if (pid <= 0)
			continue;
		std::ifstream comm ("/proc/" + std::to_string (pid) + "/comm");
		std::string name;
		std::getline (comm, name);
		std::ifstream stat ("/proc/" + std::to_string (pid) + "/stat");
		std::string text ((std::istreambuf_iterator<char> (stat)), std::istreambuf_iterator<char> ());
		const size_t close = text.rfind (')');
		char state = close != std::string::npos && close + 2 < text.size () ? text[close + 2] : '?';
		// This host's own helpers only (other programs may run editors too).
		long parentPid = 0;
		if (close != std::string::npos)
			std::sscanf (text.c_str () + close + 2, "%*c %ld", &parentPid);
		if (name == "zorv-editor" && state != 'Z' && parentPid == ::getpid ())
			found.push_back (pid);
	}
	closedir (proc);
	return found;
}

std::string describe (const std::vector<int>& pids)
{
	std::ostringstream text;
	text << pids.size () << " helper(s)";
	for (int pid : pids)
		text << " " << pid;
	return text.str ();
}

// The X windows below `window`, with their sizes ("child 720x560 mapped").
void listWindows (Display* x, Window window, int depth, std::ostringstream& out)
{
	Window root = 0, parent = 0;
	Window* children = nullptr;
	unsigned count = 0;
	if (!XQueryTree (x, window, &root, &parent, &children, &count))
		return;
	for (unsigned i = 0; i < count; ++i)
	{
		XWindowAttributes a {};
		if (XGetWindowAttributes (x, children[i], &a))
			out << std::string (static_cast<size_t> (depth) * 2, ' ') << "0x" << std::hex << children[i] << std::dec
				<< " " << a.width << "x" << a.height << "+" << a.x << "+" << a.y << " depth " << a.depth
				<< (a.map_state == IsViewable ? " mapped" : " unmapped") << "\n";
		if (depth < 3)
			listWindows (x, children[i], depth + 1, out);
	}
	if (children)
		XFree (children);
}

int ignoreErrors (Display*, XErrorEvent*) { return 0; }

class EditorWindow : public juce::DocumentWindow
{
public:
	explicit EditorWindow (juce::AudioProcessorEditor* editor)
		: DocumentWindow ("Zorv in a JUCE host", juce::Colours::darkgrey, 0)
	{
		setUsingNativeTitleBar (false);
		setContentOwned (editor, true);
		setResizable (true, false);
		setTopLeftPosition (0, 0);
		setVisible (true);
	}
	void closeButtonPressed () override {}
};

class HostApplication : public juce::JUCEApplication, private juce::Timer
{
public:
	const juce::String getApplicationName () override { return "zorv-juce-host"; }
	const juce::String getApplicationVersion () override { return "1"; }

	void initialise (const juce::String&) override
	{
		const juce::StringArray arguments = getCommandLineParameterArray ();
		if (arguments.size () < 2)
		{
			std::cerr << "usage: zorv-juce-host PLUGIN.vst3 OUTPUT_FOLDER\n";
			setApplicationReturnValue (2);
			quit ();
			return;
		}
		output = juce::File (arguments[1]);
		output.createDirectory ();
		x = XOpenDisplay (nullptr);
		// The pointer out of the way: a page tooltip is a window of its own
		// above the host's, and a picture of the host's window would show
		// an undefined (black) box where it lies.
		if (x)
		{
			XWarpPointer (x, None, DefaultRootWindow (x), 0, 0, 0, 0, DisplayWidth (x, DefaultScreen (x)) - 1,
			              DisplayHeight (x, DefaultScreen (x)) - 1);
			XSync (x, False);
		}

		juce::VST3PluginFormat format;
		juce::OwnedArray<juce::PluginDescription> types;
		format.findAllTypesForFile (types, arguments[0]);
		if (types.isEmpty ())
			return fail ("no VST 3 class in " + arguments[0].toStdString ());
		std::cout << "plug-in: " << types[0]->name << " by " << types[0]->manufacturerName << "\n";
		juce::String error;
		plugin = format.createInstanceFromDescription (*types[0], 48000.0, 512, error);
		if (!plugin)
			return fail ("cannot create the plug-in: " + error.toStdString ());
		plugin->prepareToPlay (48000.0, 512);

		probe.startTimer (10);
		steps = {
			[this] { open ("open (new helper)"); },
			[this] { shoot ("juce-open"); },
			[this] { resize (1000, 700); },
			[this] { shoot ("juce-resized-1000x700"); },
			[this] { resize (480, 360); },
			[this] { shoot ("juce-resized-480x360"); },
			[this] { close ("close"); },
			[this] { report ("after close"); },
			[this] { open ("reopen (kept helper)"); },
			[this] { shoot ("juce-reopened"); },
			[this] { close ("close again"); },
			[this] { finish (); },
		};
		startTimer (100);
	}

	void shutdown () override
	{
		window = nullptr;
		plugin = nullptr;
		if (x)
			XCloseDisplay (x);
	}

private:
	void fail (const std::string& why)
	{
		std::cerr << "zorv-juce-host: " << why << "\n";
		setApplicationReturnValue (1);
		quit ();
	}

	// One step a turn, each after the previous one had time to show.
	void timerCallback () override
	{
		stopTimer ();
		if (next >= steps.size ())
			return;
		steps[next++]();
		if (next < steps.size ())
			startTimer (2500);
	}

	void open (const char* what)
	{
		probe.reset ();
		const double start = nowMs ();
		juce::AudioProcessorEditor* editor = plugin->createEditorIfNeeded ();
		if (!editor)
			return fail ("the plug-in made no editor");
		window = std::make_unique<EditorWindow> (editor);
		std::cout << what << ": creating and showing the editor took " << nowMs () - start << " ms; editor "
				  << editor->getWidth () << "x" << editor->getHeight () << "\n";
		phase = what;
	}

	void resize (int width, int height)
	{
		reportGap ();
		probe.reset ();
		const double start = nowMs ();
		if (window)
			window->setContentComponentSize (width, height);
		auto* editor = window ? window->getContentComponent () : nullptr;
		std::cout << "resize to " << width << "x" << height << " took " << nowMs () - start << " ms; editor now "
				  << (editor ? editor->getWidth () : 0) << "x" << (editor ? editor->getHeight () : 0) << "\n";
		phase = "resize";
	}

	void close (const char* what)
	{
		reportGap ();
		probe.reset ();
		const double start = nowMs ();
		window = nullptr; // deletes the editor: the plug-in view is removed
		std::cout << what << ": closing took " << nowMs () - start << " ms\n";
		phase = what;
	}

	void reportGap ()
	{
		if (phase.empty ())
			return;
		std::cout << "  longest message-thread gap during " << phase << ": " << probe.longest << " ms; "
				  << describe (helperProcesses ()) << "\n";
		phase.clear ();
	}

	void report (const char* when)
	{
		reportGap ();
		std::cout << when << ": " << describe (helperProcesses ()) << "\n";
	}

	void shoot (const std::string& name)
	{
		reportGap ();
		if (!x || !window || !window->getPeer ())
			return;
		const auto xid = static_cast<Window> (reinterpret_cast<uintptr_t> (window->getPeer ()->getNativeHandle ()));
		XSync (x, False);
		XErrorHandler previous = XSetErrorHandler (&ignoreErrors);
		std::ostringstream tree;
		listWindows (x, xid, 0, tree);
		XWindowAttributes a {};
		XImage* shot = XGetWindowAttributes (x, xid, &a)
		                   ? XGetImage (x, xid, 0, 0, static_cast<unsigned> (a.width), static_cast<unsigned> (a.height),
		                                AllPlanes, ZPixmap)
		                   : nullptr;
		XSync (x, False);
		XSetErrorHandler (previous);
		std::cout << name << ": window " << a.width << "x" << a.height << " depth " << a.depth << ", "
				  << describe (helperProcesses ()) << ", windows below it:\n"
				  << tree.str ();
		if (!shot)
			return;
		juce::Image image (juce::Image::RGB, a.width, a.height, false);
		for (int py = 0; py < a.height; ++py)
			for (int px = 0; px < a.width; ++px)
			{
				const unsigned long pixel = XGetPixel (shot, px, py);
				image.setPixelAt (px, py,
				                  juce::Colour (static_cast<juce::uint8> ((pixel & shot->red_mask) >> 16),
				                                static_cast<juce::uint8> ((pixel & shot->green_mask) >> 8),
				                                static_cast<juce::uint8> (pixel & shot->blue_mask)));
			}
		XDestroyImage (shot);
		const juce::File file = output.getChildFile (name + ".png");
		file.deleteFile ();
		juce::FileOutputStream stream (file);
		juce::PNGImageFormat png;
		if (stream.openedOk () && png.writeImageToStream (image, stream))
			std::cout << "  wrote " << file.getFullPathName () << "\n";
		// Taking the picture is the host's own work, not the editor's.
		probe.reset ();
	}

	void finish ()
	{
		report ("at the end");
		plugin = nullptr;
		std::cout << "plug-in released: " << describe (helperProcesses ()) << "\n";
		quit ();
	}

	juce::File output;
	Display* x = nullptr;
	std::unique_ptr<juce::AudioPluginInstance> plugin;
	std::unique_ptr<EditorWindow> window;
	GapProbe probe;
	std::vector<std::function<void ()>> steps;
	size_t next = 0;
	std::string phase;
};

} // namespace

START_JUCE_APPLICATION (HostApplication)
