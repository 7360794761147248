// Construction and destruction of a spectrogram~ box, and its help texts.
#include "specgram.h"

#include <stdio.h>

namespace {

const char *const inlet_help[] = {"(float) Display Start (ms)",   "(float) Display Length (ms)",
                                  "(float) Display Low (Hz)",     "(float) Display High (Hz)",
                                  "(float) Selection Start (ms)", "(float) Selection End (ms)",
                                  "(float) Selection Low (Hz)",   "(float) Selection High (Hz)",
                                  "(list/message) Link In (for multi-channel viewing)"};

const char *const link_out_help = "(list) Link Out (for multi-channel viewing)";
const char *const mouse_out_help = "(list) Data at mouse location (time freq mag)";

// Box flags: draw first inlet, draw in last, transparent, grow both, hilite.
const long specgram_box_flags = JBOX_DRAWFIRSTIN | JBOX_DRAWINLAST | JBOX_TRANSPARENT | JBOX_GROWBOTH | JBOX_HILITE;

} // namespace

void *specgram_new(t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    t_dictionary *d = object_dictionaryarg(argc, argv);
    if (!d)
        return NULL;
    t_specgram *x = (t_specgram *)object_alloc(specgram_class);
    if (!x)
        return NULL;
    jbox_new(&x->box, specgram_box_flags, argc, argv);
    x->box.b_firstin = (t_object *)x;

    inlet_new(x, NULL); // inlet 8: Link In and every other message
    for (short n = 7; n >= 1; n--)
        floatin(x, n);
    x->outlet_mouse_data = listout(x);
    x->outlet_link = listout(x);
    void **floats[8] = {&x->outlet_display_start, &x->outlet_display_length, &x->outlet_display_low,
                        &x->outlet_display_high, &x->outlet_selection_start, &x->outlet_selection_end,
                        &x->outlet_selection_low, &x->outlet_selection_high};
    for (int i = 7; i >= 0; i--)
        *floats[i] = floatout(x);

    x->motion = SPECGRAM_MOTION_NONE;
    x->buffer_ref = NULL;
    x->samples = NULL;
    x->sample_rate = 48000;
    x->buffer_name = specgram_sym.empty;
    x->buffer_chan = 1; // the attribute's default, so that it costs no second analysis
    specgram_update_buffer(x, 1); // no name yet: the one-frame placeholder

    critical_new(&x->lock);
    if (!specmags_init(&x->mags, x->frame_count, 2048, 1, 2, 2048, x->sample_rate))
        object_error((t_object *)x, "not enough memory for the analysis");
    x->box_width = 300;
    x->box_height = 100;
    long w, h;
    specgram_surface_size(x, x->box_width, x->box_height, &w, &h);
    x->surface = jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, (int)w, (int)h);
    x->surface_width = x->surface ? w : 0;
    x->surface_height = x->surface ? h : 0;
    x->surface_dirty = 1;

    x->display_start = 0;
    x->display_length = x->buffer_length_ms;
    x->display_low = 0;
    x->display_high = x->sample_rate / 2;
    x->selection_start = x->selection_end = x->selection_low = x->selection_high = 0;
    x->mag_min = -100;
    x->mag_max = 0;
    x->shape_drawing = 0;
    x->self_edit_pending = 0;

    attr_dictionary_process(x, d); // saved attributes; buffer_name binds and analyses

    critical_enter(x->lock);
    specgram_update_surface(x, SPECGRAM_SURFACE_RERENDER);
    critical_exit(x->lock);
    jbox_ready(&x->box);
    defer_low(x, (method)specgram_output_to_outlets_deferred, NULL, 0, NULL);
    return x;
}

void specgram_free(t_specgram *x)
{
    specgram_undo_clear(x);
    critical_free(x->lock);
    x->lock = NULL;
    specmags_cleanup(&x->mags);
    if (x->buffer_ref)
        object_free(x->buffer_ref);
    x->buffer_ref = NULL;
    if (x->samples)
        sysmem_freeptr(x->samples);
    x->samples = NULL;
    if (x->surface)
        jgraphics_surface_destroy(x->surface);
    x->surface = NULL;
    jbox_free(&x->box);
}

void specgram_assist(t_specgram *x, void *b, long m, long a, char *s)
{
    (void)x;
    (void)b;
    if (!s || a < 0)
        return;
    if (m == ASSIST_INLET) {
        if (a <= 8)
            snprintf(s, ASSIST_MAX_STRING_LEN, "%s", inlet_help[a]);
    } else if (a <= 7) {
        snprintf(s, ASSIST_MAX_STRING_LEN, "%s", inlet_help[a]);
    } else if (a == 8) {
        snprintf(s, ASSIST_MAX_STRING_LEN, "%s", link_out_help);
    } else if (a == 9) {
        snprintf(s, ASSIST_MAX_STRING_LEN, "%s", mouse_out_help);
    }
}
