// Per-frame arithmetic of the analysis: windowed copy, magnitudes, the dB
// conversion and the row means of the non-linear scales.
//
// These run once per frame on every worker, so they are written with SSE2
// intrinsics on x86 (every x86-64 target has SSE2) and with plain loops
// elsewhere; the windowed copy, the magnitudes and the dB conversion also
// have eight-lane AVX2 + FMA versions, chosen once at run time when the
// processor has them.  Within one choice every result is the same for every
// position in an array (tails go through the same vector code), so a value
// never depends on where in a row it lies.  Host-free: built as a library of
// its own, which the edit kernels use too.
#pragma once

#include <stdint.h>

// Binning plan of one non-linear scale: its non-empty rows split into "fast"
// rows (1 to 4 bins, read four at a time) and "slow" rows (more bins, or too
// close to the top bin for a four-bin read), and for every display row the
// slot of the row means array whose value it shows.
typedef struct _specmags_plan
{
    int32_t num_fast;    // fast rows, stored in slots 0 .. num_fast - 1
    int32_t num_fast8;   // num_fast rounded up to a multiple of 8 (padding slots)
    int32_t num_slow;    // slow rows, slots num_fast8 .. num_fast8 + num_slow - 1
    int32_t silent_slot; // slot num_fast8 + num_slow: a zero mean, for empty bottom rows
    int32_t *fast_first; // num_fast8: first bin (0 in padding)
    int32_t *fast_count; // num_fast8: bins 1..4 (0 in padding)
    float *fast_inv;     // num_fast8: 1 / count (0 in padding)
    int32_t *slow_first; // num_slow
    int32_t *slow_count; // num_slow
    float *slow_inv;     // num_slow
    int32_t *row_slot;   // num_bins: slot shown by each display row
} t_specmags_plan;

// Chooses the kernels: 0 the baseline (SSE2 on x86), 1 the eight-lane AVX2 +
// FMA ones where the processor has them, -1 the best available (the
// default).  Returns the level now in force.  Tests only; not while analysing.
int specmags_kernels_set_level(int level);

// Slots a plan's row means array needs (at most num_bins + 8).
int64_t specmags_plan_slots(const t_specmags_plan *p);

// dst[j] = src[j] * win[j] for j < n.
void specmags_window_copy(float *dst, const float *src, const float *win, int64_t n);

// Copies n floats to dst, past the caches where dst is aligned for it (the
// copy of a result nothing reads again soon); specmags_store_fence orders
// such stores before the stores that follow it, and must end a series.
void specmags_store_streaming(float *dst, const float *src, int64_t n);
void specmags_store_fence(void);

// Linear magnitudes of one frame from PFFFT's ordered real output `spec` of
// length 2 * (num_bins - 1): mags[0] = |DC| * end_scale, mags[nb-1] =
// |Nyquist| * end_scale, mags[k] = sqrt(re^2 + im^2) * mid_scale.
void specmags_magnitudes(const float *spec, float *mags, int64_t num_bins, float end_scale, float mid_scale);

// Phases of one frame from PFFFT's ordered real output: atan2f(0, DC) and
// atan2f(0, Nyquist) at the ends, atan2(im, re) (within a few 1e-7 rad)
// between.
void specmags_phases(const float *spec, float *phases, int64_t num_bins);

// atan2(im, re) of n (re, im) pairs (within a few 1e-7 rad).
void specmags_pair_phases(const float *pairs, float *phases, int64_t n);

// out[j] = 20 * log10(x[j] + 2^-23) for j < n; out may equal x.  A few ulp.
void specmags_db(const float *x, float *out, int64_t n);

// The same conversion for one value (bit-identical to specmags_db).
float specmags_db1(float x);

// Row means of one frame's magnitudes under plan p into slots[0 .. slots-1].
void specmags_row_means(const t_specmags_plan *p, const float *mags, float *slots);

// out[j] = slots_db[p->row_slot[j]] for the num_bins display rows.
void specmags_expand_rows(const t_specmags_plan *p, const float *slots_db, float *out, int64_t num_bins);

// row[j] -= orig[j] for j < n; returns 1 when any difference is not zero
// (a NaN counts), 0 when all are +-0.
int specmags_difference(float *row, const float *orig, int64_t n);

// out[j] = x[j] + d[j] for j < n.
void specmags_add(float *out, const float *x, const float *d, int64_t n);

// Asks the processor to bring `bytes` bytes at p into its caches (L2), to
// overlap the memory traffic of the next frame with this frame's FFT.
void specmags_prefetch(const void *p, int64_t bytes);

// Synthesis of one edit frame: v = src[j] * win[j], where win holds the
// synthesis window with the inverse's scale; dst[j] += v for j < n_add
// (samples earlier frames reached), dst[j] = 0 + v for n_add <= j < n
// (samples this frame reaches first).  The AVX2 version fuses the
// multiply-adds.
void specmags_synth_frame(float *dst, const float *src, const float *win, int64_t n_add, int64_t n);
