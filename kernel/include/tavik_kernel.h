/* The gong kernel's library interface.
 *
 * A slot-based C interface: the library owns up to 1024 instrument
 * instances ("slots"), each with its own event queue and a fixed output
 * region, and hands out numeric handles. A slot's memory is made the first
 * time it is used. Statuses and handles come back as doubles that
 * hold small integers.
 *
 * Every entry point shares one symbol prefix: the package identifier and a
 * build tag. Use TAVIK_KERNEL_FN(name) to name them.
 *
 * Threads: after runtime_init, instances may be created, used and destroyed
 * on any threads at once; calls for one handle must come from one thread at
 * a time (its owner's). The entry contract (views handed out, the host-
 * callback check) is kept per calling thread. */
#ifndef TAVIK_KERNEL_H
#define TAVIK_KERNEL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TAVIK_KERNEL_FN(name) music_tavik_zorv_k2_##name

/* Receives a trap message: 0x01, then the trap text, a diagnostic code and
 * the running entry point's name, separated by 0x1F; under 2048 bytes. The
 * process aborts when the sink returns. */
typedef void (*tavik_kernel_panic_sink) (void* context, const uint8_t* message, size_t length, uint64_t extra);

enum
{
	TAVIK_KERNEL_MAX_INSTANCES = 1024,
	TAVIK_KERNEL_MAX_FRAMES = 128,
	TAVIK_KERNEL_OUT_CHANNELS = 2,
	TAVIK_KERNEL_MAX_EVENTS = 64,
	TAVIK_KERNEL_PARAMETER_COUNT = 26,
	TAVIK_KERNEL_EVENT_PARAMETER = 1,
	TAVIK_KERNEL_EVENT_NOTE_ON = 2,
	TAVIK_KERNEL_EVENT_NOTE_OFF = 3,
	TAVIK_KERNEL_EVENT_CONTROL_CHANGE = 4,
};

/* 0 on success, non-zero when initialisation failed. Makes the slot table
 * afresh on every call (instances of an earlier one are gone). */
int32_t TAVIK_KERNEL_FN (runtime_init) (void);

void TAVIK_KERNEL_FN (set_panic_sink) (tavik_kernel_panic_sink sink, void* context);

/* Releases handed-out views. */
void TAVIK_KERNEL_FN (collect) (void);

/* 2. */
double TAVIK_KERNEL_FN (abi_version) (void);

/* A handle (never 0), or 0 when refused. */
double TAVIK_KERNEL_FN (create) (uint32_t maxFrames, uint32_t inputChannels, uint32_t outputChannels,
                                 double sampleRate);

/* 0 ok, 1 invalid handle. */
double TAVIK_KERNEL_FN (destroy) (uint32_t handle);

/* Live instances, of at most TAVIK_KERNEL_MAX_INSTANCES. */
double TAVIK_KERNEL_FN (instances) (void);

/* 0 queued, 1 invalid handle or frame, 2 invalid kind or argument,
 * 3 non-finite value or full queue, 4 out of frame order. */
double TAVIK_KERNEL_FN (push_event) (uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value);

/* 0 ok, 1 invalid handle or too many frames, 2 the instrument refused. */
double TAVIK_KERNEL_FN (process) (uint32_t handle, uint32_t frames);

/* Applies the events queued at frame 0 as `process` would before its first
 * frame, renders nothing and empties the queue (events at later frames are
 * dropped, as by `process`). Lets a caller hand over more events for one
 * frame than the queue holds: 0 ok, 1 invalid handle, 2 the instrument
 * refused. */
double TAVIK_KERNEL_FN (apply_events) (uint32_t handle);

/* 0 ok, 1 invalid handle, 2 re-applying the defaults failed. */
double TAVIK_KERNEL_FN (reset) (uint32_t handle);

/* Always the empty array. */
void TAVIK_KERNEL_FN (input_view) (uint32_t handle, const float** data, uint32_t* length);

/* The slot's 256 floats (left at 0..127, right at 128..255), valid until
 * the next runtime_init, or the empty array for an invalid handle. */
void TAVIK_KERNEL_FN (output_view) (uint32_t handle, float** data, uint32_t* length);

#ifdef __cplusplus
}

/* Plain values the library applies to parameters 0..25 at create and reset:
 * the one table the kernel's own initial settings and the engine's view of
 * a new instance are taken from. */
inline constexpr double TAVIK_KERNEL_PARAMETER_DEFAULTS[TAVIK_KERNEL_PARAMETER_COUNT] = {
	0,    /* ir.instrument */
	1,    /* ir.size */
	1,    /* ir.decayScale */
	1,    /* ir.damping */
	0.4,  /* ir.stereoWidth */
	0.15, /* strike.position */
	0.6,  /* strike.velTone */
	0,    /* mallet.type */
	0.15, /* exciter.noise */
	0.7,  /* bloom.amount */
	0.8,  /* bloom.time */
	0.7,  /* glide.amount */
	1,    /* ombak.amount */
	2.5,  /* ombak.rate */
	15,   /* amp.decay */
	0.6,  /* amp.release */
	110,  /* tuning.baseFreq */
	0.8,  /* master.level */
	0,    /* model.stiffness */
	0,    /* model.coupling */
	0,    /* model.edgeLoss */
	0,    /* model.radiation */
	0.65, /* glide.depth */
	0.85, /* glide.time */
	0,    /* performance.fixedVelocity */
	0.85, /* performance.velocity */
};
#endif

#endif
