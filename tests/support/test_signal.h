// Test signals shared by the test areas.
#pragma once

#include <stdint.h>

#include <random>
#include <vector>

// n samples of white noise, uniform in [-1, 1), the same for the same seed.
inline std::vector<float> uniform_noise(int64_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x((size_t)n);
    for (auto &v : x)
        v = u(rng);
    return x;
}
