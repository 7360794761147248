// The free-drawn shapes over the view, and the cross-hatching of inverted
// edits: with edit_inverted set, an edit acts outside the selection and the
// shapes, and their insides are hatched along both diagonals to show what it
// leaves alone.
//
// A shape's vertices are (time ms, frequency Hz) and are placed like the
// selection box, through the view geometry (view_geometry.h).  The shape still being drawn stays an open polyline.
// Shape hatching clips each diagonal line to the polygon by the even-odd
// rule: the line's crossings with the edges, sorted along the line, pair up
// into inside segments.  Only the lines that pass through the drawing are
// drawn, so a box or shape far larger than the view (a deep zoom) costs no
// more than one the size of the view.  The pixel polygon and the crossings
// of one line share one scratch block per paint, sized by the largest shape.
#include "specgram_render_internal.h"

#include <math.h>

#include <algorithm>

// Hatch geometry beyond this many pixels (or not finite) is not drawn.
#define SPECGRAM_HATCH_LIMIT 1e12

long specgram_hatch_crossings(const double *xy, long count, double ax, double ay, double bx, double by,
                              double *t, long capacity)
{
    const double rx = bx - ax, ry = by - ay;
    long found = 0;
    for (long i = 0; i < count && found < capacity; i++) {
        const long j = i + 1 < count ? i + 1 : 0;
        const double ex = xy[2 * i], ey = xy[2 * i + 1];
        const double sx = xy[2 * j] - ex, sy = xy[2 * j + 1] - ey;
        const double denom = rx * sy - ry * sx;
        if (fabs(denom) < 1e-12)
            continue;
        const double qx = ex - ax, qy = ey - ay;
        const double u = (qx * ry - qy * rx) / denom; // along the edge
        if (u < 0.0 || u > 1.0)
            continue;
        t[found++] = (qx * sy - qy * sx) / denom; // along the line
    }
    std::sort(t, t + found);
    return found;
}

// Hatching of a w x h box at (x0, y0): lines at offsets d = -(w + h) +
// k * spacing while d < w + h, along both diagonals.  Line k of the first
// diagonal is (x0 + d + s, y0 + s), of the second (x0 + w + d - s, y0 + s),
// for s from 0 to h.  Only the part of a line within the drawing's rows
// (s from smin to smax, widened so the line ends stay out of sight) is
// stroked, which keeps every coordinate near the drawing.
typedef struct _specgram_hatch {
    double x0, y0, w, h;
    double smin, smax;
    double width;
} t_specgram_hatch;

#define SPECGRAM_HATCH_MARGIN 2.0 // pixels a stroked line reaches past the drawing

// Sets up the hatching of a box over a width x height drawing; 0 when none of it can show.
static int specgram_hatch_init(t_specgram_hatch *hb, double x0, double y0, double w, double h, double width,
                               double height)
{
    if (!(fabs(x0) < SPECGRAM_HATCH_LIMIT && fabs(y0) < SPECGRAM_HATCH_LIMIT && fabs(w) < SPECGRAM_HATCH_LIMIT &&
          fabs(h) < SPECGRAM_HATCH_LIMIT))
        return 0;
    hb->x0 = x0;
    hb->y0 = y0;
    hb->w = w;
    hb->h = h;
    hb->smin = fmax(fmin(0.0, h), -y0);
    hb->smax = fmin(fmax(0.0, h), height - y0);
    hb->width = width;
    return hb->smin <= hb->smax;
}

// The line indices [*first, *end) of one diagonal that cross the drawing.
static void specgram_hatch_lines(const t_specgram_hatch *hb, int second, double *first, double *end)
{
    const double lo = second ? -hb->x0 - hb->w + hb->smin : -hb->x0 - hb->smax;
    const double hi = second ? hb->width - hb->x0 - hb->w + hb->smax : hb->width - hb->x0 - hb->smin;
    const double d0 = -(hb->w + hb->h);
    const double total = ceil(2.0 * (hb->w + hb->h) / SPECGRAM_HATCH_SPACING);
    *first = fmax(0.0, ceil((lo - d0) / SPECGRAM_HATCH_SPACING));
    *end = fmin(total, floor((hi - d0) / SPECGRAM_HATCH_SPACING) + 1.0);
}

static double specgram_hatch_offset(const t_specgram_hatch *hb, double k)
{
    return -(hb->w + hb->h) + k * SPECGRAM_HATCH_SPACING;
}

static void specgram_hatch_point(const t_specgram_hatch *hb, int second, double d, double s, double *px,
                                 double *py)
{
    *px = second ? hb->x0 + hb->w + d - s : hb->x0 + d + s;
    *py = hb->y0 + s;
}

// Strokes line d of a diagonal from s = a to s = b, the part near the drawing.
static void specgram_hatch_stroke(t_jgraphics *g, const t_specgram_hatch *hb, int second, double d, double a,
                                  double b)
{
    const double lo = fmax(fmin(a, b), hb->smin - SPECGRAM_HATCH_MARGIN);
    const double hi = fmin(fmax(a, b), hb->smax + SPECGRAM_HATCH_MARGIN);
    if (lo > hi)
        return;
    double px, py;
    specgram_hatch_point(hb, second, d, lo, &px, &py);
    jgraphics_move_to(g, px, py);
    specgram_hatch_point(hb, second, d, hi, &px, &py);
    jgraphics_line_to(g, px, py);
    jgraphics_stroke(g);
}

