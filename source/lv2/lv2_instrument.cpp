#include "lv2_instrument.h"

#include "plugin_messages.h"
#include "processor_messages.h"

#include <lv2/atom/util.h>
#include <lv2/core/lv2_util.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace tavik::lv2 {

namespace {

// The host's largest block, from its options.
int maxBlockOption (const LV2_Options_Option* options, const Lv2Urids& urids)
{
	int nominal = 0;
	for (const LV2_Options_Option* o = options; o && o->key; ++o)
	{
		if (o->type != urids.atomInt || o->size != sizeof (int32_t) || !o->value)
			continue;
		const int32_t value = *static_cast<const int32_t*> (o->value);
		if (o->key == urids.maxBlockLength)
			return value;
		if (o->key == urids.nominalBlockLength)
			nominal = value;
	}
	return nominal;
}

// The frame of an event within a block of `frames`, clamped into it.
uint32_t eventFrame (const LV2_Atom_Event* ev, uint32_t frames)
{
	const int64_t t = ev->time.frames;
	return t <= 0 ? 0 : t >= frames ? (frames > 0 ? frames - 1 : 0) : static_cast<uint32_t> (t);
}

} // namespace

std::unique_ptr<Lv2Instrument> Lv2Instrument::create (double sampleRate, const LV2_Feature* const* features)
{
	LV2_Log_Logger logger {};
	const LV2_URID_Map* map = nullptr;
	const LV2_Options_Option* options = nullptr;
	const LV2_Worker_Schedule* schedule = nullptr;
	LV2_Log_Log* log = nullptr;
	const char* missing =
		lv2_features_query (features, LV2_URID__map, &map, true, LV2_OPTIONS__options, &options, true,
	                        LV2_WORKER__schedule, &schedule, false, LV2_LOG__log, &log, false, nullptr);
	lv2_log_logger_init (&logger, const_cast<LV2_URID_Map*> (map), log);
	if (missing)
	{
		lv2_log_error (&logger, "Zorv: the host does not provide %s\n", missing);
		return nullptr;
	}
	const Lv2Urids urids (*map);
	const int maxBlock = maxBlockOption (options, urids);
	if (maxBlock < 1)
	{
		lv2_log_error (&logger, "Zorv: the host gives no block length (buf-size maxBlockLength)\n");
		return nullptr;
	}
	// Longer host blocks are rendered in slices of the engine's largest.
	const int engineBlock = std::min (maxBlock, KernelEngine::MAX_HOST_BLOCK);
	std::unique_ptr<Lv2Instrument> instance (new Lv2Instrument (sampleRate, engineBlock, *map, schedule, logger));
	if (!instance->kernelEngine.setup (sampleRate, engineBlock))
	{
		lv2_log_error (&logger, "Zorv: cannot run at %g Hz with blocks of %d frames\n", sampleRate, maxBlock);
		return nullptr;
	}
	return instance;
}

Lv2Instrument::Lv2Instrument (double sampleRate, int maxBlock, const LV2_URID_Map& map,
                              const LV2_Worker_Schedule* schedule, const LV2_Log_Logger& logger)
	: rate (sampleRate), maxBlockFrames (maxBlock), urids (map), messageUrids (map), worker (schedule), log (logger),
	  session (kernelEngine, [this] { healthChanged = true; })
{
	// An untouched port holds its default; the engine keeps the default's
	// exact value until the port moves.
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		portSeen[i] = static_cast<float> (TAVIK_PARAMS[i].defaultPlain);
}

void Lv2Instrument::connect (uint32_t port, void* data) noexcept
{
	if (port < PORT_FIRST_PARAMETER + TAVIK_PARAM_COUNT)
		parameterPorts[port - PORT_FIRST_PARAMETER] = static_cast<const float*> (data);
	else if (port == PORT_OUT_LEFT)
		outputs[0] = static_cast<float*> (data);
	else if (port == PORT_OUT_RIGHT)
		outputs[1] = static_cast<float*> (data);
	else if (port == PORT_EVENTS_IN)
		events = static_cast<const LV2_Atom_Sequence*> (data);
	else if (port == PORT_NOTIFY_OUT)
		notify = static_cast<LV2_Atom_Sequence*> (data);
	else if (port == PORT_LATENCY)
		latency = static_cast<float*> (data);
}

