// How a bank load ended, as a code the kernel records and a name the bank
// replies carry.
#pragma once

#include <cstdint>

namespace tavik {

enum RuntimeBankOutcome : uint32_t
{
	RUNTIME_BANK_OK = 0,
	RUNTIME_BANK_MISSING = 1,
	RUNTIME_BANK_HASH_MISMATCH = 2,
	RUNTIME_BANK_MALFORMED = 3,
	RUNTIME_BANK_UNSUPPORTED_CODEC = 4,
	RUNTIME_BANK_TOO_LARGE = 5,
	RUNTIME_BANK_INSTRUMENT_UNKNOWN = 6,
};

/** "ok", "bank-missing", … ; any value above 6 is "bank-missing". */
const char* runtimeBankOutcomeName (uint32_t outcome);

} // namespace tavik
