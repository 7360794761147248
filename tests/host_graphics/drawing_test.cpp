// Drawing contexts: scaled surface drawing, the unantialiased fast
// rectangles, clipping, paths and sources, checked pixel by pixel.
#include "graphics_test_util.h"

#include <gtest/gtest.h>

namespace {

struct Canvas
{
    SurfacePtr surface;
    GraphicsPtr g;
    explicit Canvas(int w, int h) : surface(make_surface(w, h)), g(jgraphics_create(surface.get())) {}
    Rgba8 at(int x, int y) const { return pixel(surface.get(), x, y); }
    // True when every pixel is either fully transparent or fully opaque.
    bool crisp() const
    {
        for (int y = 0; y < jgraphics_image_surface_get_height(surface.get()); ++y)
            for (int x = 0; x < jgraphics_image_surface_get_width(surface.get()); ++x)
                if (at(x, y).a != 0 && at(x, y).a != 255)
                    return false;
        return true;
    }
    int count_opaque() const
    {
        int n = 0;
        for (int y = 0; y < jgraphics_image_surface_get_height(surface.get()); ++y)
            for (int x = 0; x < jgraphics_image_surface_get_width(surface.get()); ++x)
                n += at(x, y).a == 255;
        return n;
    }
};

} // namespace

TEST(ImageDraw, StretchesTwoPixelsIntoTwoCrispHalves)
{
    SurfacePtr src = make_surface(2, 1);
    ASSERT_TRUE(src);
    jgraphics_image_surface_set_pixel(src.get(), 0, 0, t_jrgba{1, 0, 0, 1});
    jgraphics_image_surface_set_pixel(src.get(), 1, 0, t_jrgba{0, 0, 1, 1});
    Canvas c(200, 100);
    ASSERT_TRUE(c.g);
    jgraphics_image_surface_draw(c.g.get(), src.get(), t_rect{0, 0, 2, 1}, t_rect{0, 0, 200, 100});
    for (int y : {0, 50, 99}) {
        for (int x : {0, 50, 99})
            EXPECT_EQ(c.at(x, y), kRed) << x << "," << y;
        for (int x : {100, 150, 199})
            EXPECT_EQ(c.at(x, y), kBlue) << x << "," << y;
    }
}

TEST(ImageDraw, SourceRectangleSelectsPartOfTheSurface)
{
    SurfacePtr src = make_surface(2, 1);
    ASSERT_TRUE(src);
    jgraphics_image_surface_set_pixel(src.get(), 0, 0, t_jrgba{1, 0, 0, 1});
    jgraphics_image_surface_set_pixel(src.get(), 1, 0, t_jrgba{0, 0, 1, 1});
    Canvas c(40, 40);
    jgraphics_image_surface_draw(c.g.get(), src.get(), t_rect{1, 0, 1, 1}, t_rect{10, 10, 20, 20});
    EXPECT_EQ(c.at(10, 10), kBlue);
    EXPECT_EQ(c.at(29, 29), kBlue);
    EXPECT_EQ(c.at(9, 10), kClear);
    EXPECT_EQ(c.at(30, 29), kClear);
    EXPECT_EQ(c.count_opaque(), 400);
}

