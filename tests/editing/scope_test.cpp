// What an edit may touch: only the samples of the frames whose cells it
// changed, the first and last samples edited like any other, nothing written
// when a gain cannot be a sample, undo entries that hold just the rewritten
// span, and a re-analysis after the object's own writes that gives the same
// picture as a full one.
#include "edit_fixture.h"

#include <random>

namespace {

// A recording-like signal: a voice of 20 harmonics of 140 Hz with vibrato
// and a falling spectrum, breath noise, and a click; channel 1 is the same
// voice a fifth up.
float voice(long i, long c)
{
    static std::vector<float> noise = [] {
        std::mt19937 rng(7);
        std::normal_distribution<float> d(0.0f, 0.01f);
        std::vector<float> v(96000);
        for (float &s : v)
            s = d(rng);
        return v;
    }();
    const double t = i / 48000.0, f0 = (c ? 210.0 : 140.0) * (1 + 0.02 * std::sin(2 * M_PI * 5 * t));
    double s = 0;
    for (int h = 1; h <= 20; h++)
        s += 0.3 / h * std::sin(2 * M_PI * f0 * h * t + h);
    s += noise[(size_t)(i % 96000)];
    if (i == 30000)
        s += 0.5;
    return (float)s;
}

class ScopeTest : public EditTest {
protected:
    t_specgram *setup(const char *name, long chan, double ms = 1000)
    {
        make_buffer(name, ms, 2);
        fill_buffer(name, voice);
        return make_specgram({{"buffer_name", {sym(name)}}, {"buffer_chan", {lng(chan)}}});
    }
    // Samples [begin, end) covered by the edit frames whose start time lies in [t0, t1] ms.
    static void frame_span(const t_specgram *x, double t0, double t1, long *begin, long *end)
    {
        const long hop = x->mags.stft_hop, n = x->mags.stft_win_size;
        long first = -1, last = -1;
        for (long i = 0; i * hop < x->frame_count; i++) {
            double t = (double)i * hop / x->sample_rate * 1000.0;
            if (t >= t0 && t <= t1) {
                first = first < 0 ? i : first;
                last = i;
            }
        }
        *begin = first * hop;
        *end = std::min(last * hop + n, x->frame_count);
    }
    std::vector<std::string> errors()
    {
        std::vector<std::string> out;
        for (auto &l : maxhost::console_lines())
            if (l.level == "error")
                out.push_back(l.text);
        return out;
    }
};

} // namespace

TEST_F(ScopeTest, ARectangleEditRewritesOnlyItsFramesOnItsChannel)
{
    for (long chan : {1L, 0L}) {
        const std::string name = "r" + std::to_string(chan);
        t_specgram *x = setup(name.c_str(), chan);
        auto before = samples(name);
        select(x, 400, 450, 5000, 6000);
        send(x, 0, "edit_selection_gain", {num(-6)});
        auto after = samples(name);
        long begin, end;
        frame_span(x, 400, 450, &begin, &end);
        long changed = 0;
        for (long i = 0; i < 48000; i++) {
            for (long c = 0; c < 2; c++) {
                const size_t k = (size_t)(i * 2 + c);
                const bool inside = i >= begin && i < end && (chan == 0 || c == chan - 1);
                if (!inside) {
                    ASSERT_EQ(after[k], before[k]) << "chan " << chan << " sample " << i << " channel " << c;
                }
                changed += after[k] != before[k];
            }
        }
        EXPECT_GT(changed, 0);
        // What changed is the little the voice and the noise put in the band.
        double worst = 0;
        for (size_t k = 0; k < after.size(); k++)
            worst = std::max(worst, (double)std::fabs(after[k] - before[k]));
        EXPECT_LT(worst, 0.02);
    }
}

TEST_F(ScopeTest, EditsReachingTheEndsEditTheFirstAndLastSamplesLikeAnyOther)
{
    t_specgram *x = setup("ends", 1, 500);
    const double g = std::pow(10.0, -6 / 20.0);
    auto before = samples("ends");
    // The whole time range over the whole band: every sample of channel 1
    // scaled, the first and the last included; channel 2 untouched.
    select(x, 0, 500, 0, 24000);
    send(x, 0, "edit_selection_gain", {num(-6)});
    auto after = samples("ends");
    for (size_t i = 0; i < 24000; i++) {
        ASSERT_NEAR(after[2 * i], g * before[2 * i], 2e-6) << i;
        ASSERT_EQ(after[2 * i + 1], before[2 * i + 1]) << i;
    }
    // A gain everywhere (outside as well as inside a small selection) scales
    // the whole channel the same way.
    select(x, 200, 210, 100, 200);
    send(x, 0, "edit_selection_gain", {num(-6), num(-6)});
    auto twice = samples("ends");
    for (size_t i = 0; i < 24000; i++)
        ASSERT_NEAR(twice[2 * i], g * after[2 * i], 2e-6) << i;
}

TEST_F(ScopeTest, EditsThatChangeNoCellLeaveEveryBit)
{
    t_specgram *x = setup("same", 0);
    auto before = samples("same");
    send(x, 0, "select_all");
    send(x, 0, "edit_selection_gain", {num(0)});
    send(x, 0, "edit_selection_freq_shift", {num(0)});
    select(x, 300, 400, 200, 3000);
    send(x, 0, "edit_selection_gain", {num(0), num(0)});
    EXPECT_EQ(samples("same"), before);
    EXPECT_EQ(x->undo_count, 3);
    // Isolating everything rewrites the whole buffer with what it holds.
    send(x, 0, "select_all");
    send(x, 0, "edit_selection_isolate");
    auto after = samples("same");
    for (size_t i = 0; i < after.size(); i++)
        ASSERT_NEAR(after[i], before[i], 1e-6) << i;
}

