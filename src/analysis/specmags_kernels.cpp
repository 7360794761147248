// Per-frame kernels of the analysis (see specmags_kernels.h).
//
// The dB conversion is 20 * log10(x + 2^-23) computed as the natural
// logarithm times 20 / ln 10, the logarithm by the usual range reduction to a
// mantissa in [sqrt(1/2), sqrt(2)) and a degree-9 polynomial (Cephes logf,
// about 1 ulp), then one rounding for the scale: a few ulp in all.
#include "specmags_kernels.h"

#include <math.h>
#include <string.h>

#if defined(__SSE2__) || defined(_M_X64)
#define SPECMAGS_SSE2 1
#include <emmintrin.h>
#endif

#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)
#define SPECMAGS_AVX2 1
#include "specmags_kernels_avx2.h"
#include <cpuid.h>
#endif

#include <atomic>

namespace {

const float k_floor = 1.1920929e-7f;             // 2^-23
const float k_db_per_neper = 8.685889638065035f; // 20 / ln 10
const float k_sqrt_half = 0.707106781186547524f;
const float k_ln2_hi = 0.693359375f;
const float k_ln2_lo = -2.12194440e-4f;
const float k_poly[9] = {7.0376836292e-2f,  -1.1514610310e-1f, 1.1676998740e-1f,
                         -1.2420140846e-1f, 1.4249322787e-1f,  -1.6668057665e-1f,
                         2.0000714765e-1f,  -2.4999993993e-1f, 3.3333331174e-1f};

// 1 when the eight-lane kernels run; -1 until the processor was checked.
std::atomic<int> g_level{-1};

// AVX2 and FMA in the processor, and the YMM registers saved by the system
// (OSXSAVE and XGETBV), asked of CPUID directly: no compiler runtime needed,
// so the same code links for Linux, Windows and macOS.
int best_level()
{
#ifdef SPECMAGS_AVX2
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return 0;
    const unsigned fma = 1u << 12, osxsave = 1u << 27, avx = 1u << 28;
    if ((c & (fma | osxsave | avx)) != (fma | osxsave | avx))
        return 0;
    unsigned xcr0_lo, xcr0_hi;
    __asm__("xgetbv" : "=a"(xcr0_lo), "=d"(xcr0_hi) : "c"(0));
    if ((xcr0_lo & 6) != 6) // SSE and AVX state
        return 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return 0;
    return (b & (1u << 5)) ? 1 : 0; // AVX2
#else
    return 0;
#endif
}

inline bool use_avx2()
{
    int level = g_level.load(std::memory_order_relaxed);
    if (level < 0) {
        level = best_level();
        g_level.store(level, std::memory_order_relaxed);
    }
    return level == 1;
}

#ifdef SPECMAGS_SSE2

inline __m128 db4(__m128 x)
{
    const __m128 y = _mm_add_ps(x, _mm_set1_ps(k_floor));
    // Split y into 2^e * (1 + m) with 1 + m in [sqrt(1/2), sqrt(2)).
    const __m128i shifted = _mm_sub_epi32(_mm_castps_si128(y), _mm_set1_epi32(0x3F3504F3));
    const __m128i ei = _mm_srai_epi32(shifted, 23);
    const __m128 e = _mm_cvtepi32_ps(ei);
    const __m128 m = _mm_sub_ps(_mm_castsi128_ps(_mm_sub_epi32(_mm_castps_si128(y), _mm_slli_epi32(ei, 23))),
                                _mm_set1_ps(1.0f));
    const __m128 z = _mm_mul_ps(m, m);
    __m128 p = _mm_set1_ps(k_poly[0]);
    p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(k_poly[1]));
    p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(k_poly[2]));
    p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(k_poly[3]));
    p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(k_poly[4]));
    p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(k_poly[5]));
    p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(k_poly[6]));
    p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(k_poly[7]));
    p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(k_poly[8]));
    __m128 r = _mm_mul_ps(_mm_mul_ps(p, m), z);
    r = _mm_add_ps(r, _mm_mul_ps(e, _mm_set1_ps(k_ln2_lo)));
    r = _mm_add_ps(r, _mm_mul_ps(z, _mm_set1_ps(-0.5f)));
    r = _mm_add_ps(m, r);
    r = _mm_add_ps(r, _mm_mul_ps(e, _mm_set1_ps(k_ln2_hi)));
    r = _mm_mul_ps(r, _mm_set1_ps(k_db_per_neper));
    // Infinity and NaN (from a non-finite signal) pass through unchanged.
    const __m128 finite = _mm_cmplt_ps(y, _mm_set1_ps(INFINITY));
    return _mm_or_ps(_mm_and_ps(finite, r), _mm_andnot_ps(finite, y));
}

