#include "hosted_module.h"

#include <dlfcn.h>
#include <filesystem>

namespace tavik::tools {

namespace fs = std::filesystem;

const char* bundleArchitecture ()
{
#if defined(__x86_64__)
	return "x86_64-linux";
#elif defined(__aarch64__)
	return "aarch64-linux";
#elif defined(__i386__)
	return "i386-linux";
#else
#error "unknown architecture"
#endif
}

std::string resolveModulePath (const std::string& bundleOrFile)
{
	std::error_code ec;
	const fs::path given (bundleOrFile);
	const fs::file_status status = fs::status (given, ec);
	if (ec || !fs::exists (status))
		throw HostError (bundleOrFile + ": no such bundle or file");
	if (!fs::is_directory (status))
		return fs::absolute (given, ec).string ();

	fs::path bundle = given;
	if (!bundle.has_filename ())
		bundle = bundle.parent_path ();
	const fs::path binaryDir = bundle / "Contents" / bundleArchitecture ();
	const fs::path expected = binaryDir / (bundle.stem ().string () + ".so");
	if (fs::is_regular_file (expected, ec))
		return fs::absolute (expected, ec).string ();
	throw HostError (bundleOrFile + ": not a VST 3 bundle (no " +
	                 (fs::path ("Contents") / bundleArchitecture () / (bundle.stem ().string () + ".so")).string () +
	                 ")");
}

HostedModule::HostedModule (const std::string& bundleOrFile)
{
	modulePath = resolveModulePath (bundleOrFile);
	handle = dlopen (modulePath.c_str (), RTLD_LAZY | RTLD_LOCAL);
	if (!handle)
	{
		const char* why = dlerror ();
		throw HostError ("cannot load " + modulePath + ": " + (why ? why : "unknown error"));
	}

	using EntryFunc = bool (*) (void*);
	using FactoryFunc = Steinberg::IPluginFactory*(PLUGIN_API*) ();
	auto entry = reinterpret_cast<EntryFunc> (dlsym (handle, "ModuleEntry"));
	auto getFactory = reinterpret_cast<FactoryFunc> (dlsym (handle, "GetPluginFactory"));
	if (!entry || !getFactory)
	{
		dlclose (handle);
		throw HostError (modulePath + ": missing entry point " + (entry ? "GetPluginFactory" : "ModuleEntry"));
	}
	if (!entry (handle))
	{
		dlclose (handle);
		throw HostError (modulePath + ": ModuleEntry failed");
	}
	entered = true;
	Steinberg::IPluginFactory* factory = getFactory ();
	if (!factory)
	{
		unload ();
		throw HostError (modulePath + ": GetPluginFactory returned no factory");
	}
	pluginFactory = Steinberg::owned (factory);
}

HostedModule::~HostedModule () { unload (); }

void* HostedModule::symbol (const char* name) const { return handle ? dlsym (handle, name) : nullptr; }

void HostedModule::unload ()
{
	pluginFactory = nullptr;
	if (handle && entered)
	{
		using ExitFunc = bool (*) ();
		if (auto exitFunc = reinterpret_cast<ExitFunc> (dlsym (handle, "ModuleExit")))
			exitFunc ();
		entered = false;
	}
	if (handle)
	{
		dlclose (handle);
		handle = nullptr;
	}
}

} // namespace tavik::tools
