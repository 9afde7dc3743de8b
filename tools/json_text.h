// Strict JSON text for the command-line tools' reports: every string is
// escaped per RFC 8259, so any plug-in's names come out as valid JSON.
#pragma once

#include <cstdint>
#include <string>

namespace tavik::tools {

/** Appends `utf8` as a quoted JSON string (control bytes as \uXXXX). */
void appendJsonString (std::string& out, const std::string& utf8);

/** UTF-8 text of a NUL-terminated UTF-16 string of at most `capacity`
 *  units (unpaired surrogates become U+FFFD). */
std::string utf16ToUtf8 (const char16_t* text, size_t capacity);

/** Upper-case hexadecimal of a 16-byte class id. */
std::string classIdHex (const char* tuid);

} // namespace tavik::tools
