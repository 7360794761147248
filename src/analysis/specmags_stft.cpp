// Edit STFT: square-root Hann windows of N samples, hop N / 4, no zero
// padding.  Forward and inverse with the same window multiply to the
// symmetric Hann window, whose four copies at hop N / 4 sum to about 2; the
// unscaled backward FFT adds a factor N, so the inverse scales by 0.5 / N and
// the interior of the channel comes back with unit gain.
//
// The storage is sized for the channel length at the last
// specmags_stft_update (stft_length); forward and inverse use that length, so
// a rebuild of the display analysis in between cannot make them overrun.
// Arrays of an unchanged size are kept across updates.
//
// An edit runs specmags_stft_edit_span over the frames it changes: each
// frame is transformed, edited and resynthesised while it is in the cache,
// and only the difference the edit made is overlap-added onto the channel,
// so samples the edit leaves alone keep their bits and the spectra of the
// whole channel are never written out.  The whole-channel frames and output
// exist only for callers of specmags_stft_forward, _inverse and _stream,
// which allocate them on first use: while idle the edit STFT holds its setup,
// window and two blocks of N floats.
#include "pffft.h"
#include "specmags_alloc.h"
#include "specmags_internal.h"
#include "window.h"

#include <string.h>

namespace {

int64_t clamp_stft_size(int64_t request)
{
    int64_t n = 1;
    const int64_t cap = request < SPECMAGS_MAX_STFT ? request : SPECMAGS_MAX_STFT;
    while (n < cap)
        n *= 2;
    return n <= 32 ? 32 : n;
}

// (Re)allocates *p for `count` floats unless *cap already equals it.
int ensure_floats(float **p, int64_t *cap, int64_t count)
{
    if (*p && *cap == count)
        return 1;
    specmags_free(*p);
    *cap = 0;
    *p = specmags_alloc_floats(count);
    if (!*p)
        return 0;
    *cap = count;
    return 1;
}

// The per-size parts: setup, window, block and work area for N samples.
int ensure_stft_size(t_specmags *m, int64_t n)
{
    if (m->stft_setup && m->stft_setup_size == n && m->stft_frame_buf && m->stft_work && m->stft_window)
        return 1;
    if (m->stft_setup)
        pffft_destroy_setup(m->stft_setup);
    m->stft_setup = nullptr;
    m->stft_setup_size = 0;
    specmags_free(m->stft_frame_buf);
    specmags_free(m->stft_work);
    specmags_free(m->stft_window);
    m->stft_frame_buf = specmags_alloc_floats(n);
    m->stft_work = specmags_alloc_floats(n);
    m->stft_window = specmags_alloc_floats(n);
    if (!m->stft_frame_buf || !m->stft_work || !m->stft_window)
        return 0;
    if (!specmags_alloc_allowed((size_t)n * 2 * sizeof(float)))
        return 0;
    m->stft_setup = pffft_new_setup((int)n, PFFFT_REAL);
    if (!m->stft_setup)
        return 0;
    m->stft_setup_size = n;
    precompute_window(m->stft_window, WINDOW_HANN, (long)n, 1);
    return 1;
}

// Row i of the frames: (DC, 0), the (re, im) pairs, (Nyquist, 0), from the
// ordered PFFFT output.
void store_row(float *row, const float *spec, int64_t n)
{
    row[0] = spec[0];
    row[1] = 0.0f;
    memcpy(row + 2, spec + 2, (size_t)(n - 2) * sizeof(float));
    row[n] = spec[1];
    row[n + 1] = 0.0f;
}

// Setup, window, block and work area for the current N and a channel of at
// least N samples: what the transforms need besides the frames and output.
int stft_sizes_ready(const t_specmags *m)
{
    const int64_t n = m->stft_win_size;
    return m->stft_setup && m->stft_setup_size == n && m->stft_frame_buf && m->stft_work && m->stft_window &&
           m->stft_length >= n && m->stft_num_frames >= 1;
}

// stft_out for stft_length floats, allocated on first use.
int out_ready(t_specmags *m)
{
    return m->stft_out && m->stft_out_cap == m->stft_length
               ? 1
               : ensure_floats(&m->stft_out, &m->stft_out_cap, m->stft_length);
}

int64_t frames_floats(const t_specmags *m)
{
    return m->stft_num_frames * m->stft_num_bins * 2;
}

int frames_ready(const t_specmags *m)
{
    return m->stft_frames && m->stft_frames_cap == frames_floats(m);
}

// Frame i of samples into row.
void forward_frame(t_specmags *m, const float *samples, int64_t i, float *row)
{
    const int64_t n = m->stft_win_size;
    float *buf = m->stft_frame_buf;
    specmags_window_copy(buf, samples + i * m->stft_hop, m->stft_window, n);
    pffft_transform_ordered(m->stft_setup, buf, buf, m->stft_work, PFFFT_FORWARD);
    store_row(row, buf, n);
}

// The synthesis window with the inverse's scale 0.5 / N folded in, newly
// allocated (null without memory).
float *new_synth_window(const t_specmags *m)
{
    const int64_t n = m->stft_win_size;
    float *w = specmags_alloc_floats(n);
    if (w) {
        const float scale = 0.5f / (float)n;
        for (int64_t j = 0; j < n; j++)
            w[j] = m->stft_window[j] * scale;
    }
    return w;
}

// Row of frame i back into the time domain, overlap-added into stft_out.
// `in` is an aligned block of N floats, synth the synthesis window.
void inverse_frame(t_specmags *m, const float *row, int64_t i, float *in, const float *synth)
{
    const int64_t n = m->stft_win_size;
    const int64_t hop = m->stft_hop;
    in[0] = row[0];
    in[1] = row[n];
    memcpy(in + 2, row + 2, (size_t)(n - 2) * sizeof(float));
    pffft_transform_ordered(m->stft_setup, in, m->stft_frame_buf, m->stft_work, PFFFT_BACKWARD);
    // The first three quarters overlap earlier frames; the last is new.
    specmags_synth_frame(m->stft_out + i * hop, m->stft_frame_buf, synth, i == 0 ? 0 : n - hop, n);
}

// Zeroes the samples after the last frame, which no frame reaches.
void clear_tail(const t_specmags *m, float *out)
{
    const int64_t covered = (m->stft_num_frames - 1) * m->stft_hop + m->stft_win_size;
    memset(out + covered, 0, (size_t)(m->stft_length - covered) * sizeof(float));
}

} // namespace

