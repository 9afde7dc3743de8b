// The bank loader on a scratch folder: the input is a manifest, an
// instrument document and a WAV file, separated by a marker line, written
// as bank.json, inst.json and hit.wav (a fourth part, if any, is a.wav).
#include "runtime_bank_loader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string scratch;

void writeFile (const std::string& name, const std::string& bytes)
{
	std::ofstream out (scratch + "/" + name, std::ios::binary | std::ios::trunc);
	out.write (bytes.data (), static_cast<std::streamsize> (bytes.size ()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
	char pattern[] = "/dev/shm/zorv_fuzz_bank_XXXXXX";
	const char* made = ::mkdtemp (pattern);
	if (!made)
	{
		char fallback[] = "/tmp/zorv_fuzz_bank_XXXXXX";
		made = ::mkdtemp (fallback);
	}
	if (!made)
		std::abort ();
	scratch = made;
	std::atexit ([] {
		for (const char* name : {"bank.json", "inst.json", "hit.wav", "a.wav"})
			std::remove ((scratch + "/" + name).c_str ());
		::rmdir (scratch.c_str ());
	});
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	const std::string input (reinterpret_cast<const char*> (data), size);
	static const std::string marker = "\n--8<--\n";
	const char* names[] = {"bank.json", "inst.json", "hit.wav", "a.wav"};
	size_t start = 0;
	for (const char* name : names)
	{
		const size_t end = start <= input.size () ? input.find (marker, start) : std::string::npos;
		writeFile (name, start <= input.size () ? input.substr (start, end == std::string::npos ? end : end - start)
		                                        : std::string ());
		start = end == std::string::npos ? input.size () + 1 : end + marker.size ();
	}
	tavik::RuntimeBankLimits limits;
	limits.arenaFrames = 1 << 20; // keep one run's memory small
	// The input's length picks the first instrument or a named one with a
	// small arena.
	if (size % 2)
		tavik::loadRuntimeBank (scratch, 64, "inst", limits);
	else
		tavik::loadRuntimeBank (scratch, 0, "", limits);
	return 0;
}
