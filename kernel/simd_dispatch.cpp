#include "mode_resonators.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace tavik::kernel {

namespace {

using Renderer = void (*) (const ModeBlock&);

constexpr Renderer kRenderers[SIMD_PATH_COUNT] = {
	renderModeBlockSse2,
	renderModeBlockAvx2,
	renderModeBlockAvx512,
};

std::atomic<int> gPath {-1};

int resolvePath ()
{
	int path = gPath.load (std::memory_order_relaxed);
	if (path < 0)
	{
		path = static_cast<int> (bestSimdPath ());
		gPath.store (path, std::memory_order_relaxed);
	}
	return path;
}

} // namespace

const char* simdPathName (SimdPath path)
{
	switch (path)
	{
		case SimdPath::Sse2: return "sse2";
		case SimdPath::Avx2: return "avx2";
		case SimdPath::Avx512: return "avx512";
	}
	return "unknown";
}

bool simdPathSupported (SimdPath path)
{
	__builtin_cpu_init ();
	switch (path)
	{
		case SimdPath::Sse2: return true;
		case SimdPath::Avx2: return __builtin_cpu_supports ("avx2");
		case SimdPath::Avx512: return __builtin_cpu_supports ("avx512f");
	}
	return false;
}

SimdPath bestSimdPath ()
{
	if (simdPathSupported (SimdPath::Avx512))
		return SimdPath::Avx512;
	if (simdPathSupported (SimdPath::Avx2))
		return SimdPath::Avx2;
	return SimdPath::Sse2;
}

SimdPath currentSimdPath () { return static_cast<SimdPath> (resolvePath ()); }

bool setSimdPath (SimdPath path)
{
	if (!simdPathSupported (path))
		return false;
	gPath.store (static_cast<int> (path), std::memory_order_relaxed);
	return true;
}

void applySimdPathOverride ()
{
	const char* name = std::getenv ("ZORV_SIMD_PATH");
	if (!name)
		return;
	for (int p = 0; p < SIMD_PATH_COUNT; ++p)
		if (std::strcmp (name, simdPathName (static_cast<SimdPath> (p))) == 0)
			setSimdPath (static_cast<SimdPath> (p));
}

void renderModeBlock (const ModeBlock& block) { kRenderers[resolvePath ()](block); }

} // namespace tavik::kernel