int specmags_set_stft_win_size(t_specmags *m, long size)
{
    const int64_t n = clamp_stft_size(size);
    if (n == m->stft_win_size)
        return 0;
    m->stft_win_size = (int)n;
    return 1;
}

int specmags_stft_update(t_specmags *m)
{
    const int64_t n = clamp_stft_size(m->stft_win_size);
    const int64_t len = m->num_samples > 1 ? m->num_samples : 1;
    m->stft_win_size = (int)n;
    m->stft_hop = (int)(n / 4);
    m->stft_num_bins = (int)(n / 2 + 1);
    const int64_t frames = len < n ? 1 : (len - n) / m->stft_hop + 1;
    if (!ensure_stft_size(m, n)) {
        specmags_stft_free(m);
        return 0;
    }
    m->stft_num_frames = frames;
    m->stft_length = len;
    // Frames and output of another size are of no further use; those of this
    // size are kept for the next whole-channel transform.
    if (m->stft_frames && !frames_ready(m)) {
        specmags_free(m->stft_frames);
        m->stft_frames = nullptr;
        m->stft_frames_cap = 0;
    }
    if (m->stft_out && m->stft_out_cap != len) {
        specmags_free(m->stft_out);
        m->stft_out = nullptr;
        m->stft_out_cap = 0;
    }
    return 1;
}

int specmags_stft_forward(t_specmags *m, const float *samples)
{
    if (!samples || !stft_sizes_ready(m))
        return 0;
    if (!frames_ready(m) && !ensure_floats(&m->stft_frames, &m->stft_frames_cap, frames_floats(m)))
        return 0;
    const int64_t row_floats = 2 * (int64_t)m->stft_num_bins;
    for (int64_t i = 0; i < m->stft_num_frames; i++) {
        // The next row's lines arrive while this frame is transformed, so the
        // row store hits the cache.
        if (i + 1 < m->stft_num_frames)
            specmags_prefetch(m->stft_frames + (i + 1) * row_floats, row_floats * 4);
        forward_frame(m, samples, i, m->stft_frames + i * row_floats);
    }
    return 1;
}