TEST(ImageDraw, DegenerateRectanglesDrawNothingAndKeepTheContextUsable)
{
    SurfacePtr src = make_surface(1, 1);
    jgraphics_image_surface_set_pixel(src.get(), 0, 0, t_jrgba{1, 0, 0, 1});
    Canvas c(10, 10);
    jgraphics_image_surface_draw(c.g.get(), src.get(), t_rect{0, 0, 0, 1}, t_rect{0, 0, 10, 10});
    jgraphics_image_surface_draw(c.g.get(), src.get(), t_rect{0, 0, 1, 1}, t_rect{0, 0, -10, 10});
    jgraphics_image_surface_draw(c.g.get(), src.get(), t_rect{0, 0, 1e-320, 1}, t_rect{0, 0, 10, 10});
    jgraphics_image_surface_draw(c.g.get(), src.get(), t_rect{NAN, 0, 1, 1}, t_rect{0, 0, 10, 10});
    jgraphics_image_surface_draw(c.g.get(), nullptr, t_rect{0, 0, 1, 1}, t_rect{0, 0, 10, 10});
    jgraphics_image_surface_draw(nullptr, src.get(), t_rect{0, 0, 1, 1}, t_rect{0, 0, 10, 10});
    EXPECT_EQ(c.count_opaque(), 0);
    jgraphics_set_source_rgb(c.g.get(), 0, 0, 1);
    jgraphics_rectangle(c.g.get(), 0, 0, 10, 10);
    jgraphics_fill(c.g.get());
    EXPECT_EQ(c.at(5, 5), kBlue);
}

TEST(FastRectangles, OutlineIsBorderPixelsThickInsideTheRectangle)
{
    Canvas c(20, 20);
    jgraphics_set_source_rgb(c.g.get(), 1, 0, 0);
    jgraphics_rectangle_draw_fast(c.g.get(), 2, 3, 10, 8, 2); // covers x 2..11, y 3..10
    for (int x = 2; x <= 11; ++x) {
        EXPECT_EQ(c.at(x, 3), kRed) << x;
        EXPECT_EQ(c.at(x, 4), kRed) << x;
        EXPECT_EQ(c.at(x, 9), kRed) << x;
        EXPECT_EQ(c.at(x, 10), kRed) << x;
    }
    for (int y = 3; y <= 10; ++y) {
        EXPECT_EQ(c.at(2, y), kRed) << y;
        EXPECT_EQ(c.at(3, y), kRed) << y;
        EXPECT_EQ(c.at(10, y), kRed) << y;
        EXPECT_EQ(c.at(11, y), kRed) << y;
    }
    EXPECT_EQ(c.at(4, 5), kClear);
    EXPECT_EQ(c.at(9, 8), kClear);
    EXPECT_EQ(c.at(1, 3), kClear);
    EXPECT_EQ(c.at(12, 10), kClear);
    EXPECT_EQ(c.at(2, 11), kClear);
    EXPECT_EQ(c.count_opaque(), 10 * 8 - 6 * 4);
    EXPECT_TRUE(c.crisp());
}

TEST(FastRectangles, FractionalGeometryStaysCrisp)
{
    Canvas c(20, 20);
    jgraphics_set_source_rgba(c.g.get(), 0, 0, 1, 1);
    jgraphics_rectangle_draw_fast(c.g.get(), 1.3, 1.6, 9.5, 7.2, 0.4);
    jgraphics_rectangle_fill_fast(c.g.get(), 12.2, 12.7, 4.4, 3.9);
    EXPECT_TRUE(c.crisp());
    EXPECT_EQ(c.at(1, 2), kBlue); // a thin border still shows one pixel
    EXPECT_EQ(c.at(12, 13), kBlue);
    EXPECT_EQ(c.at(16, 16), kBlue);
    EXPECT_EQ(c.at(17, 16), kClear);
}

TEST(FastRectangles, LeaveTheCurrentPathAlone)
{
    Canvas c(20, 20);
    jgraphics_rectangle(c.g.get(), 15, 15, 3, 3);
    jgraphics_set_source_rgb(c.g.get(), 1, 0, 0);
    jgraphics_rectangle_draw_fast(c.g.get(), 0, 0, 10, 10, 1);
    jgraphics_rectangle_fill_fast(c.g.get(), 3, 3, 2, 2);
    jgraphics_clip(c.g.get(), 0, 0, 20, 20);
    jgraphics_set_source_rgb(c.g.get(), 0, 0, 1);
    jgraphics_fill(c.g.get()); // fills the rectangle built before the fast calls
    EXPECT_EQ(c.at(16, 16), kBlue);
    EXPECT_EQ(c.at(0, 0), kRed);
    EXPECT_EQ(c.at(3, 3), kRed);
    EXPECT_EQ(c.at(5, 5), kClear);
    EXPECT_EQ(c.count_opaque(), 9 + 36 + 4);
}

