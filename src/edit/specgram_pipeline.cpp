// The edit pipeline: from the buffer~ through the edit STFT and one kernel
// back into the buffer~.
//
// An edit runs only the frames whose cells its kernel may change (the whole
// channel for an isolate, an inverted shift or a gain outside the target),
// on the extended grid of the edit STFT that mirrors the channel about its
// ends, and writes back only the samples covered by frames it did change.
// Each of those samples becomes itself plus what the edit changed in its
// frames, so everything else in the buffer keeps its bits and the first and
// last samples are edited like any other.  The undo snapshot holds exactly
// the samples written, taken under the same sample lock as the write.
//
// Single channel: the working copy `samples` is edited and only the
// snapshot and copy-back hold the buffer's sample lock.  All channels: the
// buffer is locked for the whole edit; the channels are shared out among up
// to one worker thread per processor, each copying what its frames read of a
// channel into its own work signal.  Results are written back only once
// every channel has succeeded and holds only numbers, so a failure part-way
// leaves the buffer as it was.
#include "specgram_edit.h"
#include "kernels.h"
#include "ext_sysparallel.h"

#include <math.h>
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

// The kernel's view of an edit, its region borrowed from rect and shapes
// (the caller's, filled here).
t_specedit_op kernel_op(const t_specgram *x, const edit_op &op, t_specedit_rect *rect, t_specedit_shapes *shapes)
{
    *rect = {x->selection_start, x->selection_end, x->selection_low, x->selection_high};
    *shapes = {&x->shape_points[0][0], x->shape_start, x->shape_point_count, x->shape_count};
    t_specedit_op k = {op.kernel, op.target == TARGET_SELECTION ? rect : NULL, shapes, op.mode,
                       x->edit_inverted ? 1 : 0, 1.0, 1.0, 0.0, 1.0};
    if (op.kernel == SPECEDIT_GAIN_MASK) {
        k.gain_in = op.a;
        k.gain_out = op.b;
    } else {
        k.shift = op.a;
        k.gain = op.b;
    }
    return k;
}

// The part of the channel an edit works on.
struct edit_span {
    int64_t first, last;          // frames of the extended grid to run, inclusive
    int64_t begin, end;           // the samples they cover: one result float each
    int64_t read_begin, read_end; // the samples they read
};

// False when the kernel changes no frame.
bool plan_span(const t_specgram *x, const edit_op &op, edit_span *sp)
{
    t_specedit_rect rect;
    t_specedit_shapes shapes;
    const t_specedit_op k = kernel_op(x, op, &rect, &shapes);
    const t_specmags *m = &x->mags;
    if (!specedit_op_frames(m, &k, specmags_stft_grid_first(m), specmags_stft_grid_last(m), &sp->first, &sp->last))
        return false;
    specmags_stft_span_samples(m, sp->first, sp->last, &sp->begin, &sp->end);
    specmags_stft_span_reads(m, sp->first, sp->last, &sp->read_begin, &sp->read_end);
    return true;
}

int edit_frame(void *pass, float *row, int64_t frame)
{
    return specedit_pass_frames((t_specedit_pass *)pass, row, frame, 1);
}

// The result of one channel: out holds samples [begin, end) of the span,
// of which [changed_begin, changed_end) differ from the input.
struct channel_result {
    float *out;
    int64_t changed_begin, changed_end;
};

// Edits the span of one channel, whose samples [signal_first, signal_first
// + signal_count) are in signal.  1 when r holds the result.  x is only
// read, so several channels may be edited at once.
int transform(const t_specgram *x, const edit_op &op, const edit_span &sp, const float *signal, int64_t signal_first,
              int64_t signal_count, channel_result *r)
{
    t_specedit_rect rect;
    t_specedit_shapes shapes;
    const t_specedit_op k = kernel_op(x, op, &rect, &shapes);
    t_specedit_pass pass;
    if (!specedit_pass_begin(&pass, &x->mags, &k))
        return 0;
    t_specmags_stft_span s = {signal, signal_first, signal_count, sp.first, sp.last, r->out, 0, 0};
    const int ok = specmags_stft_edit_span(&x->mags, &s, edit_frame, &pass);
    specedit_pass_end(&pass);
    r->changed_begin = s.changed_begin;
    r->changed_end = s.changed_end;
    return ok;
}

// True when the changed samples of r are all numbers.  Writing infinities
// or NaNs into a buffer~ would hurt whatever plays it.
bool result_finite(const edit_span &sp, const channel_result &r)
{
    for (int64_t i = r.changed_begin; i < r.changed_end; i++)
        if (!isfinite(r.out[i - sp.begin]))
            return false;
    return true;
}

void report_non_finite(t_specgram *x)
{
    object_error((t_object *)x, "the edit gave samples that are not numbers; nothing was written");
}

