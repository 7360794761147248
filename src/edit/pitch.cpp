// The pitch-shift kernel: a phase-locked vocoder that moves spectral peaks
// together with their regions.
//
// Each edited frame is analysed in the window-centre phase reference, where
// a steady partial at the true bin position w with complex amplitude z shows
// as z W(k - w) + conj(z) W(k + w), W being the real transform of the
// analysis window (the second term is its mirror image below 0 Hz).  Peaks,
// bins louder than the two bins on either side, split the analysed bins into
// regions at the quietest bin between them.  A peak whose three central bins
// fit the window's main lobe is taken for a partial: its true position comes
// from its phase advance since the previous frame, its amplitude from a
// least-squares fit, and its model, main lobe and tails, is taken out of the
// spectrum, so that a partial's tails do not travel with a neighbour's
// region.  Position and amplitude are fitted twice, the second time on the
// spectrum cleaned of the other partials.
//
// Synthesis: each partial is drawn afresh at r w from the window transform,
// so it keeps its level and lands on its exact frequency; what is left of
// its region, noise and the partial's misfit, moves by the same r w - w bins
// with the fractional-shift taps.  The whole region turns by one rotation,
// which grows by that shift times the phase advance per bin and hop and is
// handed on to the region owning the same bin in the next frame.  Partials
// thus stay coherent from hop to hop and the bins of a region keep their
// phase relations (phase locking); at a ratio of 1 the frame comes back as
// it was.
//
// Everything lives for one call or pass and is allocated up front.  The
// vocoder starts afresh (rotations 0, positions from the magnitudes) at the
// first frame it is given and at any frame that does not follow the last
// one it analysed.
#include "shift_internal.h"
#include "specmags_kernels.h"

#include <math.h>
#include <string.h>

#ifndef M_PI
#define M_PI 3.14159265358979323846
#endif

#define PITCH_SPAN_MIN 8        // bins each side of a partial that its model spans, at least
#define PITCH_SPAN_MAX 32       // and at most
#define PITCH_TAIL 1e-4         // a model spans its tails down to this amplitude re the loudest bin
#define PITCH_WIN_STEPS 128     // window transform table: steps per bin
#define PITCH_FRAC_STEPS 256    // fractional-shift taps: fractions per bin
#define PITCH_REFITS 2          // fits of each partial after the first, on the cleaned spectrum
#define PITCH_FIT_MISFIT 0.1f   // misfit energy below which a peak is a partial
#define PITCH_ONSET 0.5f        // share of a frame's energy in risen bins that makes an onset
#define PITCH_FLOOR 1e-12f      // peaks below this power relative to the frame's loudest are ignored

typedef struct _pitch_peak {
    long k;           // peak bin
    long b, e;        // its region, bins b..e
    double w;         // true position, bins
    double rot;       // the region's rotation
    double ph;        // its phase: of z for a partial, else of the peak bin
    float zr, zi;     // fitted amplitude (partials only)
    double span;      // bins each side that its model spans
    int partial;      // 1: modelled as a partial
} t_pitch_peak;

struct _pitch_work {
    double ratio;       // r
    double e;           // phase advance per bin and hop, 2 pi hop / N
    int win_size, hop;  // N and its hop
    long n;             // bins
    long a0, a1;        // bins analysed in this frame, inclusive
    long pa0, pa1;      // the same in the previous frame
    float *cref;        // n pairs: e^(i pi k (N - 1) / N)
    float *cur;         // n pairs: the frame, centre-referenced
    float *res;         // n pairs: the frame less the partials' models
    float *clean;       // n pairs: each region's partial plus residual
    float *prev;        // n pairs: clean spectrum of the previous frame
    float *out;         // n pairs: the shifted frame, centre-referenced
    float *mag2;        // n: power of cur
    float *mag2_prev;   // n: power of the previous frame
    float *phase;       // n: phases of cur
    float *phase_prev;  // n: phases of the previous frame
    float top;          // amplitude of the loudest analysed bin of the frame
    float *win;         // W(v) / W(0) for v = 0 .. PITCH_SPAN_MAX + 2 in PITCH_WIN_STEPS steps
    long win_len;
    float *frac;        // PITCH_FRAC_STEPS rows of SPECEDIT_FRAC_TAPS taps
    double *advance;    // n: e k wrapped into [-pi, pi]
    double *rot_prev;   // n: rotation of the region owning each bin, previous frame
    double *rot_next;   // n: the same being filled for this frame
    double *ph_prev;    // n: phase of the peak owning each bin, previous frame
    double *ph_next;    // n: the same being filled for this frame
    t_pitch_peak *peaks;
    long num_peaks;
    int64_t last;       // last analysed frame; -1 before the first
    int hold;           // frames after an onset still holding it in the window
    int hit;            // this frame holds an onset
};

