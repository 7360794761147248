// Drawing contexts of the cairo backend: the SDK's t_jgraphics over a cairo
// context, with paths, solid sources, the "fast" unantialiased rectangles,
// clipping and scaled drawing of image surfaces.  Calls map onto cairo one
// to one except where the SDK promises more: the fast rectangles and
// jgraphics_clip leave the current path alone, and non-finite coordinates
// are ignored instead of reaching cairo.
#include "graphics_cairo.h"

#include <cmath>

namespace {

bool mh_finite(double a, double b)
{
    return std::isfinite(a) && std::isfinite(b);
}

bool mh_finite(double a, double b, double c, double d)
{
    return mh_finite(a, b) && mh_finite(c, d);
}

// The context's cairo_t, with its target synchronised; null if g is null.
cairo_t *mh_begin(t_jgraphics *g)
{
    if (!g)
        return nullptr;
    mh_surface_sync(g->target);
    return g->cr;
}

// Keeps the caller's current path across drawing that needs a path of its
// own: copied on construction, put back on destruction.
class mh_path_keeper
{
public:
    explicit mh_path_keeper(cairo_t *cr) : cr_(cr), path_(cairo_copy_path(cr)) { cairo_new_path(cr); }
    ~mh_path_keeper()
    {
        cairo_new_path(cr_);
        if (path_->status == CAIRO_STATUS_SUCCESS)
            cairo_append_path(cr_, path_);
        cairo_path_destroy(path_);
    }
    mh_path_keeper(const mh_path_keeper &) = delete;
    mh_path_keeper &operator=(const mh_path_keeper &) = delete;

private:
    cairo_t *cr_;
    cairo_path_t *path_;
};

// A rectangle snapped to whole pixels, with a positive size.
struct mh_pixel_rect
{
    double x0, y0, x1, y1;
};

mh_pixel_rect mh_snap(double x, double y, double w, double h)
{
    mh_pixel_rect r{std::round(std::fmin(x, x + w)), std::round(std::fmin(y, y + h)),
                    std::round(std::fmax(x, x + w)), std::round(std::fmax(y, y + h))};
    return r;
}

void mh_add_rect(cairo_t *cr, double x0, double y0, double x1, double y1)
{
    if (x1 > x0 && y1 > y0)
        cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
}

// Fills the path built by `add` without antialiasing, keeping the caller's path.
template <class F> void mh_fill_unantialiased(cairo_t *cr, F add)
{
    mh_path_keeper keep(cr);
    cairo_antialias_t aa = cairo_get_antialias(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    add();
    cairo_fill(cr);
    cairo_set_antialias(cr, aa);
}

} // namespace

t_jgraphics *jgraphics_create(t_jsurface *target)
{
    cairo_surface_t *cs = mh_surface_cairo(target);
    if (!cs)
        return nullptr;
    cairo_t *cr = cairo_create(cs);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        return nullptr;
    }
    mh_text_init(cr);
    auto *g = new t_jgraphics;
    g->cr = cr;
    g->target = target;
    mh_surface_reference(target);
    return g;
}

void mh_graphics_reference(t_jgraphics *g)
{
    if (g)
        g->refs.fetch_add(1, std::memory_order_relaxed);
}

