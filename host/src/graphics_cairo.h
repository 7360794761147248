// The cairo drawing backend's records and its private helpers, shared by
// graphics_cairo_*.cpp only; the rest of the host uses graphics_internal.h.
//
// A t_jsurface wraps a cairo image surface; a t_jgraphics wraps a cairo
// context whose target is a t_jsurface.  Pixels written directly
// (jgraphics_image_surface_set_pixel) and pixels drawn by cairo share one
// buffer; the surface records which side touched it last so that cairo is
// flushed before a direct access and told about direct writes before it
// draws (mh_surface_sync).  The font cache is thread-safe.
#pragma once

#include "graphics_internal.h"

#include <cairo.h>

#include <atomic>

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

// The cairo surface of s, borrowed for as long as s lives; pending direct
// pixel writes are announced to cairo first.  Null for a null s.
cairo_surface_t *mh_surface_cairo(t_jsurface *s);
// Tells cairo about direct pixel writes before cairo reads or draws into s.
void mh_surface_sync(t_jsurface *s);
// The cairo context of g, borrowed for as long as g lives (its target is
// synchronised first, so raw cairo drawing is safe).  Null for a null g.
cairo_t *mh_graphics_cairo(t_jgraphics *g);

// Gives a fresh context the host's font set-up: fixed rendering options
// (greyscale antialiasing, no hinting, unhinted metrics) and Arial 10, so
// that text looks and measures the same on every machine.
void mh_text_init(cairo_t *cr);
