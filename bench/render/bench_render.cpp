// bench-render: cost of the spectrogram~ image for a 10-minute buffer at
// 48 kHz (28124 analysis frames of 1025 rows) in a 1200 x 400 box, whole
// view (a 1200 x 400 surface, about 24 x 3.6 cells pooled per pixel).
//
// Figures, each the median of several runs:
//   - re-render: the rendering routine the box uses, on the box's own grid
//     and surface (block bounds, block maxima, colour, pixels);
//   - bare pass: the same block maxima read frame by frame with nothing
//     else done, what a re-render would cost without the analysis' block
//     maxima and with nothing but the reads;
//   - repaint: a colour-scheme change through the host, up to the painted box;
//   - mag_scale change: the attribute set through the host, re-analysis,
//     re-render and paint, end to end.
#include "maxhost.h"
#include "specgram_render_internal.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

const double kRate = 48000.0;
const long kFrames = 10 * 60 * 48000;
const int kRuns = 7;

double now_ms()
{
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double, std::milli>(clock::now().time_since_epoch()).count();
}

double median_ms(int runs, const std::function<void()> &fn)
{
    std::vector<double> t;
    for (int i = 0; i < runs; i++) {
        const double start = now_ms();
        fn();
        t.push_back(now_ms() - start);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

t_atom long_atom(long v)
{
    t_atom a;
    atom_setlong(&a, v);
    return a;
}

t_object *make_buffer(t_object *patcher)
{
    maxhost::BoxSpec spec;
    spec.maxclass = "newobj";
    spec.text = "buffer~ bench 1000 1";
    t_object *box = maxhost::box_new(patcher, spec);
    t_atom n = long_atom(kFrames);
    maxhost::send(box, 0, gensym("sizeinsamps"), 1, &n);
    t_object *b = maxhost::find_buffer("bench");
    float *p = b ? buffer_locksamples(b) : nullptr;
    if (!p)
        return nullptr;
    unsigned state = 1;
    for (long i = 0; i < kFrames; i++) {
        state = state * 1664525u + 1013904223u;
        const double t = (double)i / kRate;
        p[i] = (float)(0.01 * ((double)(state >> 8) / 16777216.0 - 0.5) +
                       0.3 * std::sin(2.0 * M_PI * (200.0 + 20.0 * t) * t));
    }
    buffer_setdirty(b);
    buffer_unlocksamples(b);
    maxhost::pump();
    return box;
}

// Block maxima of the whole view read frame by frame (without the
// analysis' block maxima), nothing else: returns their sum.
double bare_pass(t_specgram *x, const t_specgram_block &b, long w, long h)
{
    std::vector<t_specgram_span> cols((size_t)w), rows((size_t)h);
    std::vector<float> maxima((size_t)h), row_max((size_t)x->mags.num_bins);
    specgram_pool_spans(b.c0, b.c1, (long)x->mags.num_frames, w, SPECGRAM_POOL_COLUMNS, cols.data());
    specgram_pool_spans(b.r0, b.r1, (long)x->mags.num_bins, h, SPECGRAM_POOL_ROWS, rows.data());
    double sum = 0;
    for (long px = 0; px < w; px++) {
        specgram_pool_column(x->mags.mags_db, nullptr, (long)x->mags.num_bins, cols[(size_t)px], rows.data(), h,
                             row_max.data(), maxima.data());
        for (float m : maxima)
            sum += m;
    }
    return sum;
}

} // namespace

int main()
{
    maxhost::set_console_sink([](const maxhost::ConsoleLine &) {});
    std::string err;
    if (!maxhost::load_external("spectrogram~", &err)) {
        fprintf(stderr, "bench-render: %s\n", err.c_str());
        return 1;
    }
    t_object *patcher = maxhost::patcher_new("");
    if (!make_buffer(patcher)) {
        fprintf(stderr, "bench-render: no buffer~\n");
        return 1;
    }

    double start = now_ms();
    maxhost::BoxSpec spec;
    spec.maxclass = "spectrogram~";
    spec.rect = {0, 0, 1200, 400};
    t_atom name;
    atom_setsym(&name, gensym("bench"));
    spec.attrs = {{"buffer_name", {name}}};
    t_specgram *x = (t_specgram *)maxhost::box_new(patcher, spec);
    maxhost::pump();
    maxhost::Image img;
    maxhost::paint_box((t_object *)x, &img);
    const double create_ms = now_ms() - start;

    const long w = (long)x->surface_width, h = (long)x->surface_height;
    const t_specgram_block block = {0, (long)x->mags.num_frames - 1, 0, (long)x->mags.num_bins - 1};
    printf("bench-render: %ld frames x %ld rows, box 1200 x 400, surface %ld x %ld\n", (long)x->mags.num_frames,
           (long)x->mags.num_bins, w, h);
    printf("  box creation (analysis, first paint)   %9.1f ms\n", create_ms);

    const double render_ms = median_ms(kRuns, [&] {
        critical_enter(x->lock);
        specgram_render_block(x, &block, x->surface, w, h, 1);
        critical_exit(x->lock);
    });
    double sink = 0;
    const double bare_ms = median_ms(kRuns, [&] { sink += bare_pass(x, block, w, h); });
    printf("  surface re-render                       %9.2f ms\n", render_ms);
    printf("  bare pass over the same block maxima    %9.2f ms  (re-render / bare %.2f)\n", bare_ms,
           render_ms / bare_ms);

    long scheme = 0;
    const double repaint_ms = median_ms(kRuns, [&] {
        scheme = 1 - scheme;
        maxhost::attr_set((t_object *)x, "color_scheme", {long_atom(scheme)});
        maxhost::pump();
        maxhost::paint_box((t_object *)x, &img);
    });
    printf("  color_scheme change, re-render + paint  %9.2f ms\n", repaint_ms);

    long scale = 1;
    const double scale_ms = median_ms(3, [&] {
        scale = scale == 1 ? 0 : 1;
        maxhost::attr_set((t_object *)x, "mag_scale", {long_atom(scale)});
        maxhost::pump();
        maxhost::paint_box((t_object *)x, &img);
    });
    printf("  mag_scale change end to end             %9.1f ms\n", scale_ms);
    printf("  (checksum %.0f)\n", sink);

    maxhost::patcher_free(patcher);
    maxhost::pump();
    return 0;
}
