// The view model: the float inlets, the Link In list with its sentinels, the
// outlets and their order, linked boxes, the row lookup and the mouse data.
#include "specgram_fixture.h"

namespace {

class ViewTest : public SpecgramTest {
protected:
    t_specgram *two_seconds()
    {
        make_buffer("two", 2000);
        return make_specgram({{"buffer_name", {sym("two")}}});
    }
};

} // namespace

TEST_F(ViewTest, DisplayStartClampsTheLengthAndPullsTheSelection)
{
    t_specgram *x = two_seconds();
    send_float(x, 0, 5000);
    EXPECT_DOUBLE_EQ(x->display_start, 2000);
    EXPECT_DOUBLE_EQ(x->display_length, 0);
    EXPECT_DOUBLE_EQ(x->selection_start, 2000);
    send_float(x, 0, -1);
    send_float(x, 1, -10); // no sentinel on the inlet
    EXPECT_DOUBLE_EQ(x->display_length, 0);
    send(x, 8, "list", {num(0), num(-1), num(0), num(-1), num(0), num(0), num(0), num(0)});
    EXPECT_DOUBLE_EQ(x->display_length, 2000); // the list's -1 is the rest of the buffer
}

TEST_F(ViewTest, FrequencyInletsKeepLowBelowHigh)
{
    t_specgram *x = two_seconds();
    send_float(x, 2, 5000);
    send_float(x, 3, 1000);
    EXPECT_DOUBLE_EQ(x->display_low, 1000);
    EXPECT_DOUBLE_EQ(x->display_high, 5000);
    send_float(x, 3, 99999);
    EXPECT_DOUBLE_EQ(x->display_high, 24000);
}

TEST_F(ViewTest, SelectionInletsPushTheOppositeEdgeButTheBulkSetterPullsTheStart)
{
    t_specgram *x = two_seconds();
    send_float(x, 5, 100);
    send_float(x, 4, 300);
    EXPECT_DOUBLE_EQ(x->selection_start, 300);
    EXPECT_DOUBLE_EQ(x->selection_end, 300);
    send(x, 8, "list", {num(0), num(2000), num(0), num(24000), num(300), num(100), num(0), num(0)});
    EXPECT_DOUBLE_EQ(x->selection_start, 100);
    EXPECT_DOUBLE_EQ(x->selection_end, 100);
}

TEST_F(ViewTest, LinkInWithTheCurrentStateIsSilentOtherwiseNineMessagesLinkOutLast)
{
    t_specgram *x = two_seconds();
    sent.clear();
    auto v = view(x);
    send(x, 8, "list", {num(v[0]), num(v[1]), num(v[2]), num(v[3]), num(v[4]), num(v[5]), num(v[6]), num(v[7])});
    EXPECT_TRUE(messages_from(x).empty());
    send(x, 0, "list", {num(10), num(v[1]), num(v[2]), num(v[3]), num(v[4]), num(v[5]), num(v[6]), num(v[7])});
    auto m = messages_from(x);
    ASSERT_EQ(m.size(), 9u);
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(m[i].outlet, 7 - i);
        EXPECT_EQ(m[i].selector, "float");
    }
    EXPECT_EQ(m[8].outlet, 8);
    EXPECT_EQ(m[8].selector, "list");
    EXPECT_EQ(m[8].numbers, view(x));
    send(x, 8, "list", {num(1), num(2), sym("three"), num(4), num(5), num(6), num(7), num(8)});
    send(x, 8, "list", {num(1), num(2)});
    EXPECT_EQ(messages_from(x).size(), 9u); // malformed lists are ignored
}

TEST_F(ViewTest, ALinkRingSettlesAndFallsSilent)
{
    make_buffer("one", 1000);
    make_buffer("two", 2000);
    t_specgram *a = make_specgram({{"buffer_name", {sym("one")}}}, "a");
    t_specgram *b = make_specgram({{"buffer_name", {sym("two")}}}, "b");
    ASSERT_TRUE(maxhost::connect(patcher, (t_object *)a, 8, (t_object *)b, 8));
    ASSERT_TRUE(maxhost::connect(patcher, (t_object *)b, 8, (t_object *)a, 8));
    sent.clear();
    send_float(b, 0, 1500);
    EXPECT_DOUBLE_EQ(a->display_start, 1000);
    EXPECT_DOUBLE_EQ(a->display_length, 0);
    EXPECT_DOUBLE_EQ(b->display_start, 1000);
    EXPECT_DOUBLE_EQ(b->display_length, 0);
    // b reported, a applied and reported, b applied and reported, a heard its
    // own state and stayed silent.
    EXPECT_EQ(messages_from(b).size(), 18u);
    EXPECT_EQ(messages_from(a).size(), 9u);
}

