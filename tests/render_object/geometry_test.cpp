// View geometry: the visible block, the selection between values and the
// box's pixel lines, and the size of the magnitude image.
#include "render_fixture.h"

#include <gtest/gtest.h>

namespace {

TEST(VisibleBlock, FollowsTheDisplayWindow)
{
    GridRecord g(2000, 1025);
    g.x->display_start = 250.0;
    g.x->display_length = 500.0;
    g.x->display_low = 1000.0;
    g.x->display_high = 5000.0;
    t_specgram_block b;
    specgram_visible_block(g.x.get(), &b);
    EXPECT_EQ(b.c0, 500);
    EXPECT_EQ(b.c1, 1500);
    EXPECT_EQ(b.r0, 46); // 1000 / (22050 / 1025)
    EXPECT_EQ(b.r1, 232);

    g.x->display_start = 1000.0; // the very end: clamped onto the last column
    g.x->display_length = 0.0;
    specgram_visible_block(g.x.get(), &b);
    EXPECT_EQ(b.c0, 1999);
    EXPECT_EQ(b.c1, 1999);

    g.x->display_start = 0.0;
    g.x->display_length = 1000.0;
    g.x->display_low = 0.0;
    g.x->display_high = 22050.0;
    specgram_visible_block(g.x.get(), &b);
    EXPECT_EQ(b.c0, 0);
    EXPECT_EQ(b.c1, 1999);
    EXPECT_EQ(b.r0, 0);
    EXPECT_EQ(b.r1, 1024);
}

// The selection edges that the pointer lines of a box give.
void select_box(t_specgram *x, const t_rect &b, double width, double height)
{
    x->selection_start = specgram_selection_time_at(x, b.x, width);
    x->selection_end = specgram_selection_time_at(x, b.x + b.width, width);
    x->selection_high = specgram_selection_freq_at(x, b.y, height);
    x->selection_low = specgram_selection_freq_at(x, b.y + b.height, height);
}

TEST(SelectionBox, TheWholeSelectionSpansTheBoxFromTheTopLineToTheBottomLine)
{
    GridRecord g(2000, 1025);
    select_box(g.x.get(), {0.0, 0.0, 300.0, 99.0}, 300.0, 100.0);
    EXPECT_DOUBLE_EQ(g.x->selection_start, 0.0);
    EXPECT_DOUBLE_EQ(g.x->selection_end, 1000.0);
    EXPECT_DOUBLE_EQ(g.x->selection_low, 0.0);
    EXPECT_DOUBLE_EQ(g.x->selection_high, 22050.0);

    t_rect box;
    specgram_selection_box(g.x.get(), 300.0, 100.0, &box);
    EXPECT_DOUBLE_EQ(box.x, 0.0);
    EXPECT_DOUBLE_EQ(box.width, 300.0);
    EXPECT_DOUBLE_EQ(box.y, 0.0);
    EXPECT_DOUBLE_EQ(box.height, 99.0);
}

TEST(SelectionBox, ValuesOnRowEdgesComeBackFromTheirBoxUnchanged)
{
    // 300 x 101 over 48 kHz Lin rows (1024 of them): 6000 and 12000 Hz are
    // row edges, and a box placed from them must give them back exactly.
    GridRecord g(2000, 1024, 48000.0);
    t_specgram *x = g.x.get();
    x->selection_start = 250.0;
    x->selection_end = 625.0;
    x->selection_low = 6000.0;
    x->selection_high = 12000.0;
    t_rect box;
    specgram_selection_box(x, 300.0, 101.0, &box);
    select_box(x, box, 300.0, 101.0);
    EXPECT_EQ(x->selection_start, 250.0);
    EXPECT_EQ(x->selection_end, 625.0);
    EXPECT_EQ(x->selection_low, 6000.0);
    EXPECT_EQ(x->selection_high, 12000.0);

    x->display_low = 3000.0; // a zoomed window keeps the mapping exact
    x->display_high = 15000.0;
    x->display_start = 100.0;
    x->display_length = 800.0;
    specgram_selection_box(x, 300.0, 101.0, &box);
    select_box(x, box, 300.0, 101.0);
    EXPECT_EQ(x->selection_low, 6000.0);
    EXPECT_EQ(x->selection_high, 12000.0);
    EXPECT_NEAR(x->selection_start, 250.0, 1e-4); // single precision
}

TEST(SelectionBox, ADrawnBoxComesBackWithinHalfARow)
{
    GridRecord g(2000, 1025);
    const t_rect drawn = {40.0, 20.0, 100.0, 30.0};
    select_box(g.x.get(), drawn, 300.0, 100.0);
    t_rect back;
    specgram_selection_box(g.x.get(), 300.0, 100.0, &back);
    const double half_row = 0.5 * 99.0 / 1025.0;
    EXPECT_NEAR(back.x, drawn.x, 1e-4);
    EXPECT_NEAR(back.width, drawn.width, 1e-4);
    EXPECT_NEAR(back.y, drawn.y, half_row + 1e-9);
    EXPECT_NEAR(back.y + back.height, drawn.y + drawn.height, half_row + 1e-9);
}

TEST(SelectionBox, LinesOutsideTheBoxClampIntoTheBuffer)
{
    GridRecord g(2000, 1025);
    select_box(g.x.get(), {-50.0, -40.0, 500.0, 300.0}, 300.0, 100.0);
    EXPECT_DOUBLE_EQ(g.x->selection_start, 0.0);
    EXPECT_DOUBLE_EQ(g.x->selection_end, 1000.0);
    EXPECT_DOUBLE_EQ(g.x->selection_low, 0.0);
    EXPECT_DOUBLE_EQ(g.x->selection_high, 22050.0);

    select_box(g.x.get(), {10.0, 0.0, 10.0, 0.0}, 300.0, 1.0); // a box one pixel high: its lowest row
    EXPECT_DOUBLE_EQ(g.x->selection_low, 0.0);
    EXPECT_DOUBLE_EQ(g.x->selection_high, 0.0);
}

TEST(SurfaceSize, OnePixelAFrameAndARowAtMostTheBoxAndTheCap)
{
    long w, h;
    GridRecord small(45, 1025);
    specgram_surface_size(small.x.get(), 300.0, 100.0, &w, &h);
    EXPECT_EQ(w, 45);
    EXPECT_EQ(h, 100);
    GridRecord big(2, 2); // only the counts matter
    big.x->mags.num_frames = 6000;
    big.x->mags.num_bins = 4097;
    specgram_surface_size(big.x.get(), 5000.0, 3000.5, &w, &h);
    EXPECT_EQ(w, 4000);
    EXPECT_EQ(h, 2000);
    GridRecord one(1, 1);
    specgram_surface_size(one.x.get(), 300.0, 100.0, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    specgram_surface_size(big.x.get(), 0.5, 1.9, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
}

} // namespace
