// A Standard MIDI File's structure checked before the MIDI library reads
// it: the library stops the whole program on some malformed tracks (it
// asserts), and a user's file must get an error line instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavik::tools {

/** Empty when the bytes are a structurally sound Standard MIDI File: a
 *  header chunk, at least as many track chunks as it declares, each inside
 *  the file, and every track a walk of complete events that ends with its
 *  End of Track event. Otherwise what is wrong, for a message. */
std::string midiFileProblem (const uint8_t* bytes, size_t size);

} // namespace tavik::tools
