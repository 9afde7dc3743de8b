// The processor's answer to a bank load request, as the controller's bank
// control reads it back: line-feed separated lines, tab separated fields.
#pragma once

#include "staged_bank.h"

#include <string>

namespace tavik {

/** The outcome name ("missing" when null), the message, and with a bank its
 *  instrument, every listed instrument and kit, and its presets (each line
 *  led by the byte 0x01, parameters separated by 0x1F). No line feed after
 *  the last line. */
std::string encodeRuntimeBankReply (const char* outcome, const std::string& message, const StagedBank* bank);

} // namespace tavik
