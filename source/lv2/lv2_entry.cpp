// The LV2 module's entry point: the descriptor and the state and worker
// interfaces, each a thin call into Lv2Instrument that lets no exception
// reach the host.

#include "lv2_instrument.h"

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstring>
#include <new>

namespace tavik::lv2 {

namespace {

Lv2Instrument* self (LV2_Handle handle) { return static_cast<Lv2Instrument*> (handle); }

LV2_Handle instantiate (const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features)
{
	try
	{
		return Lv2Instrument::create (rate, features).release ();
	}
	catch (...)
	{
		return nullptr;
	}
}

void connectPort (LV2_Handle handle, uint32_t port, void* data) { self (handle)->connect (port, data); }

void activate (LV2_Handle handle)
{
	try
	{
		self (handle)->activate ();
	}
	catch (...)
	{
		// The engine stays unready and run() renders silence.
	}
}

void run (LV2_Handle handle, uint32_t frames) { self (handle)->run (frames); }

void deactivate (LV2_Handle) {}

void cleanup (LV2_Handle handle) { delete self (handle); }

LV2_State_Status save (LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                       const LV2_Feature* const*)
{
	try
	{
		return self (handle)->save (store, state);
	}
	catch (...)
	{
		return LV2_STATE_ERR_UNKNOWN;
	}
}

LV2_State_Status restore (LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                          const LV2_Feature* const*)
{
	try
	{
		return self (handle)->restore (retrieve, state);
	}
	catch (...)
	{
		return LV2_STATE_ERR_UNKNOWN;
	}
}

LV2_Worker_Status work (LV2_Handle handle, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle respondHandle,
                        uint32_t size, const void* data)
{
	try
	{
		return self (handle)->work (size, data, respond, respondHandle);
	}
	catch (...)
	{
		return LV2_WORKER_ERR_UNKNOWN;
	}
}

LV2_Worker_Status workResponse (LV2_Handle handle, uint32_t size, const void* data)
{
	self (handle)->workResponse (size, data);
	return LV2_WORKER_SUCCESS;
}

const LV2_State_Interface STATE_INTERFACE = {save, restore};
const LV2_Worker_Interface WORKER_INTERFACE = {work, workResponse, nullptr};

const void* extensionData (const char* uri)
{
	if (!uri)
		return nullptr;
	if (std::strcmp (uri, LV2_STATE__interface) == 0)
		return &STATE_INTERFACE;
	if (std::strcmp (uri, LV2_WORKER__interface) == 0)
		return &WORKER_INTERFACE;
	return nullptr;
}

const LV2_Descriptor DESCRIPTOR = {PLUGIN_URI, instantiate, connectPort, activate,
                                   run,        deactivate,  cleanup,     extensionData};

} // namespace

} // namespace tavik::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor (uint32_t index)
{
	return index == 0 ? &tavik::lv2::DESCRIPTOR : nullptr;
}
