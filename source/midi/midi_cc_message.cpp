#include "midi_cc_message.h"

#include "json_writer.h"

namespace tavik {

void writeMidiCcJson (std::string& out, const CcActivityRecord& record)
{
	JsonMembers message = JsonMembers::open (out);
	message.text ("type", "tavik.midiCc");
	message.number ("cc", record.cc);
	message.number ("channel", record.channel);
	message.number ("value", record.value);
	message.close ();
}

} // namespace tavik