// Wraps a phase into [-pi, pi].
static double wrap_phase(double u)
{
    return u - 2.0 * M_PI * floor((u + M_PI) / (2.0 * M_PI));
}

// The analysis window's transform at v bins, normalised to 1 at 0, in the
// centre reference (where it is real and even).  The window is the
// symmetric square-root Hann window sin(pi n / (N - 1)); its transform is
// the difference of two geometric sums.
static double window_transform(double v, int win)
{
    const double a = M_PI / (double)(win - 1), b = 2.0 * M_PI * v / (double)win;
    const double c = 0.5 * (double)(win - 1);
    double re = 0.0, im = 0.0;
    for (int s = -1; s <= 1; s += 2) {
        double g = (double)s * a - b;  // sum over n of e^(i g n), times s
        double gr, gi;
        if (fabs(remainder(g, 2.0 * M_PI)) < 1e-12) {
            gr = (double)win;
            gi = 0.0;
        } else {
            // (1 - e^(i g N)) / (1 - e^(i g))
            double nr = 1.0 - cos(g * win), ni = -sin(g * win);
            double dr = 1.0 - cos(g), di = -sin(g);
            double dd = dr * dr + di * di;
            gr = (nr * dr + ni * di) / dd;
            gi = (ni * dr - nr * di) / dd;
        }
        re += (double)s * gr;
        im += (double)s * gi;
    }
    // sin = (e^(i a n) - e^(-i a n)) / 2i, then the centre's phase e^(i b c).
    double wr = im / 2.0, wi = -re / 2.0;
    return wr * cos(b * c) - wi * sin(b * c);
}

// W(v) / W(0) by linear interpolation in the table; 0 beyond it.
static inline float win_at(const t_pitch_work *p, double v)
{
    double x = fabs(v) * PITCH_WIN_STEPS;
    long i = (long)x;
    if (i >= p->win_len - 1)
        return 0.0f;
    float f = (float)(x - (double)i);
    return p->win[i] + f * (p->win[i + 1] - p->win[i]);
}

void specedit_pitch_free(t_pitch_work *p)
{
    if (!p)
        return;
    specedit_free(p->cref);
    specedit_free(p->win);
    specedit_free(p->advance);
    specedit_free(p->peaks);
    specedit_free(p);
}

// Carves the float and double arrays out of two blocks.  Returns 1, or 0
// when an allocation failed (the caller frees p).
static int pitch_alloc(t_pitch_work *p)
{
    size_t n = (size_t)p->n;
    p->win_len = (PITCH_SPAN_MAX + 2) * PITCH_WIN_STEPS + 2;
    p->cref = (float *)specedit_calloc(16 * n + (size_t)PITCH_FRAC_STEPS * SPECEDIT_FRAC_TAPS,
                                       sizeof(float));
    p->win = (float *)specedit_calloc((size_t)p->win_len, sizeof(float));
    p->advance = (double *)specedit_calloc(5 * n, sizeof(double));
    p->peaks = (t_pitch_peak *)specedit_calloc(n, sizeof(t_pitch_peak));
    if (!p->cref || !p->win || !p->advance || !p->peaks)
        return 0;
    p->cur = p->cref + 2 * n;
    p->res = p->cur + 2 * n;
    p->clean = p->res + 2 * n;
    p->prev = p->clean + 2 * n;
    p->out = p->prev + 2 * n;
    p->mag2 = p->out + 2 * n;
    p->mag2_prev = p->mag2 + n;
    p->phase = p->mag2_prev + n;
    p->phase_prev = p->phase + n;
    p->frac = p->phase_prev + n;
    p->rot_prev = p->advance + n;
    p->rot_next = p->rot_prev + n;
    p->ph_prev = p->rot_next + n;
    p->ph_next = p->ph_prev + n;
    return 1;
}

