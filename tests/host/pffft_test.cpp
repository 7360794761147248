// PFFFT as the project builds it: a forward then backward real transform
// gives back the input scaled by N (the backward transform is unnormalised).
#include <gtest/gtest.h>
#include <pffft.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

void round_trip(int n)
{
    PFFFT_Setup *setup = pffft_new_setup(n, PFFFT_REAL);
    ASSERT_NE(setup, nullptr);
    float *in = (float *)pffft_aligned_malloc(n * sizeof(float));
    float *freq = (float *)pffft_aligned_malloc(n * sizeof(float));
    float *back = (float *)pffft_aligned_malloc(n * sizeof(float));
    float *work = (float *)pffft_aligned_malloc(n * sizeof(float));
    std::mt19937 rng(n);
    std::uniform_real_distribution<float> dist(-1.f, 1.f);
    for (int i = 0; i < n; i++)
        in[i] = dist(rng);
    pffft_transform_ordered(setup, in, freq, work, PFFFT_FORWARD);
    pffft_transform_ordered(setup, freq, back, work, PFFFT_BACKWARD);
    double worst = 0;
    for (int i = 0; i < n; i++)
        worst = std::max(worst, (double)std::fabs(back[i] / n - in[i]));
    EXPECT_LT(worst, 1e-5) << "n = " << n;
    pffft_aligned_free(in);
    pffft_aligned_free(freq);
    pffft_aligned_free(back);
    pffft_aligned_free(work);
    pffft_destroy_setup(setup);
}

} // namespace

TEST(Pffft, ForwardThenBackwardGivesInputTimesN)
{
    round_trip(32);
    round_trip(32768);
}
