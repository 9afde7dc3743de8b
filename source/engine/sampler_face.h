// The engine's sampler face, kept for the state and messages this
// instrument shares with sampler products. This kernel has no sample
// memory: banks, loaded at run time or named by a restored state, are
// refused with the reason recorded for the health report. Pad overrides
// are published as immutable shared copies behind an atomic pointer and
// give per-note velocity sensitivities.
#pragma once

#include "runtime_diagnostics.h"
#include "sampler_pad_overrides.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace tavik {

struct StagedBank;
struct StateChunk;

/** Why a loaded bank did not reach the kernel: it has no room for samples. */
constexpr const char* ENGINE_REFUSED_BANK_MESSAGE = "the engine refused the staged bank (arena capacity)";

class SamplerFace
{
public:
	/** Refusals are recorded in `ring` (the engine's). */
	explicit SamplerFace (tavik_runtime_diagnostic_ring& ring);
	SamplerFace (const SamplerFace&) = delete;
	SamplerFace& operator= (const SamplerFace&) = delete;

	// Control thread.
	bool publishSamplerPadOverrides (const SamplerPadOverrides& overrides);
	void refreshSamplerPadVelocitySensitivity (const SamplerPadOverrides* overrides, const StagedBank* bank);
	/** Always false: there is no sample memory to take the bank. */
	bool publishRuntimeBank (std::shared_ptr<const StagedBank> bank);
	/** 2 when the state names a bank (recorded as a failure), else 0. */
	uint32_t recallSampleBank (const StateChunk& state);
	void recordRuntimeBankFailure (uint32_t outcome, const char* error, const char* source);
	void recordBankRecallFailure (uint32_t outcome, const char* bankName);

	/** The current copy of the pad overrides (null before the first publication). */
	const std::shared_ptr<const SamplerPadOverrides>& padOverrides () const { return currentPads; }
	const std::shared_ptr<const StagedBank>& stagedBank () const { return currentBank; }
	uint32_t padOverridePublications () const { return padPublications; }
	size_t retiredPadOverrides () const { return retiredPads.size (); }
	float padVelocitySensitivity (int note) const
	{
		return note >= 0 && note < 128 ? padSensitivity[note].load (std::memory_order_relaxed) : 1.0f;
	}
	/** What a reader thread would call: the copy it holds, and its acknowledgement. */
	const SamplerPadOverrides* readerPadOverrides () const { return padSlot.load (); }
	void acknowledgePadOverrides (const SamplerPadOverrides* held) { padAcknowledged.store (held); }

private:
	tavik_runtime_diagnostic_ring& ring;
	// Copies a reader may still hold stay in the retired list until the
	// reader acknowledges a newer one.
	std::shared_ptr<const SamplerPadOverrides> currentPads;
	std::atomic<const SamplerPadOverrides*> padSlot {nullptr};
	std::atomic<const SamplerPadOverrides*> padAcknowledged {nullptr};
	std::vector<std::shared_ptr<const SamplerPadOverrides>> retiredPads;
	uint32_t padPublications = 0;
	std::shared_ptr<const StagedBank> currentBank;
	std::atomic<float> padSensitivity[128];
};

} // namespace tavik
