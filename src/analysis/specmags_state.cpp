// Analysis state: creation, the parameter setters with their clamps, the
// rebuild after a change of channel length, sample rate or sizes, and
// destruction.
//
// A rebuild keeps every array whose size did not change, so re-reading a
// buffer of the same length allocates nothing.  When an allocation fails the
// state falls back to one silent cell held inside the record itself (see
// alloc_failed in specmags.h); the next successful rebuild leaves it.
#include "ext_sysparallel.h"
#include "pffft.h"
#include "specmags_alloc.h"
#include "specmags_internal.h"
#include "window.h"

#include <string.h>

namespace {

const int64_t k_max_fft = SPECMAGS_MAX_FFT;

// Smallest power of two at or above v (1 for v <= 1); v is capped beforehand.
int64_t pow2_at_least(int64_t v)
{
    int64_t p = 1;
    while (p < v)
        p *= 2;
    return p;
}

int64_t clamp_win_size(int64_t request)
{
    const int64_t w = pow2_at_least(request < k_max_fft ? request : k_max_fft);
    return w <= 32 ? 32 : w;
}

int64_t clamp_zero_pad(int64_t request, int64_t win_size)
{
    int64_t z = request > 64 ? 64 : request < 2 ? 1 : request;
    z = pow2_at_least(z);
    return z * win_size > k_max_fft ? k_max_fft / win_size : z;
}

int64_t clamp_overlap(int64_t request, int64_t win_size)
{
    if (request <= 1)
        return 1;
    int64_t o = request < win_size ? request : win_size;
    return o < 64 ? o : 64;
}

void free_grids(t_specmags *m)
{
    if (m->grid_cells) {
        specmags_free(m->lin_mags);
        specmags_free(m->mags_db);
    }
    m->lin_mags = m->mags_db = nullptr;
    m->grid_cells = 0;
    specmags_free(m->block_max);
    m->block_max = nullptr;
    m->block_max_cells = 0;
}

void free_reassign(t_specmags *m)
{
    specmags_free(m->freqs);
    specmags_free(m->phases);
    m->freqs = m->phases = nullptr;
    m->reassign_cells = 0;
}

// A block of `cap` cells is kept for `cells` cells when it is large enough
// and not more than twice too large.
bool keep_block(int64_t cap, int64_t cells)
{
    return cap > 0 && cells <= cap && cells > cap / 2;
}

// The block maxima of num_frames x num_bins cells.
int ensure_block_max(t_specmags *m)
{
    const int64_t blocks = (m->num_frames + SPECMAGS_BLOCK_FRAMES - 1) / SPECMAGS_BLOCK_FRAMES;
    const int64_t cells = blocks * m->num_bins;
    if (keep_block(m->block_max_cells, cells))
        return 1;
    specmags_free(m->block_max);
    m->block_max = specmags_alloc_floats(cells);
    m->block_max_cells = m->block_max ? cells : 0;
    return m->block_max != nullptr;
}

int ensure_grids(t_specmags *m, int64_t cells)
{
    if (keep_block(m->grid_cells, cells))
        return ensure_block_max(m);
    free_grids(m);
    m->lin_mags = specmags_alloc_floats(cells);
    m->mags_db = specmags_alloc_floats(cells);
    if (!m->lin_mags || !m->mags_db) {
        specmags_free(m->lin_mags);
        specmags_free(m->mags_db);
        m->lin_mags = m->mags_db = nullptr;
        return 0;
    }
    m->grid_cells = cells;
    return ensure_block_max(m);
}

// freqs and phases exist only while reassignment is on; freqs starts as the
// bin centres of every frame.
int ensure_reassign(t_specmags *m)
{
    const int64_t cells = m->num_frames * m->num_bins;
    if (!keep_block(m->reassign_cells, cells)) {
        free_reassign(m);
        m->freqs = specmags_alloc_floats(cells);
        m->phases = specmags_alloc_floats(cells);
        if (!m->freqs || !m->phases) {
            free_reassign(m);
            return 0;
        }
        m->reassign_cells = cells;
    }
    const float d = specmags_bin_spacing(m);
    for (int64_t k = 0; k < m->num_bins; k++)
        m->freqs[k] = (float)k * d;
    for (int64_t l = 1; l < m->num_frames; l++)
        memcpy(m->freqs + l * m->num_bins, m->freqs, (size_t)m->num_bins * sizeof(float));
    return 1;
}

int ensure_setup(t_specmags *m)
{
    if (m->fft_setup && m->setup_size == m->fft_size)
        return 1;
    if (m->fft_setup)
        pffft_destroy_setup(m->fft_setup);
    m->fft_setup = nullptr;
    m->setup_size = 0;
    if (!specmags_alloc_allowed((size_t)m->fft_size * 2 * sizeof(float)))
        return 0;
    m->fft_setup = pffft_new_setup((int)m->fft_size, PFFFT_REAL);
    if (!m->fft_setup)
        return 0;
    m->setup_size = m->fft_size;
    return 1;
}

int ensure_window(t_specmags *m)
{
    if (!m->fft_window || m->window_len != m->fft_win_size) {
        specmags_free(m->fft_window);
        m->window_len = 0;
        m->fft_window = specmags_alloc_floats(m->fft_win_size);
        if (!m->fft_window)
            return 0;
        m->window_len = m->fft_win_size;
    }
    precompute_window(m->fft_window, m->fft_win_type, (long)m->fft_win_size, 0);
    return 1;
}

// The state after a failed rebuild: one frame of one silent row, all tables
// pointing at storage inside the record.  The setup and window stay as they are.
void enter_failed_state(t_specmags *m)
{
    free_grids(m);
    free_reassign(m);
    specmags_free_tables(m);
    m->num_frames = 1;
    m->num_bins = 1;
    m->fail_cells[0] = 0.0f;
    m->fail_cells[1] = SPECMAGS_SILENCE_DB;
    m->lin_mags = &m->fail_cells[0];
    m->mags_db = &m->fail_cells[1];
    m->fail_edges[0] = 0.0f;
    m->fail_edges[1] = (float)(m->sample_rate * 0.5);
    m->lin_edges = m->mel_edges = m->log_edges = m->bark_edges = m->erb_edges = m->fail_edges;
    m->fail_rows[0] = 0;
    m->fail_rows[1] = 1;
    m->mel_row_first = m->log_row_first = m->bark_row_first = m->erb_row_first = &m->fail_rows[0];
    m->mel_row_count = m->log_row_count = m->bark_row_count = m->erb_row_count = &m->fail_rows[1];
    m->alloc_failed = 1;
    m->dirty = 1;
}

} // namespace

