// vst3-inspect: loads a VST 3 bundle as a Linux host does and prints what a
// host sees of it as JSON: the factory, its classes, and for every audio
// processor class its buses, its controller's parameters, units and program
// lists. With --moduleinfo it prints instead the bundle's module-info
// document (Contents/Resources/moduleinfo.json), written from the factory
// alone, so that hosts can list the module's classes without loading it.
//
//   vst3-inspect [--moduleinfo] BUNDLE.vst3 [--compact]

#include "host_context.h"
#include "hosted_module.h"
#include "fixed_text.h"
#include "json_text.h"
#include "json_writer.h"
#include "plugin_instance.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using tavik::tools::appendJsonString;
using tavik::tools::HostError;
using tavik::tools::InstanceRequirements;
using tavik::tools::InstanceSetupError;
using tavik::tools::PluginInstance;

namespace {

// A small builder for the report: objects and arrays with commas handled.
class Report
{
public:
	explicit Report (bool prettyPrinted) : pretty (prettyPrinted) {}

	void beginObject (const char* key = nullptr) { open (key, '{'); }
	void endObject () { close ('}'); }
	void beginArray (const char* key = nullptr) { open (key, '['); }
	void endArray () { close (']'); }

	void string (const char* key, const std::string& value)
	{
		member (key);
		appendJsonString (text, value);
	}
	void integer (const char* key, long long value)
	{
		member (key);
		text += std::to_string (value);
	}
	void number (const char* key, double value)
	{
		member (key);
		tavik::jsonAppendNumber (text, value);
	}
	void boolean (const char* key, bool value)
	{
		member (key);
		text += value ? "true" : "false";
	}

	const std::string& str () const { return text; }

private:
	void newline ()
	{
		if (!pretty)
			return;
		text.push_back ('\n');
		text.append (2 * firstInLevel.size (), ' ');
	}
	void member (const char* key)
	{
		if (!firstInLevel.empty ())
		{
			if (!firstInLevel.back ())
				text.push_back (',');
			firstInLevel.back () = false;
			newline ();
		}
		if (key)
		{
			appendJsonString (text, key);
			text += pretty ? ": " : ":";
		}
	}
	void open (const char* key, char bracket)
	{
		member (key);
		text.push_back (bracket);
		firstInLevel.push_back (true);
	}
	void close (char bracket)
	{
		const bool empty = firstInLevel.back ();
		firstInLevel.pop_back ();
		if (!empty)
			newline ();
		text.push_back (bracket);
	}