static void pitch_tables(t_pitch_work *p, int win)
{
    double centre = M_PI * (double)(win - 1) / (double)win;
    for (long k = 0; k < p->n; k++) {
        p->cref[2 * k] = (float)cos(centre * (double)k);
        p->cref[2 * k + 1] = (float)sin(centre * (double)k);
        p->advance[k] = wrap_phase(p->e * (double)k);
    }
    double w0 = window_transform(0.0, win);
    for (long i = 0; i < p->win_len; i++)
        p->win[i] = (float)(window_transform((double)i / PITCH_WIN_STEPS, win) / w0);
    for (int s = 0; s < PITCH_FRAC_STEPS; s++)
        specedit_frac_taps((double)s / PITCH_FRAC_STEPS, p->frac + s * SPECEDIT_FRAC_TAPS);
}

t_pitch_work *specedit_pitch_new(t_shift_work *w, double semitones)
{
    long n = w->g.num_bins;
    double ratio = pow(2.0, semitones / 12.0);
    for (long j = 0; j < n; j++) {
        w->src_pos[j] = (double)j / ratio;
        w->src_hz[j] = w->src_pos[j] * w->g.bin_hz;
    }
    if (!specedit_shift_work_ready(w))
        return nullptr;
    t_pitch_work *p = (t_pitch_work *)specedit_calloc(1, sizeof(t_pitch_work));
    if (!p) {
        specedit_shift_work_free(w);
        return nullptr;
    }
    p->ratio = ratio;
    p->e = 2.0 * M_PI * (double)w->g.hop / (double)w->g.win_size;
    p->win_size = w->g.win_size;
    p->hop = w->g.hop;
    p->n = n;
    p->last = -1;
    if (!pitch_alloc(p)) {
        specedit_pitch_free(p);
        specedit_shift_work_free(w);
        return nullptr;
    }
    pitch_tables(p, w->g.win_size);
    return p;
}

// Loads bins a0..a1 of a row into cur (centre-referenced) and mag2; returns
// the largest power.
static float pitch_load(t_pitch_work *p, const float *row)
{
    float top = 0.0f;
    float *m2 = p->mag2_prev;
    p->mag2_prev = p->mag2;
    p->mag2 = m2;
    for (long k = p->a0; k <= p->a1; k++) {
        float xr = row[2 * k], xi = row[2 * k + 1], cr = p->cref[2 * k], ci = p->cref[2 * k + 1];
        float vr = xr * cr - xi * ci, vi = xr * ci + xi * cr;
        p->cur[2 * k] = vr;
        p->cur[2 * k + 1] = vi;
        float q = vr * vr + vi * vi;
        p->mag2[k] = q;
        top = q > top ? q : top;
    }
    float *t = p->phase_prev;
    p->phase_prev = p->phase;
    p->phase = t;
    specmags_pair_phases(p->cur + 2 * p->a0, p->phase + p->a0, p->a1 - p->a0 + 1);
    return top;
}

// The peaks of mag2 above floor and their regions, which split a0..a1 at
// the quietest bin between neighbouring peaks.
static void pitch_find_peaks(t_pitch_work *p, float floor_power)
{
    const float *q = p->mag2;
    long np = 0;
    for (long k = p->a0; k <= p->a1; k++) {
        float v = q[k];
        if (!(v > floor_power))
            continue;
        if ((k - 1 >= p->a0 && q[k - 1] >= v) || (k + 1 <= p->a1 && q[k + 1] > v))
            continue;
        t_pitch_peak *pk = &p->peaks[np++];
        pk->k = k;
        pk->partial = 0;
    }
    p->num_peaks = np;
    if (np == 0)
        return;
    p->peaks[0].b = p->a0;
    for (long i = 0; i + 1 < np; i++) {
        long low = p->peaks[i].k + 1, best = low;
        for (long k = low + 1; k < p->peaks[i + 1].k; k++)
            if (q[k] < q[best])
                best = k;
        p->peaks[i].e = best;
        p->peaks[i + 1].b = best + 1;
    }
    p->peaks[np - 1].e = p->a1;
}