void specgram_hatch_rect(t_jgraphics *g, const t_rect *box, double width, double height)
{
    t_specgram_hatch hb;
    if (!specgram_hatch_init(&hb, box->x, box->y, box->width, box->height, width, height))
        return;
    for (int second = 0; second < 2; second++) {
        double k, end;
        specgram_hatch_lines(&hb, second, &k, &end);
        for (; k < end; k += 1.0)
            specgram_hatch_stroke(g, &hb, second, specgram_hatch_offset(&hb, k), 0.0, hb.h);
    }
}

static void specgram_hatch_polygon(t_jgraphics *g, const double *xy, long count, double width, double height,
                                   double *t)
{
    double x0 = xy[0], y0 = xy[1], x1 = xy[0], y1 = xy[1];
    for (long i = 1; i < count; i++) {
        x0 = fmin(x0, xy[2 * i]);
        x1 = fmax(x1, xy[2 * i]);
        y0 = fmin(y0, xy[2 * i + 1]);
        y1 = fmax(y1, xy[2 * i + 1]);
    }
    t_specgram_hatch hb;
    if (!specgram_hatch_init(&hb, x0, y0, x1 - x0, y1 - y0, width, height))
        return;
    for (int second = 0; second < 2; second++) {
        double k, end;
        specgram_hatch_lines(&hb, second, &k, &end);
        for (; k < end; k += 1.0) {
            const double d = specgram_hatch_offset(&hb, k);
            double ax, ay, bx, by;
            specgram_hatch_point(&hb, second, d, 0.0, &ax, &ay);
            specgram_hatch_point(&hb, second, d, hb.h, &bx, &by);
            const long found =
                specgram_hatch_crossings(xy, count, ax, ay, bx, by, t, SPECGRAM_HATCH_MAX_CROSSINGS);
            // even-odd: crossings pair up into the inside segments of the line
            for (long i = 0; i + 1 < found; i += 2)
                specgram_hatch_stroke(g, &hb, second, d, t[i] * hb.h, t[i + 1] * hb.h);
        }
    }
}

// Pixel position of vertex p (time ms, frequency Hz) in a width x height view.
static void specgram_vertex_pixel(const t_specgram *x, const double *p, double width, double height, double *px,
                                  double *py)
{
    *px = specgram_column_of_time(x, p[0], width);
    *py = specgram_line_of_row(x, specgram_row_position(x, p[1]), height);
}

// Pixel position of every vertex of shape k into xy (x y pairs).
static void specgram_shape_pixels(t_specgram *x, long k, double width, double height, double *xy)
{
    const long first = x->shape_start[k];
    for (long i = 0; i < x->shape_point_count[k]; i++)
        specgram_vertex_pixel(x, x->shape_points[first + i], width, height, &xy[2 * i], &xy[2 * i + 1]);
}

// Shapes that are hatched: closed (not the one being drawn), three points or more.
static int specgram_shape_hatched(const t_specgram *x, long k)
{
    const int open = k == x->shape_count - 1 && x->shape_drawing == 1;
    return !open && x->shape_point_count[k] >= 3;
}

static void specgram_hatch_shapes(t_specgram *x, t_jgraphics *g, double width, double height)
{
    long largest = 0;
    for (long k = 0; k < x->shape_count; k++)
        if (specgram_shape_hatched(x, k))
            largest = std::max(largest, x->shape_point_count[k]);
    if (largest == 0)
        return;
    const long crossings = std::min(largest, (long)SPECGRAM_HATCH_MAX_CROSSINGS);
    double *xy = (double *)sysmem_newptr((t_ptr_size)((2 * largest + crossings) * sizeof(double)));
    if (!xy)
        return;
    t_jrgba color = x->draw_linecolor;
    color.alpha *= SPECGRAM_HATCH_ALPHA;
    jgraphics_set_source_jrgba(g, &color);
    jgraphics_set_line_width(g, SPECGRAM_HATCH_LINEWIDTH);
    for (long k = 0; k < x->shape_count; k++) {
        if (!specgram_shape_hatched(x, k))
            continue;
        specgram_shape_pixels(x, k, width, height, xy);
        specgram_hatch_polygon(g, xy, x->shape_point_count[k], width, height, xy + 2 * largest);
    }
    sysmem_freeptr(xy);
    jgraphics_set_source_jrgba(g, &x->draw_linecolor);
    jgraphics_set_line_width(g, x->draw_linewidth);
}

void specgram_draw_shapes(t_specgram *x, t_jgraphics *g, double width, double height)
{
    jgraphics_set_source_jrgba(g, &x->draw_linecolor);
    jgraphics_set_line_width(g, x->draw_linewidth);
    for (long k = 0; k < x->shape_count; k++) {
        const long count = x->shape_point_count[k];
        if (count < 2)
            continue;
        const long first = x->shape_start[k];
        for (long i = 0; i < count; i++) {
            double px, py;
            specgram_vertex_pixel(x, x->shape_points[first + i], width, height, &px, &py);
            if (i == 0)
                jgraphics_move_to(g, px, py);
            else
                jgraphics_line_to(g, px, py);
        }
        if (!(k == x->shape_count - 1 && x->shape_drawing == 1))
            jgraphics_close_path(g);
        jgraphics_stroke(g);
    }
    if (x->edit_inverted)
        specgram_hatch_shapes(x, g, width, height);
}
