// A small LV2 host over lilv, for the LV2 render tool and the LV2 tests:
// it finds a plug-in on LV2_PATH, instantiates it with urid:map and unmap,
// the block-length options and a worker, connects every port to its own
// buffer, and runs blocks with the MIDI and patch events queued for them.
// The worker's requests are run after the block that made them, as a
// free-wheeling host runs them; nothing the host does inside run()
// allocates once it is built.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tavik::tools {

class Lv2Host
{
public:
	/** Loads every bundle on LV2_PATH and instantiates `pluginUri`; throws
	 *  std::runtime_error saying what is missing. */
	Lv2Host (const std::string& pluginUri, double sampleRate, int maxBlock);
	~Lv2Host ();
	Lv2Host (const Lv2Host&) = delete;
	Lv2Host& operator= (const Lv2Host&) = delete;

	LilvWorld* world () const { return lilvWorld; }
	const LilvPlugin* plugin () const { return lilvPlugin; }
	LilvInstance* instance () const { return lilvInstance; }
	LV2_URID map (const char* uri);
	uint32_t portCount () const { return static_cast<uint32_t> (controls.size ()); }
	/** The index of the port with `symbol`; throws when there is none. */
	uint32_t portIndex (const char* symbol) const;

	/** The value of a control port (input or output). */
	float& control (uint32_t port) { return controls[port]; }
	const float* audio (uint32_t port) const { return audioBuffers.at (port).data (); }

	void activate ();
	void deactivate ();

	/** Queues a MIDI message for the next block at `frame`. */
	void queueMidi (uint32_t frame, const uint8_t* bytes, uint32_t size);
	/** Queues a patch:Set of `property` to a string for the next block. */
	void queuePatchString (uint32_t frame, const char* property, const std::string& text);
	/** Queues an atom (an object, say) as it is for the next block. */
	void queueAtom (uint32_t frame, const LV2_Atom& atom);
	/** The notify sequence of the last block (its atom's size is what the
	 *  plug-in wrote). */
	const LV2_Atom_Sequence& notifyOutput () const
	{
		return *reinterpret_cast<const LV2_Atom_Sequence*> (notifyBuffer.data ());
	}
	/** Makes the notify buffer look `bytes` large to the plug-in (at most
	 *  the buffer's own size). */
	void setNotifyCapacity (uint32_t bytes) { notifyCapacity = bytes; }
	/** Runs one block of `frames` (at most the host's block length), then
	 *  the worker requests it made. */
	void run (uint32_t frames)
	{
		runAudio (frames);
		runWork ();
	}
	/** The worker's answers so far, handed to the plug-in's work_response
	 *  on the audio thread before its next run(). */
	int workResponses = 0;
	/** The plug-in's run() alone, as the audio thread calls it (after the
	 *  worker's answers since the last). */
	void runAudio (uint32_t frames);
	/** The worker requests made since the last, as the worker thread runs
	 *  them. */
	void runWork ();
	/** Calls the plug-in's work() with `data` at once, as a worker thread
	 *  of the caller's would (the requests of run() are runWork()'s). */
	LV2_Worker_Status workNow (uint32_t size, const void* data);
	/** Worker requests run so far, and those the worker refused. */
	int workRuns = 0;
	int workFailures = 0;

	/** The plug-in's state as lilv saves it (port values and properties),
	 *  as Turtle. */
	std::string saveState ();
	/** Restores a state saved by saveState (ports through the host's
	 *  set-value callback); false when lilv cannot read it. */
	bool restoreState (const std::string& turtle);
	/** Loads a preset by URI as a host's preset menu does. */
	bool loadPreset (const std::string& uri);

	/** The property `key` the plug-in's state interface saves, straight
	 *  from its save() (its type in `type`); empty when it saves none. */
	std::string savedProperty (const char* key, std::string* type = nullptr);
	/** Calls the plug-in's restore() with one property, as a host reading
	 *  a stored state would; returns its status. */
	LV2_State_Status restoreProperty (const char* key, const std::string& value, const char* type);

private:
	static LV2_URID mapUri (LV2_URID_Map_Handle handle, const char* uri);
	static const char* unmapUri (LV2_URID_Unmap_Handle handle, LV2_URID urid);
	static LV2_Worker_Status scheduleWork (LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data);
	static LV2_Worker_Status respond (LV2_Worker_Respond_Handle handle, uint32_t size, const void* data);
	static const void* portValue (const char* symbol, void* user, uint32_t* size, uint32_t* type);
	static void setPortValue (const char* symbol, void* user, const void* value, uint32_t size, uint32_t type);
	void startSequence ();

	LilvWorld* lilvWorld = nullptr;
	const LilvPlugin* lilvPlugin = nullptr;
	LilvInstance* lilvInstance = nullptr;
	const LV2_Worker_Interface* workerInterface = nullptr;
	const LV2_State_Interface* stateInterface = nullptr;

	std::map<std::string, LV2_URID> uris;
	std::vector<std::string> uriNames; // index urid - 1
	LV2_URID_Map mapFeature {};
	LV2_URID_Unmap unmapFeature {};
	LV2_Worker_Schedule scheduleFeature {};
	int32_t blockLength = 0;
	std::vector<LV2_Options_Option> options;
	std::vector<LV2_Feature> featureStore;
	std::vector<const LV2_Feature*> features;

	std::vector<float> controls;
	std::map<uint32_t, std::vector<float>> audioBuffers;
	std::vector<uint32_t> atomInputs, atomOutputs;
	std::vector<uint64_t> eventBuffer;  // the input sequence (8-byte aligned)
	std::vector<uint64_t> notifyBuffer; // every output sequence
	LV2_Atom_Forge forge {};
	LV2_Atom_Forge_Frame sequenceFrame {};
	// Worker requests of the current block: sizes and bytes, in buffers
	// reserved at construction.
	std::vector<uint8_t> workBytes;
	std::vector<uint32_t> workSizes;
	// The worker's answers, waiting for the audio thread.
	std::vector<uint8_t> responseBytes;
	std::vector<uint32_t> responseSizes;
	uint32_t notifyCapacity = 0;
};

} // namespace tavik::tools
