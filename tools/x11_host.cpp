#include "x11_host.h"

#include "hosted_module.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace tavik::tools {

using namespace Steinberg;

size_t RgbImage::distinctColours () const { return distinctColours (0, 0, width, height); }

size_t RgbImage::distinctColours (int left, int top, int right, int bottom) const
{
	std::set<uint32_t> seen;
	for (int y = std::max (0, top); y < std::min (height, bottom); ++y)
		for (int x = std::max (0, left); x < std::min (width, right); ++x)
		{
			const uint8_t* p = &pixels[(static_cast<size_t> (y) * width + x) * 3];
			seen.insert (static_cast<uint32_t> (p[0]) << 16 | static_cast<uint32_t> (p[1]) << 8 | p[2]);
		}
	return seen.size ();
}

size_t RgbImage::countColour (int left, int top, int right, int bottom, uint8_t r, uint8_t g, uint8_t b) const
{
	size_t count = 0;
	for (int y = std::max (0, top); y < std::min (height, bottom); ++y)
		for (int x = std::max (0, left); x < std::min (width, right); ++x)
		{
			const uint8_t* p = &pixels[(static_cast<size_t> (y) * width + x) * 3];
			count += p[0] == r && p[1] == g && p[2] == b;
		}
	return count;
}

namespace {

void appendBigEndian (std::string& out, uint32_t value)
{
	for (int shift = 24; shift >= 0; shift -= 8)
		out.push_back (static_cast<char> ((value >> shift) & 0xFF));
}

void appendChunk (std::string& out, const char* type, const std::string& data)
{
	appendBigEndian (out, static_cast<uint32_t> (data.size ()));
	std::string body (type, 4);
	body += data;
	out += body;
	appendBigEndian (out, static_cast<uint32_t> (crc32 (0, reinterpret_cast<const Bytef*> (body.data ()),
	                                                    static_cast<uInt> (body.size ()))));
}

} // namespace

bool writePng (const std::string& path, const RgbImage& image)
{
	if (image.width <= 0 || image.height <= 0)
		return false;
	std::string raw;
	raw.reserve (static_cast<size_t> (image.height) * (image.width * 3 + 1));
	for (int y = 0; y < image.height; ++y)
	{
		raw.push_back (0); // no filter
		raw.append (reinterpret_cast<const char*> (&image.pixels[static_cast<size_t> (y) * image.width * 3]),
		            static_cast<size_t> (image.width) * 3);
	}
	uLongf packedSize = compressBound (static_cast<uLong> (raw.size ()));
	std::string packed (packedSize, '\0');
	if (compress2 (reinterpret_cast<Bytef*> (&packed[0]), &packedSize, reinterpret_cast<const Bytef*> (raw.data ()),
	               static_cast<uLong> (raw.size ()), 6) != Z_OK)
		return false;
	packed.resize (packedSize);

	std::string header;
	appendBigEndian (header, static_cast<uint32_t> (image.width));
	appendBigEndian (header, static_cast<uint32_t> (image.height));
	header += std::string ("\x08\x02\x00\x00\x00", 5); // 8-bit RGB
	std::string file ("\x89PNG\r\n\x1a\n", 8);
	appendChunk (file, "IHDR", header);
	appendChunk (file, "IDAT", packed);
	appendChunk (file, "IEND", "");
	std::ofstream out (path, std::ios::binary);
	out.write (file.data (), static_cast<std::streamsize> (file.size ()));
	return static_cast<bool> (out);
}

HostWindow::HostWindow (int width, int height, const char* title)
{
	x = XOpenDisplay (nullptr);
	if (!x)
		throw std::runtime_error ("cannot open the X display");
	const int screen = DefaultScreen (x);
	win = XCreateSimpleWindow (x, RootWindow (x, screen), 0, 0, static_cast<unsigned> (width),
	                           static_cast<unsigned> (height), 0, BlackPixel (x, screen), BlackPixel (x, screen));
	XStoreName (x, win, title);
	XSelectInput (x, win, StructureNotifyMask | SubstructureNotifyMask);
	XMapWindow (x, win);
	for (XEvent event;;)
	{
		XNextEvent (x, &event);
		if (event.type == MapNotify && event.xmap.window == win)
			break;
	}
}

HostWindow::~HostWindow ()
{
	destroy ();
	XCloseDisplay (x);
}

void HostWindow::resize (int width, int height)
{
	if (!win)
		return;
	XResizeWindow (x, win, static_cast<unsigned> (width), static_cast<unsigned> (height));
	XSync (x, False);
}

