// Edit STFT: sizes, the layout of a row against a direct DFT, unit-gain
// reconstruction of the interior, the uncovered tail, short channels, and the
// streamed pass against the whole-channel transforms.
#include "specmags.h"
#include "test_signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct Edit
{
    t_specmags m;
    Edit(int64_t n, long win) { EXPECT_EQ(specmags_init(&m, n, 2048, 1, 2, win, 48000.0), 1); }
    ~Edit() { specmags_cleanup(&m); }
    std::vector<float> round_trip(const std::vector<float> &x)
    {
        EXPECT_EQ(specmags_stft_forward(&m, x.data()), 1);
        EXPECT_EQ(specmags_stft_inverse(&m), 1);
        return std::vector<float>(m.stft_out, m.stft_out + m.num_samples);
    }
};

TEST(EditStft, WindowSizeSetter)
{
    Edit e(1000, 2048);
    EXPECT_EQ(specmags_set_stft_win_size(&e.m, 3000), 1);
    EXPECT_EQ(e.m.stft_win_size, 4096);
    EXPECT_EQ(specmags_set_stft_win_size(&e.m, 10000), 1);
    EXPECT_EQ(e.m.stft_win_size, 8192);
    EXPECT_EQ(specmags_set_stft_win_size(&e.m, 1), 1);
    EXPECT_EQ(e.m.stft_win_size, 32);
    EXPECT_EQ(specmags_set_stft_win_size(&e.m, 32), 0);
    EXPECT_EQ(specmags_set_stft_win_size(&e.m, 20), 0);
}

TEST(EditStft, RowsHoldTheDftOfTheWindowedBlock)
{
    const int n = 32;
    Edit e(200, n);
    const std::vector<float> x = uniform_noise(200, 1);
    ASSERT_EQ(specmags_stft_forward(&e.m, x.data()), 1);
    ASSERT_EQ(e.m.stft_num_frames, (200 - n) / 8 + 1);
    for (int64_t i : {0L, 5L, e.m.stft_num_frames - 1}) {
        const float *row = e.m.stft_frames + i * e.m.stft_num_bins * 2;
        for (int k = 0; k <= n / 2; k++) {
            double re = 0, im = 0;
            for (int j = 0; j < n; j++) {
                const double w = std::sqrt(0.5 - 0.5 * std::cos(2 * M_PI * j / (n - 1)));
                re += x[(size_t)(i * 8 + j)] * w * std::cos(2 * M_PI * k * j / n);
                im -= x[(size_t)(i * 8 + j)] * w * std::sin(2 * M_PI * k * j / n);
            }
            EXPECT_NEAR(row[2 * k], re, 1e-5) << i << " " << k;
            if (k == 0 || k == n / 2)
                EXPECT_EQ(row[2 * k + 1], 0.0f) << i << " " << k;
            else
                EXPECT_NEAR(row[2 * k + 1], im, 1e-5) << i << " " << k;
        }
    }
}

// Interior gain: the four square-root-Hann products at hop N/4 sum to just
// under 2, which the 0.5 / N scale brings to just under 1.
TEST(EditStft, RoundTripReproducesTheInterior)
{
    const struct
    {
        int n;
        double lo, hi;
    } cases[] = {{32, 0.965, 0.974}, {2048, 0.9994, 0.9997}};
    for (const auto &c : cases) {
        const int64_t len = 48000;
        Edit e(len, c.n);
        const std::vector<float> gain = e.round_trip(std::vector<float>(len, 1.0f));
        const std::vector<float> x = uniform_noise(len, 2);
        const std::vector<float> y = e.round_trip(x);
        const int64_t hop = c.n / 4;
        const int64_t end = (e.m.stft_num_frames - 1) * hop + c.n / 4;
        for (int64_t i = 3 * c.n / 4; i < end; i++) {
            ASSERT_GE(gain[(size_t)i], c.lo) << "N " << c.n << " sample " << i;
            ASSERT_LE(gain[(size_t)i], c.hi) << "N " << c.n << " sample " << i;
            ASSERT_NEAR(y[(size_t)i], x[(size_t)i] * gain[(size_t)i], 2e-6) << i;
        }
        EXPECT_LT(std::fabs(y[0]), 1e-6); // the window's end value
    }
}

TEST(EditStft, SamplesNoFrameReachesComeOutZero)
{
    Edit e(48000, 2048);
    EXPECT_EQ(e.m.stft_hop, 512);
    EXPECT_EQ(e.m.stft_num_bins, 1025);
    EXPECT_EQ(e.m.stft_num_frames, 90);
    e.round_trip(uniform_noise(48000, 2));
    std::fill(e.m.stft_out, e.m.stft_out + 48000, 5.0f);
    const std::vector<float> y = e.round_trip(uniform_noise(48000, 3));
    for (int64_t i = 47616; i < 48000; i++)
        ASSERT_EQ(y[(size_t)i], 0.0f) << i;
    EXPECT_NE(y[47500], 0.0f); // inside the last frame (its final sample has window 0)
}

