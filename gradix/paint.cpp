// Painting of a gradix box: the colour bar and its dB labels.
//
// The bar lives on "magnitudes_layer" and the labels on "text_layer"; each
// is drawn again only when invalidated (by a connection change, a size
// change or a notification, see connection.cpp) and otherwise repainted
// from the host's cache.  Row r of a bar h pixels high shows the value
// (h - 1 - r) / (h - 1) of the way from mag_min to mag_max, so the top row
// is mag_max and the bottom row mag_min.  Labels sit on multiples of a step
// chosen from the range (2, 5, 10 or 20 dB), each centred on its value's
// height; a label that would stick out of the bar is left out.  The same
// drawing routines fill the PNG export (export.cpp).
#include "gradix.h"

#include <math.h>
#include <stdio.h>

// Reads custom colour stop `name` of spectrogram s into *stop; a value with
// fewer than four numbers leaves the default stop.
static void gradix_read_stop(t_object *s, t_symbol *name, const t_jrgba *fallback, t_jrgba *stop)
{
    long ac = 0;
    t_atom *av = NULL;
    *stop = *fallback;
    if (object_attr_getvalueof(s, name, &ac, &av) == MAX_ERR_NONE && av && ac >= 4) {
        stop->red = atom_getfloat(av);
        stop->green = atom_getfloat(av + 1);
        stop->blue = atom_getfloat(av + 2);
        stop->alpha = atom_getfloat(av + 3);
    }
    if (av)
        sysmem_freeptr(av);
}

// Reads the connected spectrogram's colour settings into *p, the custom
// stops into stops (which p borrows).  Returns 0 when unconnected.
static int gradix_read_colormap(t_gradix *x, t_colormap_params *p, t_jrgba stops[COLORMAP_CUSTOM_STOPS])
{
    t_object *s = x->spectrogram;
    if (!s)
        return 0;
    const double mag_min = object_attr_getfloat(s, gradix_sym.mag_min);
    const double mag_max = object_attr_getfloat(s, gradix_sym.mag_max);
    const long scheme = (long)object_attr_getlong(s, gradix_sym.color_scheme);
    const t_jrgba *custom = NULL;
    if (scheme == COLORMAP_CUSTOM || scheme == COLORMAP_CUSTOM_INVERTED) {
        for (int i = 0; i < COLORMAP_CUSTOM_STOPS; i++)
            gradix_read_stop(s, gradix_sym.custom_color[i], &colormap_default_custom[i], &stops[i]);
        custom = stops;
    }
    colormap_params_set(p, mag_min, mag_max, scheme, custom);
    return 1;
}

void gradix_magnitude_to_color(t_gradix *x, t_jrgba *color, float mag)
{
    t_colormap_params p;
    t_jrgba stops[COLORMAP_CUSTOM_STOPS];
    if (!gradix_read_colormap(x, &p, stops)) {
        color->red = color->green = color->blue = color->alpha = 1.0;
        return;
    }
    colormap_magnitude_to_color(&p, color, mag);
}

void gradix_draw_bar(t_gradix *x, t_jgraphics *g, long width, long height)
{
    t_object *s = x->spectrogram;
    if (!s) {
        jgraphics_set_source_rgba(g, 0.0, 0.0, 0.0, 1.0);
        jgraphics_rectangle(g, 0, 0, (double)width, (double)height);
        jgraphics_fill(g);
        return;
    }
    const double mag_min = object_attr_getfloat(s, gradix_sym.mag_min);
    const double mag_max = object_attr_getfloat(s, gradix_sym.mag_max);
    for (long r = 0; r < height; r++) {
        const long n = height - 1 - r;
        const double value = height > 1 ? (double)n / (double)(height - 1) * (mag_max - mag_min) + mag_min : mag_min;
        t_jrgba color;
        gradix_magnitude_to_color(x, &color, (float)value);
        jgraphics_set_source_jrgba(g, &color);
        jgraphics_rectangle(g, 0, (double)r, (double)width, 1);
        jgraphics_fill(g);
    }
}

// dB between two labels for a range of `range` dB.
static long gradix_label_step(double range)
{
    if (range <= 20)
        return 2;
    if (range <= 40)
        return 5;
    if (range <= 80)
        return 10;
    return 20;
}

