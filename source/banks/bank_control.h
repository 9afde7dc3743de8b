// The controller's side of sample banks: the pad overrides the editor set
// or a restored state carried, the facts of the loaded bank, and the
// "tavik.bankState" report. Loading, bank presets and hosted banks answer
// through the same report.
#pragma once

#include "bank_control_host.h"
#include "hosted_fetch_worker.h"
#include "sampler_pad_overrides.h"
#include "staged_bank.h"

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

	/** Loads a bank through the processor; the reply comes later through
	 *  adoptRuntimeBankReply. A hosted bank that is not cached yet is
	 *  downloaded first, by the download helper: pollHostedFetch picks it
	 *  up. A newer request cancels a download still running. */
	void handleRuntimeBank (const std::string& source, const std::string& bankPath, const std::string& instrument,
	                        const std::string& url, const std::string& digest);
	void handleBankPreset (const std::string& id);
	void handlePickFolder ();
	/** No banks are compiled into this product: always "bank-missing". */
	void handleCompiledBank (const std::string& id);

	/** Called on every cadence tick: a finished download goes on to the
	 *  load request (or reports its failure) as if it had just returned. */
	void pollHostedFetch ();
	bool fetchInProgress () const { return fetches.busy (); }
	/** Stops a running download; nothing is reported for it. */
	void cancelHostedFetch () { fetches.cancel (); }
	/** Time limits, size limits, trust and the helper for downloads (tests
	 *  narrow them and name the helper they built). */
	void setHostedFetchOptions (const HostedFetchOptions& options) { fetchOptions = options; }

	/** The bank a restored state names: source, locator, digest,
	 *  instrument and preset id. */
	void adoptRestoredRef (const std::string& refSource, const std::string& refLocator, const std::string& digest,
	                       const std::string& refInstrument, const std::string& presetId);

	/** The reply text the processor sends for a load request. */
	static std::string encodeRuntimeBankReply (const char* outcome, const std::string& message, const StagedBank* bank);

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
	/** Remembers the request and hands it to the processor. */
	void requestLoad (const std::string& kind, const std::string& bankPath, const std::string& requestedInstrument,
	                  const std::string& url, const std::string& digest);
	/** Logs and reports a failed fetch; the address without credentials. */
	void reportFetchFailure (const std::string& url, const std::string& why);
	/** The locator as reports give it: an address without credentials. */
	std::string shownLocator () const;

	// A hosted request waiting for its download.
	struct PendingFetch
	{
		std::string source;
		std::string instrument;
		std::string url;
		std::string digest;
	};

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
	HostedFetchOptions fetchOptions;
	PendingFetch pending;
	HostedFetchWorker fetches;
};

} // namespace tavik
