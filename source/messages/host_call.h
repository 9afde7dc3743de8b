// The guard around the work of a host call: whatever the work throws
// becomes kOutOfMemory (memory exhausted) or kInternalError, never an
// exception in the host.
#pragma once

#include "no_throw.h"

#include "pluginterfaces/base/funknown.h"

namespace tavik {

template <typename Work>
Steinberg::tresult guardedHostCall (Work&& work) noexcept
{
	return callRefusingExceptions<Steinberg::tresult> (Steinberg::kOutOfMemory, Steinberg::kInternalError, work);
}

} // namespace tavik
