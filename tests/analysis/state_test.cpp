// Analysis state: defaults, parameter clamps and change results, the sizes a
// rebuild derives, and the five scales' edge tables and row lists at 48 kHz.
#include "specmags.h"
#include "specmags_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

class State : public ::testing::Test
{
  protected:
    t_specmags m;
    void SetUp() override { ASSERT_EQ(specmags_init(&m, 48000, 2048, 1, 2, 2048, 48000.0), 1); }
    void TearDown() override { specmags_cleanup(&m); }
};

TEST_F(State, DefaultsOfOneSecondAt48k)
{
    EXPECT_EQ(m.fft_win_type, 4u);
    EXPECT_EQ(m.fft_mag_scale, 1u);
    EXPECT_EQ(m.reassignment, 0u);
    EXPECT_EQ(m.fft_hop, 1024);
    EXPECT_EQ(m.num_bins, 1025);
    EXPECT_EQ(m.num_frames, 45);
    EXPECT_EQ(m.dirty, 1);
    EXPECT_EQ(m.alloc_failed, 0);
    EXPECT_EQ(m.stft_win_size, 2048);
    EXPECT_EQ(m.stft_hop, 512);
    EXPECT_EQ(m.stft_num_bins, 1025);
    EXPECT_EQ(m.stft_num_frames, 90);
    EXPECT_EQ(m.freqs, nullptr); // only reassignment needs frequencies and phases
    EXPECT_EQ(m.phases, nullptr);
}

TEST_F(State, WindowSizeAndZeroPaddingClamps)
{
    EXPECT_EQ(specmags_set_fft_win_size(&m, 100), 1);
    EXPECT_EQ(m.fft_win_size, 128);
    EXPECT_EQ(m.fft_hop, 64);
    EXPECT_EQ(specmags_set_fft_zero_pad(&m, 512), 1);
    EXPECT_EQ(m.fft_zero_pad, 64);
    EXPECT_EQ(m.fft_size, 8192);
    EXPECT_EQ(m.num_bins, 4097);
    EXPECT_EQ(specmags_set_fft_zero_pad(&m, 33), 0); // rounds to 64 again
    // A larger window lowers the zero padding to keep the FFT at 32768 at most.
    EXPECT_EQ(specmags_set_fft_win_size(&m, 32768), 1);
    EXPECT_EQ(m.fft_zero_pad, 1);
    EXPECT_EQ(specmags_set_fft_zero_pad(&m, 64), 0);
    EXPECT_EQ(m.fft_size, 32768);
    EXPECT_EQ(specmags_set_fft_win_size(&m, 1L << 40), 0);
    EXPECT_EQ(specmags_set_fft_win_size(&m, 1), 1);
    EXPECT_EQ(m.fft_win_size, 32);
    // Requests that clamp to the stored size change nothing.
    m.dirty = 0;
    EXPECT_EQ(specmags_set_fft_win_size(&m, 16), 0);
    EXPECT_EQ(specmags_set_fft_win_size(&m, -5), 0);
    EXPECT_EQ(m.dirty, 0);
}

TEST_F(State, OverlapClamps)
{
    EXPECT_EQ(specmags_set_fft_overlap(&m, 100), 1);
    EXPECT_EQ(m.fft_overlap, 64);
    EXPECT_EQ(m.fft_hop, 32);
    EXPECT_EQ(specmags_set_fft_overlap(&m, 0), 1);
    EXPECT_EQ(m.fft_overlap, 1);
    EXPECT_EQ(specmags_set_fft_overlap(&m, -3), 0);
    ASSERT_EQ(specmags_set_fft_win_size(&m, 64), 1);
    EXPECT_EQ(specmags_set_fft_overlap(&m, 64), 1);
    EXPECT_EQ(m.fft_hop, 1);
    EXPECT_EQ(m.num_frames, 48000 - 64 + 1);
}

TEST_F(State, WindowNotAboveANonPowerOfTwoOverlapStaysAPowerOfTwo)
{
    ASSERT_EQ(specmags_set_fft_overlap(&m, 48), 1);
    EXPECT_EQ(specmags_set_fft_win_size(&m, 32), 1);
    EXPECT_EQ(m.fft_win_size, 64);
    EXPECT_EQ(m.fft_hop, 1);
    EXPECT_EQ(m.fft_size, 64);
    EXPECT_NE(m.fft_setup, nullptr);
    EXPECT_EQ(m.alloc_failed, 0);
}

