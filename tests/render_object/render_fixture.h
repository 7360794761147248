// A spectrogram~ record outside any box, for the white-box tests of the
// rendering helpers: a hand-made dB grid on the Lin scale (edges spaced
// evenly up to the Nyquist frequency), or a real analysis state, and a few
// readers for surfaces.
#pragma once

#include "specgram_render_internal.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

struct RecordDeleter {
    void operator()(t_specgram *x) const
    {
        specmags_cleanup(&x->mags);
        ::operator delete(x);
    }
};
using RecordPtr = std::unique_ptr<t_specgram, RecordDeleter>;

// A cleared record with the attribute defaults that rendering reads.
inline RecordPtr make_record()
{
    t_specgram *x = static_cast<t_specgram *>(::operator new(sizeof(t_specgram)));
    std::memset(static_cast<void *>(x), 0, sizeof(t_specgram));
    x->mag_min = -100.0;
    x->mag_max = 0.0;
    x->color_scheme = COLORMAP_GREYSCALE;
    x->textsize = 12;
    x->time_format = LABELS_TIME_SECONDS;
    jrgba_set(&x->textcolor, 1, 1, 1, 1);
    jrgba_set(&x->draw_linecolor, 1, 1, 1, 1);
    jrgba_set(&x->selection_linecolor, 0, 1, 0, 1);
    x->draw_linewidth = 2.0;
    x->selection_linewidth = 2.0;
    return RecordPtr(x);
}

// A hand-made grid: frames x bins cells, Lin edges up to sample_rate / 2,
// the view on the whole of it.  The record borrows the fixture's arrays.
struct GridRecord {
    RecordPtr x = make_record();
    std::vector<float> db;
    std::vector<float> edges;

    GridRecord(long frames, long bins, double sample_rate = 44100.0, float fill = -100.0f)
        : db((size_t)(frames * bins), fill), edges((size_t)bins + 1)
    {
        for (long i = 0; i <= bins; i++)
            edges[(size_t)i] = (float)((double)i * (sample_rate * 0.5) / (double)bins);
        t_specmags &m = x->mags;
        m.num_frames = frames;
        m.num_bins = bins;
        m.mags_db = db.data();
        m.lin_edges = m.mel_edges = m.log_edges = m.bark_edges = m.erb_edges = edges.data();
        m.fft_mag_scale = SPECMAGS_SCALE_LIN;
        m.sample_rate = sample_rate;
        x->sample_rate = sample_rate;
        x->buffer_length_ms = 1000.0;
        x->display_start = 0.0;
        x->display_length = 1000.0;
        x->display_low = 0.0;
        x->display_high = sample_rate * 0.5;
    }
    ~GridRecord()
    {
        std::memset(static_cast<void *>(&x->mags), 0, sizeof(t_specmags)); // the arrays are ours
    }
    float &cell(long frame, long row) { return db[(size_t)(frame * x->mags.num_bins + row)]; }
};

struct SurfaceDeleter {
    void operator()(t_jsurface *s) const { jgraphics_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<t_jsurface, SurfaceDeleter>;

inline SurfacePtr make_surface(int width, int height)
{
    return SurfacePtr(jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, width, height));
}

// A colour component as the surface stores it: a byte, rounded.
inline int component_byte(double c)
{
    if (!(c > 0.0))
        return 0;
    return c >= 1.0 ? 255 : (int)(c * 255.0 + 0.5);
}

inline int pixel_red(t_jsurface *s, int px, int py)
{
    t_jrgba c;
    jgraphics_image_surface_get_pixel(s, px, py, &c);
    return (int)std::lround(c.red * 255.0);
}

inline double pixel_alpha(t_jsurface *s, int px, int py)
{
    t_jrgba c;
    jgraphics_image_surface_get_pixel(s, px, py, &c);
    return c.alpha;
}
