// The WAV decoder on its own.
#include "wav_decoder.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	tavik::WavAudio audio;
	std::string error;
	tavik::decodeWav (data, size, audio, error);
	return 0;
}
