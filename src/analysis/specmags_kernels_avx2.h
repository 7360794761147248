// AVX2 + FMA kernels behind specmags_kernels.h (x86-64 only).  Call them
// only on processors that have both; specmags_kernels.cpp checks.
#pragma once

#include "specmags_kernels.h"

#include <stdint.h>

void specmags_window_copy_avx2(float *dst, const float *src, const float *win, int64_t n);
void specmags_synth_frame_avx2(float *dst, const float *src, const float *win, int64_t n_add, int64_t n);
void specmags_magnitudes_avx2(const float *spec, float *mags, int64_t num_bins, float end_scale,
                              float mid_scale);
void specmags_db_avx2(const float *x, float *out, int64_t n);
float specmags_db1_avx2(float x);
void specmags_fast_means_avx2(const t_specmags_plan *p, const float *mags, float *slots);
void specmags_expand_rows_avx2(const t_specmags_plan *p, const float *slots_db, float *out, int64_t num_bins);
void specmags_phases_avx2(const float *pairs, float *phases, int64_t n);
