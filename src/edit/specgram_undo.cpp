// Undo and redo: stacks of snapshots, 20 entries each.
//
// An edit snapshots the samples it is about to rewrite (a span of frames of
// the channels it edits) onto the undo stack, labelled with the edit's name;
// undo and redo exchange the buffer's content over the top entry's span with
// that entry, saving the current content of the same span on the other
// stack.  Labels travel with the content.  When the buffer's size changed
// since the entry was taken, the restore is refused with a message, and the
// content saved on the other stack is the whole buffer.
#include "specgram_edit.h"

#include <stdio.h>
#include <string.h>

namespace {

void clear_entry(t_undo_snapshot *e)
{
    if (e->samples)
        sysmem_freeptr(e->samples);
    memset(e, 0, sizeof(t_undo_snapshot));
}

void clear_stack(t_undo_snapshot *stack, long *count)
{
    for (long i = 0; i < SPECGRAM_UNDO_DEPTH; i++)
        clear_entry(&stack[i]);
    *count = 0;
}

t_buffer_obj *bound_buffer(t_specgram *x)
{
    if (!x->buffer_ref || x->buffer_name == specgram_sym.empty || !buffer_ref_exists(x->buffer_ref))
        return NULL;
    return buffer_ref_getobject(x->buffer_ref);
}

// Where an entry's samples go in a buffer of `channels` interleaved
// channels, and back.
void copy_out(const t_undo_snapshot *e, const float *p, long channels, float *copy)
{
    for (long i = 0; i < e->span_frames; i++)
        for (long c = 0; c < e->chan_count; c++)
            copy[i * e->chan_count + c] = p[(e->span_start + i) * channels + e->chan_first + c];
}

void copy_in(const t_undo_snapshot *e, float *p, long channels)
{
    for (long i = 0; i < e->span_frames; i++)
        for (long c = 0; c < e->chan_count; c++)
            p[(e->span_start + i) * channels + e->chan_first + c] = e->samples[i * e->chan_count + c];
}

// Copies the span of the locked buffer p (frames x channels) onto the stack,
// dropping its oldest entry when full.  The span is cut to the buffer.
// Returns 1 on success, 0 when the copy could not be allocated.
int push_locked(t_undo_snapshot *stack, long *count, const float *p, long frames, long channels, long begin, long end,
                long chan_first, long chan_count, const char *label)
{
    t_undo_snapshot e;
    memset(&e, 0, sizeof e);
    e.frames = frames;
    e.channels = channels;
    end = end < frames ? end : frames;
    chan_count = chan_first + chan_count <= channels ? chan_count : channels - chan_first;
    if (begin >= 0 && begin < end && chan_first >= 0 && chan_count > 0) {
        e.span_start = begin;
        e.span_frames = end - begin;
        e.chan_first = chan_first;
        e.chan_count = chan_count;
        e.samples = (float *)sysmem_newptr((t_ptr_size)e.span_frames * (t_ptr_size)chan_count * sizeof(float));
        if (!e.samples)
            return 0;
        copy_out(&e, p, channels, e.samples);
    }
    snprintf(e.label, sizeof e.label, "%s", label ? label : "");
    if (*count >= SPECGRAM_UNDO_DEPTH) { // drop the oldest
        clear_entry(&stack[0]);
        memmove(&stack[0], &stack[1], sizeof(t_undo_snapshot) * (SPECGRAM_UNDO_DEPTH - 1));
        memset(&stack[SPECGRAM_UNDO_DEPTH - 1], 0, sizeof(t_undo_snapshot));
        *count = SPECGRAM_UNDO_DEPTH - 1;
    }
    stack[*count] = e;
    (*count)++;
    return 1;
}

// Snapshots what restoring `entry` will overwrite (the whole buffer when
// its size changed) onto a stack, labelled with the entry's label.
int push_current(t_specgram *x, t_undo_snapshot *stack, long *count, const t_undo_snapshot *entry)
{
    t_buffer_obj *b = bound_buffer(x);
    if (!b)
        return 0;
    long frames = specgram_narrow(buffer_getframecount(b)), channels = specgram_narrow(buffer_getchannelcount(b));
    if (frames < 1 || channels < 1)
        return 0;
    const float *p = buffer_locksamples(b);
    if (!p)
        return 0;
    int ok;
    if (frames == entry->frames && channels == entry->channels)
        ok = push_locked(stack, count, p, frames, channels, entry->span_start, entry->span_start + entry->span_frames,
                         entry->chan_first, entry->chan_count, entry->label);
    else
        ok = push_locked(stack, count, p, frames, channels, 0, frames, 0, channels, entry->label);
    buffer_unlocksamples(b);
    return ok;
}

// Writes an entry back into the buffer when its size still matches.
void restore(t_specgram *x, const t_undo_snapshot *entry)
{
    t_buffer_obj *b = bound_buffer(x);
    if (!b)
        return;
    long frames = specgram_narrow(buffer_getframecount(b)), channels = specgram_narrow(buffer_getchannelcount(b));
    if (frames != entry->frames || channels != entry->channels) {
        object_error((t_object *)x,
                     "spectrogram~: undo/redo skipped \xE2\x80\x94 buffer~ size changed (%ld\xC3\x97%ld vs snapshot "
                     "%ld\xC3\x97%ld)",
                     frames, channels, entry->frames, entry->channels);
        return;
    }
    if (!entry->samples)
        return; // the edit rewrote nothing
    float *p = buffer_locksamples(b);
    if (!p)
        return;
    copy_in(entry, p, channels);
    specgram_note_own_write(x, entry->span_start, entry->span_start + entry->span_frames);
    buffer_setdirty(b);
    buffer_unlocksamples(b);
    specgram_update_surface(x, SPECGRAM_SURFACE_RERENDER);
}

// One step of undo (from = undo stack) or redo (from = redo stack).
void step(t_specgram *x, t_undo_snapshot *from, long *from_count, t_undo_snapshot *to, long *to_count, int verbose,
          const char *empty_text, const char *failed_text)
{
    critical_enter(x->lock);
    if (*from_count == 0) {
        critical_exit(x->lock);
        if (verbose)
            object_post((t_object *)x, "%s", empty_text);
        return;
    }
    if (!push_current(x, to, to_count, &from[*from_count - 1])) {
        critical_exit(x->lock);
        if (verbose)
            object_error((t_object *)x, "%s", failed_text);
        return;
    }
    (*from_count)--;
    restore(x, &from[*from_count]);
    clear_entry(&from[*from_count]); // gone whether or not the restore wrote anything
    critical_exit(x->lock);
}

} // namespace

