// The view geometry of spectrogram~ (see view_geometry.h): row lookup,
// clamps, pointer to values and back, the selection box and the image size.
//
// Frequencies are narrowed to single precision before they meet the edge
// tables, as the edges are.  A selection edge set with the pointer lands on
// a row edge (the nearest row line); a vertex or a readout takes the row
// under the pointer (clamped to the last row).
#include "specgram.h"

#include <math.h>

#define SPECGRAM_SURFACE_LIMIT_WIDTH 4000
#define SPECGRAM_SURFACE_LIMIT_HEIGHT 2000

// ---------------------------------------------------------------- rows of an edge table

long specgram_row_lookup(const float *edges, long rows, double frequency)
{
    float f = (float)frequency;
    if (!edges || rows < 1 || !(f > edges[0]))
        return 0;
    if (!(f < edges[rows]))
        return rows - 1;
    long lo = 0, hi = rows;
    while (lo + 1 < hi) {
        long mid = (lo + hi) / 2;
        if (f < edges[mid])
            hi = mid;
        else
            lo = mid;
    }
    return lo;
}

long specgram_find_bin_for_freq_ranges(const float *edges, long rows, double f)
{
    return specgram_row_lookup(edges, rows, f);
}

float specgram_row_fraction(const float *edges, long r, double frequency)
{
    float lo = edges[r], hi = edges[r + 1];
    if (!(lo < hi))
        return 0;
    float t = ((float)frequency - lo) / (hi - lo);
    return t < 0 ? 0 : (t > 1 ? 1 : t);
}

// ---------------------------------------------------------------- clamps

double specgram_clamp_value(double v, double top)
{
    if (!(v > 0))
        return 0;
    return v < top ? v : top;
}

long specgram_clamp_row(double v, long top)
{
    if (!(v > 0))
        return 0;
    if (v >= (double)top)
        return top;
    return lround(v);
}

// ---------------------------------------------------------------- rows of the view

static const float *edges_of(const t_specgram *x) { return specmags_current_edges(&x->mags); }

static long rows_of(const t_specgram *x) { return (long)x->mags.num_bins; }

void specgram_visible_rows(const t_specgram *x, long *r0, long *r1)
{
    *r0 = specgram_row_lookup(edges_of(x), rows_of(x), x->display_low);
    *r1 = specgram_row_lookup(edges_of(x), rows_of(x), x->display_high);
}

double specgram_row_position(const t_specgram *x, double f)
{
    const long row = specgram_row_lookup(edges_of(x), rows_of(x), f);
    return (double)row + (double)specgram_row_fraction(edges_of(x), row, f);
}

// ---------------------------------------------------------------- pointer and view

double specgram_time_at(const t_specgram *x, double px, double width)
{
    double u = width > 0 ? px / width : 0;
    u = !(u > 0) ? 0 : (u < 1 ? u : 1);
    return u * x->display_length + x->display_start;
}

double specgram_row_at(const t_specgram *x, double py, double height)
{
    long r0, r1;
    specgram_visible_rows(x, &r0, &r1);
    const double up = height > 1 ? 1 - py / (height - 1) : 0;
    return (double)r0 + (double)(r1 - r0 + 1) * up;
}

long specgram_display_row_at(const t_specgram *x, double py, double height)
{
    return specgram_clamp_row(specgram_row_at(x, py, height), rows_of(x) - 1);
}

double specgram_line_of_row(const t_specgram *x, double row, double height)
{
    long r0, r1;
    specgram_visible_rows(x, &r0, &r1);
    if (!(height > 1))
        return 0;
    return (1 - (row - (double)r0) / (double)(r1 - r0 + 1)) * (height - 1);
}

double specgram_column_of_time(const t_specgram *x, double time, double width)
{
    return (time - x->display_start) / x->display_length * width;
}

float specgram_readout_time(const t_specgram *x, double fraction)
{
    const float t = (float)(x->display_start + fraction * x->display_length);
    const double end = x->display_start + x->display_length;
    return (float)(!(t > x->display_start) ? x->display_start : (t < end ? t : end));
}

long specgram_frame_at_time(const t_specgram *x, double t)
{
    const long frames = (long)x->mags.num_frames;
    const long c = (long)(frames * (t / x->buffer_length_ms));
    if (c <= 0)
        return 0;
    return c > frames - 1 ? frames - 1 : c;
}

// ---------------------------------------------------------------- the selection

double specgram_selection_time_at(const t_specgram *x, double px, double width)
{
    const float t = (float)(px / width * x->display_length + x->display_start);
    return specgram_clamp_value(t, x->buffer_length_ms);
}

double specgram_selection_freq_at(const t_specgram *x, double py, double height)
{
    const long row = specgram_clamp_row(specgram_row_at(x, py, height), rows_of(x));
    return specgram_clamp_value(edges_of(x)[row], x->sample_rate * 0.5);
}

void specgram_selection_box(const t_specgram *x, double width, double height, t_rect *box)
{
    box->x = specgram_column_of_time(x, x->selection_start, width);
    box->width = specgram_column_of_time(x, x->selection_end, width) - box->x;
    box->y = specgram_line_of_row(x, specgram_row_position(x, x->selection_high), height);
    box->height = specgram_line_of_row(x, specgram_row_position(x, x->selection_low), height) - box->y;
}

// ---------------------------------------------------------------- the magnitude image

void specgram_surface_size(const t_specgram *x, double width, double height, long *w, long *h)
{
    const double wl = fmin(trunc(width), SPECGRAM_SURFACE_LIMIT_WIDTH);
    const double hl = fmin(trunc(height), SPECGRAM_SURFACE_LIMIT_HEIGHT);
    const long frames = (long)x->mags.num_frames;
    const long bins = (long)x->mags.num_bins;
    *w = wl >= 2.0 ? (long)wl : 1;
    *h = hl >= 2.0 ? (long)hl : 1;
    *w = frames < 2 ? 1 : (frames < *w ? frames : *w);
    *h = bins < 2 ? 1 : (bins < *h ? bins : *h);
}
