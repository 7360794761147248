// How well the shifts keep real signals: steady tones and chords pitch-
// shifted up and down keep their level, land on their frequency and add
// nothing else; a tiny shift is the identity; a fractional frequency shift
// keeps the level it is asked for; a shift up and back down returns the
// signal; a rectangle leaves what lies outside it alone.  Each edit is the
// forward edit STFT (N = 2048 at 48 kHz), one kernel and the inverse, and
// is measured on the Hann-windowed spectrum of the fully covered interior.
#include "kernels.h"
#include "pffft.h"

#include <gtest/gtest.h>

#include <math.h>
#include <string.h>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;
const double kRate = 48000.0;
const int kWin = 2048;
const int64_t kLen = 48000;
const int64_t kSegStart = 6000;
const int kSegLen = 32768;   // bins of 1.46 Hz
const double kBand = 25.0;   // a tone owns what lies within 25 Hz of it

typedef std::vector<float> Signal;

Signal tones(const std::vector<double> &freqs)
{
    Signal x((size_t)kLen, 0.0f);
    for (size_t t = 0; t < freqs.size(); t++)
        for (int64_t n = 0; n < kLen; n++)
            x[(size_t)n] += (float)(0.2 * sin(2.0 * kPi * freqs[t] * (double)n / kRate + (double)t));
    return x;
}

// Power spectrum of the interior segment.
std::vector<double> power(const Signal &x)
{
    PFFFT_Setup *setup = pffft_new_setup(kSegLen, PFFFT_REAL);
    float *buf = (float *)pffft_aligned_malloc(kSegLen * sizeof(float));
    for (int n = 0; n < kSegLen; n++)
        buf[n] = x[(size_t)(kSegStart + n)] * (float)(0.5 - 0.5 * cos(2.0 * kPi * n / kSegLen));
    pffft_transform_ordered(setup, buf, buf, nullptr, PFFFT_FORWARD);
    std::vector<double> p(kSegLen / 2, 0.0);
    for (int k = 1; k < kSegLen / 2; k++)
        p[k] = (double)buf[2 * k] * buf[2 * k] + (double)buf[2 * k + 1] * buf[2 * k + 1];
    pffft_aligned_free(buf);
    pffft_destroy_setup(setup);
    return p;
}

const double kRes = kRate / kSegLen;

double band(const std::vector<double> &p, double f)
{
    double e = 0.0;
    for (int k = (int)ceil((f - kBand) / kRes); k <= (int)floor((f + kBand) / kRes); k++)
        if (k > 0 && k < (int)p.size())
            e += p[k];
    return e;
}

struct Measured
{
    std::vector<double> level_db;  // per tone: shifted against original
    std::vector<double> freq_err;  // per tone: relative
    double artefacts_db;           // energy away from every shifted tone
};

Measured measure(const Signal &in, const Signal &out, const std::vector<double> &freqs, double ratio)
{
    std::vector<double> pi = power(in), po = power(out);
    Measured m;
    double tone = 0.0, rest = 0.0;
    for (size_t k = 1; k < po.size(); k++) {
        bool near = false;
        for (double f : freqs)
            near = near || fabs((double)k * kRes - f * ratio) <= kBand;
        (near ? tone : rest) += po[k];
    }
    m.artefacts_db = 10.0 * log10((rest + 1e-30) / tone);
    for (double f : freqs) {
        double g = f * ratio;
        m.level_db.push_back(10.0 * log10(band(po, g) / band(pi, f)));
        int best = (int)round(g / kRes);
        for (int k = best - 3; k <= best + 3; k++)
            if (po[k] > po[best])
                best = k;
        double num = 0.0, den = 0.0;
        for (int k = best - 4; k <= best + 4; k++) {
            num += po[k] * k * kRes;
            den += po[k];
        }
        m.freq_err.push_back(fabs(num / den / g - 1.0));
    }
    return m;
}

class ShiftQuality : public ::testing::Test
{
  protected:
    t_specmags m;
    const t_specedit_rect all = {-1.0, 1e9, 0.0, kRate};

    void SetUp() override
    {
        memset(&m, 0, sizeof(m));
        ASSERT_EQ(specmags_init(&m, kLen, 2048, 1, 4, kWin, kRate), 1);
    }
    void TearDown() override { specmags_cleanup(&m); }

    Signal pitch(const Signal &x, double semitones, const t_specedit_rect &r, int mode)
    {
        EXPECT_EQ(specmags_stft_forward(&m, x.data()), 1);
        EXPECT_EQ(specedit_apply_pitch_shift_selection(&m, &r, mode, 0, semitones, 1.0), 1);
        EXPECT_EQ(specmags_stft_inverse(&m), 1);
        return Signal(m.stft_out, m.stft_out + kLen);
    }
    Signal pitch(const Signal &x, double semitones) { return pitch(x, semitones, all, SPECEDIT_MOVE_REPLACE); }
};

