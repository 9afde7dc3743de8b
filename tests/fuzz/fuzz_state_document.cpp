// The plug-in state document: whatever parses must write back into a
// document that parses again with the same values.
#include "state_document.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	auto chunk = std::make_unique<tavik::StateChunk> ();
	if (!tavik::parseStateJson (reinterpret_cast<const char*> (data), size, *chunk))
		return 0;
	const std::string again = tavik::writeStateJson (
		chunk->values, chunk->variation, chunk->hasCcMap ? &chunk->ccMap : nullptr, chunk->samplerAssetFault,
		chunk->samplerZoneProgram, nullptr, chunk->hasPadOverrides ? &chunk->padOverrides : nullptr, nullptr);
	auto back = std::make_unique<tavik::StateChunk> ();
	if (!tavik::parseStateJson (again.data (), again.size (), *back))
		std::abort ();
	return 0;
}
