#include "kernel_spy.h"

namespace tavik::test {

namespace {

KernelSpy* gSpy = nullptr;

double spyCreate (uint32_t maxFrames, uint32_t in, uint32_t out, double rate)
{
	if (gSpy && gSpy->only48k && rate != 48000)
		return 0;
	const double handle = productKernelLibrary ().create (maxFrames, in, out, rate);
	if (gSpy)
		gSpy->calls.push_back ({KernelCall::CREATE, 0, 0, 0, rate, handle});
	return handle;
}

double spyPush (uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value)
{
	double status = 0;
	if (gSpy && gSpy->refuseParameters && kind == TAVIK_KERNEL_EVENT_PARAMETER)
		status = 3;
	else
		status = productKernelLibrary ().pushEvent (handle, kind, frame, a, value);
	if (gSpy)
		gSpy->calls.push_back ({KernelCall::PUSH, kind, frame, a, value, status});
	return status;
}

double spyProcess (uint32_t handle, uint32_t frames)
{
	const double status = productKernelLibrary ().process (handle, frames);
	if (gSpy)
		gSpy->calls.push_back ({KernelCall::PROCESS, 0, frames, 0, 0, status});
	return status;
}

double spyApply (uint32_t handle)
{
	const double status = productKernelLibrary ().applyEvents (handle);
	if (gSpy)
		gSpy->calls.push_back ({KernelCall::APPLY, 0, 0, 0, 0, status});
	return status;
}

double spyReset (uint32_t handle)
{
	if (gSpy)
		gSpy->calls.push_back ({KernelCall::RESET, 0, 0, 0, 0, 0});
	return productKernelLibrary ().reset (handle);
}

int32_t spyInit () { return productKernelLibrary ().runtimeInit (); }
void spySink (tavik_kernel_panic_sink sink, void* context) { productKernelLibrary ().setPanicSink (sink, context); }
double spyDestroy (uint32_t handle) { return productKernelLibrary ().destroy (handle); }
double spyInstances () { return productKernelLibrary ().instances (); }
void spyInput (uint32_t h, const float** d, uint32_t* n) { productKernelLibrary ().inputView (h, d, n); }
void spyOutput (uint32_t h, float** d, uint32_t* n) { productKernelLibrary ().outputView (h, d, n); }

const KernelLibraryApi kSpyApi = {spyInit,    spySink,  spyCreate, spyDestroy, spyInstances, spyPush,
                                  spyProcess, spyApply, spyReset,  spyInput,   spyOutput};

} // namespace

const KernelLibraryApi& KernelSpy::api ()
{
	gSpy = this;
	return kSpyApi;
}

void KernelSpy::install () { setDefaultKernelLibraryForTesting (&api ()); }

void KernelSpy::uninstall ()
{
	setDefaultKernelLibraryForTesting (nullptr);
	gSpy = nullptr;
}

std::vector<KernelCall> KernelSpy::pushes () const
{
	std::vector<KernelCall> out;
	for (const KernelCall& c : calls)
		if (c.type == KernelCall::PUSH)
			out.push_back (c);
	return out;
}

std::vector<uint32_t> KernelSpy::processedChunks () const
{
	std::vector<uint32_t> out;
	for (const KernelCall& c : calls)
		if (c.type == KernelCall::PROCESS)
			out.push_back (c.frame);
	return out;
}

} // namespace tavik::test
