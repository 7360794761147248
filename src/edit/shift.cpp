// The frequency-shift kernel and the parts both shift kernels share.
//
// Both kernels work frame by frame on a scratch copy: sources are always read
// from the frame as it was before the kernel touched it.  Per frame they
// clear the region's bins in move modes, then write every target bin whose
// source position lies in the region (mix: add, replace: overwrite on the
// first write).  The frequency shift moves content by a fixed number of bins:
// a whole number exactly, a fraction with the least-squares taps of
// specedit_frac_taps, and a per-frame phase rotation keeps the shifted
// partials coherent from hop to hop.  The pitch shift lives in pitch.cpp.
//
// All working arrays are allocated once per call or pass, before any frame
// is touched; if one allocation fails the kernel frees the others and returns 0
// with the spectra unchanged.
#include "shift_internal.h"

#include <math.h>
#include <string.h>

#ifndef M_PI
#define M_PI 3.14159265358979323846
#endif

void specedit_shift_work_free(t_shift_work *w)
{
    specedit_queries_free(&w->clear_q);
    specedit_queries_free(&w->source_q);
    specedit_region_free(&w->region);
    specedit_free(w->scratch);
    specedit_free(w->written);
    specedit_free(w->clear);
    specedit_free(w->source);
    specedit_free(w->bin_pos);
    specedit_free(w->bin_hz);
    specedit_free(w->src_pos);
    specedit_free(w->src_hz);
    memset(w, 0, sizeof(*w));
}

// Sets up the geometry, the region (rect or shapes, one of them null), the
// mode flags and the arrays; the caller then fills src_pos and src_hz and
// calls specedit_shift_work_ready.  Returns 1 on success; on failure everything
// obtained is freed and 0 returned.
static int shift_work_init(t_shift_work *w, const t_specedit_geometry *g, const t_specedit_rect *rect,
                           const t_specedit_shapes *shapes, int mode, int inverted, double gain)
{
    memset(w, 0, sizeof(*w));
    w->g = *g;
    if (mode < SPECEDIT_MOVE_MIX)
        mode = SPECEDIT_MOVE_MIX;
    if (mode > SPECEDIT_COPY_REPLACE)
        mode = SPECEDIT_COPY_REPLACE;
    w->move = mode == SPECEDIT_MOVE_MIX || mode == SPECEDIT_MOVE_REPLACE;
    w->replace = mode == SPECEDIT_MOVE_REPLACE || mode == SPECEDIT_COPY_REPLACE;
    w->use_gain = gain != 1.0;
    w->gain = (float)gain;
    size_t n = (size_t)w->g.num_bins;
    if (rect) {
        specedit_region_rect(&w->region, &w->g, rect, inverted);
    } else if (!specedit_region_shapes(&w->region, &w->g, shapes, inverted)) {
        return 0;
    }
    w->scratch = (float *)specedit_calloc(2 * n, sizeof(float));
    w->written = (uint8_t *)specedit_calloc(n, 1);
    w->clear = (uint8_t *)specedit_calloc(n, 1);
    w->source = (uint8_t *)specedit_calloc(n, 1);
    w->bin_pos = (double *)specedit_calloc(n, sizeof(double));
    w->bin_hz = (double *)specedit_calloc(n, sizeof(double));
    w->src_pos = (double *)specedit_calloc(n, sizeof(double));
    w->src_hz = (double *)specedit_calloc(n, sizeof(double));
    if (!w->scratch || !w->written || !w->clear || !w->source || !w->bin_pos || !w->bin_hz ||
        !w->src_pos || !w->src_hz) {
        specedit_shift_work_free(w);
        return 0;
    }
    for (size_t k = 0; k < n; k++) {
        w->bin_pos[k] = (double)k;
        w->bin_hz[k] = (double)k * w->g.bin_hz;
    }
    return 1;
}

