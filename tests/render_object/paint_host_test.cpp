// Painting a real spectrogram~ box: the image pooled from the box's own dB
// grid, surface sizes against box and grid, re-rendering without recreating
// the surface, row 0 at the bottom, the selection box (hatched or not, and
// turned back into values while dragged) and the drawn shapes.
#include "render_host_util.h"

#include <cmath>

namespace {

const long kFrames2000 = 1999 * 1024 + 2048; // 2000 analysis frames of 2048 at overlap 2
const long kFrames100 = 99 * 1024 + 2048;

// The cells pixel (px, py) of a w x h image pools over the whole view of x
// (py from the bottom), straight from the pooling rules.
float pooled(t_specgram *x, long w, long h, long px, long py)
{
    const long frames = (long)x->mags.num_frames, bins = (long)x->mags.num_bins;
    const double P = (double)frames / w, Q = (double)bins / h;
    long c_lo, c_hi, r_lo, r_hi;
    if (P >= 1) {
        c_lo = (long)(px * P);
        c_hi = std::min((long)((px + 1) * P), frames - 1);
    } else {
        c_lo = (long)(px / (1 / P));
        c_hi = std::min(c_lo + 1, frames - 1);
    }
    if (Q >= 1) {
        r_lo = (long)(py * Q);
        r_hi = std::min((long)((py + 1) * Q), bins - 1);
    } else {
        r_lo = r_hi = (long)(py * Q);
    }
    return grid_max(x, c_lo, c_hi, r_lo, r_hi);
}

Rgb8 picture_at(const maxhost::Image &img, long x, long y)
{
    return rgb_at(&img.rgba[(size_t)(y * img.width + x) * 4]);
}

// Pixels of the picture in a rectangle whose green clearly beats red (the selection colour).
int green_pixels(const maxhost::Image &img, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            const Rgb8 c = picture_at(img, x, y);
            n += c.g > c.r + 40;
        }
    return n;
}

int bright_pixels(const maxhost::Image &img, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            n += picture_at(img, x, y).r > 60;
    return n;
}

class PaintTest : public RenderHostTest {
protected:
    // A 2000-frame buffer of noise with a few loud tones, so every pixel's block differs.
    void make_noise_buffer(const char *name, long frames)
    {
        make_buffer(name, frames);
        unsigned state = 12345;
        fill_buffer(name, [&](long i) {
            state = state * 1664525u + 1013904223u;
            const float noise = ((float)(state >> 8) / 16777216.0f - 0.5f) * 0.01f;
            const float tone = (i / 20000) % 3 == 0 ? 0.5f * std::sin(0.03f * (float)i * (1 + i / 200000)) : 0.0f;
            return noise + tone;
        });
    }
};

TEST_F(PaintTest, TheImageIsTheBlockMaximaOfTheGridRowZeroAtTheBottom)
{
    make_noise_buffer("noise", kFrames2000);
    t_specgram *x = make_specgram("noise", 300, 100);
    ASSERT_EQ(x->mags.num_frames, 2000);
    ASSERT_EQ(x->mags.num_bins, 1025);
    const maxhost::Image img = paint(x);
    ASSERT_EQ(img.width, 300);
    ASSERT_EQ(img.height, 100);
    EXPECT_EQ(x->surface_width, 300.0);
    EXPECT_EQ(x->surface_height, 100.0);
    EXPECT_EQ(x->surface_dirty, 0);
    for (long px = 0; px < 300; px++)
        for (long py = 0; py < 100; py++)
            ASSERT_EQ(picture_at(img, px, 99 - py), expected_color(x, pooled(x, 300, 100, px, py)))
                << px << "," << py;
}

TEST_F(PaintTest, ANarrowBoxReadingBlockMaximaShowsTheSameMaximaAlsoAfterAnEdit)
{
    // 50 frames a pixel: most of each pixel's frames come from the
    // analysis' maxima of eight frames.
    make_noise_buffer("noise", kFrames2000);
    t_specgram *x = make_specgram("noise", 40, 100);
    auto expect_pooled = [&](const char *when) {
        const maxhost::Image img = paint(x);
        ASSERT_EQ(img.width, 40) << when;
        for (long px = 0; px < 40; px++)
            for (long py = 0; py < 100; py++)
                ASSERT_EQ(picture_at(img, px, 99 - py), expected_color(x, pooled(x, 40, 100, px, py)))
                    << when << ": " << px << "," << py;
    };
    expect_pooled("analysed");
    // The box's own edit re-analyses only the frames it changed.
    const double L = x->buffer_length_ms;
    send(x, 0, "list", {num(0), num(L), num(0), num(24000), num(L * 0.3), num(L * 0.4), num(0), num(24000)});
    send(x, 0, "edit_selection_gain", {num(-60)});
    maxhost::pump();
    expect_pooled("after an edit");
}