int specmags_stft_inverse(t_specmags *m)
{
    if (!stft_sizes_ready(m) || !frames_ready(m) || !out_ready(m))
        return 0;
    float *in = specmags_alloc_floats(m->stft_win_size);
    float *synth = new_synth_window(m);
    const int ok = in && synth;
    const int64_t row_floats = 2 * (int64_t)m->stft_num_bins;
    for (int64_t i = 0; ok && i < m->stft_num_frames; i++)
        inverse_frame(m, m->stft_frames + i * row_floats, i, in, synth);
    if (ok)
        clear_tail(m, m->stft_out);
    specmags_free(in);
    specmags_free(synth);
    return ok;
}

int specmags_stft_stream(t_specmags *m, const float *samples, t_specmags_stft_edit_fn edit, void *ctx)
{
    if (!samples || !stft_sizes_ready(m) || !out_ready(m))
        return 0;
    return specmags_stft_stream_to(m, samples, m->stft_out, edit, ctx);
}

int specmags_stft_stream_to(const t_specmags *m, const float *samples, float *out,
                            t_specmags_stft_edit_fn edit, void *ctx)
{
    if (!samples || !out || !stft_sizes_ready(m))
        return 0;
    const int64_t n = m->stft_win_size;
    const int64_t hop = m->stft_hop; // n / 4
    // Scratch of this call only, so that streams may run side by side.  The
    // ordered spectrum is written straight into the row and only DC's and
    // Nyquist's places are swapped to make a row (and swapped back before
    // the inverse), so no frame is ever copied.  The overlap-add runs in a
    // ring of four hops: hop q of frame i lands in ring hop (i + q) % 4, and
    // once frame i is in, ring hop i % 4 holds the finished samples from
    // i * hop on, which go to out in one pass past the caches.  Every sample
    // sees the same operations in the same order as an overlap-add in place.
    float *row = specmags_alloc_floats(n + 2);
    float *buf = specmags_alloc_floats(n);
    float *work = specmags_alloc_floats(n);
    float *ring = specmags_alloc_floats(n);
    float *synth = new_synth_window(m);
    int ok = row && buf && work && ring && synth;
    const int64_t last = m->stft_num_frames - 1;
    for (int64_t i = 0; ok && i <= last; i++) {
        specmags_window_copy(buf, samples + i * hop, m->stft_window, n);
        pffft_transform_ordered(m->stft_setup, buf, row, work, PFFFT_FORWARD);
        row[n] = row[1];
        row[n + 1] = 0.0f;
        row[1] = 0.0f;
        if (edit && !edit(ctx, row, i)) {
            ok = 0;
            break;
        }
        row[1] = row[n];
        pffft_transform_ordered(m->stft_setup, row, buf, work, PFFFT_BACKWARD);
        for (int64_t q = 0; q < 4; q++) {
            // The last hop of a frame, and all of the first, start samples.
            const int64_t n_add = i == 0 || q == 3 ? 0 : hop;
            specmags_synth_frame(ring + ((i + q) & 3) * hop, buf + q * hop, synth + q * hop, n_add, hop);
        }
        specmags_store_streaming(out + i * hop, ring + (i & 3) * hop, hop);
    }
    if (ok) {
        for (int64_t q = 1; q < 4; q++)
            specmags_store_streaming(out + (last + q) * hop, ring + ((last + q) & 3) * hop, hop);
    }
    specmags_store_fence();
    if (ok)
        clear_tail(m, out);
    specmags_free(row);
    specmags_free(buf);
    specmags_free(work);
    specmags_free(ring);
    specmags_free(synth);
    return ok;
}

