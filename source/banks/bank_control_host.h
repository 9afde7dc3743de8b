// What the bank control needs of the controller that owns it: the editor,
// the parameters, the processor and the folder picker.
#pragma once

#include "sampler_pad_overrides.h"

#include <cstdint>
#include <string>

namespace tavik {

class BankControlHost
{
public:
	virtual ~BankControlHost () = default;

	/** Delivers one message to the editor. */
	virtual void sendBankJson (const std::string& json) = 0;
	/** Sets a parameter (plain value) as if the user edited it. */
	virtual void editParam (uint32_t index, double plain) = 0;
	virtual double readParam (uint32_t index) = 0;
	/** Asks the processor to load a bank. */
	virtual void requestRuntimeBank (const std::string& source, const std::string& path, const std::string& digest,
	                                 const std::string& instrument) = 0;
	/** True when the overrides were accepted and sent to the processor. */
	virtual bool applyPadOverrides (const SamplerPadOverrides& overrides) = 0;
	/** True when the user chose a folder. */
	virtual bool pickFolder (std::string& path, std::string& error) = 0;
	/** Records that a bank preset was selected. */
	virtual void notePresetSelected (const std::string& id, const std::string& name) = 0;
};

} // namespace tavik