// Adds sign times the model of a partial at position w with amplitude z,
// main lobe and mirror image, out to half bins each side, to bins lo..hi of
// arr (pairs).
static void model_add(const t_pitch_work *p, float *arr, double w, float zr, float zi, double half,
                      float sign, long lo, long hi)
{
    long k0 = (long)ceil(w - half), k1 = (long)floor(w + half);
    k0 = k0 > lo ? k0 : lo;
    k1 = k1 < hi ? k1 : hi;
    zr *= sign;
    zi *= sign;
    for (long k = k0; k <= k1; k++) {
        float g = win_at(p, (double)k - w);
        arr[2 * k] += g * zr;
        arr[2 * k + 1] += g * zi;
    }
    long m1 = (long)floor(half - w);
    m1 = m1 < hi ? m1 : hi;
    for (long k = lo > 0 ? lo : 0; k <= m1; k++) {
        float g = win_at(p, (double)k + w);
        arr[2 * k] += g * zr;
        arr[2 * k + 1] -= g * zi;
    }
}

// Offset of a partial from its peak bin k, from the magnitudes of src alone.
// The main lobe of the square-root Hann window goes as cos(pi v) / (1 - 4
// v^2), so a partial d bins above bin k (0 <= d <= 1/2) gives the ratio R =
// (1 + 2 d) / (3 - 2 d) of bin k + 1 to bin k: d = (3 R - 1) / (2 (1 + R)),
// taken on the side of the louder neighbour.
static double pitch_offset_from_mags(const t_pitch_work *p, const float *src, long k)
{
    float b = hypotf(src[2 * k], src[2 * k + 1]);
    float lo = k - 1 >= p->a0 ? hypotf(src[2 * k - 2], src[2 * k - 1]) : 0.0f;
    float hi = k + 1 <= p->a1 ? hypotf(src[2 * k + 2], src[2 * k + 3]) : 0.0f;
    double ratio = (double)(hi >= lo ? hi : lo) / (double)b;
    ratio = ratio < 1.0 / 3.0 ? 1.0 / 3.0 : (ratio > 1.0 ? 1.0 : ratio);
    double d = (3.0 * ratio - 1.0) / (2.0 * (1.0 + ratio));
    return hi >= lo ? d : -d;
}

// Offset of a peak's true position from its bin k, from the phase advance
// at the bin since the previous frame: from the frame's phases on the first
// fit, from the clean spectra on the second.  2 (no offset) when fresh.
static double pitch_advance_offset(const t_pitch_work *p, long k, const float *src, int fresh,
                                   int second)
{
    if (fresh)
        return 2.0;
    double u;
    if (second) {
        float ar = src[2 * k], ai = src[2 * k + 1], br = p->prev[2 * k], bi = p->prev[2 * k + 1];
        u = atan2((double)(ai * br - ar * bi), (double)(ar * br + ai * bi));
    } else {
        u = (double)p->phase[k] - (double)p->phase_prev[k];
    }
    return wrap_phase(u - p->advance[k]) / p->e;
}

static double pitch_clamp_position(const t_pitch_work *p, double w)
{
    return w < 0.0 ? 0.0 : (w > (double)(p->n - 1) ? (double)(p->n - 1) : w);
}

// 1 when a neighbour of bin k is nearly in phase with it, as the main lobe
// of a partial is in the centre reference: a cheap test that spares most
// noise peaks the fit.
static int pitch_lobe_in_phase(const t_pitch_work *p, long k, const float *src)
{
    for (long m = k - 1; m <= k + 1; m += 2) {
        if (m < p->a0 || m > p->a1)
            continue;
        float cr = src[2 * m] * src[2 * k] + src[2 * m + 1] * src[2 * k + 1];
        float ci = src[2 * m + 1] * src[2 * k] - src[2 * m] * src[2 * k + 1];
        if (cr > 0.0f && cr * cr >= 0.5f * (cr * cr + ci * ci))
            return 1;
    }
    return 0;
}

