// The edit pipeline: from the buffer~ through the edit STFT and one kernel
// back into the buffer~.
//
// The edit STFT streams: each frame is transformed, edited by the kernel's
// pass and resynthesised before the next is analysed.
//
// Single channel: the working copy `samples` is analysed, edited and
// resynthesised, and only the copy-back holds the buffer's sample lock.  All
// channels: the buffer is locked for the whole edit; the channels are shared
// out among up to one worker thread per processor, each copying a channel
// into its own work signal and resynthesising it into its place in a result
// block.  The results are written back only once every channel has
// succeeded, so a failure part-way leaves the buffer as it was.
#include "specgram_edit.h"
#include "kernels.h"
#include "ext_sysparallel.h"

#include <string.h>

namespace {

enum e_target { TARGET_SELECTION, TARGET_SHAPES };

// One kernel call with its arguments.
struct edit_op {
    int kernel; // e_specedit_kernel
    e_target target;
    int mode;
    double a, b; // gains (in, out), or (shift, gain)
};

t_specedit_rect selection_rect(const t_specgram *x)
{
    t_specedit_rect r = {x->selection_start, x->selection_end, x->selection_low, x->selection_high};
    return r;
}

t_specedit_shapes shape_set(const t_specgram *x)
{
    t_specedit_shapes s = {&x->shape_points[0][0], x->shape_start, x->shape_point_count, x->shape_count};
    return s;
}

int edit_frame(void *pass, float *row, int64_t frame)
{
    return specedit_pass_frames((t_specedit_pass *)pass, row, frame, 1);
}

// Forward, kernel, inverse of `signal` (stft_length floats) into `out`
// (as many), streamed frame by frame.  1 when out holds the result.  x is
// only read, so several channels may be transformed at once.
int transform(const t_specgram *x, const float *signal, float *out, const edit_op &op)
{
    t_specedit_rect rect = selection_rect(x); // afresh for every channel
    t_specedit_shapes shapes = shape_set(x);
    t_specedit_op k = {op.kernel, op.target == TARGET_SELECTION ? &rect : NULL, &shapes, op.mode,
                       x->edit_inverted ? 1 : 0, 1.0, 1.0, 0.0, 1.0};
    if (op.kernel == SPECEDIT_GAIN_MASK) {
        k.gain_in = op.a;
        k.gain_out = op.b;
    } else {
        k.shift = op.a;
        k.gain = op.b;
    }
    t_specedit_pass pass;
    if (!specedit_pass_begin(&pass, &x->mags, &k))
        return 0;
    const int ok = specmags_stft_stream_to(&x->mags, signal, out, edit_frame, &pass);
    specedit_pass_end(&pass);
    return ok;
}

void finish(t_specgram *x, t_buffer_obj *b)
{
    x->self_edit_pending = 1;
    buffer_setdirty(b);
    buffer_unlocksamples(b);
}

void edit_one_channel(t_specgram *x, t_buffer_obj *b, const edit_op &op, long n, long chan)
{
    if (!transform(x, x->samples, x->mags.stft_out, op))
        return;
    float *p = buffer_locksamples(b);
    if (!p)
        return;
    long frames = (long)buffer_getframecount(b), channels = (long)buffer_getchannelcount(b);
    long count = n < frames ? n : frames;
    if (channels >= chan) // a channel the buffer no longer has is not written
        for (long i = 0; i < count; i++)
            p[i * channels + chan - 1] = x->mags.stft_out[i];
    finish(x, b);
}

// One worker of an all-channels edit: channels first, first + step, ...
struct channel_job {
    const t_specgram *x;
    const edit_op *op;
    const float *p;       // the locked buffer, interleaved
    long channels, count; // its channels, and the frames read from each
    long n;               // floats per channel signal
    float *result;        // channels signals of n floats
    float *work;          // this worker's n floats
    long first, step;
    int ok;
};

void channel_worker(t_sysparallel_worker *w)
{
    channel_job *j = (channel_job *)w->data;
    for (long c = j->first; j->ok && c < j->channels; c += j->step) {
        for (long i = 0; i < j->count; i++)
            j->work[i] = j->p[i * j->channels + c];
        memset(j->work + j->count, 0, sizeof(float) * (size_t)(j->n - j->count));
        j->ok = transform(j->x, j->work, j->result + (size_t)c * (size_t)j->n, *j->op);
    }
}

// Runs the jobs, on the host's worker threads when there are several.
void run_channel_jobs(channel_job *jobs, long workers)
{
    t_sysparallel_task *task =
        workers > 1 ? sysparallel_task_new(NULL, (method)channel_worker, workers) : NULL;
    if (task && task->workers && task->maxworkercount >= workers) {
        sysparallel_task_workercount(task, workers);
        for (long i = 0; i < workers; i++)
            task->workers[i]->data = &jobs[i];
        sysparallel_task_execute(task);
    } else {
        for (long i = 0; i < workers; i++) {
            t_sysparallel_worker w;
            memset(&w, 0, sizeof(w));
            w.data = &jobs[i];
            w.id = i;
            channel_worker(&w);
        }
    }
    if (task)
        sysparallel_task_free(task);
}

void edit_all_channels(t_specgram *x, t_buffer_obj *b, const edit_op &op, long n)
{
    float *p = buffer_locksamples(b);
    if (!p)
        return;
    long frames = (long)buffer_getframecount(b), channels = (long)buffer_getchannelcount(b);
    long count = n < frames ? n : frames;
    long workers = sysparallel_processorcount();
    if (workers > channels)
        workers = channels;
    if (workers > SYSPARALLEL_MAX_WORKERS)
        workers = SYSPARALLEL_MAX_WORKERS;
    if (workers < 1)
        workers = 1;
    float *result = channels > 0 && count > 0
                        ? (float *)sysmem_newptr((t_ptr_size)n * (t_ptr_size)channels * sizeof(float))
                        : NULL;
    float *work = result ? (float *)sysmem_newptr((t_ptr_size)n * (t_ptr_size)workers * sizeof(float)) : NULL;
    if (result && !work && workers > 1) {
        // Short of memory for a work signal per worker: one worker does it all.
        workers = 1;
        work = (float *)sysmem_newptr((t_ptr_size)n * sizeof(float));
    }
    bool ok = work != NULL;
    if (ok) {
        channel_job jobs[SYSPARALLEL_MAX_WORKERS];
        for (long i = 0; i < workers; i++)
            jobs[i] = channel_job{
                x, &op, p, channels, count, n, result, work + (size_t)i * (size_t)n, i, workers, 1};
        run_channel_jobs(jobs, workers);
        for (long i = 0; i < workers; i++)
            ok = ok && jobs[i].ok;
    }
    if (ok) {
        for (long c = 0; c < channels; c++)
            for (long i = 0; i < count; i++)
                p[i * channels + c] = result[(size_t)c * (size_t)n + i];
        finish(x, b);
    } else {
        buffer_unlocksamples(b);
    }
    if (result)
        sysmem_freeptr(result);
    if (work)
        sysmem_freeptr(work);
}

void to_buffer(t_specgram *x, const edit_op &op)
{
    if (op.target == TARGET_SELECTION ? !specgram_has_selection(x) : x->shape_count <= 0)
        return;
    if (!x->buffer_ref || x->buffer_name == specgram_sym.empty || !buffer_ref_exists(x->buffer_ref))
        return;
    t_buffer_obj *b = buffer_ref_getobject(x->buffer_ref);
    if (!b)
        return;
    long n = (long)x->mags.num_samples;
    if (n < x->mags.stft_win_size || x->mags.stft_length != n)
        return; // the edit STFT cannot run (or is sized for another length): nothing is written
    if (x->buffer_chan >= 1)
        edit_one_channel(x, b, op, n, x->buffer_chan);
    else
        edit_all_channels(x, b, op, n);
}

} // namespace

