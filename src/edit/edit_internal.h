// Helpers shared by the edit kernels, not part of their interface: the
// time-frequency geometry of a state, the 0 / 1 / multiply gain rule, the
// checked view of a shape set, the per-frame region masks of the shift
// kernels and the zeroed-allocation wrapper that tests can replace.
#pragma once

#include "kernels.h"

#include <stddef.h>
#include <stdint.h>

// The edit STFT of a state as the kernels see it.
typedef struct _specedit_geometry {
    float *frames;       // stft_frames, borrowed from the state
    long num_bins;       // stft_num_bins
    int64_t num_frames;  // stft_num_frames
    int win_size;        // N
    int hop;             // N / 4
    double sample_rate;  // Hz
    double bin_hz;       // D = sample_rate / N
} t_specedit_geometry;

// Fills g from the state.  Returns 1 when the state holds edit spectra the
// kernels can work on, 0 when it does not (no frames, no bins, bad sizes).
int specedit_geometry_get(const t_specmags *m, t_specedit_geometry *g);

// The same for the sizes alone: returns 1 when they are usable, whether or
// not stft_frames exists (g->frames is then whatever the state holds).
int specedit_geometry_sizes(const t_specmags *m, t_specedit_geometry *g);

// The kernels behind specedit_pass_*.  init sets *work to a working state
// from specedit_calloc, or to null when the kernel has nothing to do, and
// returns 1; it returns 0, with nothing allocated, when it could not
// allocate.  frames edits count rows from frame first on; free releases.
int specedit_gain_pass_init(void **work, const t_specedit_geometry *g, const t_specedit_op *op);
void specedit_gain_pass_frames(void *work, float *rows, int64_t first, int64_t count);
void specedit_gain_pass_free(void *work);
int specedit_shift_pass_init(void **work, const t_specedit_geometry *g, const t_specedit_op *op);
void specedit_shift_pass_frames(void *work, float *rows, int64_t first, int64_t count);
void specedit_shift_pass_free(void *work);

// Start time of frame i in ms: i * hop / sample_rate * 1000.
double specedit_frame_time(const t_specedit_geometry *g, int64_t i);

// Bin range of a frequency pair (any order): lo = max(0, ceil(min / D)),
// hi = min(floor(max / D), num_bins - 1).  An empty range (hi < lo, or a NaN
// bound) comes back as lo = 0, hi = -1.
void specedit_bin_range(double f0, double f1, double bin_hz, long num_bins, long *lo,
                        long *hi);

// Applies gain to bins k0..k1 (inclusive) of one row: 0 zeroes them, 1
// leaves them, anything else multiplies both parts in single precision.
// Does nothing when k1 < k0.
void specedit_gain_bins(float *row, long k0, long k1, double gain);

// The even-odd step of the point-in-polygon test for one edge, from vertex
// (tk, fk) to the previous vertex (tp, fp): 1 when the edge toggles the
// inside flag of the point (t, f).  Shared so that every shape test of the
// kernels gives bit-identical answers.
static inline int specedit_edge_toggles(double t, double f, double tk, double fk, double tp,
                                        double fp)
{
    if ((f < fp) != (f < fk)) {
        double tx = (f - fk) * (tp - tk) / (fp - fk) + tk;
        return t < tx;
    }
    return 0;
}

// One usable shape of a shape set, with its time extent.
typedef struct _specedit_shape_ref {
    long first;     // index of the first vertex in the pool
    long count;     // vertices, >= 3
    double tmin;    // smallest finite vertex time (ms); +inf when none
    double tmax;    // largest finite vertex time (ms); -inf when none
    double margin;  // ms added around an edge's time span when sorting edges
    int regular;    // 1 when every coordinate is finite and of moderate size
    long edge_base; // index of this shape's first edge among all listed edges
} t_specedit_shape_ref;

// The usable shapes of a shape set, in order.
typedef struct _specedit_shape_list {
    const double *points;  // borrowed pool
    long count;            // usable shapes
    long edges;            // their edges (vertices) in all
    t_specedit_shape_ref shape[SPECEDIT_MAX_SHAPES];
} t_specedit_shape_list;

// Keeps the shapes of set that have at least 3 vertices inside the pool's
// SPECEDIT_MAX_POINTS; a null set or null arrays give an empty list.
void specedit_shape_list_init(t_specedit_shape_list *list, const t_specedit_shapes *set);

// Region of a shift kernel: the rectangle or the shapes, maybe inverted.
typedef struct _specedit_region {
    int use_shapes;  // 0 rectangle, 1 shapes
    int inverted;    // 1: the complement of the rectangle or of the shapes
    double tmin, tmax;  // rectangle: sorted time range (ms)
    long lo, hi;        // rectangle: bin range (empty: lo > hi)
    t_specedit_shape_list shapes;
    uint8_t *toggles;   // num_bins + 1 bytes, zeroed between uses (shapes only)
    long *straddle;     // SPECEDIT_MAX_POINTS vertex indices (shapes only)
} t_specedit_region;

// Sets up a rectangle region.  Allocates nothing.
void specedit_region_rect(t_specedit_region *r, const t_specedit_geometry *g,
                          const t_specedit_rect *rect, int inverted);

// Sets up a shape region.  Allocates its two work arrays with
// specedit_calloc; returns 1 on success, 0 when that failed (nothing to free).
int specedit_region_shapes(t_specedit_region *r, const t_specedit_geometry *g,
                           const t_specedit_shapes *set, int inverted);

// Frees what specedit_region_shapes allocated.  Safe on a rectangle region.
void specedit_region_free(t_specedit_region *r);

// 0 when a rectangle kernel leaves the frame at time t alone (not inverted
// and t outside the time range), else 1.
int specedit_region_frame_edited(const t_specedit_region *r, double t);

// The positions a region mask is evaluated at, fixed for a whole call: query
// q is the position bins[q] in bins (used by the rectangle) and hz[q] in Hz
// (used by the shapes; must not descend).  For shapes, the range of queries
// inside each edge's frequency span is found once here, not per frame.
typedef struct _specedit_queries {
    const double *bins;   // borrowed, n entries
    const double *hz;     // borrowed, n entries
    long n;
    int32_t *edge_first;  // per listed edge: first query with hz >= its lower frequency
    int32_t *edge_end;    // per listed edge: first query with hz >= its upper frequency
} t_specedit_queries;

// Sets up queries for region r over the filled arrays bins and hz.  Allocates
// the edge ranges with specedit_calloc for a shape region; returns 1 on
// success, 0 when that failed (nothing to free).
int specedit_queries_init(t_specedit_queries *q, const t_specedit_region *r, const double *bins,
                          const double *hz, long n);

// Frees what specedit_queries_init allocated.
void specedit_queries_free(t_specedit_queries *q);

// For the frame at time t, sets mask[j] to 1 when query j lies in the edited
// region and to 0 otherwise.  Shapes are tested with the even-odd rule of
// specedit_point_in_polygon and give exactly its answers.
void specedit_region_mask(t_specedit_region *r, double t, const t_specedit_queries *q,
                          uint8_t *mask);

// Zeroed allocation of count * size bytes; null on failure or overflow.
// Release with specedit_free.
void *specedit_calloc(size_t count, size_t size);

// Releases memory from specedit_calloc; null is ignored.
void specedit_free(void *p);

// Replaces the allocator behind specedit_calloc (null restores calloc).  The
// replacement must return memory that free() releases.  For tests only: not
// thread-safe against running kernels.
typedef void *(*t_specedit_calloc_fn)(size_t count, size_t size);
void specedit_set_calloc(t_specedit_calloc_fn fn);
