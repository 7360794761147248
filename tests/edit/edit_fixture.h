// Hand-built edit STFT states for the kernel tests: a zeroed t_specmags whose
// stft fields are set directly and whose frames live in a vector, so the
// kernels can be tested without the analysis code.
#pragma once

#include "kernels.h"

#include <math.h>
#include <stdint.h>
#include <string.h>
#include <vector>

struct HandStft
{
    t_specmags m;
    std::vector<float> frames;

    HandStft(int win_size, int64_t num_frames, double sample_rate = 48000.0)
    {
        memset(&m, 0, sizeof(m));
        m.sample_rate = sample_rate;
        m.stft_win_size = win_size;
        m.stft_hop = win_size / 4;
        m.stft_num_bins = win_size / 2 + 1;
        m.stft_num_frames = num_frames;
        frames.assign((size_t)num_frames * (size_t)m.stft_num_bins * 2, 0.0f);
        m.stft_frames = frames.data();
    }

    // Copies own their frames: the copy's state points at its own vector.
    HandStft(const HandStft &o) : m(o.m), frames(o.frames) { m.stft_frames = frames.data(); }
    HandStft &operator=(const HandStft &o)
    {
        m = o.m;
        frames = o.frames;
        m.stft_frames = frames.data();
        return *this;
    }

    long bins() const { return m.stft_num_bins; }
    double bin_hz() const { return m.sample_rate / m.stft_win_size; }
    double frame_ms(int64_t i) const { return (double)i * m.stft_hop / m.sample_rate * 1000.0; }
    float &re(int64_t i, long k) { return frames[((size_t)i * bins() + k) * 2]; }
    float &im(int64_t i, long k) { return frames[((size_t)i * bins() + k) * 2 + 1]; }

    // Distinct nonzero values in every cell (DC and Nyquist stay real).
    void fill_pattern()
    {
        for (int64_t i = 0; i < m.stft_num_frames; i++) {
            for (long k = 0; k < bins(); k++) {
                re(i, k) = 1.0f + 0.01f * (float)k + 0.37f * (float)(i % 7);
                im(i, k) = (k == 0 || k == bins() - 1) ? 0.0f : 0.5f - 0.003f * (float)k + 0.11f * (float)(i % 5);
            }
        }
    }
};
