// Stand-ins for the object's two row-lookup routines, so the rendering
// helpers can be tested without the rest of the object.  They follow the
// object's documented contract: bisection over the ascending edge table, the
// frequency narrowed to single precision, and the clamped fraction in a row.
#include "specgram.h"

long specgram_find_bin_for_freq_ranges(const float *edges, long rows, double f)
{
    const float v = (float)f;
    if (!(v > edges[0]))
        return 0;
    if (!(v < edges[rows]))
        return rows - 1;
    long lo = 0, hi = rows;
    while (lo + 1 < hi) {
        const long mid = (lo + hi) / 2;
        if (v < edges[mid])
            hi = mid;
        else
            lo = mid;
    }
    return lo;
}

float specgram_row_fraction(const float *edges, long r, double f)
{
    if (!(edges[r] < edges[r + 1]))
        return 0.0f;
    const float t = ((float)f - edges[r]) / (edges[r + 1] - edges[r]);
    return t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
}