void Lv2Instrument::activate ()
{
	if (!kernelEngine.setup (rate, maxBlockFrames))
		lv2_log_error (&log, "Zorv: the engine could not be set up again; the plug-in is silent\n");
}

void Lv2Instrument::writeLatency () noexcept
{
	if (latency)
		*latency = static_cast<float> (kernelEngine.latencySamples ());
}

void Lv2Instrument::clearNotify () noexcept
{
	// The host gives the buffer's capacity as the atom's size.
	notifyCapacity = 0;
	if (!notify || notify->atom.size < sizeof (LV2_Atom_Sequence_Body))
		return;
	notifyCapacity = notify->atom.size;
	notify->atom.type = urids.atomSequence;
	notify->atom.size = sizeof (LV2_Atom_Sequence_Body);
	notify->body.unit = 0;
	notify->body.pad = 0;
}

void Lv2Instrument::queuePortChanges () noexcept
{
	const bool adopt = adoptPorts;
	adoptPorts = false;
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
	{
		if (!parameterPorts[i])
			continue;
		const float value = *parameterPorts[i];
		if (value == portSeen[i] || value != value)
			continue;
		portSeen[i] = value;
		if (!adopt)
			kernelEngine.pushParamNormalized (i, tavik_param_normalize (&TAVIK_PARAMS[i], value), 0);
	}
}

const LV2_Atom* Lv2Instrument::ccMapValue (const LV2_Atom_Object* object) const noexcept
{
	if (object->body.otype != urids.patchSet)
		return nullptr;
	const LV2_Atom* property = nullptr;
	const LV2_Atom* value = nullptr;
	lv2_atom_object_get (object, urids.patchProperty, &property, urids.patchValue, &value, 0);
	if (!property || property->type != urids.atomURID ||
	    reinterpret_cast<const LV2_Atom_URID*> (property)->body != urids.ccMapProperty || !value ||
	    value->type != urids.atomString)
		return nullptr;
	return value;
}

void Lv2Instrument::scheduleMessages () noexcept
{
	if (!events || !worker)
		return;
	LV2_ATOM_SEQUENCE_FOREACH (events, ev)
	{
		if (ev->body.type != urids.atomObject)
			continue;
		if (reinterpret_cast<const LV2_Atom_Object*> (&ev->body)->body.otype == messageUrids.message)
		{
			relay.schedule (&ev->body, static_cast<uint32_t> (sizeof (LV2_Atom)) + ev->body.size, *worker);
			continue;
		}
		if (const LV2_Atom* value = ccMapValue (reinterpret_cast<const LV2_Atom_Object*> (&ev->body)))
			worker->schedule_work (worker->handle, static_cast<uint32_t> (sizeof (LV2_Atom) + value->size), value);
	}
}

