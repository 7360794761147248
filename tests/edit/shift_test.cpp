// Frequency- and pitch-shift kernels on hand-filled edit spectra: the four
// modes, whole-bin copies and the fractional-shift taps, the phase rotation,
// the rectangle against the same cells as a shape, the inverted region, the zero shift, allocation failure, and the shape masks
// against the direct point-in-polygon test.
#include "edit_fixture.h"
#include "shift_internal.h"

#include <gtest/gtest.h>

#include <complex>
#include <random>
#include <stdlib.h>

namespace {

const int kWin = 64;  // 33 bins of 750 Hz, hop 16, frame i at i / 3 ms
const int64_t kFrames = 12;
const double kPi = 3.14159265358979323846;

// The kernel's single-precision rotation of (re, im) by phi.
std::complex<float> rotate(float re, float im, double phi)
{
    float c = (float)cos(phi), s = (float)sin(phi);
    return {re * c - im * s, re * s + im * c};
}

TEST(FreqShift, OneBinCopyMixAddsRotatedSourceAndKeepsSources)
{
    HandStft s(kWin, kFrames);
    s.fill_pattern();
    HandStft orig = s;
    t_specedit_rect rect = {1.0, 3.0, 1500.0, 4500.0};  // frames 3..9, bins 2..6
    ASSERT_EQ(specedit_apply_freq_shift_selection(&s.m, &rect, SPECEDIT_COPY_MIX, 0, 750.0, 1.0), 1);
    for (int64_t i = 0; i < kFrames; i++) {
        double phi = 2.0 * kPi * 16.0 * (double)i / 64.0;
        for (long k = 0; k < s.bins(); k++) {
            std::complex<float> want(orig.re(i, k), orig.im(i, k));
            if (i >= 3 && i <= 9 && k >= 3 && k <= 7)
                want += rotate(orig.re(i, k - 1), orig.im(i, k - 1), phi);
            EXPECT_FLOAT_EQ(s.re(i, k), want.real()) << i << " " << k;
            EXPECT_FLOAT_EQ(s.im(i, k), want.imag()) << i << " " << k;
        }
    }
}

TEST(FreqShift, MoveReplaceLeavesZerosAndOverwritesTargets)
{
    HandStft s(kWin, kFrames);
    s.fill_pattern();
    HandStft orig = s;
    t_specedit_rect rect = {1.0, 3.0, 1500.0, 4500.0};
    specedit_apply_freq_shift_selection(&s.m, &rect, SPECEDIT_MOVE_REPLACE, 0, 750.0, 0.5);
    for (int64_t i = 3; i <= 9; i++) {
        double phi = 2.0 * kPi * 16.0 * (double)i / 64.0;
        EXPECT_EQ(s.re(i, 2), 0.0f);
        EXPECT_EQ(s.im(i, 2), 0.0f);
        for (long k = 3; k <= 7; k++) {  // bin 7 lies outside but is a target
            std::complex<float> v = rotate(orig.re(i, k - 1), orig.im(i, k - 1), phi);
            EXPECT_FLOAT_EQ(s.re(i, k), v.real() * 0.5f) << i << " " << k;
            EXPECT_FLOAT_EQ(s.im(i, k), v.imag() * 0.5f) << i << " " << k;
        }
        EXPECT_EQ(s.re(i, 8), orig.re(i, 8));
        EXPECT_EQ(s.re(i, 1), orig.re(i, 1));
    }
    EXPECT_EQ(s.re(2, 3), orig.re(2, 3));
    EXPECT_EQ(s.re(10, 3), orig.re(10, 3));
}

TEST(FreqShift, ContentShiftedBelowZeroHzIsDropped)
{
    HandStft s(kWin, kFrames);
    s.fill_pattern();
    HandStft orig = s;
    t_specedit_rect rect = {0.0, 100.0, 0.0, 3800.0};  // bins 0..5, every frame
    specedit_apply_freq_shift_selection(&s.m, &rect, SPECEDIT_MOVE_MIX, 0, -1500.0, 1.0);
    for (int64_t i = 0; i < kFrames; i++) {
        double phi = -2.0 * kPi * 2.0 * 16.0 * (double)i / 64.0;
        for (long k = 0; k <= 3; k++) {
            std::complex<float> v = rotate(orig.re(i, k + 2), orig.im(i, k + 2), phi);
            EXPECT_FLOAT_EQ(s.re(i, k), v.real()) << i << " " << k;
            if (k > 0) {
                EXPECT_FLOAT_EQ(s.im(i, k), v.imag()) << i << " " << k;
            }
        }
        EXPECT_EQ(s.im(i, 0), 0.0f);  // DC stays real
        EXPECT_EQ(s.re(i, 4), 0.0f);
        EXPECT_EQ(s.re(i, 5), 0.0f);
        EXPECT_EQ(s.re(i, 6), orig.re(i, 6));
    }
}

TEST(FreqShift, FractionalShiftTapsAreExactAtBinsAndKeepTheLevel)
{
    // A whole number of bins is a plain copy; a fraction spreads over the
    // taps without losing level: the taps sum to 1 (a constant spectrum
    // stays constant) and are symmetric between f and 1 - f.
    float taps[SPECEDIT_FRAC_TAPS], mirror[SPECEDIT_FRAC_TAPS];
    specedit_frac_taps(0.0, taps);
    for (int a = 0; a < SPECEDIT_FRAC_TAPS; a++)
        EXPECT_EQ(taps[a], a == SPECEDIT_FRAC_HALF - 1 ? 1.0f : 0.0f);
    for (double f : {0.1, 0.25, 0.5, 0.8}) {
        specedit_frac_taps(f, taps);
        specedit_frac_taps(1.0 - f, mirror);
        float sum = 0.0f;
        for (int a = 0; a < SPECEDIT_FRAC_TAPS; a++) {
            sum += taps[a];
            EXPECT_NEAR(taps[a], mirror[SPECEDIT_FRAC_TAPS - 1 - a], 1e-5f) << f << " " << a;
        }
        EXPECT_NEAR(sum, 1.0f, 0.01f) << f;  // within 0.1 dB
        // The nearer of the two central taps weighs more.
        if (f != 0.5) {
            EXPECT_EQ(taps[SPECEDIT_FRAC_HALF - 1] > taps[SPECEDIT_FRAC_HALF], f < 0.5) << f;
        }
    }
}

TEST(ShiftKernels, ZeroOrNonFiniteShiftLeavesSpectraUntouched)
{
    HandStft s(kWin, kFrames);
    s.fill_pattern();
    HandStft orig = s;
    t_specedit_rect rect = {0.0, 100.0, 0.0, 1e9};
    double pts[] = {0.0, 0.0, 10.0, 0.0, 10.0, 20000.0};
    long start = 0, count = 3;
    t_specedit_shapes set = {pts, &start, &count, 1};
    for (int mode = 0; mode < 4; mode++) {
        for (int inv = 0; inv < 2; inv++) {
            for (double shift : {0.0, -0.0, (double)NAN}) {
                EXPECT_EQ(specedit_apply_freq_shift_selection(&s.m, &rect, mode, inv, shift, 2.0), 1);
                EXPECT_EQ(specedit_apply_freq_shift_shapes(&s.m, &set, mode, inv, shift, 2.0), 1);
                EXPECT_EQ(specedit_apply_pitch_shift_selection(&s.m, &rect, mode, inv, shift, 2.0), 1);
                EXPECT_EQ(specedit_apply_pitch_shift_shapes(&s.m, &set, mode, inv, shift, 2.0), 1);
            }
        }
    }
    EXPECT_EQ(s.frames, orig.frames);
}

TEST(ShiftKernels, InvertedWithNoShapesRewritesEveryBin)
{
    HandStft orig(kWin, kFrames);
    orig.fill_pattern();
    double pts[] = {0.0, 0.0, 10.0, 20000.0};
    long start = 0, count = 2;  // a two-vertex shape counts as no shape
    t_specedit_shapes none = {pts, &start, &count, 0}, two = {pts, &start, &count, 1};
    for (const t_specedit_shapes *set : {&none, &two}) {
        HandStft s = orig;
        specedit_apply_freq_shift_shapes(&s.m, set, SPECEDIT_MOVE_MIX, 0, 750.0, 1.0);
        EXPECT_EQ(s.frames, orig.frames);
        ASSERT_EQ(specedit_apply_freq_shift_shapes(&s.m, set, SPECEDIT_MOVE_MIX, 1, 750.0, 1.0), 1);
        for (int64_t i = 0; i < kFrames; i++) {
            double phi = 2.0 * kPi * 16.0 * (double)i / 64.0;
            EXPECT_EQ(s.re(i, 0), 0.0f);
            for (long k = 1; k < s.bins() - 1; k++) {
                std::complex<float> v = rotate(orig.re(i, k - 1), orig.im(i, k - 1), phi);
                ASSERT_FLOAT_EQ(s.re(i, k), v.real()) << i << " " << k;
                ASSERT_FLOAT_EQ(s.im(i, k), v.imag()) << i << " " << k;
            }
        }
    }
    // Pitch shift down an octave: target j reads source 2j, so targets from 17
    // on have no source and are cleared; the rest are written.  The inverted
    // empty rectangle is the same region and must give the same spectra.
    HandStft a = orig, b = orig;
    t_specedit_rect empty = {1.0, 2.0, 800.0, 1400.0};
    specedit_apply_pitch_shift_shapes(&a.m, &none, SPECEDIT_MOVE_REPLACE, 1, -12.0, 1.0);
    specedit_apply_pitch_shift_selection(&b.m, &empty, SPECEDIT_MOVE_REPLACE, 1, -12.0, 1.0);
    EXPECT_EQ(a.frames, b.frames);
    long written = 0;
    for (int64_t i = 0; i < kFrames; i++) {
        for (long k = 0; k < a.bins(); k++) {
            float mag = std::abs(std::complex<float>(a.re(i, k), a.im(i, k)));
            if (k >= 17)
                ASSERT_EQ(mag, 0.0f) << i << " " << k;
            else
                written += mag > 0.0f;
        }
    }
    EXPECT_GT(written, kFrames * 12);
}

TEST(FreqShift, ShapesKernelMatchesDirectPointTests)
{
    // A triangle and a square that touch; move-mix by one bin.
    double pts[] = {0.5, 1000.0, 3.5, 1000.0, 2.0, 9000.0,
                    2.0, 8000.0, 3.9, 8000.0, 3.9, 15000.0, 2.0, 15000.0};
    long start[2] = {0, 3}, count[2] = {3, 4};
    t_specedit_shapes set = {pts, start, count, 2};
    HandStft s(kWin, kFrames);
    s.fill_pattern();
    HandStft orig = s;
    specedit_apply_freq_shift_shapes(&s.m, &set, SPECEDIT_MOVE_MIX, 0, 750.0, 1.0);
    auto in_set = [&](double t, double f) {
        return specedit_point_in_polygon(pts, 0, 3, t, f) || specedit_point_in_polygon(pts, 3, 4, t, f);
    };
    long changed = 0;
    for (int64_t i = 0; i < kFrames; i++) {
        double t = s.frame_ms(i), phi = 2.0 * kPi * 16.0 * (double)i / 64.0;
        for (long k = 0; k < s.bins(); k++) {
            std::complex<float> want(orig.re(i, k), orig.im(i, k));
            if (in_set(t, k * 750.0))
                want = 0.0f;
            if (k >= 1 && in_set(t, (k - 1) * 750.0))
                want += rotate(orig.re(i, k - 1), orig.im(i, k - 1), phi);
            changed += want != std::complex<float>(orig.re(i, k), orig.im(i, k));
            EXPECT_FLOAT_EQ(s.re(i, k), want.real()) << i << " " << k;
            EXPECT_FLOAT_EQ(s.im(i, k), want.imag()) << i << " " << k;
        }
    }
    EXPECT_GT(changed, 50);
}

// Allocator that fails the call numbered fail_at (counting from 0).
int g_calls = 0, g_fail_at = -1;
void *counting_calloc(size_t count, size_t size)
{
    return g_calls++ == g_fail_at ? nullptr : calloc(count, size);
}

TEST(PitchShift, ARectangleGivesWhatTheSameCellsAsAShapeGive)
{
    // Each frame analyses the bins its written targets read, whatever
    // region marks them: over exactly the same cells a rectangle and a shape
    // must agree bit for bit.
    HandStft orig(256, 40); // 129 bins of 187.5 Hz, frames 4/3 ms apart
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (auto &v : orig.frames)
        v = u(rng);
    for (int64_t i = 0; i < 40; i++)
        orig.im(i, 0) = orig.im(i, orig.bins() - 1) = 0.0f; // DC and Nyquist are real
    orig.m.stft_frames = orig.frames.data();
    // An octave puts the sources on half bins; the bounds lie a quarter bin
    // from every source and bin, and half a frame from every frame time.
    const double d = orig.bin_hz(), half = orig.frame_ms(1) / 2.0;
    const double f0 = 21.75 * d, f1 = 64.25 * d;
    const double t0 = orig.frame_ms(10) + half, t1 = orig.frame_ms(30) + half;
    const t_specedit_rect rect = {t0, t1, f0, f1};
    double pts[] = {t0, f0, t1, f0, t1, f1, t0, f1};
    long start = 0, count = 4;
    const t_specedit_shapes set = {pts, &start, &count, 1};
    for (int mode = SPECEDIT_MOVE_MIX; mode <= SPECEDIT_COPY_REPLACE; mode++) {
        HandStft a = orig, b = orig;
        ASSERT_EQ(specedit_apply_pitch_shift_selection(&a.m, &rect, mode, 0, 12.0, 0.8), 1);
        ASSERT_EQ(specedit_apply_pitch_shift_shapes(&b.m, &set, mode, 0, 12.0, 0.8), 1);
        EXPECT_NE(a.frames, orig.frames) << mode;
        EXPECT_EQ(a.frames, b.frames) << mode;
    }
}

TEST(ShiftKernels, AllocationFailureLeavesSpectraUntouched)
{
    HandStft orig(kWin, kFrames);
    orig.fill_pattern();
    t_specedit_rect rect = {0.0, 100.0, 0.0, 1e9};
    double pts[] = {0.0, 0.0, 10.0, 0.0, 10.0, 20000.0};
    long start = 0, count = 3;
    t_specedit_shapes set = {pts, &start, &count, 1};
    auto run = [&](int which, t_specmags *m) {
        switch (which) {
        case 0: return specedit_apply_freq_shift_selection(m, &rect, 0, 0, 300.0, 1.0);
        case 1: return specedit_apply_freq_shift_shapes(m, &set, 0, 0, 300.0, 1.0);
        case 2: return specedit_apply_pitch_shift_selection(m, &rect, 0, 0, 5.0, 1.0);
        default: return specedit_apply_pitch_shift_shapes(m, &set, 0, 0, 5.0, 1.0);
        }
    };
    specedit_set_calloc(counting_calloc);
    for (int which = 0; which < 4; which++) {
        HandStft s = orig;
        g_calls = 0;
        g_fail_at = -1;
        ASSERT_EQ(run(which, &s.m), 1);
        int total = g_calls;
        EXPECT_GT(total, 0);
        EXPECT_NE(s.frames, orig.frames);
        for (int k = 0; k < total; k++) {
            HandStft t = orig;
            g_calls = 0;
            g_fail_at = k;
            EXPECT_EQ(run(which, &t.m), 0) << which << " " << k;
            EXPECT_EQ(t.frames, orig.frames) << which << " " << k;
        }
    }
    // The gain kernels allocate nothing at all.
    HandStft s = orig;
    g_calls = 0;
    g_fail_at = 0;
    specedit_apply_gain_mask_selection(&s.m, &rect, 0.0, 1.0);
    specedit_apply_gain_mask_shapes(&s.m, &set, 0.0, 1.0);
    EXPECT_EQ(g_calls, 0);
    specedit_set_calloc(nullptr);
}

TEST(ShiftKernels, StateWithoutSpectraIsRefused)
{
    t_specmags m;
    memset(&m, 0, sizeof(m));
    t_specedit_rect rect = {0.0, 100.0, 0.0, 1e9};
    EXPECT_EQ(specedit_apply_freq_shift_selection(&m, &rect, 0, 0, 100.0, 1.0), 0);
    EXPECT_EQ(specedit_apply_pitch_shift_selection(&m, &rect, 0, 0, 1.0, 1.0), 0);
    specedit_apply_gain_mask_selection(&m, &rect, 0.0, 0.0);
    specedit_apply_gain_mask_shapes(&m, nullptr, 0.0, 0.0);
}

TEST(RegionMask, ShapeMasksAgreeWithPointInPolygon)
{
    // Random polygons, some with vertices exactly on frame times and query
    // frequencies, vertical and horizontal edges, plus one shape with an
    // infinite vertex; the masks must give exactly the direct test's answers.
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> ut(0.0, 4.0), uf(-2000.0, 26000.0);
    std::vector<double> pts;
    std::vector<long> start, count;
    const long sizes[] = {3, 4, 7, 40, 300, 5};
    for (long n : sizes) {
        start.push_back((long)pts.size() / 2);
        count.push_back(n);
        for (long v = 0; v < n; v++) {
            double t = ut(rng), f = uf(rng);
            if (v % 3 == 1)
                t = (double)(long)(t * 3.0) * 16.0 / 48000.0 * 1000.0;  // on a frame time
            if (v % 4 == 2)
                f = (double)(long)(f / 750.0) * 750.0 + 375.0;           // on a query
            if (v % 5 == 3)
                t = pts[pts.size() - 2];                                 // vertical edge
            pts.push_back(t);
            pts.push_back(f);
        }
    }
    pts[pts.size() - 3] = INFINITY;
    t_specedit_shapes set = {pts.data(), start.data(), count.data(), (long)start.size()};
    HandStft s(kWin, kFrames);
    t_specedit_geometry g;
    ASSERT_EQ(specedit_geometry_get(&s.m, &g), 1);
    t_specedit_region r;
    ASSERT_EQ(specedit_region_shapes(&r, &g, &set, 0), 1);
    long n = s.bins(), inside = 0;
    std::vector<double> bins(n), hz(n);
    std::vector<uint8_t> mask(n);
    for (long j = 0; j < n; j++) {
        bins[j] = j - 0.5;
        hz[j] = bins[j] * 750.0;
    }
    t_specedit_queries q;
    ASSERT_EQ(specedit_queries_init(&q, &r, bins.data(), hz.data(), n), 1);
    for (int64_t i = 0; i < kFrames; i++) {
        double t = s.frame_ms(i);
        specedit_region_mask(&r, t, &q, mask.data());
        for (long j = 0; j < n; j++) {
            int want = 0;
            for (size_t k = 0; k < start.size(); k++)
                want |= specedit_point_in_polygon(pts.data(), start[k], count[k], t, hz[j]);
            ASSERT_EQ(mask[j], want) << i << " " << j;
            inside += want;
        }
    }
    EXPECT_GT(inside, 20);
    specedit_queries_free(&q);
    specedit_region_free(&r);
}

}  // namespace
