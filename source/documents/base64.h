// Base64 (RFC 4648 standard alphabet, "=" padding, no line breaks) for binary
// payloads carried inside documents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavik {

/** Appends the Base64 text of `count` bytes, without quotes. */
void base64Append (std::string& out, const uint8_t* bytes, size_t count);

/** The 6-bit value of a Base64 character, or -1. */
int base64Digit (char c);

/** Decodes `text`. Fails when the text is malformed or would decode to more
 *  than `maxBytes` bytes (then `out` is not touched). On any other failure
 *  `out` may hold a partial result. */
bool base64Decode (const std::string& text, std::vector<uint8_t>& out, size_t maxBytes);

} // namespace tavik