double difference_db(const Signal &a, const Signal &b)
{
    double num = 0.0, den = 0.0;
    for (int64_t n = kSegStart; n < kSegStart + kSegLen; n++) {
        num += ((double)a[(size_t)n] - b[(size_t)n]) * ((double)a[(size_t)n] - b[(size_t)n]);
        den += (double)a[(size_t)n] * a[(size_t)n];
    }
    return 10.0 * log10(num / den);
}

TEST_F(ShiftQuality, SteadyTonesAndChordsKeepLevelAndFrequencyAndAddNothing)
{
    // Tones from 120 Hz to 7 kHz, alone and in chords (the low one's notes
    // barely two bins apart), a handful of shifts each way.
    const std::vector<std::vector<double>> signals = {
        {120.0}, {1000.0}, {7000.0}, {220.0, 277.18, 329.63}, {1000.0, 1259.92, 1498.31}};
    for (const auto &freqs : signals) {
        Signal x = tones(freqs);
        for (double s : {-12.0, -5.0, -1.0, 3.0, 7.0, 12.0}) {
            Signal y = pitch(x, s);
            Measured q = measure(x, y, freqs, pow(2.0, s / 12.0));
            for (size_t t = 0; t < freqs.size(); t++) {
                EXPECT_NEAR(q.level_db[t], 0.0, 0.3) << freqs[t] << " Hz, " << s << " st";
                EXPECT_LT(q.freq_err[t], 1e-3) << freqs[t] << " Hz, " << s << " st";
            }
            EXPECT_LT(q.artefacts_db, -50.0) << freqs[0] << " Hz, " << s << " st";
        }
    }
}

TEST_F(ShiftQuality, TinyShiftIsTheIdentityAndUpAndDownReturnsTheSignal)
{
    Signal x = tones({180.0, 360.0, 540.0, 900.0, 1800.0});
    EXPECT_LT(difference_db(x, pitch(x, 1e-7)), -60.0);
    // The first frames of each pass see the buffer's partly covered start,
    // which leaves each partial a small constant phase error on the way
    // back that grows with the shift.
    for (double s : {1.0, 3.0}) {
        Signal up = pitch(x, s);
        EXPECT_LT(difference_db(x, pitch(up, -s)), -25.0) << s;
    }
}

TEST_F(ShiftQuality, RectangleShiftsOnlyWhatLiesInside)
{
    // A move of the 1 kHz tone up a fifth leaves the 5 kHz tone outside the
    // rectangle as it was; a copy keeps the source tone too.
    Signal x = tones({1000.0, 5000.0});
    const t_specedit_rect r = {-1.0, 1e9, 600.0, 1600.0};
    const double f = 1000.0 * pow(2.0, 7.0 / 12.0);
    Signal moved = pitch(x, 7.0, r, SPECEDIT_MOVE_REPLACE);
    std::vector<double> pi = power(x), pm = power(moved);
    EXPECT_NEAR(10.0 * log10(band(pm, f) / band(pi, 1000.0)), 0.0, 0.3);
    EXPECT_NEAR(10.0 * log10(band(pm, 5000.0) / band(pi, 5000.0)), 0.0, 0.05);
    EXPECT_LT(10.0 * log10(band(pm, 1000.0) / band(pi, 1000.0)), -40.0);
    Signal copied = pitch(x, 7.0, r, SPECEDIT_COPY_MIX);
    std::vector<double> pc = power(copied);
    EXPECT_NEAR(10.0 * log10(band(pc, 1000.0) / band(pi, 1000.0)), 0.0, 0.05);
    EXPECT_NEAR(10.0 * log10(band(pc, f) / band(pi, 1000.0)), 0.0, 0.3);
}

TEST_F(ShiftQuality, FractionalFrequencyShiftKeepsTheAskedLevel)
{
    Signal x = tones({1000.0});
    const double gain_db = -6.0;
    for (double frac : {0.0, 0.1, 0.25, 1.0 / 3.0, 0.5, 0.75, 0.9}) {
        double hz = (21.0 + frac) * kRate / kWin;
        ASSERT_EQ(specmags_stft_forward(&m, x.data()), 1);
        ASSERT_EQ(specedit_apply_freq_shift_selection(&m, &all, SPECEDIT_MOVE_REPLACE, 0, hz,
                                                      pow(10.0, gain_db / 20.0)),
                  1);
        ASSERT_EQ(specmags_stft_inverse(&m), 1);
        Signal y(m.stft_out, m.stft_out + kLen);
        Measured q = measure(x, y, {1000.0}, (1000.0 + hz) / 1000.0);
        EXPECT_NEAR(q.level_db[0], gain_db, 0.1) << frac;
        EXPECT_LT(q.artefacts_db, -45.0) << frac;
    }
}

}  // namespace
