// Creation, destruction and help text of a gradix box.
//
// A new box starts unconnected: the first loadbang, bang or paint looks for
// the spectrogram~ it is patched into.  The remembered box size starts as the
// box's own size, so that a `write` before the first paint exports a picture
// of the box and not of some other size.
#include "gradix.h"

#include <stdio.h>

// Box flags: draw the first inlet, draw inlets last, transparent, resizable
// in both directions.
#define GRADIX_BOX_FLAGS (JBOX_DRAWFIRSTIN | JBOX_DRAWINLAST | JBOX_TRANSPARENT | JBOX_GROWBOTH)

#define GRADIX_DEFAULT_WIDTH 300.0
#define GRADIX_DEFAULT_HEIGHT 100.0

// Reads the box's size from its patching_rect into the remembered size;
// leaves the defaults when the attribute cannot be read.
static void gradix_remember_box_size(t_gradix *x)
{
    long ac = 0;
    t_atom *av = NULL;
    if (object_attr_getvalueof(x, gradix_sym.patching_rect, &ac, &av) == MAX_ERR_NONE && av) {
        if (ac >= 4 && atom_getfloat(av + 2) > 0 && atom_getfloat(av + 3) > 0) {
            x->box_width = atom_getfloat(av + 2);
            x->box_height = atom_getfloat(av + 3);
        }
    }
    if (av)
        sysmem_freeptr(av);
}

void *gradix_new(t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    t_dictionary *d = object_dictionaryarg(argc, argv);
    if (!d)
        return NULL;
    t_gradix *x = (t_gradix *)object_alloc(gradix_class);
    if (!x)
        return NULL;
    jbox_new(&x->box, GRADIX_BOX_FLAGS, argc, argv);
    x->box.b_firstin = (t_object *)x;
    x->outlet = outlet_new(x, NULL);
    x->spectrogram = NULL;
    x->box_width = GRADIX_DEFAULT_WIDTH;
    x->box_height = GRADIX_DEFAULT_HEIGHT;
    attr_dictionary_process(x, d);
    gradix_remember_box_size(x);
    jbox_ready(&x->box);
    return x;
}

void gradix_free(t_gradix *x)
{
    if (x->spectrogram && gradix_is_registered(x->spectrogram))
        object_detach_byptr(x, x->spectrogram);
    x->spectrogram = NULL;
    jbox_free(&x->box);
}

void gradix_assist(t_gradix *x, void *b, long io, long index, char *text)
{
    (void)x;
    (void)b;
    if (io == ASSIST_OUTLET && index == 0)
        snprintf(text, ASSIST_MAX_STRING_LEN, "Connect to inlet of spectrogram~ object");
}
