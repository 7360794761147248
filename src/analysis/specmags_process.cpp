// Frame analysis of the channel on the host's worker threads.
//
// specmags_process splits the frames into one contiguous slice per worker
// and runs the host task; specmags_process_samples does the same for the
// frames that a changed run of samples reaches.  While dirty is set, each worker windows,
// transforms and measures its frames (lin_mags, and phases when reassignment
// is on); in every call it then turns its frames' magnitudes into display
// rows under the current scale.  With reassignment on, a second run of the
// same task computes the reassigned frequencies (each frame needs the phases
// of the frame before it, hence after the first run) and bins the frames by
// them.  Slices are disjoint, so workers never write the same row.  The
// block maxima of the frames a call rewrote are brought up to date after
// the workers are done, on the calling thread.
#include "ext_sysparallel.h"
#include "pffft.h"
#include "specmags_alloc.h"
#include "specmags_internal.h"
#include "window.h"

#include <assert.h>
#include <math.h>
#include <string.h>

namespace {

enum { PASS_SPECTRA = 0, PASS_REASSIGN = 1 };

// One worker's share of one run.
struct specmags_job
{
    t_specmags *m;
    const float *samples;
    int64_t first;    // first frame, inclusive
    int64_t end;      // last frame, exclusive
    int64_t index;    // position in the job array
    int64_t count;    // jobs in the array
    int pass;         // PASS_SPECTRA or PASS_REASSIGN
    int transform;    // 1: the frames' samples changed, so transform them anew
    int64_t analysed; // frames transformed by this worker
};

// Rounds a float count up to 16 floats (64 bytes), for carving scratch.
int64_t round16(int64_t n)
{
    return (n + 15) & ~(int64_t)15;
}

// Display rows of frame l from its magnitudes under the current scale.
void frame_rows(const t_specmags *m, const t_specmags_plan *plan, int64_t l, float *slots)
{
    const float *lin = m->lin_mags + l * m->num_bins;
    float *out = m->mags_db + l * m->num_bins;
    if (!plan) {
        specmags_db(lin, out, m->num_bins);
        return;
    }
    specmags_row_means(plan, lin, slots);
    specmags_db(slots, slots, specmags_plan_slots(plan));
    specmags_expand_rows(plan, slots, out, m->num_bins);
}

// Window, transform and measure frame l; `in` keeps its zero padding.
void frame_spectrum(const t_specmags *m, const float *samples, int64_t l, float *in, float *out, float *work)
{
    const int64_t win = m->fft_win_size;
    const int64_t start = l * m->fft_hop;
    int64_t avail = m->num_samples - start;
    avail = avail < 0 ? 0 : avail > win ? win : avail;
    specmags_window_copy(in, samples + start, m->fft_window, avail);
    if (avail < win)
        memset(in + avail, 0, (size_t)(win - avail) * sizeof(float));
    pffft_transform_ordered(m->fft_setup, in, out, work, PFFFT_FORWARD);
    const float qw = window_magnitude_norm(m->fft_win_type) * (float)win;
    float *mags = m->lin_mags + l * m->num_bins;
    specmags_magnitudes(out, mags, m->num_bins, 1.0f / qw, 2.0f / qw);
    if (m->reassignment && m->phases)
        specmags_phases(out, m->phases + l * m->num_bins, m->num_bins);
}

void run_spectra(specmags_job *job)
{
    t_specmags *m = job->m;
    const int dirty = job->transform;
    const t_specmags_plan *plan = m->reassignment ? nullptr : specmags_plan_for(m, m->fft_mag_scale);
    const int64_t fs = m->fft_size;
    const int64_t fft_floats = dirty ? 3 * round16(fs) : 0;
    const int64_t slot_floats = plan ? round16(specmags_plan_slots(plan)) : 0;
    float *scratch = nullptr;
    if (fft_floats + slot_floats > 0) {
        scratch = specmags_alloc_floats(fft_floats + slot_floats);
        if (!scratch)
            return; // this slice keeps its previous values
    }
    float *in = scratch;
    float *out = dirty ? in + round16(fs) : nullptr;
    float *work = dirty ? out + round16(fs) : nullptr;
    float *slots = plan ? scratch + fft_floats : nullptr;
    for (int64_t l = job->first; l < job->end; l++) {
        if (dirty) {
            frame_spectrum(m, job->samples, l, in, out, work);
            job->analysed++;
        }
        if (!m->reassignment)
            frame_rows(m, plan, l, slots);
    }
    specmags_free(scratch);
}

// Frequency of every bin of frame l: the bin centres in frame 0, later the
// phase-vocoder frequency from the phases of frames l - 1 and l, one hop apart.
void frame_freqs(const t_specmags *m, int64_t l)
{
    const int64_t nb = m->num_bins;
    const float d = specmags_bin_spacing(m);
    float *f = m->freqs + l * nb;
    if (l == 0) {
        for (int64_t k = 0; k < nb; k++)
            f[k] = (float)k * d;
        return;
    }
    const float v = SPECMAGS_TWO_PI_F * (float)m->fft_hop / (float)m->sample_rate;
    const float o = v * d;
    const float *ph = m->phases + l * nb;
    const float *prev = ph - nb;
    for (int64_t k = 0; k < nb; k++) {
        float u = ph[k] - prev[k] - o * (float)k;
        if (u > SPECMAGS_PI_F)
            u = specmags_fmod_pos(u - SPECMAGS_PI_F, SPECMAGS_TWO_PI_F) - SPECMAGS_PI_F;
        else if (u < -SPECMAGS_PI_F)
            u = SPECMAGS_PI_F - specmags_fmod_pos(-SPECMAGS_PI_F - u, SPECMAGS_TWO_PI_F);
        f[k] = (float)k * d + u / v;
    }
}

// Each row shows the loudest bin whose reassigned frequency falls in it.
void frame_binned(const t_specmags *m, int64_t l, float *bin_db)
{
    const int64_t nb = m->num_bins;
    const float *edges = specmags_current_edges(m);
    const int32_t *lookup = specmags_row_lookup(m, m->fft_mag_scale);
    const float inv_d = 1.0f / specmags_bin_spacing(m);
    const float *f = m->freqs + l * nb;
    float *out = m->mags_db + l * nb;
    specmags_db(m->lin_mags + l * nb, bin_db, nb);
    for (int64_t j = 0; j < nb; j++)
        out[j] = SPECMAGS_SILENCE_DB;
    for (int64_t k = 0; k < nb; k++) {
        const int64_t row = specmags_find_row(edges, lookup, nb, inv_d, f[k]);
        const float v = bin_db[k], held = out[row];
        out[row] = v > held ? v : held;
    }
}

void run_reassign(specmags_job *job)
{
    t_specmags *m = job->m;
    if (!m->freqs || !m->phases || !m->row_lookup)
        return;
    float *bin_db = specmags_alloc_floats(m->num_bins);
    if (!bin_db)
        return;
    for (int64_t l = job->first; l < job->end; l++) {
        if (job->transform)
            frame_freqs(m, l);
        frame_binned(m, l, bin_db);
    }
    specmags_free(bin_db);
}

// Recomputes the block maxima of every block that frames [first, end) touch.
void update_block_max(t_specmags *m, int64_t first, int64_t end)
{
    if (!m->block_max)
        return;
    const int64_t nb = m->num_bins, k = SPECMAGS_BLOCK_FRAMES;
    for (int64_t b = first / k; b * k < end && b * k < m->num_frames; b++) {
        float *out = m->block_max + b * nb;
        for (int64_t j = 0; j < nb; j++)
            out[j] = -INFINITY;
        const int64_t last = (b + 1) * k < m->num_frames ? (b + 1) * k : m->num_frames;
        for (int64_t l = b * k; l < last; l++) {
            const float *cells = m->mags_db + l * nb;
            for (int64_t j = 0; j < nb; j++)
                out[j] = cells[j] > out[j] ? cells[j] : out[j];
        }
    }
}

// Fills every frame with silence (channel shorter than the window).
void silent_grid(t_specmags *m)
{
    const int64_t cells = m->num_frames * m->num_bins;
    memset(m->lin_mags, 0, (size_t)cells * sizeof(float));
    for (int64_t i = 0; i < cells; i++)
        m->mags_db[i] = SPECMAGS_SILENCE_DB;
    update_block_max(m, 0, m->num_frames);
}

// Runs one pass over frames [first, end) on the worker task (inline if the
// host gave no task).
void run_pass(t_specmags *m, const float *samples, int pass, int transform, int64_t first, int64_t end)
{
    int64_t w = specmags_worker_count(sysparallel_processorcount(), end - first);
    t_sysparallel_task *task = m->task;
    if (task && task->maxworkercount > 0 && w > task->maxworkercount)
        w = task->maxworkercount;
    specmags_job jobs[SYSPARALLEL_MAX_WORKERS];
    for (int64_t i = 0; i < w; i++) {
        specmags_job *j = &jobs[i];
        *j = specmags_job{m, samples, 0, 0, i, w, pass, transform, 0};
        specmags_worker_slice(end - first, w, i, &j->first, &j->end);
        j->first += first;
        j->end += first;
    }
    if (task && task->workers) {
        task->data = jobs;
        sysparallel_task_workercount(task, (long)w);
        for (int64_t i = 0; i < w; i++)
            task->workers[i]->data = &jobs[i];
        sysparallel_task_execute(task);
        task->data = nullptr;
    } else {
        for (int64_t i = 0; i < w; i++) {
            t_sysparallel_worker worker;
            memset(&worker, 0, sizeof(worker));
            worker.data = &jobs[i];
            worker.id = (long)i;
            specmags_process_worker(&worker);
        }
    }
    for (int64_t i = 0; i < w; i++)
        m->frames_analysed += (uint64_t)jobs[i].analysed;
}

} // namespace

