// Private graphics interface of the stand-in host: what the rest of the host
// (layers, views, the front end's pictures, PNG files) needs beneath the
// SDK's opaque t_jsurface and t_jgraphics.  Plug-ins never see this header.
//
// Two drawing backends implement it: one over cairo (graphics_cairo_*.cpp,
// the Linux host) and a plain one in standard C++ (graphics_plain_*.cpp,
// for builds without cairo).  Both keep a surface's pixels as 32-bit
// premultiplied ARGB words, cairo's layout, and both reference-count
// surfaces and contexts: the creator holds one reference, a context holds
// one on its target surface, and jgraphics_surface_destroy /
// jgraphics_destroy each drop one.  So a surface destroyed while a context
// still draws into it lives on until that context is destroyed too.
//
// Threads: a surface or a context is used by one thread at a time (the main
// thread, or a plug-in's export under its own lock); the reference counts
// are thread-safe.
#pragma once

#include "internal.h"
#include "platform.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>

// ---- surfaces ----
// Adds a reference to s (released by another jgraphics_surface_destroy).
void mh_surface_reference(t_jsurface *s);
// Fills `row` (4 x width bytes) with line y of s as straight (not
// premultiplied) RGBA.  y must lie in 0..height-1.
void mh_surface_row_rgba(t_jsurface *s, int y, uint8_t *row);
// Largest pixel buffer a surface may have: 2 GiB (int-sized row arithmetic
// stays safe) and at most half of the machine's memory.
inline size_t mh_surface_byte_limit()
{
    return size_t(std::min<unsigned long long>(1ULL << 31, mh_physical_memory() / 2));
}

// A colour component 0..1 as a byte; NaN counts as 0.
inline uint32_t mh_byte(double c)
{
    if (!(c > 0.0))
        return 0;
    if (c >= 1.0)
        return 255;
    return uint32_t(c * 255.0 + 0.5);
}

inline uint32_t mh_premultiply(uint32_t c, uint32_t a)
{
    return (c * a + 127) / 255;
}

inline uint32_t mh_unpremultiply(uint32_t c, uint32_t a)
{
    if (a == 0)
        return 0;
    return std::min<uint32_t>(255, (c * 255 + a / 2) / a);
}

// A straight colour as a premultiplied ARGB word.
inline uint32_t mh_argb_word(const t_jrgba &color)
{
    uint32_t a = mh_byte(color.alpha);
    return a << 24 | mh_premultiply(mh_byte(color.red), a) << 16 | mh_premultiply(mh_byte(color.green), a) << 8 |
           mh_premultiply(mh_byte(color.blue), a);
}

// A premultiplied ARGB word with alpha `a` (the word's own, or 255 for an
// opaque format) as straight RGBA bytes.
inline void mh_word_rgba(uint32_t p, uint32_t a, uint8_t *out)
{
    out[0] = uint8_t(mh_unpremultiply(p >> 16 & 0xff, a));
    out[1] = uint8_t(mh_unpremultiply(p >> 8 & 0xff, a));
    out[2] = uint8_t(mh_unpremultiply(p & 0xff, a));
    out[3] = uint8_t(a);
}

// ---- contexts ----
// Adds a reference to g (released by another jgraphics_destroy).
void mh_graphics_reference(t_jgraphics *g);
// The surface g draws into, borrowed for as long as g lives.
t_jsurface *mh_graphics_target(t_jgraphics *g);
// Scales g's user space: later drawing in units of 1 covers sx x sy pixels
// (at the scale in force so far).
void mh_graphics_scale(t_jgraphics *g, double sx, double sy);
// Composites all of s over g with its top-left corner at (x, y), s having
// `scale` pixels per unit of g's user space.  Null g or s draws nothing.
void mh_graphics_paint_surface(t_jgraphics *g, t_jsurface *s, double x, double y, double scale);

// ---- PNG files (graphics_png.cpp) ----
// Supplies line y of an image as straight RGBA bytes (4 x width).
using mh_png_row_fn = std::function<void(int y, uint8_t *row)>;
// Writes a width x height RGBA PNG to `fullpath`, with a pHYs chunk for dpi
// when dpi > 0.  The data go to a temporary file in the same folder, which
// is synced and then renamed, so the final name never holds a partial file.
// 0 on success, non-zero (with nothing left behind) on any failure.
int mh_write_png_rows(const std::string &fullpath, int width, int height, long dpi,
                      const mh_png_row_fn &row);
// The same for a surface (ARGB32, RGB24 or A8; an A8 surface becomes black
// with its alpha).  0 on success, non-zero on failure or a null surface.
int mh_write_png_file(t_jsurface *s, const std::string &fullpath, long dpi);
// The same for straight RGBA bytes, width x height, rows top to bottom.
int mh_write_png_rgba(const uint8_t *rgba, int width, int height, const std::string &fullpath, long dpi);
