// The plain drawing backend where it differs in kind from cairo: the
// coverage rasteriser (partial pixels, winding, stroke joins), bilinear
// shrinking, and the built-in font's drawing and metrics.  The behaviour
// both backends share is checked by the host_graphics tests, which this
// build runs too.
#include "graphics_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Canvas
{
    SurfacePtr surface;
    GraphicsPtr g;
    Canvas(int w, int h) : surface(make_surface(w, h)), g(jgraphics_create(surface.get())) {}
    Rgba8 at(int x, int y) const { return pixel(surface.get(), x, y); }
    // The bounding box of every touched pixel: x0, y0, x1, y1 (exclusive).
    std::vector<int> ink() const
    {
        std::vector<int> box{1 << 30, 1 << 30, -1, -1};
        for (int y = 0; y < jgraphics_image_surface_get_height(surface.get()); ++y)
            for (int x = 0; x < jgraphics_image_surface_get_width(surface.get()); ++x)
                if (at(x, y).a) {
                    box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1),
                           std::max(box[3], y + 1)};
                }
        return box;
    }
};

void rect_path(t_jgraphics *g, double x0, double y0, double x1, double y1, bool clockwise)
{
    jgraphics_move_to(g, x0, y0);
    if (clockwise) {
        jgraphics_line_to(g, x1, y0);
        jgraphics_line_to(g, x1, y1);
        jgraphics_line_to(g, x0, y1);
    } else {
        jgraphics_line_to(g, x0, y1);
        jgraphics_line_to(g, x1, y1);
        jgraphics_line_to(g, x1, y0);
    }
    jgraphics_close_path(g);
}

} // namespace

TEST(PlainRaster, PartialPixelsAreCoveredByArea)
{
    Canvas c(10, 10);
    jgraphics_set_source_rgb(c.g.get(), 0, 0, 1);
    jgraphics_rectangle(c.g.get(), 2.5, 2, 3, 4.5); // x 2.5..5.5, y 2..6.5
    jgraphics_fill(c.g.get());
    EXPECT_EQ(c.at(3, 3), kBlue);
    EXPECT_EQ(c.at(2, 3), (Rgba8{0, 0, 255, 128})); // half a pixel wide
    EXPECT_EQ(c.at(5, 3), (Rgba8{0, 0, 255, 128}));
    EXPECT_EQ(c.at(3, 6), (Rgba8{0, 0, 255, 128})); // half a pixel tall
    EXPECT_EQ(c.at(2, 6), (Rgba8{0, 0, 255, 64}));  // a quarter
    EXPECT_EQ(c.at(1, 3), kClear);
    EXPECT_EQ(c.at(3, 7), kClear);
    EXPECT_EQ(c.ink(), (std::vector<int>{2, 2, 6, 7}));
}

TEST(PlainRaster, NonZeroWindingAndAlphaOver)
{
    Canvas c(20, 10);
    fill_surface(c.surface.get(), t_jrgba{0, 0, 1, 1});
    jgraphics_set_source_rgba(c.g.get(), 1, 0, 0, 0.5);
    rect_path(c.g.get(), 0, 0, 10, 10, true);
    rect_path(c.g.get(), 5, 0, 15, 10, true);  // overlaps the first: filled once
    rect_path(c.g.get(), 2, 2, 4, 4, false);   // wound the other way: a hole
    jgraphics_fill(c.g.get());
    EXPECT_EQ(c.at(1, 1), (Rgba8{128, 0, 127, 255}));
    EXPECT_EQ(c.at(7, 5), (Rgba8{128, 0, 127, 255})); // not darker where they overlap
    EXPECT_EQ(c.at(3, 3), kBlue);
    EXPECT_EQ(c.at(17, 5), kBlue);
}

TEST(PlainRaster, StrokesHaveButtEndsAndMitredCorners)
{
    Canvas c(20, 20);
    jgraphics_set_source_rgb(c.g.get(), 1, 1, 1);
    jgraphics_set_line_width(c.g.get(), 2);
    rect_path(c.g.get(), 4, 4, 14, 14, true);
    jgraphics_stroke(c.g.get());
    EXPECT_EQ(c.at(3, 3), kWhite); // the corner square is filled by the mitre
    EXPECT_EQ(c.at(14, 14), kWhite);
    EXPECT_EQ(c.at(9, 4), kWhite);
    EXPECT_EQ(c.at(9, 9), kClear);
    EXPECT_EQ(c.ink(), (std::vector<int>{3, 3, 15, 15}));

    Canvas open(20, 20);
    jgraphics_set_source_rgb(open.g.get(), 1, 1, 1);
    jgraphics_set_line_width(open.g.get(), 1);
    jgraphics_move_to(open.g.get(), 2, 5.5);
    jgraphics_line_to(open.g.get(), 12, 5.5);
    jgraphics_stroke(open.g.get());
    EXPECT_EQ(open.ink(), (std::vector<int>{2, 5, 12, 6})); // no caps past the ends
    EXPECT_EQ(open.at(7, 5), kWhite);
}

