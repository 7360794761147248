// Allocation failure: whichever allocation of a rebuild fails, the state is
// a consistent one-cell silent grid that the analysis and the readers can
// use, and the next successful rebuild brings the full grid back.  Worker
// scratch failures leave their frames as they were.
#include "specmags.h"
#include "specmags_alloc.h"
#include "test_signal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <vector>

namespace {

// Counts allocations; refuses the one numbered fail_at (1-based), or every
// one from fail_at on when fail_rest is set.
struct Injector
{
    std::atomic<int> calls{0};
    int fail_at = 0;
    bool fail_rest = false;
    static int hook(size_t, void *ctx)
    {
        Injector *in = (Injector *)ctx;
        const int n = ++in->calls;
        return in->fail_at > 0 && (n == in->fail_at || (in->fail_rest && n > in->fail_at));
    }
    void install(int at, bool rest)
    {
        calls = 0;
        fail_at = at;
        fail_rest = rest;
        specmags_set_alloc_hook(&Injector::hook, this);
    }
    ~Injector() { specmags_set_alloc_hook(nullptr, nullptr); }
};

void expect_failure_cell(const t_specmags &m)
{
    EXPECT_EQ(m.alloc_failed, 1);
    EXPECT_EQ(m.num_frames, 1);
    EXPECT_EQ(m.num_bins, 1);
    EXPECT_EQ(m.lin_mags[0], 0.0f);
    EXPECT_EQ(m.mags_db[0], SPECMAGS_SILENCE_DB);
    for (const float *e : {m.lin_edges, m.mel_edges, m.log_edges, m.bark_edges, m.erb_edges}) {
        EXPECT_EQ(e[0], 0.0f);
        EXPECT_EQ(e[1], (float)(m.sample_rate / 2));
    }
    EXPECT_EQ(m.mel_row_first[0], 0);
    EXPECT_EQ(m.erb_row_count[0], 1);
}

TEST(AllocFailure, AnyFailedAllocationOfARebuildLeavesAConsistentState)
{
    const int64_t n = 50000;
    const std::vector<float> x = uniform_noise(n, 9);
    // The grid of a run without failures, and how many allocations it takes.
    t_specmags ref;
    Injector count;
    count.install(0, false);
    ASSERT_EQ(specmags_init(&ref, n, 1024, 2, 2, 512, 44100.0), 1);
    const int total = count.calls;
    specmags_set_reassignment(&ref, 1);
    specmags_process(&ref, x.data());
    ASSERT_GT(total, 5);

    for (int at = 1; at <= total; at++) {
        for (bool rest : {false, true}) {
            Injector inject;
            inject.install(at, rest);
            t_specmags m;
            EXPECT_EQ(specmags_init(&m, n, 1024, 2, 2, 512, 44100.0), 0) << at;
            if (m.alloc_failed) {
                expect_failure_cell(m);
                specmags_set_reassignment(&m, 1);
                specmags_set_fft_mag_scale(&m, 3);
                specmags_process(&m, x.data());
                expect_failure_cell(m);
                EXPECT_EQ(m.dirty, 0);
            } else {
                EXPECT_EQ(m.stft_length, 0) << at; // only the edit STFT failed
                EXPECT_EQ(specmags_stft_forward(&m, x.data()), 0);
                EXPECT_EQ(specmags_stft_inverse(&m), 0);
                specmags_set_reassignment(&m, 1);
            }
            inject.install(0, false);
            ASSERT_EQ(specmags_update(&m, n, 44100.0), 1) << at;
            ASSERT_EQ(specmags_stft_update(&m), 1) << at;
            EXPECT_EQ(m.alloc_failed, 0);
            ASSERT_EQ(m.num_bins, ref.num_bins);
            ASSERT_EQ(m.num_frames, ref.num_frames);
            specmags_set_fft_mag_scale(&m, 1);
            specmags_process(&m, x.data());
            const int64_t cells = m.num_frames * m.num_bins;
            EXPECT_EQ(std::vector<float>(m.mags_db, m.mags_db + cells),
                      std::vector<float>(ref.mags_db, ref.mags_db + cells))
                << at;
            EXPECT_EQ(specmags_stft_forward(&m, x.data()), 1);
            specmags_cleanup(&m);
        }
    }
    specmags_cleanup(&ref);
}

TEST(AllocFailure, WorkerScratchFailureLeavesItsFramesUnchanged)
{
    const int64_t n = 50000;
    const std::vector<float> x = uniform_noise(n, 9);
    t_specmags m;
    ASSERT_EQ(specmags_init(&m, n, 1024, 1, 2, 1024, 48000.0), 1);
    specmags_process(&m, x.data());
    const int64_t cells = m.num_frames * m.num_bins;
    const std::vector<float> lin(m.lin_mags, m.lin_mags + cells);
    const std::vector<float> db(m.mags_db, m.mags_db + cells);
    {
        Injector inject;
        inject.install(1, true);
        specmags_set_fft_win_type(&m, 0);
        std::vector<float> other = uniform_noise(n, 9);
        for (auto &v : other)
            v *= 0.5f;
        specmags_process(&m, other.data());
        EXPECT_EQ(m.dirty, 0);
        EXPECT_EQ(std::vector<float>(m.lin_mags, m.lin_mags + cells), lin);
        EXPECT_EQ(std::vector<float>(m.mags_db, m.mags_db + cells), db);
        EXPECT_EQ(specmags_stft_inverse(&m), 0); // its scratch is refused too
    }
    specmags_cleanup(&m);
}

TEST(AllocFailure, TurningReassignmentOnWithoutMemory)
{
    t_specmags m;
    ASSERT_EQ(specmags_init(&m, 50000, 1024, 1, 2, 1024, 48000.0), 1);
    {
        Injector inject;
        inject.install(1, true);
        EXPECT_EQ(specmags_set_reassignment(&m, 1), 1);
        expect_failure_cell(m);
    }
    ASSERT_EQ(specmags_update(&m, 50000, 48000.0), 1);
    EXPECT_NE(m.freqs, nullptr);
    EXPECT_NE(m.phases, nullptr);
    specmags_cleanup(&m);
}

TEST(AllocFailure, AGridTooLargeForMemoryFailsCleanly)
{
    t_specmags m;
    ASSERT_EQ(specmags_init(&m, 1000, 64, 1, 64, 1024, 48000.0), 1);
    EXPECT_EQ(specmags_update(&m, (int64_t)1 << 42, 48000.0), 0); // 4e12 frames
    expect_failure_cell(m);
    ASSERT_EQ(specmags_update(&m, 1000, 48000.0), 1);
    EXPECT_EQ(m.num_frames, 1000 - 64 + 1);
    specmags_cleanup(&m);
}

} // namespace
