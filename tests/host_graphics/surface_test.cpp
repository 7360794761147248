// Image surfaces: which sizes can be made, how pixels are stored and read
// back in each format, and the reference counting shared with contexts.
#include "graphics_test_util.h"

#include <gtest/gtest.h>

TEST(Surface, ImpossibleSizesGiveNull)
{
    const int sizes[][2] = {{0, 10}, {10, 0}, {-1, 10}, {10, -5}, {32768, 1}, {1, 32768},
                            {32767, 32767}, {100000, 100}, {-2147483647 - 1, -1}};
    for (auto &wh : sizes)
        EXPECT_EQ(jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, wh[0], wh[1]), nullptr)
            << wh[0] << " x " << wh[1];
    EXPECT_EQ(jgraphics_image_surface_create(t_jgraphics_format(7), 10, 10), nullptr);

    SurfacePtr wide = make_surface(32767, 1);
    ASSERT_TRUE(wide);
    EXPECT_EQ(jgraphics_image_surface_get_width(wide.get()), 32767);
    EXPECT_EQ(jgraphics_image_surface_get_height(wide.get()), 1);
    EXPECT_EQ(pixel(wide.get(), 32766, 0), kClear); // a new surface is transparent
    EXPECT_EQ(jgraphics_image_surface_get_width(nullptr), 0);
}

TEST(Surface, PixelsRoundTripWithStraightAlpha)
{
    SurfacePtr s = make_surface(4, 4);
    ASSERT_TRUE(s);
    jgraphics_image_surface_set_pixel(s.get(), 0, 0, t_jrgba{1, 0.5, 0.25, 1});
    jgraphics_image_surface_set_pixel(s.get(), 1, 0, t_jrgba{1, 0, 0, 0.5});
    jgraphics_image_surface_set_pixel(s.get(), 2, 0, t_jrgba{0.2, 0.4, 0.6, 0});
    jgraphics_image_surface_set_pixel(s.get(), 3, 0, t_jrgba{2, -1, NAN, 1.5}); // clamped
    EXPECT_EQ(pixel(s.get(), 0, 0), (Rgba8{255, 128, 64, 255}));
    // Stored premultiplied, read back straight: a half-transparent red stays red.
    EXPECT_EQ(pixel(s.get(), 1, 0), (Rgba8{255, 0, 0, 128}));
    EXPECT_EQ(pixel(s.get(), 2, 0), kClear);
    EXPECT_EQ(pixel(s.get(), 3, 0), (Rgba8{255, 0, 0, 255}));
}

TEST(Surface, OutOfRangePixelsAreIgnored)
{
    SurfacePtr s = make_surface(2, 2);
    ASSERT_TRUE(s);
    fill_surface(s.get(), t_jrgba{0, 0, 1, 1});
    for (int xy : {-1, 2, 1 << 30}) {
        jgraphics_image_surface_set_pixel(s.get(), xy, 0, t_jrgba{1, 0, 0, 1});
        jgraphics_image_surface_set_pixel(s.get(), 0, xy, t_jrgba{1, 0, 0, 1});
        EXPECT_EQ(pixel(s.get(), xy, 0), kClear);
    }
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(pixel(s.get(), x, y), kBlue);
    jgraphics_image_surface_set_pixel(nullptr, 0, 0, t_jrgba{1, 0, 0, 1});
    EXPECT_EQ(pixel(nullptr, 0, 0), kClear);
}

TEST(Surface, Rgb24IsOpaqueAndA8KeepsOnlyAlpha)
{
    SurfacePtr rgb = make_surface(2, 1, JGRAPHICS_FORMAT_RGB24);
    SurfacePtr a8 = make_surface(2, 1, JGRAPHICS_FORMAT_A8);
    ASSERT_TRUE(rgb && a8);
    jgraphics_image_surface_set_pixel(rgb.get(), 0, 0, t_jrgba{0, 1, 0, 0.25});
    EXPECT_EQ(pixel(rgb.get(), 0, 0), (Rgba8{0, 255, 0, 255}));
    jgraphics_image_surface_set_pixel(a8.get(), 1, 0, t_jrgba{1, 1, 1, 0.6});
    EXPECT_EQ(pixel(a8.get(), 1, 0), (Rgba8{0, 0, 0, 153}));
    EXPECT_EQ(pixel(a8.get(), 0, 0), kClear);
}

TEST(Surface, DirectPixelsAndDrawingSeeEachOther)
{
    SurfacePtr s = make_surface(4, 1);
    ASSERT_TRUE(s);
    GraphicsPtr g(jgraphics_create(s.get()));
    ASSERT_TRUE(g);
    jgraphics_image_surface_set_pixel(s.get(), 0, 0, t_jrgba{1, 0, 0, 1});
    jgraphics_set_source_rgb(g.get(), 0, 0, 1);
    jgraphics_rectangle(g.get(), 2, 0, 2, 1);
    jgraphics_fill(g.get());
    jgraphics_image_surface_set_pixel(s.get(), 3, 0, t_jrgba{1, 1, 1, 1});
    EXPECT_EQ(pixel(s.get(), 0, 0), kRed);
    EXPECT_EQ(pixel(s.get(), 1, 0), kClear);
    EXPECT_EQ(pixel(s.get(), 2, 0), kBlue);
    EXPECT_EQ(pixel(s.get(), 3, 0), kWhite);
}

TEST(Surface, DestroyedWhileAContextTargetsIt)
{
    t_jsurface *s = jgraphics_image_surface_create(JGRAPHICS_FORMAT_ARGB32, 8, 8);
    ASSERT_NE(s, nullptr);
    t_jgraphics *g = jgraphics_create(s);
    ASSERT_NE(g, nullptr);
    jgraphics_surface_destroy(s); // the context still holds the surface
    jgraphics_set_source_rgb(g, 1, 0, 0);
    jgraphics_rectangle(g, 0, 0, 8, 8);
    jgraphics_fill(g);
    jgraphics_destroy(g); // the last reference: both go (checked under AddressSanitizer)
    EXPECT_EQ(jgraphics_create(nullptr), nullptr);
    jgraphics_destroy(nullptr);
    jgraphics_surface_destroy(nullptr);
}
