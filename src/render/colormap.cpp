// Colour mapping of one dB magnitude, shared by the spectrogram image, its PNG
// export and the gradix colour bar.
//
// The magnitude is normalised in single precision against mag_min and mag_max
// (both narrowed to float first), then clamped in double precision; a NaN
// fails the "t > 0" test and lands on 0 with everything at or below mag_min.
// Tables are indexed by rounding half up, so entry 255 needs t >= 254.5 / 255.
// The custom gradient interpolates each channel, alpha included, in single
// precision between two neighbouring stops.  The rounding points and the
// float/double boundaries are deliberate: the colour bar and the image must
// pick exactly the same entry for the same value.
#include "colormap.h"

#include <assert.h>
#include <math.h>

#include "colormap_tables.h"

const t_jrgba colormap_default_custom[COLORMAP_CUSTOM_STOPS] = {
    {0.0, 0.0, 0.0, 1.0},       // black
    {0.361, 0.039, 0.706, 1.0}, // violet
    {0.851, 0.118, 0.298, 1.0}, // crimson
    {1.0, 0.486, 0.0, 1.0},     // orange
    {1.0, 1.0, 1.0, 1.0},       // white
};

void colormap_params_set(t_colormap_params *p, double mag_min, double mag_max, long scheme,
                         const t_jrgba *custom)
{
    p->mag_min = mag_min;
    p->mag_max = mag_max;
    p->scheme = scheme;
    p->custom = custom ? custom : colormap_default_custom;
}

// Position of mag between the two ends, 0..1; NaN and values at or below
// mag_min give 0, values at or above mag_max give 1.
static double colormap_normalise(const t_colormap_params *p, float mag)
{
    const float lo = (float)p->mag_min;
    const float hi = (float)p->mag_max;
    const float t = (mag - lo) / (hi - lo);
    return t > 0.0f ? fmin((double)t, 1.0) : 0.0;
}

static void colormap_from_table(t_colormap_table table, double t, t_jrgba *color)
{
    int index = (int)(t * 255.0 + 0.5);
    if (index > COLORMAP_TABLE_SIZE - 1)
        index = COLORMAP_TABLE_SIZE - 1;
    color->red = table[index][0];
    color->green = table[index][1];
    color->blue = table[index][2];
    color->alpha = 1.0;
}

static float colormap_lerp(double a, double b, float f)
{
    const float fa = (float)a;
    const float fb = (float)b;
    return fa + (fb - fa) * f;
}

// Five-stop gradient: t in 0..1 spans four segments; t = 1 is the last stop.
static void colormap_from_stops(const t_jrgba *stops, double t, t_jrgba *color)
{
    const double v = t * 4.0;
    int k = (int)v;
    if (k > COLORMAP_CUSTOM_STOPS - 2)
        k = COLORMAP_CUSTOM_STOPS - 2;
    const float f = (float)(v - k);
    const t_jrgba *a = stops + k;
    const t_jrgba *b = a + 1;
    color->red = colormap_lerp(a->red, b->red, f);
    color->green = colormap_lerp(a->green, b->green, f);
    color->blue = colormap_lerp(a->blue, b->blue, f);
    color->alpha = colormap_lerp(a->alpha, b->alpha, f);
}

static void colormap_grey(double level, t_jrgba *color)
{
    color->red = level;
    color->green = level;
    color->blue = level;
    color->alpha = 1.0;
}

void colormap_magnitude_to_color(const t_colormap_params *p, t_jrgba *color, float mag)
{
    const double t = colormap_normalise(p, mag);
    const long scheme = p->scheme;

    if (scheme >= COLORMAP_ROSEUS && scheme <= COLORMAP_HOT) {
        colormap_from_table(colormapLUT[scheme], t, color);
        return;
    }
    if (scheme >= COLORMAP_ROSEUS + COLORMAP_INVERTED && scheme <= COLORMAP_HOT + COLORMAP_INVERTED) {
        colormap_from_table(colormapLUT[scheme - COLORMAP_INVERTED], 1.0 - t, color);
        return;
    }
    switch (scheme) {
    case COLORMAP_GREYSCALE:
        colormap_grey(t, color);
        break;
    case COLORMAP_GREYSCALE_INVERTED:
        colormap_grey(1.0 - t, color);
        break;
    case COLORMAP_CUSTOM:
        assert(p->custom);
        colormap_from_stops(p->custom, t, color);
        break;
    case COLORMAP_CUSTOM_INVERTED:
        assert(p->custom);
        colormap_from_stops(p->custom, 1.0 - t, color);
        break;
    default:
        color->red = color->green = color->blue = color->alpha = 1.0;
        break;
    }
}
