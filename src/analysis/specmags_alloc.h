// Storage for the analysis state.
//
// Every array of the analysis state (the per-frame grids, the tables, the
// window, the edit STFT storage and the workers' FFT scratch) comes from
// specmags_alloc: zero-filled, 64-byte aligned (enough for PFFFT's SIMD
// loads).  On Linux large blocks are anonymous mappings, whose pages the
// kernel zeroes on first touch, only where the arrays are used; elsewhere
// they come from calloc.  A test hook can refuse any allocation, to exercise
// the failure paths.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Returns non-zero to make the allocation of `bytes` fail.  May be called
// from host worker threads at the same time, so it must be thread-safe.
typedef int (*specmags_alloc_hook)(size_t bytes, void *ctx);

// Allocates `bytes` zero-filled bytes, 64-byte aligned.  Returns NULL on
// failure or when the hook refuses.  Owned by the caller; free with
// specmags_free.  Any thread.
void *specmags_alloc(size_t bytes);

// specmags_alloc for `count` floats (NULL when count < 1 or too large).  Any thread.
float *specmags_alloc_floats(int64_t count);

// Frees a block from specmags_alloc; NULL is ignored.  Any thread.
void specmags_free(void *p);

// Asks the hook whether a non-array resource (an FFT setup) of about `bytes`
// may be created.  Returns 1 when it may.  Any thread.
int specmags_alloc_allowed(size_t bytes);

// Installs (or, with NULL, removes) the failure hook.  Tests only; call it
// while no analysis runs.
void specmags_set_alloc_hook(specmags_alloc_hook hook, void *ctx);

#ifdef __cplusplus
}
#endif
