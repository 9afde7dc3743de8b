// The plug-in's own connection to the host's X display (XCB; see
// xcb_library.h), used on the host's main thread by an attached view. Every
// wait for the server is bounded, and errors the server reports (about
// windows the host destroyed, say) are read and dropped here: they reach
// neither the host nor its error handler.
#pragma once

#include "xcb_library.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tavik {

class HostDisplay
{
public:
	/** The longest wait for one answer from the server. */
	static constexpr int REPLY_MILLISECONDS = 40;

	/** Connects to the display DISPLAY names; null with `error` set. */
	static std::unique_ptr<HostDisplay> connect (std::string& error);
	~HostDisplay ();
	HostDisplay (const HostDisplay&) = delete;
	HostDisplay& operator= (const HostDisplay&) = delete;

	const XcbLibrary& xcb () const { return x; }
	xcb_connection_t* connection () const { return c; }
	const xcb_screen_t& screen () const { return *rootScreen; }
	/** The pixel value of a colour in the root window's visual. */
	uint32_t pixel (uint8_t red, uint8_t green, uint8_t blue) const;

	/** Whether `window` exists (false also when the server does not answer). */
	bool windowExists (uint32_t window);

	/** When `window` is a child of `parent`: unmaps it and moves it to the
	 *  root window, and returns once the server has done so. False when the
	 *  window does not exist any more; true when it is out (or the server
	 *  did not answer in time, when it is left alone). */
	bool takeOut (uint32_t window, uint32_t parent);

	/** The reply to request `sequence`, or null on an error or when the
	 *  server does not answer within REPLY_MILLISECONDS; free() it. */
	void* awaitReply (unsigned int sequence, bool* answered = nullptr);
	/** Returns once the server has handled every request sent so far, or
	 *  after REPLY_MILLISECONDS. */
	bool sync ();
	/** Sends what is queued and drops what the server sent unasked. */
	void flush ();

private:
	HostDisplay (const XcbLibrary& library, xcb_connection_t* connection, const xcb_screen_t* screen);
	void discardEvents ();

	const XcbLibrary& x;
	xcb_connection_t* c;
	const xcb_screen_t* rootScreen;
	const xcb_visualtype_t* rootVisual = nullptr;
};

} // namespace tavik