// Snapshot, write-back and dirty mark, under one sample lock.  Channels
// chan_first .. chan_first + chan_count - 1 of the buffer receive samples
// [begin, end) of their results (results[c] for channel chan_first + c),
// never past the buffer's frames or `limit`; chan_first past the buffer's
// channels writes nothing, but still marks the buffer dirty.  The undo
// entry (when label is given) holds what is about to be written.
void write_back(t_specgram *x, t_buffer_obj *b, float *p, const edit_span &sp, const channel_result *results,
                long chan_first, long chan_count, int64_t begin, int64_t end, int64_t limit, const char *label)
{
    const long frames = specgram_narrow(buffer_getframecount(b)), channels = specgram_narrow(buffer_getchannelcount(b));
    if (end > frames)
        end = frames;
    if (end > limit)
        end = limit;
    if (begin > end || chan_first >= channels)
        begin = end = 0;
    if (label)
        specgram_undo_push(x, p, frames, channels, (long)begin, (long)end, chan_first, chan_count, label);
    for (long c = 0; c < chan_count && chan_first + c < channels; c++)
        for (int64_t i = begin; i < end; i++)
            p[i * channels + chan_first + c] = results[c].out[i - sp.begin];
    if (begin < end || chan_first >= channels) {
        specgram_note_own_write(x, begin, end);
        buffer_setdirty(b);
    }
}

void edit_one_channel(t_specgram *x, t_buffer_obj *b, const edit_op &op, long n, long chan, const char *label)
{
    edit_span sp = {0, -1, 0, 0, 0, 0};
    channel_result r = {NULL, 0, 0};
    if (plan_span(x, op, &sp)) {
        r.out = (float *)sysmem_newptr((t_ptr_size)(sp.end - sp.begin) * sizeof(float));
        if (!r.out)
            return;
        const bool ok = transform(x, op, sp, x->samples, 0, n, &r);
        if (!ok || !result_finite(sp, r)) {
            if (ok)
                report_non_finite(x);
            sysmem_freeptr(r.out);
            return;
        }
    }
    float *p = buffer_locksamples(b);
    if (p) {
        write_back(x, b, p, sp, &r, chan - 1, 1, r.changed_begin, r.changed_end, n, label);
        buffer_unlocksamples(b);
    }
    if (r.out)
        sysmem_freeptr(r.out);
}

// One worker of an all-channels edit: channels first, first + step, ...
struct channel_job {
    const t_specgram *x;
    const edit_op *op;
    const edit_span *sp;
    const float *p;         // the locked buffer, interleaved
    long channels, count;   // its channels, and the frames read from each
    channel_result *result; // one per channel
    float *work;            // this worker's signal: the span's reads
    long first, step;
    int ok;
};

void channel_worker(t_sysparallel_worker *w)
{
    channel_job *j = (channel_job *)w->data;
    const edit_span &sp = *j->sp;
    const int64_t reads = sp.read_end - sp.read_begin;
    for (long c = j->first; j->ok && c < j->channels; c += j->step) {
        // Frames past the buffer's end (it shrank since the analysis) read zeros.
        for (int64_t i = 0; i < reads; i++) {
            const int64_t s = sp.read_begin + i;
            j->work[i] = s < j->count ? j->p[s * j->channels + c] : 0.0f;
        }
        j->ok = transform(j->x, *j->op, sp, j->work, sp.read_begin, reads, &j->result[c]);
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

// Every channel of the locked buffer through the span; false when one could
// not be edited.  *begin, *end: the union of what changed.
bool edit_channels(t_specgram *x, const edit_op &op, const edit_span &sp, const float *p, long channels, long count,
                   channel_result *results, int64_t *begin, int64_t *end)
{
    long workers = sysparallel_processorcount();
    workers = workers > channels ? channels : workers;
    workers = workers > SYSPARALLEL_MAX_WORKERS ? SYSPARALLEL_MAX_WORKERS : workers < 1 ? 1 : workers;
    const int64_t reads = sp.read_end - sp.read_begin;
    float *work = (float *)sysmem_newptr((t_ptr_size)reads * (t_ptr_size)workers * sizeof(float));
    if (!work && workers > 1) {
        // Short of memory for a work signal per worker: one worker does it all.
        workers = 1;
        work = (float *)sysmem_newptr((t_ptr_size)reads * sizeof(float));
    }
    if (!work)
        return false;
    channel_job jobs[SYSPARALLEL_MAX_WORKERS];
    for (long i = 0; i < workers; i++)
        jobs[i] = channel_job{x, &op, &sp, p, channels, count, results, work + (size_t)i * (size_t)reads, i, workers, 1};
    run_channel_jobs(jobs, workers);
    sysmem_freeptr(work);
    bool ok = true;
    for (long i = 0; i < workers; i++)
        ok = ok && jobs[i].ok;
    *begin = *end = 0;
    for (long c = 0; ok && c < channels; c++) {
        const channel_result &r = results[c];
        if (r.changed_begin >= r.changed_end)
            continue;
        *begin = *begin < *end && *begin < r.changed_begin ? *begin : r.changed_begin;
        *end = *end > r.changed_end ? *end : r.changed_end;
    }
    return ok;
}

void edit_all_channels(t_specgram *x, t_buffer_obj *b, const edit_op &op, long n, const char *label)
{
    float *p = buffer_locksamples(b);
    if (!p)
        return;
    const long frames = specgram_narrow(buffer_getframecount(b)), channels = specgram_narrow(buffer_getchannelcount(b));
    const long count = n < frames ? n : frames;
    edit_span sp = {0, -1, 0, 0, 0, 0};
    channel_result *results =
        channels > 0 ? (channel_result *)sysmem_newptrclear((t_ptr_size)channels * sizeof(channel_result)) : NULL;
    float *block = NULL;
    int64_t begin = 0, end = 0;
    bool ok = results != NULL && count > 0;
    if (ok && plan_span(x, op, &sp)) {
        const int64_t size = sp.end - sp.begin;
        block = (float *)sysmem_newptr((t_ptr_size)size * (t_ptr_size)channels * sizeof(float));
        ok = block != NULL;
        for (long c = 0; ok && c < channels; c++)
            results[c].out = block + (size_t)c * (size_t)size;
        ok = ok && edit_channels(x, op, sp, p, channels, count, results, &begin, &end);
        for (long c = 0; ok && c < channels; c++) {
            if (!result_finite(sp, results[c])) {
                report_non_finite(x);
                ok = false;
            }
        }
    }
    if (ok)
        write_back(x, b, p, sp, results, 0, channels, begin, end, count, label);
    buffer_unlocksamples(b);
    if (block)
        sysmem_freeptr(block);
    if (results)
        sysmem_freeptr(results);
}

void to_buffer(t_specgram *x, const edit_op &op, const char *label)
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
    if (specgram_shown_channel(x) >= 1)
        edit_one_channel(x, b, op, n, specgram_shown_channel(x), label);
    else
        edit_all_channels(x, b, op, n, label);
}

} // namespace

