#include "lv2_host.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tavik::tools {

namespace {

constexpr size_t EVENT_BUFFER_BYTES = 1 << 20;
constexpr size_t NOTIFY_BUFFER_BYTES = 1 << 16;
constexpr size_t WORK_BUFFER_BYTES = 1 << 20;

// Owns a LilvNode for one scope.
struct Node
{
	LilvNode* node;
	Node (LilvWorld* world, const char* uri) : node (lilv_new_uri (world, uri)) {}
	~Node () { lilv_node_free (node); }
	Node (const Node&) = delete;
	Node& operator= (const Node&) = delete;
};

struct PropertyCapture
{
	LV2_URID key;
	std::string value;
	LV2_URID type = 0;
};

LV2_State_Status captureProperty (LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t type,
                                  uint32_t)
{
	auto* capture = static_cast<PropertyCapture*> (handle);
	if (key == capture->key)
	{
		capture->value.assign (static_cast<const char*> (value), size);
		capture->type = type;
	}
	return LV2_STATE_SUCCESS;
}

struct PropertyOffer
{
	LV2_URID key;
	const std::string* value;
	LV2_URID type;
};

const void* offerProperty (LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags)
{
	auto* offer = static_cast<PropertyOffer*> (handle);
	if (key != offer->key)
		return nullptr;
	*size = offer->value->size ();
	*type = offer->type;
	*flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
	return offer->value->data ();
}

} // namespace

