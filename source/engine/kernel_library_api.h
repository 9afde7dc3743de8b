// The kernel library's entry points as the engine calls them. The engine
// holds a table of them rather than calling the library directly, so that a
// test can stand between the two (for example to make the kernel refuse the
// host's sample rate and exercise the rate adapter).
#pragma once

#include "tavik_kernel.h"

#include <cstdint>

namespace tavik {

struct KernelLibraryApi
{
	int32_t (*runtimeInit) ();
	void (*setPanicSink) (tavik_kernel_panic_sink sink, void* context);
	double (*create) (uint32_t maxFrames, uint32_t inputChannels, uint32_t outputChannels, double sampleRate);
	double (*destroy) (uint32_t handle);
	double (*instances) ();
	double (*pushEvent) (uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value);
	double (*process) (uint32_t handle, uint32_t frames);
	double (*applyEvents) (uint32_t handle);
	double (*reset) (uint32_t handle);
	void (*inputView) (uint32_t handle, const float** data, uint32_t* length);
	void (*outputView) (uint32_t handle, float** data, uint32_t* length);
};

/** The product's own kernel. */
const KernelLibraryApi& productKernelLibrary ();

/** The table new engines use: the product's kernel unless a test replaced it
 *  (null restores the product's). */
const KernelLibraryApi& defaultKernelLibrary ();
void setDefaultKernelLibraryForTesting (const KernelLibraryApi* api);

} // namespace tavik
