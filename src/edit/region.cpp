// Region masks of the shift kernels: for one frame, which bins lie in the
// edited region (the rectangle or the union of the shapes, or the complement
// of either).
//
// A shape test is the even-odd ray test of specedit_point_in_polygon applied
// to the point (frame time, query frequency).  Testing every query against
// every edge costs frames x bins x vertices, which for a 4096-vertex shape
// set on a minute of audio runs to minutes.  For one frame time t the edges
// fall into three groups, and the mask is built from them with the same
// answers as the direct test:
//   - edges wholly before t (by more than a small margin) never toggle: their
//     crossing time lies within their own time span, so t < t_x fails;
//   - edges wholly after t always toggle for a query whose frequency lies in
//     their half-open span [min f, max f): those toggles are marked in a
//     difference array over the ascending queries and summed by one sweep
//     (the query range of each edge's span is found once per call);
//   - the few edges whose time span contains t are tested directly.
// Shapes whose time extent misses t toggle nothing in the first group or, in
// the second, an even number of times for every frequency (a closed polygon
// crosses any horizontal line an even number of times), so they are skipped.
// Shapes with non-finite or huge coordinates, where rounding could defeat the
// margin, are tested directly against every query.
#include "edit_internal.h"

#include <algorithm>
#include <string.h>

void specedit_region_rect(t_specedit_region *r, const t_specedit_geometry *g,
                          const t_specedit_rect *rect, int inverted)
{
    memset(r, 0, sizeof(*r));
    r->use_shapes = 0;
    r->inverted = inverted ? 1 : 0;
    double t0 = rect->start_ms, t1 = rect->end_ms;
    r->tmin = t0 < t1 ? t0 : t1;
    r->tmax = t0 < t1 ? t1 : t0;
    specedit_bin_range(rect->low_hz, rect->high_hz, g->bin_hz, g->num_bins, &r->lo, &r->hi);
}

int specedit_region_shapes(t_specedit_region *r, const t_specedit_geometry *g,
                           const t_specedit_shapes *set, int inverted)
{
    memset(r, 0, sizeof(*r));
    r->use_shapes = 1;
    r->inverted = inverted ? 1 : 0;
    specedit_shape_list_init(&r->shapes, set);
    r->toggles = (uint8_t *)specedit_calloc((size_t)g->num_bins + 1, 1);
    r->straddle = (long *)specedit_calloc(SPECEDIT_MAX_POINTS, sizeof(long));
    if (!r->toggles || !r->straddle) {
        specedit_region_free(r);
        return 0;
    }
    return 1;
}

void specedit_region_free(t_specedit_region *r)
{
    specedit_free(r->toggles);
    specedit_free(r->straddle);
    r->toggles = nullptr;
    r->straddle = nullptr;
}

int specedit_region_frame_edited(const t_specedit_region *r, double t)
{
    if (r->use_shapes || r->inverted)
        return 1;
    return r->tmin <= t && t <= r->tmax;
}

int specedit_queries_init(t_specedit_queries *q, const t_specedit_region *r, const double *bins,
                          const double *hz, long n)
{
    memset(q, 0, sizeof(*q));
    q->bins = bins;
    q->hz = hz;
    q->n = n;
    const t_specedit_shape_list *list = &r->shapes;
    if (!r->use_shapes || list->edges == 0)
        return 1;
    q->edge_first = (int32_t *)specedit_calloc((size_t)list->edges, sizeof(int32_t));
    q->edge_end = (int32_t *)specedit_calloc((size_t)list->edges, sizeof(int32_t));
    if (!q->edge_first || !q->edge_end) {
        specedit_queries_free(q);
        return 0;
    }
    for (long s = 0; s < list->count; s++) {
        const t_specedit_shape_ref *ref = &list->shape[s];
        long last = ref->first + ref->count - 1;
        for (long k = ref->first, p = last; k <= last; p = k++) {
            double fk = list->points[2 * k + 1], fp = list->points[2 * p + 1];
            double flo = fk < fp ? fk : fp, fhi = fk < fp ? fp : fk;
            long e = ref->edge_base + (k - ref->first);
            q->edge_first[e] = (int32_t)(std::lower_bound(hz, hz + n, flo) - hz);
            q->edge_end[e] = (int32_t)(std::lower_bound(hz, hz + n, fhi) - hz);
        }
    }
    return 1;
}

