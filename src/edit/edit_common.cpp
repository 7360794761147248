// Shared pieces of the edit kernels: reading the edit STFT geometry from the
// analysis state, the dispatch of a pass to its kernel, frame times and bin
// ranges, the 0 / 1 / multiply gain rule, the checked view of a shape set,
// and the zeroed-allocation wrapper through which the kernels get their
// working state.
#include "edit_internal.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

static t_specedit_calloc_fn s_calloc_fn = nullptr;

void *specedit_calloc(size_t count, size_t size)
{
    if (size != 0 && count > (size_t)-1 / size)
        return nullptr;
    if (s_calloc_fn)
        return s_calloc_fn(count, size);
    return calloc(count, size);
}

void specedit_free(void *p)
{
    free(p);
}

void specedit_set_calloc(t_specedit_calloc_fn fn)
{
    s_calloc_fn = fn;
}

int specedit_geometry_sizes(const t_specmags *m, t_specedit_geometry *g)
{
    memset(g, 0, sizeof(*g));
    if (!m || m->stft_num_bins < 1 || m->stft_num_frames < 1)
        return 0;
    if (m->stft_win_size < 1 || m->stft_hop < 1)
        return 0;
    if (!(m->sample_rate > 0.0) || !isfinite(m->sample_rate))
        return 0;
    g->frames = m->stft_frames;
    g->num_bins = m->stft_num_bins;
    g->num_frames = m->stft_num_frames;
    g->win_size = m->stft_win_size;
    g->hop = m->stft_hop;
    g->sample_rate = m->sample_rate;
    g->bin_hz = m->sample_rate / (double)m->stft_win_size;
    return 1;
}

int specedit_geometry_get(const t_specmags *m, t_specedit_geometry *g)
{
    if (!specedit_geometry_sizes(m, g))
        return 0;
    if (!g->frames) {
        memset(g, 0, sizeof(*g));
        return 0;
    }
    return 1;
}

int specedit_pass_begin(t_specedit_pass *p, const t_specmags *m, const t_specedit_op *op)
{
    memset(p, 0, sizeof(*p));
    t_specedit_geometry g;
    if (!op || !specedit_geometry_sizes(m, &g))
        return 0;
    p->kernel = op->kernel;
    switch (op->kernel) {
    case SPECEDIT_GAIN_MASK:
        return specedit_gain_pass_init(&p->work, &g, op);
    case SPECEDIT_FREQ_SHIFT:
    case SPECEDIT_PITCH_SHIFT:
        return specedit_shift_pass_init(&p->work, &g, op);
    }
    return 0;
}

int specedit_pass_frames(t_specedit_pass *p, float *rows, int64_t first, int64_t count)
{
    if (p->started && first != p->next_frame)
        return 0;
    if (!p->started) {
        p->started = 1;
        p->next_frame = first;
    }
    if (count <= 0)
        return 1;
    if (p->work) {
        if (p->kernel == SPECEDIT_GAIN_MASK)
            specedit_gain_pass_frames(p->work, rows, first, count);
        else
            specedit_shift_pass_frames(p->work, rows, first, count);
    }
    p->next_frame += count;
    return 1;
}

void specedit_pass_end(t_specedit_pass *p)
{
    if (p->work) {
        if (p->kernel == SPECEDIT_GAIN_MASK)
            specedit_gain_pass_free(p->work);
        else
            specedit_shift_pass_free(p->work);
    }
    p->work = nullptr;
}

double specedit_frame_time(const t_specedit_geometry *g, int64_t i)
{
    return i <= 0 ? 0.0 : (double)i * (double)g->hop / g->sample_rate * 1000.0;
}

// Frames of lo..hi whose time lies in [tmin, tmax]: times grow with the
// frame, so the ends are found from an estimate and then stepped to the
// exact test of specedit_frame_time.
static int frames_in_time(const t_specedit_geometry *g, double tmin, double tmax, int64_t lo, int64_t hi,
                          int64_t *first, int64_t *last)
{
    if (!(tmin <= tmax) || lo > hi)
        return 0;
    const double per_ms = g->sample_rate / (1000.0 * (double)g->hop);
    double a = floor(tmin * per_ms) - 1.0, b = ceil(tmax * per_ms) + 1.0;
    int64_t f = a < (double)lo ? lo : a > (double)hi ? hi : (int64_t)a;
    int64_t l = b > (double)hi ? hi : b < (double)lo ? lo : (int64_t)b;
    while (f <= hi && specedit_frame_time(g, f) < tmin)
        f++;
    while (f > lo && specedit_frame_time(g, f - 1) >= tmin)
        f--;
    while (l >= lo && specedit_frame_time(g, l) > tmax)
        l--;
    while (l < hi && specedit_frame_time(g, l + 1) <= tmax)
        l++;
    if (f > l)
        return 0;
    *first = f;
    *last = l;
    return 1;
}

