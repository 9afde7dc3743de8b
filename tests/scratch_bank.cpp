#include "scratch_bank.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tavik::test {

namespace {

void put16 (std::vector<uint8_t>& out, uint32_t v)
{
	out.push_back (static_cast<uint8_t> (v));
	out.push_back (static_cast<uint8_t> (v >> 8));
}

void put32 (std::vector<uint8_t>& out, uint32_t v)
{
	put16 (out, v & 0xFFFF);
	put16 (out, v >> 16);
}

void putTag (std::vector<uint8_t>& out, const char* tag) { out.insert (out.end (), tag, tag + 4); }

} // namespace

std::vector<uint8_t> pcmWav (const std::vector<int16_t>& samples, uint16_t channels, uint32_t rate)
{
	const uint32_t dataBytes = static_cast<uint32_t> (samples.size () * 2);
	std::vector<uint8_t> out;
	putTag (out, "RIFF");
	put32 (out, 36 + dataBytes);
	putTag (out, "WAVE");
	putTag (out, "fmt ");
	put32 (out, 16);
	put16 (out, 1);
	put16 (out, channels);
	put32 (out, rate);
	put32 (out, rate * channels * 2);
	put16 (out, channels * 2);
	put16 (out, 16);
	putTag (out, "data");
	put32 (out, dataBytes);
	for (int16_t s : samples)
		put16 (out, static_cast<uint16_t> (s));
	return out;
}

ScratchBank::ScratchBank ()
{
	std::string pattern = (std::filesystem::temp_directory_path () / "zorv-bank-XXXXXX").string ();
	if (!mkdtemp (pattern.data ()))
		throw std::runtime_error ("cannot create a scratch folder");
	root = pattern;
	fill ();
}

ScratchBank::ScratchBank (const std::string& path) : root (path)
{
	std::filesystem::create_directories (root);
	fill ();
}

ScratchBank::~ScratchBank ()
{
	std::error_code ignored;
	std::filesystem::remove_all (root, ignored);
}

void ScratchBank::write (const std::string& name, const std::string& bytes) const
{
	std::ofstream out (root + "/" + name, std::ios::binary | std::ios::trunc);
	out.write (bytes.data (), static_cast<std::streamsize> (bytes.size ()));
}

void ScratchBank::write (const std::string& name, const std::vector<uint8_t>& bytes) const
{
	write (name, std::string (bytes.begin (), bytes.end ()));
}

void ScratchBank::fill () const
{
	write ("bank.json",
	       "{\"format\":\"tavik-sound-pack/v1\",\"id\":\"scratch\",\"version\":\"1.0\",\"name\":\"Scratch\","
	       "\"assetTable\":[{\"id\":\"hit\",\"path\":\"hit.wav\"}],"
	       "\"instruments\":[{\"id\":\"inst\",\"name\":\"Instrument\",\"document\":\"inst.json\"}]}");
	write ("inst.json", "{\"format\":\"tavik-sampler-instrument/v1\",\"zones\":[{\"id\":\"z\",\"assetId\":\"hit\"}]}");
	write ("hit.wav", pcmWav ({0, 1000, -1000, 16384, -16384, 0}));
}

} // namespace tavik::test
