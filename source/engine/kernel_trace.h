// Optional text trace of the engine's dealings with the kernel, for offline
// inspection: switched on by TAVIK_KERNEL_TRACE naming a file to append to.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tavik {

/** The process-wide trace file, opened on first use; null when tracing is off. */
std::FILE* kernelTraceFile ();

/** Advances the process-wide block number of the trace lines (only while
 *  tracing) and returns the new number. Engines on several threads share it. */
unsigned long long advanceKernelTraceBlock ();

} // namespace tavik
