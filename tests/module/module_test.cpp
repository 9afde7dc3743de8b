// The built bundle as a host loads it: entry points, factory, classes, and the
// components the factory creates.

#include "loaded_module.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "tavik_parameter.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using tavik::test::kModulePath;
using tavik::test::wordAt;
using tavik::test::ZorvModule;

// Calls visit (entry, strings) for every entry of type T in each section
// of `sectionType` of an ELF file, with the section's string table.
template <typename T, typename Visit>
void forEachSectionEntry (const std::string& path, uint32_t sectionType, Visit visit)
{
	std::ifstream in (path, std::ios::binary);
	const std::string image ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char> ());
	if (image.size () < sizeof (Elf64_Ehdr))
		return;
	Elf64_Ehdr header;
	std::memcpy (&header, image.data (), sizeof (header));
	for (int i = 0; i < header.e_shnum; ++i)
	{
		Elf64_Shdr section;
		std::memcpy (&section, image.data () + header.e_shoff + static_cast<size_t> (i) * header.e_shentsize,
		             sizeof (section));
		if (section.sh_type != sectionType)
			continue;
		Elf64_Shdr strings;
		std::memcpy (&strings, image.data () + header.e_shoff + section.sh_link * header.e_shentsize, sizeof (strings));
		for (size_t at = 0; at + sizeof (T) <= section.sh_size; at += sizeof (T))
		{
			T entry;
			std::memcpy (&entry, image.data () + section.sh_offset + at, sizeof (entry));
			visit (entry, image.data () + strings.sh_offset);
		}
	}
}

// Every symbol the module defines in its dynamic symbol table, read from the
// ELF file itself.
std::set<std::string> definedDynamicSymbols (const char* path)
{
	std::set<std::string> names;
	forEachSectionEntry<Elf64_Sym> (path, SHT_DYNSYM, [&names] (const Elf64_Sym& symbol, const char* strings) {
		const int binding = ELF64_ST_BIND (symbol.st_info);
		if (symbol.st_shndx != SHN_UNDEF && (binding == STB_GLOBAL || binding == STB_WEAK))
			names.insert (strings + symbol.st_name);
	});
	return names;
}

// The libraries an ELF file names in its dynamic section (DT_NEEDED).
std::set<std::string> neededLibraries (const std::string& path)
{
	std::set<std::string> names;
	forEachSectionEntry<Elf64_Dyn> (path, SHT_DYNAMIC, [&names] (const Elf64_Dyn& entry, const char* strings) {
		if (entry.d_tag == DT_NEEDED)
			names.insert (strings + entry.d_un.d_val);
	});
	return names;
}

bool namesLibrary (const std::set<std::string>& libraries, const std::string& stem)
{
	for (const std::string& library : libraries)
		if (library.rfind ("lib" + stem + ".so", 0) == 0)
			return true;
	return false;
}

// Bytes from the internet are read by the bank download helper beside the
// module, never inside the host's process.
TEST (ZorvBundle, OnlyTheDownloadHelperLinksTheDownloadAndArchiveLibraries)
{
	const std::set<std::string> module = neededLibraries (kModulePath);
	ASSERT_TRUE (namesLibrary (module, "c")) << "no dynamic section read";
	const std::string helper = ZORV_BUNDLE_PATH "/Contents/x86_64-linux/zorv-bank-fetch";
	const std::set<std::string> helperNeeds = neededLibraries (helper);
	for (const char* library : {"curl", "archive"})
	{
		EXPECT_FALSE (namesLibrary (module, library)) << library;
		EXPECT_TRUE (namesLibrary (helperNeeds, library)) << library;
	}
	// The module may keep OpenSSL's digests, for checking a bank's assets.
	EXPECT_FALSE (namesLibrary (module, "ssl"));
}

TEST_F (ZorvModule, ExportsOnlyTheHostEntryPointsAndTheDiagnosticBridge)
{
	EXPECT_EQ (definedDynamicSymbols (kModulePath),
	           (std::set<std::string> {"GetPluginFactory", "ModuleEntry", "ModuleExit", "tavikStartCadenceClock",
	                                   "tavikStopCadenceClock", "tavikDiagnosticBridgeAbiVersion",
	                                   "tavikInstallDiagnosticBridgeSink", "tavikDeliverDiagnosticBridgeMessage",
	                                   "tavikTickDiagnosticCadence", "tavikPluginUiRootForDiagnostics"}));
}

TEST_F (ZorvModule, FindsItsEditorPageInsideTheBundle)
{
	using UiRoot = const char* (*) ();
	auto uiRoot = reinterpret_cast<UiRoot> (dlsym (handle, "tavikPluginUiRootForDiagnostics"));
	ASSERT_NE (uiRoot, nullptr);
	const std::string expected = std::filesystem::canonical (ZORV_BUNDLE_PATH "/Contents/Resources/ui").string ();
	EXPECT_EQ (std::string (uiRoot ()), expected);
	// Asked again, the same answer.
	EXPECT_EQ (std::string (uiRoot ()), expected);
}

