// The controller's side of sample banks: the pad overrides the editor set
// or a restored state carried, the facts of the loaded bank, and the
// "tavik.bankState" report. Loading, bank presets and hosted banks answer
// through the same report.
#pragma once

#include "bank_control_host.h"
#include "sampler_pad_overrides.h"

#include <string>
#include <utility>
#include <vector>

namespace tavik {

struct BridgeMessage;

struct BankControlPreset
{
	std::string id;
	std::string name;
	std::string instrument;
	std::vector<std::pair<std::string, double>> params;
};

class BankControl
{
public:
	explicit BankControl (BankControlHost& bankHost) : host (bankHost) {}

	/** True when `message` is a bank message, which is then handled. */
	bool handleMessage (const BridgeMessage& message);

	/** Loads a folder bank through the processor; the reply comes later
	 *  through adoptRuntimeBankReply. */
	void handleRuntimeBank (const std::string& source, const std::string& bankPath, const std::string& instrument,
	                        const std::string& url, const std::string& digest);
	void handleBankPreset (const std::string& id);
	void handlePickFolder ();

	/** Copies the overrides of a restored state. */
	void adoptRestoredPadOverrides (const SamplerPadOverrides& overrides) { padOverrides = overrides; }
	const SamplerPadOverrides& pads () const { return padOverrides; }

	/** The editor's pad edit: accepted overrides are kept and reported. */
	bool setPadOverrides (const SamplerPadOverrides& overrides);

	/** Builds the bank state message and hands it to the host; null texts
	 *  give the reason "query", no error and an empty requested id. */
	void sendBankState (const char* reason, const char* errorCode, const char* requestedId);
	std::string bankStateJson (const char* reason, const char* errorCode, const char* requestedId) const;

	/** The processor's answer to a load request (the bank reply text):
	 *  "ok" adopts the bank's facts, anything else reports its code. */
	void adoptRuntimeBankReply (const std::string& reply);

	/** Clears the facts of the loaded bank. */
	void clearRuntimeFacts ();

private:
	BankControlHost& host;
	bool runtimeActive = false;
	std::string source;
	std::string locator;
	std::string sha256;
	std::string instrument;
	std::string instrumentId;
	std::string instrumentName;
	std::string instrumentList;
	std::vector<std::string> positionings;
	std::vector<BankControlPreset> presets;
	std::string currentPresetId;
	SamplerPadOverrides padOverrides;
};

} // namespace tavik
