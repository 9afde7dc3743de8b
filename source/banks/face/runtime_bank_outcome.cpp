#include "runtime_bank_outcome.h"

namespace tavik {

const char* runtimeBankOutcomeName (uint32_t outcome)
{
	switch (outcome)
	{
		case RUNTIME_BANK_OK: return "ok";
		case RUNTIME_BANK_HASH_MISMATCH: return "bank-hash-mismatch";
		case RUNTIME_BANK_MALFORMED: return "bank-malformed";
		case RUNTIME_BANK_UNSUPPORTED_CODEC: return "bank-unsupported-codec";
		case RUNTIME_BANK_TOO_LARGE: return "bank-too-large";
		case RUNTIME_BANK_INSTRUMENT_UNKNOWN: return "bank-instrument-unknown";
		default: return "bank-missing";
	}
}

} // namespace tavik