int specedit_shift_work_ready(t_shift_work *w)
{
    long n = w->g.num_bins;
    if (!specedit_queries_init(&w->clear_q, &w->region, w->bin_pos, w->bin_hz, n) ||
        !specedit_queries_init(&w->source_q, &w->region, w->src_pos, w->src_hz, n)) {
        specedit_shift_work_free(w);
        return 0;
    }
    return 1;
}

void specedit_shift_frame_begin(t_shift_work *w, const float *row, double t)
{
    long n = w->g.num_bins;
    memcpy(w->scratch, row, (size_t)n * 2 * sizeof(float));
    if (w->replace)
        memset(w->written, 0, (size_t)n);
    if (w->move) {
        specedit_region_mask(&w->region, t, &w->clear_q, w->clear);
        for (long k = 0; k < n; k++) {
            if (w->clear[k]) {
                w->scratch[2 * k] = 0.0f;
                w->scratch[2 * k + 1] = 0.0f;
            }
        }
    }
    specedit_region_mask(&w->region, t, &w->source_q, w->source);
}

void specedit_shift_frame_end(t_shift_work *w, float *row)
{
    long n = w->g.num_bins;
    memcpy(row, w->scratch, (size_t)n * 2 * sizeof(float));
    row[1] = 0.0f;
    if (2 * (n - 1) == w->g.win_size)
        row[2 * (n - 1) + 1] = 0.0f;
}


// Weighted inner product of the modulations e^(i a theta) and e^(i b theta)
// over one frame, theta = 2 pi (n - centre) / N from -pi to pi, the weight
// being the squared Hann window cos^4(theta / 2) = 3/8 + cos(theta) / 2 +
// cos(2 theta) / 8: a sum of integrals of cos(d theta), d = a - b.
static double frac_inner(double d)
{
    double s[5];
    for (int q = -2; q <= 2; q++) {
        double x = d + (double)q;
        s[q + 2] = fabs(x) < 1e-12 ? 2.0 * M_PI : 2.0 * sin(M_PI * x) / x;
    }
    return 0.375 * s[2] + 0.25 * (s[1] + s[3]) + 0.0625 * (s[0] + s[4]);
}

void specedit_frac_taps(double f, float *taps)
{
    const int n = SPECEDIT_FRAC_TAPS, half = SPECEDIT_FRAC_HALF;
    if (f == 0.0) {
        for (int a = 0; a < n; a++)
            taps[a] = a == half - 1 ? 1.0f : 0.0f;
        return;
    }
    // Normal equations of the fit sum_t c_t e^(i (t - f) theta) = 1: a
    // symmetric positive definite system, solved by elimination.
    double a[SPECEDIT_FRAC_TAPS][SPECEDIT_FRAC_TAPS], b[SPECEDIT_FRAC_TAPS];
    for (int r = 0; r < n; r++) {
        b[r] = frac_inner((double)(r - half + 1) - f);
        for (int c = 0; c < n; c++)
            a[r][c] = frac_inner((double)(r - c));
    }
    for (int i = 0; i < n; i++) {
        for (int r = i + 1; r < n; r++) {
            double q = a[r][i] / a[i][i];
            for (int c = i; c < n; c++)
                a[r][c] -= q * a[i][c];
            b[r] -= q * b[i];
        }
    }
    for (int i = n - 1; i >= 0; i--) {
        double s = b[i];
        for (int c = i + 1; c < n; c++)
            s -= a[i][c] * (double)taps[c];
        taps[i] = (float)(s / a[i][i]);
    }
}

// The frequency shift: S bins in all, applied as floor(S) whole bins and a
// fraction with the taps of specedit_frac_taps.
typedef struct _freq_shift {
    double phi_step;   // rotation per frame
    int whole;         // S is a whole number of bins
    float taps[SPECEDIT_FRAC_TAPS];
    float *cref;       // n pairs: e^(i pi k (N - 1) / N), fractional shifts only
    long kshift;       // fractional shifts: target j reads from bin j + kshift up
    float *centred;    // n pairs: the frame in the window-centre reference
    float *interp;     // n pairs: the interpolated values, by target
} t_freq_shift;