void Lv2Instrument::renderSlice (uint32_t begin, uint32_t end, uint32_t total) noexcept
{
	const uint32_t frames = end - begin;
	// A MIDI event of this slice, at its frame within it.
	const auto inSlice = [&] (const LV2_Atom_Event* ev, uint32_t& frame) {
		if (ev->body.type != urids.midiEvent || ev->body.size < 1)
			return false;
		const uint32_t at = eventFrame (ev, total);
		frame = at - begin;
		return at >= begin && at < end;
	};
	// Controllers first: the block router orders them and plays each
	// before the notes at or after its frame.
	ccRouter.beginBlock ();
	if (events)
		LV2_ATOM_SEQUENCE_FOREACH (events, ev)
		{
			uint32_t frame = 0;
			if (!inSlice (ev, frame))
				continue;
			const auto* bytes = reinterpret_cast<const uint8_t*> (ev + 1);
			const uint32_t size = ev->body.size;
			const uint32_t status = bytes[0] & 0xF0u;
			const uint32_t channel = bytes[0] & 0x0Fu;
			const int32_t at = static_cast<int32_t> (frame);
			if (status == 0xB0 && size >= 3)
				blockRouter.addController (at, channel, bytes[1] & 0x7Fu, bytes[2] & 0x7F);
			else if (status == 0xD0 && size >= 2)
				blockRouter.addController (at, channel, MIDI_CHANNEL_PRESSURE, bytes[1] & 0x7F);
			else if (status == 0xE0 && size >= 3)
				blockRouter.addControllerNormalized (at, channel, MIDI_PITCH_BEND,
				                                     ((bytes[1] & 0x7F) | (bytes[2] & 0x7F) << 7) / 16383.0);
		}
	blockRouter.beginNotes (&Lv2Instrument::noteControllerResult, this);
	if (events)
		LV2_ATOM_SEQUENCE_FOREACH (events, ev)
		{
			uint32_t frame = 0;
			if (!inSlice (ev, frame) || ev->body.size < 3)
				continue;
			const auto* bytes = reinterpret_cast<const uint8_t*> (ev + 1);
			const uint32_t status = bytes[0] & 0xF0u;
			const uint32_t channel = bytes[0] & 0x0Fu;
			const int pitch = bytes[1] & 0x7F;
			const int at = static_cast<int> (frame);
			const uint32_t route = KernelEngine::eventRouteForInput (0);
			// A VST 3 host hands a 7-bit velocity over as the float k / 127.
			if (status == 0x90)
				blockRouter.noteOn (pitch, static_cast<float> ((bytes[2] & 0x7F) / 127.0), at, route, channel);
			else if (status == 0x80)
				blockRouter.noteOff (pitch, at, route, channel);
		}
	blockRouter.finish ();
	float* slice[2] = {outputs[0] + begin, outputs[1] + begin};
	kernelEngine.processBlock (nullptr, 0, slice, 2, static_cast<int> (frames));
	ccRouter.endBlock ();
}

void Lv2Instrument::noteControllerResult (void* self, uint32_t paramIndex, int, double normalized) noexcept
{
	auto* instrument = static_cast<Lv2Instrument*> (self);
	if (paramIndex >= TAVIK_PARAM_COUNT)
		return;
	instrument->controllerResult[paramIndex] = normalized;
	instrument->controllerMoved[paramIndex] = true;
}

void Lv2Instrument::notifyControllerResults () noexcept
{
	uint8_t payload[TAVIK_PARAM_COUNT * 12];
	uint32_t size = 0;
	for (uint32_t id = 0; id < TAVIK_PARAM_COUNT; ++id)
		if (controllerMoved[id])
		{
			controllerMoved[id] = false;
			std::memcpy (payload + size, &id, 4);
			std::memcpy (payload + size + 4, &controllerResult[id], 8);
			size += 12;
		}
	if (size == 0 || !notify || notifyCapacity == 0)
		return;
	const auto idLength = static_cast<uint32_t> (std::strlen (messages::PARAMETER_VALUES));
	const uint32_t atomSize = messageAtomSize (idLength, size, true);
	const uint32_t used = notify->atom.size;
	LV2_Atom* room = appendEvent (*notify, notifyCapacity, atomSize);
	if (room &&
	    writeMessage (room, atomSize, messageUrids, messages::PARAMETER_VALUES, payload, size, true, false) == 0)
		notify->atom.size = used;
}

void Lv2Instrument::silence (uint32_t frames) noexcept
{
	for (float* out : outputs)
		if (out)
			std::memset (out, 0, frames * sizeof (float));
}

void Lv2Instrument::run (uint32_t frames) noexcept
{
	clearNotify ();
	if (notifyCapacity > 0)
		relay.writeReplies (*notify, notifyCapacity);
	scheduleMessages ();
	if (frames == 0)
	{
		// No frame to play anything at: port changes wait for the next block.
		writeLatency ();
		return;
	}
	if (!outputs[0] || !outputs[1] || !kernelEngine.ready ())
	{
		silence (frames);
		writeLatency ();
		return;
	}
	queuePortChanges ();
	const uint32_t slice = static_cast<uint32_t> (maxBlockFrames);
	for (uint32_t begin = 0; begin < frames; begin += slice)
	{
		const uint32_t end = std::min (frames, begin + slice);
		renderSlice (begin, end, frames);
	}
	notifyControllerResults ();
	writeLatency ();
}

