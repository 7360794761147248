// Where the view puts things: the one place that maps between the box's
// pixels and the view's values.
//
// A box of width x height pixels (x to the right, y down from the top) shows
// the display window: time runs linearly from display_start at x = 0 to
// display_start + display_length at x = width; frequencies go through the
// display rows of the current magnitude scale, the lowest visible row r0
// (the row of display_low) on the bottom line y = height - 1 and the edge
// r0 + n (n visible rows, up to the row of display_high) on the top line
// y = 0.  A continuous row position is a row index plus the fraction of
// the frequency within that row, so a frequency on a row edge sits exactly
// on a pixel line of that row and comes back unchanged.
//
// Also here: the row lookup over an edge table (the one bisection), the
// clamps of view values, and the rule that sizes the magnitude image.
// Everything is pure arithmetic on the record; callers that may race with
// setters and buffer notifications hold x->lock.
#pragma once

#include "ext.h"
#include "jgraphics.h"

typedef struct _specgram t_specgram;

#ifdef __cplusplus
extern "C" {
#endif

// ---- rows of an edge table (rows + 1 ascending edges, single precision) ----
// Row of frequency f: 0 when f is not above edges[0], rows - 1 when it is not
// below edges[rows], else the last row whose lower edge is not above f.
long specgram_row_lookup(const float *edges, long rows, double f);
// The same lookup under the name the commands have always used.
long specgram_find_bin_for_freq_ranges(const float *edges, long rows, double f);
// Fraction of f within row r of the edge table: 0..1 (0 for an empty row).
float specgram_row_fraction(const float *edges, long r, double f);

// ---- clamps ----
// v clamped to 0..top: a value not above 0 (NaN included) gives 0.
double specgram_clamp_value(double v, double top);
// lround(v) clamped to 0..top: a value not above 0 (NaN included) gives 0.
long specgram_clamp_row(double v, long top);

// ---- rows of the view (current magnitude scale) ----
// Rows of display_low and display_high: the visible rows r0..r1.
void specgram_visible_rows(const t_specgram *x, long *r0, long *r1);
// Continuous row position of frequency f: its row plus its fraction within it.
double specgram_row_position(const t_specgram *x, double f);

// ---- pointer and view ----
// Time (ms) under pointer column px, limited to the display window.
double specgram_time_at(const t_specgram *x, double px, double width);
// Continuous row position under pointer line py (not rounded or clamped);
// a box one pixel high shows its lowest visible row.
double specgram_row_at(const t_specgram *x, double py, double height);
// Display row under pointer line py, rounded and clamped to the rows.
long specgram_display_row_at(const t_specgram *x, double py, double height);
// Pointer line of a continuous row position: the inverse of specgram_row_at.
double specgram_line_of_row(const t_specgram *x, double row, double height);
// Pointer column of a time (ms): the inverse of the unclamped time mapping.
double specgram_column_of_time(const t_specgram *x, double time, double width);
// The readout time at a horizontal fraction of the box, in single precision
// and within the display window.
float specgram_readout_time(const t_specgram *x, double fraction);
// The analysis frame that holds time t (ms), clamped to the frames.
long specgram_frame_at_time(const t_specgram *x, double t);

// ---- the selection ----
// Selection time (ms) at pointer column px: single precision, clamped into the buffer.
double specgram_selection_time_at(const t_specgram *x, double px, double width);
// Selection frequency (Hz) at pointer line py: the lower edge of the nearest
// row line, clamped to 0..Nyquist.
double specgram_selection_freq_at(const t_specgram *x, double py, double height);
// The selection box in pixels, from the selection values.
void specgram_selection_box(const t_specgram *x, double width, double height, t_rect *box);

// ---- the magnitude image ----
// Size of the image for a box of width x height pixels: at most one pixel a
// frame and a row, at most the box and at most 4000 x 2000, at least 1 x 1.
void specgram_surface_size(const t_specgram *x, double width, double height, long *w, long *h);

#ifdef __cplusplus
}
#endif
