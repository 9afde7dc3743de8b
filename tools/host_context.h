// The host application object the tools hand to plug-ins.
#pragma once

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <string>

namespace tavik::tools {

/** IHostApplication with the tool's own name; creates messages and
 *  attribute lists for plug-ins that talk between their components.
 *  Not reference counted (addRef/release do nothing): the tool owns it and
 *  keeps it alive until every module is unloaded. */
class ToolHostApplication : public Steinberg::Vst::HostApplication
{
public:
	explicit ToolHostApplication (std::string name) : hostName (std::move (name)) {}

	Steinberg::tresult PLUGIN_API getName (Steinberg::Vst::String128 name) override;

private:
	std::string hostName;
};

} // namespace tavik::tools
