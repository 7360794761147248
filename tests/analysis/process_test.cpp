// Frame analysis: the worker split, magnitudes against a direct DFT and
// against sinusoids of known amplitude, the display rows of every scale,
// silence, reassignment, the no-FFT scale change, threaded against serial
// workers, and the block maxima kept with the grid.
#include "maxhost.h"
#include "specmags.h"
#include "specmags_internal.h"
#include "test_signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

const double kRate = 48000.0;

std::vector<float> sine(int64_t n, double freq, double amp = 1.0, double phase = 0.3)
{
    std::vector<float> x((size_t)n);
    for (int64_t i = 0; i < n; i++)
        x[(size_t)i] = (float)(amp * std::sin(2 * M_PI * freq * (double)i / kRate + phase));
    return x;
}

double db(double x)
{
    return 20 * std::log10(x + 1.1920929e-7);
}

struct Analysis
{
    t_specmags m;
    Analysis(int64_t n, long win = 2048, long zp = 1, long overlap = 2)
    {
        EXPECT_EQ(specmags_init(&m, n, win, zp, overlap, 2048, kRate), 1);
    }
    ~Analysis() { specmags_cleanup(&m); }
    float lin(int64_t l, int64_t k) const { return m.lin_mags[l * m.num_bins + k]; }
    float cell(int64_t l, int64_t j) const { return m.mags_db[l * m.num_bins + j]; }
    std::vector<float> grid(const float *g) const
    {
        return std::vector<float>(g, g + m.num_frames * m.num_bins);
    }
};

TEST(WorkerSplit, SlicesAreContiguousAndCoverEveryFrame)
{
    EXPECT_EQ(specmags_worker_count(4, 10), 4);
    const int64_t want[4][2] = {{0, 3}, {3, 6}, {6, 8}, {8, 10}};
    for (int i = 0; i < 4; i++) {
        int64_t first, end;
        specmags_worker_slice(10, 4, i, &first, &end);
        EXPECT_EQ(first, want[i][0]);
        EXPECT_EQ(end, want[i][1]);
    }
    EXPECT_EQ(specmags_worker_count(8, 3), 3);
    for (int i = 0; i < 3; i++) {
        int64_t first, end;
        specmags_worker_slice(3, 3, i, &first, &end);
        EXPECT_EQ(first, i);
        EXPECT_EQ(end, i + 1);
    }
    EXPECT_EQ(specmags_worker_count(0, 5), 1);
    EXPECT_EQ(specmags_worker_count(500, 100000), 64); // the host's worker limit
}

// One frame against a direct DFT of the windowed, zero-padded block.
TEST(Process, MagnitudesMatchADirectDft)
{
    const int64_t n = 5000;
    Analysis a(n, 256, 2, 3);                         // fft 512, hop 85
    ASSERT_EQ(specmags_set_fft_win_type(&a.m, 5), 1); // Hamming, Q = 0.54
    ASSERT_EQ(specmags_set_fft_mag_scale(&a.m, 0), 1);
    const std::vector<float> x = uniform_noise(n, 7);
    specmags_process(&a.m, x.data());
    const int64_t l = 7, start = l * a.m.fft_hop, size = 512, win = 256;
    const double q = 0.54 * win;
    for (int64_t k = 0; k < a.m.num_bins; k++) {
        double re = 0, im = 0;
        for (int64_t i = 0; i < win; i++) {
            const double w = 0.53836 - 0.46164 * std::cos(2 * M_PI * (double)i / (win - 1));
            const double v = x[(size_t)(start + i)] * w;
            re += v * std::cos(2 * M_PI * (double)(k * i) / size);
            im -= v * std::sin(2 * M_PI * (double)(k * i) / size);
        }
        const double mag = std::hypot(re, im) * (k == 0 || k == size / 2 ? 1.0 : 2.0) / q;
        ASSERT_NEAR(a.lin(l, k), mag, 2e-5 + 1e-4 * mag) << "bin " << k;
        ASSERT_NEAR(a.cell(l, k), db(a.lin(l, k)), 1e-3) << "bin " << k;
    }
}

TEST(Process, BinCentredSineReadsZeroDbWithRectAndHann)
{
    for (long type : {0L, 4L}) {
        Analysis a(48000);
        specmags_set_fft_win_type(&a.m, type);
        specmags_set_fft_mag_scale(&a.m, 0);
        const int64_t k = 100;
        const std::vector<float> x = sine(48000, (double)k * kRate / 2048);
        specmags_process(&a.m, x.data());
        for (int64_t l : {0, 10, 44}) {
            EXPECT_NEAR(a.lin(l, k), 1.0, 2e-3) << "type " << type;
            EXPECT_NEAR(a.cell(l, k), 0.0, 0.02) << "type " << type;
        }
    }
}

