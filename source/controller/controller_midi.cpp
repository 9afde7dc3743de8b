// ControllerSession: MIDI controllers. Which controllers the host sends
// to the processor, the CC map handed to it, the controllers the processor
// saw (shown in the editor's drawer) and MIDI learn.

#include "controller_session.h"

#include "json_writer.h"
#include "midi_cc_message.h"
#include "midi_controller_params.h"
#include "plugin_messages.h"

#include <cstring>

namespace tavik {

bool ControllerSession::midiControllerAssignment (int32_t busIndex, int16_t channel, int16_t controller,
                                                  uint32_t& id) const
{
	// Every controller that reaches the processor drives a hidden parameter
	// of its own; the processor resolves it through the CC map. While a
	// binding learns, every learnable controller reaches it, so that the
	// processor sees whichever one the musician moves.
	if (busIndex != 0 || channel < 0 || controller < 0)
		return false;
	const auto c = static_cast<uint32_t> (channel);
	const auto number = static_cast<uint32_t> (controller);
	const bool learnable = learn.active () && c < MIDI_CHANNELS && number < CcLearn::LEARNABLE_CONTROLLERS;
	if (!learnable && !midiControllerIsAssigned (holdsCcMap ? &map : nullptr, c, number))
		return false;
	id = midiControllerParamId (static_cast<uint32_t> (channel), static_cast<uint32_t> (controller));
	return true;
}

void ControllerSession::adoptCcMap (const CcMap& adopted, bool notifyEditor)
{
	map = adopted;
	holdsCcMap = true;
	learn.follow (map);
	hostRestarts.request (RESTART_MIDI_CC_ASSIGNMENT_CHANGED);
	sendCcMapToProcessor ();
	recordLifecycle (DiagnosticLifecycleKind::ccMapChanged).addNumber ("bindings", map.count);
	publishLastLifecycle ();
	if (notifyEditor && bridgeSink)
	{
		std::string out;
		writeCcMapChangedJson (out, map);
		sendToEditor (out);
	}
}

void ControllerSession::sendCcMapToProcessor ()
{
	std::string document;
	writeCcMapJson (document, map);
	surface.sendToProcessor (messages::CC_MAP, &document);
}

void ControllerSession::adoptControllerActivity (const std::string& records)
{
	const size_t count = records.size () / sizeof (CcActivityRecord);
	for (size_t i = 0; i < count; ++i)
	{
		CcActivityRecord r {};
		std::memcpy (&r, records.data () + i * sizeof r, sizeof r);
		if (r.channel < 1 || r.channel > MIDI_CHANNELS || r.cc > 127 || r.value > 127)
			continue;
		if (bridgeSink)
		{
			std::string out;
			writeMidiCcJson (out, r);
			sendToEditor (out);
		}
		learnController (static_cast<uint32_t> (r.channel - 1), r.cc);
	}
}

bool ControllerSession::liveControllerInput (int32_t busIndex, int16_t channel, int16_t controller)
{
	if (busIndex != 0 || channel < 0 || controller < 0)
		return false;
	return learnController (static_cast<uint32_t> (channel), static_cast<uint32_t> (controller));
}

void ControllerSession::startLearning (int32_t slot)
{
	const bool was = learn.active ();
	learn.start (slot, map);
	if (was != learn.active ())
		hostRestarts.request (RESTART_MIDI_CC_ASSIGNMENT_CHANGED);
	sendLearnState (false);
}

void ControllerSession::stopLearning ()
{
	if (!learn.active ())
		return;
	learn.stop ();
	hostRestarts.request (RESTART_MIDI_CC_ASSIGNMENT_CHANGED);
}

bool ControllerSession::learnController (uint32_t channel, uint32_t controller)
{
	// Every controller the processor saw comes here: copy the map only
	// while a binding learns.
	if (!learn.active ())
		return false;
	CcMap learned = map;
	if (!learn.take (learned, channel, controller))
		return false;
	adoptCcMap (learned, true);
	sendLearnState (true);
	return true;
}

void ControllerSession::sendLearnState (bool learned)
{
	if (!bridgeSink)
		return;
	std::string out;
	JsonMembers message = JsonMembers::open (out);
	message.text ("type", "tavik.ccLearnState");
	message.integer ("slot", learn.slot ());
	message.boolean ("learned", learned);
	message.close ();
	sendToEditor (out);
}

} // namespace tavik
