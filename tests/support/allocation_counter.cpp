#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>

extern "C" {
void* __libc_malloc (size_t);
void* __libc_calloc (size_t, size_t);
void* __libc_realloc (void*, size_t);
void* __libc_memalign (size_t, size_t);
void __libc_free (void*);
}

namespace {

thread_local bool tCounting = false;
std::atomic<long> gAllocations {0};

inline void count ()
{
	if (tCounting)
		gAllocations.fetch_add (1, std::memory_order_relaxed);
}

} // namespace

namespace tavik::test {

void startCountingAllocations ()
{
	gAllocations = 0;
	tCounting = true;
}

long stopCountingAllocations ()
{
	tCounting = false;
	return gAllocations.load ();
}

} // namespace tavik::test

extern "C" {

void* malloc (size_t n)
{
	count ();
	return __libc_malloc (n);
}

void* calloc (size_t a, size_t b)
{
	count ();
	return __libc_calloc (a, b);
}

void* realloc (void* p, size_t n)
{
	count ();
	return __libc_realloc (p, n);
}

void* memalign (size_t alignment, size_t n)
{
	count ();
	return __libc_memalign (alignment, n);
}

void* aligned_alloc (size_t alignment, size_t n)
{
	count ();
	return __libc_memalign (alignment, n);
}

int posix_memalign (void** out, size_t alignment, size_t n)
{
	count ();
	void* p = __libc_memalign (alignment, n);
	if (!p)
		return 12; // ENOMEM
	*out = p;
	return 0;
}

void free (void* p) { __libc_free (p); }

} // extern "C"