// The largest multiple of step that is not above mag_min.
static long gradix_first_label(double mag_min, long step)
{
    long v = (long)mag_min;
    v -= v % step;
    if (v > mag_min)
        v -= step;
    return v;
}

static double gradix_label_x(t_gradix *x, long width, double text_width)
{
    switch (x->textjustification) {
    case GRADIX_JUSTIFY_LEFT:
        return 5;
    case GRADIX_JUSTIFY_RIGHT:
        return width - text_width - 5;
    default:
        return (width - text_width) * 0.5;
    }
}

// The labels are drawn for ranges a spectrogram~ can have (it keeps both
// ends within +-120 dB); values far outside, or not numbers, get none
// rather than an endless run of labels.
#define GRADIX_LABEL_LIMIT 1.0e6

void gradix_add_text_to_jgraphics(t_gradix *x, t_jgraphics *g, long width, long height)
{
    if (!x->spectrogram)
        return;
    const double mag_min = object_attr_getfloat(x->spectrogram, gradix_sym.mag_min);
    const double mag_max = object_attr_getfloat(x->spectrogram, gradix_sym.mag_max);
    if (!(fabs(mag_min) <= GRADIX_LABEL_LIMIT && fabs(mag_max) <= GRADIX_LABEL_LIMIT))
        return;
    jgraphics_set_source_jrgba(g, &x->textcolor);
    jgraphics_select_font_face(g, "Arial", JGRAPHICS_FONT_SLANT_NORMAL, JGRAPHICS_FONT_WEIGHT_NORMAL);
    jgraphics_set_font_size(g, (double)x->textsize);

    const double range = mag_max - mag_min;
    const long step = gradix_label_step(range);
    for (long v = gradix_first_label(mag_min, step); v <= mag_max; v += step) {
        char text[32];
        double tw = 0, th = 0;
        snprintf(text, sizeof text, "%ld", v);
        jgraphics_text_measure(g, text, &tw, &th);
        const double top = height - (v - mag_min) / range * height - th / 2;
        if (top >= 0 && top + th <= height) {
            jgraphics_move_to(g, gradix_label_x(x, width, tw), top + th);
            jgraphics_show_text(g, text);
        }
    }
}

// Invalidates both layers when the connection or the box size changed.
static void gradix_check_paint_state(t_gradix *x, const t_rect *rect)
{
    int invalid = gradix_find_connected_spectrogram(x) != 0;
    if (rect->width != x->box_width || rect->height != x->box_height) {
        x->box_width = rect->width;
        x->box_height = rect->height;
        invalid = 1;
    }
    if (invalid) {
        jbox_invalidate_layer((t_object *)x, NULL, gradix_sym.magnitudes_layer);
        jbox_invalidate_layer((t_object *)x, NULL, gradix_sym.text_layer);
    }
}

void gradix_paint(t_gradix *x, t_object *patcherview)
{
    t_rect rect = {0, 0, 0, 0};
    jbox_get_rect_for_view((t_object *)x, patcherview, &rect);
    gradix_check_paint_state(x, &rect);
    // Whole pixels; a size of 1e308, infinity or NaN would overflow the conversion.
    const long width = rect.width >= 0.0 ? (long)fmin(rect.width, 1e6) : 0;
    const long height = rect.height >= 0.0 ? (long)fmin(rect.height, 1e6) : 0;

    t_jgraphics *g = jbox_start_layer((t_object *)x, patcherview, gradix_sym.magnitudes_layer, rect.width,
                                      rect.height);
    if (g) {
        gradix_draw_bar(x, g, width, height);
        jbox_end_layer((t_object *)x, patcherview, gradix_sym.magnitudes_layer);
    }
    jbox_paint_layer((t_object *)x, patcherview, gradix_sym.magnitudes_layer, 0, 0);

    g = jbox_start_layer((t_object *)x, patcherview, gradix_sym.text_layer, rect.width, rect.height);
    if (g) {
        gradix_add_text_to_jgraphics(x, g, width, height);
        jbox_end_layer((t_object *)x, patcherview, gradix_sym.text_layer);
    }
    jbox_paint_layer((t_object *)x, patcherview, gradix_sym.text_layer, 0, 0);
}
