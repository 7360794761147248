// Window tables for the display analysis and the edit STFT.
//
// precompute_window fills a table once per parameter change; the cosine and
// sine arguments are formed in double precision and rounded to single before
// the single-precision cosf/sinf, the sums are single precision.  Every window
// is symmetric (denominator N - 1).  apply_precomputed_window is the per-frame
// product and is written so that GCC vectorises the unit-stride case.
#include "window.h"

#include <math.h>

namespace {

const double k_pi = 3.141592653589793;

// Cosine of (mult * pi * n / M), argument rounded to single precision.
inline float cos_arg(double mult, long n, long m)
{
    return cosf((float)(mult * k_pi * (double)n / (double)m));
}

float window_value(unsigned type, long n, long size)
{
    const long m = size - 1;
    const float fm = (float)m;
    const float b = fm * 0.5f;
    const float fn = (float)n;
    switch (type) {
    case WINDOW_TRI: {
        const float g = 2.0f / (float)(size + 1);
        return (((float)(size + 1) * 0.5f) - fabsf(fn - b)) * g;
    }
    case WINDOW_BART:
        return (2.0f / fm) * (b - fabsf(fn - b));
    case WINDOW_SINE:
        return sinf((float)(k_pi * (double)n / (double)m));
    case WINDOW_HANN:
        return (1.0f - cos_arg(2.0, n, m)) * 0.5f;
    case WINDOW_HAMM:
        return 0.53836f - 0.46164f * cos_arg(2.0, n, m);
    case WINDOW_BART_HANN:
        return 0.62f - 0.48f * fabsf(fn / fm - 0.5f) - 0.38f * cos_arg(2.0, n, m);
    case WINDOW_BLACK:
        return 0.42000002f - 0.5f * cos_arg(2.0, n, m) + 0.08f * cos_arg(4.0, n, m);
    case WINDOW_NUTT:
        return 0.355768f - 0.487396f * cos_arg(2.0, n, m) + 0.144232f * cos_arg(4.0, n, m) -
               0.012604f * cos_arg(6.0, n, m);
    case WINDOW_BLACK_NUTT:
        return 0.3635819f - 0.4891775f * cos_arg(2.0, n, m) + 0.1365995f * cos_arg(4.0, n, m) -
               0.0106411f * cos_arg(6.0, n, m);
    case WINDOW_BLACK_HARR:
        return 0.35875f - 0.48829f * cos_arg(2.0, n, m) + 0.14128f * cos_arg(4.0, n, m) -
               0.01168f * cos_arg(6.0, n, m);
    case WINDOW_GAUSS: {
        const float z = (fn - b) / (0.4f * b);
        return powf(2.7182817f, -0.5f * z * z);
    }
    case WINDOW_SQRT:
        return sqrtf(1.0f - fabsf(b - fn) / b);
    default:
        return 1.0f;
    }
}

} // namespace

void precompute_window(float *table, unsigned type, long n, int sqrt_flag)
{
    if (!table || n < 1)
        return;
    if (n == 1) {
        // A one-sample window has no shape (the formulas divide by N - 1).
        table[0] = 1.0f;
        return;
    }
    for (long i = 0; i < n; i++) {
        float v = window_value(type, i, n);
        if (sqrt_flag)
            v = sqrtf(v > 0.0f ? v : 0.0f); // end values may round a hair below 0
        table[i] = v;
    }
}

void apply_precomputed_window(float *block, const float *table, long count, long stride, long offset)
{
    if (!block || !table || count < 1)
        return;
    if (stride == 1) {
        float *__restrict dst = block + offset;
        const float *__restrict w = table;
        for (long k = 0; k < count; k++)
            dst[k] *= w[k];
        return;
    }
    for (long k = 0; k < count; k++)
        block[offset + k * stride] *= table[k];
}

float window_magnitude_norm(unsigned type)
{
    static const float k_norm[WINDOW_COUNT] = {1.0f,  0.5f, 0.5f,  0.5f,  0.5f, 0.54f, 0.62f,
                                               0.42f, 0.5f, 0.39f, 0.36f, 0.4f, 0.5f};
    // Types outside the enumeration are filled as Rect, so they take Rect's gain.
    return type < WINDOW_COUNT ? k_norm[type] : 1.0f;
}
