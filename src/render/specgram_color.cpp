// Colour of one magnitude for spectrogram~: the record's dB range, colour
// scheme and custom stops handed to the shared colour-map core.  Painters
// that colour a whole image fill the parameters once with
// specgram_colormap_params and call the core per pixel; the single-value
// wrapper is for callers that colour one cell.
#include "specgram_render_internal.h"

void specgram_colormap_params(const t_specgram *x, t_colormap_params *p)
{
    // custom_color1..5 follow one another in the record: the five stops
    colormap_params_set(p, x->mag_min, x->mag_max, x->color_scheme, &x->custom_color1);
}

void specgram_magnitude_to_color(t_specgram *x, t_jrgba *color, float mag)
{
    t_colormap_params p;
    specgram_colormap_params(x, &p);
    colormap_magnitude_to_color(&p, color, mag);
}