inline __m128 select4(__m128 mask, __m128 a, __m128 b)
{
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// atan2(y, x) lane by lane (Cephes atanf after folding into [0, tan(pi/8)]),
// within a few 1e-7 radians.
inline __m128 atan2_4(__m128 y, __m128 x)
{
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 ax = _mm_andnot_ps(sign, x);
    const __m128 ay = _mm_andnot_ps(sign, y);
    const __m128 n = _mm_min_ps(ax, ay);
    const __m128 d = _mm_max_ps(ax, ay);
    const __m128 big = _mm_cmpgt_ps(n, _mm_mul_ps(d, _mm_set1_ps(0.41421356f)));
    const __m128 num = select4(big, _mm_sub_ps(n, d), n);
    const __m128 den = select4(big, _mm_add_ps(n, d), d);
    const __m128 t = _mm_and_ps(_mm_div_ps(num, den), _mm_cmpneq_ps(den, _mm_setzero_ps()));
    const __m128 z = _mm_mul_ps(t, t);
    __m128 p = _mm_set1_ps(8.05374449538e-2f);
    p = _mm_sub_ps(_mm_mul_ps(p, z), _mm_set1_ps(1.38776856032e-1f));
    p = _mm_add_ps(_mm_mul_ps(p, z), _mm_set1_ps(1.99777106478e-1f));
    p = _mm_sub_ps(_mm_mul_ps(p, z), _mm_set1_ps(3.33329491539e-1f));
    __m128 r = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(p, z), t), t);
    r = _mm_add_ps(r, _mm_and_ps(big, _mm_set1_ps(0.78539816f)));
    r = select4(_mm_cmpgt_ps(ay, ax), _mm_sub_ps(_mm_set1_ps(1.5707964f), r), r);
    const __m128 xneg = _mm_castsi128_ps(_mm_srai_epi32(_mm_castps_si128(x), 31));
    r = select4(xneg, _mm_sub_ps(_mm_set1_ps(3.1415927f), r), r);
    return _mm_or_ps(r, _mm_and_ps(y, sign));
}

inline __m128 phases4(const float *pairs)
{
    const __m128 a = _mm_loadu_ps(pairs);
    const __m128 b = _mm_loadu_ps(pairs + 4);
    return atan2_4(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)),
                   _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
}

// Sums of four rows of up to four bins each: lane i of the result is the sum
// of the first count[i] values at p[i], added left to right.
inline __m128 row_sums4(const float *mags, const int32_t *first, const int32_t *count)
{
    const __m128 v0 = _mm_loadu_ps(mags + first[0]);
    const __m128 v1 = _mm_loadu_ps(mags + first[1]);
    const __m128 v2 = _mm_loadu_ps(mags + first[2]);
    const __m128 v3 = _mm_loadu_ps(mags + first[3]);
    const __m128 t0 = _mm_unpacklo_ps(v0, v1);
    const __m128 t1 = _mm_unpacklo_ps(v2, v3);
    const __m128 t2 = _mm_unpackhi_ps(v0, v1);
    const __m128 t3 = _mm_unpackhi_ps(v2, v3);
    // Column t holds bin t of each row; keep it where the row has that bin.
    const __m128i n = _mm_loadu_si128((const __m128i *)count);
    const __m128 c0 =
        _mm_and_ps(_mm_movelh_ps(t0, t1), _mm_castsi128_ps(_mm_cmpgt_epi32(n, _mm_set1_epi32(0))));
    const __m128 c1 =
        _mm_and_ps(_mm_movehl_ps(t1, t0), _mm_castsi128_ps(_mm_cmpgt_epi32(n, _mm_set1_epi32(1))));
    const __m128 c2 =
        _mm_and_ps(_mm_movelh_ps(t2, t3), _mm_castsi128_ps(_mm_cmpgt_epi32(n, _mm_set1_epi32(2))));
    const __m128 c3 =
        _mm_and_ps(_mm_movehl_ps(t3, t2), _mm_castsi128_ps(_mm_cmpgt_epi32(n, _mm_set1_epi32(3))));
    return _mm_add_ps(_mm_add_ps(_mm_add_ps(c0, c1), c2), c3);
}

#else

float db_scalar(float x)
{
    const float y = x + k_floor;
    if (!(y < INFINITY))
        return y;
    int ex = 0;
    float m = frexpf(y, &ex);
    float e = (float)ex;
    if (m < k_sqrt_half) {
        e -= 1.0f;
        m = m + m - 1.0f;
    } else {
        m = m - 1.0f;
    }
    const float z = m * m;
    float p = k_poly[0];
    for (int i = 1; i < 9; i++)
        p = p * m + k_poly[i];
    float r = p * m * z;
    r = r + e * k_ln2_lo;
    r = r + z * -0.5f;
    r = m + r;
    r = r + e * k_ln2_hi;
    return r * k_db_per_neper;
}

#endif

