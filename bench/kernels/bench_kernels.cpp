// bench-kernels: throughput of the six edit kernels on the edit STFT of a
// 60-second channel at 48 kHz (N = 2048: 5622 frames of 1025 bins).
//
// The spectra are filled with fixed pseudo-random values of the right size
// (the kernels' cost does not depend on the signal) and restored before every
// run; only the kernel call is timed, best of several runs.  The shape
// kernels run on 1, 16 and 64 closed, wobbly ellipses spread over the minute,
// totalling 64 or 4096 vertices.  The figure is cells (frame x bin) per
// second.  For the shift kernels with shapes, the cost of testing every cell
// against every edge directly is estimated from a sample of frames.
#include "kernels.h"

#include <chrono>
#include <math.h>
#include <random>
#include <stdio.h>
#include <string.h>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;
const double kRate = 48000.0;
const int kWin = 2048;
const int64_t kSamples = 60 * 48000;

struct Spectra
{
    t_specmags m;
    std::vector<float> orig, work;

    Spectra()
    {
        memset(&m, 0, sizeof(m));
        m.sample_rate = kRate;
        m.num_samples = kSamples;
        m.stft_win_size = kWin;
        m.stft_hop = kWin / 4;
        m.stft_num_bins = kWin / 2 + 1;
        m.stft_num_frames = (kSamples - kWin) / m.stft_hop + 1;
        size_t n = (size_t)m.stft_num_frames * m.stft_num_bins * 2;
        orig.resize(n);
        std::mt19937 rng(7);
        std::normal_distribution<float> nd(0.0f, 1.0f);
        for (float &v : orig)
            v = nd(rng);
        work = orig;
        m.stft_frames = work.data();
    }
    double cells() const { return (double)m.stft_num_frames * m.stft_num_bins; }
    void restore() { memcpy(work.data(), orig.data(), orig.size() * sizeof(float)); }
};

struct ShapeSet
{
    std::vector<double> pts;
    std::vector<long> start, count;
    t_specedit_shapes view() const
    {
        return {pts.data(), start.data(), count.data(), (long)start.size()};
    }
};

// num_shapes ellipses, side by side over the minute, with vertices/num_shapes
// vertices each and a radial wobble that makes them concave.
ShapeSet make_shapes(long num_shapes, long vertices)
{
    ShapeSet s;
    long per = vertices / num_shapes;
    double span = 60000.0 / (double)num_shapes;
    for (long k = 0; k < num_shapes; k++) {
        s.start.push_back((long)s.pts.size() / 2);
        s.count.push_back(per);
        double tc = (k + 0.5) * span, fc = 3000.0 + 14000.0 * (double)(k % 5) / 4.0;
        for (long v = 0; v < per; v++) {
            double a = 2.0 * kPi * (double)v / (double)per;
            double r = 1.0 + 0.15 * sin(7.0 * a);
            s.pts.push_back(tc + 0.4 * span * r * cos(a));
            s.pts.push_back(fc + 2500.0 * r * sin(a));
        }
    }
    return s;
}

template <typename F> double best_seconds(Spectra &sp, int runs, F kernel)
{
    double best = 1e30;
    for (int r = 0; r < runs; r++) {
        sp.restore();
        auto t0 = std::chrono::steady_clock::now();
        kernel();
        auto t1 = std::chrono::steady_clock::now();
        double s = std::chrono::duration<double>(t1 - t0).count();
        if (s < best)
            best = s;
    }
    return best;
}

void report(const char *name, const char *target, const Spectra &sp, double seconds)
{
    printf("%-22s %-26s %9.2f ms %10.1f Mcells/s\n", name, target, seconds * 1e3,
           sp.cells() / seconds / 1e6);
}

// Seconds that the direct test (every cell's point against every edge) would
// take for one mask per frame, extrapolated from 20 frames spread over the
// minute.
double direct_mask_seconds(const Spectra &sp, const ShapeSet &s)
{
    long n = sp.m.stft_num_bins;
    double d = kRate / kWin;
    volatile long sink = 0;
    const int sample = 20;
    auto t0 = std::chrono::steady_clock::now();
    for (int f = 0; f < sample; f++) {
        int64_t i = sp.m.stft_num_frames * f / sample;
        double t = (double)i * sp.m.stft_hop / kRate * 1000.0;
        for (long k = 0; k < n; k++) {
            int in = 0;
            for (size_t q = 0; q < s.start.size() && !in; q++)
                in = specedit_point_in_polygon(s.pts.data(), s.start[q], s.count[q], t, k * d);
            sink = sink + in;
        }
    }
    auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(t1 - t0).count() * (double)sp.m.stft_num_frames / sample;
}

}  // namespace

int main()
{
    Spectra sp;
    printf("edit kernels: %lld frames x %d bins (N = %d, 60 s at 48 kHz), best of 3\n",
           (long long)sp.m.stft_num_frames, sp.m.stft_num_bins, kWin);
    t_specedit_rect rect = {10000.0, 40000.0, 1000.0, 8000.0};
    const int runs = 3;

    report("gain isolate", "rectangle", sp, best_seconds(sp, runs, [&] {
        specedit_apply_gain_mask_selection(&sp.m, &rect, 1.0, 0.0);
    }));
    report("gain 0.5", "rectangle", sp, best_seconds(sp, runs, [&] {
        specedit_apply_gain_mask_selection(&sp.m, &rect, 0.5, 1.0);
    }));
    report("freq shift move-mix", "rectangle", sp, best_seconds(sp, runs, [&] {
        specedit_apply_freq_shift_selection(&sp.m, &rect, 0, 0, 137.0, 0.8);
    }));
    report("freq shift inverted", "rectangle", sp, best_seconds(sp, runs, [&] {
        specedit_apply_freq_shift_selection(&sp.m, &rect, 0, 1, 137.0, 0.8);
    }));
    report("pitch shift move-mix", "rectangle", sp, best_seconds(sp, runs, [&] {
        specedit_apply_pitch_shift_selection(&sp.m, &rect, 0, 0, 5.0, 0.8);
    }));
    report("pitch shift inverted", "rectangle", sp, best_seconds(sp, runs, [&] {
        specedit_apply_pitch_shift_selection(&sp.m, &rect, 0, 1, 5.0, 0.8);
    }));

    // 64 shapes cannot total 64 vertices with the 3 each that make a shape.
    const long configs[][2] = {{1, 64}, {16, 64}, {1, 4096}, {16, 4096}, {64, 4096}};
    for (const auto &c : configs) {
        ShapeSet s = make_shapes(c[0], c[1]);
        t_specedit_shapes set = s.view();
        char target[64];
        snprintf(target, sizeof(target), "%ld shapes, %ld vertices", c[0], c[1]);
        report("gain 0.5", target, sp, best_seconds(sp, runs, [&] {
            specedit_apply_gain_mask_shapes(&sp.m, &set, 0.5, 1.0);
        }));
        report("freq shift move-mix", target, sp, best_seconds(sp, runs, [&] {
            specedit_apply_freq_shift_shapes(&sp.m, &set, 0, 0, 137.0, 0.8);
        }));
        report("pitch shift move-mix", target, sp, best_seconds(sp, runs, [&] {
            specedit_apply_pitch_shift_shapes(&sp.m, &set, 0, 0, 5.0, 0.8);
        }));
        if (c[1] == 4096) {
            // A move-mode shift needs two masks per frame.
            double direct = 2.0 * direct_mask_seconds(sp, s);
            printf("%-22s %-26s %9.0f ms (estimate, direct edge tests)\n", "  direct shape masks",
                   target, direct * 1e3);
        }
    }
    return 0;
}