Lv2Host::Lv2Host (const std::string& pluginUri, double sampleRate, int maxBlock)
	: blockLength (maxBlock), eventBuffer (EVENT_BUFFER_BYTES / 8), notifyBuffer (NOTIFY_BUFFER_BYTES / 8)
{
	workBytes.reserve (WORK_BUFFER_BYTES);
	workSizes.reserve (1024);
	responseBytes.reserve (WORK_BUFFER_BYTES);
	responseSizes.reserve (4096);
	notifyCapacity = static_cast<uint32_t> (NOTIFY_BUFFER_BYTES);
	lilvWorld = lilv_world_new ();
	lilv_world_load_all (lilvWorld);
	{
		Node uri (lilvWorld, pluginUri.c_str ());
		lilvPlugin = lilv_plugins_get_by_uri (lilv_world_get_all_plugins (lilvWorld), uri.node);
	}
	if (!lilvPlugin)
	{
		lilv_world_free (lilvWorld);
		throw std::runtime_error ("no LV2 plug-in " + pluginUri + " on LV2_PATH");
	}

	mapFeature = {this, mapUri};
	unmapFeature = {this, unmapUri};
	scheduleFeature = {this, scheduleWork};
	const LV2_URID atomInt = map (LV2_ATOM__Int);
	options = {
		{LV2_OPTIONS_INSTANCE, 0, map (LV2_BUF_SIZE__minBlockLength), sizeof (int32_t), atomInt, &blockLength},
		{LV2_OPTIONS_INSTANCE, 0, map (LV2_BUF_SIZE__maxBlockLength), sizeof (int32_t), atomInt, &blockLength},
		{LV2_OPTIONS_INSTANCE, 0, map (LV2_BUF_SIZE__nominalBlockLength), sizeof (int32_t), atomInt, &blockLength},
		{LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
	};
	// The smallest block is 1 frame: the host may split a block anywhere.
	static const int32_t one = 1;
	options[0].value = &one;
	featureStore = {{LV2_URID__map, &mapFeature},
	                {LV2_URID__unmap, &unmapFeature},
	                {LV2_OPTIONS__options, options.data ()},
	                {LV2_BUF_SIZE__boundedBlockLength, nullptr},
	                {LV2_WORKER__schedule, &scheduleFeature}};
	for (const LV2_Feature& f : featureStore)
		features.push_back (&f);
	features.push_back (nullptr);

	lilvInstance = lilv_plugin_instantiate (lilvPlugin, sampleRate, features.data ());
	if (!lilvInstance)
	{
		lilv_world_free (lilvWorld);
		throw std::runtime_error ("the LV2 plug-in " + pluginUri + " refused to instantiate");
	}
	workerInterface = static_cast<const LV2_Worker_Interface*> (
		lilv_instance_get_extension_data (lilvInstance, LV2_WORKER__interface));
	stateInterface =
		static_cast<const LV2_State_Interface*> (lilv_instance_get_extension_data (lilvInstance, LV2_STATE__interface));

	const uint32_t ports = lilv_plugin_get_num_ports (lilvPlugin);
	controls.assign (ports, 0.0f);
	std::vector<float> mins (ports), maxs (ports), defaults (ports);
	lilv_plugin_get_port_ranges_float (lilvPlugin, mins.data (), maxs.data (), defaults.data ());
	Node audioClass (lilvWorld, LV2_CORE__AudioPort);
	Node controlClass (lilvWorld, LV2_CORE__ControlPort);
	Node atomClass (lilvWorld, LV2_ATOM__AtomPort);
	Node inputClass (lilvWorld, LV2_CORE__InputPort);
	for (uint32_t i = 0; i < ports; ++i)
	{
		const LilvPort* port = lilv_plugin_get_port_by_index (lilvPlugin, i);
		if (lilv_port_is_a (lilvPlugin, port, controlClass.node))
		{
			controls[i] = defaults[i] == defaults[i] ? defaults[i] : 0.0f;
			lilv_instance_connect_port (lilvInstance, i, &controls[i]);
		}
		else if (lilv_port_is_a (lilvPlugin, port, audioClass.node))
		{
			std::vector<float>& buffer = audioBuffers[i];
			buffer.assign (static_cast<size_t> (maxBlock), 0.0f);
			lilv_instance_connect_port (lilvInstance, i, buffer.data ());
		}
		else if (lilv_port_is_a (lilvPlugin, port, atomClass.node))
		{
			if (lilv_port_is_a (lilvPlugin, port, inputClass.node))
			{
				atomInputs.push_back (i);
				lilv_instance_connect_port (lilvInstance, i, eventBuffer.data ());
			}
			else
			{
				atomOutputs.push_back (i);
				lilv_instance_connect_port (lilvInstance, i, notifyBuffer.data ());
			}
		}
		else
			lilv_instance_connect_port (lilvInstance, i, nullptr);
	}
	lv2_atom_forge_init (&forge, &mapFeature);
	startSequence ();
}

Lv2Host::~Lv2Host ()
{
	lilv_instance_free (lilvInstance);
	lilv_world_free (lilvWorld);
}

LV2_URID Lv2Host::map (const char* uri) { return mapUri (this, uri); }

LV2_URID Lv2Host::mapUri (LV2_URID_Map_Handle handle, const char* uri)
{
	auto* host = static_cast<Lv2Host*> (handle);
	auto it = host->uris.find (uri);
	if (it != host->uris.end ())
		return it->second;
	host->uriNames.emplace_back (uri);
	const LV2_URID id = static_cast<LV2_URID> (host->uriNames.size ());
	host->uris.emplace (uri, id);
	return id;
}

const char* Lv2Host::unmapUri (LV2_URID_Unmap_Handle handle, LV2_URID urid)
{
	auto* host = static_cast<Lv2Host*> (handle);
	return urid >= 1 && urid <= host->uriNames.size () ? host->uriNames[urid - 1].c_str () : nullptr;
}

uint32_t Lv2Host::portIndex (const char* symbol) const
{
	LilvNode* node = lilv_new_string (lilvWorld, symbol);
	const LilvPort* port = lilv_plugin_get_port_by_symbol (lilvPlugin, node);
	lilv_node_free (node);
	if (!port)
		throw std::runtime_error (std::string ("the plug-in has no port ") + symbol);
	return lilv_port_get_index (lilvPlugin, port);
}

void Lv2Host::activate () { lilv_instance_activate (lilvInstance); }

void Lv2Host::deactivate () { lilv_instance_deactivate (lilvInstance); }

void Lv2Host::startSequence ()
{
	lv2_atom_forge_set_buffer (&forge, reinterpret_cast<uint8_t*> (eventBuffer.data ()), EVENT_BUFFER_BYTES);
	lv2_atom_forge_sequence_head (&forge, &sequenceFrame, 0);
}

void Lv2Host::queueMidi (uint32_t frame, const uint8_t* bytes, uint32_t size)
{
	lv2_atom_forge_frame_time (&forge, frame);
	lv2_atom_forge_atom (&forge, size, map (LV2_MIDI__MidiEvent));
	lv2_atom_forge_write (&forge, bytes, size);
}

void Lv2Host::queuePatchString (uint32_t frame, const char* property, const std::string& text)
{
	LV2_Atom_Forge_Frame object;
	lv2_atom_forge_frame_time (&forge, frame);
	lv2_atom_forge_object (&forge, &object, 0, map (LV2_PATCH__Set));
	lv2_atom_forge_key (&forge, map (LV2_PATCH__property));
	lv2_atom_forge_urid (&forge, map (property));
	lv2_atom_forge_key (&forge, map (LV2_PATCH__value));
	lv2_atom_forge_string (&forge, text.c_str (), static_cast<uint32_t> (text.size ()));
	lv2_atom_forge_pop (&forge, &object);
}

void Lv2Host::queueAtom (uint32_t frame, const LV2_Atom& atom)
{
	lv2_atom_forge_frame_time (&forge, frame);
	lv2_atom_forge_write (&forge, &atom, static_cast<uint32_t> (sizeof (LV2_Atom)) + atom.size);
}

void Lv2Host::runAudio (uint32_t frames)
{
	size_t offset = 0;
	if (workerInterface && workerInterface->work_response)
		for (const uint32_t size : responseSizes)
		{
			workerInterface->work_response (lilv_instance_get_handle (lilvInstance), size,
			                                responseBytes.data () + offset);
			offset += size;
		}
	responseSizes.clear ();
	responseBytes.clear ();
	auto* notify = reinterpret_cast<LV2_Atom*> (notifyBuffer.data ());
	notify->size = std::min<uint32_t> (notifyCapacity, NOTIFY_BUFFER_BYTES) - sizeof (LV2_Atom);
	notify->type = 0;
	lilv_instance_run (lilvInstance, frames);
	startSequence ();
}

void Lv2Host::runWork ()
{
	size_t offset = 0;
	for (const uint32_t size : workSizes)
	{
		++workRuns;
		if (!workerInterface || workerInterface->work (lilv_instance_get_handle (lilvInstance), respond, this, size,
		                                               workBytes.data () + offset) != LV2_WORKER_SUCCESS)
			++workFailures;
		offset += size;
	}
	workSizes.clear ();
	workBytes.clear ();
}

LV2_Worker_Status Lv2Host::workNow (uint32_t size, const void* data)
{
	if (!workerInterface)
		return LV2_WORKER_ERR_UNKNOWN;
	return workerInterface->work (lilv_instance_get_handle (lilvInstance), respond, this, size, data);
}

LV2_Worker_Status Lv2Host::scheduleWork (LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data)
{
	auto* host = static_cast<Lv2Host*> (handle);
	if (host->workBytes.size () + size > host->workBytes.capacity () ||
	    host->workSizes.size () == host->workSizes.capacity ())
		return LV2_WORKER_ERR_NO_SPACE;
	const auto* bytes = static_cast<const uint8_t*> (data);
	host->workBytes.insert (host->workBytes.end (), bytes, bytes + size);
	host->workSizes.push_back (size);
	return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Lv2Host::respond (LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
{
	auto* host = static_cast<Lv2Host*> (handle);
	if (host->responseBytes.size () + size > host->responseBytes.capacity () ||
	    host->responseSizes.size () == host->responseSizes.capacity ())
		return LV2_WORKER_ERR_NO_SPACE;
	const auto* bytes = static_cast<const uint8_t*> (data);
	host->responseBytes.insert (host->responseBytes.end (), bytes, bytes + size);
	host->responseSizes.push_back (size);
	++host->workResponses;
	return LV2_WORKER_SUCCESS;
}

const void* Lv2Host::portValue (const char* symbol, void* user, uint32_t* size, uint32_t* type)
{
	auto* host = static_cast<Lv2Host*> (user);
	*size = sizeof (float);
	*type = host->map (LV2_ATOM__Float);
	return &host->controls[host->portIndex (symbol)];
}

void Lv2Host::setPortValue (const char* symbol, void* user, const void* value, uint32_t size, uint32_t type)
{
	auto* host = static_cast<Lv2Host*> (user);
	if (size == sizeof (float) && type == host->map (LV2_ATOM__Float))
		std::memcpy (&host->controls[host->portIndex (symbol)], value, sizeof (float));
}

std::string Lv2Host::saveState ()
{
	LilvState* state =
		lilv_state_new_from_instance (lilvPlugin, lilvInstance, &mapFeature, nullptr, nullptr, nullptr, nullptr,
	                                  portValue, this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features.data ());
	if (!state)
		throw std::runtime_error ("lilv could not save the plug-in's state");
	char* text = lilv_state_to_string (lilvWorld, &mapFeature, &unmapFeature, state, "urn:zorv:saved-state", nullptr);
	lilv_state_free (state);
	std::string turtle = text ? text : "";
	lilv_free (text);
	return turtle;
}

bool Lv2Host::restoreState (const std::string& turtle)
{
	LilvState* state = lilv_state_new_from_string (lilvWorld, &mapFeature, turtle.c_str ());
	if (!state)
		return false;
	lilv_state_restore (state, lilvInstance, setPortValue, this, 0, features.data ());
	lilv_state_free (state);
	return true;
}

bool Lv2Host::loadPreset (const std::string& uri)
{
	Node preset (lilvWorld, uri.c_str ());
	lilv_world_load_resource (lilvWorld, preset.node);
	LilvState* state = lilv_state_new_from_world (lilvWorld, &mapFeature, preset.node);
	if (!state)
		return false;
	lilv_state_restore (state, lilvInstance, setPortValue, this, 0, features.data ());
	lilv_state_free (state);
	return true;
}

std::string Lv2Host::savedProperty (const char* key, std::string* type)
{
	PropertyCapture capture {map (key), {}, 0};
	if (stateInterface)
		stateInterface->save (lilv_instance_get_handle (lilvInstance), captureProperty, &capture,
		                      LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features.data ());
	if (type)
		*type = capture.type ? unmapUri (this, capture.type) : "";
	return capture.value;
}

LV2_State_Status Lv2Host::restoreProperty (const char* key, const std::string& value, const char* type)
{
	if (!stateInterface)
		return LV2_STATE_ERR_NO_FEATURE;
	PropertyOffer offer {map (key), &value, map (type)};
	return stateInterface->restore (lilv_instance_get_handle (lilvInstance), offerProperty, &offer, 0,
	                                features.data ());
}

} // namespace tavik::tools