// Position, amplitude, span, phase and partial flag of a peak, from the
// spectrum src and, unless fresh, the previous frame.
static void pitch_estimate(t_pitch_work *p, t_pitch_peak *pk, const float *src, int fresh, int second)
{
    long k = pk->k;
    // An advance pointing more than a bin away is noise; a partial then
    // takes its position from the magnitudes.
    double d = pitch_advance_offset(p, k, src, fresh, second);
    int sane = fabs(d) <= 1.0;
    pk->w = pitch_clamp_position(p, (double)k + (sane ? d : 0.0));
    pk->partial = 0;
    pk->ph = (double)p->phase[k];
    if (!pitch_lobe_in_phase(p, k, src))
        return;
    if (!sane)
        pk->w = pitch_clamp_position(p, (double)k + pitch_offset_from_mags(p, src, k));
    // Least squares over the main lobe's three central bins.
    float g[3] = {0.0f, 0.0f, 0.0f}, nr = 0.0f, ni = 0.0f, den = 0.0f, total = 0.0f;
    long m0 = k - 1 > p->a0 ? k - 1 : p->a0, m1 = k + 1 < p->a1 ? k + 1 : p->a1;
    for (long m = m0; m <= m1; m++) {
        float gm = g[m - k + 1] = win_at(p, (double)m - pk->w);
        nr += gm * src[2 * m];
        ni += gm * src[2 * m + 1];
        den += gm * gm;
        total += src[2 * m] * src[2 * m] + src[2 * m + 1] * src[2 * m + 1];
    }
    if (!(den > 0.0f))
        return;
    float zr = nr / den, zi = ni / den, misfit = 0.0f;
    for (long m = m0; m <= m1; m++) {
        float er = src[2 * m] - g[m - k + 1] * zr, ei = src[2 * m + 1] - g[m - k + 1] * zi;
        misfit += er * er + ei * ei;
    }
    if (!(misfit <= PITCH_FIT_MISFIT * total))
        return;
    pk->partial = 1;
    pk->zr = zr;
    pk->zi = zi;
    // The tails fall as 1 / (4 v^2): the model reaches down to PITCH_TAIL.
    double span = 0.5 * sqrt(hypot((double)zr, (double)zi) / (PITCH_TAIL * (double)p->top + 1e-30));
    pk->span = span < PITCH_SPAN_MIN ? PITCH_SPAN_MIN : (span > PITCH_SPAN_MAX ? PITCH_SPAN_MAX : floor(span));
    pk->ph = atan2((double)zi, (double)zr);
}

// 1 when a peak at bin k has no previous frame to go on: the frame is
// fresh, or bin k was not analysed in the previous one.
static int peak_fresh(const t_pitch_work *p, int fresh, long k)
{
    return fresh || k < p->pa0 || k > p->pa1;
}

// Fits the peaks of the loaded frame, leaving the residual in res and each
// region's partial plus residual in clean.
static void pitch_fit(t_pitch_work *p, int fresh)
{
    const long a0 = p->a0, a1 = p->a1;
    size_t span = (size_t)(a1 - a0 + 1) * 2 * sizeof(float);
    memcpy(p->res + 2 * a0, p->cur + 2 * a0, span);
    for (long i = 0; i < p->num_peaks; i++) {
        t_pitch_peak *pk = &p->peaks[i];
        pitch_estimate(p, pk, p->cur, peak_fresh(p, fresh, pk->k), 0);
        if (pk->partial)
            model_add(p, p->res, pk->w, pk->zr, pk->zi, pk->span, -1.0f, a0, a1);
    }
    // Further fits on each peak's own bins without the other partials
    // (clean serves as scratch until it is filled below); partials whose
    // main lobes overlap need more than one.
    for (int pass = 0; pass < PITCH_REFITS; pass++) {
        for (long i = 0; i < p->num_peaks; i++) {
            t_pitch_peak *pk = &p->peaks[i];
            if (!pk->partial)
                continue;
            long m0 = pk->k - 1 > a0 ? pk->k - 1 : a0, m1 = pk->k + 1 < a1 ? pk->k + 1 : a1;
            memcpy(p->clean + 2 * m0, p->res + 2 * m0, (size_t)(m1 - m0 + 1) * 2 * sizeof(float));
            model_add(p, p->clean, pk->w, pk->zr, pk->zi, pk->span, 1.0f, m0, m1);
            t_pitch_peak again = *pk;
            pitch_estimate(p, &again, p->clean, peak_fresh(p, fresh, pk->k), 1);
            if (!again.partial)
                continue;
            model_add(p, p->res, pk->w, pk->zr, pk->zi, pk->span, 1.0f, a0, a1);
            model_add(p, p->res, again.w, again.zr, again.zi, again.span, -1.0f, a0, a1);
            *pk = again;
        }
    }
    memcpy(p->clean + 2 * a0, p->res + 2 * a0, span);
    for (long i = 0; i < p->num_peaks; i++) {
        const t_pitch_peak *pk = &p->peaks[i];
        if (pk->partial)
            model_add(p, p->clean, pk->w, pk->zr, pk->zi, pk->span, 1.0f, pk->b, pk->e);
    }
}