TEST_F (ZorvModule, FactoryIsSharedAndReferenceCounted)
{
	IPluginFactory* second = getFactory ();
	EXPECT_EQ (second, factory);
	// module's own reference + two callers, + this addRef
	EXPECT_EQ (second->addRef (), 4u);
	second->release ();
	second->release ();
}

TEST_F (ZorvModule, EntryAndExitAreCounted)
{
	EXPECT_TRUE (entry (handle)); // a second host part in the same process
	EXPECT_TRUE (exit ());
	IPluginFactory* again = getFactory ();
	EXPECT_EQ (again, factory); // still the same, module not de-initialised
	again->release ();
}

TEST_F (ZorvModule, FactoryAnnouncesProcessorAndController)
{
	PFactoryInfo info;
	ASSERT_EQ (factory->getFactoryInfo (&info), kResultOk);
	EXPECT_STREQ (info.vendor, "Tavik Music");
	EXPECT_EQ (std::strncmp (info.email, "mailto:", 7), 0);
	EXPECT_EQ (std::strncmp (info.url, "https://", 8), 0);
	EXPECT_EQ (info.flags, PFactoryInfo::kUnicode);
	ASSERT_EQ (factory->countClasses (), 2);

	FUnknownPtr<IPluginFactory2> factory2 (factory);
	ASSERT_TRUE (factory2);
	PClassInfo2 processor, controller;
	ASSERT_EQ (factory2->getClassInfo2 (0, &processor), kResultOk);
	ASSERT_EQ (factory2->getClassInfo2 (1, &controller), kResultOk);
	EXPECT_NE (factory2->getClassInfo2 (2, &controller), kResultOk);
	ASSERT_EQ (factory2->getClassInfo2 (1, &controller), kResultOk);

	EXPECT_STREQ (processor.category, "Audio Module Class");
	EXPECT_STREQ (processor.name, "Zorv");
	EXPECT_EQ (processor.classFlags, 1u);
	EXPECT_STREQ (processor.subCategories, "Instrument|Synth");
	EXPECT_STREQ (processor.sdkVersion, "VST 3.8.1");
	EXPECT_STREQ (processor.version, "0.0.0");
	EXPECT_STREQ (processor.vendor, "");
	EXPECT_EQ (processor.cardinality, PClassInfo::kManyInstances);

	EXPECT_STREQ (controller.category, "Component Controller Class");
	EXPECT_STREQ (controller.name, "Zorv Controller");
	EXPECT_EQ (controller.classFlags, 0u);
	EXPECT_STREQ (controller.subCategories, "");
	EXPECT_STREQ (controller.sdkVersion, "VST 3.8.1");

	for (const PClassInfo2* c : {&processor, &controller})
		for (int w = 1; w < 4; ++w)
			EXPECT_EQ (wordAt (c->cid, w), uint32_t (wordAt (c->cid, 0) + w * 0x01000193u));
	EXPECT_NE (wordAt (processor.cid, 0), wordAt (controller.cid, 0));

	FUnknownPtr<IPluginFactory3> factory3 (factory);
	ASSERT_TRUE (factory3);
	PClassInfoW wide;
	ASSERT_EQ (factory3->getClassInfoUnicode (1, &wide), kResultOk);
	EXPECT_EQ (tavik::string128ToBytes (wide.name), "Zorv Controller");
}

TEST_F (ZorvModule, UnknownClassesAndInterfacesAreRefused)
{
	TUID unknown = {1, 2, 3};
	void* object = reinterpret_cast<void*> (1);
	EXPECT_NE (factory->createInstance (unknown, IComponent::iid, &object), kResultOk);
	EXPECT_EQ (object, nullptr);
	PClassInfo info;
	ASSERT_EQ (factory->getClassInfo (1, &info), kResultOk);
	object = reinterpret_cast<void*> (1);
	EXPECT_EQ (factory->createInstance (info.cid, IAudioProcessor::iid, &object), kNoInterface);
	EXPECT_EQ (object, nullptr);
}

TEST_F (ZorvModule, ProcessorOwnsItsBusesAndNamesTheController)
{
	IPtr<IComponent> component = create<IComponent> (0);
	ASSERT_TRUE (component);
	ASSERT_EQ (component->initialize (nullptr), kResultOk);

	TUID controllerCid;
	ASSERT_EQ (component->getControllerClassId (controllerCid), kResultOk);
	PClassInfo controllerInfo;
	ASSERT_EQ (factory->getClassInfo (1, &controllerInfo), kResultOk);
	EXPECT_EQ (std::memcmp (controllerCid, controllerInfo.cid, sizeof (TUID)), 0);

	EXPECT_EQ (component->getBusCount (kAudio, kInput), 0);
	ASSERT_EQ (component->getBusCount (kAudio, kOutput), 1);
	ASSERT_EQ (component->getBusCount (kEvent, kInput), 1);
	EXPECT_EQ (component->getBusCount (kEvent, kOutput), 0);
	BusInfo bus;
	ASSERT_EQ (component->getBusInfo (kAudio, kOutput, 0, bus), kResultOk);
	EXPECT_EQ (tavik::string128ToBytes (bus.name), "Stereo Out");
	EXPECT_EQ (bus.channelCount, 2);
	EXPECT_EQ (bus.busType, kMain);
	EXPECT_EQ (bus.flags, uint32 (BusInfo::kDefaultActive));
	ASSERT_EQ (component->getBusInfo (kEvent, kInput, 0, bus), kResultOk);
	EXPECT_EQ (tavik::string128ToBytes (bus.name), "Event In");
	EXPECT_EQ (bus.channelCount, 1);

	FUnknownPtr<IAudioProcessor> processor (component);
	ASSERT_TRUE (processor);
	SpeakerArrangement arrangement = 0;
	ASSERT_EQ (processor->getBusArrangement (kOutput, 0, arrangement), kResultOk);
	EXPECT_EQ (arrangement, SpeakerArr::kStereo);
	EXPECT_EQ (component->terminate (), kResultOk);
}

