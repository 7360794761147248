// Per-frame kernels at both levels (SSE2 baseline and AVX2 + FMA where the
// processor has it): dB accuracy against double-precision log10, magnitudes,
// row means, position independence, and a whole analysis at each level.
#include "specmags.h"
#include "specmags_internal.h"
#include "test_signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Runs f at every level this processor offers, then restores the best.
template <class F> void at_each_level(F f)
{
    for (int level = 0; level <= 1; level++) {
        if (specmags_kernels_set_level(level) != level)
            continue;
        SCOPED_TRACE(level == 0 ? "baseline kernels" : "AVX2 kernels");
        f(level);
    }
    specmags_kernels_set_level(-1);
}

// Runs `use` on a fresh state for n samples (window 1024, Lin) at every
// level; out[level] receives what it returns.  True when AVX2 ran too.
template <class F> bool fresh_state_at_each_level(int64_t n, std::vector<float> out[2], F use)
{
    at_each_level([&](int level) {
        t_specmags m;
        ASSERT_EQ(specmags_init(&m, n, 1024, 1, 2, 1024, 48000.0), 1);
        out[level] = use(m);
        specmags_cleanup(&m);
    });
    return !out[1].empty();
}

int64_t ulps(float a, float b)
{
    int32_t ia, ib;
    std::memcpy(&ia, &a, 4);
    std::memcpy(&ib, &b, 4);
    if (ia < 0)
        ia = INT32_MIN - ia;
    if (ib < 0)
        ib = INT32_MIN - ib;
    return std::llabs((int64_t)ia - (int64_t)ib);
}

TEST(Kernels, DbIsWithinAFewUlpOfLog10)
{
    std::vector<float> x;
    for (double v = 1e-12; v < 1e6; v *= 1.0003)
        x.push_back((float)v);
    for (int e = -30; e < 20; e++)
        x.push_back(std::ldexp(1.0f, e));
    x.push_back(0.0f);
    x.push_back(1.0f - 1.1920929e-7f); // result near 0 dB
    at_each_level([&](int) {
        std::vector<float> out(x.size());
        specmags_db(x.data(), out.data(), (int64_t)x.size());
        int64_t worst = 0;
        for (size_t i = 0; i < x.size(); i++) {
            const float want = (float)(20.0 * std::log10((double)x[i] + 1.1920929e-7));
            if (std::fabs(want) < 1e-3f) {
                ASSERT_NEAR(out[i], want, 1e-7) << x[i]; // ulps mean little near 0 dB
            } else {
                worst = std::max(worst, ulps(out[i], want));
                ASSERT_LE(ulps(out[i], want), 4) << x[i];
            }
            ASSERT_EQ(specmags_db1(x[i]), out[i]) << x[i];
        }
        EXPECT_LE(worst, 4);
        EXPECT_NEAR(out[x.size() - 2], -138.4738f, 1e-4);
        float odd[3] = {INFINITY, NAN, 1.0f};
        specmags_db(odd, odd, 3);
        EXPECT_EQ(odd[0], INFINITY);
        EXPECT_TRUE(std::isnan(odd[1]));
    });
}

TEST(Kernels, ValuesDoNotDependOnTheirPosition)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(0.0f, 2.0f);
    std::vector<float> x(1031);
    for (auto &v : x)
        v = u(rng);
    at_each_level([&](int) {
        std::vector<float> a(x.size()), b(x.size());
        specmags_db(x.data(), a.data(), (int64_t)x.size());
        specmags_db(x.data() + 3, b.data(), (int64_t)x.size() - 3);
        for (size_t i = 3; i < x.size(); i++)
            ASSERT_EQ(a[i], b[i - 3]) << i;
    });
}

TEST(Kernels, MagnitudesOfAnOrderedSpectrum)
{
    const int64_t nb = 37; // 34 pairs plus DC and Nyquist: exercises the tails
    std::vector<float> spec(2 * (nb - 1));
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> u(-3.0f, 3.0f);
    for (auto &v : spec)
        v = u(rng);
    at_each_level([&](int) {
        std::vector<float> mags(nb, -1.0f);
        specmags_magnitudes(spec.data(), mags.data(), nb, 0.25f, 0.5f);
        EXPECT_FLOAT_EQ(mags[0], std::fabs(spec[0]) * 0.25f);
        EXPECT_FLOAT_EQ(mags[nb - 1], std::fabs(spec[1]) * 0.25f);
        for (int64_t k = 1; k < nb - 1; k++)
            ASSERT_NEAR(mags[k], std::hypot((double)spec[2 * k], (double)spec[2 * k + 1]) * 0.5,
                        1e-6 * (1 + mags[k]))
                << k;
    });
}