// 1 when the frame starts something, a hit or an onset: most of its energy
// lies in bins at least 6 dB louder than in the previous frame.
static int pitch_onset(const t_pitch_work *p)
{
    float risen = 0.0f, total = 0.0f;
    for (long k = p->a0; k <= p->a1; k++) {
        float q = p->mag2[k];
        total += q;
        if (k < p->pa0 || k > p->pa1 || q > 4.0f * p->mag2_prev[k])
            risen += q;
    }
    return risen > PITCH_ONSET * total;
}

// Rotation of each region.  A region turns by r - 1 times the phase its peak
// advanced since the previous frame, counted from the peak that owned the
// same bin then: whole turns as the peak's position says, the rest from the
// two phases.  For a partial those are the phases of the fitted amplitudes,
// the very phases it is drawn with, so the rotation follows the partial's
// own phase and errors of single fits do not pile up (0 when fresh).
//
// At an onset the rotation instead gives each peak, where it lands, the
// phase the frame has there: the regions then keep the phase relations
// across the spectrum that place a hit in time, and it is not smeared.  The
// hit stays in the window for three more frames; in those the peaks that
// are not partials (the hit's flat spectrum) are set the same way, while
// partials keep their own phases.
static void pitch_rotations(t_pitch_work *p, int fresh)
{
    int onset = !fresh && pitch_onset(p);
    int hold = !onset && !fresh && p->hold > 0;
    p->hold = onset ? p->win_size / p->hop - 1 : (hold ? p->hold - 1 : 0);
    p->hit = onset || hold;
    for (long i = 0; i < p->num_peaks; i++) {
        t_pitch_peak *pk = &p->peaks[i];
        long k = pk->k, land = lround(pk->w * p->ratio);
        pk->rot = 0.0;
        if ((onset || (hold && !pk->partial)) && land >= p->a0 && land <= p->a1) {
            pk->rot = wrap_phase((double)p->phase[land] - pk->ph);
        } else if (!peak_fresh(p, fresh, k)) {
            double turn = p->e * pk->w;
            double adv = turn + wrap_phase(pk->ph - p->ph_prev[k] - turn);
            pk->rot = wrap_phase(p->rot_prev[k] + (p->ratio - 1.0) * adv);
        }
        for (long b = pk->b; b <= pk->e; b++) {
            p->rot_next[b] = pk->rot;
            p->ph_next[b] = pk->ph;
        }
    }
    double *t = p->rot_prev;
    p->rot_prev = p->rot_next;
    p->rot_next = t;
    t = p->ph_prev;
    p->ph_prev = p->ph_next;
    p->ph_next = t;
}

// Moves bins b..e of res by shift bins, turned by (c, s), into out.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("tree-vectorize"))) // GCC leaves the tap loop scalar at -O2
#endif
static void residual_move(t_pitch_work *p, long b, long e, double shift, float c, float s)
{
    long whole = (long)floor(shift);
    long step = lround((shift - (double)whole) * PITCH_FRAC_STEPS);
    if (step == PITCH_FRAC_STEPS) {
        whole++;
        step = 0;
    }
    const float *taps = p->frac + step * SPECEDIT_FRAC_TAPS;
    const long n = p->n;
    for (long m = b; m <= e; m++) {
        float xr = p->res[2 * m], xi = p->res[2 * m + 1];
        float vr = xr * c - xi * s, vi = xr * s + xi * c;
        if (step == 0) {
            long j = m + whole;
            if (j >= 0 && j < n) {
                p->out[2 * j] += vr;
                p->out[2 * j + 1] += vi;
            }
            continue;
        }
        long j0 = m + whole - SPECEDIT_FRAC_HALF + 1;
        // Source m reaches target m + whole + u with the tap for u.
        int a0 = j0 < 0 ? (int)-j0 : 0;
        int a1 = j0 + SPECEDIT_FRAC_TAPS > n ? (int)(n - j0) : SPECEDIT_FRAC_TAPS;
        float *o = p->out + 2 * j0;
        for (int a = a0; a < a1; a++) {
            o[2 * a] += taps[a] * vr;
            o[2 * a + 1] += taps[a] * vi;
        }
    }
}

