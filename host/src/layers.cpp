// Cached box layers and painting a box into a picture.
//
// A layer is an off-screen surface per box and name.  jbox_start_layer gives
// a context to draw into only when the layer was invalidated (or its size
// changed); otherwise it returns null and the cached picture stands.
// jbox_paint_layer composites the layer into the context of the paint in
// progress.  Painting a box makes a fresh transparent image of the box's
// size, hands its context to the box's paint method through the view, and
// turns the result into straight RGBA.  At a paint scale above 1 the
// picture and the layers have that many pixels per point, and their
// contexts are scaled so that the box draws in points as always.
#include "graphics_internal.h"

#include <algorithm>
#include <cmath>

struct mh_box_layer {
    t_symbol *name = nullptr;
    t_jsurface *surface = nullptr; // owned
    t_jgraphics *drawing = nullptr; // owned while a start/end pair is open
    int width = 0, height = 0;  // in points
    double scale = 1;           // pixels per point of the surface
    bool valid = false;
};

namespace {

maxhost::RedrawHook redraw_hook;
double scale_now = 1;

mh_box_layer *find_layer(mh_box *b, t_symbol *name, bool create)
{
    for (mh_box_layer *l : b->layers)
        if (l->name == name)
            return l;
    if (!create)
        return nullptr;
    mh_box_layer *l = new mh_box_layer();
    l->name = name;
    b->layers.push_back(l);
    return l;
}

int pixels(double v) { return std::max(1, (int)std::ceil(v - 1e-9)); }

t_jgraphics *current_graphics(t_object *view)
{
    return (t_jgraphics *)patcherview_get_jgraphics(view);
}

// A context for drawing in points onto a surface of `scale` pixels per point.
t_jgraphics *scaled_context(t_jsurface *surface, double scale)
{
    t_jgraphics *g = jgraphics_create(surface);
    if (g && scale != 1)
        mh_graphics_scale(g, scale, scale);
    return g;
}

} // namespace

const maxhost::RedrawHook &mh_redraw_hook() { return redraw_hook; }

void mh_layer_free(mh_box_layer *layer)
{
    if (!layer)
        return;
    if (layer->drawing)
        jgraphics_destroy(layer->drawing);
    if (layer->surface)
        jgraphics_surface_destroy(layer->surface);
    delete layer;
}

t_max_err jbox_invalidate_layer(t_object *b, t_object *view, t_symbol *name)
{
    (void)view;
    mh_check_main_thread("jbox_invalidate_layer");
    mh_box *box = mh_box_of(b);
    if (!box)
        return MAX_ERR_GENERIC;
    for (mh_box_layer *l : box->layers)
        if (!name || l->name == name)
            l->valid = false;
    return MAX_ERR_NONE;
}

t_jgraphics *jbox_start_layer(t_object *b, t_object *view, t_symbol *name, double width, double height)
{
    (void)view;
    mh_check_main_thread("jbox_start_layer");
    mh_box *box = mh_box_of(b);
    if (!box || !name)
        return nullptr;
    mh_box_layer *l = find_layer(box, name, true);
    int w = pixels(width), h = pixels(height);
    if (l->valid && l->width == w && l->height == h && l->scale == scale_now && l->surface)
        return nullptr;
    if (l->drawing) {
        jgraphics_destroy(l->drawing);
        l->drawing = nullptr;
    }
    if (l->surface)
        jgraphics_surface_destroy(l->surface);
    l->surface = jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, pixels(w * scale_now), pixels(h * scale_now));
    l->width = w;
    l->height = h;
    l->scale = scale_now;
    l->valid = false;
    if (!l->surface)
        return nullptr;
    l->drawing = scaled_context(l->surface, l->scale);
    return l->drawing;
}

t_max_err jbox_end_layer(t_object *b, t_object *view, t_symbol *name)
{
    (void)view;
    mh_box *box = mh_box_of(b);
    mh_box_layer *l = box ? find_layer(box, name, false) : nullptr;
    if (!l)
        return MAX_ERR_GENERIC;
    if (l->drawing) {
        jgraphics_destroy(l->drawing);
        l->drawing = nullptr;
    }
    l->valid = l->surface != nullptr;
    return MAX_ERR_NONE;
}

t_max_err jbox_paint_layer(t_object *b, t_object *view, t_symbol *name, double x, double y)
{
    mh_check_main_thread("jbox_paint_layer");
    mh_box *box = mh_box_of(b);
    mh_box_layer *l = box ? find_layer(box, name, false) : nullptr;
    t_jgraphics *g = current_graphics(view);
    if (!l || !l->surface || !g)
        return MAX_ERR_GENERIC;
    mh_graphics_paint_surface(g, l->surface, x, y, l->scale);
    return MAX_ERR_NONE;
}

// Defined in patcher.cpp: sets the view's current context for a paint;
// schedules a repaint of every UI box.
void mh_view_set_graphics(t_object *view, t_jgraphics *g);
void mh_redraw_all();

namespace maxhost {

bool paint_box(t_object *box, Image *out)
{
    mh_box *b = mh_box_of(box);
    if (!b || !b->object || !b->ui || !out)
        return false;
    method paint = mh_find_method(b->object, gensym("paint"));
    if (!paint)
        return false;
    int w = pixels(b->rect.width * scale_now), h = pixels(b->rect.height * scale_now);
    t_jsurface *surface = jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, w, h);
    if (!surface)
        return false;
    t_jgraphics *g = scaled_context(surface, scale_now);
    t_object *view = b->patcher ? jpatcher_get_firstview(b->patcher) : nullptr;
    if (!view)
        view = mh_detached_view();
    mh_view_set_graphics(view, g);
    ((void (*)(t_object *, t_object *))paint)(b->object, view);
    mh_view_set_graphics(view, nullptr);
    jgraphics_destroy(g);
    out->width = w;
    out->height = h;
    out->rgba.assign((size_t)w * h * 4, 0);
    for (int y = 0; y < h; y++)
        mh_surface_row_rgba(surface, y, out->rgba.data() + (size_t)y * w * 4);
    jgraphics_surface_destroy(surface);
    return true;
}

void set_paint_scale(double scale)
{
    mh_check_main_thread("set_paint_scale");
    scale = std::isfinite(scale) ? std::clamp(scale, 1.0, 4.0) : 1.0;
    if (scale == scale_now)
        return;
    scale_now = scale;
    mh_redraw_all();
}

double paint_scale() { return scale_now; }

bool last_picture(t_object *box, Image *out)
{
    mh_box *b = mh_box_of(box);
    if (!b || !out || b->picture.width == 0)
        return false;
    *out = b->picture;
    return true;
}

void set_redraw_hook(RedrawHook hook) { redraw_hook = std::move(hook); }

bool write_png(const Image &image, const std::string &path, long dpi)
{
    if (image.width < 1 || image.height < 1)
        return false;
    return mh_write_png_rgba(image.rgba.data(), image.width, image.height, path, dpi) == 0;
}

} // namespace maxhost