TEST(StateInit, ClampsItsArguments)
{
    t_specmags m;
    ASSERT_EQ(specmags_init(&m, 0, 20, 100, 80, 5, -1.0), 1);
    EXPECT_EQ(m.num_samples, 1);
    EXPECT_EQ(m.sample_rate, 48000.0);
    EXPECT_EQ(m.fft_win_size, 32);
    EXPECT_EQ(m.fft_zero_pad, 64);
    EXPECT_EQ(m.fft_size, 2048);
    EXPECT_EQ(m.fft_overlap, 32); // never above the window: the hop stays >= 1
    EXPECT_EQ(m.fft_hop, 1);
    EXPECT_EQ(m.num_frames, 1);
    EXPECT_EQ(m.stft_win_size, 32);
    specmags_cleanup(&m);
    specmags_cleanup(&m); // a cleared record may be cleaned again
    ASSERT_EQ(specmags_init(&m, 1000, 32768, 64, 2, 2048, 44100.0), 1);
    EXPECT_EQ(m.fft_zero_pad, 1);
    EXPECT_EQ(m.num_frames, 1);
    specmags_cleanup(&m);
}

TEST_F(State, ScaleTypeAndReassignmentSetters)
{
    m.dirty = 0;
    EXPECT_EQ(specmags_set_fft_mag_scale(&m, 7), 1);
    EXPECT_EQ(m.fft_mag_scale, 4u);
    EXPECT_EQ(specmags_set_fft_mag_scale(&m, 4), 0);
    EXPECT_EQ(specmags_set_fft_mag_scale(&m, -2), 1);
    EXPECT_EQ(m.fft_mag_scale, 0u);
    EXPECT_EQ(m.dirty, 0); // a scale change needs no new spectra
    EXPECT_EQ(specmags_current_edges(&m), m.lin_edges);
    specmags_set_fft_mag_scale(&m, 3);
    EXPECT_EQ(specmags_current_edges(&m), m.bark_edges);

    EXPECT_EQ(specmags_set_fft_win_type(&m, 99), 1);
    EXPECT_EQ(m.fft_win_type, 12u);
    EXPECT_EQ(m.dirty, 1);
    EXPECT_EQ(specmags_set_fft_win_type(&m, 12), 0);
    EXPECT_EQ(specmags_set_fft_win_type(&m, -1), 1);
    EXPECT_EQ(m.fft_win_type, 0u);
    EXPECT_EQ(m.fft_window[0], 1.0f);

    m.dirty = 0;
    EXPECT_EQ(specmags_set_reassignment(&m, 5), 1);
    EXPECT_EQ(m.reassignment, 1u);
    EXPECT_EQ(m.dirty, 1);
    ASSERT_NE(m.freqs, nullptr);
    ASSERT_NE(m.phases, nullptr);
    EXPECT_FLOAT_EQ(m.freqs[44 * 1025 + 3], 3 * 23.4375f); // bin centres until analysed
    EXPECT_EQ(specmags_set_reassignment(&m, 1), 0);
    EXPECT_EQ(specmags_set_reassignment(&m, 0), 1);
    EXPECT_EQ(m.freqs, nullptr);
}

TEST_F(State, RebuildKeepsArraysOfUnchangedSize)
{
    float *lin = m.lin_mags, *db = m.mags_db;
    void *tables = m.tables;
    m.dirty = 0;
    ASSERT_EQ(specmags_update(&m, 48000 + 100, 48000.0), 1); // still 45 frames
    EXPECT_EQ(m.lin_mags, lin);
    EXPECT_EQ(m.mags_db, db);
    EXPECT_EQ(m.tables, tables);
    EXPECT_EQ(m.dirty, 1);
    ASSERT_EQ(specmags_update(&m, 480000, 44100.0), 1);
    EXPECT_EQ(m.num_frames, (480000 - 2048) / 1024 + 1);
    EXPECT_EQ(m.sample_rate, 44100.0);
    EXPECT_FLOAT_EQ(m.lin_edges[1025], 22050.0f);
}

// Edge and row values at 48000 Hz, fft_size 2048: bin spacing 23.4375 Hz, R = 1025.
TEST_F(State, MelEdgesAndRows)
{
    const double mmax = 2595 * std::log10(1 + 24000.0 / 700);
    auto mel = [&](int i) { return 700 * (std::pow(10, i * mmax / 1025 / 2595) - 1); };
    EXPECT_EQ(m.mel_edges[0], 0.0f);
    EXPECT_NEAR(m.mel_edges[1], 2.438, 0.001);
    EXPECT_NEAR(m.mel_edges[10], 24.76, 0.01);
    EXPECT_NEAR(m.mel_edges[512], 3451, 1);
    for (int i : {1, 10, 100, 512, 1000, 1025})
        EXPECT_NEAR(m.mel_edges[i], mel(i), 1e-4 * mel(i));
    EXPECT_EQ(m.mel_row_first[0], 0);
    EXPECT_EQ(m.mel_row_count[0], 1);
    for (int j = 1; j <= 8; j++)
        EXPECT_EQ(m.mel_row_count[j], 0) << j;
    EXPECT_EQ(m.mel_row_first[9], 1);
    EXPECT_EQ(m.mel_row_count[9], 1);
}

