// The frequency-shift and pitch-shift kernels.
//
// Both work frame by frame on a scratch copy: sources are always read from
// the frame as it was before the kernel touched it.  Per frame they clear the
// region's bins in move modes, then write every target bin whose source
// position lies in the region (mix: add, replace: overwrite on the first
// write).  The frequency shift moves content by a fixed number of bins with
// complex linear interpolation and a per-frame phase rotation that keeps the
// shifted partials coherent from hop to hop.  The pitch shift scales bin
// positions by a ratio and resynthesises each target with a phase vocoder
// whose state (previous phases, synthesis phases) lives for the whole call
// or pass, carried from block to block.
//
// All working arrays are allocated once per call or pass, before any frame
// is touched; if one allocation fails the kernel frees the others and returns 0
// with the spectra unchanged.
#include "edit_internal.h"
#include "specmags_kernels.h"

#include <math.h>
#include <string.h>

#ifndef M_PI
#define M_PI 3.14159265358979323846
#endif

// Working state common to both shift kernels.
typedef struct _shift_work {
    t_specedit_geometry g;
    t_specedit_region region;
    int move, replace;
    int use_gain;
    float gain;
    float *scratch;     // one frame, num_bins (re, im) pairs
    uint8_t *written;   // per target: written in this frame (replace modes)
    uint8_t *clear;     // per bin: cleared in move modes
    uint8_t *source;    // per target: source position in the region
    double *bin_pos;    // k, in bins
    double *bin_hz;     // k * D
    double *src_pos;    // source position of target j, in bins
    double *src_hz;     // the same in Hz
    t_specedit_queries clear_q;   // the bins, for the move-mode clearing
    t_specedit_queries source_q;  // the source positions of the targets
} t_shift_work;

static void shift_work_free(t_shift_work *w)
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
}

// Sets up the geometry, the region (rect or shapes, one of them null), the
// mode flags and the arrays; the caller then fills src_pos and src_hz and
// calls shift_work_ready.  Returns 1 on success; on failure everything
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
        shift_work_free(w);
        return 0;
    }
    for (size_t k = 0; k < n; k++) {
        w->bin_pos[k] = (double)k;
        w->bin_hz[k] = (double)k * w->g.bin_hz;
    }
    return 1;
}

// Prepares the region queries once the source positions are filled.  Returns
// 1 on success; on failure frees everything and returns 0.
static int shift_work_ready(t_shift_work *w)
{
    long n = w->g.num_bins;
    if (!specedit_queries_init(&w->clear_q, &w->region, w->bin_pos, w->bin_hz, n) ||
        !specedit_queries_init(&w->source_q, &w->region, w->src_pos, w->src_hz, n)) {
        shift_work_free(w);
        return 0;
    }
    return 1;
}

// Copies frame i into the scratch frame, clears the written flags, zeroes the
// region's bins in move modes and marks the targets whose source lies in the
// region.
static void shift_frame_begin(t_shift_work *w, const float *row, double t)
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

// Adds (re, im) to target j of the scratch frame, overwriting it on its
// first write in replace modes.
static inline void shift_write(t_shift_work *w, long j, float re, float im)
{
    if (w->replace && !w->written[j]) {
        w->scratch[2 * j] = 0.0f;
        w->scratch[2 * j + 1] = 0.0f;
        w->written[j] = 1;
    }
    w->scratch[2 * j] += re;
    w->scratch[2 * j + 1] += im;
}

// Copies the scratch frame back.  DC and Nyquist are real bins: their
// imaginary parts are stored as 0, whatever the shift wrote there.
static void shift_frame_end(t_shift_work *w, float *row)
{
    long n = w->g.num_bins;
    memcpy(row, w->scratch, (size_t)n * 2 * sizeof(float));
    row[1] = 0.0f;
    if (2 * (n - 1) == w->g.win_size)
        row[2 * (n - 1) + 1] = 0.0f;
}