int specgram_has_selection(const t_specgram *x)
{
    // Exact comparisons; a NaN on either side counts as different.
    return !(x->selection_start == x->selection_end) && !(x->selection_low == x->selection_high);
}

void specgram_note_own_write(t_specgram *x, int64_t begin, int64_t end)
{
    if (x->self_edit_pending && x->self_edit_begin < x->self_edit_end) {
        if (begin >= end) {
            begin = x->self_edit_begin;
            end = x->self_edit_end;
        }
        begin = begin < x->self_edit_begin ? begin : x->self_edit_begin;
        end = end > x->self_edit_end ? end : x->self_edit_end;
    }
    x->self_edit_begin = begin;
    x->self_edit_end = end;
    x->self_edit_pending = 1;
}

int specgram_gain_of_db(t_specgram *x, double db, double *gain)
{
    // The kernels multiply in single precision: a factor that is finite as
    // a double may still overflow there (+1000 dB).
    const double g = pow(10.0, db / 20.0);
    if (!isfinite((float)g)) {
        object_error((t_object *)x, "a gain of %g dB is beyond what a sample can hold; nothing was edited",
                     db);
        return 0;
    }
    *gain = g;
    return 1;
}

void specgram_gain_mask_selection_to_buffer(t_specgram *x, double gain_in, double gain_out, const char *label)
{
    to_buffer(x, {SPECEDIT_GAIN_MASK, TARGET_SELECTION, 0, gain_in, gain_out}, label);
}

void specgram_gain_mask_shapes_to_buffer(t_specgram *x, double gain_in, double gain_out, const char *label)
{
    to_buffer(x, {SPECEDIT_GAIN_MASK, TARGET_SHAPES, 0, gain_in, gain_out}, label);
}

void specgram_freq_shift_selection_to_buffer(t_specgram *x, int mode, double shift_hz, double gain, const char *label)
{
    to_buffer(x, {SPECEDIT_FREQ_SHIFT, TARGET_SELECTION, mode, shift_hz, gain}, label);
}

void specgram_freq_shift_shapes_to_buffer(t_specgram *x, int mode, double shift_hz, double gain, const char *label)
{
    to_buffer(x, {SPECEDIT_FREQ_SHIFT, TARGET_SHAPES, mode, shift_hz, gain}, label);
}

void specgram_pitch_shift_selection_to_buffer(t_specgram *x, int mode, double semitones, double gain,
                                              const char *label)
{
    to_buffer(x, {SPECEDIT_PITCH_SHIFT, TARGET_SELECTION, mode, semitones, gain}, label);
}

void specgram_pitch_shift_shapes_to_buffer(t_specgram *x, int mode, double semitones, double gain, const char *label)
{
    to_buffer(x, {SPECEDIT_PITCH_SHIFT, TARGET_SHAPES, mode, semitones, gain}, label);
}