void specmags_stft_free(t_specmags *m)
{
    specmags_free(m->stft_frames);
    specmags_free(m->stft_out);
    specmags_free(m->stft_frame_buf);
    specmags_free(m->stft_work);
    specmags_free(m->stft_window);
    if (m->stft_setup)
        pffft_destroy_setup(m->stft_setup);
    m->stft_frames = m->stft_out = m->stft_frame_buf = m->stft_work = m->stft_window = nullptr;
    m->stft_setup = nullptr;
    m->stft_setup_size = 0;
    m->stft_frames_cap = 0;
    m->stft_out_cap = 0;
    m->stft_num_frames = 0;
    m->stft_length = 0;
}

// ---- edits of a span ----

namespace {

// Sample j of the channel of length len mirrored about its ends, read from
// the span's signal; 0 where neither j nor its mirror image is held (a
// channel shorter than the mirror).
float mirrored(const t_specmags_stft_span *s, int64_t len, int64_t j)
{
    if (j < 0)
        j = -j;
    if (j >= len)
        j = 2 * (len - 1) - j;
    j -= s->signal_first;
    return j >= 0 && j < s->signal_count ? s->signal[j] : 0.0f;
}

// The n samples of the mirrored channel from `start` on: a pointer into the
// signal where it holds them all, else a copy in block.
const float *frame_samples(const t_specmags_stft_span *s, int64_t len, int64_t start, int64_t n, float *block)
{
    const int64_t off = start - s->signal_first;
    if (start >= 0 && start + n <= len && off >= 0 && off + n <= s->signal_count)
        return s->signal + off;
    for (int64_t j = 0; j < n; j++)
        block[j] = mirrored(s, len, start + j);
    return block;
}

// The synthesis window of span edits, newly allocated (null without
// memory): the window divided by N times the sum of the four squared
// windows that overlap at its position, so that the overlap-add of frames
// the edit scaled by g adds exactly (g - 1) times the signal: the symmetric
// window's sum only comes near 2.
float *new_exact_synth_window(const t_specmags *m)
{
    const int64_t n = m->stft_win_size, hop = m->stft_hop;
    float *w = specmags_alloc_floats(n);
    if (w) {
        for (int64_t j = 0; j < n; j++) {
            double sum = 0.0;
            for (int64_t q = 0; q < n / hop; q++) {
                const double v = m->stft_window[j % hop + q * hop];
                sum += v * v;
            }
            w[j] = (float)((double)m->stft_window[j] / ((double)n * sum));
        }
    }
    return w;
}

// The finished hop of the ring at sample `start` into out, for the samples
// of [begin, end): the resynthesis itself, or, when the ring holds the
// difference, the sample plus the difference.  Only samples covered by
// changed frames are written back, so adding a zero difference to the
// others does no harm.
void emit_hop(const t_specmags_stft_span *s, const float *ring, bool difference, int64_t start, int64_t hop,
              int64_t begin, int64_t end)
{
    const int64_t j0 = start < begin ? begin - start : 0;
    const int64_t j1 = start + hop > end ? end - start : hop;
    if (j0 >= j1)
        return;
    float *out = s->out + start + j0 - begin;
    if (difference)
        specmags_add(out, s->signal + start + j0 - s->signal_first, ring + j0, j1 - j0);
    else
        specmags_store_streaming(out, ring + j0, j1 - j0);
}

} // namespace

int64_t specmags_stft_grid_first(const t_specmags *m)
{
    return m->stft_hop > 0 ? -(int64_t)(m->stft_win_size / m->stft_hop - 1) : 0;
}

int64_t specmags_stft_grid_last(const t_specmags *m)
{
    return m->stft_hop > 0 && m->stft_length > 0 ? (m->stft_length - 1) / m->stft_hop : -1;
}

static void clamp_range(const t_specmags *m, int64_t b, int64_t e, int64_t *begin, int64_t *end)
{
    const int64_t len = m->stft_length;
    b = b < 0 ? 0 : b > len ? len : b;
    e = e < b ? b : e > len ? len : e;
    *begin = b;
    *end = e;
}

void specmags_stft_span_samples(const t_specmags *m, int64_t first, int64_t last, int64_t *begin, int64_t *end)
{
    clamp_range(m, first * m->stft_hop, last * m->stft_hop + m->stft_win_size, begin, end);
}

