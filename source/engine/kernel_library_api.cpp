#include "kernel_library_api.h"

#include <atomic>

namespace tavik {

namespace {

std::atomic<const KernelLibraryApi*> gDefault {nullptr};

} // namespace

const KernelLibraryApi& productKernelLibrary ()
{
	static const KernelLibraryApi api = {
		TAVIK_KERNEL_FN (runtime_init), TAVIK_KERNEL_FN (set_panic_sink), TAVIK_KERNEL_FN (create),
		TAVIK_KERNEL_FN (destroy),      TAVIK_KERNEL_FN (instances),      TAVIK_KERNEL_FN (push_event),
		TAVIK_KERNEL_FN (process),      TAVIK_KERNEL_FN (apply_events),   TAVIK_KERNEL_FN (reset),
		TAVIK_KERNEL_FN (input_view),   TAVIK_KERNEL_FN (output_view),
	};
	return api;
}

const KernelLibraryApi& defaultKernelLibrary ()
{
	const KernelLibraryApi* api = gDefault.load ();
	return api ? *api : productKernelLibrary ();
}

void setDefaultKernelLibraryForTesting (const KernelLibraryApi* api) { gDefault.store (api); }

} // namespace tavik