TEST(FastRectangles, ThickBorderFillsASmallRectangle)
{
    Canvas c(10, 10);
    jgraphics_set_source_rgb(c.g.get(), 1, 0, 0);
    jgraphics_rectangle_draw_fast(c.g.get(), 8, 8, -4, -4, 3); // negative size counts from the corner
    EXPECT_EQ(c.count_opaque(), 16);
    EXPECT_EQ(c.at(4, 4), kRed);
    EXPECT_EQ(c.at(7, 7), kRed);
    jgraphics_rectangle_draw_fast(c.g.get(), 0, 0, 3, 3, 0); // no border: nothing
    EXPECT_EQ(c.count_opaque(), 16);
}

TEST(Clip, IntersectsAndIsNeverWidened)
{
    Canvas c(20, 20);
    jgraphics_clip(c.g.get(), 0, 0, 10, 10);
    jgraphics_clip(c.g.get(), 5, 5, 10, 10);
    jgraphics_clip(c.g.get(), 0, 0, 20, 20); // cannot grow back
    jgraphics_set_source_rgb(c.g.get(), 1, 0, 0);
    jgraphics_rectangle(c.g.get(), 0, 0, 20, 20);
    jgraphics_fill(c.g.get());
    EXPECT_EQ(c.count_opaque(), 25);
    EXPECT_EQ(c.at(5, 5), kRed);
    EXPECT_EQ(c.at(9, 9), kRed);
    EXPECT_EQ(c.at(10, 9), kClear);
    EXPECT_EQ(c.at(4, 5), kClear);
    SurfacePtr src = make_surface(1, 1);
    jgraphics_image_surface_set_pixel(src.get(), 0, 0, t_jrgba{0, 0, 1, 1});
    jgraphics_image_surface_draw(c.g.get(), src.get(), t_rect{0, 0, 1, 1}, t_rect{0, 0, 20, 20});
    EXPECT_EQ(c.at(7, 7), kBlue);
    EXPECT_EQ(c.at(12, 12), kClear); // surface drawing obeys the clip too
}

TEST(Paths, StrokeFillAndSources)
{
    Canvas c(20, 20);
    jgraphics_set_line_width(c.g.get(), 2);
    t_jrgba green{0, 1, 0, 1};
    jgraphics_set_source_jrgba(c.g.get(), &green);
    jgraphics_move_to(c.g.get(), 0, 3);
    jgraphics_line_to(c.g.get(), 20, 3);
    jgraphics_stroke(c.g.get()); // covers rows 2 and 3
    EXPECT_EQ(c.at(10, 2), (Rgba8{0, 255, 0, 255}));
    EXPECT_EQ(c.at(10, 3), (Rgba8{0, 255, 0, 255}));
    EXPECT_EQ(c.at(10, 4), kClear);
    jgraphics_fill(c.g.get()); // the stroke cleared the path: nothing to fill
    EXPECT_EQ(c.count_opaque(), 40);

    jgraphics_set_source_rgba(c.g.get(), 1, 0, 0, 0.5);
    jgraphics_move_to(c.g.get(), 10, 10);
    jgraphics_line_to(c.g.get(), 20, 10);
    jgraphics_line_to(c.g.get(), 20, 20);
    jgraphics_line_to(c.g.get(), NAN, 0); // ignored
    jgraphics_close_path(c.g.get());
    jgraphics_fill(c.g.get()); // a triangle above the diagonal
    EXPECT_EQ(c.at(18, 12), (Rgba8{255, 0, 0, 128}));
    EXPECT_EQ(c.at(12, 18), kClear);
}
