#include "bank_publishing.h"

#include "hosted_bank_cache.h"
#include "runtime_bank_loader.h"
#include "runtime_bank_outcome.h"
#include "runtime_bank_reply.h"

#include <cstring>
#include <memory>

namespace tavik {

std::string loadAndPublishRuntimeBank (KernelEngine& engine, const std::string& directory, const std::string& source,
                                       const std::string& instrument)
{
	RuntimeBankLoad load = loadRuntimeBank (directory, 0, instrument);
	if (load.outcome != RUNTIME_BANK_OK)
	{
		engine.sampler ().recordRuntimeBankFailure (load.outcome, load.message.c_str (), source.c_str ());
		return encodeRuntimeBankReply (runtimeBankOutcomeName (load.outcome), load.message, nullptr);
	}
	auto bank = std::make_shared<const StagedBank> (std::move (load.bank));
	if (engine.sampler ().publishRuntimeBank (bank))
		return encodeRuntimeBankReply (runtimeBankOutcomeName (RUNTIME_BANK_OK), std::string (), bank.get ());
	engine.sampler ().recordRuntimeBankFailure (RUNTIME_BANK_TOO_LARGE, ENGINE_REFUSED_BANK_MESSAGE, source.c_str ());
	return encodeRuntimeBankReply (runtimeBankOutcomeName (RUNTIME_BANK_TOO_LARGE), std::string (), nullptr);
}

std::string recalledBankDirectory (const BankStateRef& ref)
{
	if (!ref.present || !ref.hasLocator || ref.locator[0] == 0 || std::strcmp (ref.source, "embedded") == 0)
		return std::string ();
	// A hosted bank is looked up in the cache only by a pin that can name
	// nothing but a folder of the cache.
	if (std::strcmp (ref.source, "hosted") == 0 && isHostedBankDigest (ref.sha256))
	{
		const std::string folder = hostedBankFolder (hostedBankCacheRoot (), ref.sha256);
		if (!folder.empty ())
			return folder;
	}
	return ref.locator;
}

bool recallRuntimeBankFromChunk (KernelEngine& engine, const StateChunk& chunk, std::string& directory,
                                 std::string& source, std::string& digest, std::string& instrument)
{
	directory.clear ();
	source.clear ();
	digest.clear ();
	instrument.clear ();
	const BankStateRef& ref = chunk.bankRef;
	const std::string path = recalledBankDirectory (ref);
	if (path.empty ())
		return false;
	const std::string reply = loadAndPublishRuntimeBank (engine, path, ref.source, ref.instrument);
	if (reply.compare (0, reply.find ('\n'), "ok") != 0)
		return false;
	directory = ref.locator;
	source = ref.source;
	digest = ref.sha256;
	instrument = ref.instrument;
	return true;
}

bool fillBankStateRef (const KernelEngine& engine, const std::string& source, const std::string& locator,
                       const std::string& presetId, BankStateRefOut& out)
{
	const StagedBank* bank = engine.sampler ().stagedBank ().get ();
	if (!bank || source.empty ())
		return false;
	out = BankStateRefOut ();
	out.id = bank->id.c_str ();
	out.bankVersion = bank->version.c_str ();
	out.sha256 = bank->sha256.c_str ();
	out.instrument = bank->instrumentId.c_str ();
	out.source = source.c_str ();
	out.locator = locator.c_str ();
	if (!presetId.empty ())
		out.presetId = presetId.c_str ();
	return true;
}

} // namespace tavik