// Means of the fast rows, four at a time.
void fast_means(const t_specmags_plan *p, const float *mags, float *slots)
{
    const int32_t *first = p->fast_first;
    const int32_t *count = p->fast_count;
#ifdef SPECMAGS_SSE2
    for (int32_t g = 0; g < p->num_fast8; g += 4) {
        const __m128 s = row_sums4(mags, first + g, count + g);
        _mm_storeu_ps(slots + g, _mm_mul_ps(s, _mm_loadu_ps(p->fast_inv + g)));
    }
#else
    for (int32_t g = 0; g < p->num_fast8; g++) {
        float s = 0.0f;
        for (int32_t t = 0; t < count[g]; t++)
            s += mags[first[g] + t];
        slots[g] = s * p->fast_inv[g];
    }
#endif
}

} // namespace

int specmags_kernels_set_level(int level)
{
    const int best = best_level();
    const int l = level < 0 ? best : level < best ? level : best;
    g_level.store(l, std::memory_order_relaxed);
    return l;
}

int64_t specmags_plan_slots(const t_specmags_plan *p)
{
    return (int64_t)p->silent_slot + 1;
}

void specmags_window_copy(float *dst, const float *src, const float *win, int64_t n)
{
#ifdef SPECMAGS_AVX2
    if (use_avx2())
        return specmags_window_copy_avx2(dst, src, win, n);
#endif
    int64_t j = 0;
#ifdef SPECMAGS_SSE2
    for (; j + 4 <= n; j += 4)
        _mm_storeu_ps(dst + j, _mm_mul_ps(_mm_loadu_ps(src + j), _mm_loadu_ps(win + j)));
#endif
    for (; j < n; j++)
        dst[j] = src[j] * win[j];
}

void specmags_magnitudes(const float *spec, float *mags, int64_t num_bins, float end_scale, float mid_scale)
{
#ifdef SPECMAGS_AVX2
    if (use_avx2())
        return specmags_magnitudes_avx2(spec, mags, num_bins, end_scale, mid_scale);
#endif
    mags[0] = fabsf(spec[0]) * end_scale;
    mags[num_bins - 1] = fabsf(spec[1]) * end_scale;
    const float *pairs = spec + 2;
    float *out = mags + 1;
    const int64_t n = num_bins - 2;
    int64_t k = 0;
#ifdef SPECMAGS_SSE2
    const __m128 s = _mm_set1_ps(mid_scale);
    for (; k + 4 <= n; k += 4) {
        const __m128 a = _mm_loadu_ps(pairs + 2 * k);
        const __m128 b = _mm_loadu_ps(pairs + 2 * k + 4);
        const __m128 re = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 im = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 pw = _mm_add_ps(_mm_mul_ps(re, re), _mm_mul_ps(im, im));
        _mm_storeu_ps(out + k, _mm_mul_ps(_mm_sqrt_ps(pw), s));
    }
#endif
    for (; k < n; k++) {
        const float re = pairs[2 * k];
        const float im = pairs[2 * k + 1];
        out[k] = sqrtf(re * re + im * im) * mid_scale;
    }
}

void specmags_phases(const float *spec, float *phases, int64_t num_bins)
{
    phases[0] = atan2f(0.0f, spec[0]);
    phases[num_bins - 1] = atan2f(0.0f, spec[1]);
    specmags_pair_phases(spec + 2, phases + 1, num_bins - 2);
}

void specmags_pair_phases(const float *pairs, float *out, int64_t n)
{
#ifdef SPECMAGS_AVX2
    if (use_avx2())
        return specmags_phases_avx2(pairs, out, n);
#endif
    int64_t k = 0;
#ifdef SPECMAGS_SSE2
    for (; k + 4 <= n; k += 4)
        _mm_storeu_ps(out + k, phases4(pairs + 2 * k));
    if (k < n) {
        float in[8] = {0.0f};
        float res[4];
        memcpy(in, pairs + 2 * k, (size_t)(n - k) * 2 * sizeof(float));
        _mm_storeu_ps(res, phases4(in));
        memcpy(out + k, res, (size_t)(n - k) * sizeof(float));
    }
#else
    for (; k < n; k++)
        out[k] = atan2f(pairs[2 * k + 1], pairs[2 * k]);
#endif
}

