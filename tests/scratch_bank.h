// A small, valid sample bank written into a scratch folder for one test:
// a manifest, one instrument document and one 16-bit WAV file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::test {

/** The bytes of a PCM WAV file with the given interleaved samples. */
std::vector<uint8_t> pcmWav (const std::vector<int16_t>& samples, uint16_t channels = 1, uint32_t rate = 48000);

class ScratchBank
{
public:
	/** A fresh folder under the temporary directory. */
	ScratchBank ();
	/** The folder `path`, created with its parents. */
	explicit ScratchBank (const std::string& path);
	~ScratchBank ();
	ScratchBank (const ScratchBank&) = delete;
	ScratchBank& operator= (const ScratchBank&) = delete;

	const std::string& path () const { return root; }
	/** Replaces (or adds) a file of the bank. */
	void write (const std::string& name, const std::string& bytes) const;
	void write (const std::string& name, const std::vector<uint8_t>& bytes) const;

private:
	void fill () const;
	std::string root;
};

} // namespace tavik::test