TEST(PlainRaster, SharpTurnsAreBevelled)
{
    Canvas c(40, 40);
    jgraphics_set_source_rgb(c.g.get(), 1, 1, 1);
    jgraphics_set_line_width(c.g.get(), 4);
    jgraphics_move_to(c.g.get(), 5, 20);
    jgraphics_line_to(c.g.get(), 35, 21);
    jgraphics_line_to(c.g.get(), 5, 22);
    jgraphics_stroke(c.g.get());
    EXPECT_EQ(c.at(20, 21), kWhite);
    EXPECT_LE(c.ink()[2], 38); // a mitre would reach far past the turn
}

TEST(PlainRaster, FarOffCoordinatesStillDraw)
{
    Canvas c(8, 8);
    jgraphics_set_source_rgb(c.g.get(), 1, 0, 0);
    rect_path(c.g.get(), -1e30, -1e30, 1e30, 4, true); // everything above y = 4
    jgraphics_fill(c.g.get());
    EXPECT_EQ(c.at(0, 0), kRed);
    EXPECT_EQ(c.at(7, 3), kRed);
    EXPECT_EQ(c.at(7, 4), kClear);

    SurfacePtr src = make_surface(2, 1);
    jgraphics_image_surface_set_pixel(src.get(), 0, 0, t_jrgba{0, 0, 1, 1});
    jgraphics_image_surface_set_pixel(src.get(), 1, 0, t_jrgba{1, 1, 1, 1});
    jgraphics_image_surface_draw(c.g.get(), src.get(), t_rect{0, 0, 2, 1}, t_rect{-1e300, 4, 4e300, 1e300});
    EXPECT_EQ(c.at(0, 5), kBlue); // the left half reaches far past the canvas
    EXPECT_EQ(c.at(7, 7), kBlue);
}

TEST(PlainImages, ShrinkingInterpolates)
{
    SurfacePtr src = make_surface(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            jgraphics_image_surface_set_pixel(src.get(), x, y, (x + y) % 2 ? t_jrgba{1, 1, 1, 1} : t_jrgba{0, 0, 0, 1});
    Canvas c(4, 4);
    jgraphics_image_surface_draw(c.g.get(), src.get(), t_rect{0, 0, 8, 8}, t_rect{0, 0, 4, 4});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(c.at(x, y), (Rgba8{128, 128, 128, 255})) << x << "," << y;
}

TEST(PlainText, MeasuresAreFixedPerCharacterAndSize)
{
    Canvas c(10, 10);
    double w1 = 0, h1 = 0, w2 = 0, h2 = 0, w3 = 0, h3 = 0;
    jgraphics_text_measure(c.g.get(), "10 kHz", &w1, &h1);
    jgraphics_text_measure(c.g.get(), "10 kHz", &w2, &h2);
    EXPECT_EQ(w1, w2);
    EXPECT_EQ(h1, h2);
    EXPECT_NEAR(w1, 6 * 6.0, 1e-9); // Arial 10 by default: 0.6 of the size per character
    EXPECT_NEAR(h1, 11.17, 1e-9);
    jgraphics_select_font_face(c.g.get(), "Courier", JGRAPHICS_FONT_SLANT_ITALIC, JGRAPHICS_FONT_WEIGHT_BOLD);
    jgraphics_set_font_size(c.g.get(), 20);
    jgraphics_text_measure(c.g.get(), "-3 dB\xe2\x80\x93\xff", &w3, &h3); // a dash and a stray byte: one box each
    EXPECT_NEAR(w3, 7 * 12.0, 1e-9);
    EXPECT_NEAR(h3, 2 * h1, 1e-9);
    jgraphics_text_measure(c.g.get(), "", &w3, &h3);
    EXPECT_EQ(w3, 0);
    EXPECT_NEAR(h3, 2 * h1, 1e-9);
}

TEST(PlainText, GlyphsStandOnTheBaselineWithinTheirAdvance)
{
    Canvas c(80, 30);
    jgraphics_set_source_rgb(c.g.get(), 1, 1, 1);
    jgraphics_set_font_size(c.g.get(), 14);
    jgraphics_move_to(c.g.get(), 10, 20);
    jgraphics_show_text(c.g.get(), "HH");
    std::vector<int> ink = c.ink();
    EXPECT_EQ(ink[0], 10);
    EXPECT_EQ(ink[3], 20);           // nothing below the baseline
    EXPECT_EQ(ink[1], 20 - 10);      // capitals are 0.716 of the size tall
    EXPECT_LE(ink[2], 10 + 2 * 8.4); // within two advances
    EXPECT_EQ(c.at(10, 15), kWhite); // the H's left stem
    EXPECT_EQ(c.at(12, 12), kClear); // its open top

    // The current point moved to the end: more text continues there.
    jgraphics_show_text(c.g.get(), "y");
    ink = c.ink();
    EXPECT_GT(ink[2], 10 + 2 * 8);
    EXPECT_GT(ink[3], 20); // y's tail hangs below the baseline
}
