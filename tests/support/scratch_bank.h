// A small, valid sample bank for one test: a manifest, one instrument
// document ("inst") and one 16-bit WAV file, written into a folder of a
// TempDirectory.
#pragma once

#include "temp_directory.h"
#include "wav_bytes.h"

#include <string>

namespace tavik::test {

/** Writes the bank into `under` inside `dir` (its root when empty). */
inline void writeScratchBank (const TempDirectory& dir, const std::string& under = std::string ())
{
	const std::string prefix = under.empty () ? std::string () : under + "/";
	dir.write (prefix + "bank.json",
	           "{\"format\":\"tavik-sound-pack/v1\",\"id\":\"scratch\",\"version\":\"1.0\",\"name\":\"Scratch\","
	           "\"assetTable\":[{\"id\":\"hit\",\"path\":\"hit.wav\"}],"
	           "\"instruments\":[{\"id\":\"inst\",\"name\":\"Instrument\",\"document\":\"inst.json\"}]}");
	dir.write (prefix + "inst.json",
	           "{\"format\":\"tavik-sampler-instrument/v1\",\"zones\":[{\"id\":\"z\",\"assetId\":\"hit\"}]}");
	dir.write (prefix + "hit.wav", wav16 ({0, 1000, -1000, 16384, -16384, 0}));
}

} // namespace tavik::test