int specedit_op_frames(const t_specmags *m, const t_specedit_op *op, int64_t lo, int64_t hi, int64_t *first,
                       int64_t *last)
{
    t_specedit_geometry g;
    if (!op || lo > hi || !specedit_geometry_sizes(m, &g))
        return 0;
    bool everywhere;
    if (op->kernel == SPECEDIT_GAIN_MASK) {
        if (!(op->gain_out == 1.0)) {
            everywhere = true;
        } else if (op->gain_in == 1.0) {
            return 0;
        } else {
            everywhere = false;
        }
    } else {
        if (op->shift == 0.0 || !isfinite(op->shift))
            return 0;
        everywhere = op->inverted != 0;
    }
    if (everywhere) {
        *first = lo;
        *last = hi;
        return 1;
    }
    if (op->rect) {
        long k0, k1;
        specedit_bin_range(op->rect->low_hz, op->rect->high_hz, g.bin_hz, g.num_bins, &k0, &k1);
        if (k1 < k0)
            return 0;
        double t0 = op->rect->start_ms, t1 = op->rect->end_ms;
        return frames_in_time(&g, t0 < t1 ? t0 : t1, t0 < t1 ? t1 : t0, lo, hi, first, last);
    }
    // Shapes: the hull of their time extents, one frame wider for the
    // margin of the shape tests; a shape with a coordinate that is not a
    // moderate finite number may reach anywhere.
    t_specedit_shape_list list;
    specedit_shape_list_init(&list, op->shapes);
    double tmin = INFINITY, tmax = -INFINITY;
    for (long s = 0; s < list.count; s++) {
        if (!list.shape[s].regular) {
            *first = lo;
            *last = hi;
            return 1;
        }
        tmin = fmin(tmin, list.shape[s].tmin);
        tmax = fmax(tmax, list.shape[s].tmax);
    }
    if (!frames_in_time(&g, tmin, tmax, lo, hi, first, last))
        return 0;
    *first = *first > lo ? *first - 1 : lo;
    *last = *last < hi ? *last + 1 : hi;
    return 1;
}

void specedit_bin_range(double f0, double f1, double bin_hz, long num_bins, long *lo, long *hi)
{
    double fmin = f0 < f1 ? f0 : f1;
    double fmax = f0 < f1 ? f1 : f0;
    // Clamp in double before converting, so that huge or NaN bounds never
    // reach an integer conversion.
    double l = ceil(fmin / bin_hz);
    double h = floor(fmax / bin_hz);
    if (l < 0.0)
        l = 0.0;
    if (h > (double)(num_bins - 1))
        h = (double)(num_bins - 1);
    if (!(l <= h)) {
        *lo = 0;
        *hi = -1;
        return;
    }
    *lo = (long)l;
    *hi = (long)h;
}

void specedit_gain_bins(float *row, long k0, long k1, double gain)
{
    if (k1 < k0 || gain == 1.0)
        return;
    float *p = row + 2 * k0;
    long n = 2 * (k1 - k0 + 1);
    if (gain == 0.0) {
        memset(p, 0, (size_t)n * sizeof(float));
        return;
    }
    float gf = (float)gain;
    for (long k = 0; k < n; k++)
        p[k] *= gf;
}

// Fills the time extent and the regularity of one shape.  A shape is regular
// when every coordinate is finite and below 1e100 in size: then the rounding
// of an edge crossing stays far inside the margin, and the region masks may
// sort edges by their time span (see region.cpp).
static void shape_ref_measure(const double *pts, t_specedit_shape_ref *s)
{
    s->tmin = INFINITY;
    s->tmax = -INFINITY;
    s->regular = 1;
    double tabs = 0.0;
    for (long v = s->first; v < s->first + s->count; v++) {
        double t = pts[2 * v], f = pts[2 * v + 1];
        if (!(fabs(t) <= 1e100) || !(fabs(f) <= 1e100))
            s->regular = 0;
        if (!isfinite(t))
            continue;
        if (t < s->tmin)
            s->tmin = t;
        if (t > s->tmax)
            s->tmax = t;
        if (fabs(t) > tabs)
            tabs = fabs(t);
    }
    s->margin = 1e-9 * (1.0 + 2.0 * tabs);
}

void specedit_shape_list_init(t_specedit_shape_list *list, const t_specedit_shapes *set)
{
    list->points = nullptr;
    list->count = 0;
    list->edges = 0;
    if (!set || !set->points || !set->shape_start || !set->shape_point_count)
        return;
    list->points = set->points;
    long n = set->shape_count;
    if (n > SPECEDIT_MAX_SHAPES)
        n = SPECEDIT_MAX_SHAPES;
    for (long s = 0; s < n; s++) {
        long first = set->shape_start[s], count = set->shape_point_count[s];
        if (count < 3 || first < 0 || first > SPECEDIT_MAX_POINTS ||
            count > SPECEDIT_MAX_POINTS - first)
            continue;
        t_specedit_shape_ref *r = &list->shape[list->count++];
        r->first = first;
        r->count = count;
        r->edge_base = list->edges;
        list->edges += count;
        shape_ref_measure(set->points, r);
    }
}
