// The point-in-shape test and the two gain-mask kernels.
//
// The rectangle mask splits each frame into the bins below, inside and above
// the rectangle's bin range.  The shape mask intersects the vertical line at
// the frame's start time with every shape, pairs the sorted crossings of
// each shape into bin intervals, merges the intervals of all shapes and
// applies the inside gain to the merged intervals and the outside gain to
// the gaps, so overlapping shapes get the gain once.  The crossing and
// interval lists are fixed-size arrays on the stack; only a pass allocates
// (its working state, which outlives one call).
#include "edit_internal.h"

#include <algorithm>
#include <math.h>

int specedit_point_in_polygon(const double *points, long first, long count, double time_ms,
                              double freq_hz)
{
    if (!points || count < 3 || first < 0 || first > SPECEDIT_MAX_POINTS ||
        count > SPECEDIT_MAX_POINTS - first)
        return 0;
    int inside = 0;
    long last = first + count - 1;
    for (long k = first, p = last; k <= last; p = k++) {
        inside ^= specedit_edge_toggles(time_ms, freq_hz, points[2 * k], points[2 * k + 1],
                                        points[2 * p], points[2 * p + 1]);
    }
    return inside;
}

// Working state of a gain mask: the geometry, the region and the gains.
typedef struct _gain_work {
    t_specedit_geometry g;
    int use_shapes;
    double tmin, tmax;  // rectangle: sorted time range (ms)
    long lo, hi;        // rectangle: bin range
    t_specedit_shape_list list;
    double gain_in, gain_out;
} t_gain_work;

static void gain_work_init(t_gain_work *w, const t_specedit_geometry *g, const t_specedit_op *op)
{
    w->g = *g;
    w->gain_in = op->gain_in;
    w->gain_out = op->gain_out;
    w->use_shapes = op->rect == nullptr;
    if (w->use_shapes) {
        specedit_shape_list_init(&w->list, op->shapes);
        return;
    }
    double t0 = op->rect->start_ms, t1 = op->rect->end_ms;
    w->tmin = t0 < t1 ? t0 : t1;
    w->tmax = t0 < t1 ? t1 : t0;
    specedit_bin_range(op->rect->low_hz, op->rect->high_hz, g->bin_hz, g->num_bins, &w->lo, &w->hi);
}

static void gain_rect_frames(const t_gain_work *w, float *rows, int64_t first, int64_t count)
{
    long lo = w->lo, hi = w->hi, n = w->g.num_bins;
    for (int64_t r = 0; r < count; r++) {
        float *row = rows + (size_t)r * (size_t)n * 2;
        double t = specedit_frame_time(&w->g, first + r);
        if (w->tmin <= t && t <= w->tmax && lo <= hi) {
            specedit_gain_bins(row, 0, lo - 1, w->gain_out);
            specedit_gain_bins(row, lo, hi, w->gain_in);
            specedit_gain_bins(row, hi + 1, n - 1, w->gain_out);
        } else {
            specedit_gain_bins(row, 0, n - 1, w->gain_out);
        }
    }
}

typedef struct _bin_interval {
    int32_t first, last;
} t_bin_interval;

// Sorts the intervals by first bin and merges those that overlap or touch.
// Returns the merged count.
static long intervals_merge(t_bin_interval *iv, long count)
{
    if (count < 2)
        return count;
    std::sort(iv, iv + count,
              [](const t_bin_interval &a, const t_bin_interval &b) { return a.first < b.first; });
    long out = 0;
    for (long k = 1; k < count; k++) {
        if (iv[k].first <= iv[out].last + 1) {
            if (iv[k].last > iv[out].last)
                iv[out].last = iv[k].last;
        } else {
            iv[++out] = iv[k];
        }
    }
    return out + 1;
}

// Collects the crossings of the vertical line at t with one shape's edges.
// Non-finite crossings (from non-finite vertices) are dropped.
static long shape_crossings(const double *pts, const t_specedit_shape_ref *s, double t,
                            double *cross)
{
    long nc = 0, last = s->first + s->count - 1;
    for (long k = s->first, p = last; k <= last && nc < SPECEDIT_MAX_CROSSINGS; p = k++) {
        double tk = pts[2 * k], fk = pts[2 * k + 1];
        double tp = pts[2 * p], fp = pts[2 * p + 1];
        if ((t >= tk && t < tp) || (t < tk && t >= tp)) {
            double f = fk + (fp - fk) * (t - tk) / (tp - tk);
            if (isfinite(f))
                cross[nc++] = f;
        }
    }
    return nc;
}