TEST_F(PaintTest, TheSurfaceNeverHasMorePixelsThanTheGrid)
{
    make_noise_buffer("short", kFrames100);
    t_specgram *x = make_specgram("short", 800, 100);
    const maxhost::Image img = paint(x);
    EXPECT_EQ(img.width, 800);
    EXPECT_EQ(x->surface_width, 100.0); // stretched to 800 on screen
    EXPECT_EQ(x->surface_height, 100.0);

    t_specgram *empty = make_specgram("", 300, 100); // the one-frame placeholder
    paint(empty);
    EXPECT_EQ(empty->surface_width, 1.0);
    EXPECT_EQ(empty->surface_height, 100.0);
}

TEST_F(PaintTest, RecolouringAndSameSizeResizingReuseTheSurface)
{
    make_noise_buffer("short", kFrames100);
    t_specgram *x = make_specgram("short", 800, 100);
    const maxhost::Image before = paint(x);
    t_jsurface *surface = x->surface;

    set_attr(x, "color_scheme", {lng(COLORMAP_HOT)});
    const maxhost::Image hot = paint(x);
    EXPECT_EQ(x->surface, surface);
    EXPECT_EQ(x->surface_dirty, 0);
    EXPECT_NE(before.rgba, hot.rgba);
    t_jrgba c;
    jgraphics_image_surface_get_pixel(x->surface, 51, 50, &c);
    const Rgb8 got{(int)std::lround(c.red * 255), (int)std::lround(c.green * 255), (int)std::lround(c.blue * 255)};
    EXPECT_EQ(got, expected_color(x, pooled(x, 100, 100, 51, 49)));

    maxhost::box_set_size((t_object *)x, 900, 100);
    maxhost::pump();
    const maxhost::Image wider = paint(x);
    EXPECT_EQ(wider.width, 900);
    EXPECT_EQ(x->box_width, 900.0);
    EXPECT_EQ(x->surface, surface);
    EXPECT_EQ(x->surface_dirty, 0);

    maxhost::box_set_size((t_object *)x, 60, 100); // fewer pixels than columns: a new surface
    maxhost::pump();
    paint(x);
    EXPECT_EQ(x->surface_width, 60.0);
}

TEST_F(PaintTest, LowFrequenciesAreAtTheBottom)
{
    make_buffer("tone", kFrames2000);
    fill_buffer("tone", [](long i) { return 0.5f * std::sin(2.0f * (float)M_PI * 1000.0f * (float)i / 48000.0f); });
    t_specgram *x = make_specgram("tone", 300, 100, {{"mag_scale", {lng(0)}}, {"color_scheme", {lng(8)}}});
    const maxhost::Image img = paint(x);
    long brightest = 0;
    for (long y = 0; y < 100; y++)
        if (picture_at(img, 150, y).r > picture_at(img, 150, brightest).r)
            brightest = y;
    EXPECT_NEAR((double)brightest, 99.0 - 1000.0 / 24000.0 * 99.0, 1.5);
}

TEST_F(PaintTest, TheSelectionBoxIsCrossHatchedOnlyWhenInverted)
{
    make_buffer("quiet", kFrames2000);
    t_specgram *x = make_specgram("quiet", 300, 100,
                                  {{"color_scheme", {lng(8)}}, {"mag_scale", {lng(0)}},
                                   {"selection_linecolor", {num(0), num(1), num(0), num(1)}}});
    const double L = x->buffer_length_ms;
    send(x, 5, "float", {num(0.75 * L)});
    send(x, 4, "float", {num(0.25 * L)});
    send(x, 7, "float", {num(18000.0)});
    send(x, 6, "float", {num(6000.0)});
    const maxhost::Image plain = paint(x);
    t_rect box;
    specgram_selection_box(x, 300, 100, &box);
    EXPECT_NEAR(box.x, 75.0, 1e-6);
    EXPECT_NEAR(box.width, 150.0, 1e-6);
    EXPECT_GT(green_pixels(plain, 70, 20, 80, 80), 20);  // the left edge
    EXPECT_EQ(green_pixels(plain, 85, 35, 215, 65), 0);  // an empty inside

    set_attr(x, "edit_inverted", {lng(1)});
    const maxhost::Image hatched = paint(x);
    EXPECT_GT(green_pixels(hatched, 85, 35, 215, 65), 200);
    EXPECT_EQ(green_pixels(hatched, 0, 0, 70, 100), 0);   // hatching stays inside the box
    EXPECT_EQ(green_pixels(hatched, 230, 0, 300, 100), 0);
}

