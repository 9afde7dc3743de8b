#include "kernel_trace.h"

#include <cstdlib>

namespace tavik {

std::FILE* kernelTraceFile ()
{
	static std::FILE* const file = [] () -> std::FILE* {
		const char* path = std::getenv ("TAVIK_KERNEL_TRACE");
		if (!path || !*path)
			return nullptr;
		return std::fopen (path, "a");
	}();
	return file;
}

unsigned long long& kernelTraceBlockNumber ()
{
	static unsigned long long number = 0;
	return number;
}

} // namespace tavik
