// The view model through the patch runner: painting only shows the model,
// a click keeps the selection, and linked boxes stay in step without
// endless exchanges, whatever order the gestures on them come in.
//
// linked.maxpat: a silent 1000 ms buffer at 48 kHz shown by three 300 x 101
// boxes on the Lin scale (1025 rows of 23.4375 Hz), linked both ways in a
// chain: left <-> middle <-> right.
#include "e2e_runner.h"

#include <gtest/gtest.h>

namespace {

const char *const patch = "linked.maxpat";

long count_outlets(const std::vector<Json> &lines)
{
    long n = 0;
    for (const Json &l : lines)
        n += l["t"] == "outlet";
    return n;
}

} // namespace

TEST(LinkedViews, PaintingSendsNothingDuringOrAfterADrag)
{
    Transcript r = run_script(patch, "mousedown middle 50 20\n"
                                     "mousedrag middle 150 80\n"
                                     "echo during\n"
                                     "snapshot middle during.png\n"
                                     "resize middle 320 140\n" // every layer repaints at the new size
                                     "snapshot middle resized.png\n"
                                     "echo drag\n"
                                     "mousedrag middle 160 70\n"
                                     "mouseup middle 160 70\n"
                                     "echo after\n"
                                     "snapshot middle after.png\n"
                                     "resize middle 300 101\n"
                                     "snapshot left left.png\n"
                                     "echo end\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_outlets(between(r, "during", "drag")), 0);
    EXPECT_EQ(count_outlets(between(r, "after", "end")), 0);
    EXPECT_GT(count_outlets(between(r, "drag", "after")), 0);
}

TEST(LinkedViews, AClickInsideTheSelectionKeepsItExactly)
{
    Transcript r = run_script(patch, "send middle list 0 -1 0 -1 250 750 6000 12000\n"
                                     "echo click\n"
                                     "mousedown middle 150 50\n" // inside the box
                                     "mouseup middle 150 50\n"
                                     "mousedown middle 150 50\n"
                                     "mousedrag middle 150 50\n" // a drag that goes nowhere
                                     "mouseup middle 150 50\n"
                                     "mousedown middle 5 95\n" // outside it
                                     "mouseup middle 5 95\n"
                                     "echo end\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = between(r, "click", "end");
    for (const Json &l : lines) {
        if (l["t"] == "outlet") {
            EXPECT_EQ(l["outlet"], 9) << "the selection was reported changed: " << l.dump();
        }
    }
    Json before = last_link(between(r, nullptr, "click"), "obj-3");
    ASSERT_TRUE(before.is_array());
    EXPECT_EQ(before[6].get<double>(), 6000.0);
    EXPECT_EQ(before[7].get<double>(), 12000.0);
}

TEST(LinkedViews, GesturesOnTwoBoxesAtOnceEndInStep)
{
    // A press and drag on one box, then on its neighbour before the first is
    // released, then back and forth: every exchange ends.
    Transcript r = run_script(patch, "mousedown left 30 20\n"
                                     "mousedrag left 90 60\n"
                                     "mousedown middle 200 30\n"
                                     "mousedrag middle 250 70\n"
                                     "mousedrag left 120 80\n"
                                     "mousedrag middle 270 90\n"
                                     "mouseup left 120 80\n"
                                     "mouseup middle 270 90\n"
                                     "echo end\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = between(r, nullptr, "end");
    EXPECT_LT(count_outlets(lines), 400);
    Json left = last_link(lines, "obj-2"), middle = last_link(lines, "obj-3"), right = last_link(lines, "obj-4");
    ASSERT_TRUE(middle.is_array());
    EXPECT_EQ(left, middle);
    EXPECT_EQ(right, middle);
    EXPECT_NEAR(middle[4].get<double>(), 200.0 / 300 * 1000, 1e-3); // the middle box's last band
    EXPECT_NEAR(middle[5].get<double>(), 270.0 / 300 * 1000, 1e-3);
}
