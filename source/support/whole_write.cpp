#include "whole_write.h"

#include <cerrno>
#include <unistd.h>

namespace tavik {

bool writeWhole (int fd, const void* data, size_t size)
{
	const char* bytes = static_cast<const char*> (data);
	size_t done = 0;
	while (done < size)
	{
		const ssize_t n = ::write (fd, bytes + done, size - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
		{
			if (n == 0)
				errno = ENOSPC;
			return false;
		}
		done += static_cast<size_t> (n);
	}
	return true;
}

} // namespace tavik
