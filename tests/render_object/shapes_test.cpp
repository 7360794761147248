// Shapes and hatching: the crossings of a hatch line with a polygon (convex,
// concave, edges parallel to the line), and what the shapes layer draws for
// two-point shapes, the shape still being drawn, and a shape far larger than
// the view.  Hatching on and off is tested on a real box (paint_host_test).
#include "render_fixture.h"

#include <gtest/gtest.h>

namespace {

TEST(HatchCrossings, ConvexConcaveAndParallelEdges)
{
    const double square[] = {10, 10, 20, 10, 20, 20, 10, 20};
    double t[16];
    ASSERT_EQ(specgram_hatch_crossings(square, 4, 5, 0, 35, 30, t, 16), 2);
    EXPECT_NEAR(t[0], 1.0 / 3.0, 1e-12); // (15, 10) on the top edge
    EXPECT_NEAR(t[1], 0.5, 1e-12);       // (20, 15) on the right edge

    // horizontal line: the top and bottom edges are parallel and skipped
    ASSERT_EQ(specgram_hatch_crossings(square, 4, 0, 15, 30, 15, t, 16), 2);
    EXPECT_NEAR(t[0], 10.0 / 30.0, 1e-12);
    EXPECT_NEAR(t[1], 20.0 / 30.0, 1e-12);

    EXPECT_EQ(specgram_hatch_crossings(square, 4, 0, 40, 40, 80, t, 16), 0);
    EXPECT_EQ(specgram_hatch_crossings(square, 4, 5, 0, 35, 30, t, 1), 1); // capacity bounds the list

    // a U: a line through both arms crosses four edges, sorted along the line
    const double u[] = {0, 0, 30, 0, 30, 30, 20, 30, 20, 10, 10, 10, 10, 30, 0, 30};
    ASSERT_EQ(specgram_hatch_crossings(u, 8, 40, 20, -10, 20, t, 16), 4);
    const double want[] = {10.0 / 50.0, 20.0 / 50.0, 30.0 / 50.0, 40.0 / 50.0};
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(t[i], want[i], 1e-12);
}

// A record with shapes given in pixels of a 300 x 100 view of the whole grid.
struct ShapeRecord : GridRecord {
    ShapeRecord() : GridRecord(2000, 1025) {}
    void add(std::initializer_list<std::pair<double, double>> pixels)
    {
        t_specgram *r = x.get();
        r->shape_start[r->shape_count] = r->shape_point_total;
        for (const auto &p : pixels) {
            r->shape_points[r->shape_point_total][0] = p.first / 300.0 * 1000.0;
            r->shape_points[r->shape_point_total][1] = (99.0 - p.second) / 99.0 * 22050.0;
            r->shape_point_total++;
        }
        r->shape_point_count[r->shape_count] = (long)pixels.size();
        r->shape_count++;
    }
    SurfacePtr draw()
    {
        SurfacePtr s = make_surface(300, 100);
        t_jgraphics *g = jgraphics_create(s.get());
        specgram_draw_shapes(x.get(), g, 300, 100);
        jgraphics_destroy(g);
        return s;
    }
};

int inked(t_jsurface *s, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int py = y0; py < y1; py++)
        for (int px = x0; px < x1; px++)
            n += pixel_alpha(s, px, py) > 0.05;
    return n;
}

TEST(ShapesLayer, TwoPointShapesAndTheShapeBeingDrawnAreNotHatched)
{
    ShapeRecord r;
    r.x->edit_inverted = 1;
    r.add({{20, 50}, {280, 50}});
    SurfacePtr line = r.draw();
    EXPECT_GT(inked(line.get(), 100, 48, 110, 52), 0);
    EXPECT_EQ(inked(line.get(), 0, 0, 300, 45), 0);
    EXPECT_EQ(inked(line.get(), 0, 55, 300, 100), 0);

    ShapeRecord open;
    open.x->edit_inverted = 1;
    open.add({{50, 80}, {250, 80}, {150, 10}});
    open.x->shape_drawing = 1;
    SurfacePtr drawing = open.draw();
    EXPECT_EQ(inked(drawing.get(), 130, 50, 170, 70), 0); // no hatch yet
    EXPECT_EQ(inked(drawing.get(), 95, 40, 105, 50), 0);  // the closing edge is missing
    open.x->shape_drawing = 0;
    SurfacePtr closed = open.draw();
    EXPECT_GT(inked(closed.get(), 95, 40, 105, 50), 0);
}

TEST(ShapesLayer, AShapeFarLargerThanTheViewIsHatchedQuickly)
{
    ShapeRecord r;
    r.x->edit_inverted = 1;
    // a deep zoom: a triangle twenty thousand view widths across
    r.add({{-3e6, 1e6}, {3e6, 1e6}, {0, -1e6}});
    SurfacePtr s = r.draw();
    EXPECT_GT(inked(s.get(), 0, 0, 300, 100), 100);
}

} // namespace
