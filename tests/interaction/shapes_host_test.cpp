// Mouse gestures of spectrogram~ in the test process, where the shape store,
// the selection and the view are read from the record: vertex rows at
// the box's edges, the store's limits and bookkeeping, resizing about the
// centre, and zooming in past nothing.
//
// The box is 200 x 101 (a box line y maps to the fraction 1 - y / 100) over
// a 1000 ms buffer at 48 kHz on the Lin scale with 65 rows.
#include "specgram_fixture.h"

namespace {

class GestureTest : public SpecgramTest {
protected:
    t_specgram *box(long mode)
    {
        make_buffer("quiet", 1000);
        return make_specgram({{"buffer_name", {sym("quiet")}},
                              {"mag_scale", {lng(0)}},
                              {"win_size", {lng(128)}},
                              {"win_zero_pad", {lng(1)}},
                              {"mouse_mode", {lng(mode)}}},
                             "sg", 200, 101);
    }
    void down(t_specgram *x, double px, double py, long mods = 0) { mouse(x, maxhost::Mouse::down, px, py, mods); }
    void drag(t_specgram *x, double px, double py, long mods = 0) { mouse(x, maxhost::Mouse::drag, px, py, mods); }
    void up(t_specgram *x) { mouse(x, maxhost::Mouse::up, 0, 0, 0); }
    void mouse(t_specgram *x, maxhost::Mouse kind, double px, double py, long mods)
    {
        maxhost::mouse((t_object *)x, kind, px, py, mods);
        maxhost::pump();
    }
    // A closed square of four vertices from (x0, y0) to (x1, y1).
    void square(t_specgram *x, double x0, double y0, double x1, double y1)
    {
        down(x, x0, y0);
        drag(x, x1, y0);
        drag(x, x1, y1);
        drag(x, x0, y1);
        up(x);
    }
    static double edge(t_specgram *x, long row) { return x->mags.lin_edges[row]; }
};

} // namespace

TEST_F(GestureTest, VerticesOnTheBottomAndTopLinesTakeTheRowsAtTheVisibleLimits)
{
    t_specgram *x = box(SPECGRAM_MOUSE_DRAW);
    ASSERT_EQ(x->mags.num_bins, 65);
    // Rows 10 to 40 visible, from 200 ms on for 400 ms.
    send(x, 8, "list", {num(200), num(400), num(edge(x, 10) + 1), num(edge(x, 40) + 1), num(0), num(0), num(0),
                        num(0)});
    down(x, 0, 100);
    drag(x, 100, 0);
    drag(x, 200, 50);
    up(x);
    ASSERT_EQ(x->shape_count, 1);
    ASSERT_EQ(x->shape_point_count[0], 3);
    EXPECT_DOUBLE_EQ(x->shape_points[0][0], 200);
    EXPECT_DOUBLE_EQ(x->shape_points[0][1], edge(x, 10)); // the lowest visible row
    EXPECT_DOUBLE_EQ(x->shape_points[1][0], 400);
    EXPECT_DOUBLE_EQ(x->shape_points[1][1], edge(x, 41)); // the row above the highest visible one
    EXPECT_DOUBLE_EQ(x->shape_points[2][0], 600);
    // With the whole range visible the top line's row is the last one.
    send(x, 8, "list", {num(0), num(-1), num(0), num(-1), num(0), num(0), num(0), num(0)});
    down(x, 0, 0);
    drag(x, 10, 0);
    up(x);
    EXPECT_DOUBLE_EQ(x->shape_points[3][1], edge(x, 64));
}

TEST_F(GestureTest, TheStoreHoldsSixtyFourShapesAndFourThousandNinetySixVertices)
{
    t_specgram *x = box(SPECGRAM_MOUSE_DRAW);
    down(x, 10, 10);
    for (int i = 0; i < 4200; i++)
        maxhost::mouse((t_object *)x, maxhost::Mouse::drag, 10 + i % 100, 20, 0);
    up(x);
    EXPECT_EQ(x->shape_point_total, 4096);
    EXPECT_EQ(x->shape_point_count[0], 4096);
    down(x, 50, 50); // no room for a first vertex
    drag(x, 60, 60);
    up(x);
    EXPECT_EQ(x->shape_count, 1);
    send(x, 0, "edit_shapes_clear");
    for (int i = 0; i < 65; i++) {
        down(x, 10, 10);
        drag(x, 20, 20);
        up(x);
    }
    EXPECT_EQ(x->shape_count, 64);
    EXPECT_EQ(x->shape_point_total, 128);
    EXPECT_EQ(x->shape_drawing, 0);
}

TEST_F(GestureTest, DeletingAMiddleShapeKeepsTheLaterOnesIntact)
{
    t_specgram *x = box(SPECGRAM_MOUSE_DRAW);
    square(x, 10, 10, 50, 50);
    square(x, 70, 10, 110, 50);
    down(x, 130, 10); // five vertices
    drag(x, 170, 10);
    drag(x, 170, 50);
    drag(x, 150, 60);
    drag(x, 130, 50);
    up(x);
    std::vector<double> last(&x->shape_points[8][0], &x->shape_points[13][0]);
    down(x, 90, 30, eShiftKey);
    up(x);
    ASSERT_EQ(x->shape_count, 2);
    EXPECT_EQ(x->shape_point_total, 9);
    EXPECT_EQ(x->shape_start[1], 4);
    EXPECT_EQ(x->shape_point_count[1], 5);
    EXPECT_EQ(std::vector<double>(&x->shape_points[4][0], &x->shape_points[9][0]), last);
    down(x, 190, 90, eShiftKey); // outside every shape
    up(x);
    EXPECT_EQ(x->shape_count, 2);
}

TEST_F(GestureTest, ShiftResizingGrowsAboutTheCentreAndShrinksToItRatherThanTurningInsideOut)
{
    t_specgram *x = box(SPECGRAM_MOUSE_SELECT);
    down(x, 50, 20);
    drag(x, 150, 80);
    up(x);
    down(x, 100, 50); // inside: the whole box
    drag(x, 110, 45, eShiftKey); // the box 40..160 x 15..85 pixels
    EXPECT_DOUBLE_EQ(x->selection_start, 200);
    EXPECT_DOUBLE_EQ(x->selection_end, 800);
    EXPECT_DOUBLE_EQ(x->selection_high, edge(x, 55)); // line 15: row 55.25
    EXPECT_DOUBLE_EQ(x->selection_low, edge(x, 10));  // line 85: row 9.75
    drag(x, 30, 95, eShiftKey); // 80 left, 50 down: more than either half size
    up(x);
    EXPECT_DOUBLE_EQ(x->selection_start, 500);
    EXPECT_DOUBLE_EQ(x->selection_end, 500);
    EXPECT_DOUBLE_EQ(x->selection_low, edge(x, 33)); // the centre line 50
    EXPECT_EQ(x->selection_low, x->selection_high);
}

TEST_F(GestureTest, ZoomingInPastNothingLeavesAnEmptySpanNotTheWholeBuffer)
{
    t_specgram *x = box(SPECGRAM_MOUSE_MOVE);
    down(x, 100, 70);
    drag(x, 100, 0); // up by 70/101 of the box: the span would shrink below zero
    up(x);
    EXPECT_EQ(x->display_length, 0);
    EXPECT_NEAR(x->display_start, 70.0 / 101 * 1000, 1e-9);
}