void specmags_db(const float *x, float *out, int64_t n)
{
#ifdef SPECMAGS_AVX2
    if (use_avx2())
        return specmags_db_avx2(x, out, n);
#endif
#ifdef SPECMAGS_SSE2
    int64_t j = 0;
    for (; j + 4 <= n; j += 4)
        _mm_storeu_ps(out + j, db4(_mm_loadu_ps(x + j)));
    if (j < n) {
        float tail[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        memcpy(tail, x + j, (size_t)(n - j) * sizeof(float));
        _mm_storeu_ps(tail, db4(_mm_loadu_ps(tail)));
        memcpy(out + j, tail, (size_t)(n - j) * sizeof(float));
    }
#else
    for (int64_t j = 0; j < n; j++)
        out[j] = db_scalar(x[j]);
#endif
}

float specmags_db1(float x)
{
#ifdef SPECMAGS_AVX2
    if (use_avx2())
        return specmags_db1_avx2(x);
#endif
#ifdef SPECMAGS_SSE2
    return _mm_cvtss_f32(db4(_mm_set1_ps(x)));
#else
    return db_scalar(x);
#endif
}

void specmags_row_means(const t_specmags_plan *p, const float *mags, float *slots)
{
#ifdef SPECMAGS_AVX2
    if (use_avx2())
        specmags_fast_means_avx2(p, mags, slots);
    else
#endif
        fast_means(p, mags, slots);
    float *slow = slots + p->num_fast8;
    for (int32_t i = 0; i < p->num_slow; i++) {
        const float *m = mags + p->slow_first[i];
        float s = 0.0f;
        for (int32_t t = 0; t < p->slow_count[i]; t++)
            s += m[t];
        slow[i] = s * p->slow_inv[i];
    }
    slots[p->silent_slot] = 0.0f;
}

void specmags_expand_rows(const t_specmags_plan *p, const float *slots_db, float *out, int64_t num_bins)
{
#ifdef SPECMAGS_AVX2
    if (use_avx2())
        return specmags_expand_rows_avx2(p, slots_db, out, num_bins);
#endif
    const int32_t *slot = p->row_slot;
    for (int64_t j = 0; j < num_bins; j++)
        out[j] = slots_db[slot[j]];
}

void specmags_prefetch(const void *p, int64_t bytes)
{
    const char *c = (const char *)p;
    for (int64_t i = 0; i < bytes; i += 64)
        __builtin_prefetch(c + i, 0, 2);
}

void specmags_store_streaming(float *dst, const float *src, int64_t n)
{
    int64_t j = 0;
#ifdef SPECMAGS_SSE2
    if (((uintptr_t)dst & 15) == 0)
        for (; j + 4 <= n; j += 4)
            _mm_stream_ps(dst + j, _mm_loadu_ps(src + j));
#endif
    memcpy(dst + j, src + j, (size_t)(n - j) * sizeof(float));
}

int specmags_difference(float *row, const float *orig, int64_t n)
{
    int64_t j = 0;
    int changed = 0;
#ifdef SPECMAGS_SSE2
    // OR together every difference without its sign: zero only when every
    // difference is +-0.
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 any = _mm_setzero_ps();
    for (; j + 4 <= n; j += 4) {
        const __m128 d = _mm_sub_ps(_mm_loadu_ps(row + j), _mm_loadu_ps(orig + j));
        _mm_storeu_ps(row + j, d);
        any = _mm_or_ps(any, _mm_and_ps(d, magnitude));
    }
    changed = _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_castps_si128(any), _mm_setzero_si128())) != 0xffff;
#endif
    for (; j < n; j++) {
        const float d = row[j] - orig[j];
        row[j] = d;
        changed |= !(d == 0.0f);
    }
    return changed;
}

void specmags_add(float *out, const float *x, const float *d, int64_t n)
{
    int64_t j = 0;
#ifdef SPECMAGS_SSE2
    for (; j + 4 <= n; j += 4)
        _mm_storeu_ps(out + j, _mm_add_ps(_mm_loadu_ps(x + j), _mm_loadu_ps(d + j)));
#endif
    for (; j < n; j++)
        out[j] = x[j] + d[j];
}

void specmags_store_fence(void)
{
#ifdef SPECMAGS_SSE2
    _mm_sfence();
#endif
}

void specmags_synth_frame(float *dst, const float *src, const float *win, int64_t n_add, int64_t n)
{
#ifdef SPECMAGS_AVX2
    if (use_avx2())
        return specmags_synth_frame_avx2(dst, src, win, n_add, n);
#endif
    int64_t j = 0;
#ifdef SPECMAGS_SSE2
    const __m128 zero = _mm_setzero_ps();
    for (; j + 4 <= n_add; j += 4) {
        const __m128 v = _mm_mul_ps(_mm_loadu_ps(src + j), _mm_loadu_ps(win + j));
        _mm_storeu_ps(dst + j, _mm_add_ps(_mm_loadu_ps(dst + j), v));
    }
#endif
    for (; j < n_add; j++)
        dst[j] += src[j] * win[j];
#ifdef SPECMAGS_SSE2
    for (; j + 4 <= n; j += 4)
        _mm_storeu_ps(dst + j, _mm_add_ps(zero, _mm_mul_ps(_mm_loadu_ps(src + j), _mm_loadu_ps(win + j))));
#endif
    for (; j < n; j++)
        dst[j] = 0.0f + src[j] * win[j];
}