// fmodf(x, y) for x >= 0 and y > 0, exactly: the remainder is representable,
// so the double-precision difference below carries no rounding error once the
// quotient is right, and the two corrections fix a quotient rounded across an
// integer.
float specmags_fmod_pos(float x, float y)
{
    const double ratio = (double)x / (double)y;
    if (!(ratio < 16777216.0))
        return fmodf(x, y);                  // huge or not a number
    const double q = (double)(int64_t)ratio; // x, y >= 0: truncation is the floor
    double r = (double)x - q * (double)y;
    if (r < 0.0)
        r += (double)y;
    else if (r >= (double)y)
        r -= (double)y;
    return (float)r;
}

int64_t specmags_worker_count(int64_t processors, int64_t num_frames)
{
    int64_t w = processors < num_frames ? processors : num_frames;
    if (w > SYSPARALLEL_MAX_WORKERS)
        w = SYSPARALLEL_MAX_WORKERS;
    return w < 1 ? 1 : w;
}

void specmags_worker_slice(int64_t num_frames, int64_t workers, int64_t index, int64_t *first, int64_t *end)
{
    const int64_t q = num_frames / workers;
    const int64_t r = num_frames % workers;
    *first = index * q + (index < r ? index : r);
    *end = *first + q + (index < r ? 1 : 0);
}

