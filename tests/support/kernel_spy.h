// A kernel library that records what the engine sends it, passing every
// call on to the real kernel; optionally refusing every rate but 48 kHz (so
// the engine falls back to its rate adapter) or refusing parameter events.
#pragma once

#include "kernel_library_api.h"

#include <cstdint>
#include <vector>

namespace tavik::test {

struct KernelCall
{
	enum Type
	{
		PUSH,
		PROCESS,
		APPLY,
		CREATE,
		RESET,
	};
	Type type;
	uint32_t kind = 0;
	uint32_t frame = 0;
	uint32_t a = 0;
	double value = 0;
	double status = 0;
};

struct KernelSpy
{
	std::vector<KernelCall> calls;
	bool only48k = false;
	bool refuseParameters = false;

	/** Installs the spy as the table new engines use (removed by uninstall). */
	const KernelLibraryApi& api ();
	void install ();
	static void uninstall ();

	std::vector<KernelCall> pushes () const;
	std::vector<uint32_t> processedChunks () const;
	void clear () { calls.clear (); }
};

} // namespace tavik::test
