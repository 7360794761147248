// The paint method of spectrogram~: four cached host layers, bottom to top.
//
//   magnitudes_layer  the off-screen image `surface`, stretched to the box;
//                     re-rendered from the dB grid only when surface_dirty
//   text_layer        axis labels (specgram_text.cpp)
//   selection_layer   the selection box, placed from the selection values
//   draw_layer        the free-drawn shapes (specgram_shapes.cpp)
//
// A layer is redrawn only when the host hands out a context for it (it was
// invalidated or the box changed size); every layer is painted either way,
// from its cache if it was not redrawn.  Painting only reads the model: it
// never changes a view value and never sends anything out.  The analysis
// grid, the surface and the view may be replaced by setters and buffer
// notifications, so the size check, the image and the selection run under
// x->lock; the labels take it themselves.
#include "specgram_render_internal.h"

#include <math.h>

// Step 0: follows a change of the box size.
static void specgram_paint_resize(t_specgram *x, t_object *view, double width, double height)
{
    if (width == x->box_width && height == x->box_height)
        return;
    critical_enter(x->lock);
    long w, h;
    specgram_surface_size(x, width, height, &w, &h);
    x->box_width = width;
    x->box_height = height;
    if (w != (long)x->surface_width || h != (long)x->surface_height || !x->surface) {
        if (x->surface)
            jgraphics_surface_destroy(x->surface);
        x->surface = jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, (int)w, (int)h);
        x->surface_width = x->surface ? (double)w : 0.0;
        x->surface_height = x->surface ? (double)h : 0.0;
    }
    critical_exit(x->lock);
    x->surface_dirty = 1;
    jbox_invalidate_layer((t_object *)x, view, specgram_sym.magnitudes_layer);
    jbox_invalidate_layer((t_object *)x, view, specgram_sym.text_layer);
    jbox_invalidate_layer((t_object *)x, view, specgram_sym.selection_layer);
    jbox_invalidate_layer((t_object *)x, view, specgram_sym.draw_layer);
}

// Renders the visible block of the grid into the whole surface.
static void specgram_rerender(t_specgram *x)
{
    t_specgram_block block;
    specgram_visible_block(x, &block);
    specgram_render_block(x, &block, x->surface, (long)x->surface_width, (long)x->surface_height, 1);
}

static void specgram_paint_magnitudes(t_specgram *x, t_object *view, double width, double height)
{
    t_symbol *layer = specgram_sym.magnitudes_layer;
    t_jgraphics *g = jbox_start_layer((t_object *)x, view, layer, width, height);
    if (g) {
        critical_enter(x->lock);
        if (x->surface) {
            if (x->surface_dirty == 1)
                specgram_rerender(x);
            t_rect src = {0.0, 0.0, x->surface_width, x->surface_height};
            t_rect dst = {0.0, 0.0, width, height};
            jgraphics_image_surface_draw(g, x->surface, src, dst);
            x->surface_dirty = 0;
        }
        critical_exit(x->lock);
        jbox_end_layer((t_object *)x, view, layer);
    }
    jbox_paint_layer((t_object *)x, view, layer, 0.0, 0.0);
}

// A box dimension as whole pixels: a size of 1e308, infinity or NaN would
// overflow the conversion.
static long whole_pixels(double v)
{
    return v >= 0.0 ? (long)fmin(v, 1e6) : 0;
}

static void specgram_paint_text(t_specgram *x, t_object *view, double width, double height)
{
    t_symbol *layer = specgram_sym.text_layer;
    t_jgraphics *g = jbox_start_layer((t_object *)x, view, layer, width, height);
    if (g) {
        specgram_add_text_to_jgraphics(x, g, whole_pixels(width), whole_pixels(height));
        jbox_end_layer((t_object *)x, view, layer);
    }
    jbox_paint_layer((t_object *)x, view, layer, 0.0, 0.0);
}

static void specgram_draw_selection(t_specgram *x, t_jgraphics *g, double width, double height)
{
    t_rect box;
    specgram_selection_box(x, width, height, &box);
    jgraphics_set_source_jrgba(g, &x->selection_linecolor);
    jgraphics_rectangle_draw_fast(g, box.x, box.y, box.width, box.height, x->selection_linewidth);
    if (x->edit_inverted) {
        t_jrgba color = x->selection_linecolor;
        color.alpha *= SPECGRAM_HATCH_ALPHA;
        jgraphics_clip(g, box.x, box.y, box.width, box.height);
        jgraphics_set_source_jrgba(g, &color);
        jgraphics_set_line_width(g, SPECGRAM_HATCH_LINEWIDTH);
        specgram_hatch_rect(g, &box, width, height);
    }
}

static void specgram_paint_selection(t_specgram *x, t_object *view, double width, double height)
{
    t_symbol *layer = specgram_sym.selection_layer;
    t_jgraphics *g = jbox_start_layer((t_object *)x, view, layer, width, height);
    if (g) {
        critical_enter(x->lock);
        specgram_draw_selection(x, g, width, height);
        critical_exit(x->lock);
        jbox_end_layer((t_object *)x, view, layer);
    }
    jbox_paint_layer((t_object *)x, view, layer, 0.0, 0.0);
}

static void specgram_paint_shapes(t_specgram *x, t_object *view, double width, double height)
{
    t_symbol *layer = specgram_sym.draw_layer;
    t_jgraphics *g = jbox_start_layer((t_object *)x, view, layer, width, height);
    if (g) {
        // An emptied shape store still ends the layer, so the old shapes go.
        if (x->shape_count > 0) {
            critical_enter(x->lock); // the row edges belong to the analysis state
            specgram_draw_shapes(x, g, width, height);
            critical_exit(x->lock);
        }
        jbox_end_layer((t_object *)x, view, layer);
    }
    jbox_paint_layer((t_object *)x, view, layer, 0.0, 0.0);
}

void specgram_paint(t_specgram *x, t_object *patcherview)
{
    t_rect rect;
    if (jbox_get_rect_for_view((t_object *)x, patcherview, &rect) != MAX_ERR_NONE)
        return;
    specgram_paint_resize(x, patcherview, rect.width, rect.height);
    specgram_paint_magnitudes(x, patcherview, rect.width, rect.height);
    specgram_paint_text(x, patcherview, rect.width, rect.height);
    specgram_paint_selection(x, patcherview, rect.width, rect.height);
    specgram_paint_shapes(x, patcherview, rect.width, rect.height);
}