static void freq_shift_free(t_freq_shift *fs)
{
    specedit_free(fs->cref);
    specedit_free(fs->centred);
    specedit_free(fs->interp);
    fs->cref = fs->centred = fs->interp = nullptr;
}

// The values at the source positions of targets j0..j1 (bins j + kshift +
// f) into interp, in the window-centre reference: the bins they read are
// taken into that reference, then the taps run one at a time over all the
// targets, which vectorises.  Taps reaching past either end of the spectrum
// read nothing.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("tree-vectorize"))) // GCC leaves the tap loops scalar at -O2
#endif
static void freq_shift_interpolate(const t_freq_shift *fs, const float *x_in, long n, long j0, long j1)
{
    const long base = fs->kshift - SPECEDIT_FRAC_HALF + 1;  // target j's first tap reads bin j + base
    long lo = j0 + base, hi = j1 + base + SPECEDIT_FRAC_TAPS - 1;
    for (long k = lo > 0 ? lo : 0; k <= hi && k < n; k++) {
        float xr = x_in[2 * k], xi = x_in[2 * k + 1], cr = fs->cref[2 * k], ci = fs->cref[2 * k + 1];
        fs->centred[2 * k] = xr * cr - xi * ci;
        fs->centred[2 * k + 1] = xr * ci + xi * cr;
    }
    memset(fs->interp + 2 * j0, 0, (size_t)(j1 - j0 + 1) * 2 * sizeof(float));
    for (int a = 0; a < SPECEDIT_FRAC_TAPS; a++) {
        long off = base + a;
        long ja = j0 > -off ? j0 : -off, jb = j1 < n - 1 - off ? j1 : n - 1 - off;
        const float g = fs->taps[a];
        const float *__restrict src = fs->centred + 2 * off + 2 * ja;
        float *__restrict dst = fs->interp + 2 * ja;
        const long count = 2 * (jb - ja + 1);
        for (long t = 0; t < count; t++)
            dst[t] += g * src[t];
    }
}

// Frequency shift of one frame with the rotation phi.
//
// Target j takes its value at the source position x = j - S.  A whole
// number of bins copies bin k = floor(x) as it is.  A fraction interpolates
// the frame in the window-centre reference and brings the value back into
// bin k's own reference: that changes only a partial's constant phase.
static void freq_shift_frame(t_shift_work *w, const t_freq_shift *fs, const float *x_in, double phi)
{
    long n = w->g.num_bins;
    float c = (float)cos(phi), s = (float)sin(phi);
    long j0 = 0, j1 = n - 1;
    while (j0 < n && !w->source[j0])
        j0++;
    while (j1 > j0 && !w->source[j1])
        j1--;
    if (j0 == n)
        return;
    if (fs->whole) {
        for (long j = j0; j <= j1; j++) {
            double x = w->src_pos[j];
            if (!w->source[j] || !(x >= 0.0 && x < (double)n))
                continue;
            long k = (long)floor(x);
            float re = x_in[2 * k], im = x_in[2 * k + 1];
            specedit_shift_write(w, j, re * c - im * s, re * s + im * c);
        }
        return;
    }
    freq_shift_interpolate(fs, x_in, n, j0, j1);
    // Back into bin k = j + kshift's reference and turned by phi: one
    // rotation by e^(i phi) conj(cref[k]) = rc conj(cref[j]), rc constant.
    const double centre = M_PI * (double)(w->g.win_size - 1) / (double)w->g.win_size;
    const float rcr = (float)cos(phi - centre * (double)fs->kshift);
    const float rci = (float)sin(phi - centre * (double)fs->kshift);
    float *v = fs->interp;
    for (long j = j0; j <= j1; j++) {
        float cr = fs->cref[2 * j] * rcr + fs->cref[2 * j + 1] * rci;   // rc conj(cref[j]), real
        float ci = rci * fs->cref[2 * j] - rcr * fs->cref[2 * j + 1];   // and imaginary part
        float vr = v[2 * j], vi = v[2 * j + 1];
        v[2 * j] = vr * cr - vi * ci;
        v[2 * j + 1] = vr * ci + vi * cr;
    }
    for (long j = j0; j <= j1; j++) {
        double x = w->src_pos[j];
        if (w->source[j] && x >= 0.0 && x < (double)n)
            specedit_shift_write(w, j, v[2 * j], v[2 * j + 1]);
    }
}

