// The UI message that shows one controller's activity.
#pragma once

#include "cc_activity_feed.h"

#include <string>

namespace tavik {

/** Appends {"type":"tavik.midiCc","cc":N,"channel":N,"value":N}. */
void writeMidiCcJson (std::string& out, const CcActivityRecord& record);

} // namespace tavik
