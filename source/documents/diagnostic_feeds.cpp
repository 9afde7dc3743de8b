#include "diagnostic_feeds.h"

#include <cstring>

namespace tavik {

namespace {

struct FeedName
{
	const char* name;
	uint32_t bit;
};

const FeedName kFeeds[] = {
	{"host", 1},       {"transport", 2},  {"midiIn", 4},   {"midiOut", 8},   {"meters", 16},  {"scope", 32},
	{"lifecycle", 64}, {"counters", 128}, {"params", 256}, {"presets", 512}, {"clock", 1024},
};

} // namespace

uint32_t diagnosticFeedBit (const char* name)
{
	if (!name)
		return 0;
	for (const FeedName& feed : kFeeds)
		if (std::strcmp (feed.name, name) == 0)
			return feed.bit;
	return 0;
}

uint32_t diagnosticFeedBit (const std::string& name)
{
	for (const FeedName& feed : kFeeds)
		if (name == feed.name)
			return feed.bit;
	return 0;
}

} // namespace tavik