// Each non-linear row shows the mean magnitude of its bins, empty rows the
// row below them, empty bottom rows silence.
TEST(Process, NonLinearRowsShowTheMeanOfTheirBins)
{
    Analysis a(30000, 512, 4, 2);
    const std::vector<float> x = uniform_noise(30000, 3);
    for (long scale = 1; scale <= 4; scale++) {
        specmags_set_fft_mag_scale(&a.m, scale);
        specmags_process(&a.m, x.data());
        const int64_t *first[4] = {a.m.mel_row_first, a.m.log_row_first, a.m.bark_row_first,
                                   a.m.erb_row_first};
        const int64_t *count[4] = {a.m.mel_row_count, a.m.log_row_count, a.m.bark_row_count,
                                   a.m.erb_row_count};
        for (int64_t l : {0L, 5L, a.m.num_frames - 1}) {
            double held = 0;
            for (int64_t j = 0; j < a.m.num_bins; j++) {
                if (count[scale - 1][j] > 0) {
                    double sum = 0;
                    for (int64_t t = 0; t < count[scale - 1][j]; t++)
                        sum += a.lin(l, first[scale - 1][j] + t);
                    held = sum / (double)count[scale - 1][j];
                }
                ASSERT_NEAR(a.cell(l, j), db(held), 1e-3) << "scale " << scale << " row " << j;
            }
        }
    }
}

TEST(Process, LowLogRowsAreSilentAndLowMelRowsRepeatRowZero)
{
    Analysis a(48000);
    const std::vector<float> x = uniform_noise(48000, 7);
    specmags_set_fft_mag_scale(&a.m, 2);
    specmags_process(&a.m, x.data());
    for (int j = 0; j <= 21; j++)
        EXPECT_NEAR(a.cell(3, j), -138.4738, 1e-3);
    EXPECT_GT(a.cell(3, 22), -100);
    specmags_set_fft_mag_scale(&a.m, 1);
    specmags_process(&a.m, x.data());
    for (int j = 1; j <= 8; j++)
        EXPECT_EQ(a.cell(3, j), a.cell(3, 0));
}

TEST(Process, SilenceUnderEveryScaleWithAndWithoutReassignment)
{
    const std::vector<float> zero(20000, 0.0f);
    for (long reassign : {0L, 1L}) {
        Analysis a(20000, 1024, 2, 4);
        specmags_set_reassignment(&a.m, reassign);
        for (long scale = 0; scale <= 4; scale++) {
            specmags_set_fft_mag_scale(&a.m, scale);
            specmags_process(&a.m, zero.data());
            for (float v : a.grid(a.m.mags_db))
                ASSERT_NEAR(v, -138.4738f, 1e-3) << "scale " << scale << " reassign " << reassign;
        }
    }
}

TEST(Process, ChannelShorterThanTheWindowIsOneSilentFrame)
{
    Analysis a(1000);
    ASSERT_EQ(a.m.num_frames, 1);
    const std::vector<float> x = sine(1000, 440);
    specmags_process(&a.m, x.data());
    EXPECT_EQ(a.m.dirty, 0);
    for (int64_t k = 0; k < a.m.num_bins; k++) {
        EXPECT_EQ(a.lin(0, k), 0.0f);
        EXPECT_EQ(a.cell(0, k), SPECMAGS_SILENCE_DB);
    }
    EXPECT_EQ(a.m.frames_analysed, 0u);
}

TEST(Process, ReassignedFrequencyOfASineBetweenTwoBins)
{
    Analysis a(48000, 2048, 1, 4);
    specmags_set_reassignment(&a.m, 1);
    specmags_set_fft_mag_scale(&a.m, 0);
    const int64_t k = 200;
    const double d = kRate / 2048, f0 = ((double)k + 0.5) * d;
    const std::vector<float> x = sine(48000, f0);
    specmags_process(&a.m, x.data());
    const int64_t nb = a.m.num_bins;
    EXPECT_FLOAT_EQ(a.m.freqs[k], (float)(k * d)); // frame 0 keeps the centres
    EXPECT_FLOAT_EQ(a.m.freqs[k + 1], (float)((k + 1) * d));
    for (int64_t l = 1; l < a.m.num_frames; l++) {
        ASSERT_NEAR(a.m.freqs[l * nb + k], f0, 0.05) << l;
        ASSERT_NEAR(a.m.freqs[l * nb + k + 1], f0, 0.05) << l;
        // Row k holds f0 (Lin rows are the bins) and shows the louder bin.
        const double louder = std::max(db(a.lin(l, k)), db(a.lin(l, k + 1)));
        ASSERT_NEAR(a.cell(l, k), louder, 1e-3) << l;
    }
}

TEST(Process, PhaseWrapMatchesTheLibraryRemainder)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 20000.0f);
    const float y = 6.2831855f;
    for (int i = 0; i < 200000; i++) {
        const float x = i < 1000 ? (float)i * y : u(rng);
        const float want = std::fmod(x, y), got = specmags_fmod_pos(x, y);
        ASSERT_EQ(std::memcmp(&want, &got, sizeof(float)), 0) << x;
    }
}

