// Where the view puts things: the visible block of the grid, the vertical
// position of a frequency, and the two-way conversion between the selection
// values (ms, Hz) and the selection box drawn over the view (pixels).
//
// Frequencies map to display rows through the current scale's edge table,
// so a vertical position is a row offset from the lowest visible row (with
// the fraction within the row), scaled to the view's height.  The box to
// values conversion rounds to whole rows: a selection dragged with the mouse
// always has its frequencies on row edges.  Callers hold x->lock.
#include "specgram_render_internal.h"

#include <math.h>

// Integer part of v clamped to 0..top; a value not above 0 (or NaN) gives 0.
static long specgram_clamp_index(double v, long top)
{
    if (!(v > 0.0))
        return 0;
    if (v >= (double)top)
        return top;
    return (long)v;
}

// lround(v) clamped to 0..top; values that round below 1 give 0.
static long specgram_round_row(double v, long top)
{
    if (!(v >= 0.5))
        return 0;
    if (v >= (double)top)
        return top;
    return lround(v);
}

// v clamped to 0..top; a value not above 0 (or NaN) gives 0.
static double specgram_clamp_value(double v, double top)
{
    if (!(v > 0.0))
        return 0.0;
    return v < top ? v : top;
}

void specgram_visible_rows(t_specgram *x, long *r0, long *r1)
{
    const float *edges = specmags_current_edges(&x->mags);
    const long rows = (long)x->mags.num_bins;
    *r0 = specgram_find_bin_for_freq_ranges(edges, rows, (float)x->display_low);
    *r1 = specgram_find_bin_for_freq_ranges(edges, rows, (float)x->display_high);
}

void specgram_visible_block(t_specgram *x, t_specgram_block *b)
{
    const long frames = (long)x->mags.num_frames;
    const double n = (double)frames;
    const double c0 = (double)specgram_clamp_index(n * x->display_start / x->buffer_length_ms, frames - 1);
    const double span = trunc(n * x->display_length / x->buffer_length_ms);
    b->c0 = (long)c0;
    b->c1 = specgram_clamp_index(c0 + span, frames - 1);
    specgram_visible_rows(x, &b->r0, &b->r1);
}

double specgram_freq_offset(t_specgram *x, double f, long r0)
{
    const float *edges = specmags_current_edges(&x->mags);
    const long row = specgram_find_bin_for_freq_ranges(edges, (long)x->mags.num_bins, (float)f);
    return (double)row + (double)specgram_row_fraction(edges, row, (float)f) - (double)r0;
}

void specgram_selection_box_from_values(t_specgram *x, double width, double height, t_rect *box)
{
    const float *edges = specmags_current_edges(&x->mags);
    const long rows = (long)x->mags.num_bins;
    long r0, r1;
    specgram_visible_rows(x, &r0, &r1);
    const double n = (double)(r1 - r0 + 1);
    const long s0 = specgram_find_bin_for_freq_ranges(edges, rows, (float)x->selection_low);
    const long s1 = specgram_find_bin_for_freq_ranges(edges, rows, (float)x->selection_high);
    const double top = trunc(height - 1.0);
    const double a = (double)(s1 + 1 - r0) / n;

    box->x = (x->selection_start - x->display_start) / x->display_length * width;
    box->width = (x->selection_end - x->display_start) / x->display_length * width - box->x;
    box->y = top - a * top;
    box->height = height * (a - (double)(s0 - r0) / n);
}

void specgram_selection_values_from_box(t_specgram *x, const t_rect *box, double width, double height)
{
    const float *edges = specmags_current_edges(&x->mags);
    const long rows = (long)x->mags.num_bins;
    long r0, r1;
    specgram_visible_rows(x, &r0, &r1);
    const double n = (double)(r1 - r0 + 1);
    const double top = height - 1.0;
    const double nyquist = x->sample_rate * 0.5;

    const long low_row = specgram_round_row((1.0 - (box->y + box->height) / top) * n + (double)r0, rows);
    const long high_row = specgram_round_row((1.0 - box->y / top) * n + (double)r0, rows);
    const float start = (float)(box->x / width * x->display_length + x->display_start);
    const float end = (float)((box->x + box->width) / width * x->display_length + x->display_start);

    x->selection_start = specgram_clamp_value(start, x->buffer_length_ms);
    x->selection_end = specgram_clamp_value(end, x->buffer_length_ms);
    x->selection_low = specgram_clamp_value(edges[low_row], nyquist);
    x->selection_high = specgram_clamp_value(edges[high_row], nyquist);
}
