// A VST 3 module loaded the way a Linux host loads one: dlopen the bundle's
// shared object, ModuleEntry, GetPluginFactory; undone in reverse order.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/base/smartpointer.h"

#include <stdexcept>
#include <string>

namespace tavik::tools {

/** A failure of the host side, worded for a one-line error message. */
class HostError : public std::runtime_error
{
public:
	using std::runtime_error::runtime_error;
};

/** Folder name of this machine's binaries inside a bundle, e.g. "x86_64-linux". */
const char* bundleArchitecture ();

/** The shared object of a bundle folder (Name.vst3/Contents/<arch>/Name.so),
 *  or the path itself when it names a file. Throws HostError. */
std::string resolveModulePath (const std::string& bundleOrFile);

class HostedModule
{
public:
	/** Loads the module and takes its factory. Throws HostError. */
	explicit HostedModule (const std::string& bundleOrFile);
	~HostedModule ();

	HostedModule (const HostedModule&) = delete;
	HostedModule& operator= (const HostedModule&) = delete;

	const std::string& path () const { return modulePath; }
	Steinberg::IPluginFactory* factory () const { return pluginFactory; }
	/** An exported symbol of the module, or null. */
	void* symbol (const char* name) const;

private:
	void unload ();

	std::string modulePath;
	void* handle = nullptr;
	bool entered = false;
	Steinberg::IPtr<Steinberg::IPluginFactory> pluginFactory;
};

} // namespace tavik::tools
