// Internals shared by the frequency-shift and pitch-shift kernels (shift.cpp,
// pitch.cpp): the working state of one call or pass with its region masks
// and scratch frame, the mode rules of writing a target, and the taps of a
// fractional shift along the bins.
//
// Spectra here are often taken in the window-centre phase reference: bin k
// of a row multiplied by e^(i pi k (N - 1) / N).  The symmetric analysis
// window is centred on sample (N - 1) / 2, so in that reference a steady
// partial shows the same phase in every bin of its main lobe, and a shift
// along the bins is a plain interpolation.
#pragma once

#include "edit_internal.h"

#include <stdint.h>

// Taps each side of a fractional shift: 2 * SPECEDIT_FRAC_HALF in all.
#define SPECEDIT_FRAC_HALF 4
#define SPECEDIT_FRAC_TAPS (2 * SPECEDIT_FRAC_HALF)

// Working state common to both shift kernels.
typedef struct _shift_work {
    t_specedit_geometry g;
    t_specedit_region region;
    int move, replace;
    int use_gain;
    float gain;
    float *scratch;     // one frame, num_bins (re, im) pairs
    uint8_t *written;   // per target: written in this frame (replace modes)
    uint8_t *clear;     // per bin: cleared in move modes
    uint8_t *source;    // per target: source position in the region
    double *bin_pos;    // k, in bins
    double *bin_hz;     // k * D
    double *src_pos;    // source position of target j, in bins
    double *src_hz;     // the same in Hz
    t_specedit_queries clear_q;   // the bins, for the move-mode clearing
    t_specedit_queries source_q;  // the source positions of the targets
} t_shift_work;

// Frees everything a shift work holds; safe on a zeroed or freed one.
void specedit_shift_work_free(t_shift_work *w);

// Prepares the region queries once src_pos and src_hz are filled.  Returns 1
// on success; on failure frees everything and returns 0.
int specedit_shift_work_ready(t_shift_work *w);

// Copies a frame into the scratch frame, clears the written flags, zeroes
// the region's bins in move modes and marks the targets whose source lies in
// the region at frame time t.
void specedit_shift_frame_begin(t_shift_work *w, const float *row, double t);

// Copies the scratch frame back; DC and Nyquist keep a zero imaginary part.
void specedit_shift_frame_end(t_shift_work *w, float *row);

// Adds (re, im), scaled by the gain, to target j of the scratch frame,
// overwriting it on its first write in a frame in replace modes.
static inline void specedit_shift_write(t_shift_work *w, long j, float re, float im)
{
    if (w->use_gain) {
        re *= w->gain;
        im *= w->gain;
    }
    if (w->replace && !w->written[j]) {
        w->scratch[2 * j] = 0.0f;
        w->scratch[2 * j + 1] = 0.0f;
        w->written[j] = 1;
    }
    w->scratch[2 * j] += re;
    w->scratch[2 * j + 1] += im;
}

// Taps that move a centre-referenced spectrum up by f bins, 0 <= f < 1:
// the value at position k + f is the sum over t = 1 - HALF .. HALF of
// taps[t + HALF - 1] * s[k + t].  They are the least-squares fit, weighted by
// the squared Hann window that analysis and synthesis put on each frame, of
// the time-domain modulation the shift stands for; f = 0 gives the single
// tap 1.  Within 0.05 dB of the level and some 38 dB of the exact shift.
void specedit_frac_taps(double f, float *taps);

// The pitch shift's vocoder state (pitch.cpp).
typedef struct _pitch_work t_pitch_work;

// Source positions of the pitch shift by semitones (already clamped) in w,
// then the vocoder state.  Returns it, or null on failure, with w freed.
t_pitch_work *specedit_pitch_new(t_shift_work *w, double semitones);

// Pitch-shifts count rows, row r being frame first + r.  The vocoder starts
// afresh at any frame that does not follow the last one it analysed.
void specedit_pitch_frames(t_shift_work *w, t_pitch_work *p, float *rows, int64_t first,
                           int64_t count);

// Frees the vocoder state; null is ignored.
void specedit_pitch_free(t_pitch_work *p);