// Appends the bin intervals of one shape's sorted crossing pairs to iv.
// When the list is full it is merged in place to make room; should it still
// be full, further intervals are dropped (a pool of at most 4096 vertices
// yields at most 2048 intervals, so this only guards a malformed view).
static long shape_intervals(const t_specedit_geometry *g, double *cross, long nc,
                            t_bin_interval *iv, long count)
{
    std::sort(cross, cross + nc);
    for (long c = 0; c + 1 < nc; c += 2) {
        long lo, hi;
        specedit_bin_range(cross[c], cross[c + 1], g->bin_hz, g->num_bins, &lo, &hi);
        if (hi < lo)
            continue;
        if (count == SPECEDIT_MAX_INTERVALS)
            count = intervals_merge(iv, count);
        if (count == SPECEDIT_MAX_INTERVALS)
            break;
        iv[count].first = (int32_t)lo;
        iv[count].last = (int32_t)hi;
        count++;
    }
    return count;
}

// Applies gain_in to the merged intervals and gain_out to the gaps around
// and between them.
static void apply_intervals(float *row, long n, const t_bin_interval *iv, long count,
                            double gain_in, double gain_out)
{
    long next = 0;
    for (long k = 0; k < count; k++) {
        specedit_gain_bins(row, next, iv[k].first - 1, gain_out);
        specedit_gain_bins(row, iv[k].first, iv[k].last, gain_in);
        next = iv[k].last + 1;
    }
    specedit_gain_bins(row, next, n - 1, gain_out);
}

static void gain_shapes_frames(const t_gain_work *w, float *rows, int64_t first, int64_t count)
{
    const t_specedit_shape_list *list = &w->list;
    double cross[SPECEDIT_MAX_CROSSINGS];
    t_bin_interval iv[SPECEDIT_MAX_INTERVALS];
    long n = w->g.num_bins;
    for (int64_t r = 0; r < count; r++) {
        float *row = rows + (size_t)r * (size_t)n * 2;
        double t = specedit_frame_time(&w->g, first + r);
        long nv = 0;
        for (long s = 0; s < list->count; s++) {
            const t_specedit_shape_ref *ref = &list->shape[s];
            // Every crossing edge has finite end times around t.
            if (!(t >= ref->tmin && t <= ref->tmax))
                continue;
            long nc = shape_crossings(list->points, ref, t, cross);
            nv = shape_intervals(&w->g, cross, nc, iv, nv);
        }
        nv = intervals_merge(iv, nv);
        apply_intervals(row, n, iv, nv, w->gain_in, w->gain_out);
    }
}

static void gain_frames(const t_gain_work *w, float *rows, int64_t first, int64_t count)
{
    if (w->use_shapes)
        gain_shapes_frames(w, rows, first, count);
    else
        gain_rect_frames(w, rows, first, count);
}

// The whole-spectra kernels keep their working state on the stack: they
// allocate nothing.
static void gain_whole(t_specmags *m, const t_specedit_op *op)
{
    t_specedit_geometry g;
    if (!specedit_geometry_get(m, &g))
        return;
    t_gain_work w;
    gain_work_init(&w, &g, op);
    gain_frames(&w, g.frames, 0, g.num_frames);
}

void specedit_apply_gain_mask_selection(t_specmags *m, const t_specedit_rect *rect,
                                        double gain_in, double gain_out)
{
    if (!rect)
        return;
    t_specedit_op op = {SPECEDIT_GAIN_MASK, rect, nullptr, 0, 0, gain_in, gain_out, 0.0, 1.0};
    gain_whole(m, &op);
}

void specedit_apply_gain_mask_shapes(t_specmags *m, const t_specedit_shapes *shapes,
                                     double gain_in, double gain_out)
{
    t_specedit_op op = {SPECEDIT_GAIN_MASK, nullptr, shapes, 0, 0, gain_in, gain_out, 0.0, 1.0};
    gain_whole(m, &op);
}

int specedit_gain_pass_init(void **work, const t_specedit_geometry *g, const t_specedit_op *op)
{
    t_gain_work *w = (t_gain_work *)specedit_calloc(1, sizeof(t_gain_work));
    *work = w;
    if (!w)
        return 0;
    gain_work_init(w, g, op);
    return 1;
}

void specedit_gain_pass_frames(void *work, float *rows, int64_t first, int64_t count)
{
    gain_frames((const t_gain_work *)work, rows, first, count);
}

void specedit_gain_pass_free(void *work)
{
    specedit_free(work);
}
