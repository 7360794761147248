// Spectral edit kernels of spectrogram~.
//
// The kernels change the edit STFT spectra of a t_specmags (stft_frames,
// stft_num_frames rows of stft_num_bins (re, im) float pairs) in place: a gain
// mask, a frequency shift and a pitch shift, each over the selection rectangle
// or over the drawn shapes.  Each kernel runs either over the whole
// stft_frames (the specedit_apply_* functions) or as a pass over the frames
// in order, any number at a time (specedit_pass_*), which is how the edit
// pipeline runs it inside specmags_stft_stream, a frame at a time; both give
// the same spectra bit for bit.  The kernels know nothing of buffers, undo or
// the user interface and call no host function.
//
// Time-frequency plane: frame i has the time T_i = i * stft_hop / sample_rate
// * 1000 ms (the start of its block, not its centre); the frames before frame
// 0 that an edit of the channel's start runs (they reach into the mirror image
// before the first sample) have the time 0.  Bin k has the frequency k * D Hz
// with D = sample_rate / stft_win_size.  Times are in milliseconds,
// frequencies in hertz, gains linear factors (callers convert from dB).
//
// Shift modes: 0 move-mix, 1 move-replace, 2 copy-mix, 3 copy-replace.  Move
// modes first clear the region's bins, copy modes keep them; replace modes
// overwrite a target bin on its first write in a frame, mix modes add to it.
// The inverted flag (shift kernels only) edits the complement of the region.
//
// Threads: every function may run on any thread; two calls may run at once
// on different states, and passes, which only read the state, may run at
// once on one state, each over its own rows.  Nothing here takes a lock: the
// caller owns the state for the duration of the call or pass.
#pragma once

#include "specmags.h"

#define SPECEDIT_MAX_POINTS 4096        // vertices in the shape pool
#define SPECEDIT_MAX_SHAPES 64          // shapes in the pool
#define SPECEDIT_MAX_CROSSINGS 4096     // edge crossings of one shape in one frame
#define SPECEDIT_MAX_INTERVALS 2048     // bin intervals of all shapes in one frame

enum e_specedit_mode {
    SPECEDIT_MOVE_MIX = 0,
    SPECEDIT_MOVE_REPLACE = 1,
    SPECEDIT_COPY_MIX = 2,
    SPECEDIT_COPY_REPLACE = 3
};

// Edit rectangle: a copy of the selection.  Each pair may come in either
// order; the kernels sort it.
typedef struct _specedit_rect {
    double start_ms;
    double end_ms;
    double low_hz;
    double high_hz;
} t_specedit_rect;

// Shape set: a borrowed view of the object's shape store, not a copy.
// Shape s owns shape_point_count[s] vertices from index shape_start[s] of
// points, vertex v being (points[2v] time ms, points[2v + 1] frequency Hz);
// each shape is a closed polygon.  Shapes with fewer than 3 vertices, and
// shapes whose vertices do not lie within the first SPECEDIT_MAX_POINTS of
// the pool, are ignored; only the first SPECEDIT_MAX_SHAPES shapes count.
typedef struct _specedit_shapes {
    const double *points;
    const long *shape_start;
    const long *shape_point_count;
    long shape_count;
} t_specedit_shapes;

enum e_specedit_kernel {
    SPECEDIT_GAIN_MASK = 0,
    SPECEDIT_FREQ_SHIFT = 1,
    SPECEDIT_PITCH_SHIFT = 2
};

// One kernel call as data.  The region is the rectangle when rect is not
// null, else the shapes (null: no shapes).  Both are borrowed and must stay
// unchanged until the pass ends.
typedef struct _specedit_op {
    int kernel;                      // e_specedit_kernel
    const t_specedit_rect *rect;
    const t_specedit_shapes *shapes;
    int mode;                        // shift kernels: e_specedit_mode
    int inverted;                    // shift kernels: edit the complement
    double gain_in, gain_out;        // gain mask
    double shift;                    // frequency shift: Hz; pitch shift: semitones
    double gain;                     // shift kernels
} t_specedit_op;

