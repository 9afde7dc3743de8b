// Scalar JSON writers. Documents are written by appending literal
// punctuation and member names around these.
#pragma once

#include <string>

namespace tavik {

/** Appends a number: "null" when not finite, else the shortest text that
 *  reads back exactly (see appendShortestNumber). */
void jsonAppendNumber (std::string& out, double value);

/** Appends a quoted string: the bytes up to the NUL terminator, with a
 *  backslash before every double quote and backslash and nothing else
 *  changed. A null text is written as "". */
void jsonAppendQuoted (std::string& out, const char* text);

} // namespace tavik
