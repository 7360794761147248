// Window tables against the textbook formulas evaluated in double precision,
// the fixed end and centre values, the square-root flag and the per-frame
// product.
#include "window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Textbook value of window `type` at n of N, in double precision.
double reference(unsigned type, int n, int size)
{
    const double m = size - 1, b = m / 2, pi = M_PI;
    const double c1 = std::cos(2 * pi * n / m), c2 = std::cos(4 * pi * n / m), c3 = std::cos(6 * pi * n / m);
    switch (type) {
    case WINDOW_TRI:
        return 1 - std::fabs(n - b) * 2 / (size + 1);
    case WINDOW_BART:
        return 1 - std::fabs(n - b) / b;
    case WINDOW_SINE:
        return std::sin(pi * n / m);
    case WINDOW_HANN:
        return 0.5 - 0.5 * c1;
    case WINDOW_HAMM:
        return 0.53836 - 0.46164 * c1;
    case WINDOW_BART_HANN:
        return 0.62 - 0.48 * std::fabs(n / m - 0.5) - 0.38 * c1;
    case WINDOW_BLACK:
        return 0.42 - 0.5 * c1 + 0.08 * c2;
    case WINDOW_NUTT:
        return 0.355768 - 0.487396 * c1 + 0.144232 * c2 - 0.012604 * c3;
    case WINDOW_BLACK_NUTT:
        return 0.3635819 - 0.4891775 * c1 + 0.1365995 * c2 - 0.0106411 * c3;
    case WINDOW_BLACK_HARR:
        return 0.35875 - 0.48829 * c1 + 0.14128 * c2 - 0.01168 * c3;
    case WINDOW_GAUSS:
        return std::exp(-0.5 * std::pow((n - b) / (0.4 * b), 2));
    case WINDOW_SQRT:
        return std::sqrt(1 - std::fabs(b - n) / b);
    default:
        return 1.0;
    }
}

std::vector<float> table(unsigned type, int n, int sqrt_flag = 0)
{
    std::vector<float> t(n, -7.0f);
    precompute_window(t.data(), type, n, sqrt_flag);
    return t;
}

TEST(Window, EveryTypeMatchesItsFormulaAndIsSymmetric)
{
    for (int n : {32, 33, 2048}) {
        for (unsigned type = 0; type < WINDOW_COUNT; type++) {
            const std::vector<float> t = table(type, n);
            for (int i = 0; i < n; i++) {
                ASSERT_NEAR(t[i], reference(type, i, n), 2e-6) << "type " << type << " n " << i;
                ASSERT_NEAR(t[i], t[n - 1 - i], 2e-6) << "type " << type << " n " << i;
            }
        }
    }
}

TEST(Window, EndAndCentreValues)
{
    const std::vector<float> hann = table(WINDOW_HANN, 32);
    EXPECT_EQ(hann[0], 0.0f);
    EXPECT_EQ(hann[31], 0.0f);
    const std::vector<float> tri = table(WINDOW_TRI, 32);
    EXPECT_FLOAT_EQ(tri[0], 2.0f / 33.0f);
    EXPECT_FLOAT_EQ(tri[31], 2.0f / 33.0f);
    const std::vector<float> bart = table(WINDOW_BART, 33);
    EXPECT_EQ(bart[0], 0.0f);
    EXPECT_EQ(bart[32], 0.0f);
    EXPECT_FLOAT_EQ(bart[16], 1.0f);
    const std::vector<float> sq = table(WINDOW_SQRT, 33);
    EXPECT_EQ(sq[0], 0.0f);
    EXPECT_EQ(sq[32], 0.0f);
    EXPECT_EQ(sq[16], 1.0f);
    const std::vector<float> gauss = table(WINDOW_GAUSS, 33);
    EXPECT_FLOAT_EQ(gauss[16], 1.0f);
    EXPECT_NEAR(gauss[0], 0.0439369, 1e-6);
    EXPECT_NEAR(gauss[32], 0.0439369, 1e-6);
    EXPECT_NEAR(table(WINDOW_HAMM, 32)[0], 0.07672, 1e-6);
}

TEST(Window, TypesOutsideTheEnumerationAreRect)
{
    for (unsigned type : {13u, 99u, 0xffffffffu})
        for (float v : table(type, 64))
            EXPECT_EQ(v, 1.0f);
    EXPECT_EQ(window_magnitude_norm(13), 1.0f);
}

TEST(Window, SquareRootFlag)
{
    const std::vector<float> hann = table(WINDOW_HANN, 256);
    const std::vector<float> root = table(WINDOW_HANN, 256, 1);
    for (int i = 0; i < 256; i++)
        EXPECT_NEAR(root[i] * root[i], hann[i], 1e-6);
    // Blackman's ends round to about 0, possibly just below: never NaN.
    for (float v : table(WINDOW_BLACK, 1023, 1))
        EXPECT_TRUE(std::isfinite(v) && v >= 0.0f);
    for (float v : table(WINDOW_RECT, 16, 1))
        EXPECT_EQ(v, 1.0f);
}

TEST(Window, ShortLengths)
{
    std::vector<float> t = {-1.0f, -1.0f};
    precompute_window(t.data(), WINDOW_HANN, 0, 0);
    EXPECT_EQ(t[0], -1.0f);
    precompute_window(t.data(), WINDOW_HANN, 1, 0);
    EXPECT_EQ(t[0], 1.0f);
    EXPECT_EQ(t[1], -1.0f);
}

TEST(Window, MagnitudeNormalisation)
{
    const float expected[13] = {1.0f,  0.5f, 0.5f,  0.5f,  0.5f, 0.54f, 0.62f,
                                0.42f, 0.5f, 0.39f, 0.36f, 0.4f, 0.5f};
    for (unsigned type = 0; type < 13; type++)
        EXPECT_EQ(window_magnitude_norm(type), expected[type]) << type;
}

TEST(Window, ApplyMultipliesInPlace)
{
    std::vector<float> block = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const float win[4] = {0.5f, 2.0f, -1.0f, 0.0f};
    apply_precomputed_window(block.data(), win, 0, 1, 0);
    EXPECT_EQ(block, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    apply_precomputed_window(block.data(), win, 3, 1, 0);
    EXPECT_EQ(block, (std::vector<float>{0.5f, 4, -3, 4, 5, 6, 7, 8, 9}));
    apply_precomputed_window(block.data(), win, 4, 2, 1);
    EXPECT_EQ(block, (std::vector<float>{0.5f, 2, -3, 8, 5, -6, 7, 0, 9}));
}

} // namespace
