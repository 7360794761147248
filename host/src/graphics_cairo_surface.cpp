// Image surfaces of the cairo backend: the SDK's t_jsurface over a cairo
// image surface, with direct pixel access.  Colours come in as straight
// (unassociated) alpha and are stored premultiplied, as cairo keeps them;
// reading a pixel undoes the premultiplication.  Creation refuses sizes that
// cairo cannot hold (0, negative, above 32767 a side) and buffers too large
// for memory, returning null rather than an error surface.
#include "graphics_cairo.h"

#include <algorithm>

namespace {

cairo_format_t mh_cairo_format(t_jgraphics_format format, bool *ok)
{
    *ok = true;
    switch (format) {
    case JGRAPHICS_FORMAT_ARGB32: return CAIRO_FORMAT_ARGB32;
    case JGRAPHICS_FORMAT_RGB24: return CAIRO_FORMAT_RGB24;
    case JGRAPHICS_FORMAT_A8: return CAIRO_FORMAT_A8;
    }
    *ok = false;
    return CAIRO_FORMAT_INVALID;
}

// Start of line y of the surface's pixel buffer, after flushing cairo.
unsigned char *mh_surface_line(t_jsurface *s, int y)
{
    if (!s->direct) {
        cairo_surface_flush(s->cs);
        s->direct = true;
    }
    return cairo_image_surface_get_data(s->cs) + size_t(y) * size_t(cairo_image_surface_get_stride(s->cs));
}

// Pixel x of a line as straight RGBA bytes.
void mh_pixel_rgba(cairo_format_t format, const unsigned char *line, int x, uint8_t *out)
{
    if (format == CAIRO_FORMAT_A8) {
        out[0] = out[1] = out[2] = 0;
        out[3] = line[x];
        return;
    }
    if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) {
        out[0] = out[1] = out[2] = out[3] = 0;
        return;
    }
    uint32_t p = reinterpret_cast<const uint32_t *>(line)[x];
    mh_word_rgba(p, format == CAIRO_FORMAT_RGB24 ? 255 : p >> 24, out);
}

bool mh_surface_contains(t_jsurface *s, int x, int y)
{
    return s && s->cs && x >= 0 && y >= 0 && x < cairo_image_surface_get_width(s->cs) &&
           y < cairo_image_surface_get_height(s->cs);
}

} // namespace

t_jsurface *jgraphics_image_surface_create(t_jgraphics_format format, int width, int height)
{
    bool ok = false;
    cairo_format_t cf = mh_cairo_format(format, &ok);
    if (!ok || width <= 0 || height <= 0 || width > 32767 || height > 32767)
        return nullptr;
    int stride = cairo_format_stride_for_width(cf, width);
    if (stride <= 0 || size_t(stride) * size_t(height) > mh_surface_byte_limit())
        return nullptr;
    cairo_surface_t *cs = cairo_image_surface_create(cf, width, height);
    if (cairo_surface_status(cs) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(cs);
        return nullptr;
    }
    auto *s = new t_jsurface;
    s->cs = cs;
    return s;
}

void mh_surface_reference(t_jsurface *s)
{
    if (s)
        s->refs.fetch_add(1, std::memory_order_relaxed);
}

void jgraphics_surface_destroy(t_jsurface *s)
{
    if (!s || s->refs.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    cairo_surface_destroy(s->cs);
    delete s;
}

void mh_surface_sync(t_jsurface *s)
{
    if (s && s->direct) {
        cairo_surface_mark_dirty(s->cs);
        s->direct = false;
    }
}

cairo_surface_t *mh_surface_cairo(t_jsurface *s)
{
    if (!s)
        return nullptr;
    mh_surface_sync(s);
    return s->cs;
}

int jgraphics_image_surface_get_width(t_jsurface *s)
{
    return s ? cairo_image_surface_get_width(s->cs) : 0;
}

int jgraphics_image_surface_get_height(t_jsurface *s)
{
    return s ? cairo_image_surface_get_height(s->cs) : 0;
}

void jgraphics_image_surface_set_pixel(t_jsurface *s, int x, int y, t_jrgba color)
{
    if (!mh_surface_contains(s, x, y))
        return;
    unsigned char *line = mh_surface_line(s, y);
    switch (cairo_image_surface_get_format(s->cs)) {
    case CAIRO_FORMAT_ARGB32:
        reinterpret_cast<uint32_t *>(line)[x] = mh_argb_word(color);
        break;
    case CAIRO_FORMAT_RGB24:
        reinterpret_cast<uint32_t *>(line)[x] =
            0xff000000u | mh_byte(color.red) << 16 | mh_byte(color.green) << 8 | mh_byte(color.blue);
        break;
    case CAIRO_FORMAT_A8:
        line[x] = static_cast<unsigned char>(mh_byte(color.alpha));
        break;
    default:
        break;
    }
}

void jgraphics_image_surface_get_pixel(t_jsurface *s, int x, int y, t_jrgba *color)
{
    if (!color)
        return;
    *color = t_jrgba{0, 0, 0, 0};
    if (!mh_surface_contains(s, x, y))
        return;
    uint8_t rgba[4];
    mh_pixel_rgba(cairo_image_surface_get_format(s->cs), mh_surface_line(s, y), x, rgba);
    *color = t_jrgba{rgba[0] / 255.0, rgba[1] / 255.0, rgba[2] / 255.0, rgba[3] / 255.0};
}

void mh_surface_row_rgba(t_jsurface *s, int y, uint8_t *row)
{
    const unsigned char *line = mh_surface_line(s, y);
    int width = cairo_image_surface_get_width(s->cs);
    cairo_format_t format = cairo_image_surface_get_format(s->cs);
    for (int x = 0; x < width; ++x)
        mh_pixel_rgba(format, line, x, row + 4 * x);
}
