// Locale-independent number text: the C library's strtod rules and the
// shortest round-trip decimal form. Hosts may switch the process locale (a
// decimal comma would otherwise corrupt every stored document), so neither
// function looks at it.
#pragma once

#include <string>

namespace tavik {

/** strtod in the "C" locale. `text` must be NUL-terminated. */
double parseCNumber (const char* text, char** endOut);

/** Appends the shortest decimal text that reads back as exactly `value`,
 *  in plain or exponent notation, whichever is shorter (plain on a tie).
 *  Exponents are written as printf's %e does ("1e+06", "1.5e-07"); plain
 *  integral values carry no point; negative zero is "-0". `value` must be
 *  finite. */
void appendShortestNumber (std::string& out, double value);

/** Appends printf's "%.17g" text of `value` in the "C" locale. */
void appendG17Number (std::string& out, double value);

} // namespace tavik
