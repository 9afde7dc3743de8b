// A plain-Xlib host for plug-in editors, as the editor tests and the editor
// benchmark need one: a top-level X window, a run loop that serves the
// plug-in's sockets and timers on this thread (the host's main thread),
// screenshots, and a look at the processes an editor starts.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/gui/iplugview.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavik::tools {

/** 8-bit RGB pixels, row after row. */
struct RgbImage
{
	int width = 0;
	int height = 0;
	std::vector<uint8_t> pixels;

	/** How many distinct colours the image holds (a blank window has one). */
	size_t distinctColours () const;
	/** The same for one rectangle of it. */
	size_t distinctColours (int left, int top, int right, int bottom) const;
	/** How many pixels of a rectangle have exactly this colour. */
	size_t countColour (int left, int top, int right, int bottom, uint8_t r, uint8_t g, uint8_t b) const;
};

/** Writes `image` as a PNG file; false when it cannot be written. */
bool writePng (const std::string& path, const RgbImage& image);

class HostWindow
{
public:
	/** Opens the display named by DISPLAY and maps a window of that size;
	 *  throws std::runtime_error without a display. */
	HostWindow (int width, int height, const char* title);
	~HostWindow ();
	HostWindow (const HostWindow&) = delete;
	HostWindow& operator= (const HostWindow&) = delete;

	Display* display () const { return x; }
	Window window () const { return win; }
	void resize (int width, int height);
	/** Destroys the window (the editor's parent goes away). */
	void destroy ();
	RgbImage capture () const;
	/** The window's children and their sizes. */
	struct Child
	{
		Window id;
		int width;
		int height;
		bool mapped;
	};
	std::vector<Child> children () const;
	/** Presses the first mouse button at (x0, y0) of the window, moves to
	 *  (x1, y1) in small steps and releases, as a player's drag does
	 *  (through the XTest extension). False without it. */
	bool drag (int x0, int y0, int x1, int y1);
	/** Handles every queued X event. */
	void drain ();

private:
	std::vector<Child> childrenNow () const;

	Display* x = nullptr;
	Window win = 0;
};

/** The host's run loop and plug frame: every handler and timer the plug-in
 *  registers runs inside run(). */
class HostRunLoop : public Steinberg::Linux::IRunLoop, public Steinberg::IPlugFrame
{
public:
	explicit HostRunLoop (HostWindow& window);
	~HostRunLoop ();

	/** Runs until `done` answers true (checked after each dispatch) or
	 *  `limit` passes; true when `done` came true. */
	bool run (std::chrono::milliseconds limit, const std::function<bool ()>& done);

	/** Runs `call` on the loop's next turn, as a host runs a view's
	 *  attached() or removed() from its own event handling. */
	void callSoon (std::function<void ()> call);

	/** Starts a timer of its own, every `interval`, that records the gaps
	 *  between its fires: how long the loop (the host's UI thread) was kept
	 *  from its work. Only gaps within one run() count. */
	void measureGaps (std::chrono::milliseconds interval);
	/** The longest gap since the last resetGaps() (0 before two fires). */
	std::chrono::microseconds longestGap () const { return gapProbe.longest; }
	size_t gapFires () const { return gapProbe.fires; }
	/** The slowest single thing the loop ran since resetGaps(): "call" (a
	 *  callSoon function, such as attached()), "socket" (an event handler)
	 *  or "timer" (a plug-in's timer). run()'s `done` is the caller's own
	 *  and not counted. */
	struct Dispatch
	{
		std::chrono::microseconds time {0};
		const char* what = "";
	};
	const Dispatch& slowestDispatch () const { return slowest; }
	void resetGaps ();

	size_t handlerCount () const { return handlers.size (); }
	size_t timerCount () const { return timers.size (); }
	/** Views that asked the frame for a new size. */
	int resizeRequests () const { return resizeAsks; }

	Steinberg::tresult PLUGIN_API registerEventHandler (Steinberg::Linux::IEventHandler* handler,
	                                                    Steinberg::Linux::FileDescriptor fd) override;
	Steinberg::tresult PLUGIN_API unregisterEventHandler (Steinberg::Linux::IEventHandler* handler) override;
	Steinberg::tresult PLUGIN_API registerTimer (Steinberg::Linux::ITimerHandler* handler,
	                                             Steinberg::Linux::TimerInterval milliseconds) override;
	Steinberg::tresult PLUGIN_API unregisterTimer (Steinberg::Linux::ITimerHandler* handler) override;
	Steinberg::tresult PLUGIN_API resizeView (Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override;

	Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
	Steinberg::uint32 PLUGIN_API release () override { return 1; }

private:
	struct Handler
	{
		Steinberg::Linux::IEventHandler* handler;
		int fd;
	};
	struct Timer
	{
		Steinberg::Linux::ITimerHandler* handler;
		std::chrono::milliseconds interval;
		std::chrono::steady_clock::time_point due;
	};
	// The gap recorder's timer, registered like a plug-in's.
	struct GapProbe : public Steinberg::Linux::ITimerHandler
	{
		void PLUGIN_API onTimer () override;
		Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID, void** obj) override
		{
			*obj = nullptr;
			return Steinberg::kNoInterface;
		}
		Steinberg::uint32 PLUGIN_API addRef () override { return 1; }
		Steinberg::uint32 PLUGIN_API release () override { return 1; }

		bool started = false;
		std::chrono::steady_clock::time_point last {};
		std::chrono::microseconds longest {0};
		size_t fires = 0;
	};

	HostWindow& host;
	std::vector<Handler> handlers;
	std::vector<Timer> timers;
	std::vector<std::function<void ()>> soon;
	GapProbe gapProbe;
	bool probing = false;
	Dispatch slowest;
	/** Runs `work`, keeping it as the slowest dispatch if it is. */
	template <typename Work>
	void timed (const char* what, Work&& work);
	int resizeAsks = 0;
};

/** The first audio processor class of `factory`; throws HostError. */
Steinberg::PClassInfo firstAudioProcessorClass (Steinberg::IPluginFactory* factory);

/** A whole text file, or empty when it cannot be read (the editor's trace
 *  file, which the helper appends to). */
std::string readTextFile (const std::string& path);

/** Every process descended from `root` (not `root` itself). */
std::vector<pid_t> descendantProcesses (pid_t root);
/** The process's proportional set size in KiB, or 0 when unknown. */
long proportionalSetKiB (pid_t pid);
/** The executable name of `pid` ("comm"), or empty. */
std::string processName (pid_t pid);

} // namespace tavik::tools