// Source positions and taps of the frequency shift.  Returns 1 when ready;
// on failure frees everything and returns 0.
static int freq_shift_setup(t_shift_work *w, double shift_hz, t_freq_shift *fs)
{
    long n = w->g.num_bins;
    double shift_bins = shift_hz / w->g.bin_hz;
    for (long j = 0; j < n; j++) {
        w->src_pos[j] = (double)j - shift_bins;
        w->src_hz[j] = w->src_pos[j] * w->g.bin_hz;
    }
    fs->phi_step = 2.0 * M_PI * shift_bins * (double)w->g.hop / (double)w->g.win_size;
    // Every target reads its source at the same fraction above a bin.
    double f = -shift_bins - floor(-shift_bins);
    fs->whole = f == 0.0;
    fs->kshift = (long)floor(-shift_bins);
    specedit_frac_taps(f, fs->taps);
    fs->cref = fs->centred = fs->interp = nullptr;
    if (!specedit_shift_work_ready(w))
        return 0;
    if (fs->whole)
        return 1;
    fs->cref = (float *)specedit_calloc(2 * (size_t)n, sizeof(float));
    fs->centred = (float *)specedit_calloc(2 * (size_t)n, sizeof(float));
    fs->interp = (float *)specedit_calloc(2 * (size_t)n, sizeof(float));
    if (!fs->cref || !fs->centred || !fs->interp) {
        freq_shift_free(fs);
        specedit_shift_work_free(w);
        return 0;
    }
    double centre = M_PI * (double)(w->g.win_size - 1) / (double)w->g.win_size;
    for (long k = 0; k < n; k++) {
        fs->cref[2 * k] = (float)cos(centre * (double)k);
        fs->cref[2 * k + 1] = (float)sin(centre * (double)k);
    }
    return 1;
}

static void freq_shift_frames(t_shift_work *w, const t_freq_shift *fs, float *rows, int64_t first,
                              int64_t count)
{
    long n = w->g.num_bins;
    for (int64_t r = 0; r < count; r++) {
        int64_t i = first + r;
        float *row = rows + (size_t)r * (size_t)n * 2;
        double t = specedit_frame_time(&w->g, i);
        if (!specedit_region_frame_edited(&w->region, t))
            continue;
        specedit_shift_frame_begin(w, row, t);
        freq_shift_frame(w, fs, row, fs->phi_step * (double)i);
        specedit_shift_frame_end(w, row);
    }
}

// A shift kernel with everything it needs from frame to frame.
typedef struct _shift_pass {
    t_shift_work w;
    t_pitch_work *p;   // pitch shift only
    t_freq_shift fs;   // frequency shift only
} t_shift_pass;

// A shift of exactly 0 (or a non-finite one) leaves the spectra alone.
static int shift_does_nothing(const t_specedit_op *op)
{
    return op->shift == 0.0 || !isfinite(op->shift);
}

