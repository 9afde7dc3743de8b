#include "public.sdk/source/main/pluginfactory.h"

#include "pluginterfaces/base/ustring.h"

#include <cstring>

namespace Steinberg {

IPluginFactory* gPluginFactory = nullptr;

namespace {

void wideToAscii (char8* out, const char16* in, int32 capacity)
{
	int32 i = 0;
	for (; i < capacity - 1 && in[i] != 0; ++i)
		out[i] = static_cast<char8> (in[i] < 0x80 ? in[i] : '?');
	out[i] = 0;
}

void asciiFromWide (PClassInfo2& out, const PClassInfoW& in)
{
	out = PClassInfo2 ();
	std::memcpy (out.cid, in.cid, sizeof (TUID));
	out.cardinality = in.cardinality;
	std::memcpy (out.category, in.category, sizeof (out.category));
	wideToAscii (out.name, in.name, PClassInfo::kNameSize);
	out.classFlags = in.classFlags;
	std::memcpy (out.subCategories, in.subCategories, sizeof (out.subCategories));
	wideToAscii (out.vendor, in.vendor, PClassInfo2::kVendorSize);
	wideToAscii (out.version, in.version, PClassInfo2::kVersionSize);
	wideToAscii (out.sdkVersion, in.sdkVersion, PClassInfo2::kVersionSize);
}

} // namespace

CPluginFactory::CPluginFactory (const PFactoryInfo& info)
	: factoryInfo (info) {FUNKNOWN_CTOR}

	  CPluginFactory::~CPluginFactory ()
{
	if (gPluginFactory == this)
		gPluginFactory = nullptr;
	if (hostContext)
		hostContext->release ();
	FUNKNOWN_DTOR
}

IMPLEMENT_REFCOUNT (CPluginFactory)

tresult PLUGIN_API CPluginFactory::queryInterface (FIDString _iid, void** obj)
{
	QUERY_INTERFACE (_iid, obj, FUnknown::iid, IPluginFactory)
	QUERY_INTERFACE (_iid, obj, IPluginFactory::iid, IPluginFactory)
	QUERY_INTERFACE (_iid, obj, IPluginFactory2::iid, IPluginFactory2)
	QUERY_INTERFACE (_iid, obj, IPluginFactory3::iid, IPluginFactory3)
	*obj = nullptr;
	return kNoInterface;
}

bool CPluginFactory::registerClass (const PClassInfo* info, CreateFunctionPtr createFunc, void* context)
{
	if (!info || !createFunc)
		return false;
	PClassInfo2 info2 {};
	std::memcpy (info2.cid, info->cid, sizeof (TUID));
	info2.cardinality = info->cardinality;
	std::memcpy (info2.category, info->category, sizeof (info2.category));
	std::memcpy (info2.name, info->name, sizeof (info2.name));
	return registerClass (&info2, createFunc, context);
}

bool CPluginFactory::registerClass (const PClassInfo2* info, CreateFunctionPtr createFunc, void* context)
{
	if (!info || !createFunc)
		return false;
	ClassEntry entry;
	entry.info8 = *info;
	entry.info16.fromAscii (*info);
	entry.createFunc = createFunc;
	entry.context = context;
	classes.push_back (entry);
	return true;
}

bool CPluginFactory::registerClass (const PClassInfoW* info, CreateFunctionPtr createFunc, void* context)
{
	if (!info || !createFunc)
		return false;
	ClassEntry entry;
	entry.info16 = *info;
	asciiFromWide (entry.info8, *info);
	entry.createFunc = createFunc;
	entry.context = context;
	classes.push_back (entry);
	return true;
}

bool CPluginFactory::isClassRegistered (const FUID& cid) const
{
	for (const auto& entry : classes)
		if (FUID::fromTUID (entry.info8.cid) == cid)
			return true;
	return false;
}

void CPluginFactory::removeAllClasses () { classes.clear (); }

const CPluginFactory::ClassEntry* CPluginFactory::entryAt (int32 index) const
{
	if (index < 0 || index >= static_cast<int32> (classes.size ()))
		return nullptr;
	return &classes[static_cast<size_t> (index)];
}

tresult PLUGIN_API CPluginFactory::getFactoryInfo (PFactoryInfo* info)
{
	if (!info)
		return kInvalidArgument;
	std::memcpy (info, &factoryInfo, sizeof (PFactoryInfo));
	return kResultOk;
}

int32 PLUGIN_API CPluginFactory::countClasses () { return static_cast<int32> (classes.size ()); }

tresult PLUGIN_API CPluginFactory::getClassInfo (int32 index, PClassInfo* info)
{
	const ClassEntry* entry = entryAt (index);
	if (!info)
		return kInvalidArgument;
	if (!entry)
		return kInvalidArgument;
	*info = PClassInfo ();
	std::memcpy (info->cid, entry->info8.cid, sizeof (TUID));
	info->cardinality = entry->info8.cardinality;
	std::memcpy (info->category, entry->info8.category, sizeof (info->category));
	std::memcpy (info->name, entry->info8.name, sizeof (info->name));
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfo2 (int32 index, PClassInfo2* info)
{
	const ClassEntry* entry = entryAt (index);
	if (!info || !entry)
		return kInvalidArgument;
	std::memcpy (info, &entry->info8, sizeof (PClassInfo2));
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfoUnicode (int32 index, PClassInfoW* info)
{
	const ClassEntry* entry = entryAt (index);
	if (!info || !entry)
		return kInvalidArgument;
	std::memcpy (info, &entry->info16, sizeof (PClassInfoW));
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::createInstance (FIDString cid, FIDString _iid, void** obj)
{
	if (!obj)
		return kInvalidArgument;
	*obj = nullptr;
	if (!cid || !_iid)
		return kInvalidArgument;
	for (const auto& entry : classes)
	{
		if (!FUnknownPrivate::iidEqual (entry.info8.cid, cid))
			continue;
		// A creation function may throw (memory exhaustion); the host gets an
		// error code instead of an exception crossing its call.
		FUnknown* instance = nullptr;
		try
		{
			instance = entry.createFunc (entry.context);
		}
		catch (...)
		{
			return kOutOfMemory;
		}
		if (!instance)
			return kOutOfMemory;
		const tresult result = instance->queryInterface (_iid, obj);
		instance->release ();
		if (result == kResultOk)
			return kResultOk;
		*obj = nullptr;
		return kNoInterface;
	}
	return kNoInterface;
}

tresult PLUGIN_API CPluginFactory::setHostContext (FUnknown* context)
{
	if (context)
		context->addRef ();
	if (hostContext)
		hostContext->release ();
	hostContext = context;
	return kResultOk;
}

} // namespace Steinberg