void HostWindow::destroy ()
{
	if (!win)
		return;
	XDestroyWindow (x, win);
	XSync (x, False);
	win = 0;
}

void HostWindow::drain ()
{
	while (XPending (x) > 0)
	{
		XEvent event;
		XNextEvent (x, &event);
	}
}

bool HostWindow::drag (int x0, int y0, int x1, int y1)
{
	int event = 0, error = 0, major = 0, minor = 0;
	if (!win || !XTestQueryExtension (x, &event, &error, &major, &minor))
		return false;
	int rootX = 0, rootY = 0;
	Window child = 0;
	XTranslateCoordinates (x, win, DefaultRootWindow (x), 0, 0, &rootX, &rootY, &child);
	const int screen = DefaultScreen (x);
	const auto pause = [] { std::this_thread::sleep_for (std::chrono::milliseconds (15)); };
	XTestFakeMotionEvent (x, screen, rootX + x0, rootY + y0, CurrentTime);
	XFlush (x);
	pause ();
	XTestFakeButtonEvent (x, 1, True, CurrentTime);
	XFlush (x);
	pause ();
	constexpr int steps = 12;
	for (int i = 1; i <= steps; ++i)
	{
		XTestFakeMotionEvent (x, screen, rootX + x0 + (x1 - x0) * i / steps, rootY + y0 + (y1 - y0) * i / steps,
		                      CurrentTime);
		XFlush (x);
		pause ();
	}
	XTestFakeButtonEvent (x, 1, False, CurrentTime);
	XSync (x, False);
	return true;
}

RgbImage HostWindow::capture () const
{
	RgbImage image;
	XWindowAttributes attributes {};
	if (!win || !XGetWindowAttributes (x, win, &attributes))
		return image;
	XImage* shot = XGetImage (x, win, 0, 0, static_cast<unsigned> (attributes.width),
	                          static_cast<unsigned> (attributes.height), AllPlanes, ZPixmap);
	if (!shot)
		return image;
	image.width = attributes.width;
	image.height = attributes.height;
	image.pixels.resize (static_cast<size_t> (image.width) * image.height * 3);
	for (int py = 0; py < image.height; ++py)
		for (int px = 0; px < image.width; ++px)
		{
			const unsigned long pixel = XGetPixel (shot, px, py);
			uint8_t* out = &image.pixels[(static_cast<size_t> (py) * image.width + px) * 3];
			out[0] = static_cast<uint8_t> ((pixel & shot->red_mask) >> __builtin_ctzl (shot->red_mask));
			out[1] = static_cast<uint8_t> ((pixel & shot->green_mask) >> __builtin_ctzl (shot->green_mask));
			out[2] = static_cast<uint8_t> ((pixel & shot->blue_mask) >> __builtin_ctzl (shot->blue_mask));
		}
	XDestroyImage (shot);
	return image;
}

namespace {

int ignoreXError (Display*, XErrorEvent*) { return 0; }

} // namespace

std::vector<HostWindow::Child> HostWindow::children () const
{
	// The children are other clients' windows and may go at any moment: a
	// host asking about them expects errors and ignores them.
	XSync (x, False);
	XErrorHandler previous = XSetErrorHandler (&ignoreXError);
	std::vector<Child> found = childrenNow ();
	XSync (x, False);
	XSetErrorHandler (previous);
	return found;
}

std::vector<HostWindow::Child> HostWindow::childrenNow () const
{
	std::vector<Child> found;
	Window root = 0;
	Window parent = 0;
	Window* list = nullptr;
	unsigned count = 0;
	if (!win || !XQueryTree (x, win, &root, &parent, &list, &count))
		return found;
	for (unsigned i = 0; i < count; ++i)
	{
		XWindowAttributes attributes {};
		if (XGetWindowAttributes (x, list[i], &attributes))
			found.push_back ({list[i], attributes.width, attributes.height, attributes.map_state == IsViewable});
	}
	if (list)
		XFree (list);
	return found;
}

HostRunLoop::HostRunLoop (HostWindow& window) : host (window) {}

HostRunLoop::~HostRunLoop ()
{
	for (Handler& h : handlers)
		h.handler->release ();
	for (Timer& t : timers)
		t.handler->release ();
}

void HostRunLoop::callSoon (std::function<void ()> call) { soon.push_back (std::move (call)); }

