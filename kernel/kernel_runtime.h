// Run-time support behind the library interface: the entry contract every
// entry point follows, fatal traps and their delivery to the host's sink,
// and the bookkeeping of views handed out to the host. The contract is kept
// per calling thread, so instances used on different threads never share
// an entry name, a callback depth, a pending error or a view.
#pragma once

#include "tavik_kernel.h"

#include <cstdint>

namespace tavik::kernel::runtime {

/** Entry contract, constructed first thing in an entry point: records the
 *  entry's name, aborts if a trap poisoned the library, traps when called
 *  from inside a host callback, and releases the views of the previous
 *  call (unless `releaseViews` is false). Its destructor turns a pending
 *  error into a trap. */
class EntryScope
{
public:
	explicit EntryScope (const char* name, bool releaseViews = true);
	~EntryScope ();
	EntryScope (const EntryScope&) = delete;
	EntryScope& operator= (const EntryScope&) = delete;
};

/** A fatal error: builds the message, calls the sink once, aborts. */
[[noreturn]] void trap (const char* text);

/** Remembers an error to be raised as a trap when the entry point returns. */
void setPendingError (const char* text);

void setPanicSink (tavik_kernel_panic_sink sink, void* context);

/** Only the host-callback check of the entry contract (set_panic_sink). */
void checkNotInHostCallback (const char* entryName);

/** Records a view handed out to the host; released by the calling
 *  thread's next entry. */
void noteViewHandedOut ();
void releaseViews ();
uint32_t outstandingViews ();

/** The diagnostic code a trap text is filed under. */
const char* trapCode (const char* text);

/** Builds the trap message (exposed for tests). Returns its length. */
size_t buildTrapMessage (const char* text, const char* entryName, char* out, size_t capacity);

constexpr size_t MAX_TRAP_MESSAGE = 2047;

} // namespace tavik::kernel::runtime
