// The paint method of spectrogram~: four cached host layers, bottom to top.
//
//   magnitudes_layer  the off-screen image `surface`, stretched to the box;
//                     re-rendered from the dB grid only when surface_dirty
//   text_layer        axis labels (specgram_text.cpp)
//   selection_layer   the selection box; while the mouse drags it, the box
//                     is turned back into selection values and reported
//   draw_layer        the free-drawn shapes (specgram_shapes.cpp)
//
// A layer is redrawn only when the host hands out a context for it (it was
// invalidated or the box changed size); every layer is painted either way,
// from its cache if it was not redrawn.  The analysis grid, the surface and
// the view may be replaced by setters and buffer notifications, so the size
// check, the image and the selection run under x->lock; the labels take it
// themselves.
#include "specgram_render_internal.h"

#include <math.h>

// Surface size for a box of width x height pixels over the current grid.
static void specgram_surface_size(const t_specgram *x, double width, double height, long *w, long *h)
{
    const double wl = fmin(trunc(width), SPECGRAM_SURFACE_MAX_WIDTH);
    const double hl = fmin(trunc(height), SPECGRAM_SURFACE_MAX_HEIGHT);
    const long frames = (long)x->mags.num_frames;
    const long bins = (long)x->mags.num_bins;
    *w = wl >= 2.0 ? (long)wl : 1;
    *h = hl >= 2.0 ? (long)hl : 1;
    *w = frames < 2 ? 1 : (frames < *w ? frames : *w);
    *h = bins < 2 ? 1 : (bins < *h ? bins : *h);
}

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

static void specgram_paint_text(t_specgram *x, t_object *view, double width, double height)
{
    t_symbol *layer = specgram_sym.text_layer;
    t_jgraphics *g = jbox_start_layer((t_object *)x, view, layer, width, height);
    if (g) {
        specgram_add_text_to_jgraphics(x, g, (long)width, (long)height);
        jbox_end_layer((t_object *)x, view, layer);
    }
    jbox_paint_layer((t_object *)x, view, layer, 0.0, 0.0);
}

// The box a mouse drag has made: a new rubber band from the press to the
// pointer, or the box the grips have moved (already in the box fields).
static void specgram_dragged_box(t_specgram *x, double width, double height, t_rect *box)
{
    if (!x->drag_move && !x->drag_left && !x->drag_right && !x->drag_bottom && !x->drag_top) {
        const double ax = x->mouse_down_point.x * width, ay = x->mouse_down_point.y * height;
        const double bx = x->mouse_norm.x * width, by = x->mouse_norm.y * height;
        x->selection_box_x = fmin(ax, bx);
        x->selection_box_y = fmin(ay, by);
        x->selection_box_width = fabs(bx - ax);
        x->selection_box_height = fabs(by - ay);
    }
    box->x = x->selection_box_x;
    box->y = x->selection_box_y;
    box->width = x->selection_box_width;
    box->height = x->selection_box_height;
}

static void specgram_draw_selection(t_specgram *x, t_jgraphics *g, double width, double height)
{
    t_rect box;
    // Only a Select gesture moves the box: a Draw gesture leaves the
    // selection where it is (its pointer positions belong to the shape).
    const int following_mouse = x->mouse_down == 1 && x->mouse_mode == SPECGRAM_MOUSE_SELECT;
    if (following_mouse) {
        specgram_dragged_box(x, width, height, &box);
    } else {
        specgram_selection_box_from_values(x, width, height, &box);
        x->selection_box_x = box.x;
        x->selection_box_y = box.y;
        x->selection_box_width = box.width;
        x->selection_box_height = box.height;
    }
    jgraphics_set_source_jrgba(g, &x->selection_linecolor);
    jgraphics_rectangle_draw_fast(g, box.x, box.y, box.width, box.height, x->selection_linewidth);
    if (following_mouse) {
        specgram_selection_values_from_box(x, &box, width, height);
        specgram_output_to_outlets(x);
    }
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