TEST(Kernels, PhasesMatchAtan2)
{
    std::vector<float> spec = {0.5f, -2.0f}; // DC and Nyquist
    const float axis[] = {0.0f, -0.0f, 1.0f, -1.0f, 3e-20f, -7.5f};
    for (float re : axis)
        for (float im : axis) {
            spec.push_back(re);
            spec.push_back(im);
        }
    std::mt19937 rng(6);
    std::uniform_real_distribution<float> u(-5.0f, 5.0f);
    for (int i = 0; i < 5000; i++)
        spec.push_back(u(rng));
    if (spec.size() % 2)
        spec.push_back(1.0f);
    const int64_t nb = (int64_t)spec.size() / 2 + 1;
    spec.resize(2 * (nb - 1));
    at_each_level([&](int) {
        std::vector<float> ph(nb);
        specmags_phases(spec.data(), ph.data(), nb);
        EXPECT_EQ(ph[0], 0.0f);
        EXPECT_EQ(ph[nb - 1], 3.1415927f);
        for (int64_t k = 1; k < nb - 1; k++) {
            const float re = spec[2 * k], im = spec[2 * k + 1];
            ASSERT_NEAR(ph[k], std::atan2((double)im, (double)re), 5e-7) << re << " " << im;
        }
    });
}

TEST(Kernels, RowMeansAreTheSameAtEveryLevel)
{
    t_specmags m;
    ASSERT_EQ(specmags_init(&m, 48000, 2048, 2, 2, 256, 44100.0), 1);
    std::vector<float> mags(m.num_bins);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (auto &v : mags)
        v = u(rng);
    for (unsigned scale = 1; scale <= 4; scale++) {
        const t_specmags_plan *p = specmags_plan_for(&m, scale);
        ASSERT_NE(p, nullptr);
        std::vector<float> means[2];
        at_each_level([&](int level) {
            means[level].assign(specmags_plan_slots(p), -1.0f);
            specmags_row_means(p, mags.data(), means[level].data());
        });
        if (!means[1].empty()) {
            EXPECT_EQ(means[0], means[1]) << scale;
        }
    }
    specmags_cleanup(&m);
}

TEST(Kernels, EditStftRoundTripAgreesAcrossLevels)
{
    // Window and overlap-add kernels of the edit STFT, with a channel length
    // that leaves a tail no frame reaches.
    const int64_t n = 30001;
    const std::vector<float> x = uniform_noise(n, 5);
    std::vector<float> outs[2];
    const bool avx2 = fresh_state_at_each_level(n, outs, [&](t_specmags &m) {
        EXPECT_EQ(specmags_stft_stream(&m, x.data(), nullptr, nullptr), 1);
        return std::vector<float>(m.stft_out, m.stft_out + n);
    });
    if (!avx2)
        GTEST_SKIP() << "no AVX2 on this processor";
    // The AVX2 overlap-add fuses its multiply-adds: rounding apart, the same.
    for (int64_t i = 0; i < n; i++)
        ASSERT_NEAR(outs[0][(size_t)i], outs[1][(size_t)i], 1e-6) << i;
    for (int64_t i = 29952; i < n; i++) // after the last frame
        ASSERT_EQ(outs[1][(size_t)i], 0.0f) << i;
}

TEST(Kernels, WholeAnalysisAgreesAcrossLevels)
{
    const int64_t n = 100000;
    const std::vector<float> x = uniform_noise(n, 4);
    std::vector<float> grids[2];
    const bool avx2 = fresh_state_at_each_level(n, grids, [&](t_specmags &m) {
        specmags_set_fft_mag_scale(&m, 4);
        specmags_process(&m, x.data());
        return std::vector<float>(m.mags_db, m.mags_db + m.num_frames * m.num_bins);
    });
    if (!avx2)
        GTEST_SKIP() << "no AVX2 on this processor";
    for (size_t i = 0; i < grids[0].size(); i++)
        ASSERT_NEAR(grids[0][i], grids[1][i], 1e-3) << i;
}

} // namespace
