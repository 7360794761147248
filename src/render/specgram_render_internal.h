// Private interface between the rendering files of spectrogram~ (painting,
// labels, shapes, PNG export) and their tests.  Not part of the object's
// interface: nothing outside src/render and its tests includes it.
//
// Geometry conventions: a "block" is an inclusive range of grid cells,
// columns c0..c1 (analysis frames) and rows r0..r1 (display rows of the
// current magnitude scale).  Images put row 0 at the bottom.  Pixel positions
// are in drawing pixels, x to the right and y down from the top.  Everything
// here runs on the thread that paints or exports (the main thread); functions
// that read the analysis state expect the caller to hold x->lock unless they
// say otherwise.
#pragma once

#include "specgram.h"
#include "colormap.h"
#include "labels.h"

#define SPECGRAM_HATCH_SPACING 12.0       // pixels between hatch lines
#define SPECGRAM_HATCH_ALPHA 0.35         // hatch alpha, relative to the line colour's
#define SPECGRAM_HATCH_LINEWIDTH 1.5
#define SPECGRAM_HATCH_MAX_CROSSINGS 8192 // crossings of one hatch line with a polygon

// Inclusive range of grid cells, columns c0..c1 and rows r0..r1.
typedef struct _specgram_block {
    long c0, c1;
    long r0, r1;
} t_specgram_block;

// Inclusive range of cell indices that one pixel covers along one axis.
typedef struct _specgram_span {
    long lo, hi;
} t_specgram_span;

// How pixels take their cells along one axis.
enum e_specgram_pool_axis {
    SPECGRAM_POOL_COLUMNS = 0, // block maxima; two neighbouring columns when zoomed past one per pixel
    SPECGRAM_POOL_ROWS = 1,    // block maxima; one row when zoomed past one per pixel
    SPECGRAM_POOL_NONE = 2     // one cell per pixel: pixel i takes cell first + i
};

// A frequency label placed on the left edge: its frequency (Hz) and y (pixels).
typedef struct _specgram_freq_label {
    double freq;
    double y;
} t_specgram_freq_label;

// Everything the frequency labels of one drawing depend on, read once.
typedef struct _specgram_freq_axis {
    long scale;          // magnitude scale 0..4 (others have no labels)
    double nyquist;      // Hz, half the analysis sample rate
    const float *edges;  // row edges of the scale, rows + 1 values; borrowed from mags
    long rows;
    long r0;             // lowest visible row
    long n;              // visible rows, >= 1
    long height;         // drawing height, pixels
    double margin;       // labels above this y (pixels from the top) are not drawn
} t_specgram_freq_axis;

#ifdef __cplusplus
extern "C" {
#endif

// ---- colour (specgram_color.cpp) ----
// Fills the colour-map parameters from the record's dB range, scheme and custom stops.
void specgram_colormap_params(const t_specgram *x, t_colormap_params *p);

// ---- pooling (specgram_pool.cpp) ----
// Cell range of each of `pixels` pixels over cells first..last of an axis of
// `count` cells (indices clamped to 0..count-1), into spans[0..pixels-1].
void specgram_pool_spans(long first, long last, long count, long pixels, int axis, t_specgram_span *spans);
// Maximum dB of every pixel row for the pixel column whose cells are `col`:
// out[py] over the rows of rows[py] (ascending spans), -inf for an empty
// block.  db is the grid (frame-major, num_bins floats a frame) and
// block_max its block maxima (t_specmags), or NULL to read every frame;
// row_max is scratch for rows[0].lo..rows[height-1].hi.  No allocation.
void specgram_pool_column(const float *db, const float *block_max, long num_bins, t_specgram_span col,
                          const t_specgram_span *rows, long height, float *row_max, float *out);
// Renders block b of the dB grid into width x height pixels of s (which must be at
// least that big), row 0 at the bottom; pooled 1 takes block maxima, 0 one cell
// per pixel.  Returns 1, or 0 when its scratch could not be allocated (s untouched).
int specgram_render_block(t_specgram *x, const t_specgram_block *b, t_jsurface *s, long width, long height,
                          int pooled);

// ---- the visible block (specgram_geometry.cpp) ----
// The visible block: columns of the display window and rows of the frequency window.
void specgram_visible_block(t_specgram *x, t_specgram_block *b);

// ---- labels (specgram_text.cpp) ----
// Reads the frequency-label inputs of x for a drawing height pixels high.
void specgram_freq_axis_init(t_specgram *x, long height, t_specgram_freq_axis *axis);
// Places label `index` of the axis's list; returns 0 when the list has ended or
// the label reaches the top margin (and so do all later ones).
int specgram_freq_label_place(const t_specgram_freq_axis *axis, int index, t_specgram_freq_label *label);

// ---- shapes and hatching (specgram_shapes.cpp) ----
// Crossings of the line a + t (b - a) with the closed polygon xy (count points,
// x y pairs): the sorted line parameters t of every edge it crosses (edge
// parameter in 0..1; edges parallel to the line skipped), at most capacity.
// Returns how many were written.
long specgram_hatch_crossings(const double *xy, long count, double ax, double ay, double bx, double by,
                              double *t, long capacity);
// Draws the shapes layer content into g (width x height): outlines and, when
// edit_inverted is set, the hatching of closed shapes.
void specgram_draw_shapes(t_specgram *x, t_jgraphics *g, double width, double height);
// Cross-hatches the rectangle (both diagonals, SPECGRAM_HATCH_SPACING apart),
// drawing only lines that can reach the width x height drawing.
void specgram_hatch_rect(t_jgraphics *g, const t_rect *box, double width, double height);

#ifdef __cplusplus
}
#endif
