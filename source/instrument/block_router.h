// One block's notes and MIDI controller messages, routed through a CcRouter
// in frame order, whichever plug-in format brought them: the controllers
// are gathered first (in any order), then the notes come in frame order and
// each is preceded by every controller at or before its frame, so a
// controller acts before a note at the same frame. A note-on of velocity
// zero is a note-off. Audio thread only; it never allocates, locks or waits.
#pragma once

#include "cc_router.h"

#include <cstdint>

namespace tavik {

class BlockRouter
{
public:
	explicit BlockRouter (CcRouter& target) : router (target) {}

	/** Controller `number` (0..129) on `channel` moved to the 7-bit `value`
	 *  at `frame`; dropped once the block holds CONTROLLER_CAPACITY. */
	void addController (int32_t frame, uint32_t channel, uint32_t number, int32_t value) noexcept;
	/** The same from a normalized value, as a host's parameter carries a
	 *  controller: clamped to 0..1 and rounded to 0..127; a non-finite
	 *  value is dropped. */
	void addControllerNormalized (int32_t frame, uint32_t channel, uint32_t number, double normalized) noexcept;

	/** Orders the gathered controllers by frame (stably: the order of one
	 *  frame is kept); the results of each are told to `report`. */
	void beginNotes (CcRouter::Report report, void* context) noexcept;
	/** Routes the controllers at or before `frame`: what an event of the
	 *  host's other than a note does, so an event list out of frame order
	 *  is routed as it comes. */
	void advanceTo (int frame) noexcept { routeControllersUpTo (frame); }
	void noteOn (int pitch, double velocity, int frame, uint32_t route, uint32_t channel) noexcept;
	void noteOff (int pitch, int frame, uint32_t route, uint32_t channel) noexcept;
	/** Routes the controllers after the last note and empties the block. */
	void finish () noexcept;

	int controllerCount () const { return count; }

	/** Controller messages one block may carry; later ones are dropped. */
	static constexpr int CONTROLLER_CAPACITY = 4096;

private:
	struct ControllerMessage
	{
		int32_t frame;
		uint16_t channel;
		uint16_t number;
		int32_t value;
	};

	void routeControllersUpTo (int frame) noexcept;

	CcRouter& router;
	CcRouter::Report report = nullptr;
	void* reportContext = nullptr;
	ControllerMessage messages[CONTROLLER_CAPACITY];
	ControllerMessage scratch[CONTROLLER_CAPACITY];
	int count = 0;
	int next = 0;
};

} // namespace tavik