TEST_F (ZorvModule, ControllerPublishesParametersUnitAndPresets)
{
	IPtr<IEditController> controller = create<IEditController> (1);
	ASSERT_TRUE (controller);
	ASSERT_EQ (controller->initialize (nullptr), kResultOk);
	// The product's 26, the program change, then the hidden parameters the
	// MIDI mapping assigns (16 channels by 130 controllers).
	ASSERT_EQ (controller->getParameterCount (), 27 + 16 * 130);

	for (int32 i = 0; i < 26; ++i)
	{
		ParameterInfo info;
		ASSERT_EQ (controller->getParameterInfo (i, info), kResultOk);
		EXPECT_EQ (info.id, ParamID (i));
		EXPECT_EQ (info.flags, ParameterInfo::kCanAutomate);
		EXPECT_EQ (controller->getParamNormalized (info.id), info.defaultNormalizedValue);
	}
	ParameterInfo program;
	ASSERT_EQ (controller->getParameterInfo (26, program), kResultOk);
	EXPECT_EQ (program.id, 0x3F010001u);
	EXPECT_EQ (program.stepCount, 9);
	EXPECT_EQ (program.flags & ParameterInfo::kCanAutomate, 0);
	EXPECT_NE (program.flags & ParameterInfo::kIsProgramChange, 0);
	EXPECT_NE (program.flags & ParameterInfo::kIsList, 0);

	String128 text;
	ASSERT_EQ (controller->getParamStringByValue (0, 0.5, text), kResultOk);
	EXPECT_EQ (tavik::string128ToBytes (text), "Xiaoluo");
	ASSERT_EQ (controller->getParamStringByValue (0x3F010001, 1.0, text), kResultOk);
	EXPECT_EQ (tavik::string128ToBytes (text), "Metal Beater Clang");
	ParamValue parsed = -1;
	tavik::asciiToString128 ("0.5", text);
	ASSERT_EQ (controller->getParamValueByString (4, text, parsed), kResultOk);
	EXPECT_EQ (parsed, 0.5);
	EXPECT_EQ (controller->normalizedParamToPlain (16, 1.0), 440.0);
	EXPECT_EQ (controller->plainParamToNormalized (18, 0.0), 0.5);

	FUnknownPtr<IUnitInfo> units (controller);
	ASSERT_TRUE (units);
	ASSERT_EQ (units->getUnitCount (), 2); // the root and the MIDI controllers
	UnitInfo unit;
	ASSERT_EQ (units->getUnitInfo (0, unit), kResultOk);
	EXPECT_EQ (unit.id, kRootUnitId);
	EXPECT_EQ (unit.parentUnitId, kNoParentUnitId);
	EXPECT_EQ (unit.programListId, 0x3F010001);
	EXPECT_EQ (tavik::string128ToBytes (unit.name), "Root");
	ASSERT_EQ (units->getProgramListCount (), 1);
	ProgramListInfo list;
	ASSERT_EQ (units->getProgramListInfo (0, list), kResultOk);
	EXPECT_EQ (list.id, 0x3F010001);
	EXPECT_EQ (list.programCount, 10);
	EXPECT_EQ (tavik::string128ToBytes (list.name), "Factory Presets");
	ASSERT_EQ (units->getProgramName (list.id, 7, text), kResultOk);
	EXPECT_EQ (tavik::string128ToBytes (text), "Table Gong");
	EXPECT_EQ (controller->terminate (), kResultOk);
}

TEST (ZorvModuleExit, MoreExitsThanEntriesAreRefused)
{
	void* handle = dlopen (kModulePath, RTLD_NOW | RTLD_LOCAL);
	ASSERT_NE (handle, nullptr);
	auto entry = reinterpret_cast<bool (*) (void*)> (dlsym (handle, "ModuleEntry"));
	auto exit = reinterpret_cast<bool (*) ()> (dlsym (handle, "ModuleExit"));
	EXPECT_FALSE (exit ());
	EXPECT_TRUE (entry (handle));
	EXPECT_TRUE (exit ());
	EXPECT_FALSE (exit ());
	dlclose (handle);
}

} // namespace