LV2_State_Status Lv2Instrument::save (LV2_State_Store_Function store, LV2_State_Handle handle)
{
	std::string text;
	{
		std::lock_guard<std::mutex> lock (sessionLock);
		text = session.writeState ();
	}
	// An atom:String's body ends in a NUL.
	return store (handle, urids.stateProperty, text.c_str (), text.size () + 1, urids.atomString,
	              LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Lv2Instrument::restore (LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle)
{
	size_t size = 0;
	uint32_t type = 0;
	uint32_t flags = 0;
	const auto* text = static_cast<const char*> (retrieve (handle, urids.stateProperty, &size, &type, &flags));
	// A preset of port values only carries no document: the ports are it.
	if (!text)
		return LV2_STATE_SUCCESS;
	if (type != urids.atomString)
	{
		lv2_log_error (&log, "Zorv: the saved state is not text; nothing was restored\n");
		return LV2_STATE_ERR_BAD_TYPE;
	}
	const size_t length = size > 0 && text[size - 1] == '\0' ? size - 1 : size;
	std::lock_guard<std::mutex> lock (sessionLock);
	if (!session.restoreState (text, length))
	{
		lv2_log_error (&log, "Zorv: the saved state is not a Zorv state document; nothing was restored\n");
		return LV2_STATE_ERR_UNKNOWN;
	}
	adoptPorts = true;
	return LV2_STATE_SUCCESS;
}

namespace {

// The shared handler's answers, back through the host's worker.
class WorkerReplies : public ProcessorReplySink
{
public:
	WorkerReplies (MessageRelay& messageRelay, LV2_Worker_Respond_Function respondFunction,
	               LV2_Worker_Respond_Handle respondHandle)
		: relay (messageRelay), respond (respondFunction), handle (respondHandle)
	{
	}
	void reply (const char* id, const std::string& payload) override { relay.respond (id, payload, respond, handle); }

private:
	MessageRelay& relay;
	LV2_Worker_Respond_Function respond;
	LV2_Worker_Respond_Handle handle;
};

} // namespace

HostFacts Lv2Instrument::hostFacts () const
{
	HostFacts facts;
	facts.sampleRate = rate;
	facts.maxBlockFrames = maxBlockFrames;
	facts.processMode = 0;
	facts.sampleSize = 32;
	facts.latencySamples = static_cast<int32_t> (kernelEngine.latencySamples ());
	facts.addBus ("out0", false, 2, true, "stereo");
	return facts;
}

LV2_Worker_Status Lv2Instrument::work (uint32_t size, const void* data, LV2_Worker_Respond_Function respond,
                                       LV2_Worker_Respond_Handle handle)
{
	const auto* atom = static_cast<const LV2_Atom*> (data);
	if (relay.isFragment (atom, size))
	{
		std::lock_guard<std::mutex> lock (sessionLock);
		MessageView view;
		if (!relay.takeRequestFragment (size, data, view))
			return LV2_WORKER_SUCCESS;
		std::string payload;
		if (view.hasPayload)
			payload.assign (reinterpret_cast<const char*> (view.payload), view.payloadSize);
		ProcessorMessage message;
		message.id = view.id;
		message.payload = view.hasPayload ? &payload : nullptr;
		message.reset = view.reset;
		WorkerReplies replies (relay, respond, handle);
		healthChanged = false;
		handleProcessorMessage (session, message, replies);
		// An editor that opens asks for a fresh transport snapshot: it hears
		// the host facts and the runtime health then, as a VST 3 controller
		// has them from the processor's setup.
		if (std::strcmp (view.id, messages::TRANSPORT_POLL) == 0 && view.reset)
		{
			replies.reply (messages::HOST_FACTS, hostFactsPayload (hostFacts ()));
			healthChanged = true;
		}
		if (healthChanged)
			replies.reply (messages::RUNTIME_DIAGNOSTICS, runtimeHealthPayload (kernelEngine, false, TARGET_LV2));
		healthChanged = false;
		return LV2_WORKER_SUCCESS;
	}
	if (!atom || size < sizeof (LV2_Atom) || atom->type != urids.atomString || atom->size > size - sizeof (LV2_Atom))
		return LV2_WORKER_ERR_UNKNOWN;
	const char* body = static_cast<const char*> (LV2_ATOM_BODY_CONST (atom));
	const size_t length = strnlen (body, atom->size);
	std::lock_guard<std::mutex> lock (sessionLock);
	session.adoptCcMap (std::string (body, length));
	return LV2_WORKER_SUCCESS;
}

} // namespace tavik::lv2
