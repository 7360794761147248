// Binding to the named buffer~: the mono working copy of one channel (or of
// the mean of all channels), the placeholder used when no buffer is bound,
// the buffer_name and buffer_chan setters, and the notification handler.
//
// The copy never reads beyond the buffer's current frames and channels (the
// interleaving stride is always the buffer's present channel count, even
// when the recorded layout is older), and `samples` always holds at least
// frame_count floats.  buffer_chan keeps the channel asked for: while the
// buffer has fewer channels the view shows its last one, and the asked-for
// channel again once the buffer has it.
//
// Reports (the view outlets, attribute notifications) wait until `lock` and
// the sample lock are released.
#include "specgram.h"

#include <math.h>
#include <string.h>

namespace {

// Makes room for n floats in `samples`; false (state untouched) on failure.
bool reserve_samples(t_specgram *x, long n)
{
    if (n < 1)
        n = 1;
    if (x->samples && x->samples_capacity >= n)
        return true;
    float *p = (float *)sysmem_newptr((t_ptr_size)n * sizeof(float));
    if (!p)
        return false;
    if (x->samples)
        sysmem_freeptr(x->samples);
    x->samples = p;
    x->samples_capacity = n;
    return true;
}

void install_placeholder(t_specgram *x)
{
    if (!reserve_samples(x, 1))
        return; // keeps the previous working copy, which holds at least frame_count floats
    x->frame_count = 1;
    x->channel_count = 1;
    x->sample_rate = 48000;
    x->samples[0] = 0;
    x->buffer_length_ms = 1.0 / 48000.0 * 1000.0;
    x->display_start = 0;
    x->display_length = x->buffer_length_ms;
    x->display_low = 0;
    x->display_high = 24000;
    x->selection_start = x->selection_end = x->selection_low = x->selection_high = 0;
}

// The channel shown of a buffer with `channels` channels: 0 for the mean.
long shown_of(long asked, long channels)
{
    if (asked < 1)
        return 0;
    return asked < channels ? asked : channels;
}

// Frames [begin, end) of the working copy from the locked buffer; frames
// the buffer no longer has read as zeros, and so do samples that are not
// numbers (NaN, infinities), which would otherwise blacken every frame they
// reach.  Returns how many there were; the buffer keeps them.
long copy_channel_range(t_specgram *x, const float *locked, long frames_now, long channels_now, long begin, long end)
{
    long frames = x->frame_count < frames_now ? x->frame_count : frames_now;
    end = end < x->frame_count ? end : x->frame_count;
    long chan = shown_of(x->buffer_chan, channels_now);
    long copied = frames < end ? frames : end;
    if (chan >= 1) {
        for (long i = begin; i < copied; i++)
            x->samples[i] = locked[i * channels_now + chan - 1];
    } else {
        for (long i = begin; i < copied; i++) {
            float sum = 0;
            for (long c = 0; c < channels_now; c++)
                sum += locked[i * channels_now + c];
            x->samples[i] = sum / (float)channels_now;
        }
    }
    long bad = 0;
    for (long i = begin; i < copied; i++) {
        if (!isfinite(x->samples[i])) {
            x->samples[i] = 0;
            bad++;
        }
    }
    copied = copied > begin ? copied : begin;
    if (end > copied)
        memset(x->samples + copied, 0, sizeof(float) * (size_t)(end - copied));
    return bad;
}

void warn_non_finite(t_specgram *x, long bad)
{
    if (bad > 0)
        object_warn((t_object *)x, "buffer~ %s holds %ld samples that are not numbers; they show as silence",
                    x->buffer_name->s_name, bad);
}

void report_analysis_failure(t_specgram *x)
{
    if (x->mags.alloc_failed)
        object_error((t_object *)x, "not enough memory to analyse %ld frames; showing silence", x->frame_count);
}

// Re-sizes the analysis to the working copy and runs it.  Caller holds `lock`.
void reanalyse(t_specgram *x)
{
    specmags_update(&x->mags, x->frame_count, x->sample_rate);
    report_analysis_failure(x);
    specmags_process(&x->mags, x->samples);
    x->analysis_runs++;
}

// After the object's own edit, undo or redo: re-reads the frames it wrote
// and re-analyses only the display frames they reach.  Caller holds `lock`.
void reanalyse_own_write(t_specgram *x, int64_t begin, int64_t end)
{
    t_buffer_obj *b = buffer_ref_getobject(x->buffer_ref);
    float *locked = b ? buffer_locksamples(b) : NULL;
    if (!locked) {
        reanalyse(x);
        return;
    }
    long frames_now = specgram_narrow(buffer_getframecount(b));
    long channels_now = specgram_narrow(buffer_getchannelcount(b));
    long bad = channels_now >= 1 ? copy_channel_range(x, locked, frames_now, channels_now, (long)begin, (long)end) : 0;
    buffer_unlocksamples(b);
    warn_non_finite(x, bad);
    specmags_process_samples(&x->mags, x->samples, begin, end);
    x->analysis_runs++;
}

} // namespace