void specgram_undo_clear(t_specgram *x)
{
    clear_stack(x->undo_stack, &x->undo_count);
    clear_stack(x->redo_stack, &x->redo_count);
}

void specgram_undo_push(t_specgram *x, const float *p, long frames, long channels, long begin, long end,
                        long chan_first, long chan_count, const char *label)
{
    if (frames < 1 || channels < 1)
        return;
    if (push_locked(x->undo_stack, &x->undo_count, p, frames, channels, begin, end, chan_first, chan_count, label))
        clear_stack(x->redo_stack, &x->redo_count);
}

void specgram_undo(t_specgram *x, int verbose)
{
    step(x, x->undo_stack, &x->undo_count, x->redo_stack, &x->redo_count, verbose, "spectrogram~: nothing to undo",
         "spectrogram~: undo failed \xE2\x80\x94 could not snapshot current state");
}

void specgram_redo(t_specgram *x, int verbose)
{
    step(x, x->redo_stack, &x->redo_count, x->undo_stack, &x->undo_count, verbose, "spectrogram~: nothing to redo",
         "spectrogram~: redo failed \xE2\x80\x94 could not snapshot current state");
}

const char *specgram_undo_top_label(const t_undo_snapshot *stack, long count)
{
    return count > 0 ? stack[count - 1].label : "";
}
