// Undo and redo: stacks of whole-buffer snapshots, 20 entries each.
//
// Before an edit its caller copies every sample of the buffer~ into a
// snapshot labelled with the edit's name; undo and redo exchange the
// buffer's content with the top entry of one stack, saving the current
// content on the other.  Labels travel with the content.
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
    if (!specgram_undo_push_to_stack(x, to, to_count, from[*from_count - 1].label)) {
        critical_exit(x->lock);
        if (verbose)
            object_error((t_object *)x, "%s", failed_text);
        return;
    }
    (*from_count)--;
    specgram_undo_restore(x, &from[*from_count]);
    clear_entry(&from[*from_count]); // gone whether or not the restore wrote anything
    critical_exit(x->lock);
}

} // namespace

void specgram_undo_clear(t_specgram *x)
{
    clear_stack(x->undo_stack, &x->undo_count);
    clear_stack(x->redo_stack, &x->redo_count);
}

int specgram_undo_push_to_stack(t_specgram *x, t_undo_snapshot *stack, long *count, const char *label)
{
    t_buffer_obj *b = bound_buffer(x);
    if (!b)
        return 0;
    long frames = (long)buffer_getframecount(b), channels = (long)buffer_getchannelcount(b);
    if (frames < 1 || channels < 1)
        return 0;
    size_t n = (size_t)frames * (size_t)channels;
    float *copy = (float *)sysmem_newptr((t_ptr_size)(n * sizeof(float)));
    if (!copy)
        return 0;
    float *p = buffer_locksamples(b);
    if (!p) {
        sysmem_freeptr(copy);
        return 0;
    }
    memcpy(copy, p, n * sizeof(float));
    buffer_unlocksamples(b);
    if (*count >= SPECGRAM_UNDO_DEPTH) { // drop the oldest
        clear_entry(&stack[0]);
        memmove(&stack[0], &stack[1], sizeof(t_undo_snapshot) * (SPECGRAM_UNDO_DEPTH - 1));
        memset(&stack[SPECGRAM_UNDO_DEPTH - 1], 0, sizeof(t_undo_snapshot));
        *count = SPECGRAM_UNDO_DEPTH - 1;
    }
    t_undo_snapshot *e = &stack[*count];
    e->samples = copy;
    e->frames = frames;
    e->channels = channels;
    snprintf(e->label, sizeof e->label, "%s", label ? label : "");
    (*count)++;
    return 1;
}

void specgram_undo_push(t_specgram *x, const char *label)
{
    if (specgram_undo_push_to_stack(x, x->undo_stack, &x->undo_count, label))
        clear_stack(x->redo_stack, &x->redo_count);
}

void specgram_undo_restore(t_specgram *x, t_undo_snapshot *entry)
{
    if (!entry->samples)
        return;
    t_buffer_obj *b = bound_buffer(x);
    if (!b)
        return;
    long frames = (long)buffer_getframecount(b), channels = (long)buffer_getchannelcount(b);
    if (frames != entry->frames || channels != entry->channels) {
        object_error((t_object *)x,
                     "spectrogram~: undo/redo skipped \xE2\x80\x94 buffer~ size changed (%ld\xC3\x97%ld vs snapshot "
                     "%ld\xC3\x97%ld)",
                     frames, channels, entry->frames, entry->channels);
        return;
    }
    float *p = buffer_locksamples(b);
    if (!p)
        return;
    memcpy(p, entry->samples, sizeof(float) * (size_t)frames * (size_t)channels);
    x->self_edit_pending = 1;
    buffer_setdirty(b);
    buffer_unlocksamples(b);
    specgram_update_surface(x, SPECGRAM_SURFACE_RERENDER);
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
