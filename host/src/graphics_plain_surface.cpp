// Image surfaces of the plain drawing backend: the SDK's t_jsurface as a
// buffer of premultiplied ARGB words, with direct pixel access.  Colours
// come in as straight (unassociated) alpha and are stored premultiplied;
// reading a pixel undoes the premultiplication, as with cairo.  Creation
// refuses the sizes the cairo backend refuses (0, negative, above 32767 a
// side, buffers too large for memory), returning null.
#include "graphics_plain.h"

#include <new>

namespace {

bool mh_surface_contains(const t_jsurface *s, int x, int y)
{
    return s && x >= 0 && y >= 0 && x < s->width && y < s->height;
}

// What a new surface of the format holds before anything is drawn.
uint32_t mh_clear_word(t_jgraphics_format format)
{
    return format == JGRAPHICS_FORMAT_RGB24 ? 0xff000000u : 0;
}

} // namespace

t_jsurface *jgraphics_image_surface_create(t_jgraphics_format format, int width, int height)
{
    if ((format != JGRAPHICS_FORMAT_ARGB32 && format != JGRAPHICS_FORMAT_RGB24 && format != JGRAPHICS_FORMAT_A8) ||
        width <= 0 || height <= 0 || width > 32767 || height > 32767)
        return nullptr;
    size_t bytes_per_pixel = format == JGRAPHICS_FORMAT_A8 ? 1 : 4;
    if (bytes_per_pixel * size_t(width) * size_t(height) > mh_surface_byte_limit())
        return nullptr;
    auto *s = new (std::nothrow) t_jsurface;
    if (!s)
        return nullptr;
    try {
        s->pixels.assign(size_t(width) * size_t(height), mh_clear_word(format));
    } catch (const std::bad_alloc &) {
        delete s;
        return nullptr;
    }
    s->width = width;
    s->height = height;
    s->format = format;
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
    delete s;
}

int jgraphics_image_surface_get_width(t_jsurface *s)
{
    return s ? s->width : 0;
}

int jgraphics_image_surface_get_height(t_jsurface *s)
{
    return s ? s->height : 0;
}

void jgraphics_image_surface_set_pixel(t_jsurface *s, int x, int y, t_jrgba color)
{
    if (!mh_surface_contains(s, x, y))
        return;
    uint32_t &p = s->pixels[size_t(y) * size_t(s->width) + size_t(x)];
    switch (s->format) {
    case JGRAPHICS_FORMAT_ARGB32:
        p = mh_argb_word(color);
        break;
    case JGRAPHICS_FORMAT_RGB24:
        p = 0xff000000u | mh_byte(color.red) << 16 | mh_byte(color.green) << 8 | mh_byte(color.blue);
        break;
    case JGRAPHICS_FORMAT_A8:
        p = mh_byte(color.alpha) << 24;
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
    uint32_t p = s->pixels[size_t(y) * size_t(s->width) + size_t(x)];
    uint8_t rgba[4];
    mh_word_rgba(p, p >> 24, rgba);
    *color = t_jrgba{rgba[0] / 255.0, rgba[1] / 255.0, rgba[2] / 255.0, rgba[3] / 255.0};
}

void mh_surface_row_rgba(t_jsurface *s, int y, uint8_t *row)
{
    const uint32_t *line = s->pixels.data() + size_t(y) * size_t(s->width);
    for (int x = 0; x < s->width; ++x)
        mh_word_rgba(line[x], line[x] >> 24, row + 4 * x);
}