// Frequency shift of one frame with the rotation phi.
//
// A fractional source position interpolates two neighbouring bins.  Frames
// are referenced to their first sample while the symmetric window is centred
// on sample (N - 1) / 2, so neighbouring bins of one partial differ in phase
// by pi (N - 1) / N, almost a sign flip: interpolated as they are, they
// cancel (a half-bin shift would silence a tone).  The upper neighbour is
// therefore turned by rho = e^(i pi (N - 1) / N) into the lower one's phase
// reference first.  That changes only the partial's constant phase, and
// nothing at all for whole-bin shifts, where the upper weight is 0.
static void freq_shift_frame(t_shift_work *w, const float *x_in, double phi)
{
    long n = w->g.num_bins;
    float c = (float)cos(phi), s = (float)sin(phi);
    double centre = M_PI * (double)(w->g.win_size - 1) / (double)w->g.win_size;
    float rho_re = (float)cos(centre), rho_im = (float)sin(centre);
    for (long j = 0; j < n; j++) {
        if (!w->source[j])
            continue;
        double x = w->src_pos[j];
        if (!(x >= 0.0 && x < (double)n))
            continue;
        long k = (long)floor(x);
        float re = x_in[2 * k], im = x_in[2 * k + 1];
        if (k + 1 < n) {
            float frac = (float)(x - (double)k);
            float ur = x_in[2 * k + 2], ui = x_in[2 * k + 3];
            re = (1.0f - frac) * re + frac * (ur * rho_re - ui * rho_im);
            im = (1.0f - frac) * im + frac * (ur * rho_im + ui * rho_re);
        }
        float vr = re * c - im * s, vi = re * s + im * c;
        if (w->use_gain) {
            vr *= w->gain;
            vi *= w->gain;
        }
        shift_write(w, j, vr, vi);
    }
}

// Source positions of the frequency shift; the rotation per frame goes to
// *phi_step.  Returns as shift_work_ready.
static int freq_shift_setup(t_shift_work *w, double shift_hz, double *phi_step)
{
    long n = w->g.num_bins;
    double shift_bins = shift_hz / w->g.bin_hz;
    for (long j = 0; j < n; j++) {
        w->src_pos[j] = (double)j - shift_bins;
        w->src_hz[j] = w->src_pos[j] * w->g.bin_hz;
    }
    *phi_step = 2.0 * M_PI * shift_bins * (double)w->g.hop / (double)w->g.win_size;
    return shift_work_ready(w);
}

static void freq_shift_frames(t_shift_work *w, double phi_step, float *rows, int64_t first,
                              int64_t count)
{
    long n = w->g.num_bins;
    for (int64_t r = 0; r < count; r++) {
        int64_t i = first + r;
        float *row = rows + (size_t)r * (size_t)n * 2;
        double t = specedit_frame_time(&w->g, i);
        if (!specedit_region_frame_edited(&w->region, t))
            continue;
        shift_frame_begin(w, row, t);
        freq_shift_frame(w, row, phi_step * (double)i);
        shift_frame_end(w, row);
    }
}

// Phase-vocoder state of the pitch shift, alive for the whole call.
typedef struct _pitch_work {
    float *mag;        // A[k]: magnitude of the current input frame
    double *phase;     // P[k]: its phase
    double *prev;      // phases of the previous frame
    double *pos;       // F[k]: true bin position
    double *synth;     // synthesis phase of each target
    uint8_t *started;  // per target: synthesis phase initialised
    double *advance;   // e * k wrapped into [-pi, pi]: bin k's expected advance per hop
    float *phase_f;    // the phases as computed, in single precision like the spectra
    long k0, k1;       // the bins a target can read (inclusive): the only ones analysed
} t_pitch_work;

static void pitch_work_free(t_pitch_work *p)
{
    specedit_free(p->mag);
    specedit_free(p->phase);
    specedit_free(p->prev);
    specedit_free(p->pos);
    specedit_free(p->synth);
    specedit_free(p->started);
    specedit_free(p->advance);
    specedit_free(p->phase_f);
}

static double wrap_phase(double u);

