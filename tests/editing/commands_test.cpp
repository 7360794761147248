// Message commands: gains and inversion, shift arguments, shapes clearing,
// the view, selection and zoom commands.
#include "edit_fixture.h"

TEST_F(EditTest, InversionExchangesTheGains)
{
    make_buffer("inv", 300);
    fill_buffer("inv", [](long i, long) { return tone(i, 1000) + tone(i, 6000); });
    auto original = samples("inv");
    t_specgram *x = make_specgram({{"buffer_name", {sym("inv")}}, {"edit_inverted", {lng(1)}}});
    select(x, 0, 300, 0, 3000);
    send(x, 0, "edit_selection_gain", {num(-6), num(-20)});
    auto after = samples("inv");
    // -20 dB on the 1 kHz tone inside, -6 dB on the 6 kHz tone outside.
    make_buffer("ref", 300);
    fill_buffer("ref", [](long i, long) { return 0.1f * tone(i, 1000) + 0.501187f * tone(i, 6000); });
    auto expected = samples("ref");
    double worst = 0;
    for (size_t i = 4096; i < after.size() - 4096; i++)
        worst = std::max(worst, (double)std::fabs(after[i] - expected[i]));
    EXPECT_LT(worst, 0.02);
    send(x, 0, "undo");
    send(x, 0, "edit_selection_isolate"); // inverted: silences the inside, keeps the outside
    after = samples("inv");
    EXPECT_NEAR(rms(after, 4096, after.size() - 4096), 0.5 / std::sqrt(2.0), 0.02);
}

TEST_F(EditTest, GainWithoutArgumentsDoesNothing)
{
    make_buffer("ga", 300);
    fill_buffer("ga", [](long i, long) { return tone(i, 1000); });
    auto before = samples("ga");
    t_specgram *x = make_specgram({{"buffer_name", {sym("ga")}}});
    select(x, 0, 300, 0, 3000);
    send(x, 0, "edit_selection_gain");
    send(x, 0, "edit_selection_freq_shift");
    EXPECT_EQ(samples("ga"), before);
    EXPECT_EQ(x->undo_count, 0);
    send(x, 0, "edit_selection_gain", {num(-6)}); // one argument: outside stays at 0 dB
    auto after = samples("ga");
    EXPECT_NEAR(rms(after, 4096, 10000) / rms(before, 4096, 10000), 0.501187, 0.01);
}

TEST_F(EditTest, ClearingShapes)
{
    t_specgram *x = make_specgram();
    maxhost::pump();
    send(x, 0, "edit_shapes_clearlast");
    EXPECT_TRUE(maxhost::queue_empty()); // nothing to clear: no redraw
    add_shape(x, {{0, 0}, {1, 1}, {2, 0}});
    add_shape(x, {{3, 0}, {4, 1}, {5, 0}, {6, 2}});
    send(x, 0, "edit_shapes_clearlast");
    EXPECT_EQ(x->shape_count, 1);
    EXPECT_EQ(x->shape_point_total, 3);
    send(x, 0, "edit_shapes_clear");
    EXPECT_EQ(x->shape_count, 0);
    EXPECT_EQ(x->shape_point_total, 0);
}

TEST_F(EditTest, ViewAndSelectionCommands)
{
    make_buffer("v", 2000);
    t_specgram *x = make_specgram({{"buffer_name", {sym("v")}}});
    send(x, 0, "view_selected"); // no selection: nothing happens
    EXPECT_DOUBLE_EQ(x->display_length, 2000);
    select(x, 500, 900, 1000, 3000);
    send(x, 0, "view_selected");
    EXPECT_EQ(view(x), (std::vector<double>{500, 400, 1000, 3000, 500, 900, 1000, 3000}));
    send(x, 0, "select_all");
    EXPECT_EQ(view(x), (std::vector<double>{500, 400, 1000, 3000, 0, 2000, 0, 24000}));
    send(x, 0, "select_window_time");
    EXPECT_DOUBLE_EQ(x->selection_start, 500);
    EXPECT_DOUBLE_EQ(x->selection_end, 900);
    send(x, 0, "view_all_time");
    EXPECT_DOUBLE_EQ(x->display_length, 2000);
    EXPECT_DOUBLE_EQ(x->display_low, 1000);
    send(x, 0, "select_none");
    EXPECT_EQ(x->selection_end, 0);
    send(x, 0, "view_all");
    EXPECT_DOUBLE_EQ(x->display_high, 24000);
}

TEST_F(EditTest, ZoomingTimeStopsAtTheSignalAndSmallRowRangesStayPut)
{
    make_buffer("z", 1000);
    t_specgram *x = make_specgram({{"buffer_name", {sym("z")}}});
    send(x, 0, "zoom_in_time");
    EXPECT_NEAR(x->display_length, 850, 1e-9);
    EXPECT_NEAR(x->display_start, 75, 1e-9);
    for (int i = 0; i < 20; i++)
        send(x, 0, "zoom_out_time");
    EXPECT_DOUBLE_EQ(x->display_start, 0);
    EXPECT_DOUBLE_EQ(x->display_length, 1000);
    // Mel scale: a range of 10 rows at the top does not shrink, one of 8 does not grow.
    const float *edges = specmags_current_edges(&x->mags);
    long rows = (long)x->mags.num_bins;
    send(x, 0, "list", {num(0), num(1000), num(edges[rows - 10]), num(24000), num(0), num(0), num(0), num(0)});
    send(x, 0, "zoom_in_freq");
    EXPECT_FLOAT_EQ((float)x->display_low, edges[rows - 10]);
    EXPECT_FLOAT_EQ((float)x->display_high, 24000.f);
    send(x, 0, "list", {num(0), num(1000), num(edges[rows - 8]), num(24000), num(0), num(0), num(0), num(0)});
    send(x, 0, "zoom_out_freq");
    EXPECT_FLOAT_EQ((float)x->display_low, edges[rows - 8]);
    send(x, 0, "list", {num(0), num(1000), num(0), num(24000), num(0), num(0), num(0), num(0)});
    send(x, 0, "zoom_in_freq");
    EXPECT_GT(x->display_low, 0);
    EXPECT_LT(x->display_high, 24000);
}

TEST_F(EditTest, ShiftArgumentsAndModes)
{
    make_buffer("sf", 300);
    fill_buffer("sf", [](long i, long) { return tone(i, 1000); });
    t_specgram *x = make_specgram({{"buffer_name", {sym("sf")}}});
    add_shape(x, {{0, 500}, {300, 500}, {300, 1500}, {0, 1500}});
    send(x, 0, "edit_shapes_freq_shift", {num(100), num(-3), sym("copy-mix")});
    EXPECT_EQ(x->undo_count, 1);
    EXPECT_STREQ(x->undo_stack[0].label, "Freq-Shift Shapes");
    auto after = samples("sf");
    // Copy-mix keeps the 1 kHz tone and adds a copy at 1.1 kHz, 3 dB down:
    // the level rises.
    EXPECT_GT(rms(after, 4096, 10000), 0.5 / std::sqrt(2.0) * 1.1);
}
