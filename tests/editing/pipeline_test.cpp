// The edit pipeline on real buffer~ objects: which channels and frames are
// rewritten, the own-edit mark, and what is left alone.
#include "edit_fixture.h"

TEST_F(EditTest, AnEditOnChannelTwoChangesOnlyChannelTwo)
{
    make_buffer("st", 500, 2);
    fill_buffer("st", [](long i, long c) { return c == 0 ? tone(i, 440) : tone(i, 3000); });
    auto before = samples("st");
    t_specgram *x = make_specgram({{"buffer_name", {sym("st")}}, {"buffer_chan", {lng(2)}}});
    select(x, 0, 500, 2000, 4000);
    send(x, 0, "edit_selection_delete");
    auto after = samples("st");
    EXPECT_EQ(channel(after, 2, 0), channel(before, 2, 0));
    auto c1 = channel(after, 2, 1);
    EXPECT_LT(rms(c1, 4096, 20000), 0.01 * rms(channel(before, 2, 1), 4096, 20000));
    EXPECT_EQ(x->self_edit_pending, 0); // consumed by the buffer_modified that followed
}

TEST_F(EditTest, AllChannelsAreEditedEachOnItsOwn)
{
    make_buffer("both", 500, 2);
    fill_buffer("both", [](long i, long c) { return c == 0 ? tone(i, 440) : tone(i, 3000); });
    t_specgram *x = make_specgram({{"buffer_name", {sym("both")}}, {"buffer_chan", {lng(0)}}});
    select(x, 0, 500, 2000, 4000);
    send(x, 0, "edit_selection_delete");
    auto after = samples("both");
    auto c0 = channel(after, 2, 0), c1 = channel(after, 2, 1);
    EXPECT_NEAR(rms(c0, 4096, 20000), 0.5 / std::sqrt(2.0), 0.01); // the 440 Hz tone is outside the band
    EXPECT_LT(rms(c1, 4096, 20000), 0.01);
}

TEST_F(EditTest, AllChannelsAtOnceGiveWhatEachChannelAloneGives)
{
    // Three channels, so that the workers get unequal shares; a pitch shift,
    // whose phases run from frame to frame within each channel.
    auto fill = [](long i, long c) {
        return tone(i, 500.0 + 700.0 * c) + 0.2f * tone(i, 9000.0 - 1000.0 * c);
    };
    make_buffer("three", 400, 3);
    fill_buffer("three", fill);
    const auto before = samples("three");
    t_specgram *x = make_specgram({{"buffer_name", {sym("three")}}, {"buffer_chan", {lng(0)}}});
    select(x, 50, 300, 300, 12000);
    send(x, 0, "edit_selection_pitch_shift", {num(3), num(-1)});
    auto together = samples("three");
    for (long c = 0; c < 3; c++)
        ASSERT_NE(channel(together, 3, c), channel(before, 3, c)) << c;
    for (long c = 0; c < 3; c++) {
        fill_buffer("three", fill);
        set_attr(x, "buffer_chan", {lng(c + 1)});
        select(x, 50, 300, 300, 12000);
        send(x, 0, "edit_selection_pitch_shift", {num(3), num(-1)});
        EXPECT_EQ(channel(samples("three"), 3, c), channel(together, 3, c)) << c;
    }
}

TEST_F(EditTest, UnitGainsGiveTheSignalBackAwayFromTheEnds)
{
    make_buffer("g1", 500);
    fill_buffer("g1", [](long i, long) { return tone(i, 1000) + 0.3f * tone(i, 7000); });
    auto before = samples("g1");
    t_specgram *x = make_specgram({{"buffer_name", {sym("g1")}}});
    select(x, 100, 200, 500, 5000);
    send(x, 0, "edit_selection_gain", {num(0), num(0)});
    auto after = samples("g1");
    double worst = 0;
    for (size_t i = 2048; i < before.size() - 4096; i++)
        worst = std::max(worst, (double)std::fabs(after[i] - before[i]));
    EXPECT_LT(worst, 2e-3);
}

