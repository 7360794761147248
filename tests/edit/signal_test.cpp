// Edits of real signals: forward edit STFT, one kernel, inverse, then the
// spectrum of the resynthesis measured with a Hann-windowed direct DFT over
// the fully covered interior of the channel.
#include "kernels.h"

#include <gtest/gtest.h>

#include <math.h>
#include <string.h>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;
const double kRate = 48000.0;
const int kWin = 2048;  // bins of 23.4375 Hz
const int64_t kLen = 48000;
const int64_t kSegStart = 4096, kSegLen = 32768;

std::vector<float> tones(std::initializer_list<double> freqs)
{
    std::vector<float> x((size_t)kLen, 0.0f);
    for (double f : freqs)
        for (int64_t n = 0; n < kLen; n++)
            x[(size_t)n] += (float)(0.25 * sin(2.0 * kPi * f * (double)n / kRate));
    return x;
}

// Level in dB of frequency f in the interior segment of x.
double level_db(const float *x, double f)
{
    double re = 0.0, im = 0.0;
    for (int64_t n = 0; n < kSegLen; n++) {
        double w = 0.5 - 0.5 * cos(2.0 * kPi * (double)n / (double)kSegLen);
        double v = w * x[kSegStart + n], ph = 2.0 * kPi * f * (double)n / kRate;
        re += v * cos(ph);
        im -= v * sin(ph);
    }
    return 20.0 * log10(sqrt(re * re + im * im) + 1e-30);
}

// Frequency of the strongest component of x between lo and hi Hz: a 10 Hz
// scan refined to 1 Hz around its best step.
double peak_hz(const float *x, double lo, double hi)
{
    double best = lo, best_db = -1e9;
    for (double f = lo; f <= hi; f += 10.0) {
        double d = level_db(x, f);
        if (d > best_db) {
            best_db = d;
            best = f;
        }
    }
    double centre = best;
    for (double f = centre - 10.0; f <= centre + 10.0; f += 1.0) {
        double d = level_db(x, f);
        if (d > best_db) {
            best_db = d;
            best = f;
        }
    }
    return best;
}

class EditSignal : public ::testing::Test
{
  protected:
    t_specmags m;

    void SetUp() override
    {
        memset(&m, 0, sizeof(m));
        ASSERT_EQ(specmags_init(&m, kLen, 2048, 1, 4, kWin, kRate), 1);
        ASSERT_EQ(m.stft_win_size, kWin);
    }
    void TearDown() override { specmags_cleanup(&m); }

    void analyse(const std::vector<float> &x) { ASSERT_EQ(specmags_stft_forward(&m, x.data()), 1); }
    const float *resynthesise()
    {
        EXPECT_EQ(specmags_stft_inverse(&m), 1);
        return m.stft_out;
    }
};

TEST_F(EditSignal, FrequencyShiftMovesAToneBy100Hz)
{
    std::vector<float> x = tones({1000.0});
    analyse(x);
    t_specedit_rect rect = {0.0, 1000.0, 600.0, 1400.0};
    ASSERT_EQ(specedit_apply_freq_shift_selection(&m, &rect, SPECEDIT_MOVE_MIX, 0, 100.0, 1.0), 1);
    const float *y = resynthesise();
    EXPECT_NEAR(peak_hz(y, 500.0, 3000.0), 1100.0, kRate / kWin);
    EXPECT_NEAR(level_db(y, 1100.0), level_db(x.data(), 1000.0), 2.0);
}

TEST_F(EditSignal, HalfBinShiftKeepsTheTone)
{
    // 2.5 bins: the two interpolated neighbours of every source position
    // would cancel if taken in their own phase references.
    std::vector<float> x = tones({1000.0});
    analyse(x);
    t_specedit_rect rect = {0.0, 1000.0, 600.0, 1400.0};
    double shift = 2.5 * kRate / kWin;
    ASSERT_EQ(specedit_apply_freq_shift_selection(&m, &rect, SPECEDIT_MOVE_MIX, 0, shift, 1.0), 1);
    const float *y = resynthesise();
    EXPECT_NEAR(level_db(y, 1000.0 + shift), level_db(x.data(), 1000.0), 2.0);
}

TEST_F(EditSignal, WholeBinShiftKeepsTheOverlappingFramesInPhase)
{
    // One bin up: the rotation of pi/2 per hop keeps the overlap-add coherent,
    // so the moved tone keeps its level (without it, neighbouring frames
    // would cancel).
    std::vector<float> x = tones({1000.0});
    analyse(x);
    t_specedit_rect rect = {0.0, 1000.0, 600.0, 1400.0};
    double shift = kRate / kWin;
    ASSERT_EQ(specedit_apply_freq_shift_selection(&m, &rect, SPECEDIT_MOVE_REPLACE, 0, shift, 1.0), 1);
    const float *y = resynthesise();
    EXPECT_NEAR(level_db(y, 1000.0 + shift), level_db(x.data(), 1000.0), 0.5);
    EXPECT_LT(level_db(y, 1000.0), level_db(x.data(), 1000.0) - 20.0);
}

TEST_F(EditSignal, OctavePitchShiftMovesAToneTo2kHz)
{
    std::vector<float> x = tones({1000.0});
    analyse(x);
    t_specedit_rect rect = {0.0, 1000.0, 0.0, 24000.0};
    ASSERT_EQ(specedit_apply_pitch_shift_selection(&m, &rect, SPECEDIT_MOVE_MIX, 0, 12.0, 1.0), 1);
    const float *y = resynthesise();
    EXPECT_NEAR(peak_hz(y, 500.0, 4000.0), 2000.0, kRate / kWin);
    EXPECT_GT(level_db(y, 2000.0), level_db(y, 1000.0) + 30.0);
    // Neighbouring targets start with the window centre's alternating phase,
    // so the partial keeps its level.
    EXPECT_NEAR(level_db(y, 2000.0), level_db(x.data(), 1000.0), 2.0);
}

TEST_F(EditSignal, DeleteMaskRemovesTheBandAndKeepsTheRest)
{
    std::vector<float> x = tones({1000.0, 5000.0});
    analyse(x);
    t_specedit_rect rect = {0.0, 1000.0, 700.0, 1300.0};
    specedit_apply_gain_mask_selection(&m, &rect, 0.0, 1.0);
    const float *y = resynthesise();
    EXPECT_LT(level_db(y, 1000.0), level_db(x.data(), 1000.0) - 40.0);
    EXPECT_NEAR(level_db(y, 5000.0), level_db(x.data(), 5000.0), 0.1);
}

TEST_F(EditSignal, DeleteMaskOverAShapeRemovesTheToneWhereTheShapeIs)
{
    // A shape over 600..1400 Hz covering the whole second deletes the tone
    // like the rectangle does.
    std::vector<float> x = tones({1000.0, 5000.0});
    analyse(x);
    double pts[] = {-10.0, 600.0, 1010.0, 600.0, 1010.0, 1400.0, -10.0, 1400.0};
    long start = 0, count = 4;
    t_specedit_shapes set = {pts, &start, &count, 1};
    specedit_apply_gain_mask_shapes(&m, &set, 0.0, 1.0);
    const float *y = resynthesise();
    EXPECT_LT(level_db(y, 1000.0), level_db(x.data(), 1000.0) - 40.0);
    EXPECT_NEAR(level_db(y, 5000.0), level_db(x.data(), 5000.0), 0.1);
}

}  // namespace
