#include "processor_session.h"

#include "hosted_bank_cache.h"
#include "runtime_bank_loader.h"
#include "runtime_bank_outcome.h"
#include "runtime_bank_reply.h"

#include <memory>

namespace tavik {

namespace {

// The next line of `text` from `pos` (without its line feed); `pos` moves past it.
std::string nextLine (const std::string& text, size_t& pos)
{
	if (pos > text.size ())
		return std::string ();
	const size_t end = text.find ('\n', pos);
	const size_t stop = end == std::string::npos ? text.size () : end;
	std::string line = text.substr (pos, stop - pos);
	pos = end == std::string::npos ? text.size () + 1 : end + 1;
	return line;
}

// The state document's bank reference for the published bank. The texts
// point into the bank and the given strings, which must outlive `out`.
// False when no bank is published or `source` is empty.
bool fillBankStateRef (const StagedBank* bank, const std::string& source, const std::string& locator,
                       const std::string& presetId, BankStateRefOut& out)
{
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

} // namespace

ProcessorSession::ProcessorSession (KernelEngine& kernelEngine, std::function<void ()> onDiagnostics)
	: engine (kernelEngine), diagnosticsChanged (std::move (onDiagnostics))
{
}

std::string ProcessorSession::writeState () const
{
	double values[TAVIK_PARAM_COUNT];
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		values[i] = engine.paramValue (i);
	BankStateRefOut bank;
	const bool hasBank = fillBankStateRef (engine.sampler ().stagedBank ().get (), source, locator, preset, bank);
	const std::shared_ptr<const SamplerPadOverrides> pads = engine.sampler ().padOverrides ();
	return writeStateJson (values, engine.variation (), holdsCcMap ? &map : nullptr, SAMPLER_ASSET_NONE,
	                       ZONE_LEGACY_SINGLE_ZONE, hasBank ? &bank : nullptr, pads.get (), nullptr);
}

bool ProcessorSession::restoreState (const char* text, size_t length)
{
	// The chunk is filled as the parser goes, so a failed parse must not
	// touch what the processor holds.
	auto chunk = std::make_unique<StateChunk> ();
	if (!parseStateJson (text, length, *chunk))
		return false;
	for (uint32_t i = 0; i < TAVIK_PARAM_COUNT; ++i)
		if (chunk->present[i])
			engine.setParamValue (i, chunk->values[i]);
	if (chunk->variation >= 0)
		engine.setVariation (chunk->variation);
	if (chunk->hasCcMap)
	{
		map = chunk->ccMap;
		holdsCcMap = true;
		publishCcMap ();
	}
	engine.sampler ().publishSamplerPadOverrides (chunk->hasPadOverrides ? chunk->padOverrides
	                                                                     : SamplerPadOverrides ());
	applyBankRecall (*chunk);
	return true;
}

void ProcessorSession::applyBankRecall (const StateChunk& chunk)
{
	const BankStateRef& ref = chunk.bankRef;
	const std::string path = recalledBankDirectory (ref);
	if (!path.empty ())
	{
		std::string error;
		if (loadRuntimeBankFromPath (path, ref.source, ref.instrument, error) == RUNTIME_BANK_OK)
		{
			source = ref.source;
			locator = ref.locator;
			return;
		}
		clearBank ();
	}
	if (!locator.empty () || ref.hasLocator)
		engine.sampler ().publishRuntimeBank (nullptr);
	engine.sampler ().recallSampleBank (chunk);
}

void ProcessorSession::clearBank ()
{
	source.clear ();
	locator.clear ();
}

void ProcessorSession::adoptCcMap (const std::string& payload)
{
	CcMap parsed;
	if (!parseCcMapJson (payload.data (), payload.size (), parsed))
		return;
	map = parsed;
	holdsCcMap = true;
	publishCcMap ();
}

void ProcessorSession::publishCcMap ()
{
	// Without memory for a copy the audio thread keeps the map it has; the
	// next publication tries again. Copies it can no longer hold go here.
	store.publish (map);
	store.collect ();
}

std::string ProcessorSession::drainCcActivity ()
{
	std::string records;
	if (draining.test_and_set (std::memory_order_acquire))
		return records;
	CcActivityRecord moved[CcActivityFeed::CONTROLLER_COUNT];
	const uint32_t count = activity.drain (CcActivityFeed::nowMs (), moved, CcActivityFeed::CONTROLLER_COUNT);
	draining.clear (std::memory_order_release);
	records.assign (reinterpret_cast<const char*> (moved), count * sizeof (CcActivityRecord));
	return records;
}

void ProcessorSession::adoptPadOverrides (const std::string& payload)
{
	SamplerPadOverrides parsed;
	if (parseSamplerPadOverridesJson (payload.data (), payload.size (), parsed))
		engine.sampler ().publishSamplerPadOverrides (parsed);
}

void ProcessorSession::notePresetLoaded (const std::string* payload)
{
	if (payload)
		preset = *payload;
	else
		preset.clear ();
}

std::string ProcessorSession::loadRuntimeBankRequest (const std::string& payload)
{
	size_t pos = 0;
	std::string kind = nextLine (payload, pos);
	const std::string path = nextLine (payload, pos);
	nextLine (payload, pos); // the pin: the loader checks the folder's own digests
	const std::string name = nextLine (payload, pos);
	if (kind.empty ())
		kind = "user-folder";
	std::string error;
	const uint32_t outcome = loadRuntimeBankFromPath (path, kind, name, error);
	const StagedBank* bank = nullptr;
	if (outcome == RUNTIME_BANK_OK)
	{
		bank = engine.sampler ().stagedBank ().get ();
		source = kind;
		locator = path;
	}
	return encodeRuntimeBankReply (runtimeBankOutcomeName (outcome), error, bank);
}

uint32_t ProcessorSession::loadRuntimeBankFromPath (const std::string& path, const std::string& sourceKind,
                                                    const std::string& name, std::string& error)
{
	RuntimeBankLoad load = loadRuntimeBank (path, 0, name);
	uint32_t outcome = load.outcome;
	error = load.message;
	if (outcome == RUNTIME_BANK_OK)
	{
		if (engine.sampler ().publishRuntimeBank (std::make_shared<const StagedBank> (std::move (load.bank))))
			return RUNTIME_BANK_OK;
		error = ENGINE_REFUSED_BANK_MESSAGE;
		outcome = RUNTIME_BANK_TOO_LARGE;
	}
	engine.sampler ().recordRuntimeBankFailure (outcome, error.c_str (), sourceKind.c_str ());
	if (diagnosticsChanged)
		diagnosticsChanged ();
	return outcome;
}

} // namespace tavik