void specedit_queries_free(t_specedit_queries *q)
{
    specedit_free(q->edge_first);
    specedit_free(q->edge_end);
    q->edge_first = nullptr;
    q->edge_end = nullptr;
}

// Direct test of every query against every edge of one shape.
static void shape_mask_direct(const double *pts, const t_specedit_shape_ref *s, double t,
                              const double *hz, long n, uint8_t *mask)
{
    for (long q = 0; q < n; q++) {
        if (!mask[q])
            mask[q] = (uint8_t)specedit_point_in_polygon(pts, s->first, s->count, t, hz[q]);
    }
}

// Sorts the edges of a regular shape by their time span against t (see the
// top of the file): marks the toggles of later edges in tog and lists the
// straddling edges.  Returns the number of straddling edges; *marked is set
// when tog was touched.
static long shape_sort_edges(const double *pts, const t_specedit_shape_ref *s, double t,
                             const t_specedit_queries *q, uint8_t *tog, long *straddle,
                             int *marked)
{
    long last = s->first + s->count - 1, ns = 0;
    *marked = 0;
    for (long k = s->first, p = last; k <= last; p = k++) {
        double tk = pts[2 * k], fk = pts[2 * k + 1];
        double tp = pts[2 * p], fp = pts[2 * p + 1];
        if (fk == fp)
            continue; // a horizontal edge never toggles
        double emin = tk < tp ? tk : tp, emax = tk < tp ? tp : tk;
        if (t > emax + s->margin)
            continue;
        if (t < emin - s->margin) {
            long e = s->edge_base + (k - s->first);
            int32_t q0 = q->edge_first[e], q1 = q->edge_end[e];
            if (q0 != q1) {
                tog[q0] ^= 1;
                tog[q1] ^= 1;
                *marked = 1;
            }
            continue;
        }
        straddle[ns++] = k;
    }
    return ns;
}

static void shape_mask_fast(const double *pts, const t_specedit_shape_ref *s, double t,
                            const t_specedit_queries *qs, uint8_t *mask, uint8_t *tog,
                            long *straddle)
{
    if (!(t >= s->tmin - s->margin && t <= s->tmax + s->margin))
        return;
    int marked = 0;
    long ns = shape_sort_edges(pts, s, t, qs, tog, straddle, &marked);
    if (!marked && ns == 0)
        return;
    long last = s->first + s->count - 1, n = qs->n;
    const double *hz = qs->hz;
    uint8_t parity = 0;
    for (long q = 0; q < n; q++) {
        parity ^= tog[q];
        int in = parity;
        for (long e = 0; e < ns; e++) {
            long k = straddle[e], p = k == s->first ? last : k - 1;
            in ^= specedit_edge_toggles(t, hz[q], pts[2 * k], pts[2 * k + 1], pts[2 * p],
                                        pts[2 * p + 1]);
        }
        if (in)
            mask[q] = 1;
    }
    if (marked)
        memset(tog, 0, (size_t)n + 1);
}

void specedit_region_mask(t_specedit_region *r, double t, const t_specedit_queries *qs,
                          uint8_t *mask)
{
    uint8_t inv = (uint8_t)r->inverted;
    const double *bins = qs->bins, *hz = qs->hz;
    long n = qs->n;
    if (!r->use_shapes) {
        int in_time = r->tmin <= t && t <= r->tmax;
        for (long q = 0; q < n; q++) {
            int in = in_time && (double)r->lo <= bins[q] && bins[q] <= (double)r->hi;
            mask[q] = (uint8_t)in ^ inv;
        }
        return;
    }
    memset(mask, 0, (size_t)n);
    const t_specedit_shape_list *list = &r->shapes;
    for (long s = 0; s < list->count; s++) {
        const t_specedit_shape_ref *ref = &list->shape[s];
        if (ref->regular)
            shape_mask_fast(list->points, ref, t, qs, mask, r->toggles, r->straddle);
        else
            shape_mask_direct(list->points, ref, t, hz, n, mask);
    }
    if (inv) {
        for (long q = 0; q < n; q++)
            mask[q] ^= 1;
    }
}