TEST_F(EditTest, AGrownBufferKeepsItsNewFramesAndAShrunkOneIsRewrittenUpToItsEnd)
{
    t_object *b = make_buffer("gr", 500);
    fill_buffer("gr", [](long i, long) { return tone(i, 3000); });
    t_specgram *x = make_specgram({{"buffer_name", {sym("gr")}}});
    long n = x->frame_count;
    select(x, 0, 500, 2000, 4000);
    // Grow the buffer and edit before the object hears of it: the edit
    // rewrites the analysed N frames and leaves the new ones.
    t_atom grow[] = {lng(n + 1000), lng(1)};
    maxhost::send(b, 0, gensym("sizeinsamps"), 2, grow);
    t_object *buf = maxhost::find_buffer("gr");
    float *p = buffer_locksamples(buf);
    ASSERT_TRUE(p);
    for (long i = n; i < n + 1000; i++)
        p[i] = 0.25f;
    buffer_unlocksamples(buf);
    maxhost::send((t_object *)x, 0, gensym("edit_selection_delete"), 0, nullptr);
    maxhost::pump();
    auto after = samples("gr");
    ASSERT_EQ((long)after.size(), n + 1000);
    EXPECT_LT(rms(after, 4096, n - 4096), 0.01);
    for (long i = n; i < n + 1000; i++)
        ASSERT_EQ(after[i], 0.25f) << i;

    // Shrink it the same way: only its remaining frames are written.
    long m = x->frame_count;
    fill_buffer("gr", [](long i, long) { return tone(i, 3000); });
    select(x, 0, 500, 2000, 4000);
    t_atom shrink[] = {lng(m / 2), lng(1)};
    maxhost::send(b, 0, gensym("sizeinsamps"), 2, shrink);
    maxhost::send((t_object *)x, 0, gensym("edit_selection_delete"), 0, nullptr);
    maxhost::pump();
    after = samples("gr");
    ASSERT_EQ((long)after.size(), m / 2);
    EXPECT_LT(rms(after, 4096, m / 2 - 100), 0.01);
}

TEST_F(EditTest, AnEmptySelectionOrNoShapesChangeNothing)
{
    make_buffer("empty", 300);
    fill_buffer("empty", [](long i, long) { return tone(i, 1000); });
    auto before = samples("empty");
    t_specgram *x = make_specgram({{"buffer_name", {sym("empty")}}});
    select(x, 100, 100, 0, 5000);
    send(x, 0, "edit_selection_delete");
    send(x, 0, "edit_shapes_delete");
    EXPECT_EQ(samples("empty"), before);
    EXPECT_EQ(x->undo_count, 0);
}

TEST_F(EditTest, ShapesSelectTheirCells)
{
    make_buffer("sh", 500);
    fill_buffer("sh", [](long i, long) { return tone(i, 1000) + tone(i, 6000); });
    t_specgram *x = make_specgram({{"buffer_name", {sym("sh")}}});
    add_shape(x, {{0, 5000}, {500, 5000}, {500, 7000}, {0, 7000}});
    send(x, 0, "edit_shapes_delete");
    auto after = samples("sh");
    EXPECT_NEAR(rms(after, 4096, 20000), 0.5 / std::sqrt(2.0), 0.02); // only the 1 kHz tone is left
    EXPECT_EQ(x->undo_count, 1);
}

TEST_F(EditTest, AShorterSignalThanTheEditWindowIsLeftAlone)
{
    make_buffer("tiny", 20); // 960 frames, below the 2048-sample edit window
    fill_buffer("tiny", [](long i, long) { return tone(i, 1000); });
    auto before = samples("tiny");
    t_specgram *x = make_specgram({{"buffer_name", {sym("tiny")}}});
    select(x, 0, 20, 0, 5000);
    send(x, 0, "edit_selection_delete");
    EXPECT_EQ(samples("tiny"), before);
}

TEST_F(EditTest, ShiftModesParse)
{
    EXPECT_EQ(specgram_parse_shift_mode("copy-mix"), 2);
    EXPECT_EQ(specgram_parse_shift_mode("move-replace"), 1);
    EXPECT_EQ(specgram_parse_shift_mode("copy-replace"), 3);
    EXPECT_EQ(specgram_parse_shift_mode("Copy-Mix"), 0);
    EXPECT_EQ(specgram_parse_shift_mode(""), 0);
    EXPECT_EQ(specgram_parse_shift_mode(nullptr), 0);
}
