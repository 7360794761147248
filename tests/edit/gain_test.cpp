// Gain masks over the rectangle and over shapes, and the point-in-shape test,
// on hand-filled edit spectra.
#include "edit_fixture.h"

#include <gtest/gtest.h>

namespace {

// N = 64 at 48 kHz: 33 bins of 750 Hz, hop 16, frame i starts at i / 3 ms.
const int kWin = 64;
const int64_t kFrames = 12;

TEST(GainMaskSelection, IsolateAndDeleteSplitTheCellsExactly)
{
    HandStft orig(kWin, kFrames);
    orig.fill_pattern();
    // Pairs given in reverse order: 1 .. 3 ms is frames 3 .. 9; 1000 .. 5000 Hz
    // is bins ceil(1.33) = 2 .. floor(6.67) = 6.
    t_specedit_rect rect = {3.0, 1.0, 5000.0, 1000.0};

    HandStft iso = orig, del = orig;
    specedit_apply_gain_mask_selection(&iso.m, &rect, 1.0, 0.0);
    specedit_apply_gain_mask_selection(&del.m, &rect, 0.0, 1.0);

    for (int64_t i = 0; i < kFrames; i++) {
        for (long k = 0; k < orig.bins(); k++) {
            bool inside = i >= 3 && i <= 9 && k >= 2 && k <= 6;
            float r = orig.re(i, k), q = orig.im(i, k);
            EXPECT_EQ(iso.re(i, k), inside ? r : 0.0f) << i << " " << k;
            EXPECT_EQ(iso.im(i, k), inside ? q : 0.0f) << i << " " << k;
            EXPECT_EQ(del.re(i, k), inside ? 0.0f : r) << i << " " << k;
            EXPECT_EQ(del.im(i, k), inside ? 0.0f : q) << i << " " << k;
        }
    }
}

TEST(GainMaskSelection, OtherGainsMultiplyBothParts)
{
    HandStft s(kWin, kFrames);
    s.fill_pattern();
    HandStft orig = s;
    t_specedit_rect rect = {0.0, 100.0, 0.0, 1e9};
    specedit_apply_gain_mask_selection(&s.m, &rect, 0.25, 1.0);
    for (long k = 0; k < s.bins(); k++) {
        EXPECT_EQ(s.re(5, k), orig.re(5, k) * 0.25f);
        EXPECT_EQ(s.im(5, k), orig.im(5, k) * 0.25f);
    }
}

TEST(GainMaskSelection, EmptyBinRangeCountsAsOutside)
{
    HandStft s(kWin, kFrames);
    s.fill_pattern();
    HandStft orig = s;
    // 800 .. 1400 Hz lies between bins 1 (750 Hz) and 2 (1500 Hz).
    t_specedit_rect between = {0.0, 100.0, 800.0, 1400.0};
    specedit_apply_gain_mask_selection(&s.m, &between, 0.0, 1.0);
    EXPECT_EQ(s.frames, orig.frames);

    specedit_apply_gain_mask_selection(&s.m, &between, 0.0, 0.5);
    for (int64_t i = 0; i < kFrames; i++)
        for (long k = 0; k < s.bins(); k++)
            ASSERT_EQ(s.re(i, k), orig.re(i, k) * 0.5f);

    // Bounds that are NaN or far beyond the spectrum are treated the same way.
    s = orig;
    t_specedit_rect nan_rect = {0.0, 100.0, NAN, 2000.0};
    t_specedit_rect above = {0.0, 100.0, 1e300, 1e301};
    specedit_apply_gain_mask_selection(&s.m, &nan_rect, 0.0, 1.0);
    specedit_apply_gain_mask_selection(&s.m, &above, 0.0, 1.0);
    EXPECT_EQ(s.frames, orig.frames);
}

TEST(GainMaskSelection, FrameBelongsToTheTimeOfItsStart)
{
    // hop 512 at 48 kHz: frame 10 starts at 106.67 ms.  Frame 8's block is
    // centred at 106.67 ms but starts at 85.33 ms, so it stays untouched.
    HandStft s(2048, 14);
    s.fill_pattern();
    HandStft orig = s;
    EXPECT_NEAR(s.frame_ms(10), 106.6667, 1e-4);
    t_specedit_rect rect = {100.0, 110.0, 0.0, 24000.0};
    specedit_apply_gain_mask_selection(&s.m, &rect, 0.0, 1.0);
    for (int64_t i = 0; i < 14; i++) {
        bool edited = i == 10;
        EXPECT_EQ(s.re(i, 300), edited ? 0.0f : orig.re(i, 300)) << i;
    }
}

// Pool of two overlapping squares (time ms, frequency Hz).
struct TwoSquares
{
    double pts[16] = {
        0.5, 1100.0, 3.2, 1100.0, 3.2, 5200.0, 0.5, 5200.0,  // bins 2..6
        0.5, 2300.0, 3.2, 2300.0, 3.2, 8900.0, 0.5, 8900.0,  // bins 4..11
    };
    long start[2] = {0, 4};
    long count[2] = {4, 4};
    t_specedit_shapes set() const { return {pts, start, count, 2}; }
};

TEST(GainMaskShapes, OverlappingShapesGetTheGainOnce)
{
    HandStft s(kWin, kFrames);
    s.fill_pattern();
    HandStft orig = s;
    TwoSquares sq;
    t_specedit_shapes set = sq.set();
    specedit_apply_gain_mask_shapes(&s.m, &set, 0.5, 1.0);
    for (int64_t i = 0; i < kFrames; i++) {
        double t = s.frame_ms(i);
        bool in_time = t >= 0.5 && t < 3.2;
        for (long k = 0; k < s.bins(); k++) {
            bool inside = in_time && k >= 2 && k <= 11;
            EXPECT_EQ(s.re(i, k), inside ? orig.re(i, k) * 0.5f : orig.re(i, k)) << i << " " << k;
        }
    }
}

TEST(GainMaskShapes, CrossingsPairIntoSeparateIntervals)
{
    // A C-shaped polygon open towards later times: at t = 2 ms the vertical
    // line crosses it four times, at 1000, 2000, 6000 and 7000 Hz; the notch
    // between 2000 and 6000 Hz stays outside.  The edges meet the line in the
    // order 2000, 6000, 7000, 1000, so the crossings must be sorted first.
    double pts[] = {3.0, 2000.0, 1.5, 2000.0, 1.5, 6000.0, 3.0, 6000.0,
                    3.0, 7000.0, 1.0, 7000.0, 1.0, 1000.0, 3.0, 1000.0};
    long start = 0, count = 8;
    t_specedit_shapes set = {pts, &start, &count, 1};
    HandStft s(kWin, kFrames);
    s.fill_pattern();
    HandStft orig = s;
    specedit_apply_gain_mask_shapes(&s.m, &set, 0.0, 1.0);
    int64_t i = 6;  // 2 ms
    for (long k = 0; k < s.bins(); k++) {
        bool inside = (k >= 2 && k <= 2) || (k >= 8 && k <= 9);  // 1500; 6000, 6750 Hz
        EXPECT_EQ(s.re(i, k), inside ? 0.0f : orig.re(i, k)) << k;
    }
    // At 1.33 ms (frame 4) the line meets the left column only: 1000..7000 Hz.
    for (long k = 0; k < s.bins(); k++)
        EXPECT_EQ(s.re(4, k), (k >= 2 && k <= 9) ? 0.0f : orig.re(4, k)) << k;
}

TEST(GainMaskShapes, NoIntervalGivesTheOutsideGainAndBadShapesAreIgnored)
{
    TwoSquares sq;
    // A two-vertex shape, one running past the pool and one with a negative
    // start: all ignored, so every frame has no interval.
    long start[3] = {0, 4094, -2};
    long count[3] = {2, 4, 4};
    t_specedit_shapes set = {sq.pts, start, count, 3};
    HandStft s(kWin, kFrames);
    s.fill_pattern();
    HandStft orig = s;
    specedit_apply_gain_mask_shapes(&s.m, &set, 0.0, 1.0);
    EXPECT_EQ(s.frames, orig.frames);
    specedit_apply_gain_mask_shapes(&s.m, &set, 0.0, 0.0);
    for (float v : s.frames)
        ASSERT_EQ(v, 0.0f);
}

TEST(PointInPolygon, EvenOddRuleOnConvexConcaveAndDegenerateShapes)
{
    double square[] = {0.0, 0.0, 10.0, 0.0, 10.0, 10.0, 0.0, 10.0};
    EXPECT_EQ(specedit_point_in_polygon(square, 0, 4, 5.0, 5.0), 1);
    EXPECT_EQ(specedit_point_in_polygon(square, 0, 4, 11.0, 5.0), 0);
    EXPECT_EQ(specedit_point_in_polygon(square, 0, 4, 5.0, -1.0), 0);
    // Shape starting at vertex 1: the triangle (10,0) (10,10) (0,10).
    EXPECT_EQ(specedit_point_in_polygon(square, 1, 3, 8.0, 8.0), 1);
    EXPECT_EQ(specedit_point_in_polygon(square, 1, 3, 2.0, 2.0), 0);
    // Fewer than three vertices contain nothing; nor do out-of-pool views.
    EXPECT_EQ(specedit_point_in_polygon(square, 0, 2, 5.0, 0.0), 0);
    EXPECT_EQ(specedit_point_in_polygon(square, -1, 4, 5.0, 5.0), 0);
    EXPECT_EQ(specedit_point_in_polygon(nullptr, 0, 4, 5.0, 5.0), 0);
    EXPECT_EQ(specedit_point_in_polygon(square, SPECEDIT_MAX_POINTS - 2, 4, 5.0, 5.0), 0);
    // A bow tie: the two lobes are inside, the space above the crossing is not.
    double bow[] = {0.0, 0.0, 10.0, 10.0, 10.0, 0.0, 0.0, 10.0};
    EXPECT_EQ(specedit_point_in_polygon(bow, 0, 4, 2.0, 5.0), 1);
    EXPECT_EQ(specedit_point_in_polygon(bow, 0, 4, 5.0, 8.0), 0);
}

}  // namespace
