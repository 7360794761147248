// Turning the dB grid into an image: the one routine that fills both the
// box's magnitude surface and a PNG export.
//
// Each pixel shows the largest magnitude of its block of cells, so a short
// peak stays visible however far the view is zoomed out.  Block ends are
// inclusive: neighbouring pixels share their border column and row.  When the
// view is zoomed in past one column per pixel, a pixel takes two neighbouring
// columns; past one row per pixel, a single row.  The block bounds of every
// pixel column and row are worked out once per image, so the inner loops only
// read cells.  A pixel column first takes the maximum of its frames row by
// row (one pass over each frame's visible rows, in memory order, which the
// compiler can vectorise), then the maximum of each pixel row's rows.  The
// full-resolution export uses the same loops with one cell per pixel.
#include "specgram_render_internal.h"

#include <math.h>
#include <stddef.h>

static long specgram_pool_clamp(long v, long count)
{
    if (v <= 0)
        return 0;
    return v < count ? v : count - 1;
}

void specgram_pool_spans(long first, long last, long count, long pixels, int axis, t_specgram_span *spans)
{
    if (pixels < 1 || count < 1)
        return;
    const double per_pixel = (double)(last - first + 1) / (double)pixels;
    for (long i = 0; i < pixels; i++) {
        long lo, hi;
        if (axis == SPECGRAM_POOL_NONE) {
            lo = hi = first + i;
        } else if (per_pixel >= 1.0) {
            lo = first + (long)(i * per_pixel);
            hi = first + (long)((i + 1) * per_pixel);
            if (hi > last)
                hi = last;
        } else if (axis == SPECGRAM_POOL_COLUMNS) {
            lo = first + (long)(i / (1.0 / per_pixel));
            hi = lo + 1;
        } else {
            lo = first + (long)(i * per_pixel);
            if (lo > last)
                lo = last;
            hi = lo;
        }
        spans[i].lo = specgram_pool_clamp(lo, count);
        spans[i].hi = specgram_pool_clamp(hi, count);
    }
}

#define SPECGRAM_POOL_LANES 8

// acc[i] = max(acc[i], cells[i]) for i < count, in blocks of a fixed width
// that the compiler turns into vector instructions.
static void specgram_pool_max_into(float *__restrict acc, const float *__restrict cells, long count)
{
    long i = 0;
    for (; i + SPECGRAM_POOL_LANES <= count; i += SPECGRAM_POOL_LANES)
        for (int k = 0; k < SPECGRAM_POOL_LANES; k++)
            acc[i + k] = cells[i + k] > acc[i + k] ? cells[i + k] : acc[i + k];
    for (; i < count; i++)
        acc[i] = cells[i] > acc[i] ? cells[i] : acc[i];
}

void specgram_pool_column(const float *db, long num_bins, t_specgram_span col, const t_specgram_span *rows,
                          long height, float *row_max, float *out)
{
    // Row spans ascend with the pixel row, so together they cover first..last.
    const long first = rows[0].lo, last = rows[height - 1].hi;
    const long count = last - first + 1;
    for (long i = 0; i < count; i++)
        row_max[i] = -INFINITY;
    for (long c = col.lo; c <= col.hi; c++)
        specgram_pool_max_into(row_max, db + (ptrdiff_t)c * num_bins + first, count);
    for (long py = 0; py < height; py++) {
        float m = -INFINITY;
        for (long r = rows[py].lo; r <= rows[py].hi; r++)
            m = row_max[r - first] > m ? row_max[r - first] : m;
        out[py] = m;
    }
}

int specgram_render_block(t_specgram *x, const t_specgram_block *b, t_jsurface *s, long width, long height,
                          int pooled)
{
    if (!s || width < 1 || height < 1)
        return 0;
    const long frames = (long)x->mags.num_frames;
    const long bins = (long)x->mags.num_bins;
    const size_t bytes =
        (size_t)(width + height) * sizeof(t_specgram_span) + (size_t)(height + bins) * sizeof(float);
    char *scratch = sysmem_newptr((t_ptr_size)bytes);
    if (!scratch)
        return 0;
    t_specgram_span *cols = (t_specgram_span *)scratch;
    t_specgram_span *rows = cols + width;
    float *maxima = (float *)(rows + height);
    float *row_max = maxima + height;

    specgram_pool_spans(b->c0, b->c1, frames, width, pooled ? SPECGRAM_POOL_COLUMNS : SPECGRAM_POOL_NONE, cols);
    specgram_pool_spans(b->r0, b->r1, bins, height, pooled ? SPECGRAM_POOL_ROWS : SPECGRAM_POOL_NONE, rows);

    t_colormap_params params;
    specgram_colormap_params(x, &params);
    for (long px = 0; px < width; px++) {
        specgram_pool_column(x->mags.mags_db, bins, cols[px], rows, height, row_max, maxima);
        for (long py = 0; py < height; py++) {
            t_jrgba color;
            colormap_magnitude_to_color(&params, &color, maxima[py]);
            jgraphics_image_surface_set_pixel(s, (int)px, (int)(height - 1 - py), color);
        }
    }
    sysmem_freeptr(scratch);
    return 1;
}
