// The processor through its VST 3 interfaces: each input is either a state
// blob for setState or a message for notify (its first byte picks which,
// and which message), followed now and then by a short render whose output
// must be finite and bounded.
#include "host_process_data.h"
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
		host->process (32);
		for (const auto& channel : host->output)
			for (const float sample : channel)
				if (!std::isfinite (sample) || std::fabs (sample) > 4)
					std::abort ();
	}
	return 0;
}