TEST(EditStft, ChannelShorterThanTheWindowIsLeftAlone)
{
    Edit e(2047, 2048);
    EXPECT_EQ(e.m.stft_num_frames, 1);
    const std::vector<float> x = uniform_noise(2047, 4);
    EXPECT_EQ(specmags_stft_forward(&e.m, x.data()), 0);
    EXPECT_EQ(specmags_stft_inverse(&e.m), 0);
    EXPECT_EQ(specmags_stft_stream(&e.m, x.data(), nullptr, nullptr), 0);
    EXPECT_EQ(e.m.stft_frames, nullptr); // nothing was allocated for it
    EXPECT_EQ(e.m.stft_out, nullptr);
}

TEST(EditStft, UpdateFollowsTheChannelLengthAndSize)
{
    Edit e(10000, 1024);
    ASSERT_EQ(specmags_update(&e.m, 20000, 48000.0), 1);
    // Until the edit STFT is rebuilt it keeps working on its own length.
    EXPECT_EQ(e.m.stft_length, 10000);
    const std::vector<float> x = uniform_noise(20000, 5);
    EXPECT_EQ(specmags_stft_forward(&e.m, x.data()), 1);
    ASSERT_EQ(specmags_stft_update(&e.m), 1);
    EXPECT_EQ(e.m.stft_length, 20000);
    EXPECT_EQ(e.m.stft_num_frames, (20000 - 1024) / 256 + 1);
    ASSERT_EQ(specmags_set_stft_win_size(&e.m, 256), 1);
    ASSERT_EQ(specmags_stft_update(&e.m), 1);
    EXPECT_EQ(e.m.stft_num_frames, (20000 - 256) / 64 + 1);
    const std::vector<float> y = e.round_trip(x);
    EXPECT_NEAR(y[10000], x[10000], 0.01);
}

TEST(EditStft, InverseBeforeAnyForwardIsRefused)
{
    Edit e(10000, 1024);
    EXPECT_EQ(specmags_stft_inverse(&e.m), 0);
}

// The frames the stream hands out, and an edit that scales each row by its
// frame index so that a misplaced row would show.
struct FrameLog
{
    int64_t bins = 0;
    std::vector<int64_t> frames;
    int64_t stop_after = -1; // frames to accept before stopping
};

void scale_row(float *row, int64_t bins, int64_t frame)
{
    for (int64_t k = 0; k < 2 * bins; k++)
        row[k] *= 1.0f + 0.001f * (float)frame;
}

int log_and_scale(void *ctx, float *row, int64_t frame)
{
    FrameLog *log = (FrameLog *)ctx;
    if (log->stop_after == (int64_t)log->frames.size())
        return 0;
    log->frames.push_back(frame);
    scale_row(row, log->bins, frame);
    return 1;
}

TEST(EditStft, StreamGivesTheWholeChannelTransformsBitForBit)
{
    for (long win : {32L, 2048L, 8192L}) {
        const int64_t n = 70001;
        Edit e(n, win);
        const std::vector<float> x = uniform_noise(n, 11);
        FrameLog log;
        log.bins = e.m.stft_num_bins;
        ASSERT_EQ(specmags_stft_stream(&e.m, x.data(), log_and_scale, &log), 1) << win;
        const std::vector<float> streamed(e.m.stft_out, e.m.stft_out + n);
        EXPECT_EQ(e.m.stft_frames, nullptr) << win;
        // Every frame once, in order.
        ASSERT_EQ((int64_t)log.frames.size(), e.m.stft_num_frames) << win;
        for (size_t i = 0; i < log.frames.size(); i++)
            ASSERT_EQ(log.frames[i], (int64_t)i) << win;

        ASSERT_EQ(specmags_stft_forward(&e.m, x.data()), 1);
        for (int64_t i = 0; i < e.m.stft_num_frames; i++)
            scale_row(e.m.stft_frames + i * 2 * e.m.stft_num_bins, e.m.stft_num_bins, i);
        std::fill(e.m.stft_out, e.m.stft_out + n, 3.0f);
        ASSERT_EQ(specmags_stft_inverse(&e.m), 1);
        EXPECT_EQ(streamed, std::vector<float>(e.m.stft_out, e.m.stft_out + n)) << win;

        // Without an edit the stream is the plain round trip, also into an
        // output of any alignment.
        ASSERT_EQ(specmags_stft_stream(&e.m, x.data(), nullptr, nullptr), 1);
        const std::vector<float> plain(e.m.stft_out, e.m.stft_out + n);
        std::vector<float> shifted((size_t)n + 1, 7.0f);
        ASSERT_EQ(specmags_stft_stream_to(&e.m, x.data(), shifted.data() + 1, nullptr, nullptr), 1);
        EXPECT_EQ(std::vector<float>(shifted.begin() + 1, shifted.end()), plain) << win;
        EXPECT_EQ(shifted[0], 7.0f);
        EXPECT_EQ(plain, e.round_trip(x)) << win;
    }
}

TEST(EditStft, AnEditThatStopsTheStreamFailsIt)
{
    Edit e(70001, 256);
    const std::vector<float> x = uniform_noise(70001, 12);
    FrameLog log;
    log.bins = e.m.stft_num_bins;
    log.stop_after = 10;
    EXPECT_EQ(specmags_stft_stream(&e.m, x.data(), log_and_scale, &log), 0);
    EXPECT_EQ(log.frames.size(), 10u);
}

} // namespace
