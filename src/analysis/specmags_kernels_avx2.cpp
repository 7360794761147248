// Eight-lane versions of the hottest per-frame kernels (windowed copy,
// magnitudes, dB conversion) for processors with AVX2 and FMA.
//
// Every function here is compiled for AVX2 + FMA by its target attribute;
// specmags_kernels.cpp calls them only after checking the processor.  Tails
// go through the same eight-lane code on a padded copy, so a value does not
// depend on its position in the array.
#include "specmags_kernels_avx2.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <immintrin.h>
#include <math.h>
#include <string.h>

#define SPECMAGS_AVX2_FN __attribute__((target("avx2,fma")))

namespace {

SPECMAGS_AVX2_FN inline __m256 db8(__m256 x)
{
    const __m256 y = _mm256_add_ps(x, _mm256_set1_ps(1.1920929e-7f));
    // Split y into 2^e * (1 + f) with 1 + f in [sqrt(1/2), sqrt(2)).
    const __m256i shifted = _mm256_sub_epi32(_mm256_castps_si256(y), _mm256_set1_epi32(0x3F3504F3));
    const __m256i ei = _mm256_srai_epi32(shifted, 23);
    const __m256 mant =
        _mm256_castsi256_ps(_mm256_sub_epi32(_mm256_castps_si256(y), _mm256_slli_epi32(ei, 23)));
    const __m256 e = _mm256_cvtepi32_ps(ei);
    const __m256 f = _mm256_sub_ps(mant, _mm256_set1_ps(1.0f));
    const __m256 z = _mm256_mul_ps(f, f);
    __m256 p = _mm256_set1_ps(7.0376836292e-2f);
    p = _mm256_fmadd_ps(p, f, _mm256_set1_ps(-1.1514610310e-1f));
    p = _mm256_fmadd_ps(p, f, _mm256_set1_ps(1.1676998740e-1f));
    p = _mm256_fmadd_ps(p, f, _mm256_set1_ps(-1.2420140846e-1f));
    p = _mm256_fmadd_ps(p, f, _mm256_set1_ps(1.4249322787e-1f));
    p = _mm256_fmadd_ps(p, f, _mm256_set1_ps(-1.6668057665e-1f));
    p = _mm256_fmadd_ps(p, f, _mm256_set1_ps(2.0000714765e-1f));
    p = _mm256_fmadd_ps(p, f, _mm256_set1_ps(-2.4999993993e-1f));
    p = _mm256_fmadd_ps(p, f, _mm256_set1_ps(3.3333331174e-1f));
    __m256 r = _mm256_mul_ps(_mm256_mul_ps(p, f), z);
    r = _mm256_fmadd_ps(e, _mm256_set1_ps(-2.12194440e-4f), r);
    r = _mm256_fmadd_ps(z, _mm256_set1_ps(-0.5f), r);
    r = _mm256_add_ps(f, r);
    r = _mm256_fmadd_ps(e, _mm256_set1_ps(0.693359375f), r);
    r = _mm256_mul_ps(r, _mm256_set1_ps(8.685889638065035f));
    // Infinity and NaN (from a non-finite signal) pass through unchanged.
    const __m256 finite = _mm256_cmp_ps(y, _mm256_set1_ps(INFINITY), _CMP_LT_OQ);
    return _mm256_blendv_ps(y, r, finite);
}

SPECMAGS_AVX2_FN inline __m256 mags8(const float *pairs, __m256 scale)
{
    const __m256 a = _mm256_loadu_ps(pairs);
    const __m256 b = _mm256_loadu_ps(pairs + 8);
    // Per 128-bit lane: re and im of pairs 0,1,4,5 | 2,3,6,7.
    const __m256 re = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    const __m256 im = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    const __m256 m = _mm256_mul_ps(_mm256_sqrt_ps(_mm256_fmadd_ps(re, re, _mm256_mul_ps(im, im))), scale);
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(m), _MM_SHUFFLE(3, 1, 2, 0)));
}

// Loads four floats at a and four at b into the low and high lanes.
SPECMAGS_AVX2_FN inline __m256 load_pair(const float *a, const float *b)
{
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(a)), _mm_loadu_ps(b), 1);
}

SPECMAGS_AVX2_FN inline __m256 keep_if_more(__m256 v, __m256i count, int t)
{
    return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_cmpgt_epi32(count, _mm256_set1_epi32(t))));
}