// Sets up s for op, a shift that does something.  Returns 1 when ready, 0
// when an allocation failed (nothing left allocated).
static int shift_pass_setup(t_shift_pass *s, const t_specedit_geometry *g, const t_specedit_op *op)
{
    int pitch = op->kernel == SPECEDIT_PITCH_SHIFT;
    double shift = op->shift;
    if (pitch) {
        // +-100 octaves keeps the ratio and the phase increments finite;
        // beyond a few octaves every source already falls outside the
        // spectrum or on DC.
        if (shift > 1200.0)
            shift = 1200.0;
        if (shift < -1200.0)
            shift = -1200.0;
    }
    s->p = nullptr;
    memset(&s->fs, 0, sizeof(s->fs));
    if (!shift_work_init(&s->w, g, op->rect, op->rect ? nullptr : op->shapes, op->mode, op->inverted,
                         op->gain))
        return 0;
    if (!pitch)
        return freq_shift_setup(&s->w, shift, &s->fs);
    s->p = specedit_pitch_new(&s->w, shift);
    return s->p != nullptr;
}

static void shift_pass_frames(t_shift_pass *s, float *rows, int64_t first, int64_t count)
{
    if (s->p)
        specedit_pitch_frames(&s->w, s->p, rows, first, count);
    else
        freq_shift_frames(&s->w, &s->fs, rows, first, count);
}

static void shift_pass_free(t_shift_pass *s)
{
    specedit_pitch_free(s->p);
    if (!s->p)
        freq_shift_free(&s->fs);
    specedit_shift_work_free(&s->w);
}

// A shift kernel over the whole spectra, its pass record on the stack.  The
// region is rect when it is given, else shapes.
static int shift_whole(t_specmags *m, int kernel, const t_specedit_rect *rect,
                       const t_specedit_shapes *shapes, int mode, int inverted, double shift,
                       double gain)
{
    t_specedit_op op = {kernel, rect, shapes, mode, inverted, 1.0, 1.0, shift, gain};
    if (shift_does_nothing(&op))
        return 1;
    t_specedit_geometry g;
    if (!specedit_geometry_get(m, &g))
        return 0;
    t_shift_pass s;
    if (!shift_pass_setup(&s, &g, &op))
        return 0;
    shift_pass_frames(&s, g.frames, 0, g.num_frames);
    shift_pass_free(&s);
    return 1;
}

int specedit_shift_pass_init(void **work, const t_specedit_geometry *g, const t_specedit_op *op)
{
    *work = nullptr;
    if (shift_does_nothing(op))
        return 1;
    t_shift_pass *s = (t_shift_pass *)specedit_calloc(1, sizeof(t_shift_pass));
    if (!s)
        return 0;
    if (!shift_pass_setup(s, g, op)) {
        specedit_free(s);
        return 0;
    }
    *work = s;
    return 1;
}

void specedit_shift_pass_frames(void *work, float *rows, int64_t first, int64_t count)
{
    shift_pass_frames((t_shift_pass *)work, rows, first, count);
}

void specedit_shift_pass_free(void *work)
{
    shift_pass_free((t_shift_pass *)work);
    specedit_free(work);
}

int specedit_apply_freq_shift_selection(t_specmags *m, const t_specedit_rect *rect, int mode,
                                        int inverted, double shift_hz, double gain)
{
    return rect ? shift_whole(m, SPECEDIT_FREQ_SHIFT, rect, nullptr, mode, inverted, shift_hz, gain) : 0;
}

int specedit_apply_freq_shift_shapes(t_specmags *m, const t_specedit_shapes *shapes, int mode,
                                     int inverted, double shift_hz, double gain)
{
    return shift_whole(m, SPECEDIT_FREQ_SHIFT, nullptr, shapes, mode, inverted, shift_hz, gain);
}

int specedit_apply_pitch_shift_selection(t_specmags *m, const t_specedit_rect *rect, int mode,
                                         int inverted, double semitones, double gain)
{
    return rect ? shift_whole(m, SPECEDIT_PITCH_SHIFT, rect, nullptr, mode, inverted, semitones, gain)
                : 0;
}

int specedit_apply_pitch_shift_shapes(t_specmags *m, const t_specedit_shapes *shapes, int mode,
                                      int inverted, double semitones, double gain)
{
    return shift_whole(m, SPECEDIT_PITCH_SHIFT, nullptr, shapes, mode, inverted, semitones, gain);
}
