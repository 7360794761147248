// The off-screen image of the magnitudes and the one routine through which
// a change of the analysis, the view or the colours reaches the screen.
//
// The surface never has more pixels than the analysis has columns and rows,
// nor more than the box (capped at 4000 x 2000); painting stretches it to
// the box.
#include "specgram.h"

#include <stdarg.h>

void specgram_update_surface(t_specgram *x, long mode)
{
    long wlimit = (long)x->box_width, hlimit = (long)x->box_height;
    if (wlimit > 4000)
        wlimit = 4000;
    if (wlimit < 2)
        wlimit = 1;
    if (hlimit > 2000)
        hlimit = 2000;
    if (hlimit < 2)
        hlimit = 1;
    long w = x->mags.num_frames < 2 ? 1 : (x->mags.num_frames < wlimit ? (long)x->mags.num_frames : wlimit);
    long h = x->mags.num_bins < 2 ? 1 : (x->mags.num_bins < hlimit ? (long)x->mags.num_bins : hlimit);
    if (!x->surface || w != (long)x->surface_width || h != (long)x->surface_height) {
        if (x->surface)
            jgraphics_surface_destroy(x->surface);
        x->surface = jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, (int)w, (int)h);
        // Without a surface the sizes read 0, so the next update tries again.
        x->surface_width = x->surface ? (double)w : 0;
        x->surface_height = x->surface ? (double)h : 0;
    }
    if (mode == SPECGRAM_SURFACE_RESIZE)
        return;
    x->surface_dirty = mode == SPECGRAM_SURFACE_RERENDER ? 1 : 0;
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