void specmags_stft_span_reads(const t_specmags *m, int64_t first, int64_t last, int64_t *begin, int64_t *end)
{
    // A frame reaching past an end reads the mirror images of samples within
    // one window of that end.
    const int64_t n = m->stft_win_size;
    clamp_range(m, first * m->stft_hop - n, last * m->stft_hop + 2 * n, begin, end);
}

int specmags_stft_edit_span(const t_specmags *m, t_specmags_stft_span *s, t_specmags_stft_edit_fn edit, void *ctx)
{
    s->changed_begin = s->changed_end = 0;
    if (!s->signal || !s->out || !stft_sizes_ready(m) || s->first > s->last ||
        s->first < specmags_stft_grid_first(m) || s->last > specmags_stft_grid_last(m))
        return 0;
    const int64_t n = m->stft_win_size;
    const int64_t hop = m->stft_hop; // n / 4
    const int64_t len = m->stft_length;
    int64_t begin, end;
    specmags_stft_span_samples(m, s->first, s->last, &begin, &end);
    // As in specmags_stft_stream_to, the spectrum is written straight into
    // the row and the overlap-add runs in a ring of four hops.  Over part of
    // the grid the ring holds the difference the edit made, which only
    // changed frames add to (frames before `first` are unchanged, so hop
    // `first` starts from them at zero).  Over the whole grid every sample
    // lies in four frames that are all run, so the ring holds the
    // resynthesis itself: no copy and difference of every row, and the
    // whole channel counts as changed.
    const bool whole = s->first == specmags_stft_grid_first(m) && s->last == specmags_stft_grid_last(m);
    float *row = specmags_alloc_floats(n + 2);
    float *orig = specmags_alloc_floats(n + 2);
    float *buf = specmags_alloc_floats(n);
    float *work = specmags_alloc_floats(n);
    float *ring = specmags_alloc_floats(n);
    float *block = specmags_alloc_floats(n);
    float *synth = new_exact_synth_window(m);
    int ok = row && orig && buf && work && ring && block && synth;
    int64_t changed_first = 0, changed_last = -1;
    bool any = false;
    for (int64_t i = s->first; ok && i <= s->last; i++) {
        specmags_window_copy(buf, frame_samples(s, len, i * hop, n, block), m->stft_window, n);
        pffft_transform_ordered(m->stft_setup, buf, row, work, PFFFT_FORWARD);
        row[n] = row[1];
        row[n + 1] = 0.0f;
        row[1] = 0.0f;
        if (!whole)
            memcpy(orig, row, (size_t)(n + 2) * sizeof(float));
        if (edit && !edit(ctx, row, i)) {
            ok = 0;
            break;
        }
        if (whole || specmags_difference(row, orig, n + 2)) {
            if (!any)
                changed_first = i;
            changed_last = i;
            any = true;
            row[1] = row[n];
            pffft_transform_ordered(m->stft_setup, row, buf, work, PFFFT_BACKWARD);
            for (int64_t q = 0; q < 4; q++) {
                const int64_t n_add = i == s->first || q == 3 ? 0 : hop;
                specmags_synth_frame(ring + ((i + q) & 3) * hop, buf + q * hop, synth + q * hop, n_add, hop);
            }
        } else if (i == s->first) {
            memset(ring, 0, (size_t)n * sizeof(float));
        } else {
            memset(ring + ((i + 3) & 3) * hop, 0, (size_t)hop * sizeof(float));
        }
        emit_hop(s, ring + (i & 3) * hop, !whole, i * hop, hop, begin, end);
    }
    if (ok) {
        for (int64_t q = 1; q < 4; q++)
            emit_hop(s, ring + ((s->last + q) & 3) * hop, !whole, (s->last + q) * hop, hop, begin, end);
        if (any)
            specmags_stft_span_samples(m, changed_first, changed_last, &s->changed_begin, &s->changed_end);
    }
    specmags_store_fence();
    specmags_free(row);
    specmags_free(orig);
    specmags_free(buf);
    specmags_free(work);
    specmags_free(ring);
    specmags_free(block);
    specmags_free(synth);
    return ok;
}
