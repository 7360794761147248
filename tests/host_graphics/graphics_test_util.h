// Helpers shared by the drawing tests: owning handles for surfaces and
// contexts, and pixels read back as bytes.
#pragma once

#include "ext.h"
#include "jgraphics.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <ostream>

struct SurfaceDeleter
{
    void operator()(t_jsurface *s) const { jgraphics_surface_destroy(s); }
};
struct GraphicsDeleter
{
    void operator()(t_jgraphics *g) const { jgraphics_destroy(g); }
};
using SurfacePtr = std::unique_ptr<t_jsurface, SurfaceDeleter>;
using GraphicsPtr = std::unique_ptr<t_jgraphics, GraphicsDeleter>;

inline SurfacePtr make_surface(int width, int height, t_jgraphics_format format = JGRAPHICS_FORMAT_ARGB32)
{
    return SurfacePtr(jgraphics_image_surface_create(format, width, height));
}

// A pixel as straight RGBA bytes.
struct Rgba8
{
    int r, g, b, a;
    bool operator==(const Rgba8 &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

inline std::ostream &operator<<(std::ostream &os, const Rgba8 &p)
{
    return os << "(" << p.r << "," << p.g << "," << p.b << "," << p.a << ")";
}

inline Rgba8 pixel(t_jsurface *s, int x, int y)
{
    t_jrgba c{-1, -1, -1, -1};
    jgraphics_image_surface_get_pixel(s, x, y, &c);
    return Rgba8{int(std::lround(c.red * 255)), int(std::lround(c.green * 255)), int(std::lround(c.blue * 255)),
                 int(std::lround(c.alpha * 255))};
}

inline void fill_surface(t_jsurface *s, t_jrgba c)
{
    for (int y = 0; y < jgraphics_image_surface_get_height(s); ++y)
        for (int x = 0; x < jgraphics_image_surface_get_width(s); ++x)
            jgraphics_image_surface_set_pixel(s, x, y, c);
}

inline const Rgba8 kRed{255, 0, 0, 255};
inline const Rgba8 kBlue{0, 0, 255, 255};
inline const Rgba8 kWhite{255, 255, 255, 255};
inline const Rgba8 kClear{0, 0, 0, 0};