int specmags_init(t_specmags *m, int64_t num_samples, int64_t win_size, int64_t zero_pad, int64_t overlap,
                  int64_t stft_win_size, double sample_rate)
{
    memset(m, 0, sizeof(*m));
    m->fft_win_type = WINDOW_HANN;
    m->reassignment = 0;
    m->fft_win_size = clamp_win_size(win_size);
    m->fft_zero_pad = (int)clamp_zero_pad(zero_pad, m->fft_win_size);
    m->fft_size = m->fft_win_size * m->fft_zero_pad;
    // An overlap above the window size would make the hop 0.
    m->fft_overlap = clamp_overlap(overlap, m->fft_win_size);
    m->fft_hop = m->fft_win_size / m->fft_overlap;
    const int ok = specmags_update(m, num_samples, sample_rate);
    m->fft_mag_scale = SPECMAGS_SCALE_MEL;
    m->stft_win_size = 0;
    specmags_set_stft_win_size(m, (long)stft_win_size);
    const int stft_ok = specmags_stft_update(m);
    return ok && stft_ok;
}

int specmags_update(t_specmags *m, int64_t num_samples, double sample_rate)
{
    m->num_samples = num_samples > 1 ? num_samples : 1;
    m->sample_rate = sample_rate > 0.0 ? sample_rate : 48000.0;
    if (m->alloc_failed) {
        // Leave the failure cell: nothing of it is owned.
        m->lin_mags = m->mags_db = nullptr;
        m->lin_edges = m->mel_edges = m->log_edges = m->bark_edges = m->erb_edges = nullptr;
        m->alloc_failed = 0;
    }
    m->num_frames =
        m->num_samples < m->fft_win_size ? 1 : (m->num_samples - m->fft_win_size) / m->fft_hop + 1;
    m->num_bins = m->fft_size / 2 + 1;
    // The grid size must stay far from overflowing 64-bit byte counts.
    int ok = m->num_frames <= (INT64_MAX / 16) / m->num_bins && ensure_grids(m, m->num_frames * m->num_bins);
    if (ok && m->reassignment)
        ok = ensure_reassign(m);
    else if (!m->reassignment)
        free_reassign(m);
    ok = ok && specmags_build_tables(m);
    ok = ok && ensure_setup(m);
    ok = ok && ensure_window(m);
    if (!ok) {
        enter_failed_state(m);
        return 0;
    }
    m->dirty = 1;
    return 1;
}

