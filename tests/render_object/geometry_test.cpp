// View geometry: the visible block, and the selection box to values
// conversion both ways.
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

TEST(SelectionBox, WholeBoxIsTheWholeSelectionBothWays)
{
    GridRecord g(2000, 1025);
    const t_rect whole = {0.0, 0.0, 300.0, 100.0};
    specgram_selection_values_from_box(g.x.get(), &whole, 300.0, 100.0);
    EXPECT_DOUBLE_EQ(g.x->selection_start, 0.0);
    EXPECT_DOUBLE_EQ(g.x->selection_end, 1000.0);
    EXPECT_DOUBLE_EQ(g.x->selection_low, 0.0);
    EXPECT_DOUBLE_EQ(g.x->selection_high, 22050.0);

    t_rect box;
    specgram_selection_box_from_values(g.x.get(), 300.0, 100.0, &box);
    EXPECT_DOUBLE_EQ(box.x, 0.0);
    EXPECT_DOUBLE_EQ(box.width, 300.0);
    EXPECT_DOUBLE_EQ(box.y, 0.0);
    EXPECT_DOUBLE_EQ(box.height, 100.0);
}

TEST(SelectionBox, ABoxSurvivesTheRoundTripToWithinAPixel)
{
    GridRecord g(2000, 1025);
    const t_rect drawn = {40.0, 20.0, 100.0, 30.0};
    specgram_selection_values_from_box(g.x.get(), &drawn, 300.0, 100.0);
    t_rect back;
    specgram_selection_box_from_values(g.x.get(), 300.0, 100.0, &back);
    EXPECT_NEAR(back.x, drawn.x, 1e-4);
    EXPECT_NEAR(back.width, drawn.width, 1e-4);
    // rows are rounded, and the box spans H - 1 pixels one way and H the other
    EXPECT_NEAR(back.y, drawn.y, 1.0);
    EXPECT_NEAR(back.y + back.height, drawn.y + drawn.height, 1.0);
}

TEST(SelectionBox, OutOfRangeBoxesClampIntoTheBuffer)
{
    GridRecord g(2000, 1025);
    const t_rect beyond = {-50.0, -40.0, 500.0, 300.0};
    specgram_selection_values_from_box(g.x.get(), &beyond, 300.0, 100.0);
    EXPECT_DOUBLE_EQ(g.x->selection_start, 0.0);
    EXPECT_DOUBLE_EQ(g.x->selection_end, 1000.0);
    EXPECT_DOUBLE_EQ(g.x->selection_low, 0.0);
    EXPECT_DOUBLE_EQ(g.x->selection_high, 22050.0);

    const t_rect flat = {10.0, 0.0, 10.0, 0.0}; // a one-pixel-high view divides by zero rows
    specgram_selection_values_from_box(g.x.get(), &flat, 300.0, 1.0);
    EXPECT_GE(g.x->selection_low, 0.0);
    EXPECT_LE(g.x->selection_high, 22050.0);
}

} // namespace