void HostRunLoop::measureGaps (std::chrono::milliseconds interval)
{
	if (probing)
		unregisterTimer (&gapProbe);
	probing = registerTimer (&gapProbe, static_cast<Linux::TimerInterval> (interval.count ())) == kResultOk;
	resetGaps ();
}

template <typename Work>
void HostRunLoop::timed (const char* what, Work&& work)
{
	const auto start = std::chrono::steady_clock::now ();
	work ();
	const auto took = std::chrono::duration_cast<std::chrono::microseconds> (std::chrono::steady_clock::now () - start);
	if (took > slowest.time)
		slowest = {took, what};
}

void HostRunLoop::resetGaps ()
{
	slowest = Dispatch ();
	gapProbe.started = false;
	gapProbe.longest = std::chrono::microseconds (0);
	gapProbe.fires = 0;
}

void PLUGIN_API HostRunLoop::GapProbe::onTimer ()
{
	const auto now = std::chrono::steady_clock::now ();
	if (started)
		longest = std::max (longest, std::chrono::duration_cast<std::chrono::microseconds> (now - last));
	started = true;
	last = now;
	++fires;
}

tresult PLUGIN_API HostRunLoop::registerEventHandler (Linux::IEventHandler* handler, Linux::FileDescriptor fd)
{
	if (!handler || fd < 0)
		return kInvalidArgument;
	handler->addRef ();
	handlers.push_back ({handler, fd});
	return kResultOk;
}

tresult PLUGIN_API HostRunLoop::unregisterEventHandler (Linux::IEventHandler* handler)
{
	auto it =
		std::find_if (handlers.begin (), handlers.end (), [&] (const Handler& h) { return h.handler == handler; });
	if (it == handlers.end ())
		return kInvalidArgument;
	handlers.erase (it);
	handler->release ();
	return kResultOk;
}

tresult PLUGIN_API HostRunLoop::registerTimer (Linux::ITimerHandler* handler, Linux::TimerInterval milliseconds)
{
	if (!handler || milliseconds == 0)
		return kInvalidArgument;
	handler->addRef ();
	const auto interval = std::chrono::milliseconds (milliseconds);
	timers.push_back ({handler, interval, std::chrono::steady_clock::now () + interval});
	return kResultOk;
}

tresult PLUGIN_API HostRunLoop::unregisterTimer (Linux::ITimerHandler* handler)
{
	auto it = std::find_if (timers.begin (), timers.end (), [&] (const Timer& t) { return t.handler == handler; });
	if (it == timers.end ())
		return kInvalidArgument;
	timers.erase (it);
	handler->release ();
	return kResultOk;
}

tresult PLUGIN_API HostRunLoop::resizeView (IPlugView* view, ViewRect* newSize)
{
	if (!view || !newSize)
		return kInvalidArgument;
	++resizeAsks;
	host.resize (newSize->getWidth (), newSize->getHeight ());
	return view->onSize (newSize);
}

