// The five magnitude scales: row-edge tables, the bins of each row, and the
// binning plans that the workers use to turn a frame's magnitudes into the
// display rows of a non-linear scale.
//
// Everything lives in one block (specmags_alloc) owned by the state: the
// five edge tables (num_bins + 1 floats each), the four row lists (first bin
// and count per row) and the four plans.  The block is kept while num_bins
// stays the same; its contents are recomputed on every rebuild, since they
// also depend on the sample rate.
#include "specmags_alloc.h"
#include "specmags_internal.h"

#include <math.h>
#include <string.h>

namespace {

// Hands out consecutive 64-byte aligned pieces of a block; with a NULL base
// it only measures.
struct block_carver
{
    char *base;
    size_t used;
    void *take(size_t bytes)
    {
        void *p = base ? base + used : nullptr;
        used += (bytes + 63) & ~(size_t)63;
        return p;
    }
};

// Lays out the whole tables block for nb bins; returns its size.
size_t carve_tables(t_specmags *m, char *base, int64_t nb)
{
    block_carver c = {base, 0};
    const size_t nb_sz = (size_t)nb;
    int64_t **rows[8] = {&m->mel_row_first,  &m->mel_row_count,  &m->log_row_first, &m->log_row_count,
                         &m->bark_row_first, &m->bark_row_count, &m->erb_row_first, &m->erb_row_count};
    for (int i = 0; i < 8; i++)
        *rows[i] = (int64_t *)c.take(nb_sz * sizeof(int64_t));
    float **edges[5] = {&m->lin_edges, &m->mel_edges, &m->log_edges, &m->bark_edges, &m->erb_edges};
    for (int i = 0; i < 5; i++)
        *edges[i] = (float *)c.take((nb_sz + 1) * sizeof(float));
    m->row_lookup = (int32_t *)c.take(5 * (nb_sz + 2) * sizeof(int32_t));
    m->plans = (t_specmags_plan *)c.take(4 * sizeof(t_specmags_plan));
    for (int s = 0; s < 4; s++) {
        t_specmags_plan tmp;
        t_specmags_plan *p = base ? &m->plans[s] : &tmp;
        p->fast_first = (int32_t *)c.take((nb_sz + 8) * sizeof(int32_t));
        p->fast_count = (int32_t *)c.take((nb_sz + 8) * sizeof(int32_t));
        p->fast_inv = (float *)c.take((nb_sz + 8) * sizeof(float));
        p->slow_first = (int32_t *)c.take(nb_sz * sizeof(int32_t));
        p->slow_count = (int32_t *)c.take(nb_sz * sizeof(int32_t));
        p->slow_inv = (float *)c.take(nb_sz * sizeof(float));
        p->row_slot = (int32_t *)c.take(nb_sz * sizeof(int32_t));
    }
    return c.used;
}

void build_edges(t_specmags *m)
{
    const int64_t nb = m->num_bins;
    const float h = (float)(m->sample_rate * 0.5);
    const float r = (float)nb;
    const double lin_step = (double)h / (double)r;
    const float mel_max = 2595.0f * log10f(1.0f + h / 700.0f);
    const float log_span = log10f(h) - 1.30103f;
    const float bark_max = 13.0f * atanf(0.00076f * h) + 3.5f * atanf((h / 7500.0f) * (h / 7500.0f));
    const float erb_max = 21.4f * log10f(0.00437f * h + 1.0f);
    for (int64_t i = 0; i <= nb; i++) {
        const float fi = (float)i;
        m->lin_edges[i] = (float)((double)i * lin_step);
        m->mel_edges[i] = 700.0f * (powf(10.0f, (fi * mel_max / r) / 2595.0f) - 1.0f);
        m->log_edges[i] = powf(10.0f, 1.30103f + fi * log_span / r);
        const float z = fminf(26.27f, fi * bark_max / r);
        m->bark_edges[i] = fminf(h, 1960.0f * (z + 0.53f) / (26.28f - z));
        m->erb_edges[i] = fminf(h, (powf(10.0f, (fi * erb_max / r) / 21.4f) - 1.0f) / 0.00437f);
    }
}

// First bin k (0..nb) whose centre k * d is at or above e.
int64_t first_bin_at_or_above(float e, float d, int64_t nb)
{
    double guess = ceil((double)e / (double)d);
    int64_t k = guess < 0.0 ? 0 : guess > (double)nb ? nb : (int64_t)guess;
    while (k > 0 && (float)(k - 1) * d >= e)
        k--;
    while (k < nb && (float)k * d < e)
        k++;
    return k;
}

// Row j holds the bins with edge j <= k * d < edge j+1: a contiguous range,
// since the bin centres ascend.
void build_rows(const float *edges, int64_t nb, float d, int64_t *first, int64_t *count)
{
    int64_t lo = first_bin_at_or_above(edges[0], d, nb);
    for (int64_t j = 0; j < nb; j++) {
        const int64_t hi = first_bin_at_or_above(edges[j + 1], d, nb);
        first[j] = lo;
        count[j] = hi > lo ? hi - lo : 0;
        lo = hi;
    }
}

// Splits the non-empty rows into fast and slow ones and assigns every
// display row the slot it shows: its own, or the last non-empty row below
// it, or the silent slot below the first non-empty row.
void build_plan(t_specmags_plan *p, const int64_t *first, const int64_t *count, int64_t nb)
{
    int32_t nf = 0;
    for (int64_t j = 0; j < nb; j++)
        if (count[j] >= 1 && count[j] <= 4 && first[j] + 4 <= nb)
            nf++;
    p->num_fast = nf;
    p->num_fast8 = (nf + 7) & ~7;
    p->num_slow = 0;
    int32_t fast = 0;
    int32_t shown = -1;
    for (int64_t j = 0; j < nb; j++) {
        const int64_t c = count[j];
        if (c >= 1 && c <= 4 && first[j] + 4 <= nb) {
            p->fast_first[fast] = (int32_t)first[j];
            p->fast_count[fast] = (int32_t)c;
            p->fast_inv[fast] = 1.0f / (float)c;
            shown = fast++;
        } else if (c >= 1) {
            const int32_t i = p->num_slow++;
            p->slow_first[i] = (int32_t)first[j];
            p->slow_count[i] = (int32_t)c;
            p->slow_inv[i] = 1.0f / (float)c;
            shown = p->num_fast8 + i;
        }
        p->row_slot[j] = shown;
    }
    for (; fast < p->num_fast8; fast++) {
        p->fast_first[fast] = 0;
        p->fast_count[fast] = 0;
        p->fast_inv[fast] = 0.0f;
    }
    p->silent_slot = p->num_fast8 + p->num_slow;
    for (int64_t j = 0; j < nb && p->row_slot[j] < 0; j++)
        p->row_slot[j] = p->silent_slot;
}

// Row of every multiple b * d, b = 0 .. nb + 1.
void build_lookup(const float *edges, int64_t nb, float d, int32_t *lookup)
{
    for (int64_t b = 0; b <= nb + 1; b++)
        lookup[b] = (int32_t)specmags_find_row_bisect(edges, nb, (float)b * d);
}

} // namespace

