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
// An edit runs specmags_stft_stream: each frame is transformed, edited and
// resynthesised while it is in the cache, so the spectra of the whole
// channel (four times the signal, as complex values) are never written out
// and read back.  The whole-channel frames exist only for callers of
// specmags_stft_forward, which allocates them on first use.
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
// least N samples: what the transforms need besides the frames.
int stft_sizes_ready(const t_specmags *m)
{
    const int64_t n = m->stft_win_size;
    return m->stft_setup && m->stft_setup_size == n && m->stft_out && m->stft_frame_buf && m->stft_work &&
           m->stft_window && m->stft_length >= n && m->stft_num_frames >= 1;
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
    int64_t out_cap = m->stft_out ? m->stft_length : 0;
    const int ok = ensure_floats(&m->stft_out, &out_cap, len) && ensure_stft_size(m, n);
    if (!ok) {
        specmags_stft_free(m);
        return 0;
    }
    m->stft_num_frames = frames;
    m->stft_length = len;
    // Frames of another size are of no further use; frames of this size are
    // kept for the next specmags_stft_forward.
    if (m->stft_frames && !frames_ready(m)) {
        specmags_free(m->stft_frames);
        m->stft_frames = nullptr;
        m->stft_frames_cap = 0;
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
    if (!stft_sizes_ready(m) || !frames_ready(m))
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
    m->stft_num_frames = 0;
    m->stft_length = 0;
}
