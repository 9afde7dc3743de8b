#include "kernel_runtime.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tavik::kernel::runtime {

namespace {

// The entry contract is kept per thread: plug-in instances render on
// different threads at once, and each call's entry name, callback depth,
// pending error and handed-out views belong to the thread making it. Only
// the poisoned flag and the sink are process-wide.
//
// Initial-exec: in a module the host loads with dlopen, the default model
// has the C library allocate a thread's block on its first access, which
// would be an allocation on a new audio thread's first process call. These
// 24 bytes come out of the static TLS reserve for loaded modules instead.
#define KERNEL_THREAD_STATE thread_local __attribute__ ((tls_model ("initial-exec")))
KERNEL_THREAD_STATE const char* tCurrentEntry = "";
KERNEL_THREAD_STATE const char* tPendingError = nullptr;
KERNEL_THREAD_STATE int tCallbackDepth = 0;
KERNEL_THREAD_STATE uint32_t tOutstandingViews = 0;
std::atomic<bool> gPoisoned {false};
std::atomic<tavik_kernel_panic_sink> gSink {nullptr};
std::atomic<void*> gSinkContext {nullptr};

struct CodeRule
{
	const char* fragment;
	const char* code;
};

// Checked in order; the first fragment found in the trap text decides.
const CodeRule kCodeRules[] = {
	{"invoked from a host callback", "callback-misuse"},
	{"library entry", "entry-misuse"},
	{"out of memory", "out-of-memory"},
	{"internal error", "internal-error"},
	{"RangeError", "range-error"},
	{"TypeError", "type-error"},
	{"SyntaxError", "syntax-error"},
	{"uncaught", "uncaught-exception"},
};

uint64_t codeNumber (const char* code)
{
	for (size_t i = 0; i < sizeof (kCodeRules) / sizeof (kCodeRules[0]); ++i)
		if (std::strcmp (kCodeRules[i].code, code) == 0)
			return i + 1;
	return 0;
}

} // namespace

const char* trapCode (const char* text)
{
	for (const CodeRule& rule : kCodeRules)
		if (text && std::strstr (text, rule.fragment))
			return rule.code;
	return "other";
}

size_t buildTrapMessage (const char* text, const char* entryName, char* out, size_t capacity)
{
	if (!text)
		text = "";
	if (!entryName)
		entryName = "";
	const char* code = trapCode (text);
	const size_t codeLength = std::strlen (code);
	const size_t entryLength = std::strlen (entryName);
	size_t limit = capacity < MAX_TRAP_MESSAGE ? capacity : MAX_TRAP_MESSAGE;
	// 0x01, text, 0x1F, code, 0x1F, entry.
	const size_t fixed = 3 + codeLength + entryLength;
	if (fixed > limit)
		return 0;
	size_t textLength = std::strlen (text);
	if (textLength > limit - fixed)
		textLength = limit - fixed;
	size_t n = 0;
	out[n++] = 0x01;
	for (size_t i = 0; i < textLength; ++i)
		out[n++] = (text[i] == 0x01 || text[i] == 0x1F) ? ' ' : text[i];
	out[n++] = 0x1F;
	std::memcpy (out + n, code, codeLength);
	n += codeLength;
	out[n++] = 0x1F;
	std::memcpy (out + n, entryName, entryLength);
	n += entryLength;
	return n;
}

void trap (const char* text)
{
	// A trap raised while the sink runs is delivered once more; deeper
	// nesting could only recurse, so it ends the process at once.
	if (tCallbackDepth > 1)
		std::abort ();
	char message[MAX_TRAP_MESSAGE + 1];
	const size_t length = buildTrapMessage (text, tCurrentEntry, message, sizeof (message));
	if (const tavik_kernel_panic_sink sink = gSink.load (std::memory_order_acquire))
	{
		++tCallbackDepth;
		sink (gSinkContext.load (std::memory_order_relaxed), reinterpret_cast<const uint8_t*> (message), length,
		      codeNumber (trapCode (text)));
		--tCallbackDepth;
	}
	gPoisoned.store (true);
	std::abort ();
}

void setPendingError (const char* text) { tPendingError = text; }

void setPanicSink (tavik_kernel_panic_sink sink, void* context)
{
	// The context is published by the release store of the sink.
	gSinkContext.store (context, std::memory_order_relaxed);
	gSink.store (sink, std::memory_order_release);
}

void checkNotInHostCallback (const char* entryName)
{
	if (tCallbackDepth > 0)
	{
		char text[256]; // trap copies it before it returns or aborts
		std::snprintf (text, sizeof (text), "vexil: library entry '%s' invoked from a host callback\n", entryName);
		tCurrentEntry = entryName;
		trap (text);
	}
}

void noteViewHandedOut () { ++tOutstandingViews; }
void releaseViews () { tOutstandingViews = 0; }
uint32_t outstandingViews () { return tOutstandingViews; }

EntryScope::EntryScope (const char* name, bool release)
{
	tCurrentEntry = name;
	if (gPoisoned.load ())
		std::abort ();
	checkNotInHostCallback (name);
	if (release)
		releaseViews ();
}

EntryScope::~EntryScope ()
{
	if (tPendingError)
	{
		const char* text = tPendingError;
		tPendingError = nullptr;
		trap (text);
	}
}

} // namespace tavik::kernel::runtime
