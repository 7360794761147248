// Attribute accessors of spectrogram~.
//
// Every setter reads its first atom, clamps (never rejects), returns early
// when nothing changed, and then does exactly the follow-up the value needs:
// re-analysis (and re-render) for the analysis parameters, re-render for the
// dB range and the colour scheme, the edit STFT refresh for its window size.
// The analysis attributes name a dummy field as their storage; their
// accessors read and write the analysis state instead.
#include "specgram.h"

namespace {

t_max_err get_long(long *argc, t_atom **argv, long value)
{
    if (!argc || !argv)
        return 0;
    char alloc;
    if (atom_alloc(argc, argv, &alloc))
        return MAX_ERR_GENERIC;
    atom_setlong(*argv, value);
    return 0;
}

// Runs an analysis-state setter under the lock and, when it changed the
// value, re-analyses and re-renders.  Returns whether the value changed.
bool set_analysis(t_specgram *x, long argc, t_atom *argv, int (*setter)(t_specmags *, long))
{
    if (argc < 1 || !argv)
        return false;
    long v = specgram_narrow(atom_getlong(argv));
    critical_enter(x->lock);
    bool changed = setter(&x->mags, v) != 0;
    if (changed) {
        if (x->mags.alloc_failed)
            object_error((t_object *)x, "not enough memory to analyse %ld frames; showing silence", x->frame_count);
        specmags_process(&x->mags, x->samples);
        x->analysis_runs++;
        specgram_update_surface(x, SPECGRAM_SURFACE_RERENDER);
    }
    critical_exit(x->lock);
    return changed;
}

double clamp_db(double v)
{
    if (!(v > -120))
        return -120;
    return v < 120 ? v : 120;
}

void rerender(t_specgram *x)
{
    critical_enter(x->lock);
    specgram_update_surface(x, SPECGRAM_SURFACE_RERENDER);
    critical_exit(x->lock);
}

// The magnitude range after one end was set: kept ordered, both reported.
void order_magnitudes(t_specgram *x)
{
    if (x->mag_min > x->mag_max) {
        double t = x->mag_min;
        x->mag_min = x->mag_max;
        x->mag_max = t;
        object_attr_touch((t_object *)x, specgram_sym.mag_min);
        object_attr_touch((t_object *)x, specgram_sym.mag_max);
    }
    rerender(x);
}

} // namespace

t_max_err specgram_edit_stft_win_size_get(t_specgram *x, void *attr, long *argc, t_atom **argv)
{
    (void)attr;
    return get_long(argc, argv, x->mags.stft_win_size);
}

t_max_err specgram_edit_stft_win_size_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc >= 1 && argv && specmags_set_stft_win_size(&x->mags, specgram_narrow(atom_getlong(argv))))
        specgram_refresh_edit_stft(x); // no lock and no repaint: the display does not depend on it
    return 0;
}

t_max_err specgram_fft_win_size_get(t_specgram *x, void *attr, long *argc, t_atom **argv)
{
    (void)attr;
    return get_long(argc, argv, (long)x->mags.fft_win_size);
}

t_max_err specgram_fft_win_size_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (set_analysis(x, argc, argv, specmags_set_fft_win_size))
        object_attr_touch((t_object *)x, specgram_sym.win_zero_pad); // the padding may have been lowered
    return 0;
}

t_max_err specgram_fft_zero_pad_get(t_specgram *x, void *attr, long *argc, t_atom **argv)
{
    (void)attr;
    return get_long(argc, argv, x->mags.fft_zero_pad);
}

t_max_err specgram_fft_zero_pad_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    set_analysis(x, argc, argv, specmags_set_fft_zero_pad);
    return 0;
}

t_max_err specgram_fft_win_overlap_get(t_specgram *x, void *attr, long *argc, t_atom **argv)
{
    (void)attr;
    return get_long(argc, argv, (long)x->mags.fft_overlap);
}

t_max_err specgram_fft_win_overlap_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    set_analysis(x, argc, argv, specmags_set_fft_overlap);
    return 0;
}

t_max_err specgram_fft_win_type_get(t_specgram *x, void *attr, long *argc, t_atom **argv)
{
    (void)attr;
    return get_long(argc, argv, (long)x->mags.fft_win_type);
}

t_max_err specgram_fft_win_type_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    set_analysis(x, argc, argv, specmags_set_fft_win_type);
    return 0;
}

t_max_err specgram_fft_mag_scale_get(t_specgram *x, void *attr, long *argc, t_atom **argv)
{
    (void)attr;
    return get_long(argc, argv, (long)x->mags.fft_mag_scale);
}

t_max_err specgram_fft_mag_scale_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    set_analysis(x, argc, argv, specmags_set_fft_mag_scale);
    return 0;
}

t_max_err specgram_freq_reassign_get(t_specgram *x, void *attr, long *argc, t_atom **argv)
{
    (void)attr;
    return get_long(argc, argv, (long)x->mags.reassignment);
}

t_max_err specgram_freq_reassign_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    set_analysis(x, argc, argv, specmags_set_reassignment);
    return 0;
}

t_jmouse_cursortype specgram_cursor_for_mode(long mode)
{
    switch (mode) {
    case SPECGRAM_MOUSE_SELECT:
        return JMOUSE_CURSOR_ARROW;
    case SPECGRAM_MOUSE_DRAW:
        return JMOUSE_CURSOR_CROSSHAIR;
    default:
        return JMOUSE_CURSOR_DRAGGINGHAND;
    }
}

t_max_err specgram_mouse_mode_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc < 1 || !argv)
        return 0;
    long v = specgram_narrow(atom_getlong(argv));
    x->mouse_mode = v < 1 ? SPECGRAM_MOUSE_SELECT : (v > 1 ? SPECGRAM_MOUSE_DRAW : SPECGRAM_MOUSE_MOVE);
    t_object *patcher = NULL;
    if (object_obex_lookup(x, specgram_sym.patcher_key, &patcher) == MAX_ERR_NONE && patcher) {
        t_object *view = jpatcher_get_firstview(patcher);
        if (view)
            jmouse_setcursor(view, (t_object *)x, specgram_cursor_for_mode(x->mouse_mode));
    }
    return 0;
}

t_max_err specgram_fft_mag_min_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc >= 1 && argv) {
        x->mag_min = clamp_db(atom_getfloat(argv));
        order_magnitudes(x);
    }
    return 0;
}

t_max_err specgram_fft_mag_max_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc >= 1 && argv) {
        x->mag_max = clamp_db(atom_getfloat(argv));
        order_magnitudes(x);
    }
    return 0;
}

t_max_err specgram_fft_color_scheme_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc >= 1 && argv) {
        long v = specgram_narrow(atom_getlong(argv));
        x->color_scheme = v < 1 ? 0 : (v > 18 ? 19 : v);
        rerender(x);
    }
    return 0;
}

t_max_err specgram_edit_inverted_set(t_specgram *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc >= 1 && argv) {
        x->edit_inverted = atom_getlong(argv) ? 1 : 0;
        specgram_invalidate(x, specgram_sym.selection_layer, specgram_sym.draw_layer, NULL);
    }
    return 0;
}