// atan2(y, x) lane by lane (Cephes atanf after folding into [0, tan(pi/8)]).
SPECMAGS_AVX2_FN inline __m256 atan2_8(__m256 y, __m256 x)
{
    const __m256 sign = _mm256_set1_ps(-0.0f);
    const __m256 ax = _mm256_andnot_ps(sign, x);
    const __m256 ay = _mm256_andnot_ps(sign, y);
    const __m256 n = _mm256_min_ps(ax, ay);
    const __m256 d = _mm256_max_ps(ax, ay);
    const __m256 big = _mm256_cmp_ps(n, _mm256_mul_ps(d, _mm256_set1_ps(0.41421356f)), _CMP_GT_OQ);
    const __m256 num = _mm256_blendv_ps(n, _mm256_sub_ps(n, d), big);
    const __m256 den = _mm256_blendv_ps(d, _mm256_add_ps(n, d), big);
    const __m256 t =
        _mm256_and_ps(_mm256_div_ps(num, den), _mm256_cmp_ps(den, _mm256_setzero_ps(), _CMP_NEQ_UQ));
    const __m256 z = _mm256_mul_ps(t, t);
    __m256 p = _mm256_set1_ps(8.05374449538e-2f);
    p = _mm256_fmsub_ps(p, z, _mm256_set1_ps(1.38776856032e-1f));
    p = _mm256_fmadd_ps(p, z, _mm256_set1_ps(1.99777106478e-1f));
    p = _mm256_fmsub_ps(p, z, _mm256_set1_ps(3.33329491539e-1f));
    __m256 r = _mm256_fmadd_ps(_mm256_mul_ps(p, z), t, t);
    r = _mm256_add_ps(r, _mm256_and_ps(big, _mm256_set1_ps(0.78539816f)));
    r = _mm256_blendv_ps(r, _mm256_sub_ps(_mm256_set1_ps(1.5707964f), r), _mm256_cmp_ps(ay, ax, _CMP_GT_OQ));
    r = _mm256_blendv_ps(r, _mm256_sub_ps(_mm256_set1_ps(3.1415927f), r), x);
    return _mm256_or_ps(r, _mm256_and_ps(y, sign));
}

SPECMAGS_AVX2_FN inline __m256 phases8(const float *pairs)
{
    const __m256 a = _mm256_loadu_ps(pairs);
    const __m256 b = _mm256_loadu_ps(pairs + 8);
    const __m256 re = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    const __m256 im = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    const __m256 r = atan2_8(im, re);
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(r), _MM_SHUFFLE(3, 1, 2, 0)));
}

} // namespace

SPECMAGS_AVX2_FN void specmags_phases_avx2(const float *pairs, float *phases, int64_t n)
{
    int64_t k = 0;
    for (; k + 8 <= n; k += 8)
        _mm256_storeu_ps(phases + k, phases8(pairs + 2 * k));
    if (k < n) {
        float in[16] = {0.0f};
        float res[8];
        memcpy(in, pairs + 2 * k, (size_t)(n - k) * 2 * sizeof(float));
        _mm256_storeu_ps(res, phases8(in));
        memcpy(phases + k, res, (size_t)(n - k) * sizeof(float));
    }
}

SPECMAGS_AVX2_FN void specmags_fast_means_avx2(const t_specmags_plan *p, const float *mags, float *slots)
{
    const int32_t *first = p->fast_first;
    for (int32_t g = 0; g < p->num_fast8; g += 8) {
        const int32_t *f = first + g;
        // Rows g..g+3 in the low lanes, g+4..g+7 in the high lanes.
        const __m256 v0 = load_pair(mags + f[0], mags + f[4]);
        const __m256 v1 = load_pair(mags + f[1], mags + f[5]);
        const __m256 v2 = load_pair(mags + f[2], mags + f[6]);
        const __m256 v3 = load_pair(mags + f[3], mags + f[7]);
        const __m256 t0 = _mm256_unpacklo_ps(v0, v1);
        const __m256 t1 = _mm256_unpacklo_ps(v2, v3);
        const __m256 t2 = _mm256_unpackhi_ps(v0, v1);
        const __m256 t3 = _mm256_unpackhi_ps(v2, v3);
        const __m256i n = _mm256_loadu_si256((const __m256i *)(p->fast_count + g));
        const __m256 c0 = keep_if_more(_mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(1, 0, 1, 0)), n, 0);
        const __m256 c1 = keep_if_more(_mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 2, 3, 2)), n, 1);
        const __m256 c2 = keep_if_more(_mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(1, 0, 1, 0)), n, 2);
        const __m256 c3 = keep_if_more(_mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(3, 2, 3, 2)), n, 3);
        const __m256 s = _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(c0, c1), c2), c3);
        _mm256_storeu_ps(slots + g, _mm256_mul_ps(s, _mm256_loadu_ps(p->fast_inv + g)));
    }
}

