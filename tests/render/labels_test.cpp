// Axis-label arithmetic: frequency label lists per scale and Nyquist, which of
// them snap to row boundaries, label placement, time-label texts in every
// format, and the thinning step of the time labels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "labels.h"

namespace {

std::vector<double> Freqs(long scale, double sample_rate)
{
    t_labels_freq labels[128];
    const int n = labels_freq_list(scale, sample_rate / 2, labels, 128);
    std::vector<double> out;
    for (int i = 0; i < n; i++)
        out.push_back(labels[i].freq);
    return out;
}

std::vector<int> Snaps(long scale, double sample_rate)
{
    t_labels_freq labels[128];
    const int n = labels_freq_list(scale, sample_rate / 2, labels, 128);
    std::vector<int> out;
    for (int i = 0; i < n; i++)
        out.push_back(labels[i].snap);
    return out;
}

using V = std::vector<double>;

TEST(FrequencyLabels, LinStepsByNyquist)
{
    EXPECT_EQ(Freqs(0, 44100), V({1000, 2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 20000,
                                 22000}));
    EXPECT_EQ(Freqs(0, 192000), V({1000, 10000, 20000, 30000, 40000, 50000, 60000, 70000, 80000, 90000}));
    // N = 48000 is not above 48000: steps of 2000, ending below N.
    const V at96k = Freqs(0, 96000);
    EXPECT_EQ(at96k.size(), 24u);
    EXPECT_EQ(at96k.back(), 46000);
    EXPECT_EQ(Snaps(0, 44100), std::vector<int>(12, 0));
}

TEST(FrequencyLabels, LogDoublesAndSnapsFrom5000)
{
    EXPECT_EQ(Freqs(2, 44100), V({125, 250, 500, 1000, 2000, 5000, 10000, 20000}));
    EXPECT_EQ(Snaps(2, 44100), std::vector<int>({0, 0, 0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(Freqs(2, 10000), V({125, 250, 500, 1000, 2000})); // N = 5000 is not above 5000
    EXPECT_EQ(Freqs(2, 192000), V({125, 250, 500, 1000, 2000, 5000, 10000, 20000, 40000, 80000}));
}

TEST(FrequencyLabels, MelHasATailAbove20000Only)
{
    const V head = {250, 500, 1000, 2000, 4000, 6000, 8000, 10000};
    EXPECT_EQ(Freqs(1, 40000), head);
    V at44k = head;
    at44k.push_back(20000);
    EXPECT_EQ(Freqs(1, 44100), at44k);
    V at192k = head;
    at192k.insert(at192k.end(), {20000, 40000, 60000, 80000});
    EXPECT_EQ(Freqs(1, 192000), at192k);
    EXPECT_EQ(Snaps(1, 192000), std::vector<int>(at192k.size(), 0));
}

TEST(FrequencyLabels, BarkAndErbShareAListButOnlyBarkSnaps)
{
    const V at44k = {125, 250, 500, 1000, 2000, 4000, 6000, 8000, 10000, 20000};
    EXPECT_EQ(Freqs(3, 44100), at44k);
    EXPECT_EQ(Freqs(4, 44100), at44k);
    EXPECT_EQ(Freqs(3, 192000), V({125, 250, 500, 1000, 2000, 4000, 6000, 8000, 10000, 20000, 40000, 60000,
                                   80000}));
    EXPECT_EQ(Snaps(3, 44100), std::vector<int>({1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Snaps(4, 44100), std::vector<int>(10, 0));
}

TEST(FrequencyLabels, OtherScalesHaveNone)
{
    t_labels_freq label;
    EXPECT_EQ(labels_freq_at(5, 22050, 0, &label), 0);
    EXPECT_EQ(labels_freq_at(-1, 22050, 0, &label), 0);
    EXPECT_EQ(labels_freq_at(0, 22050, -1, &label), 0);
}

TEST(FrequencyLabels, ListStopsAtCapacity)
{
    t_labels_freq labels[3] = {};
    EXPECT_EQ(labels_freq_list(2, 22050, labels, 3), 3);
    EXPECT_EQ(labels[2].freq, 500);
    EXPECT_EQ(labels_freq_list(2, 22050, labels, 0), 0);
}

TEST(FrequencyLabels, PlacementUsesTheRowOffset)
{
    // Height 101: T = 100; 100 visible rows from row 0, so one row is one pixel.
    EXPECT_NEAR(labels_freq_y(10, 0.25f, 0, 100, 101, 0), 89.75, 1e-4);
    EXPECT_NEAR(labels_freq_y(10, 0.5f, 0, 100, 101, 1), 89.0, 1e-4); // halves away from zero
    EXPECT_NEAR(labels_freq_y(10, 0.25f, 0, 100, 101, 1), 90.0, 1e-4);
    EXPECT_NEAR(labels_freq_y(60, 0.0f, 50, 20, 201, 0), 100.0, 1e-4);
    EXPECT_GT(labels_freq_y(40, 0.0f, 50, 20, 201, 0), 200.0); // below the view: under the bottom edge
}

std::string Time(long format, double t_ms, double sample_rate = 44100)
{
    char buf[LABELS_TEXT_SIZE];
    labels_format_time(buf, sizeof buf, format, t_ms, sample_rate);
    return buf;
}

TEST(TimeLabels, EveryFormatOfOneHourTwoMinutesThreeSeconds)
{
    const double t = 3723004; // 1 h 2 min 3.004 s
    EXPECT_EQ(Time(LABELS_TIME_HMS, t), "1:02:03");
    EXPECT_EQ(Time(LABELS_TIME_MS, t), "3723004");
    EXPECT_EQ(Time(LABELS_TIME_SECONDS, t), "3723.004");
    EXPECT_EQ(Time(LABELS_TIME_MIN_SEC, t), "62:03");
    EXPECT_EQ(Time(LABELS_TIME_MIN_SEC_MS, t), "62:03.004");
    EXPECT_EQ(Time(LABELS_TIME_SAMPLES, t, 44100), "164184476");
    EXPECT_EQ(Time(LABELS_TIME_SAMPLES, t, 48000), "178704192");
    EXPECT_EQ(Time(6, t), "3723004");
    EXPECT_EQ(Time(-1, 1234.6), "1235");
}

TEST(TimeLabels, SmallValues)
{
    EXPECT_EQ(Time(LABELS_TIME_HMS, 0), "0:00:00");
    EXPECT_EQ(Time(LABELS_TIME_SECONDS, 12.5), "0.013");
    EXPECT_EQ(Time(LABELS_TIME_MIN_SEC, 59400), "0:59");
    EXPECT_EQ(Time(LABELS_TIME_MIN_SEC_MS, 61250), "1:01.250");
    EXPECT_EQ(Time(LABELS_TIME_SAMPLES, 1000, 44100), "44100");
}

TEST(TimeLabels, SecondsThatRoundTo60CarryIntoTheMinute)
{
    EXPECT_EQ(Time(LABELS_TIME_MIN_SEC, 59600), "1:00");
    EXPECT_EQ(Time(LABELS_TIME_MIN_SEC, 119700), "2:00");
    EXPECT_EQ(Time(LABELS_TIME_MIN_SEC_MS, 119999.9), "2:00.000");
    EXPECT_EQ(Time(LABELS_TIME_MIN_SEC_MS, 119999.4), "1:59.999");
}

TEST(TimeLabels, SamplesBeyond32Bits)
{
    // 14 hours at 48 kHz: more than 2^31 samples.
    EXPECT_EQ(Time(LABELS_TIME_SAMPLES, 14 * 3600000.0, 48000), "2419200000");
}

TEST(TimeLabels, FormatWidths)
{
    const int widths[] = {7, 5, 6, 4, 8, 8};
    for (long f = 0; f < LABELS_TIME_FORMAT_COUNT; f++)
        EXPECT_EQ(labels_time_format_width(f), widths[f]) << f;
    EXPECT_EQ(labels_time_format_width(6), 6);
    EXPECT_EQ(labels_time_format_width(-3), 6);
}

TEST(TimeLabels, StepThinsLabelsToFitTheWidth)
{
    int k = 0;
    EXPECT_EQ(labels_time_step(300, 12, LABELS_TIME_SECONDS, &k), 4);
    EXPECT_EQ(k, 5);
    EXPECT_EQ(labels_time_step(1000, 12, LABELS_TIME_SECONDS, &k), 2);
    EXPECT_EQ(k, 17);
    EXPECT_EQ(labels_time_step(60, 12, LABELS_TIME_SECONDS, &k), 10);
    EXPECT_EQ(k, 2);
    EXPECT_EQ(labels_time_step(0, 12, LABELS_TIME_SECONDS, &k), 10);
    EXPECT_EQ(labels_time_step(5000, 12, LABELS_TIME_SECONDS, &k), 1);
    EXPECT_EQ(k, 20);
    // A wider format at the same width: 300 / (12 * 0.5 * 7 + 20) = 4.8.
    EXPECT_EQ(labels_time_step(300, 12, LABELS_TIME_HMS, &k), 5);
    EXPECT_EQ(k, 4);
    EXPECT_EQ(labels_time_step(300, 12, LABELS_TIME_SECONDS, nullptr), 4);
}

TEST(TimeLabels, SlotsDivideTheViewIntoTwentieths)
{
    double t = 0, x = 0;
    labels_time_slot(0, 1000, 2000, 300, &t, &x);
    EXPECT_DOUBLE_EQ(t, 1000);
    EXPECT_DOUBLE_EQ(x, 0);
    labels_time_slot(4, 1000, 2000, 300, &t, &x);
    EXPECT_DOUBLE_EQ(t, 1400);
    EXPECT_DOUBLE_EQ(x, 60);
    labels_time_slot(19, 0, 1000, 333, &t, &x);
    EXPECT_DOUBLE_EQ(t, 950);
    EXPECT_DOUBLE_EQ(x, (double)(19.0f / 20.0f * 333.0f));
}

} // namespace
