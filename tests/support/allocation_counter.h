// Counts every malloc-family call of the process while counting is on for
// the calling thread. The file that defines it replaces the process's
// malloc, calloc, realloc and aligned allocators, so it may be linked only
// into a program built without sanitizers (they bring allocators of their
// own), and at most once.
#pragma once

namespace tavik::test {

/** Starts counting on this thread from zero. */
void startCountingAllocations ();
/** Stops counting and gives the allocations seen since the start. */
long stopCountingAllocations ();

} // namespace tavik::test
