// Shared between the files of src/analysis; not part of its interface.
#pragma once

#include "specmags.h"
#include "specmags_kernels.h"

#define SPECMAGS_PI_F 3.1415927f
#define SPECMAGS_TWO_PI_F 6.2831855f

// Bin spacing sample_rate / fft_size in Hz, single precision.
float specmags_bin_spacing(const t_specmags *m);

// (Re)builds the edge tables, row lists and binning plans for the current
// num_bins, sample_rate and fft_size, reusing the block when num_bins is
// unchanged.  Returns 1, or 0 when the block could not be allocated.
int specmags_build_tables(t_specmags *m);

// Frees the tables block and clears every pointer into it.
void specmags_free_tables(t_specmags *m);

// The binning plan of a non-linear scale (1..4), or NULL for Lin or when
// the state has no tables.
const t_specmags_plan *specmags_plan_for(const t_specmags *m, unsigned scale);

// Frees every edit STFT array and setup and marks the edit STFT off.
void specmags_stft_free(t_specmags *m);

// fmodf(x, y) for x >= 0 and y > 0, bit for bit, without the library call.
float specmags_fmod_pos(float x, float y);

// Row j of an edge table with edges[j] <= f < edges[j + 1] by bisection over
// all rows; the bottom row for f at or below edges[0] (and for NaN), the top
// row for f at or above edges[nb].
int64_t specmags_find_row_bisect(const float *edges, int64_t nb, float f);

// The same row, found from the lookup table of those edges (see row_lookup):
// the bisection only runs between the rows of the neighbouring multiples of
// the bin spacing.  inv_d is 1 / bin spacing.
static inline int64_t specmags_find_row(const float *edges, const int32_t *lookup, int64_t nb, float inv_d,
                                        float f)
{
    if (!(f > edges[0]))
        return 0;
    if (f >= edges[nb])
        return nb - 1;
    const float q = f * inv_d;
    const int64_t b = q < (float)nb ? (int64_t)q : nb;
    int64_t lo = lookup[b > 0 ? b - 1 : 0];
    int64_t hi = lookup[b + 2 <= nb + 1 ? b + 2 : nb + 1] + 1;
    if (hi > nb)
        hi = nb;
    while (hi - lo > 1) {
        const int64_t mid = (lo + hi) / 2;
        lo = edges[mid] <= f ? mid : lo;
        hi = edges[mid] <= f ? hi : mid;
    }
    return lo;
}

// The lookup table of scale 0..4 (Lin for any other value), or NULL.
const int32_t *specmags_row_lookup(const t_specmags *m, unsigned scale);
