// Class factory of a VST 3 module: the classes it announces and how they are
// created.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"

#include <vector>

namespace Steinberg {

/** Creates one instance of a registered class; the context is the one given
 *  at registration. Returns null when the object cannot be made. */
using CreateFunctionPtr = FUnknown* (*) (void* context);

class CPluginFactory : public IPluginFactory3
{
public:
	explicit CPluginFactory (const PFactoryInfo& info);
	virtual ~CPluginFactory ();

	/** Registers a class; classes are announced in registration order. */
	bool registerClass (const PClassInfo* info, CreateFunctionPtr createFunc, void* context = nullptr);
	bool registerClass (const PClassInfo2* info, CreateFunctionPtr createFunc, void* context = nullptr);
	bool registerClass (const PClassInfoW* info, CreateFunctionPtr createFunc, void* context = nullptr);

	bool isClassRegistered (const FUID& cid) const;
	void removeAllClasses ();

	//---IPluginFactory---
	tresult PLUGIN_API getFactoryInfo (PFactoryInfo* info) SMTG_OVERRIDE;
	int32 PLUGIN_API countClasses () SMTG_OVERRIDE;
	tresult PLUGIN_API getClassInfo (int32 index, PClassInfo* info) SMTG_OVERRIDE;
	tresult PLUGIN_API createInstance (FIDString cid, FIDString _iid, void** obj) SMTG_OVERRIDE;

	//---IPluginFactory2---
	tresult PLUGIN_API getClassInfo2 (int32 index, PClassInfo2* info) SMTG_OVERRIDE;

	//---IPluginFactory3---
	tresult PLUGIN_API getClassInfoUnicode (int32 index, PClassInfoW* info) SMTG_OVERRIDE;
	tresult PLUGIN_API setHostContext (FUnknown* context) SMTG_OVERRIDE;

	DECLARE_FUNKNOWN_METHODS

protected:
	/** One registered class, kept in both the 8-bit and the UTF-16 form. */
	struct ClassEntry
	{
		PClassInfo2 info8;
		PClassInfoW info16;
		CreateFunctionPtr createFunc = nullptr;
		void* context = nullptr;
	};

	const ClassEntry* entryAt (int32 index) const;

	PFactoryInfo factoryInfo;
	std::vector<ClassEntry> classes;
	FUnknown* hostContext = nullptr;
};

/** The module's factory while it exists (cleared by its destructor). */
extern IPluginFactory* gPluginFactory;

} // namespace Steinberg