void specgram_update_buffer(t_specgram *x, long reset_view)
{
    if (!x->buffer_name)
        x->buffer_name = specgram_sym.empty;
    if (x->buffer_ref)
        buffer_ref_set(x->buffer_ref, x->buffer_name);
    else
        x->buffer_ref = buffer_ref_new((t_object *)x, x->buffer_name);
    if (x->buffer_name == specgram_sym.empty || !x->buffer_ref || !buffer_ref_exists(x->buffer_ref)) {
        install_placeholder(x);
        return;
    }
    t_buffer_obj *b = buffer_ref_getobject(x->buffer_ref);
    if (!b)
        return;
    if (reset_view) {
        long frames = specgram_narrow(buffer_getframecount(b));
        long channels = specgram_narrow(buffer_getchannelcount(b));
        double sr = buffer_getsamplerate(b);
        if (frames < 1)
            frames = 1; // an empty buffer shows one silent frame
        if (channels < 1)
            channels = 1;
        if (!(sr > 0))
            sr = 48000;
        if (!reserve_samples(x, frames)) {
            object_error((t_object *)x, "not enough memory for a working copy of %ld frames", frames);
            return;
        }
        x->frame_count = frames;
        x->channel_count = channels;
        x->sample_rate = sr;
        x->buffer_length_ms = frames / sr * 1000.0;
        x->display_start = 0;
        x->display_length = x->buffer_length_ms;
        x->display_low = 0;
        x->display_high = sr * 0.5;
    }
    float *locked = buffer_locksamples(b);
    if (locked) {
        long frames_now = specgram_narrow(buffer_getframecount(b));
        long channels_now = specgram_narrow(buffer_getchannelcount(b));
        long bad = channels_now >= 1 ? copy_channel_range(x, locked, frames_now, channels_now, 0, x->frame_count) : 0;
        buffer_unlocksamples(b);
        warn_non_finite(x, bad);
    }
}

long specgram_shown_channel(const t_specgram *x) { return shown_of(x->buffer_chan, x->channel_count); }

void specgram_refresh_edit_stft(t_specgram *x)
{
    // Every edit streams a fresh transform of what it edits, so only the
    // sizes and the output follow the channel here.
    specmags_stft_update(&x->mags);
}

void specgram_rebind(t_specgram *x)
{
    critical_enter(x->lock);
    specgram_update_buffer(x, 1);
    reanalyse(x);
    specgram_update_surface(x, SPECGRAM_SURFACE_RESIZE);
    specgram_set_display_and_selection(x, 1, 0, -1, 0, -1, 0, 0, 0, 0);
    critical_exit(x->lock);
    specgram_refresh_edit_stft(x);
    specgram_report_view(x);
}

t_max_err specgram_buffer_name_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc < 1 || !argv || atom_gettype(argv) != A_SYM)
        return 0;
    t_symbol *old = x->buffer_name;
    x->buffer_name = atom_getsym(argv);
    if (x->buffer_name == old)
        return 0;
    specgram_undo_clear(x); // snapshots of another buffer never go into this one
    specgram_rebind(x);
    return 0;
}

t_max_err specgram_buffer_chan_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc < 1 || !argv)
        return 0;
    long v = specgram_narrow(atom_getlong(argv));
    if (v < 1)
        v = 0;
    long shown = specgram_shown_channel(x);
    x->buffer_chan = v;
    if (specgram_shown_channel(x) == shown)
        return 0;
    critical_enter(x->lock);
    specgram_update_buffer(x, 0);
    reanalyse(x);
    specgram_update_surface(x, SPECGRAM_SURFACE_RERENDER);
    critical_exit(x->lock);
    specgram_refresh_edit_stft(x);
    return 0;
}