void jgraphics_destroy(t_jgraphics *g)
{
    if (!g || g->refs.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    cairo_destroy(g->cr);
    jgraphics_surface_destroy(g->target);
    delete g;
}

cairo_t *mh_graphics_cairo(t_jgraphics *g)
{
    return mh_begin(g);
}

t_jsurface *mh_graphics_target(t_jgraphics *g)
{
    return g ? g->target : nullptr;
}

void jgraphics_move_to(t_jgraphics *g, double x, double y)
{
    if (g && mh_finite(x, y))
        cairo_move_to(g->cr, x, y);
}

void jgraphics_line_to(t_jgraphics *g, double x, double y)
{
    if (g && mh_finite(x, y))
        cairo_line_to(g->cr, x, y);
}

void jgraphics_close_path(t_jgraphics *g)
{
    if (g)
        cairo_close_path(g->cr);
}

void jgraphics_rectangle(t_jgraphics *g, double x, double y, double width, double height)
{
    if (g && mh_finite(x, y, width, height))
        cairo_rectangle(g->cr, x, y, width, height);
}

void jgraphics_fill(t_jgraphics *g)
{
    if (cairo_t *cr = mh_begin(g))
        cairo_fill(cr);
}

void jgraphics_stroke(t_jgraphics *g)
{
    if (cairo_t *cr = mh_begin(g))
        cairo_stroke(cr);
}

void jgraphics_set_source_rgba(t_jgraphics *g, double red, double green, double blue, double alpha)
{
    if (g)
        cairo_set_source_rgba(g->cr, red, green, blue, alpha);
}

void jgraphics_set_source_rgb(t_jgraphics *g, double red, double green, double blue)
{
    if (g)
        cairo_set_source_rgb(g->cr, red, green, blue);
}

void jgraphics_set_source_jrgba(t_jgraphics *g, t_jrgba *rgba)
{
    if (g && rgba)
        cairo_set_source_rgba(g->cr, rgba->red, rgba->green, rgba->blue, rgba->alpha);
}

void jgraphics_set_line_width(t_jgraphics *g, double width)
{
    if (g && std::isfinite(width))
        cairo_set_line_width(g->cr, width < 0 ? 0 : width);
}

// The outline lies inside the rectangle: `border` pixels (rounded, at least
// one) along each edge, snapped to whole pixels.
void jgraphics_rectangle_draw_fast(t_jgraphics *g, double x, double y, double width, double height,
                                   double border)
{
    cairo_t *cr = mh_begin(g);
    if (!cr || !mh_finite(x, y, width, height) || !std::isfinite(border) || !(border > 0))
        return;
    mh_pixel_rect r = mh_snap(x, y, width, height);
    double b = std::fmax(1.0, std::round(border));
    mh_fill_unantialiased(cr, [&] {
        if (2 * b >= r.x1 - r.x0 || 2 * b >= r.y1 - r.y0) {
            mh_add_rect(cr, r.x0, r.y0, r.x1, r.y1);
            return;
        }
        mh_add_rect(cr, r.x0, r.y0, r.x1, r.y0 + b);         // top
        mh_add_rect(cr, r.x0, r.y1 - b, r.x1, r.y1);         // bottom
        mh_add_rect(cr, r.x0, r.y0 + b, r.x0 + b, r.y1 - b); // left
        mh_add_rect(cr, r.x1 - b, r.y0 + b, r.x1, r.y1 - b); // right
    });
}

void jgraphics_rectangle_fill_fast(t_jgraphics *g, double x, double y, double width, double height)
{
    cairo_t *cr = mh_begin(g);
    if (!cr || !mh_finite(x, y, width, height))
        return;
    mh_pixel_rect r = mh_snap(x, y, width, height);
    mh_fill_unantialiased(cr, [&] { mh_add_rect(cr, r.x0, r.y0, r.x1, r.y1); });
}

void jgraphics_clip(t_jgraphics *g, double x, double y, double width, double height)
{
    if (!g || !mh_finite(x, y, width, height))
        return;
    mh_path_keeper keep(g->cr);
    cairo_rectangle(g->cr, x, y, width, height);
    cairo_clip(g->cr);
}

// Maps srcRect of the surface onto destRect.  Enlarging (or 1:1) in both
// directions samples the nearest pixel so that stretched images stay crisp;
// shrinking uses cairo's smoothing filter.
void jgraphics_image_surface_draw(t_jgraphics *g, t_jsurface *s, t_rect srcRect, t_rect destRect)
{
    cairo_t *cr = mh_begin(g);
    cairo_surface_t *cs = mh_surface_cairo(s);
    if (!cr || !cs || !mh_finite(srcRect.x, srcRect.y, srcRect.width, srcRect.height) ||
        !mh_finite(destRect.x, destRect.y, destRect.width, destRect.height))
        return;
    if (!(srcRect.width > 0 && srcRect.height > 0 && destRect.width > 0 && destRect.height > 0))
        return;
    double sx = destRect.width / srcRect.width;
    double sy = destRect.height / srcRect.height;
    if (!(std::isfinite(sx) && std::isfinite(sy) && sx > 0 && sy > 0))
        return;
    mh_path_keeper keep(cr);
    cairo_save(cr);
    cairo_rectangle(cr, destRect.x, destRect.y, destRect.width, destRect.height);
    cairo_clip(cr);
    cairo_translate(cr, destRect.x, destRect.y);
    cairo_scale(cr, sx, sy);
    cairo_set_source_surface(cr, cs, -srcRect.x, -srcRect.y);
    cairo_pattern_t *pattern = cairo_get_source(cr);
    cairo_pattern_set_filter(pattern, sx >= 1 && sy >= 1 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    cairo_restore(cr);
}

void mh_graphics_scale(t_jgraphics *g, double sx, double sy)
{
    if (g && std::isfinite(sx) && std::isfinite(sy) && sx != 0 && sy != 0)
        cairo_scale(g->cr, sx, sy);
}

void mh_graphics_paint_surface(t_jgraphics *g, t_jsurface *s, double x, double y, double scale)
{
    cairo_t *cr = mh_begin(g);
    cairo_surface_t *cs = mh_surface_cairo(s);
    if (!cr || !cs || !mh_finite(x, y) || !std::isfinite(scale) || !(scale > 0))
        return;
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, 1 / scale, 1 / scale);
    cairo_set_source_surface(cr, cs, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}