// A kernel running over a stream of frames.
typedef struct _specedit_pass {
    int kernel;          // e_specedit_kernel
    void *work;          // the kernel's working state; null when it has nothing to do
    int started;         // 1 once the first block has come
    int64_t next_frame;  // the frame the next block must start with
} t_specedit_pass;

#ifdef __cplusplus
extern "C" {
#endif

// Sets up op for the edit STFT sizes of m (N, hop, bins, frames and sample
// rate; the frames themselves need not exist).  Returns 1 when the pass is
// ready, also when the kernel has nothing to do (a shift of 0); 0 when the
// sizes are unusable or the working state could not be allocated, with
// nothing to end.
int specedit_pass_begin(t_specedit_pass *p, const t_specmags *m, const t_specedit_op *op);

// Edits count rows of stft_num_bins (re, im) pairs in place, row r being
// frame first + r.  The first block may start at any frame (the kernels'
// state starts afresh there), later ones must follow it in frame order (the
// pitch shift carries phases from frame to frame): returns 1, or 0 with the
// rows untouched when first is not the frame after the previous block.
int specedit_pass_frames(t_specedit_pass *p, float *rows, int64_t first, int64_t count);

// The frames of lo..hi whose rows op may change, as [*first, *last]: a
// cheap, conservative answer from the region's time extent and the gains
// (a gain mask whose outside gain is not 1, and an inverted shift, may
// change every frame).  Returns 1, or 0 when op changes no frame there.
int specedit_op_frames(const t_specmags *m, const t_specedit_op *op, int64_t lo, int64_t hi, int64_t *first,
                       int64_t *last);

// Frees the working state.  Safe after a failed begin and when called twice.
void specedit_pass_end(t_specedit_pass *p);

// 1 if (time_ms, freq_hz) lies inside the polygon of count vertices starting
// at vertex first of points (even-odd rule), else 0; 0 for fewer than 3
// vertices or vertices outside the pool's SPECEDIT_MAX_POINTS.
int specedit_point_in_polygon(const double *points, long first, long count, double time_ms,
                              double freq_hz);

// Gain mask over the rectangle: cells inside get gain_in, all others gain_out
// (0 zeroes, 1 leaves, anything else multiplies).  Allocates nothing.
void specedit_apply_gain_mask_selection(t_specmags *m, const t_specedit_rect *rect,
                                        double gain_in, double gain_out);

// Gain mask over the union of the shapes, by the vertical-line crossings of
// each frame's start time.  Allocates nothing.
void specedit_apply_gain_mask_shapes(t_specmags *m, const t_specedit_shapes *shapes,
                                     double gain_in, double gain_out);

// Shifts the content of the rectangle (or of its complement when inverted is
// nonzero) by shift_hz, scaled by gain.  Returns 1 when done or nothing to do
// (a shift of exactly 0 returns at once), 0 when it could not allocate its
// working arrays or the state has no edit spectra; the spectra are then
// untouched.
int specedit_apply_freq_shift_selection(t_specmags *m, const t_specedit_rect *rect, int mode,
                                        int inverted, double shift_hz, double gain);

// Frequency shift over the shapes; returns as specedit_apply_freq_shift_selection.
int specedit_apply_freq_shift_shapes(t_specmags *m, const t_specedit_shapes *shapes, int mode,
                                     int inverted, double shift_hz, double gain);

// Phase-vocoder pitch shift of the rectangle's content by semitones, scaled
// by gain.  Returns 1 when done or nothing to do, 0 on allocation failure or
// missing spectra (spectra untouched).
int specedit_apply_pitch_shift_selection(t_specmags *m, const t_specedit_rect *rect, int mode,
                                         int inverted, double semitones, double gain);

// Pitch shift over the shapes; returns as specedit_apply_pitch_shift_selection.
int specedit_apply_pitch_shift_shapes(t_specmags *m, const t_specedit_shapes *shapes, int mode,
                                      int inverted, double semitones, double gain);

#ifdef __cplusplus
}
#endif