TEST(Process, ScaleChangeAloneComputesNoFft)
{
    Analysis a(100000);
    specmags_set_fft_mag_scale(&a.m, 0);
    const std::vector<float> x = uniform_noise(100000, 7);
    specmags_process(&a.m, x.data());
    EXPECT_EQ(a.m.frames_analysed, (uint64_t)a.m.num_frames);
    const std::vector<float> lin = a.grid(a.m.lin_mags), lin_db = a.grid(a.m.mags_db);
    ASSERT_EQ(specmags_set_fft_mag_scale(&a.m, 1), 1);
    EXPECT_EQ(a.m.dirty, 0);
    specmags_process(&a.m, x.data());
    EXPECT_EQ(a.m.frames_analysed, (uint64_t)a.m.num_frames);
    EXPECT_EQ(a.grid(a.m.lin_mags), lin);
    EXPECT_NE(a.grid(a.m.mags_db), lin_db);
    // Back to Lin reproduces the first grid exactly; a window change recomputes.
    specmags_set_fft_mag_scale(&a.m, 0);
    specmags_process(&a.m, x.data());
    EXPECT_EQ(a.grid(a.m.mags_db), lin_db);
    specmags_set_fft_win_type(&a.m, 7);
    specmags_process(&a.m, x.data());
    EXPECT_EQ(a.m.frames_analysed, 2 * (uint64_t)a.m.num_frames);
}

TEST(Process, ThreadedWorkersMatchSerialWorkersBitForBit)
{
    const std::vector<float> x = uniform_noise(200000, 5);
    for (long reassign : {0L, 1L}) {
        for (long scale : {0L, 1L, 3L}) {
            std::vector<float> grids[2][2];
            for (int serial = 0; serial < 2; serial++) {
                maxhost::set_serial_workers(serial == 1);
                Analysis a(200000, 1024, 2, 3);
                specmags_set_reassignment(&a.m, reassign);
                specmags_set_fft_mag_scale(&a.m, scale);
                specmags_process(&a.m, x.data());
                grids[serial][0] = a.grid(a.m.lin_mags);
                grids[serial][1] = a.grid(a.m.mags_db);
            }
            maxhost::set_serial_workers(false);
            EXPECT_EQ(grids[0][0], grids[1][0]) << "reassign " << reassign << " scale " << scale;
            EXPECT_EQ(grids[0][1], grids[1][1]) << "reassign " << reassign << " scale " << scale;
        }
    }
}

} // namespace

namespace {

// Every block maximum is the largest cell of its frames, row by row.
void expect_block_max_current(const Analysis &a, const char *when)
{
    const t_specmags &m = a.m;
    ASSERT_NE(m.block_max, nullptr) << when;
    const int64_t k = SPECMAGS_BLOCK_FRAMES;
    int64_t wrong = 0;
    for (int64_t b = 0; b * k < m.num_frames; b++)
        for (int64_t j = 0; j < m.num_bins; j++) {
            float want = -INFINITY;
            for (int64_t l = b * k; l < std::min((b + 1) * k, m.num_frames); l++)
                want = std::max(want, a.cell(l, j));
            wrong += m.block_max[b * m.num_bins + j] != want;
        }
    EXPECT_EQ(wrong, 0) << when;
}

} // namespace

TEST(Process, BlockMaximaFollowEveryRewriteOfTheGrid)
{
    const int64_t n = 60000; // 57 frames of 2048 at hop 1024: a last block of one frame
    Analysis a(n);
    std::vector<float> x = uniform_noise(n, 3);
    specmags_process(&a.m, x.data());
    expect_block_max_current(a, "after the analysis");
    for (int64_t i = 20000; i < 22000; i++) // a loud patch, analysed alone
        x[(size_t)i] = 0.9f * std::sin(0.05f * (float)i);
    specmags_process_samples(&a.m, x.data(), 20000, 22000);
    expect_block_max_current(a, "after a part of the channel changed");
    ASSERT_EQ(specmags_set_fft_mag_scale(&a.m, SPECMAGS_SCALE_LOG), 1);
    specmags_process(&a.m, x.data());
    expect_block_max_current(a, "after a scale change");
    ASSERT_EQ(specmags_set_reassignment(&a.m, 1), 1);
    specmags_process(&a.m, x.data());
    x[30000] = 1.0f;
    specmags_process_samples(&a.m, x.data(), 30000, 30001);
    expect_block_max_current(a, "with reassignment");
    ASSERT_EQ(specmags_update(&a.m, 1000, kRate), 1); // shorter than the window: one silent frame
    specmags_process(&a.m, x.data());
    expect_block_max_current(a, "silent");
}
