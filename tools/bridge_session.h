// The editor's protocol over standard input and output, through the
// module's exported diagnostic bridge, with the tool's own commands to tick
// the cadence and to render what the controller has set.
#pragma once

#include "edit_forwarder.h"
#include "host_context.h"
#include "hosted_module.h"
#include "plugin_instance.h"
#include "render_options.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <cstddef>
#include <string>

namespace tavik {
struct JsonValue;
}

namespace tavik::tools {

class BridgeSession
{
public:
	using Install = int (*) (Steinberg::FUnknown*, void (*) (void*, const char*, size_t), void*);
	using Deliver = int (*) (Steinberg::FUnknown*, const char*, size_t);
	using Tick = int (*) (Steinberg::FUnknown*);

	/** Loads the module and finds its bridge; throws HostError without one. */
	BridgeSession (const Options& o);

	/** Runs the session until "quit" or the end of standard input. */
	int run ();

private:
	static void printLine (void*, const char* json, size_t length);

	// False ends the session.
	bool runCommand (const JsonValue& command, const PluginInstance& plugin);

	// "wait" ticks the cadence, as a host's run loop would, until the plug-in
	// sends a message of the given type (a download finishing, say) or the
	// time runs out; then it says which.
	void waitCommand (const JsonValue& command, Steinberg::FUnknown* controller);

	// "set" changes a parameter as the host's automation would; "get" reads
	// it; "text" asks for the display text a host shows for a value.
	static void parameterCommand (const std::string& name, const JsonValue& command,
	                              Steinberg::Vst::IEditController* controller);

	static void printDisplayText (Steinberg::Vst::IEditController* controller, Steinberg::Vst::ParamID id,
	                              double normalized);

	// What a "wait" looks for in the lines the plug-in sends (one session
	// at a time, on the main thread).
	static inline const std::string* waitedFor = nullptr;
	static inline bool seen = false;

	const Options& options;
	ToolHostApplication host {"Tavik zorv-render"};
	HostedModule module;
	EditForwarder edits;
	Install install = nullptr;
	Deliver deliver = nullptr;
	Tick tick = nullptr;
	double rate = 48000;
	int block = 512;
};

} // namespace tavik::tools
