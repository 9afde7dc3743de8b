// SamplerFace: pad override publication and the refusal of every bank.

#include "sampler_face.h"

#include "runtime_bank_outcome.h"
#include "staged_bank.h"
#include "state_document.h"

#include <string>

namespace tavik {

namespace {

bool acceptablePad (const SamplerPadOverride& pad)
{
	return !pad.padKey.empty () && pad.padKey.size () <= PAD_KEY_MAX_BYTES && pad.mask != 0;
}

} // namespace

SamplerFace::SamplerFace (tavik_runtime_diagnostic_ring& diagnostics) : ring (diagnostics)
{
	for (std::atomic<float>& s : padSensitivity)
		s.store (1.0f, std::memory_order_relaxed);
}

bool SamplerFace::publishSamplerPadOverrides (const SamplerPadOverrides& overrides)
{
	if (overrides.size () > PAD_OVERRIDE_CAPACITY)
		return false;
	for (const SamplerPadOverride& pad : overrides)
		if (!acceptablePad (pad))
			return false;

	auto copy = std::make_shared<const SamplerPadOverrides> (overrides);
	retiredPads.reserve (retiredPads.size () + 1);
	if (currentPads)
		retiredPads.push_back (currentPads);
	currentPads = std::move (copy);
	padSlot.store (currentPads.get ());

	refreshSamplerPadVelocitySensitivity (currentPads.get (), currentBank.get ());

	const SamplerPadOverrides* held = padAcknowledged.load (std::memory_order_acquire);
	std::vector<std::shared_ptr<const SamplerPadOverrides>> kept;
	for (std::shared_ptr<const SamplerPadOverrides>& retired : retiredPads)
		if (retired.get () == held)
			kept.push_back (std::move (retired));
	retiredPads.swap (kept);

	padPublications = padPublications == UINT32_MAX ? 1 : padPublications + 1;
	return true;
}

void SamplerFace::refreshSamplerPadVelocitySensitivity (const SamplerPadOverrides* overrides, const StagedBank* bank)
{
	for (std::atomic<float>& s : padSensitivity)
		s.store (1.0f, std::memory_order_relaxed);
	if (!overrides || overrides->empty () || !bank)
		return;
	bool set[128] = {};
	for (const StagedZone& zone : bank->zones)
	{
		if (zone.id.empty () || zone.lowKey != zone.highKey || zone.lowKey >= 128 || set[zone.lowKey])
			continue;
		for (const SamplerPadOverride& pad : *overrides)
		{
			if (pad.padKey != zone.id)
				continue;
			if (pad.mask & PAD_VELOCITY_SENSITIVITY)
			{
				padSensitivity[zone.lowKey].store (static_cast<float> (pad.value (PAD_VELOCITY_SENSITIVITY)),
				                                   std::memory_order_relaxed);
				set[zone.lowKey] = true;
			}
			break;
		}
	}
}

bool SamplerFace::publishRuntimeBank (std::shared_ptr<const StagedBank> /*bank*/) { return false; }

uint32_t SamplerFace::recallSampleBank (const StateChunk& state)
{
	if (!state.bankRef.present || state.bankRef.id[0] == 0)
		return 0;
	recordBankRecallFailure (2, state.bankRef.id);
	return 2;
}

void SamplerFace::recordRuntimeBankFailure (uint32_t outcome, const char* error, const char* source)
{
	if (outcome == 0)
		return;
	const char* name = runtimeBankOutcomeName (outcome);
	// The ring cuts the texts to its field sizes.
	const std::string message = std::string ("runtime bank load refused (") + name + "): " + (error ? error : "");
	const std::string detail =
		std::string ("{\"reason\":\"") + name + "\",\"source\":\"" + (source ? source : "") + "\"}";
	diagnosticRingAppend (ring, outcome == RUNTIME_BANK_HASH_MISMATCH ? DIAG_BANK_HASH_MISMATCH : DIAG_BANK_MISSING,
	                      DIAG_ERROR, PHASE_LOAD, message.c_str (), detail.c_str ());
}

void SamplerFace::recordBankRecallFailure (uint32_t outcome, const char* bankName)
{
	const char* message = nullptr;
	uint32_t code = DIAG_BANK_MISSING;
	if (outcome == 2)
		message = "state recall named a bank this build does not contain; parameters kept, output silent, no bank "
				  "substituted";
	else if (outcome == 3)
	{
		message = "state recall named a bank whose manifest hash differs from the one compiled in; parameters kept, "
				  "output silent";
		code = DIAG_BANK_HASH_MISMATCH;
	}
	else
		return;
	const std::string detail = std::string ("{\"bank\":\"") + (bankName ? bankName : "") + "\",\"banks\":0}";
	diagnosticRingAppend (ring, code, DIAG_ERROR, PHASE_STATE, message, detail.c_str ());
}

} // namespace tavik
