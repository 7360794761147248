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
// compiler can vectorise), then the maximum of each pixel row's rows; whole
// blocks of eight frames inside a pixel's span are read from the analysis'
// block maxima instead of frame by frame.  A large block is pooled on the host's worker threads, each taking a run of
// pixel columns; the colours are then set on the calling thread.  The
// full-resolution export uses the same loops with one cell per pixel.
#include "specgram_render_internal.h"

#include "ext_sysparallel.h"

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

void specgram_pool_column(const float *db, const float *block_max, long num_bins, t_specgram_span col,
                          const t_specgram_span *rows, long height, float *row_max, float *out)
{
    // Row spans ascend with the pixel row, so together they cover first..last.
    const long first = rows[0].lo, last = rows[height - 1].hi;
    const long count = last - first + 1;
    for (long i = 0; i < count; i++)
        row_max[i] = -INFINITY;
    // Whole blocks of frames inside the span are read from their maxima:
    // the same maximum, from an eighth of the reads.
    const long k = SPECMAGS_BLOCK_FRAMES;
    long block = block_max ? (col.lo + k - 1) / k : 0, block_end = block_max ? (col.hi + 1) / k : 0;
    if (block >= block_end)
        block = block_end = col.hi + 1; // no whole block: every frame is read
    for (long c = col.lo; c < block * k && c <= col.hi; c++)
        specgram_pool_max_into(row_max, db + (ptrdiff_t)c * num_bins + first, count);
    for (long b = block; b < block_end; b++)
        specgram_pool_max_into(row_max, block_max + (ptrdiff_t)b * num_bins + first, count);
    for (long c = block_end * k; c <= col.hi; c++)
        specgram_pool_max_into(row_max, db + (ptrdiff_t)c * num_bins + first, count);
    for (long py = 0; py < height; py++) {
        float m = -INFINITY;
        for (long r = rows[py].lo; r <= rows[py].hi; r++)
            m = row_max[r - first] > m ? row_max[r - first] : m;
        out[py] = m;
    }
}

// One worker's share of a band of a re-render: the maxima of pixel columns
// [first, end) into maxima[(px - band) * height + py].
typedef struct _specgram_render_share {
    const float *db, *block_max;
    long bins;
    const t_specgram_span *cols, *rows;
    long height;
    long band, first, end;
    float *row_max; // this share's scratch, bins floats
    float *maxima;
} t_specgram_render_share;

static void specgram_render_columns(t_specgram_render_share *s)
{
    for (long px = s->first; px < s->end; px++)
        specgram_pool_column(s->db, s->block_max, s->bins, s->cols[px], s->rows, s->height, s->row_max,
                             s->maxima + (px - s->band) * s->height);
}

static void specgram_render_worker(t_sysparallel_worker *w)
{
    specgram_render_columns((t_specgram_render_share *)w->data);
}

// Below this many visible cells a re-render is quicker than handing it out.
#define SPECGRAM_PARALLEL_CELLS 1000000L
// Pixel columns pooled between colourings: the scratch stays small however
// large an export is.
#define SPECGRAM_RENDER_BAND 256L

// How many workers pool a block of `cells` cells, each at least 16 columns of a band.
static long specgram_render_workers(long width, double cells)
{
    long w = cells < SPECGRAM_PARALLEL_CELLS ? 1 : sysparallel_processorcount();
    long most = (width < SPECGRAM_RENDER_BAND ? width : SPECGRAM_RENDER_BAND) / 16;
    if (w > SYSPARALLEL_MAX_WORKERS)
        w = SYSPARALLEL_MAX_WORKERS;
    if (w > most)
        w = most;
    return w < 1 ? 1 : w;
}

// Pools pixel columns [band, end) into maxima, on the host's workers when
// there is a task: each takes a contiguous run of columns.  The grid is only
// read, and the caller holds the object's lock throughout.
static void specgram_render_band(t_sysparallel_task *task, t_specgram_render_share *shares, long workers,
                                 long band, long end)
{
    for (long i = 0; i < workers; i++) {
        shares[i].band = band;
        shares[i].first = band + (end - band) * i / workers;
        shares[i].end = band + (end - band) * (i + 1) / workers;
    }
    if (!task) {
        for (long i = 0; i < workers; i++)
            specgram_render_columns(&shares[i]);
        return;
    }
    for (long i = 0; i < workers; i++)
        task->workers[i]->data = &shares[i];
    sysparallel_task_execute(task);
}

int specgram_render_block(t_specgram *x, const t_specgram_block *b, t_jsurface *s, long width, long height,
                          int pooled)
{
    if (!s || width < 1 || height < 1)
        return 0;
    const long frames = (long)x->mags.num_frames;
    const long bins = (long)x->mags.num_bins;
    const double cells = (double)(b->c1 - b->c0 + 1) * (double)(b->r1 - b->r0 + 1);
    const long workers = specgram_render_workers(width, cells);
    const size_t bytes = (size_t)(width + height) * sizeof(t_specgram_span) +
                         ((size_t)SPECGRAM_RENDER_BAND * height + (size_t)workers * bins) * sizeof(float);
    char *scratch = sysmem_newptr((t_ptr_size)bytes);
    if (!scratch)
        return 0;
    t_specgram_span *cols = (t_specgram_span *)scratch;
    t_specgram_span *rows = cols + width;
    float *maxima = (float *)(rows + height);
    float *row_max = maxima + (size_t)SPECGRAM_RENDER_BAND * height;

    specgram_pool_spans(b->c0, b->c1, frames, width, pooled ? SPECGRAM_POOL_COLUMNS : SPECGRAM_POOL_NONE, cols);
    specgram_pool_spans(b->r0, b->r1, bins, height, pooled ? SPECGRAM_POOL_ROWS : SPECGRAM_POOL_NONE, rows);
    t_specgram_render_share shares[SYSPARALLEL_MAX_WORKERS];
    for (long i = 0; i < workers; i++) {
        t_specgram_render_share share = {x->mags.mags_db, x->mags.block_max, bins, cols, rows, height, 0, 0, 0,
                                         row_max + (size_t)i * bins, maxima};
        shares[i] = share;
    }
    t_sysparallel_task *task =
        workers > 1 ? sysparallel_task_new(NULL, (method)specgram_render_worker, workers) : NULL;
    if (task)
        sysparallel_task_workercount(task, workers);

    t_colormap_params params;
    specgram_colormap_params(x, &params);
    for (long band = 0; band < width; band += SPECGRAM_RENDER_BAND) {
        const long end = band + SPECGRAM_RENDER_BAND < width ? band + SPECGRAM_RENDER_BAND : width;
        specgram_render_band(task, shares, workers, band, end);
        for (long px = band; px < end; px++) {
            const float *column = maxima + (px - band) * height;
            for (long py = 0; py < height; py++) {
                t_jrgba color;
                colormap_magnitude_to_color(&params, &color, column[py]);
                jgraphics_image_surface_set_pixel(s, (int)px, (int)(height - 1 - py), color);
            }
        }
    }
    if (task)
        sysparallel_task_free(task);
    sysmem_freeptr(scratch);
    return 1;
}