static int pitch_work_init(t_pitch_work *p, size_t n, double e)
{
    p->mag = (float *)specedit_calloc(n, sizeof(float));
    p->phase = (double *)specedit_calloc(n, sizeof(double));
    p->prev = (double *)specedit_calloc(n, sizeof(double));
    p->pos = (double *)specedit_calloc(n, sizeof(double));
    p->synth = (double *)specedit_calloc(n, sizeof(double));
    p->started = (uint8_t *)specedit_calloc(n, 1);
    p->advance = (double *)specedit_calloc(n, sizeof(double));
    p->phase_f = (float *)specedit_calloc(n, sizeof(float));
    if (!p->mag || !p->phase || !p->prev || !p->pos || !p->synth || !p->started || !p->advance ||
        !p->phase_f) {
        pitch_work_free(p);
        return 0;
    }
    for (size_t k = 0; k < n; k++)
        p->advance[k] = wrap_phase(e * (double)k);
    return 1;
}

// Wraps a phase difference into [-pi, pi].  Exact (fmod), for the few
// values computed once per call.
static double wrap_phase(double u)
{
    if (u > M_PI)
        u = fmod(u - M_PI, 2.0 * M_PI) - M_PI;
    else if (u < -M_PI)
        u = M_PI - fmod(-M_PI - u, 2.0 * M_PI);
    return u;
}

// Wraps a difference of wrapped phases, within a few turns of [-pi, pi],
// into it: cheaper than fmod, which on every bin of every frame was a
// quarter of the pitch shift's time.
static inline double wrap_near(double u)
{
    while (u > M_PI)
        u -= 2.0 * M_PI;
    while (u < -M_PI)
        u += 2.0 * M_PI;
    return u;
}

// Magnitudes, phases and true bin positions of bins k0..k1 of one input
// frame.  The phases come from the vectorised single-precision atan2 of the
// analysis (within a few 1e-7 rad: as precise as the spectra themselves).
static void pitch_analyse(t_pitch_work *p, const float *row, int64_t i, double e)
{
    specmags_pair_phases(row + 2 * p->k0, p->phase_f + p->k0, p->k1 - p->k0 + 1);
    for (long k = p->k0; k <= p->k1; k++) {
        double re = row[2 * k], im = row[2 * k + 1];
        p->mag[k] = (float)sqrt(re * re + im * im);
        p->phase[k] = (double)p->phase_f[k];
        if (i == 0) {
            p->pos[k] = (double)k;
        } else {
            double u = wrap_near(p->phase[k] - p->prev[k] - p->advance[k]);
            p->pos[k] = (double)k + u / e;
        }
    }
    double *tmp = p->prev;
    p->prev = p->phase;
    p->phase = tmp;
}

// Resynthesises the targets of one frame; p->prev holds this frame's phases.
//
// A target starts from the phase of its nearest source bin m, moved from bin
// m's phase reference to its own: bin k of a partial carries the window
// centre's phase term -pi k (N - 1) / N, so target j gets P[m] - pi (N - 1)
// / N * (j - m).  Without that term neighbouring targets that share a source
// start in phase where they should alternate, and the resynthesised partial
// loses much of its level (some 15 dB for an octave up).
static void pitch_shift_frame(t_shift_work *w, t_pitch_work *p, double ratio, double e)
{
    long n = w->g.num_bins;
    const double *cur = p->prev;
    double centre = M_PI * (double)(w->g.win_size - 1) / (double)w->g.win_size;
    for (long j = 0; j < n; j++) {
        double x = w->src_pos[j];
        if (!w->source[j] || !(x >= 0.0 && x < (double)n)) {
            p->synth[j] += (double)j * e;
            continue;
        }
        long k = (long)floor(x);
        float a = p->mag[k];
        double q = p->pos[k];
        if (k + 1 < n) {
            double frac = x - (double)k;
            float ff = (float)frac;
            a = (1.0f - ff) * p->mag[k] + ff * p->mag[k + 1];
            q = (1.0 - frac) * p->pos[k] + frac * p->pos[k + 1];
        }
        if (p->started[j]) {
            p->synth[j] += q * ratio * e;
        } else {
            long near = (long)round(x);
            if (near > n - 1)
                near = n - 1;
            p->synth[j] = cur[near] - centre * (double)(j - near);
            p->started[j] = 1;
        }
        if (w->use_gain)
            a *= w->gain;
        shift_write(w, j, a * (float)cos(p->synth[j]), a * (float)sin(p->synth[j]));
    }
}