TEST_F(PaintTest, ADragSetsAndReportsTheSelectionAndPaintingOnlyShowsIt)
{
    make_buffer("quiet", kFrames2000);
    t_specgram *x = make_specgram("quiet", 300, 100, {{"mag_scale", {lng(0)}}});
    maxhost::mouse((t_object *)x, maxhost::Mouse::down, 30, 20, 0);
    maxhost::pump();
    outlet_messages = 0;
    maxhost::mouse((t_object *)x, maxhost::Mouse::drag, 150, 70, 0);
    EXPECT_EQ(outlet_messages, 10); // the eight values, the Link Out list, the mouse data
    maxhost::pump();
    outlet_messages = 0;
    paint(x);
    EXPECT_EQ(outlet_messages, 0) << "painting during a drag sent something out";

    const double L = x->buffer_length_ms;
    const float *edges = specmags_current_edges(&x->mags);
    const double n = 1025.0;
    EXPECT_DOUBLE_EQ(x->selection_start, (double)(float)(30.0 / 300.0 * L));
    EXPECT_DOUBLE_EQ(x->selection_end, (double)(float)(150.0 / 300.0 * L));
    EXPECT_DOUBLE_EQ(x->selection_low, edges[std::lround((1.0 - 70.0 / 99.0) * n)]);
    EXPECT_DOUBLE_EQ(x->selection_high, edges[std::lround((1.0 - 20.0 / 99.0) * n)]);

    maxhost::mouse((t_object *)x, maxhost::Mouse::up, 150, 70, 0);
    maxhost::pump();
    const double start = x->selection_start;
    set_attr(x, "selection_linewidth", {num(3.0)}); // repaints the selection layer
    outlet_messages = 0;
    paint(x);
    EXPECT_EQ(outlet_messages, 0);
    EXPECT_EQ(x->selection_start, start);
}

TEST_F(PaintTest, ASelectionFromLinkInRepaintsTheSamePictureAsAFullRepaint)
{
    make_noise_buffer("noisy", kFrames2000);
    t_specgram *x = make_specgram("noisy", 300, 100,
                                  {{"selection_linewidth", {num(2.0)}}, {"selection_linecolor", {num(0), num(1), num(0), num(1)}},
                                   {"freq_text", {lng(1)}}, {"time_text", {lng(1)}}});
    paint(x);
    const double L = x->buffer_length_ms;
    std::vector<t_atom> link = {num(0), num(L), num(0), num(24000), num(L * 0.2), num(L * 0.6), num(1000), num(8000)};
    send(x, 8, "list", link);
    EXPECT_EQ(x->surface_dirty, 0) << "a new selection re-renders no image";
    const maxhost::Image after_link = paint(x);
    jbox_invalidate_layer((t_object *)x, nullptr, nullptr); // every layer drawn afresh
    const maxhost::Image full = paint(x);
    EXPECT_EQ(after_link.rgba, full.rgba);
    EXPECT_GT(green_pixels(after_link, 0, 0, 300, 100), 100) << "the new selection box is drawn";

    // A view change with it still re-renders the image.
    link[0] = num(L * 0.1);
    link[1] = num(L * 0.5);
    send(x, 8, "list", link);
    const maxhost::Image zoomed = paint(x);
    jbox_invalidate_layer((t_object *)x, nullptr, nullptr);
    EXPECT_NE(zoomed.rgba, full.rgba);
    EXPECT_EQ(zoomed.rgba, paint(x).rgba);
}

TEST_F(PaintTest, ShapesAreOpenWhileDrawnAndHatchedWhenInverted)
{
    make_buffer("quiet", kFrames2000);
    t_specgram *x = make_specgram("quiet", 300, 100, {{"color_scheme", {lng(8)}}, {"mouse_mode", {lng(2)}}});
    maxhost::mouse((t_object *)x, maxhost::Mouse::down, 50, 80, 0);
    maxhost::mouse((t_object *)x, maxhost::Mouse::drag, 250, 80, 0);
    maxhost::mouse((t_object *)x, maxhost::Mouse::drag, 150, 10, 0);
    maxhost::pump();
    ASSERT_EQ(x->shape_count, 1);
    const maxhost::Image drawing = paint(x);
    EXPECT_GT(bright_pixels(drawing, 145, 76, 155, 84), 0);  // the first edge
    EXPECT_EQ(bright_pixels(drawing, 95, 40, 105, 50), 0);   // no closing edge yet

    maxhost::mouse((t_object *)x, maxhost::Mouse::up, 150, 10, 0);
    maxhost::pump();
    const maxhost::Image closed = paint(x);
    EXPECT_GT(bright_pixels(closed, 95, 40, 105, 50), 0);
    EXPECT_EQ(bright_pixels(closed, 130, 50, 170, 70), 0);

    set_attr(x, "edit_inverted", {lng(1)});
    const maxhost::Image hatched = paint(x);
    EXPECT_GT(bright_pixels(hatched, 130, 50, 170, 70), 20);
    EXPECT_EQ(bright_pixels(hatched, 0, 0, 40, 100), 0);
}

} // namespace
