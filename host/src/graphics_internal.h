// Private graphics interface of the stand-in host: what the drawing code in
// graphics_*.cpp shares among its files, and what the rest of the host
// (layers, views, the front end's pictures) needs to reach beneath the SDK's
// opaque t_jsurface and t_jgraphics.  Plug-ins never see this header.
//
// A t_jsurface wraps a cairo image surface; a t_jgraphics wraps a cairo
// context whose target is a t_jsurface.  Both are reference-counted: the
// creator holds one reference, a context holds one on its target surface,
// and jgraphics_surface_destroy / jgraphics_destroy each drop one.  So a
// surface destroyed while a context still draws into it lives on until that
// context is destroyed too.
//
// Pixels written directly (jgraphics_image_surface_set_pixel) and pixels
// drawn by cairo share one buffer; the surface records which side touched it
// last so that cairo is flushed before a direct access and told about direct
// writes before it draws (mh_surface_sync).
//
// Threads: a surface or a context is used by one thread at a time (the main
// thread, or a plug-in's export under its own lock); the reference counts and
// the font cache are thread-safe.
#pragma once

#include "internal.h"

#include <cairo.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

struct t_jsurface
{
    cairo_surface_t *cs = nullptr; // owned reference to a cairo image surface
    std::atomic<int> refs{1};
    bool direct = false;           // flushed for direct pixel access since cairo last drew
};

struct t_jgraphics
{
    cairo_t *cr = nullptr;         // owned
    t_jsurface *target = nullptr;  // owned reference
    std::atomic<int> refs{1};
};

// ---- surfaces (graphics_surface.cpp) ----
// Wraps an existing cairo image surface, taking a reference of its own (the
// caller keeps its reference).  Null for a null surface, a surface in an
// error state or one that is not an image surface.  Release with
// jgraphics_surface_destroy.
t_jsurface *mh_surface_wrap(cairo_surface_t *cs);
// Adds a reference to s (released by another jgraphics_surface_destroy).
void mh_surface_reference(t_jsurface *s);
// The cairo surface of s, borrowed for as long as s lives; pending direct
// pixel writes are announced to cairo first.  Null for a null s.
cairo_surface_t *mh_surface_cairo(t_jsurface *s);
// Tells cairo about direct pixel writes before cairo reads or draws into s.
void mh_surface_sync(t_jsurface *s);
// Fills `row` (4 x width bytes) with line y of s as straight (not
// premultiplied) RGBA.  y must lie in 0..height-1.
void mh_surface_row_rgba(t_jsurface *s, int y, uint8_t *row);

// ---- contexts (graphics_context.cpp) ----
// A new context drawing into an existing cairo image surface (wrapped with
// mh_surface_wrap, so the caller keeps its own reference).  Null on failure.
// Release with jgraphics_destroy.
t_jgraphics *mh_graphics_create_for_cairo(cairo_surface_t *cs);
// Adds a reference to g (released by another jgraphics_destroy).
void mh_graphics_reference(t_jgraphics *g);
// The cairo context of g, borrowed for as long as g lives (its target is
// synchronised first, so raw cairo drawing is safe).  Null for a null g.
cairo_t *mh_graphics_cairo(t_jgraphics *g);
// The surface g draws into, borrowed for as long as g lives.
t_jsurface *mh_graphics_target(t_jgraphics *g);

// ---- text (graphics_text.cpp) ----
// Gives a fresh context the host's font set-up: fixed rendering options
// (greyscale antialiasing, no hinting, unhinted metrics) and Arial 10, so
// that text looks and measures the same on every machine.
void mh_text_init(cairo_t *cr);

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