	bool pretty;
	std::string text;
	std::vector<bool> firstInLevel;
};

std::string wide (const TChar* text, size_t capacity)
{
	return tavik::tools::utf16ToUtf8 (reinterpret_cast<const char16_t*> (text), capacity);
}

const char* busTypeName (BusType type) { return type == kMain ? "main" : "aux"; }

void reportParameterFlags (Report& report, int32 flags)
{
	static const struct
	{
		int32 flag;
		const char* name;
	} names[] = {
		{ParameterInfo::kCanAutomate, "canAutomate"}, {ParameterInfo::kIsReadOnly, "readOnly"},
		{ParameterInfo::kIsWrapAround, "wrapAround"}, {ParameterInfo::kIsList, "list"},
		{ParameterInfo::kIsHidden, "hidden"},         {ParameterInfo::kIsProgramChange, "programChange"},
		{ParameterInfo::kIsBypass, "bypass"},
	};
	report.beginArray ("flags");
	for (const auto& entry : names)
		if (flags & entry.flag)
			report.string (nullptr, entry.name);
	report.endArray ();
}

void reportBuses (Report& report, IComponent* component, IAudioProcessor* processor)
{
	static const struct
	{
		MediaType type;
		BusDirection dir;
		const char* key;
	} lists[] = {
		{kAudio, kInput, "audioInputs"},
		{kAudio, kOutput, "audioOutputs"},
		{kEvent, kInput, "eventInputs"},
		{kEvent, kOutput, "eventOutputs"},
	};
	report.beginObject ("buses");
	for (const auto& list : lists)
	{
		report.beginArray (list.key);
		const int32 count = component->getBusCount (list.type, list.dir);
		for (int32 i = 0; i < count; ++i)
		{
			BusInfo info {};
			if (component->getBusInfo (list.type, list.dir, i, info) != kResultOk)
				throw HostError (std::string ("getBusInfo failed for ") + list.key + " " + std::to_string (i));
			report.beginObject ();
			report.string ("name", wide (info.name, 128));
			report.integer ("channels", info.channelCount);
			report.string ("type", busTypeName (info.busType));
			report.boolean ("defaultActive", (info.flags & BusInfo::kDefaultActive) != 0);
			SpeakerArrangement arrangement = 0;
			if (list.type == kAudio && processor &&
			    processor->getBusArrangement (list.dir, i, arrangement) == kResultOk)
				report.integer ("arrangement", static_cast<long long> (arrangement));
			report.endObject ();
		}
		report.endArray ();
	}
	report.endObject ();
}

void reportUnits (Report& report, IEditController* controller)
{
	FUnknownPtr<IUnitInfo> units (controller);
	report.beginArray ("units");
	if (units)
	{
		const int32 count = units->getUnitCount ();
		for (int32 i = 0; i < count; ++i)
		{
			UnitInfo info {};
			if (units->getUnitInfo (i, info) != kResultOk)
				throw HostError ("getUnitInfo failed for unit " + std::to_string (i));
			report.beginObject ();
			report.integer ("id", info.id);
			report.integer ("parentUnitId", info.parentUnitId);
			report.string ("name", wide (info.name, 128));
			report.integer ("programListId", info.programListId);
			report.endObject ();
		}
	}
	report.endArray ();

	report.beginArray ("programLists");
	if (units)
	{
		const int32 count = units->getProgramListCount ();
		for (int32 i = 0; i < count; ++i)
		{
			ProgramListInfo info {};
			if (units->getProgramListInfo (i, info) != kResultOk)
				throw HostError ("getProgramListInfo failed for list " + std::to_string (i));
			report.beginObject ();
			report.integer ("id", info.id);
			report.string ("name", wide (info.name, 128));
			report.beginArray ("programs");
			for (int32 p = 0; p < info.programCount; ++p)
			{
				String128 name {};
				if (units->getProgramName (info.id, p, name) != kResultOk)
					throw HostError ("getProgramName failed for program " + std::to_string (p));
				report.string (nullptr, wide (name, 128));
			}
			report.endArray ();
			report.endObject ();
		}
	}
	report.endArray ();
}

void reportParameters (Report& report, IEditController* controller)
{
	const int32 count = controller->getParameterCount ();
	report.integer ("parameterCount", count);
	report.beginArray ("parameters");
	for (int32 i = 0; i < count; ++i)
	{
		ParameterInfo info {};
		if (controller->getParameterInfo (i, info) != kResultOk)
			throw HostError ("getParameterInfo failed for parameter index " + std::to_string (i));
		report.beginObject ();
		report.integer ("index", i);
		report.integer ("id", info.id);
		report.string ("title", wide (info.title, 128));
		report.string ("shortTitle", wide (info.shortTitle, 128));
		report.string ("units", wide (info.units, 128));
		report.integer ("stepCount", info.stepCount);
		report.number ("defaultNormalized", info.defaultNormalizedValue);
		String128 text {};
		if (controller->getParamStringByValue (info.id, info.defaultNormalizedValue, text) == kResultOk)
			report.string ("defaultText", wide (text, 128));
		report.number ("defaultPlain", controller->normalizedParamToPlain (info.id, info.defaultNormalizedValue));
		report.integer ("unitId", info.unitId);
		reportParameterFlags (report, info.flags);
		report.endObject ();
	}
	report.endArray ();
}

// Creates a processor class and its controller as a host does, taking
// whatever the class offers: a component that is not an audio processor, or
// names no controller, is still reported. Failures are worded as this tool's.
PluginInstance openForReport (IPluginFactory* factory, const PClassInfo& classInfo, FUnknown* hostContext)
{
	InstanceRequirements whateverItOffers;
	whateverItOffers.audioProcessor = false;
	whateverItOffers.controller = false;
	try
	{
		return PluginInstance (factory, classInfo, hostContext, whateverItOffers);
	}
	catch (const InstanceSetupError& e)
	{
		switch (e.step ())
		{
			case InstanceSetupError::CREATE_COMPONENT:
				throw HostError ("cannot create component \"" + tavik::fixedText (classInfo.name) + "\"");
			case InstanceSetupError::INITIALISE_COMPONENT: throw HostError ("component initialize failed");
			case InstanceSetupError::CREATE_CONTROLLER:
				throw HostError ("cannot create the edit controller " +
				                 tavik::tools::classIdHex (e.controllerClassId ()));
			case InstanceSetupError::INITIALISE_CONTROLLER: throw HostError ("edit controller initialize failed");
			case InstanceSetupError::NOT_AUDIO_PROCESSOR: break;
		}
		throw;
	}
}

// Reports a processor class; the instance is taken down again as a host
// does, also when the report fails.
void reportComponent (Report& report, IPluginFactory* factory, const PClassInfo& classInfo, FUnknown* hostContext)
{
	const PluginInstance plugin = openForReport (factory, classInfo, hostContext);

	report.beginObject ();
	report.string ("class", tavik::fixedText (classInfo.name));
	report.string ("cid", tavik::tools::classIdHex (classInfo.cid));
	if (plugin.hasSeparateController ())
		report.string ("controllerClassId", tavik::tools::classIdHex (plugin.controllerClassId ()));

	reportBuses (report, plugin.component (), plugin.processor ());
	if (IAudioProcessor* processor = plugin.processor ())
	{
		report.boolean ("canProcess32", processor->canProcessSampleSize (kSample32) == kResultTrue);
		report.boolean ("canProcess64", processor->canProcessSampleSize (kSample64) == kResultTrue);
		report.integer ("latencySamples", processor->getLatencySamples ());
		report.integer ("tailSamples", processor->getTailSamples ());
	}
	if (IEditController* controller = plugin.controller ())
	{
		report.beginObject ("controller");
		report.boolean ("separate", plugin.hasSeparateController ());
		reportParameters (report, controller);
		reportUnits (report, controller);
		report.endObject ();
	}
	report.endObject ();
}

std::string inspect (const std::string& bundle, bool pretty)
{
	// The host object is not reference counted; it outlives the module.
	tavik::tools::ToolHostApplication host ("Tavik vst3-inspect");
	FUnknown* hostContext = &host;
	tavik::tools::HostedModule module (bundle);
	IPluginFactory* factory = module.factory ();
	if (FUnknownPtr<IPluginFactory3> factory3 (factory); factory3)
		factory3->setHostContext (hostContext);

	Report report (pretty);
	report.beginObject ();
	report.string ("module", module.path ());

	PFactoryInfo factoryInfo {};
	if (factory->getFactoryInfo (&factoryInfo) != kResultOk)
		throw HostError ("getFactoryInfo failed");
	report.beginObject ("factory");
	report.string ("vendor", tavik::fixedText (factoryInfo.vendor));
	report.string ("url", tavik::fixedText (factoryInfo.url));
	report.string ("email", tavik::fixedText (factoryInfo.email));
	report.integer ("flags", factoryInfo.flags);
	report.endObject ();

	FUnknownPtr<IPluginFactory2> factory2 (factory);
	const int32 classCount = factory->countClasses ();
	std::vector<PClassInfo> processorClasses;
	report.beginArray ("classes");
	for (int32 i = 0; i < classCount; ++i)
	{
		PClassInfo info {};
		if (factory->getClassInfo (i, &info) != kResultOk)
			throw HostError ("getClassInfo failed for class " + std::to_string (i));
		report.beginObject ();
		report.integer ("index", i);
		report.string ("cid", tavik::tools::classIdHex (info.cid));
		report.string ("category", tavik::fixedText (info.category));
		report.string ("name", tavik::fixedText (info.name));
		report.integer ("cardinality", info.cardinality);
		PClassInfo2 info2 {};
		if (factory2 && factory2->getClassInfo2 (i, &info2) == kResultOk)
		{
			report.integer ("classFlags", info2.classFlags);
			report.string ("subCategories", tavik::fixedText (info2.subCategories));
			report.string ("vendor", tavik::fixedText (info2.vendor));
			report.string ("version", tavik::fixedText (info2.version));
			report.string ("sdkVersion", tavik::fixedText (info2.sdkVersion));
		}
		report.endObject ();
		if (std::strncmp (info.category, kVstAudioEffectClass, PClassInfo::kCategorySize) == 0)
			processorClasses.push_back (info);
	}
	report.endArray ();

	report.beginArray ("components");
	for (const PClassInfo& info : processorClasses)
		reportComponent (report, factory, info, hostContext);
	report.endArray ();
	report.endObject ();

	std::string text = report.str ();
	text.push_back ('\n');
	return text;
}

// Category of a class that names the older classes the module's classes
// replace. Its list belongs in the document's "Compatibility", which this
// tool cannot fill, so such a module is refused rather than described wrongly.
constexpr const char* kCompatibilityClassCategory = "Plugin Compatibility Class";

/** The parts of a '|'-separated sub-category list, empty parts left out. */
std::vector<std::string> splitSubCategories (const std::string& text)
{
	std::vector<std::string> parts;
	size_t begin = 0;
	while (begin <= text.size ())
	{
		size_t end = text.find ('|', begin);
		if (end == std::string::npos)
			end = text.size ();
		if (end > begin)
			parts.push_back (text.substr (begin, end - begin));
		begin = end + 1;
	}
	return parts;
}

// One class as the factory describes it, from the richest class info it
// offers: UTF-16 (IPluginFactory3), 8-bit (IPluginFactory2), or the basic
// record alone.
struct ClassDescription
{
	std::string cid;
	std::string category;
	std::string name;
	std::string vendor;
	std::string version;
	std::string sdkVersion;
	std::string subCategories;
	uint32 classFlags = 0;
	int32 cardinality = 0;
};

ClassDescription describeClass (IPluginFactory* factory, IPluginFactory2* factory2, IPluginFactory3* factory3,
                                int32 index)
{
	PClassInfo info {};
	if (factory->getClassInfo (index, &info) != kResultOk)
		throw HostError ("getClassInfo failed for class " + std::to_string (index));
	ClassDescription description;
	description.cid = tavik::tools::classIdHex (info.cid);
	description.category = tavik::fixedText (info.category);
	description.name = tavik::fixedText (info.name);
	description.cardinality = info.cardinality;

	PClassInfoW infoW {};
	PClassInfo2 info2 {};
	if (factory3 && factory3->getClassInfoUnicode (index, &infoW) == kResultOk)
	{
		description.name = wide (infoW.name, PClassInfo::kNameSize);
		description.vendor = wide (infoW.vendor, PClassInfoW::kVendorSize);
		description.version = wide (infoW.version, PClassInfoW::kVersionSize);
		description.sdkVersion = wide (infoW.sdkVersion, PClassInfoW::kVersionSize);
		description.subCategories = tavik::fixedText (infoW.subCategories);
		description.classFlags = infoW.classFlags;
	}
	else if (factory2 && factory2->getClassInfo2 (index, &info2) == kResultOk)
	{
		description.name = tavik::fixedText (info2.name);
		description.vendor = tavik::fixedText (info2.vendor);
		description.version = tavik::fixedText (info2.version);
		description.sdkVersion = tavik::fixedText (info2.sdkVersion);
		description.subCategories = tavik::fixedText (info2.subCategories);
		description.classFlags = info2.classFlags;
	}
	return description;
}

// The module-info document of a bundle, from its factory alone: no class is
// instantiated. A class without a vendor of its own takes the factory's; the
// module's name is that of its shared object and its version the first one
// a class reports (the factory itself reports none).
std::string moduleInfo (const std::string& bundle, bool pretty)
{
	tavik::tools::ToolHostApplication host ("Tavik vst3-inspect");
	tavik::tools::HostedModule module (bundle);
	IPluginFactory* factory = module.factory ();
	FUnknownPtr<IPluginFactory2> factory2 (factory);
	FUnknownPtr<IPluginFactory3> factory3 (factory);
	if (factory3)
		factory3->setHostContext (&host);

	PFactoryInfo factoryInfo {};
	if (factory->getFactoryInfo (&factoryInfo) != kResultOk)
		throw HostError ("getFactoryInfo failed");
	const std::string factoryVendor = tavik::fixedText (factoryInfo.vendor);

	std::vector<ClassDescription> classes;
	const int32 classCount = factory->countClasses ();
	for (int32 i = 0; i < classCount; ++i)
	{
		classes.push_back (describeClass (factory, factory2, factory3, i));
		if (classes.back ().category == kCompatibilityClassCategory)
			throw HostError ("class \"" + classes.back ().name + "\" is a " + kCompatibilityClassCategory +
			                 ", whose list of replaced classes this tool cannot write");
	}
	std::string version;
	for (const ClassDescription& description : classes)
	{
		version = description.version;
		if (!version.empty ())
			break;
	}

	Report report (pretty);
	report.beginObject ();
	report.string ("Name", std::filesystem::path (module.path ()).stem ().string ());
	report.string ("Version", version);
	report.beginObject ("Factory Info");
	report.string ("Vendor", factoryVendor);
	report.string ("URL", tavik::fixedText (factoryInfo.url));
	report.string ("E-Mail", tavik::fixedText (factoryInfo.email));
	report.beginObject ("Flags");
	report.boolean ("Unicode", (factoryInfo.flags & PFactoryInfo::kUnicode) != 0);
	report.boolean ("Classes Discardable", (factoryInfo.flags & PFactoryInfo::kClassesDiscardable) != 0);
	report.boolean ("Component Non Discardable", (factoryInfo.flags & PFactoryInfo::kComponentNonDiscardable) != 0);
	report.endObject ();
	report.endObject ();
	report.beginArray ("Compatibility");
	report.endArray ();
	report.beginArray ("Classes");
	for (const ClassDescription& description : classes)
	{
		report.beginObject ();
		report.string ("CID", description.cid);
		report.string ("Category", description.category);
		report.string ("Name", description.name);
		report.string ("Vendor", description.vendor.empty () ? factoryVendor : description.vendor);
		report.string ("Version", description.version);
		report.string ("SDKVersion", description.sdkVersion);
		report.beginArray ("Sub Categories");
		for (const std::string& part : splitSubCategories (description.subCategories))
			report.string (nullptr, part);
		report.endArray ();
		report.integer ("Class Flags", description.classFlags);
		report.integer ("Cardinality", description.cardinality);
		report.beginArray ("Snapshots");
		report.endArray ();
		report.endObject ();
	}
	report.endArray ();
	report.endObject ();

	std::string text = report.str ();
	text.push_back ('\n');
	return text;
}

} // namespace

