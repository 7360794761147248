// The link between a gradix box and the spectrogram~ it is patched into.
//
// The connection is found by walking the patcher's cords: the first cord, in
// the patcher's order, that leaves this box's outlet 0 and ends in a box
// holding a spectrogram~ wins.  The bar attaches to that object to hear its
// attribute changes and its deletion, and detaches when the cord goes or
// another spectrogram~ takes its place.  The search runs at loadbang, on
// bang and at every paint, so patching or removing a cord takes effect at
// the next redraw.  Nothing is posted: a missing patcher, box or object
// simply means "not connected".
#include "gradix.h"

int gradix_is_registered(t_object *o)
{
    t_symbol *name_space = NULL;
    t_symbol *name = NULL;
    return o && object_findregisteredbyptr(&name_space, &name, o) == MAX_ERR_NONE;
}

// Stops listening to the connected spectrogram~ (when it is still there)
// and forgets it.
static void gradix_detach(t_gradix *x)
{
    if (x->spectrogram && gradix_is_registered(x->spectrogram))
        object_detach_byptr(x, x->spectrogram);
    x->spectrogram = NULL;
}

// The spectrogram~ object that the first cord from this box's outlet 0
// reaches, or null.
static t_object *gradix_patched_spectrogram(t_gradix *x)
{
    t_object *patcher = NULL;
    t_object *box = NULL;
    if (object_obex_lookup(x, gradix_sym.patcher, &patcher) != MAX_ERR_NONE || !patcher)
        return NULL;
    if (object_obex_lookup(x, gradix_sym.box, &box) != MAX_ERR_NONE || !box)
        return NULL;
    for (t_object *line = jpatcher_get_firstline(patcher); line; line = jpatchline_get_nextline(line)) {
        if (jpatchline_get_box1(line) != box || jpatchline_get_outletnum(line) != 0)
            continue;
        t_object *dest = jpatchline_get_box2(line);
        t_object *o = dest ? jbox_get_object(dest) : NULL;
        if (o && object_classname(o) == gradix_sym.spectrogram)
            return o;
    }
    return NULL;
}

long gradix_find_connected_spectrogram(t_gradix *x)
{
    t_object *found = gradix_patched_spectrogram(x);
    if (found == x->spectrogram)
        return 0;
    gradix_detach(x);
    if (found) {
        x->spectrogram = found;
        object_attach_byptr(x, found);
    }
    return 1;
}

void gradix_bang(t_gradix *x) { gradix_find_connected_spectrogram(x); }

void gradix_loadbang(t_gradix *x) { gradix_find_connected_spectrogram(x); }

void gradix_redraw_all(t_gradix *x)
{
    jbox_invalidate_layer((t_object *)x, NULL, gradix_sym.magnitudes_layer);
    jbox_invalidate_layer((t_object *)x, NULL, gradix_sym.text_layer);
    jbox_redraw(&x->box);
}

// Whether a spectrogram~ attribute changes the colours of the bar.
static int gradix_is_colour_attribute(t_symbol *name)
{
    if (name == gradix_sym.mag_min || name == gradix_sym.mag_max || name == gradix_sym.color_scheme)
        return 1;
    for (int i = 0; i < COLORMAP_CUSTOM_STOPS; i++)
        if (name == gradix_sym.custom_color[i])
            return 1;
    return 0;
}

static int gradix_is_text_attribute(t_symbol *name)
{
    return name == gradix_sym.textcolor || name == gradix_sym.textsize || name == gradix_sym.textjustification;
}

static t_symbol *gradix_attribute_name(void *attr)
{
    return attr ? (t_symbol *)object_method(attr, gradix_sym.getname) : NULL;
}

t_max_err gradix_notify(t_gradix *x, t_symbol *s, t_symbol *msg, void *sender, void *data)
{
    if (sender && sender == x->spectrogram && object_classname(sender) == gradix_sym.spectrogram) {
        if (msg == gradix_sym.attr_modified) {
            if (gradix_is_colour_attribute(gradix_attribute_name(data)))
                gradix_redraw_all(x);
        } else if (msg == gradix_sym.free) {
            // The sender is going away: forget it without detaching.
            x->spectrogram = NULL;
            gradix_redraw_all(x);
        }
    } else if (sender == x && msg == gradix_sym.attr_modified) {
        if (gradix_is_text_attribute(gradix_attribute_name(data))) {
            jbox_invalidate_layer((t_object *)x, NULL, gradix_sym.text_layer);
            jbox_redraw(&x->box);
        }
    }
    return jbox_notify(&x->box, s, msg, sender, data);
}
