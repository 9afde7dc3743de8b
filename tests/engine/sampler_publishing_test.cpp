// KernelEngine's sampler side: pad overrides published as shared immutable
// copies (validation, the retired list and the reader acknowledgement, the
// publication counter), per-note sensitivities from a bank's one-note zones,
// and the refusal of every bank with its recorded reason.

#include "kernel_engine.h"
#include "runtime_diagnostics.h"
#include "staged_bank.h"
#include "state_document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace tavik;

SamplerPadOverride pad (const std::string& key, double sensitivity)
{
	SamplerPadOverride p;
	p.padKey = key;
	p.mask = PAD_VELOCITY_SENSITIVITY;
	p.values[14] = sensitivity;
	return p;
}

StagedZone zone (const std::string& id, uint32_t low, uint32_t high)
{
	StagedZone z;
	z.id = id;
	z.lowKey = low;
	z.highKey = high;
	return z;
}

const tavik_runtime_diagnostic& lastRecord (const KernelEngine& engine)
{
	const tavik_runtime_diagnostic_ring& ring = engine.diagnosticRing ();
	return ring.records[ring.count - 1];
}

TEST (PadOverridePublication, RefusesInvalidListsAndKeepsThePreviousCopy)
{
	KernelEngine engine;
	EXPECT_EQ (engine.sampler ().padOverrides (), nullptr);
	ASSERT_TRUE (engine.sampler ().publishSamplerPadOverrides ({pad ("kick", 0.5)}));
	const SamplerPadOverrides* before = engine.sampler ().padOverrides ().get ();
	ASSERT_EQ (engine.sampler ().padOverridePublications (), 1u);

	SamplerPadOverrides tooMany;
	for (int i = 0; i < 257; ++i)
		tooMany.push_back (pad ("p" + std::to_string (i), 1));
	EXPECT_FALSE (engine.sampler ().publishSamplerPadOverrides (tooMany));
	tooMany.pop_back ();
	SamplerPadOverrides noName {pad ("", 1)};
	SamplerPadOverrides longName {pad (std::string (161, 'k'), 1)};
	SamplerPadOverride noFields = pad ("snare", 1);
	noFields.mask = 0;
	EXPECT_FALSE (engine.sampler ().publishSamplerPadOverrides (noName));
	EXPECT_FALSE (engine.sampler ().publishSamplerPadOverrides (longName));
	EXPECT_FALSE (engine.sampler ().publishSamplerPadOverrides ({pad ("a", 1), noFields}));
	EXPECT_EQ (engine.sampler ().padOverrides ().get (), before);
	EXPECT_EQ (engine.sampler ().padOverridePublications (), 1u);

	// The limits themselves are accepted.
	EXPECT_TRUE (engine.sampler ().publishSamplerPadOverrides (tooMany));
	EXPECT_TRUE (engine.sampler ().publishSamplerPadOverrides ({pad (std::string (160, 'k'), 1)}));
	EXPECT_EQ (engine.sampler ().padOverridePublications (), 3u);
}

TEST (PadOverridePublication, ReleasesRetiredCopiesUnlessAReaderHoldsOne)
{
	KernelEngine engine;
	ASSERT_TRUE (engine.sampler ().publishSamplerPadOverrides ({pad ("a", 1)}));
	std::weak_ptr<const SamplerPadOverrides> first = engine.sampler ().padOverrides ();
	ASSERT_TRUE (engine.sampler ().publishSamplerPadOverrides ({pad ("b", 1)}));
	EXPECT_TRUE (first.expired ()); // no reader acknowledged it
	EXPECT_EQ (engine.sampler ().retiredPadOverrides (), 0u);
	EXPECT_EQ (engine.sampler ().readerPadOverrides (), engine.sampler ().padOverrides ().get ());

	// A reader holding the current copy keeps it alive through two more
	// publications, and only that one.
	const SamplerPadOverrides* held = engine.sampler ().readerPadOverrides ();
	engine.sampler ().acknowledgePadOverrides (held);
	std::weak_ptr<const SamplerPadOverrides> second = engine.sampler ().padOverrides ();
	ASSERT_TRUE (engine.sampler ().publishSamplerPadOverrides ({pad ("c", 1)}));
	std::weak_ptr<const SamplerPadOverrides> third = engine.sampler ().padOverrides ();
	ASSERT_TRUE (engine.sampler ().publishSamplerPadOverrides ({pad ("d", 1)}));
	EXPECT_FALSE (second.expired ());
	EXPECT_EQ ((*second.lock ())[0].padKey, "b");
	EXPECT_TRUE (third.expired ());
	EXPECT_EQ (engine.sampler ().retiredPadOverrides (), 1u);

	// Once the reader moves on, the old copy goes at the next publication.
	engine.sampler ().acknowledgePadOverrides (engine.sampler ().readerPadOverrides ());
	ASSERT_TRUE (engine.sampler ().publishSamplerPadOverrides ({}));
	EXPECT_TRUE (second.expired ());
	EXPECT_EQ (engine.sampler ().padOverridePublications (), 5u);
	EXPECT_TRUE (engine.sampler ().padOverrides ()->empty ());
}