namespace {

void own_attribute_changed(t_specgram *x, t_symbol *name)
{
    const t_specgram_symbols &s = specgram_sym;
    if (name == s.custom_color1 || name == s.custom_color2 || name == s.custom_color3 || name == s.custom_color4 ||
        name == s.custom_color5) {
        if (x->color_scheme == 9 || x->color_scheme == 19) { // the two schemes that read the stops
            x->surface_dirty = 1;
            specgram_invalidate(x, s.magnitudes_layer, NULL);
        }
    } else if (name == s.selection_linecolor || name == s.selection_linewidth) {
        specgram_invalidate(x, s.selection_layer, NULL);
    } else if (name == s.textcolor || name == s.textsize || name == s.freq_text || name == s.time_text ||
               name == s.time_format) {
        specgram_invalidate(x, s.text_layer, NULL);
    } else if (name == s.draw_linecolor || name == s.draw_linewidth) {
        specgram_invalidate(x, s.draw_layer, NULL);
    }
}

bool layout_changed(t_specgram *x)
{
    if (!x->buffer_ref || !buffer_ref_exists(x->buffer_ref))
        return true;
    t_buffer_obj *b = buffer_ref_getobject(x->buffer_ref);
    if (!b)
        return true;
    long frames = specgram_narrow(buffer_getframecount(b));
    if (frames < 1)
        frames = 1;
    double sr = buffer_getsamplerate(b);
    if (!(sr > 0))
        sr = 48000;
    long channels = specgram_narrow(buffer_getchannelcount(b));
    if (channels < 1)
        channels = 1;
    return frames != x->frame_count || sr != x->sample_rate || channels != x->channel_count;
}

void buffer_modified(t_specgram *x)
{
    critical_enter(x->lock);
    bool changed = layout_changed(x);
    bool own = x->self_edit_pending != 0;
    if (own && !changed && x->self_edit_begin < x->self_edit_end) {
        reanalyse_own_write(x, x->self_edit_begin, x->self_edit_end);
    } else {
        specgram_update_buffer(x, changed && !own);
        reanalyse(x);
    }
    specgram_update_surface(x, SPECGRAM_SURFACE_RESIZE);
    if (own || !changed) {
        x->surface_dirty = 1;
        specgram_invalidate(x, specgram_sym.magnitudes_layer, NULL);
        x->self_edit_pending = 0;
        x->self_edit_begin = x->self_edit_end = 0;
    } else {
        specgram_set_display_and_selection(x, 1, 0, -1, 0, -1, x->selection_start, x->selection_end,
                                           x->selection_low, x->selection_high);
    }
    critical_exit(x->lock);
    if (!(own && !changed))
        specgram_refresh_edit_stft(x);
    specgram_report_view(x);
}

} // namespace

t_max_err specgram_notify(t_specgram *x, t_symbol *s, t_symbol *msg, void *sender, void *data)
{
    t_symbol *cls = object_classname(sender);
    if (sender == x && cls == specgram_sym.spectrogram) {
        if (msg == specgram_sym.attr_modified && data) {
            t_symbol *name = (t_symbol *)object_method((t_object *)data, specgram_sym.getname);
            own_attribute_changed(x, name);
            jbox_notify((t_jbox *)x, s, msg, sender, data); // the host's repaint for "paint" attributes
        }
    } else if (msg == specgram_sym.buffer_modified) {
        buffer_modified(x);
    } else if (msg == specgram_sym.globalsymbol_binding || msg == specgram_sym.globalsymbol_unbinding) {
        // The named buffer~ appeared or went away: once the reference has
        // followed it, show it (or the placeholder) as after a change of layout.
        t_max_err err = x->buffer_ref ? buffer_ref_notify(x->buffer_ref, s, msg, sender, data) : 0;
        if (x->buffer_name != specgram_sym.empty)
            buffer_modified(x);
        return err;
    }
    return x->buffer_ref ? buffer_ref_notify(x->buffer_ref, s, msg, sender, data) : 0;
}
