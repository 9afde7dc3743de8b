// Calls a host makes into the plug-in must never see an exception (the host
// is someone else's process, beside unsaved work): the work runs here and
// any exception it raises becomes a result code.
#pragma once

#include <new>

namespace tavik {

template <typename Result, typename Work>
Result callRefusingExceptions (Result outOfMemory, Result failure, Work&& work) noexcept
{
	try
	{
		return work ();
	}
	catch (const std::bad_alloc&)
	{
		return outOfMemory;
	}
	catch (...)
	{
		return failure;
	}
}

} // namespace tavik