void specmags_process(t_specmags *m, const float *samples)
{
    assert(samples || m->alloc_failed || m->num_samples < m->fft_win_size);
    if (m->alloc_failed) {
        m->dirty = 0; // the failure cell is already silent
        return;
    }
    if (m->num_samples < m->fft_win_size || !samples) {
        silent_grid(m);
        m->dirty = 0;
        return;
    }
    if (!m->task)
        m->task = sysparallel_task_new(nullptr, (method)specmags_process_worker, 0);
    // With reassignment the display rows come from the second pass, so a
    // scale change alone needs only that one.
    if (m->dirty || !m->reassignment)
        run_pass(m, samples, PASS_SPECTRA, m->dirty, 0, m->num_frames);
    if (m->reassignment)
        run_pass(m, samples, PASS_REASSIGN, m->dirty, 0, m->num_frames);
    update_block_max(m, 0, m->num_frames);
    m->dirty = 0;
}

void specmags_process_samples(t_specmags *m, const float *samples, int64_t begin, int64_t end)
{
    if (m->dirty || m->alloc_failed || m->num_samples < m->fft_win_size || !samples || !m->task) {
        specmags_process(m, samples);
        return;
    }
    begin = begin < 0 ? 0 : begin;
    end = end > m->num_samples ? m->num_samples : end;
    if (begin >= end)
        return;
    // Frame l reads samples [l * hop, l * hop + win).
    const int64_t hop = m->fft_hop, win = m->fft_win_size;
    const int64_t first = begin >= win ? (begin - win) / hop + 1 : 0;
    int64_t last_end = (end - 1) / hop + 1;
    last_end = last_end > m->num_frames ? m->num_frames : last_end;
    if (first >= last_end)
        return;
    run_pass(m, samples, PASS_SPECTRA, 1, first, last_end);
    int64_t rows_end = last_end;
    if (m->reassignment) {
        // A frame's reassigned frequencies also read the phases of the frame
        // before it.
        rows_end = last_end < m->num_frames ? last_end + 1 : last_end;
        run_pass(m, samples, PASS_REASSIGN, 1, first, rows_end);
    }
    update_block_max(m, first, rows_end);
}

void specmags_process_worker(t_sysparallel_worker *w)
{
    specmags_job *job = w ? (specmags_job *)w->data : nullptr;
    if (!job)
        return;
    // A host that hands every worker the task's data gets the job array:
    // pick this worker's job by its id.
    if (job->index != w->id && w->id >= 0 && w->id < job->count - job->index)
        job += w->id - job->index;
    if (job->pass == PASS_SPECTRA)
        run_spectra(job);
    else
        run_reassign(job);
}
