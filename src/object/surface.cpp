// The off-screen image of the magnitudes and the one routine through which
// a change of the analysis, the view or the colours reaches the screen.
//
// The surface is sized by specgram_surface_size (view_geometry.cpp);
// painting stretches it to the box.
#include "specgram.h"

#include <stdarg.h>

void specgram_update_surface(t_specgram *x, long mode)
{
    long w, h;
    specgram_surface_size(x, x->box_width, x->box_height, &w, &h);
    bool fresh = false;
    if (!x->surface || w != (long)x->surface_width || h != (long)x->surface_height) {
        fresh = true;
        if (x->surface)
            jgraphics_surface_destroy(x->surface);
        x->surface = jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, (int)w, (int)h);
        // Without a surface the sizes read 0, so the next update tries again.
        x->surface_width = x->surface ? (double)w : 0;
        x->surface_height = x->surface ? (double)h : 0;
    }
    if (mode == SPECGRAM_SURFACE_RESIZE)
        return;
    // A view change that keeps the image must not cancel a re-render that an
    // earlier change asked for and no paint has done yet.
    if (mode == SPECGRAM_SURFACE_RERENDER || fresh)
        x->surface_dirty = 1;
    // Only the selection moved: the image, the labels and the shapes stand
    // as they are drawn (a pending re-render has left its layers invalid).
    if (mode == SPECGRAM_SURFACE_CURRENT && !x->surface_dirty) {
        specgram_invalidate(x, specgram_sym.selection_layer, NULL);
        return;
    }
    specgram_invalidate(x, specgram_sym.magnitudes_layer, specgram_sym.text_layer, specgram_sym.selection_layer,
                        specgram_sym.draw_layer, NULL);
}

void specgram_invalidate(t_specgram *x, t_symbol *layer, ...)
{
    va_list ap;
    va_start(ap, layer);
    for (t_symbol *s = layer; s; s = va_arg(ap, t_symbol *))
        jbox_invalidate_layer((t_object *)x, NULL, s);
    va_end(ap);
    jbox_redraw((t_jbox *)x);
}
