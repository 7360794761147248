// The figure of patchhost render: a title line, one framed plot per panel
// with frequency ticks on its left, a time axis under the last panel and
// gradix's colour bar on the right with its dB values, all on white.  The
// plot pixels are the spectrogram~ box painted at the plot's size, so the
// axes here only have to agree with the object's row layout
// (scale_position) and its full-length time axis.
#include "render.h"

#include <cairo.h>

#include <cmath>

namespace patchhost::render {

namespace {

constexpr int k_title_h = 30, k_bottom = 44, k_left = 66, k_right = 80, k_gap = 10;
constexpr int k_bar_gap = 12, k_bar_w = 14, k_tick = 5;
constexpr double k_font = 12, k_title_font = 13;

void set_ink(cairo_t *cr) { cairo_set_source_rgb(cr, 0.13, 0.13, 0.13); }

// Text with its left/centre/right (ax 0, 0.5, 1) at x and its middle at y.
void label_middle(cairo_t *cr, const std::string &s, double x, double y, double ax)
{
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, x - e.x_advance * ax, y + k_font * 0.36);
    cairo_show_text(cr, s.c_str());
}

void label_rotated(cairo_t *cr, const std::string &s, double x, double y_mid)
{
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_save(cr);
    cairo_move_to(cr, x, y_mid + e.x_advance / 2);
    cairo_rotate(cr, -M_PI / 2);
    cairo_show_text(cr, s.c_str());
    cairo_restore(cr);
}

// Paints a straight-RGBA picture at (x, y), scaled to w x h.
void draw_image(cairo_t *cr, const maxhost::Image &im, double x, double y, double w, double h)
{
    if (im.width < 1 || im.height < 1)
        return;
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, im.width, im.height);
    unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int r = 0; r < im.height; r++) {
        uint32_t *row = (uint32_t *)(data + (size_t)r * stride);
        const uint8_t *src = im.rgba.data() + (size_t)r * im.width * 4;
        for (int c = 0; c < im.width; c++, src += 4) {
            // Composited over white, as the figure's background.
            uint32_t a = src[3], inv = 255 - a;
            uint32_t red = (src[0] * a + 255 * inv) / 255, green = (src[1] * a + 255 * inv) / 255;
            uint32_t blue = (src[2] * a + 255 * inv) / 255;
            row[c] = 0xff000000u | red << 16 | green << 8 | blue;
        }
    }
    cairo_surface_mark_dirty(s);
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, w / im.width, h / im.height);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(s);
}

void frame(cairo_t *cr, double x, double y, double w, double h)
{
    set_ink(cr);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, x - 0.5, y - 0.5, w + 1, h + 1);
    cairo_stroke(cr);
}

void frequency_axis(cairo_t *cr, const Layout &l, const FigureInfo &info, int top, const std::string &channel)
{
    const double bottom = top + l.plot_h;
    for (const Tick &t : frequency_ticks(info.scale, info.nyquist, l.plot_h, k_font * 1.7)) {
        double y = std::round(bottom - t.pos) - 0.5;
        cairo_move_to(cr, l.plot_x - k_tick - 1, y);
        cairo_line_to(cr, l.plot_x - 1, y);
        cairo_stroke(cr);
        label_middle(cr, t.label, l.plot_x - k_tick - 4, y, 1);
    }
    label_rotated(cr, channel.empty() ? "Frequency (Hz)" : channel + ": Frequency (Hz)", 16,
                  top + l.plot_h / 2.0);
}

void time_axis(cairo_t *cr, const Layout &l, const FigureInfo &info, int bottom)
{
    std::string title;
    for (const Tick &t : time_ticks(info.seconds, l.plot_w, 72, &title)) {
        double x = std::round(l.plot_x + t.pos) + 0.5;
        cairo_move_to(cr, x, bottom + 1);
        cairo_line_to(cr, x, bottom + 1 + k_tick);
        cairo_stroke(cr);
        label_middle(cr, t.label, x, bottom + k_tick + 11, 0.5);
    }
    cairo_text_extents_t e;
    cairo_text_extents(cr, title.c_str(), &e);
    cairo_move_to(cr, l.plot_x + (l.plot_w - e.x_advance) / 2, l.height - 8);
    cairo_show_text(cr, title.c_str());
}

void colour_bar(cairo_t *cr, const Layout &l, const FigureInfo &info)
{
    const int bar_h = l.bar_h;
    draw_image(cr, info.bar, l.bar_x, l.plot_y, l.bar_w, bar_h);
    frame(cr, l.bar_x, l.plot_y, l.bar_w, bar_h);
    const double right = l.bar_x + l.bar_w;
    for (const Tick &t : db_ticks(info.mag_min, info.mag_max, bar_h - 1, k_font * 1.6)) {
        double y = std::round(l.plot_y + bar_h - 1 - t.pos) + 0.5;
        cairo_move_to(cr, right + 1, y);
        cairo_line_to(cr, right + 1 + k_tick, y);
        cairo_stroke(cr);
        label_middle(cr, t.label, right + k_tick + 4, y, 0);
    }
    label_rotated(cr, "Level (dB)", l.width - 6, l.plot_y + bar_h / 2.0);
}

} // namespace

bool figure_layout(int width, int height, int panels, Layout *l)
{
    l->plot_x = k_left;
    l->plot_y = k_title_h;
    l->plot_w = width - k_left - k_right;
    l->plot_h = height - k_title_h - k_bottom;
    if (l->plot_w < 40 || l->plot_h < 20 || panels < 1)
        return false;
    l->panel_step = l->plot_h + k_gap;
    l->width = width;
    l->height = height + (panels - 1) * l->panel_step;
    l->bar_x = k_left + l->plot_w + k_bar_gap;
    l->bar_w = k_bar_w;
    l->bar_h = l->height - k_title_h - k_bottom;
    return true;
}

bool figure_draw(const Layout &l, const FigureInfo &info, const std::vector<Panel> &panels, maxhost::Image *out)
{
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, l.width, l.height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return false;
    }
    cairo_t *cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "Arial", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    set_ink(cr);
    cairo_set_font_size(cr, k_title_font);
    cairo_move_to(cr, l.plot_x, 20);
    cairo_show_text(cr, info.title.c_str());
    cairo_set_font_size(cr, k_font);
    cairo_set_line_width(cr, 1);
    for (size_t i = 0; i < panels.size(); i++) {
        const int top = l.plot_y + (int)i * l.panel_step;
        draw_image(cr, panels[i].plot, l.plot_x, top, l.plot_w, l.plot_h);
        frame(cr, l.plot_x, top, l.plot_w, l.plot_h);
        frequency_axis(cr, l, info, top, panels[i].channel_label);
    }
    time_axis(cr, l, info, l.plot_y + (int)(panels.size() - 1) * l.panel_step + l.plot_h);
    colour_bar(cr, l, info);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    out->width = l.width;
    out->height = l.height;
    out->rgba.resize((size_t)l.width * l.height * 4);
    const unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int r = 0; r < l.height; r++) {
        const uint32_t *row = (const uint32_t *)(data + (size_t)r * stride);
        uint8_t *dst = out->rgba.data() + (size_t)r * l.width * 4;
        for (int c = 0; c < l.width; c++, dst += 4) {
            dst[0] = row[c] >> 16 & 0xff;
            dst[1] = row[c] >> 8 & 0xff;
            dst[2] = row[c] & 0xff;
            dst[3] = 0xff;
        }
    }
    cairo_surface_destroy(s);
    return true;
}

} // namespace patchhost::render