SPECMAGS_AVX2_FN void specmags_expand_rows_avx2(const t_specmags_plan *p, const float *slots_db, float *out,
                                                int64_t num_bins)
{
    const int32_t *slot = p->row_slot;
    int64_t j = 0;
    for (; j + 8 <= num_bins; j += 8) {
        const __m256i idx = _mm256_loadu_si256((const __m256i *)(slot + j));
        _mm256_storeu_ps(out + j, _mm256_i32gather_ps(slots_db, idx, 4));
    }
    for (; j < num_bins; j++)
        out[j] = slots_db[slot[j]];
}

SPECMAGS_AVX2_FN void specmags_window_copy_avx2(float *dst, const float *src, const float *win, int64_t n)
{
    int64_t j = 0;
    for (; j + 8 <= n; j += 8)
        _mm256_storeu_ps(dst + j, _mm256_mul_ps(_mm256_loadu_ps(src + j), _mm256_loadu_ps(win + j)));
    for (; j < n; j++)
        dst[j] = src[j] * win[j];
}

SPECMAGS_AVX2_FN void specmags_synth_frame_avx2(float *dst, const float *src, const float *win, int64_t n_add,
                                                int64_t n)
{
    const __m256 zero = _mm256_setzero_ps();
    int64_t j = 0;
    for (; j + 8 <= n_add; j += 8)
        _mm256_storeu_ps(dst + j, _mm256_fmadd_ps(_mm256_loadu_ps(src + j), _mm256_loadu_ps(win + j),
                                                  _mm256_loadu_ps(dst + j)));
    for (; j < n_add; j++)
        dst[j] = fmaf(src[j], win[j], dst[j]);
    for (; j + 8 <= n; j += 8)
        _mm256_storeu_ps(
            dst + j, _mm256_add_ps(zero, _mm256_mul_ps(_mm256_loadu_ps(src + j), _mm256_loadu_ps(win + j))));
    for (; j < n; j++)
        dst[j] = 0.0f + src[j] * win[j];
}

SPECMAGS_AVX2_FN void specmags_magnitudes_avx2(const float *spec, float *mags, int64_t num_bins,
                                               float end_scale, float mid_scale)
{
    mags[0] = fabsf(spec[0]) * end_scale;
    mags[num_bins - 1] = fabsf(spec[1]) * end_scale;
    const float *pairs = spec + 2;
    float *out = mags + 1;
    const int64_t n = num_bins - 2;
    const __m256 s = _mm256_set1_ps(mid_scale);
    int64_t k = 0;
    for (; k + 8 <= n; k += 8)
        _mm256_storeu_ps(out + k, mags8(pairs + 2 * k, s));
    if (k < n) {
        float in[16] = {0.0f};
        float res[8];
        memcpy(in, pairs + 2 * k, (size_t)(n - k) * 2 * sizeof(float));
        _mm256_storeu_ps(res, mags8(in, s));
        memcpy(out + k, res, (size_t)(n - k) * sizeof(float));
    }
}

SPECMAGS_AVX2_FN void specmags_db_avx2(const float *x, float *out, int64_t n)
{
    int64_t j = 0;
    for (; j + 8 <= n; j += 8)
        _mm256_storeu_ps(out + j, db8(_mm256_loadu_ps(x + j)));
    if (j < n) {
        float tail[8] = {0.0f};
        memcpy(tail, x + j, (size_t)(n - j) * sizeof(float));
        _mm256_storeu_ps(tail, db8(_mm256_loadu_ps(tail)));
        memcpy(out + j, tail, (size_t)(n - j) * sizeof(float));
    }
}

SPECMAGS_AVX2_FN float specmags_db1_avx2(float x)
{
    return _mm256_cvtss_f32(db8(_mm256_set1_ps(x)));
}

#endif