TEST (PadOverridePublication, SensitivitiesComeFromOneNoteZonesOfTheBank)
{
	KernelEngine engine;
	StagedBank bank;
	bank.zones = {zone ("kick", 36, 36),   zone ("", 37, 37),      zone ("wide", 40, 41),
	              zone ("high", 128, 128), zone ("snare", 38, 38), zone ("kick2", 36, 36)};
	const SamplerPadOverrides pads {pad ("snare", 0.25), pad ("kick", 0.5), pad ("kick2", 0.75), pad ("wide", 0.1),
	                                pad ("", 0.2)};
	engine.sampler ().refreshSamplerPadVelocitySensitivity (&pads, &bank);
	EXPECT_EQ (engine.sampler ().padVelocitySensitivity (36), 0.5f); // the first zone on a note wins
	EXPECT_EQ (engine.sampler ().padVelocitySensitivity (38), 0.25f);
	EXPECT_EQ (engine.sampler ().padVelocitySensitivity (37), 1.0f); // nameless zone
	EXPECT_EQ (engine.sampler ().padVelocitySensitivity (40), 1.0f); // covers two notes
	EXPECT_EQ (engine.sampler ().padVelocitySensitivity (41), 1.0f);

	// Names match as whole byte strings, and an override without a
	// sensitivity leaves the note alone.
	StagedBank named;
	named.zones = {zone (std::string ("kick\0x", 6), 50, 50), zone ("tom", 51, 51)};
	SamplerPadOverride gainOnly = pad ("tom", 0.3);
	gainOnly.mask = PAD_GAIN;
	const SamplerPadOverrides second {pad ("kick", 0.5), gainOnly};
	engine.sampler ().refreshSamplerPadVelocitySensitivity (&second, &named);
	EXPECT_EQ (engine.sampler ().padVelocitySensitivity (50), 1.0f);
	EXPECT_EQ (engine.sampler ().padVelocitySensitivity (51), 1.0f);
	EXPECT_EQ (engine.sampler ().padVelocitySensitivity (36), 1.0f); // everything reset first

	// No bank (this product's case) or no overrides: every note at 1.
	engine.sampler ().refreshSamplerPadVelocitySensitivity (&pads, &bank);
	engine.sampler ().refreshSamplerPadVelocitySensitivity (&pads, nullptr);
	for (int note = 0; note < 128; ++note)
		ASSERT_EQ (engine.sampler ().padVelocitySensitivity (note), 1.0f) << note;
	EXPECT_EQ (engine.sampler ().padVelocitySensitivity (-1), 1.0f);
	EXPECT_EQ (engine.sampler ().padVelocitySensitivity (128), 1.0f);
}

TEST (BankRefusal, EveryBankIsRefusedWithItsReasonRecorded)
{
	KernelEngine engine;
	EXPECT_FALSE (engine.sampler ().publishRuntimeBank (std::make_shared<const StagedBank> ()));
	EXPECT_FALSE (engine.sampler ().publishRuntimeBank (nullptr));
	EXPECT_EQ (engine.sampler ().stagedBank (), nullptr);

	const uint32_t before = engine.diagnosticRing ().count;
	engine.sampler ().recordRuntimeBankFailure (0, "fine", "user-folder");
	EXPECT_EQ (engine.diagnosticRing ().count, before);

	engine.sampler ().recordRuntimeBankFailure (
		2, "asset \"a\" sha256 0123456789abcdef\xE2\x80\xA6 does not match the manifest", "hosted");
	const tavik_runtime_diagnostic& mismatch = lastRecord (engine);
	EXPECT_EQ (mismatch.code, DIAG_BANK_HASH_MISMATCH);
	EXPECT_EQ (mismatch.severity, DIAG_ERROR);
	EXPECT_EQ (mismatch.phase, PHASE_LOAD);
	EXPECT_STREQ (mismatch.message, "runtime bank load refused (bank-hash-mismatch): asset \"a\" sha256 "
	                                "0123456789abcdef\xE2\x80\xA6 does not match the manifest");
	EXPECT_STREQ (mismatch.detail, "{\"reason\":\"bank-hash-mismatch\",\"source\":\"hosted\"}");

	engine.sampler ().recordRuntimeBankFailure (9, std::string (400, 'e').c_str (), "user-folder");
	const tavik_runtime_diagnostic& unknown = lastRecord (engine);
	EXPECT_EQ (unknown.code, DIAG_BANK_MISSING);
	EXPECT_EQ (std::strlen (unknown.message), 191u);
	EXPECT_EQ (std::string (unknown.message).rfind ("runtime bank load refused (bank-missing): eee", 0), 0u);
}

TEST (BankRefusal, RecallRecordsOnlyWhenTheStateNamesABank)
{
	KernelEngine engine;
	auto state = std::make_unique<StateChunk> ();
	EXPECT_EQ (engine.sampler ().recallSampleBank (*state), 0u);
	std::strcpy (state->bankRef.id, "drums");
	EXPECT_EQ (engine.sampler ().recallSampleBank (*state), 0u); // not marked present
	EXPECT_EQ (engine.diagnosticRing ().count, 0u);

	state->bankRef.present = true;
	EXPECT_EQ (engine.sampler ().recallSampleBank (*state), 2u);
	const tavik_runtime_diagnostic& record = lastRecord (engine);
	EXPECT_EQ (record.code, DIAG_BANK_MISSING);
	EXPECT_EQ (record.phase, PHASE_STATE);
	EXPECT_STREQ (record.message, "state recall named a bank this build does not contain; parameters kept, output "
	                              "silent, no bank substituted");
	EXPECT_STREQ (record.detail, "{\"bank\":\"drums\",\"banks\":0}");

	engine.sampler ().recordBankRecallFailure (3, "drums");
	EXPECT_EQ (lastRecord (engine).code, DIAG_BANK_HASH_MISMATCH);
	const uint32_t count = engine.diagnosticRing ().count;
	engine.sampler ().recordBankRecallFailure (1, "drums");
	engine.sampler ().recordBankRecallFailure (0, "drums");
	EXPECT_EQ (engine.diagnosticRing ().count, count);
}

} // namespace