TEST_F(ScopeTest, GainsThatNoSampleCanHoldWriteNothingAndSaySo)
{
    t_specgram *x = setup("nf", 1);
    select(x, 100, 300, 100, 3000);
    auto before = samples("nf");
    const std::vector<std::pair<const char *, std::vector<t_atom>>> edits = {
        {"edit_selection_gain", {num(HUGE_VAL)}},
        {"edit_selection_gain", {num(1000)}},
        {"edit_selection_gain", {num(0), num(1000)}},
        {"edit_selection_freq_shift", {num(100), num(HUGE_VAL)}},
        {"edit_selection_pitch_shift", {num(3), num(800)}},
    };
    for (auto &e : edits) {
        maxhost::console_clear();
        send(x, 0, e.first, e.second);
        EXPECT_EQ(samples("nf"), before) << e.first;
        EXPECT_EQ(x->undo_count, 0) << e.first;
        auto errs = errors();
        ASSERT_EQ(errs.size(), 1u) << e.first;
        EXPECT_NE(errs[0].find("dB"), std::string::npos) << errs[0];
    }
    // Silence stays a valid gain.
    send(x, 0, "edit_selection_gain", {num(-1000)});
    EXPECT_EQ(x->undo_count, 1);
    EXPECT_NE(samples("nf"), before);
}

TEST_F(ScopeTest, UndoEntriesHoldTheRewrittenSpanAndRestoreItBitForBit)
{
    for (long chan : {2L, 0L}) {
        const std::string name = "u" + std::to_string(chan);
        t_specgram *x = setup(name.c_str(), chan, 2000);
        auto original = samples(name);
        select(x, 500, 700, 300, 2000);
        send(x, 0, "edit_selection_gain", {num(-12)});
        auto first = samples(name);
        select(x, 1200, 1300, 100, 800);
        send(x, 0, "edit_selection_pitch_shift", {num(3)});
        auto second = samples(name);
        ASSERT_EQ(x->undo_count, 2);
        for (long e = 0; e < 2; e++) {
            const t_undo_snapshot &s = x->undo_stack[e];
            EXPECT_LT(s.span_frames, 96000 / 4) << "the entry holds a span, not the buffer";
            EXPECT_EQ(s.chan_count, chan ? 1 : 2);
            EXPECT_EQ(s.frames, 96000);
            EXPECT_EQ(s.channels, 2);
        }
        send(x, 0, "undo");
        EXPECT_EQ(samples(name), first);
        send(x, 0, "undo");
        EXPECT_EQ(samples(name), original);
        send(x, 0, "redo");
        EXPECT_EQ(samples(name), first);
        send(x, 0, "redo");
        EXPECT_EQ(samples(name), second);
    }
}

TEST_F(ScopeTest, AResizeBetweenEditAndUndoStillGivesTheSizeMessage)
{
    t_specgram *x = setup("rs", 1, 500);
    select(x, 100, 200, 100, 3000);
    send(x, 0, "edit_selection_gain", {num(-6)});
    t_atom args[] = {lng(12000), lng(2)};
    maxhost::send(maxhost::find_box(patcher, "buf-rs"), 0, gensym("sizeinsamps"), 2, args);
    maxhost::pump();
    auto resized = samples("rs");
    maxhost::console_clear();
    send(x, 0, "undo");
    auto errs = errors();
    ASSERT_EQ(errs.size(), 1u);
    EXPECT_NE(errs[0].find("12000\xC3\x97" "2 vs snapshot 24000\xC3\x97" "2"), std::string::npos) << errs[0];
    EXPECT_EQ(samples("rs"), resized);
    EXPECT_EQ(x->undo_count, 0);
    EXPECT_EQ(x->redo_count, 1);
}

TEST_F(ScopeTest, TheOwnEditReanalysesOnlyItsFramesAndMatchesAFullAnalysis)
{
    for (long reassign : {0L, 1L}) {
        const std::string name = "a" + std::to_string(reassign);
        t_specgram *x = setup(name.c_str(), 1, 3000);
        set_attr(x, "freq_reassign", {lng(reassign)});
        select(x, 1000, 1100, 200, 4000);
        const std::vector<double> view_before = view(x);
        const uint64_t analysed = x->mags.frames_analysed;
        send(x, 0, "edit_selection_gain", {num(-20)});
        const uint64_t partial = x->mags.frames_analysed - analysed;
        EXPECT_GT(partial, 0u);
        EXPECT_LT(partial, (uint64_t)x->mags.num_frames / 4);
        EXPECT_EQ(view(x), view_before);
        const int64_t cells = x->mags.num_frames * x->mags.num_bins;
        std::vector<float> grid(x->mags.mags_db, x->mags.mags_db + cells);
        // A full analysis of the same buffer, by a box that reads it afresh.
        t_specgram *y = make_specgram({{"buffer_name", {sym(name.c_str())}}, {"buffer_chan", {lng(1)}},
                                       {"freq_reassign", {lng(reassign)}}},
                                      "fresh" + name);
        ASSERT_EQ(y->mags.num_frames * y->mags.num_bins, cells);
        EXPECT_EQ(std::vector<float>(y->mags.mags_db, y->mags.mags_db + cells), grid) << "reassign " << reassign;
    }
}
