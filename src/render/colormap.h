// Colour mapping: one magnitude in dB to one colour record.
//
// A colour scheme is a value 0..19 of the color_scheme attribute: 0..7 the
// stored tables (Roseus, Viridis, Magma, Inferno, Plasma, Cividis, Turbo, Hot),
// 8 Greyscale, 9 Custom (a five-stop gradient), and 10..19 the same ten read
// the other way round.  A magnitude is normalised between mag_min and mag_max
// (dB) in single precision and clamped to 0..1; NaN and anything at or below
// mag_min give the lowest colour of the scheme.  Table and grey colours are
// opaque; the custom gradient interpolates alpha too.  Any other scheme value
// gives opaque white.
//
// The mapping runs once per pixel: it reads a small parameter record that the
// caller fills once per image (not per pixel), and it never allocates, locks or
// asks the host for anything.  spectrogram~ and gradix wrap it with their own
// ways of reading the parameters.
#pragma once

#include "jpatcher_api.h"

#define COLORMAP_SCHEME_COUNT 20

// The color_scheme attribute's menu, item n for scheme n.
#define COLORMAP_SCHEME_ENUM                                                                                 \
    "Roseus Viridis Magma Inferno Plasma Cividis Turbo Hot Greyscale Custom \"Roseus - Inverted\" "          \
    "\"Viridis - Inverted\" \"Magma - Inverted\" \"Inferno - Inverted\" \"Plasma - Inverted\" "              \
    "\"Cividis - Inverted\" \"Turbo - Inverted\" \"Hot - Inverted\" \"Greyscale - Inverted\" "               \
    "\"Custom - Inverted\""

#define COLORMAP_CUSTOM_STOPS 5

enum e_colormap_scheme {
    COLORMAP_ROSEUS = 0,
    COLORMAP_VIRIDIS,
    COLORMAP_MAGMA,
    COLORMAP_INFERNO,
    COLORMAP_PLASMA,
    COLORMAP_CIVIDIS,
    COLORMAP_TURBO,
    COLORMAP_HOT,
    COLORMAP_GREYSCALE,
    COLORMAP_CUSTOM,
    COLORMAP_INVERTED = 10, // add to any of the above for its inverted form
    COLORMAP_GREYSCALE_INVERTED = COLORMAP_GREYSCALE + COLORMAP_INVERTED,
    COLORMAP_CUSTOM_INVERTED = COLORMAP_CUSTOM + COLORMAP_INVERTED
};

typedef struct _colormap_params {
    double mag_min;        // dB, the magnitude of the lowest colour
    double mag_max;        // dB, the magnitude of the highest colour
    long scheme;           // colour scheme; outside 0..19 maps to white
    const t_jrgba *custom; // COLORMAP_CUSTOM_STOPS consecutive stops, low to high; borrowed
} t_colormap_params;

#ifdef __cplusplus
extern "C" {
#endif

// The default custom stops: black, violet, crimson, orange, white (opaque).
extern const t_jrgba colormap_default_custom[COLORMAP_CUSTOM_STOPS];

// Fills p from the values; custom (five consecutive stops, borrowed, must stay
// valid while p is used) may be null for the default stops.  Any thread.
void colormap_params_set(t_colormap_params *p, double mag_min, double mag_max, long scheme,
                         const t_jrgba *custom);

// Writes the colour of magnitude mag (dB) under p into *color, all four
// channels.  Pure: no lock, no allocation; any thread.
void colormap_magnitude_to_color(const t_colormap_params *p, t_jrgba *color, float mag);

#ifdef __cplusplus
}
#endif
