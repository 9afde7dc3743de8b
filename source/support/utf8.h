// UTF-8 encoding of single code points.
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

/** Appends `codePoint` (at most 0x10FFFF) as one to four UTF-8 bytes.
 *  Surrogate values are encoded like any other (three bytes). */
void appendUtf8 (std::string& out, uint32_t codePoint);

} // namespace tavik
