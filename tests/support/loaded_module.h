// The built Zorv.so loaded as a host loads it (dlopen, ModuleEntry,
// GetPluginFactory), for the tests that talk to the module only through its
// VST 3 interfaces.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/base/smartpointer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <dlfcn.h>

namespace tavik::test {

inline const char* const kModulePath = ZORV_BUNDLE_PATH "/Contents/x86_64-linux/Zorv.so";

/** Word `word` of a class id, read most significant byte first. */
inline uint32_t wordAt (const Steinberg::TUID cid, int word)
{
	const auto* b = reinterpret_cast<const unsigned char*> (cid) + 4 * word;
	return (uint32_t (b[0]) << 24) | (uint32_t (b[1]) << 16) | (uint32_t (b[2]) << 8) | b[3];
}

class ZorvModule : public ::testing::Test
{
protected:
	using EntryFunc = bool (*) (void*);
	using ExitFunc = bool (*) ();
	using FactoryFunc = Steinberg::IPluginFactory* (*) ();

	void SetUp () override
	{
		handle = dlopen (kModulePath, RTLD_NOW | RTLD_LOCAL);
		ASSERT_NE (handle, nullptr) << dlerror ();
		entry = reinterpret_cast<EntryFunc> (dlsym (handle, "ModuleEntry"));
		exit = reinterpret_cast<ExitFunc> (dlsym (handle, "ModuleExit"));
		getFactory = reinterpret_cast<FactoryFunc> (dlsym (handle, "GetPluginFactory"));
		ASSERT_TRUE (entry && exit && getFactory);
		ASSERT_TRUE (entry (handle));
		factory = getFactory ();
		ASSERT_NE (factory, nullptr);
	}

	void TearDown () override
	{
		if (factory)
			factory->release ();
		if (exit)
		{
			EXPECT_TRUE (exit ());
		}
		if (handle)
			dlclose (handle);
	}

	template <typename I>
	Steinberg::IPtr<I> create (int classIndex)
	{
		Steinberg::PClassInfo info;
		EXPECT_EQ (factory->getClassInfo (classIndex, &info), Steinberg::kResultOk);
		void* object = nullptr;
		EXPECT_EQ (factory->createInstance (info.cid, I::iid, &object), Steinberg::kResultOk);
		return Steinberg::owned (static_cast<I*> (object));
	}

	void* handle = nullptr;
	EntryFunc entry = nullptr;
	ExitFunc exit = nullptr;
	FactoryFunc getFactory = nullptr;
	Steinberg::IPluginFactory* factory = nullptr;
};

} // namespace tavik::test
