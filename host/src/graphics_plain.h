// The plain drawing backend's records and helpers, shared by
// graphics_plain_*.cpp only; the rest of the host uses graphics_internal.h.
// It needs nothing beyond standard C++, for platforms without cairo.
//
// A t_jsurface is a plain pixel buffer of 32-bit words in cairo's layout:
// premultiplied ARGB with alpha in the top byte (an RGB24 surface keeps
// alpha at 255, an A8 surface keeps only alpha).  A t_jgraphics draws into
// one with a current path in device pixels, a transform of scale and
// translation (all the host and the SDK's calls produce), a rectangular clip
// and a solid source colour.  Paths are filled with the non-zero winding
// rule, antialiased by coverage: 16 sample lines per pixel row, exact
// horizontal coverage along each.
#pragma once

#include "graphics_internal.h"

#include <atomic>
#include <cstdint>
#include <vector>

struct t_jsurface
{
    int width = 0, height = 0;
    t_jgraphics_format format = JGRAPHICS_FORMAT_ARGB32;
    std::vector<uint32_t> pixels; // width x height, rows top to bottom
    std::atomic<int> refs{1};
};

struct mh_point
{
    double x, y;
};

// One subpath of the current path, in device pixels.
struct mh_subpath
{
    std::vector<mh_point> points;
    bool closed = false;
};

// Device = user x scale + translation.
struct mh_transform
{
    double sx = 1, sy = 1, tx = 0, ty = 0;
    mh_point to_device(double x, double y) const { return {x * sx + tx, y * sy + ty}; }
    mh_point to_user(mh_point d) const { return {(d.x - tx) / sx, (d.y - ty) / sy}; }
};

// A rectangle in device pixels, x0 <= x1 and y0 <= y1 when not empty.
struct mh_box_rect
{
    double x0, y0, x1, y1;
    bool empty() const { return !(x1 > x0 && y1 > y0); }
};

struct t_jgraphics
{
    t_jsurface *target = nullptr; // owned reference
    std::atomic<int> refs{1};
    mh_transform m;
    mh_box_rect clip{0, 0, 0, 0};         // device pixels, within the surface
    double colour[4] = {0, 0, 0, 1};      // straight RGBA, each 0..1
    double line_width = 2;                // user units
    double font_size = 10;                // user units
    bool font_bold = false;
    std::vector<mh_subpath> path;
    bool has_point = false;
    mh_point point{0, 0};                 // the current point, device pixels
};

// ---- rasterising (graphics_plain_raster.cpp) ----
// Fills closed polygons (device pixels) with g's colour under the non-zero
// winding rule, within g's clip.  With `antialias` off, a pixel is either
// covered (its centre lies inside) or not.
void mh_fill_polygons(t_jgraphics *g, const std::vector<std::vector<mh_point>> &polygons, bool antialias);
// The polygons that stroking g's current path with its line width covers:
// one quad per segment (butt ends), with mitred joins (bevelled past
// cairo's limit of 10), all wound the same way so that their union fills.
std::vector<std::vector<mh_point>> mh_stroke_polygons(const t_jgraphics *g);
// Composites the source rectangle of s (in s's pixels) onto the device
// rectangle `dest`, within g's clip.  `nearest` samples the nearest pixel;
// otherwise samples are interpolated bilinearly.  Outside s its edge
// pixels repeat.
void mh_draw_surface(t_jgraphics *g, const t_jsurface *s, double src_x, double src_y, double src_w, double src_h,
                     mh_box_rect dest, bool nearest);