int specgram_has_selection(const t_specgram *x)
{
    // Exact comparisons; a NaN on either side counts as different.
    return !(x->selection_start == x->selection_end) && !(x->selection_low == x->selection_high);
}

void specgram_gain_mask_selection_to_buffer(t_specgram *x, double gain_in, double gain_out)
{
    to_buffer(x, {SPECEDIT_GAIN_MASK, TARGET_SELECTION, 0, gain_in, gain_out});
}

void specgram_gain_mask_shapes_to_buffer(t_specgram *x, double gain_in, double gain_out)
{
    to_buffer(x, {SPECEDIT_GAIN_MASK, TARGET_SHAPES, 0, gain_in, gain_out});
}

void specgram_freq_shift_selection_to_buffer(t_specgram *x, int mode, double shift_hz, double gain)
{
    to_buffer(x, {SPECEDIT_FREQ_SHIFT, TARGET_SELECTION, mode, shift_hz, gain});
}

void specgram_freq_shift_shapes_to_buffer(t_specgram *x, int mode, double shift_hz, double gain)
{
    to_buffer(x, {SPECEDIT_FREQ_SHIFT, TARGET_SHAPES, mode, shift_hz, gain});
}

void specgram_pitch_shift_selection_to_buffer(t_specgram *x, int mode, double semitones, double gain)
{
    to_buffer(x, {SPECEDIT_PITCH_SHIFT, TARGET_SELECTION, mode, semitones, gain});
}

void specgram_pitch_shift_shapes_to_buffer(t_specgram *x, int mode, double semitones, double gain)
{
    to_buffer(x, {SPECEDIT_PITCH_SHIFT, TARGET_SHAPES, mode, semitones, gain});
}