tresult PLUGIN_API HostRunLoop::queryInterface (const TUID iid, void** obj)
{
	if (FUnknownPrivate::iidEqual (iid, Linux::IRunLoop::iid))
	{
		*obj = static_cast<Linux::IRunLoop*> (this);
		return kResultOk;
	}
	if (FUnknownPrivate::iidEqual (iid, IPlugFrame::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
	{
		*obj = static_cast<IPlugFrame*> (this);
		return kResultOk;
	}
	*obj = nullptr;
	return kNoInterface;
}

bool HostRunLoop::run (std::chrono::milliseconds limit, const std::function<bool ()>& done)
{
	const auto end = std::chrono::steady_clock::now () + limit;
	// The time between two runs is the test's, not the loop's.
	gapProbe.started = false;
	for (;;)
	{
		host.drain ();
		std::vector<std::function<void ()>> calls;
		calls.swap (soon);
		for (const std::function<void ()>& call : calls)
			timed ("call", call);
		if (done && done ())
			return true;
		const auto now = std::chrono::steady_clock::now ();
		if (now >= end)
			return false;
		auto wake = soon.empty () ? end : now;
		for (const Timer& t : timers)
			wake = std::min (wake, t.due);
		std::vector<pollfd> watched;
		watched.push_back ({ConnectionNumber (host.display ()), POLLIN, 0});
		for (const Handler& h : handlers)
			watched.push_back ({h.fd, POLLIN, 0});
		const auto wait = std::chrono::duration_cast<std::chrono::milliseconds> (wake - now).count ();
		const int ready = ::poll (watched.data (), watched.size (), static_cast<int> (std::max<long long> (0, wait)));
		if (ready > 0)
			for (size_t i = 1; i < watched.size (); ++i)
			{
				if (!(watched[i].revents & (POLLIN | POLLHUP | POLLERR)))
					continue;
				// A handler may unregister itself or another while it runs.
				auto it = std::find_if (handlers.begin (), handlers.end (),
				                        [&] (const Handler& h) { return h.fd == watched[i].fd; });
				if (it != handlers.end ())
				{
					Linux::IEventHandler* handler = it->handler;
					handler->addRef ();
					timed ("socket", [&] { handler->onFDIsSet (watched[i].fd); });
					handler->release ();
				}
			}
		const auto after = std::chrono::steady_clock::now ();
		std::vector<Linux::ITimerHandler*> dueNow;
		for (Timer& t : timers)
			if (t.due <= after)
			{
				t.due = after + t.interval;
				dueNow.push_back (t.handler);
			}
		for (Linux::ITimerHandler* handler : dueNow)
		{
			if (std::none_of (timers.begin (), timers.end (), [&] (const Timer& t) { return t.handler == handler; }))
				continue;
			handler->addRef ();
			if (handler == &gapProbe)
				handler->onTimer ();
			else
				timed ("timer", [&] { handler->onTimer (); });
			handler->release ();
		}
	}
}

namespace {

// A /proc file of `pid`, or empty. Read with plain system calls: a process
// that ends while its file is read makes the read fail with ESRCH, which a
// file stream turns into an exception.
std::string readProcessFile (pid_t pid, const char* name)
{
	const std::string path = "/proc/" + std::to_string (pid) + "/" + name;
	const int fd = ::open (path.c_str (), O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return std::string ();
	std::string text;
	char buffer[4096];
	for (;;)
	{
		const ssize_t n = ::read (fd, buffer, sizeof buffer);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			break;
		text.append (buffer, static_cast<size_t> (n));
	}
	::close (fd);
	return text;
}

bool readParent (pid_t pid, pid_t& parent)
{
	const std::string text = readProcessFile (pid, "stat");
	const size_t close = text.rfind (')');
	if (close == std::string::npos)
		return false;
	std::istringstream rest (text.substr (close + 2));
	char state = 0;
	long ppid = 0;
	rest >> state >> ppid;
	parent = static_cast<pid_t> (ppid);
	return static_cast<bool> (rest);
}

} // namespace

PClassInfo firstAudioProcessorClass (IPluginFactory* factory)
{
	for (int32 i = 0; factory && i < factory->countClasses (); ++i)
	{
		PClassInfo info {};
		if (factory->getClassInfo (i, &info) == kResultOk &&
		    std::strncmp (info.category, kVstAudioEffectClass, PClassInfo::kCategorySize) == 0)
			return info;
	}
	throw HostError ("the module has no audio processor class");
}

std::string readTextFile (const std::string& path)
{
	std::ifstream in (path);
	std::stringstream text;
	text << in.rdbuf ();
	return text.str ();
}

std::vector<pid_t> descendantProcesses (pid_t root)
{
	std::vector<std::pair<pid_t, pid_t>> all;
	if (DIR* proc = opendir ("/proc"))
	{
		while (dirent* entry = readdir (proc))
		{
			char* end = nullptr;
			const long pid = std::strtol (entry->d_name, &end, 10);
			pid_t parent = 0;
			if (end && !*end && pid > 0 && readParent (static_cast<pid_t> (pid), parent))
				all.emplace_back (static_cast<pid_t> (pid), parent);
		}
		closedir (proc);
	}
	std::vector<pid_t> found;
	std::vector<pid_t> frontier {root};
	while (!frontier.empty ())
	{
		const pid_t parent = frontier.back ();
		frontier.pop_back ();
		for (const auto& [pid, ppid] : all)
			if (ppid == parent)
			{
				found.push_back (pid);
				frontier.push_back (pid);
			}
	}
	return found;
}

long proportionalSetKiB (pid_t pid)
{
	std::istringstream in (readProcessFile (pid, "smaps_rollup"));
	std::string line;
	while (std::getline (in, line))
		if (line.rfind ("Pss:", 0) == 0)
			return std::strtol (line.c_str () + 4, nullptr, 10);
	return 0;
}

std::string processName (pid_t pid)
{
	const std::string text = readProcessFile (pid, "comm");
	return text.substr (0, text.find ('\n'));
}

} // namespace tavik::tools