TEST_F(ViewTest, AChainDraggedFromTheMiddleSettlesWithoutReenteringABoxMidReport)
{
    // a (a shorter buffer) <-> b <-> c: a selection dragged on b reaches a,
    // which clamps it and sends its own state back while b is still
    // reporting; b takes it up only after its report, so b never sends from
    // inside a delivery, and the three end in step.
    make_buffer("short", 500);
    make_buffer("long", 1000);
    t_specgram *a = make_specgram({{"buffer_name", {sym("short")}}}, "a");
    t_specgram *b = make_specgram({{"buffer_name", {sym("long")}}}, "b");
    t_specgram *c = make_specgram({{"buffer_name", {sym("long")}}}, "c");
    for (t_specgram *end : {a, c}) {
        ASSERT_TRUE(maxhost::connect(patcher, (t_object *)b, 8, (t_object *)end, 8));
        ASSERT_TRUE(maxhost::connect(patcher, (t_object *)end, 8, (t_object *)b, 8));
    }
    sent.clear();
    maxhost::mouse((t_object *)b, maxhost::Mouse::down, 30, 20, 0);
    for (double px = 60; px <= 270; px += 30)
        maxhost::mouse((t_object *)b, maxhost::Mouse::drag, px, 80, 0);
    maxhost::mouse((t_object *)b, maxhost::Mouse::up, 270, 80, 0);
    maxhost::pump();

    ASSERT_FALSE(messages_from(b).empty());
    for (const OutletMessage &m : messages_from(b))
        EXPECT_EQ(m.depth, 0) << "b sent from inside a message delivered to it";
    for (const OutletMessage &m : sent)
        EXPECT_LE(m.depth, 1);
    EXPECT_EQ(view(a), view(b));
    EXPECT_EQ(view(c), view(b));
    EXPECT_DOUBLE_EQ(b->display_length, 500); // a's window, taken up by the others
}

TEST_F(ViewTest, RowLookupBisectsTheEdges)
{
    const float edges[] = {0, 10, 20, 30, 40};
    EXPECT_EQ(specgram_find_bin_for_freq_ranges(edges, 4, -5), 0);
    EXPECT_EQ(specgram_find_bin_for_freq_ranges(edges, 4, 0), 0);
    EXPECT_EQ(specgram_find_bin_for_freq_ranges(edges, 4, 9.99), 0);
    EXPECT_EQ(specgram_find_bin_for_freq_ranges(edges, 4, 10), 1);
    EXPECT_EQ(specgram_find_bin_for_freq_ranges(edges, 4, 35), 3);
    EXPECT_EQ(specgram_find_bin_for_freq_ranges(edges, 4, 40), 3);
    EXPECT_EQ(specgram_find_bin_for_freq_ranges(edges, 4, NAN), 0);
    EXPECT_FLOAT_EQ(specgram_row_fraction(edges, 1, 15), 0.5f);
    const float flat[] = {5, 5, 6};
    EXPECT_FLOAT_EQ(specgram_row_fraction(flat, 0, 5), 0.0f);
}

TEST_F(ViewTest, MouseDataAtTheEdgesOfTheBox)
{
    t_specgram *x = two_seconds();
    set_attr(x, "mouse_mode", {lng(1)}); // Move: a press stores the pointer and reports it
    send(x, 8, "list", {num(500), num(1000), num(0), num(-1), num(0), num(0), num(0), num(0)});
    sent.clear();
    maxhost::mouse((t_object *)x, maxhost::Mouse::down, 0, 99, 0); // bottom left
    maxhost::mouse((t_object *)x, maxhost::Mouse::up, 0, 99, 0);
    maxhost::mouse((t_object *)x, maxhost::Mouse::down, 300, 0, 0); // top right
    maxhost::mouse((t_object *)x, maxhost::Mouse::up, 300, 0, 0);
    maxhost::box_set_size((t_object *)x, 300, 1);
    maxhost::mouse((t_object *)x, maxhost::Mouse::down, 150, 0, 0); // a box one pixel high
    maxhost::mouse((t_object *)x, maxhost::Mouse::up, 150, 0, 0);
    std::vector<OutletMessage> m;
    for (auto &msg : messages_from(x))
        if (msg.outlet == 9)
            m.push_back(msg);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_FLOAT_EQ((float)m[0].numbers[0], 500.f);
    EXPECT_FLOAT_EQ((float)m[0].numbers[1], 0.f); // the lowest visible row's edge
    EXPECT_LT(m[0].numbers[2], -100);             // silence
    EXPECT_FLOAT_EQ((float)m[1].numbers[0], 1500.f);
    EXPECT_GT(m[1].numbers[1], 20000);
    EXPECT_FLOAT_EQ((float)m[2].numbers[1], 0.f);
}
