// The visible block of the grid: the columns of the display window and the
// rows of the frequency window, which the painting and the PNG export
// render.  The rows come from the view geometry (view_geometry.h).  Callers
// hold x->lock.
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
