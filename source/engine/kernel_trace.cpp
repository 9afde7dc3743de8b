#include "kernel_trace.h"

#include <atomic>
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

unsigned long long advanceKernelTraceBlock ()
{
	static std::atomic<unsigned long long> number {0};
	return number.fetch_add (1, std::memory_order_relaxed) + 1;
}

} // namespace tavik