// The residual of a frame holding a hit, resampled instead of moved: target
// j takes the magnitude at j / r, scaled by 1 / sqrt(r) to keep the energy,
// with the frame's own phase at j.  Moved regions would leave gaps or
// overlaps between them that spread the hit in time; the frame's phases put
// it where it was.
static void residual_resample(t_pitch_work *p)
{
    const float scale = (float)(1.0 / sqrt(p->ratio));
    for (long j = 0; j < p->n; j++) {
        double x = (double)j / p->ratio;
        long m = (long)floor(x);
        if (m < p->a0 || m >= p->a1)
            continue;
        float f = (float)(x - (double)m);
        float a = hypotf(p->res[2 * m], p->res[2 * m + 1]);
        float b = hypotf(p->res[2 * m + 2], p->res[2 * m + 3]);
        float mag = scale * ((1.0f - f) * a + f * b);
        float ph = j <= p->a1 ? p->phase[j] : atan2f(p->res[2 * m + 1], p->res[2 * m]);
        p->out[2 * j] += mag * cosf(ph);
        p->out[2 * j + 1] += mag * sinf(ph);
    }
}

// The shifted frame, centre-referenced, into out.
static void pitch_synthesise(t_pitch_work *p)
{
    memset(p->out, 0, (size_t)p->n * 2 * sizeof(float));
    if (p->hit)
        residual_resample(p);
    for (long i = 0; i < p->num_peaks; i++) {
        const t_pitch_peak *pk = &p->peaks[i];
        float c = cosf((float)pk->rot), s = sinf((float)pk->rot);
        double target = pk->w * p->ratio;
        if (!p->hit)
            residual_move(p, pk->b, pk->e, target - pk->w, c, s);
        if (pk->partial && target < (double)p->n)
            model_add(p, p->out, target, pk->zr * c - pk->zi * s, pk->zr * s + pk->zi * c, pk->span, 1.0f, 0,
                      p->n - 1);
    }
}

// Writes the targets whose source lies in the region, back in their own
// phase reference.
static void pitch_write(t_shift_work *w, const t_pitch_work *p)
{
    const long n = p->n;
    for (long j = 0; j < n; j++) {
        double x = w->src_pos[j];
        if (!w->source[j] || !(x >= 0.0 && x < (double)n))
            continue;
        float vr = p->out[2 * j], vi = p->out[2 * j + 1], cr = p->cref[2 * j], ci = p->cref[2 * j + 1];
        specedit_shift_write(w, j, vr * cr + vi * ci, vi * cr - vr * ci);
    }
}

// The bins this frame must analyse: those the written targets read, with
// the tails and regions around them.  Returns 0 when no target is written.
static int pitch_range(const t_shift_work *w, t_pitch_work *p)
{
    const long n = p->n, margin = PITCH_SPAN_MAX;
    long j0 = -1, j1 = -1;
    for (long j = 0; j < n; j++) {
        if (w->source[j] && w->src_pos[j] < (double)n) {
            j1 = j;
            if (j0 < 0)
                j0 = j;
        }
    }
    if (j0 < 0)
        return 0;
    long k0 = (long)floor(w->src_pos[j0]) - margin, k1 = (long)ceil(w->src_pos[j1]) + margin;
    p->a0 = k0 > 0 ? k0 : 0;
    p->a1 = k1 < n - 1 ? k1 : n - 1;
    return 1;
}

void specedit_pitch_frames(t_shift_work *w, t_pitch_work *p, float *rows, int64_t first,
                           int64_t count)
{
    long n = w->g.num_bins;
    for (int64_t r = 0; r < count; r++) {
        int64_t i = first + r;
        float *row = rows + (size_t)r * (size_t)n * 2;
        double t = specedit_frame_time(&w->g, i);
        if (!specedit_region_frame_edited(&w->region, t))
            continue;
        // The masks come first: a frame none of whose targets is written
        // (a shape's time span elsewhere) is not analysed.
        specedit_shift_frame_begin(w, row, t);
        if (pitch_range(w, p)) {
            int fresh = p->last < 0 || i != p->last + 1;
            float top = pitch_load(p, row);
            p->top = sqrtf(top);
            pitch_find_peaks(p, top * PITCH_FLOOR);
            pitch_fit(p, fresh);
            pitch_rotations(p, fresh);
            pitch_synthesise(p);
            float *tmp = p->prev;
            p->prev = p->clean;
            p->clean = tmp;
            p->last = i;
            p->pa0 = p->a0;
            p->pa1 = p->a1;
            pitch_write(w, p);
        }
        specedit_shift_frame_end(w, row);
    }
}
