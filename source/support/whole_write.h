// Writing a whole buffer to a file descriptor, through short writes and
// interrupted calls.
#pragma once

#include <cstddef>

namespace tavik {

/** Writes `size` bytes; false (errno set, ENOSPC when the file took no
 *  more) when not all of them were written. */
bool writeWhole (int fd, const void* data, size_t size);

} // namespace tavik