int main (int argc, char** argv)
{
	std::string bundle;
	bool pretty = true;
	bool moduleInfoDocument = false;
	for (int i = 1; i < argc; ++i)
	{
		const std::string arg = argv[i];
		if (arg == "--compact")
			pretty = false;
		else if (arg == "--moduleinfo")
			moduleInfoDocument = true;
		else if (arg == "-h" || arg == "--help")
		{
			std::printf ("usage: vst3-inspect [--moduleinfo] BUNDLE.vst3 [--compact]\n"
			             "Loads a VST 3 module as a host does and prints what the host sees as JSON.\n"
			             "--moduleinfo prints the module-info document (moduleinfo.json) instead, from the\n"
			             "factory's own description of its classes.\n");
			return 0;
		}
		else if (bundle.empty () && (arg.empty () || arg[0] != '-'))
			bundle = arg;
		else
		{
			std::fprintf (stderr, "vst3-inspect: unexpected argument '%s' (see --help)\n", arg.c_str ());
			return 2;
		}
	}
	if (bundle.empty ())
	{
		std::fprintf (stderr, "vst3-inspect: no bundle given (usage: vst3-inspect BUNDLE.vst3)\n");
		return 2;
	}
	try
	{
		const std::string text = moduleInfoDocument ? moduleInfo (bundle, pretty) : inspect (bundle, pretty);
		std::fwrite (text.data (), 1, text.size (), stdout);
		return std::fflush (stdout) == 0 ? 0 : 1;
	}
	catch (const std::exception& e)
	{
		std::fprintf (stderr, "vst3-inspect: %s\n", e.what ());
		return 1;
	}
}
