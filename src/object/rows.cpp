// Row lookup over the row-edge table of a magnitude scale: from a frequency
// to its display row, and to its position within that row.  Frequencies are
// narrowed to single precision, as the edges are.
#include "specgram.h"

long specgram_find_bin_for_freq_ranges(const float *edges, long rows, double frequency)
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

float specgram_row_fraction(const float *edges, long r, double frequency)
{
    float lo = edges[r], hi = edges[r + 1];
    if (!(lo < hi))
        return 0;
    float t = ((float)frequency - lo) / (hi - lo);
    return t < 0 ? 0 : (t > 1 ? 1 : t);
}
