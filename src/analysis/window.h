// Window functions.
//
// A window table is N single-precision floats of one of thirteen symmetric
// windows (denominator N - 1), optionally square-rooted.  Filling is done on
// parameter changes; applying is a plain element-wise product per frame.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum e_window_type {
    WINDOW_RECT = 0,
    WINDOW_TRI,
    WINDOW_BART,
    WINDOW_SINE,
    WINDOW_HANN,
    WINDOW_HAMM,
    WINDOW_BART_HANN,
    WINDOW_BLACK,
    WINDOW_NUTT,
    WINDOW_BLACK_NUTT,
    WINDOW_BLACK_HARR,
    WINDOW_GAUSS,
    WINDOW_SQRT,
    WINDOW_COUNT
};

// Fills table[0..n-1] with window `type` (any value outside 1..12 is Rect);
// with sqrt_flag non-zero every value is square-rooted.  n < 1 writes nothing.
void precompute_window(float *table, unsigned type, long n, int sqrt_flag);

// block[offset + k * stride] *= table[k] for k in 0..count-1; count < 1 does nothing.
void apply_precomputed_window(float *block, const float *table, long count, long stride, long offset);

// The window's amplitude gain Q, by which magnitudes are divided (types
// outside 0..12 are Rect and take 1.0).
float window_magnitude_norm(unsigned type);

#ifdef __cplusplus
}
#endif