int specmags_set_fft_win_type(t_specmags *m, long type)
{
    const unsigned t = type < 0 ? 0u : type > WINDOW_SQRT ? (unsigned)WINDOW_SQRT : (unsigned)type;
    if (t == m->fft_win_type)
        return 0;
    m->fft_win_type = t;
    if (m->fft_window)
        precompute_window(m->fft_window, t, (long)m->window_len, 0);
    m->dirty = 1;
    return 1;
}

int specmags_set_fft_win_size(t_specmags *m, long size)
{
    int64_t w = pow2_at_least(size < k_max_fft ? size : k_max_fft);
    // The window must hold at least one hop per overlap step; the FFT length
    // must stay a power of two, so a non-power-of-two overlap rounds up.
    if (w <= m->fft_overlap)
        w = pow2_at_least(m->fft_overlap);
    if (w > k_max_fft)
        w = k_max_fft;
    if (w <= 32)
        w = 32;
    if (w == m->fft_win_size)
        return 0;
    if (w * m->fft_zero_pad > k_max_fft)
        m->fft_zero_pad = (int)(k_max_fft / w);
    m->fft_win_size = w;
    m->fft_size = m->fft_zero_pad * w;
    m->fft_hop = w / m->fft_overlap;
    specmags_update(m, m->num_samples, m->sample_rate);
    return 1;
}

int specmags_set_fft_zero_pad(t_specmags *m, long factor)
{
    const int64_t z = clamp_zero_pad(factor, m->fft_win_size);
    if (z == m->fft_zero_pad)
        return 0;
    m->fft_zero_pad = (int)z;
    m->fft_size = m->fft_win_size * z;
    specmags_update(m, m->num_samples, m->sample_rate);
    return 1;
}

int specmags_set_fft_overlap(t_specmags *m, long factor)
{
    const int64_t o = clamp_overlap(factor, m->fft_win_size);
    if (o == m->fft_overlap)
        return 0;
    m->fft_overlap = o;
    m->fft_hop = m->fft_win_size / o;
    specmags_update(m, m->num_samples, m->sample_rate);
    return 1;
}

int specmags_set_fft_mag_scale(t_specmags *m, long scale)
{
    const unsigned s = scale < 0                    ? 0u
                       : scale > SPECMAGS_SCALE_ERB ? (unsigned)SPECMAGS_SCALE_ERB
                                                    : (unsigned)scale;
    if (s == m->fft_mag_scale)
        return 0;
    m->fft_mag_scale = s;
    return 1;
}

int specmags_set_reassignment(t_specmags *m, long flag)
{
    const unsigned r = flag ? 1u : 0u;
    if (r == m->reassignment)
        return 0;
    m->reassignment = r;
    m->dirty = 1;
    if (m->alloc_failed)
        return 1;
    if (!r)
        free_reassign(m);
    else if (!ensure_reassign(m))
        enter_failed_state(m);
    return 1;
}

const float *specmags_current_edges(const t_specmags *m)
{
    switch (m->fft_mag_scale) {
    case SPECMAGS_SCALE_MEL:
        return m->mel_edges;
    case SPECMAGS_SCALE_LOG:
        return m->log_edges;
    case SPECMAGS_SCALE_BARK:
        return m->bark_edges;
    case SPECMAGS_SCALE_ERB:
        return m->erb_edges;
    default:
        return m->lin_edges;
    }
}

void specmags_cleanup(t_specmags *m)
{
    if (!m)
        return;
    if (m->alloc_failed)
        m->lin_mags = m->mags_db = nullptr;
    free_grids(m);
    free_reassign(m);
    specmags_free_tables(m);
    if (m->fft_setup)
        pffft_destroy_setup(m->fft_setup);
    specmags_free(m->fft_window);
    specmags_stft_free(m);
    if (m->task)
        sysparallel_task_free(m->task);
    memset(m, 0, sizeof(*m));
}