int64_t specmags_find_row_bisect(const float *edges, int64_t nb, float f)
{
    if (!(f > edges[0]))
        return 0;
    if (f >= edges[nb])
        return nb - 1;
    int64_t lo = 0, hi = nb;
    while (hi - lo > 1) {
        const int64_t mid = (lo + hi) / 2;
        if (edges[mid] <= f)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

const int32_t *specmags_row_lookup(const t_specmags *m, unsigned scale)
{
    if (!m->row_lookup)
        return nullptr;
    const unsigned s = scale <= (unsigned)SPECMAGS_SCALE_ERB ? scale : 0u;
    return m->row_lookup + (size_t)s * (size_t)(m->num_bins + 2);
}

float specmags_bin_spacing(const t_specmags *m)
{
    return (float)m->sample_rate / (float)m->fft_size;
}

int specmags_build_tables(t_specmags *m)
{
    const int64_t nb = m->num_bins;
    if (!m->tables || m->tables_bins != nb) {
        specmags_free_tables(m);
        const size_t bytes = carve_tables(m, nullptr, nb);
        char *block = (char *)specmags_alloc(bytes);
        if (!block)
            return 0;
        carve_tables(m, block, nb);
        m->tables = block;
        m->tables_bins = nb;
    }
    build_edges(m);
    const float d = specmags_bin_spacing(m);
    const float *edges[4] = {m->mel_edges, m->log_edges, m->bark_edges, m->erb_edges};
    int64_t *firsts[4] = {m->mel_row_first, m->log_row_first, m->bark_row_first, m->erb_row_first};
    int64_t *counts[4] = {m->mel_row_count, m->log_row_count, m->bark_row_count, m->erb_row_count};
    for (int s = 0; s < 4; s++) {
        build_rows(edges[s], nb, d, firsts[s], counts[s]);
        build_plan(&m->plans[s], firsts[s], counts[s], nb);
    }
    const float *all[5] = {m->lin_edges, m->mel_edges, m->log_edges, m->bark_edges, m->erb_edges};
    for (unsigned s = 0; s < 5; s++)
        build_lookup(all[s], nb, d, m->row_lookup + (size_t)s * (size_t)(nb + 2));
    return 1;
}

void specmags_free_tables(t_specmags *m)
{
    specmags_free(m->tables);
    m->tables = nullptr;
    m->tables_bins = 0;
    m->plans = nullptr;
    m->row_lookup = nullptr;
    m->lin_edges = m->mel_edges = m->log_edges = m->bark_edges = m->erb_edges = nullptr;
    m->mel_row_first = m->mel_row_count = m->log_row_first = m->log_row_count = nullptr;
    m->bark_row_first = m->bark_row_count = m->erb_row_first = m->erb_row_count = nullptr;
}

const t_specmags_plan *specmags_plan_for(const t_specmags *m, unsigned scale)
{
    if (!m->plans || scale < SPECMAGS_SCALE_MEL || scale > SPECMAGS_SCALE_ERB)
        return nullptr;
    return &m->plans[scale - 1];
}
