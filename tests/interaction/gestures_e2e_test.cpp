// Mouse gestures of spectrogram~ through the patch runner: the rubber band
// and the edge grips of Select, the zoom of Move, the cursors, the mouse
// data and the shapes of Draw, the wheel, hover and the double-click.
//
// select.maxpat shows a silent 1000 ms buffer at 48 kHz in a 200 x 101 box
// on the Lin scale with 65 rows (128-point windows): row r starts at
// r * 24000 / 65 Hz, and a box line y maps to the fraction 1 - y / 100.
#include "e2e_runner.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const char *const patch = "select.maxpat";
const char *const sg = "obj-2";
const double silence_db = -138.47378540039063;

double row_edge(int r) { return (double)(float)(r * (24000.0 / 65)); }

void expect_near(const Json &actual, const std::vector<double> &expected, const char *what)
{
    ASSERT_TRUE(actual.is_array()) << what;
    ASSERT_EQ(actual.size(), expected.size()) << what << ": " << actual.dump();
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_NEAR(actual[i].get<double>(), expected[i], 1e-6) << what << " value " << i << ": " << actual.dump();
}

Json menu_item(const Json &menu, int id)
{
    for (const Json &item : menu["items"])
        if (item.value("id", 0) == id)
            return item;
    return Json();
}

bool shapes_enabled(const Json &menu) { return menu_item(menu, 9)["enabled"].get<bool>(); }

} // namespace