// Source positions of the pitch shift for semitones (already clamped), its
// ratio and phase advance per bin and hop, and the vocoder state.  Returns 1
// on success; on failure frees everything and returns 0.
static int pitch_shift_setup(t_shift_work *w, t_pitch_work *p, double semitones, double *ratio,
                             double *e)
{
    long n = w->g.num_bins;
    *ratio = pow(2.0, semitones / 12.0);
    *e = 2.0 * M_PI * (double)w->g.hop / (double)w->g.win_size;
    for (long j = 0; j < n; j++) {
        w->src_pos[j] = (double)j / *ratio;
        w->src_hz[j] = w->src_pos[j] * w->g.bin_hz;
    }
    if (!shift_work_ready(w))
        return 0;
    memset(p, 0, sizeof(*p));
    if (!pitch_work_init(p, (size_t)n, *e)) {
        shift_work_free(w);
        return 0;
    }
    // Targets read bins floor(x) and floor(x) + 1 of a source position x in
    // the region; inside a rectangle's bins lo..hi that is lo..hi + 1.
    // Shapes and complements may reach any bin.
    p->k0 = 0;
    p->k1 = n - 1;
    const t_specedit_region *r = &w->region;
    if (!r->use_shapes && !r->inverted) {
        p->k0 = r->lo;
        p->k1 = r->hi + 1 < n - 1 ? r->hi + 1 : n - 1;
    }
    return 1;
}

static void pitch_shift_frames(t_shift_work *w, t_pitch_work *p, double ratio, double e,
                               float *rows, int64_t first, int64_t count)
{
    long n = w->g.num_bins;
    for (int64_t r = 0; r < count; r++) {
        int64_t i = first + r;
        float *row = rows + (size_t)r * (size_t)n * 2;
        double t = specedit_frame_time(&w->g, i);
        // Only edited frames are analysed.  A frame's true bin positions
        // also take the phases of the frame before, but they are read only
        // for targets started in an earlier frame, and a rectangle (the
        // only region whose frames can go unedited) edits one unbroken run
        // of frames: at its first frame every target starts afresh from the
        // phases alone.
        if (!specedit_region_frame_edited(&w->region, t)) {
            for (long j = 0; j < n; j++)
                p->synth[j] += (double)j * e;
            continue;
        }
        pitch_analyse(p, row, i, e);
        shift_frame_begin(w, row, t);
        pitch_shift_frame(w, p, ratio, e);
        shift_frame_end(w, row);
    }
}

// A shift kernel with everything it needs from frame to frame.
typedef struct _shift_pass {
    int pitch;        // 0 frequency shift, 1 pitch shift
    t_shift_work w;
    t_pitch_work p;   // pitch shift only
    double phi_step;  // frequency shift: rotation per frame
    double ratio, e;  // pitch shift: frequency ratio, phase advance per bin and hop
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
    s->pitch = op->kernel == SPECEDIT_PITCH_SHIFT;
    double shift = op->shift;
    if (s->pitch) {
        // +-100 octaves keeps the ratio and the phase increments finite;
        // beyond a few octaves every source already falls outside the
        // spectrum or on DC.
        if (shift > 1200.0)
            shift = 1200.0;
        if (shift < -1200.0)
            shift = -1200.0;
    }
    if (!shift_work_init(&s->w, g, op->rect, op->rect ? nullptr : op->shapes, op->mode, op->inverted,
                         op->gain))
        return 0;
    return s->pitch ? pitch_shift_setup(&s->w, &s->p, shift, &s->ratio, &s->e)
                    : freq_shift_setup(&s->w, shift, &s->phi_step);
}

static void shift_pass_frames(t_shift_pass *s, float *rows, int64_t first, int64_t count)
{
    if (s->pitch)
        pitch_shift_frames(&s->w, &s->p, s->ratio, s->e, rows, first, count);
    else
        freq_shift_frames(&s->w, s->phi_step, rows, first, count);
}

static void shift_pass_free(t_shift_pass *s)
{
    if (s->pitch)
        pitch_work_free(&s->p);
    shift_work_free(&s->w);
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
