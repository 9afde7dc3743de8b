// Optional text trace of the engine's dealings with the kernel, for offline
// inspection: switched on by TAVIK_KERNEL_TRACE naming a file to append to.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tavik {

/** The process-wide trace file, opened on first use; null when tracing is off. */
std::FILE* kernelTraceFile ();

/** Block number of the trace lines (advanced only while tracing). */
unsigned long long& kernelTraceBlockNumber ();

} // namespace tavik
