// The processor through its VST 3 interfaces: each input is either a state
// blob for setState or a message for notify (its first byte picks which,
// and which message), followed now and then by a short render, under MIDI
// controllers taken from the input's bytes, whose output must be finite and
// bounded and whose reported parameter values must be normalized.
#include "host_process_data.h"
#include "midi_controller_params.h"
#include "plugin_messages.h"
#include "processor_test_host.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::unique_ptr<HostApplication> application;
std::unique_ptr<tavik::test::ProcessorHost> host;

const char* const MESSAGES[] = {
	tavik::messages::CC_MAP,         tavik::messages::PAD_OVERRIDES,       tavik::messages::LOAD_RUNTIME_BANK,
	tavik::messages::PRESET_LOADED,  tavik::messages::TRANSPORT_POLL,      tavik::messages::FEED_DRAIN,
	tavik::messages::RESET_COUNTERS, tavik::messages::STAGE_RESOURCE_SLOT, "tavik.unknown",
};

} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
	// Banks a state names are looked for in a cache of the fuzzer's own.
	char pattern[] = "/tmp/zorv_fuzz_data_XXXXXX";
	if (const char* made = ::mkdtemp (pattern))
		::setenv ("XDG_DATA_HOME", made, 1);
	application = std::make_unique<HostApplication> ();
	host = std::make_unique<tavik::test::ProcessorHost> (application.get ());
	if (!host->start (48000, 256))
		std::abort ();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	if (size == 0)
		return 0;
	const uint8_t op = data[0];
	const auto* body = reinterpret_cast<const char*> (data + 1);
	const auto length = static_cast<int32> (size - 1);
	if (op < 128)
	{
		auto* stream = new MemoryStream ();
		int32 written = 0;
		stream->write (const_cast<char*> (body), length, &written);
		stream->seek (0, IBStream::kIBSeekSet, nullptr);
		host->processor ().setState (stream);
		stream->release ();
	}
	else
	{
		auto* message = new HostMessage ();
		message->setMessageID (MESSAGES[op % (sizeof MESSAGES / sizeof MESSAGES[0])]);
		message->getAttributes ()->setBinary (tavik::messages::JSON_ATTRIBUTE, body, static_cast<uint32> (length));
		host->processor ().notify (message);
		message->release ();
	}
	if (op % 16 == 0)
	{
		host->addNoteOn (48 + op % 24, 0.9f, 0);
		for (int32 i = 0; i < 8 && 3 * i + 2 < length; ++i)
			host->addParameterPoint (tavik::midiControllerParamId (static_cast<uint8_t> (body[3 * i]) % 16u,
			                                                       static_cast<uint8_t> (body[3 * i + 1]) % 130u),
			                         4 * i, static_cast<uint8_t> (body[3 * i + 2]) / 255.0);
		host->process (32);
		for (const auto& channel : host->output)
			for (const float sample : channel)
				if (!std::isfinite (sample) || std::fabs (sample) > 4)
					std::abort ();
		for (int32 q = 0; q < host->outputChanges.getParameterCount (); ++q)
		{
			IParamValueQueue* queue = host->outputChanges.getParameterData (q);
			for (int32 p = 0; p < queue->getPointCount (); ++p)
			{
				int32 offset = 0;
				ParamValue value = 0;
				queue->getPoint (p, offset, value);
				if (!(value >= 0 && value <= 1) || offset < 0 || offset >= 32 || queue->getParameterId () >= 26)
					std::abort ();
			}
		}
	}
	return 0;
}