TEST(Gestures, RubberBandReportsTheSelectionAndTheMouseData)
{
    Transcript r = run_script(patch, "echo start\n"
                                     "mousedown sg 50 20\n"
                                     "mousedrag sg 150 80\n"
                                     "mouseup sg 150 80\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = between(r, "start", nullptr);
    expect_near(last_link(lines), {0, 1000, 0, 24000, 250, 750, 4800, 19200}, "link out");
    auto mouse = outlet_args(r, sg, 9);
    ASSERT_EQ(mouse.size(), 2u);
    expect_near(mouse[0], {250, 19200, silence_db}, "press");
    expect_near(mouse[1], {750, 4800, silence_db}, "drag");
}

TEST(Gestures, EdgesAreGrabbedJustOutsideTheBoxAndCollapseWithoutFlipping)
{
    Transcript r = run_script(patch, "mousedown sg 50 20\nmousedrag sg 150 80\nmouseup sg 150 80\n"
                                     "echo left\n" // 3 pixels left of the left edge: still grabbed
                                     "mousedown sg 47 50\nmousedrag sg 27 50\nmouseup sg 27 50\n"
                                     "echo top\n" // the top edge dragged below the bottom one
                                     "mousedown sg 100 20\nmousedrag sg 100 95\nmouseup sg 100 95\n"
                                     "echo right\n" // the right edge dragged left of the left one
                                     "mousedown sg 150 95\nmousedrag sg 10 95\nmouseup sg 10 95\n"
                                     "echo end\n");
    ASSERT_EQ(r.status, 0) << r.err;
    expect_near(last_link(between(r, "left", "top")), {0, 1000, 0, 24000, 150, 750, 4800, 19200}, "left edge");
    double low = row_edge(3); // the row of line 95
    expect_near(last_link(between(r, "top", "right")), {0, 1000, 0, 24000, 150, 750, low, low}, "top edge");
    expect_near(last_link(between(r, "right", "end")), {0, 1000, 0, 24000, 50, 50, low, low}, "right edge");
}

TEST(Gestures, MoveDragsZoomTimeAboutItsCentreOrShiftTheFrequencyRows)
{
    Transcript r = run_script(patch, "attr sg mouse_mode 1\n"
                                     "echo time\n"
                                     "mousedown sg 100 50\nmousedrag sg 100 40\nmouseup sg 100 40\n"
                                     "echo freq\n"
                                     "mousedown sg 100 50\nmousedrag sg 100 60 shift\nmouseup sg 100 60\n");
    ASSERT_EQ(r.status, 0) << r.err;
    double dy = 50.0 / 101 - 40.0 / 101; // upward: zoom in
    double start = dy * 1000, length = 1000 - 2 * dy * 1000;
    expect_near(last_link(between(r, "time", "freq")), {start, length, 0, 24000, 0, 0, 0, 0}, "time zoom");
    EXPECT_NEAR(start + length / 2, 500, 1e-9);
    // Downward by 10/101 of the box over 65 surface rows: both row limits
    // move up by lround(12.87) = 13 rows, the top one stopping at the last edge.
    expect_near(last_link(between(r, "freq", nullptr)), {start, length, row_edge(13), 24000, 0, 0, 0, 0},
                "frequency drag");
}

TEST(Gestures, EachModeShowsItsCursor)
{
    Transcript r = run_script(patch, "echo start\n"
                                     "mouseenter sg\n"
                                     "attr sg mouse_mode 1\nmouseenter sg\nmousedown sg 5 5\nmouseup sg 5 5\n"
                                     "attr sg mouse_mode 2\nmouseenter sg\nmousedown sg 5 5\nmouseup sg 5 5\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<int> cursors;
    for (const Json &l : between(r, "start", nullptr))
        if (l["t"] == "cursor")
            cursors.push_back(l["cursor"].get<int>());
    EXPECT_EQ(cursors, (std::vector<int>{1, 7, 7, 7, 4, 4, 4}));
}

TEST(Gestures, AClickDrawsNoShapeTwoVerticesDoButContainNothingAndTheReadoutFollows)
{
    Transcript r = run_script(patch, "attr sg mouse_mode 2\n"
                                     "mousedown sg 50 50\nmouseup sg 50 50\n"
                                     "mousedown sg 5 5 context\n"
                                     "mousedown sg 50 20\nmousedrag sg 150 80\nmouseup sg 150 80\n"
                                     "mousedown sg 5 5 context\n"
                                     "mousedown sg 100 50 shift\nmouseup sg 100 50\n"
                                     "mousedown sg 5 5 context\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto menus = lines_of(r, "menu");
    ASSERT_EQ(menus.size(), 3u);
    EXPECT_FALSE(shapes_enabled(menus[0])) << "a click without a drag left a shape";
    EXPECT_TRUE(shapes_enabled(menus[1]));
    EXPECT_TRUE(shapes_enabled(menus[2])) << "a Shift-click deleted a shape of two vertices";
    auto mouse = outlet_args(r, sg, 9); // the click, the two-vertex shape, the Shift-click
    ASSERT_EQ(mouse.size(), 4u);
    expect_near(mouse[1], {250, 19200, silence_db}, "press");
    expect_near(mouse[2], {750, 4800, silence_db}, "drag");
}

TEST(Gestures, ShiftClickDeletesOnlyTheMostRecentShapeUnderThePointer)
{
    Transcript r = run_script(patch, "attr sg mouse_mode 2\n"
                                     "mousedown sg 20 10\nmousedrag sg 180 10\nmousedrag sg 180 90\n"
                                     "mousedrag sg 20 90\nmouseup sg 20 90\n"
                                     "mousedown sg 80 40\nmousedrag sg 120 40\nmousedrag sg 120 60\n"
                                     "mousedrag sg 80 60\nmouseup sg 80 60\n"
                                     "mousedown sg 100 50 shift\nmouseup sg 100 50\n"
                                     "mousedown sg 5 5 context\n"
                                     "mousedown sg 40 30 shift\nmouseup sg 40 30\n"
                                     "mousedown sg 5 5 context\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto menus = lines_of(r, "menu");
    ASSERT_EQ(menus.size(), 2u);
    EXPECT_TRUE(shapes_enabled(menus[0])) << "the click inside both shapes deleted both";
    EXPECT_FALSE(shapes_enabled(menus[1])) << "the click inside both shapes deleted the older one";
}

TEST(Gestures, TheWheelZoomsTimeAboutThePointerPansWithShiftOrSidewaysAndZoomsFrequencyWithAlt)
{
    Transcript r = run_script(patch, "echo zoom\n"
                                     "mousewheel sg 50 50 0 1\n"    // a notch up, a quarter of the way in
                                     "echo shift\n"
                                     "mousewheel sg 50 50 0 -1 shift\n" // Shift and down: later
                                     "echo sideways\n"
                                     "mousewheel sg 50 50 1 0\n"
                                     "echo freq\n"
                                     "mousewheel sg 100 50 0 1 alt\n"
                                     "echo end\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto view = [&](const char *from, const char *to) {
        Json l = last_link(between(r, from, to));
        return std::vector<double>{l[0].get<double>(), l[1].get<double>(), l[2].get<double>(), l[3].get<double>()};
    };
    auto near = [](std::vector<double> a, std::vector<double> b, const char *what) {
        for (size_t i = 0; i < b.size(); i++)
            EXPECT_NEAR(a[i], b[i], 1e-3) << what << " value " << i;
    };
    near(view("zoom", "shift"), {50, 800, 0, 24000}, "250 ms stays under the pointer");
    near(view("shift", "sideways"), {130, 800, 0, 24000}, "a tenth of the span later");
    near(view("sideways", "freq"), {200, 800, 0, 24000}, "sideways, up to the end of the sound");
    std::vector<double> f = view("freq", "end");
    near(f, {200, 800}, "time untouched");
    EXPECT_GT(f[2], 0);
    EXPECT_LT(f[3], 24000);
    EXPECT_LT(f[3] - f[2], 24000 * 0.85) << "the range narrows about the middle row";
}

TEST(Gestures, ADoubleClickSelectsAllInSelectShowsAllInMoveAndDoesNothingMoreInDraw)
{
    Transcript r = run_script(patch, "mousedown sg 50 20\nmousedrag sg 150 80\nmouseup sg 150 80\n"
                                     "echo select\n" // as Max sends it: the clicks, then the double-click
                                     "mousedown sg 100 50\nmouseup sg 100 50\nmousedown sg 100 50\n"
                                     "mousedoubleclick sg 100 50\n"
                                     "mousedrag sg 140 70\nmouseup sg 140 70\n" // the second press drags nothing
                                     "echo move\n"
                                     "send sg select_none\n"
                                     "attr sg mouse_mode 1\nmousewheel sg 50 50 0 1\n"
                                     "mousedown sg 60 50\nmouseup sg 60 50\nmousedown sg 60 50\n"
                                     "mousedoubleclick sg 60 50\nmousedrag sg 90 50\nmouseup sg 90 50\n"
                                     "echo draw\n"
                                     "attr sg mouse_mode 2\n"
                                     "mousedown sg 60 50\nmouseup sg 60 50\nmousedown sg 60 50\n"
                                     "mousedoubleclick sg 60 50\nmouseup sg 60 50\n"
                                     "mousedown sg 5 5 context\n");
    ASSERT_EQ(r.status, 0) << r.err;
    expect_near(last_link(between(r, "select", "move")), {0, 1000, 0, 24000, 0, 1000, 0, 24000}, "Select");
    expect_near(last_link(between(r, "move", "draw")), {0, 1000, 0, 24000, 0, 0, 0, 0},
                "Move: the whole sound shown, the selection kept");
    for (const Json &l : between(r, "draw", nullptr))
        EXPECT_NE(l.value("outlet", -1), 8) << "Draw: the view stays: " << l.dump();
    auto menus = lines_of(r, "menu");
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_FALSE(shapes_enabled(menus[0])) << "Draw: the clicks leave no shape";
}

TEST(Gestures, HoverReportsTheMouseDataOnlyWhenAskedTo)
{
    Transcript r = run_script(patch, "mousemove sg 50 20\n"
                                     "attr sg mouse_hover 1\n"
                                     "mousemove sg 50 20\n"
                                     "mousemove sg 150 80\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto mouse = outlet_args(r, sg, 9);
    ASSERT_EQ(mouse.size(), 2u) << "off by default: the first move says nothing";
    expect_near(mouse[0], {250, 19200, silence_db}, "hover");
    expect_near(mouse[1], {750, 4800, silence_db}, "hover again");
}
