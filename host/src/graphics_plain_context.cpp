// Drawing contexts of the plain backend: the SDK's t_jgraphics with paths,
// solid sources, strokes, the "fast" unantialiased rectangles, clipping to
// rectangles and scaled drawing of image surfaces, with the meanings the
// cairo backend gives them: the path is kept in device pixels as it is
// built, fill and stroke use the non-zero winding rule and clear the path,
// the fast rectangles and jgraphics_clip leave the current path alone, and
// non-finite coordinates are ignored.
#include "graphics_plain.h"

#include <algorithm>
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

// The device rectangle of a user rectangle (either sign of size).
mh_box_rect mh_device_rect(const t_jgraphics *g, double x, double y, double w, double h)
{
    mh_point a = g->m.to_device(x, y), b = g->m.to_device(x + w, y + h);
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

std::vector<mh_point> mh_rect_polygon(double x0, double y0, double x1, double y1)
{
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

// Whole-pixel rectangles, in user units, filled without antialiasing.
void mh_fill_fast(t_jgraphics *g, const std::vector<mh_box_rect> &rects)
{
    std::vector<std::vector<mh_point>> polys;
    for (const mh_box_rect &r : rects) {
        if (r.empty())
            continue;
        mh_box_rect d = mh_device_rect(g, r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
        polys.push_back(mh_rect_polygon(d.x0, d.y0, d.x1, d.y1));
    }
    mh_fill_polygons(g, polys, false);
}

// A colour component clamped to 0..1; NaN counts as 0.
double mh_unit(double c)
{
    return c > 0 ? (c < 1 ? c : 1) : 0;
}

} // namespace

t_jgraphics *jgraphics_create(t_jsurface *target)
{
    if (!target)
        return nullptr;
    auto *g = new t_jgraphics;
    g->target = target;
    g->clip = {0, 0, double(target->width), double(target->height)};
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
    jgraphics_surface_destroy(g->target);
    delete g;
}

t_jsurface *mh_graphics_target(t_jgraphics *g)
{
    return g ? g->target : nullptr;
}

void mh_graphics_scale(t_jgraphics *g, double sx, double sy)
{
    if (g && mh_finite(sx, sy) && sx != 0 && sy != 0) {
        g->m.sx *= sx;
        g->m.sy *= sy;
    }
}

void jgraphics_move_to(t_jgraphics *g, double x, double y)
{
    if (!g || !mh_finite(x, y))
        return;
    g->point = g->m.to_device(x, y);
    g->has_point = true;
    g->path.push_back(mh_subpath{{g->point}, false});
}

void jgraphics_line_to(t_jgraphics *g, double x, double y)
{
    if (!g || !mh_finite(x, y))
        return;
    if (!g->has_point || g->path.empty() || g->path.back().closed) {
        // No current point: a line_to starts there; after a close_path, a
        // new subpath starts where the closed one began.
        mh_point start = g->has_point ? g->point : g->m.to_device(x, y);
        g->path.push_back(mh_subpath{{start}, false});
    }
    g->point = g->m.to_device(x, y);
    g->has_point = true;
    g->path.back().points.push_back(g->point);
}

void jgraphics_close_path(t_jgraphics *g)
{
    if (!g || g->path.empty() || g->path.back().closed)
        return;
    g->path.back().closed = true;
    g->point = g->path.back().points.front();
}

void jgraphics_rectangle(t_jgraphics *g, double x, double y, double width, double height)
{
    if (!g || !mh_finite(x, y, width, height))
        return;
    jgraphics_move_to(g, x, y);
    jgraphics_line_to(g, x + width, y);
    jgraphics_line_to(g, x + width, y + height);
    jgraphics_line_to(g, x, y + height);
    jgraphics_close_path(g);
}

void jgraphics_fill(t_jgraphics *g)
{
    if (!g)
        return;
    std::vector<std::vector<mh_point>> polys;
    for (const mh_subpath &sp : g->path)
        if (sp.points.size() > 2)
            polys.push_back(sp.points);
    mh_fill_polygons(g, polys, true);
    g->path.clear();
    g->has_point = false;
}

void jgraphics_stroke(t_jgraphics *g)
{
    if (!g)
        return;
    mh_fill_polygons(g, mh_stroke_polygons(g), true);
    g->path.clear();
    g->has_point = false;
}

void jgraphics_set_source_rgba(t_jgraphics *g, double red, double green, double blue, double alpha)
{
    if (!g)
        return;
    g->colour[0] = mh_unit(red);
    g->colour[1] = mh_unit(green);
    g->colour[2] = mh_unit(blue);
    g->colour[3] = mh_unit(alpha);
}

void jgraphics_set_source_rgb(t_jgraphics *g, double red, double green, double blue)
{
    jgraphics_set_source_rgba(g, red, green, blue, 1);
}

void jgraphics_set_source_jrgba(t_jgraphics *g, t_jrgba *rgba)
{
    if (rgba)
        jgraphics_set_source_rgba(g, rgba->red, rgba->green, rgba->blue, rgba->alpha);
}

void jgraphics_set_line_width(t_jgraphics *g, double width)
{
    if (g && std::isfinite(width))
        g->line_width = width < 0 ? 0 : width;
}

// The outline lies inside the rectangle: `border` pixels (rounded, at least
// one) along each edge, snapped to whole pixels.
void jgraphics_rectangle_draw_fast(t_jgraphics *g, double x, double y, double width, double height,
                                   double border)
{
    if (!g || !mh_finite(x, y, width, height) || !std::isfinite(border) || !(border > 0))
        return;
    double x0 = std::round(std::fmin(x, x + width)), y0 = std::round(std::fmin(y, y + height));
    double x1 = std::round(std::fmax(x, x + width)), y1 = std::round(std::fmax(y, y + height));
    double b = std::fmax(1.0, std::round(border));
    if (2 * b >= x1 - x0 || 2 * b >= y1 - y0) {
        mh_fill_fast(g, {{x0, y0, x1, y1}});
        return;
    }
    mh_fill_fast(g, {{x0, y0, x1, y0 + b},
                     {x0, y1 - b, x1, y1},
                     {x0, y0 + b, x0 + b, y1 - b},
                     {x1 - b, y0 + b, x1, y1 - b}});
}

void jgraphics_rectangle_fill_fast(t_jgraphics *g, double x, double y, double width, double height)
{
    if (!g || !mh_finite(x, y, width, height))
        return;
    mh_fill_fast(g, {{std::round(std::fmin(x, x + width)), std::round(std::fmin(y, y + height)),
                      std::round(std::fmax(x, x + width)), std::round(std::fmax(y, y + height))}});
}

void jgraphics_clip(t_jgraphics *g, double x, double y, double width, double height)
{
    if (!g || !mh_finite(x, y, width, height))
        return;
    mh_box_rect r = mh_device_rect(g, x, y, width, height);
    g->clip = {std::max(g->clip.x0, r.x0), std::max(g->clip.y0, r.y0), std::min(g->clip.x1, r.x1),
               std::min(g->clip.y1, r.y1)};
}

// Maps srcRect of the surface onto destRect.  Enlarging (or 1:1) in both
// directions samples the nearest pixel so that stretched images stay crisp;
// shrinking interpolates.
void jgraphics_image_surface_draw(t_jgraphics *g, t_jsurface *s, t_rect srcRect, t_rect destRect)
{
    if (!g || !s || !mh_finite(srcRect.x, srcRect.y, srcRect.width, srcRect.height) ||
        !mh_finite(destRect.x, destRect.y, destRect.width, destRect.height))
        return;
    if (!(srcRect.width > 0 && srcRect.height > 0 && destRect.width > 0 && destRect.height > 0))
        return;
    double sx = destRect.width / srcRect.width;
    double sy = destRect.height / srcRect.height;
    if (!(std::isfinite(sx) && std::isfinite(sy) && sx > 0 && sy > 0))
        return;
    mh_draw_surface(g, s, srcRect.x, srcRect.y, srcRect.width, srcRect.height,
                    mh_device_rect(g, destRect.x, destRect.y, destRect.width, destRect.height), sx >= 1 && sy >= 1);
}

void mh_graphics_paint_surface(t_jgraphics *g, t_jsurface *s, double x, double y, double scale)
{
    if (!g || !s || !mh_finite(x, y) || !std::isfinite(scale) || !(scale > 0))
        return;
    mh_box_rect dest = mh_device_rect(g, x, y, s->width / scale, s->height / scale);
    bool enlarging = dest.x1 - dest.x0 >= s->width - 1e-9 && dest.y1 - dest.y0 >= s->height - 1e-9;
    mh_draw_surface(g, s, 0, 0, s->width, s->height, dest, enlarging);
}