TEST_F(State, LogEdgesAndRows)
{
    EXPECT_NEAR(m.log_edges[0], 20.0, 1e-3);
    EXPECT_NEAR(m.log_edges[1], 20.139, 1e-3);
    EXPECT_NEAR(m.log_edges[2], 20.279, 1e-3);
    EXPECT_NEAR(m.log_edges[1025], 24000.0, 0.1);
    for (int j = 0; j <= 21; j++)
        EXPECT_EQ(m.log_row_count[j], 0) << j;
    EXPECT_EQ(m.log_row_first[22], 1);
    EXPECT_EQ(m.log_row_count[22], 1);
}

TEST_F(State, BarkAndErbEdgesStayBelowNyquist)
{
    EXPECT_NEAR(m.bark_edges[0], 1960 * 0.53 / 26.28, 1e-3); // 39.53 Hz
    EXPECT_EQ(m.bark_edges[1024], 24000.0f);
    EXPECT_NEAR(m.erb_edges[1], 1.043, 1e-3);
    EXPECT_NEAR(m.erb_edges[512], 2120, 1);
    for (int i = 0; i <= 1025; i++) {
        EXPECT_LE(m.bark_edges[i], 24000.0f);
        EXPECT_LE(m.erb_edges[i], 24000.0f);
    }
    // Bins 0 (0 Hz) and 1 (23.4 Hz) lie below the first Bark edge.
    for (int j = 0; j < 1025; j++)
        if (m.bark_row_count[j] > 0) {
            EXPECT_EQ(m.bark_row_first[j], 2);
            break;
        }
}

// Every row list holds exactly the bins whose centre lies in the row, for
// several sizes and rates.
TEST(StateRows, RowListsMatchTheirEdges)
{
    for (double rate : {48000.0, 44100.0, 8000.0}) {
        for (long zp : {1L, 4L}) {
            t_specmags m;
            ASSERT_EQ(specmags_init(&m, 100000, 512, zp, 2, 256, rate), 1);
            const float d = (float)rate / (float)m.fft_size;
            const float *edges[4] = {m.mel_edges, m.log_edges, m.bark_edges, m.erb_edges};
            const int64_t *first[4] = {m.mel_row_first, m.log_row_first, m.bark_row_first, m.erb_row_first};
            const int64_t *count[4] = {m.mel_row_count, m.log_row_count, m.bark_row_count, m.erb_row_count};
            for (int s = 0; s < 4; s++) {
                for (int64_t j = 0; j < m.num_bins; j++) {
                    int64_t n = 0;
                    for (int64_t k = 0; k < m.num_bins; k++) {
                        const float f = (float)k * d;
                        if (edges[s][j] <= f && f < edges[s][j + 1]) {
                            ASSERT_EQ(k, first[s][j] + n) << "scale " << s + 1 << " row " << j;
                            n++;
                        }
                    }
                    ASSERT_EQ(n, count[s][j]) << "scale " << s + 1 << " row " << j;
                }
            }
            specmags_cleanup(&m);
        }
    }
}

// Edges ascend (so a row search has one answer), and the lookup-started
// search finds the row plain bisection finds, for any frequency.
TEST(StateRows, RowSearchAgreesWithBisection)
{
    std::mt19937 rng(5);
    for (double rate : {48000.0, 44100.0, 96000.0, 8000.0}) {
        t_specmags m;
        ASSERT_EQ(specmags_init(&m, 100000, 1024, 2, 2, 256, rate), 1);
        const float d = specmags_bin_spacing(&m), h = (float)(rate / 2);
        std::uniform_real_distribution<float> u(-100.0f, h * 1.1f);
        for (unsigned s = 0; s <= 4; s++) {
            specmags_set_fft_mag_scale(&m, s);
            const float *e = specmags_current_edges(&m);
            const int32_t *lookup = specmags_row_lookup(&m, s);
            for (int64_t j = 0; j < m.num_bins; j++)
                ASSERT_LE(e[j], e[j + 1]) << "scale " << s << " edge " << j;
            std::vector<float> probes = {NAN, -INFINITY, INFINITY, 0.0f, h, h * 2};
            for (int64_t j = 0; j <= m.num_bins; j++) {
                probes.push_back(e[j]);
                probes.push_back(std::nextafter(e[j], -1.0f));
                probes.push_back((float)j * d);
                probes.push_back(std::nextafter((float)j * d, 1e9f));
            }
            for (int i = 0; i < 20000; i++)
                probes.push_back(u(rng));
            for (float f : probes)
                ASSERT_EQ(specmags_find_row(e, lookup, m.num_bins, 1.0f / d, f),
                          specmags_find_row_bisect(e, m.num_bins, f))
                    << "scale " << s << " f " << f;
        }
        specmags_cleanup(&m);
    }
}

} // namespace
