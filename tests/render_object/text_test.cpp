// Axis labels: which frequency labels each scale gets and where, the top
// margin that ends the list, and the ticks actually drawn for frequencies
// (left edge) and times (top edge) at several widths.
#include "render_fixture.h"

#include <gtest/gtest.h>

namespace {

// A record over a real analysis state of 2048-point frames at sample_rate,
// the whole frequency range in view.
RecordPtr analysed_record(double sample_rate, long scale)
{
    RecordPtr x = make_record();
    EXPECT_EQ(specmags_init(&x->mags, (int64_t)sample_rate, 2048, 1, 2, 2048, sample_rate), 1);
    specmags_set_fft_mag_scale(&x->mags, scale);
    x->sample_rate = sample_rate;
    x->buffer_length_ms = 1000.0;
    x->display_length = 1000.0;
    x->display_high = sample_rate * 0.5;
    return x;
}

std::vector<t_specgram_freq_label> placed(t_specgram *x, long height)
{
    t_specgram_freq_axis axis;
    specgram_freq_axis_init(x, height, &axis);
    std::vector<t_specgram_freq_label> out;
    t_specgram_freq_label label;
    for (int i = 0; specgram_freq_label_place(&axis, i, &label); i++)
        out.push_back(label);
    return out;
}

std::vector<double> freqs_of(const std::vector<t_specgram_freq_label> &labels)
{
    std::vector<double> f;
    for (const t_specgram_freq_label &l : labels)
        f.push_back(l.freq);
    return f;
}

// Centres of the runs of painted pixels along a column (vertical) or a row.
std::vector<double> ink_runs(t_jsurface *s, bool vertical, int fixed, int length)
{
    std::vector<double> centres;
    double weight = 0, moment = 0;
    for (int i = 0; i <= length; i++) {
        const double a = i < length ? (vertical ? pixel_alpha(s, fixed, i) : pixel_alpha(s, i, fixed)) : 0.0;
        if (a > 0.05) {
            weight += a;
            moment += a * (i + 0.5);
        } else if (weight > 0) {
            centres.push_back(moment / weight);
            weight = moment = 0;
        }
    }
    return centres;
}

TEST(FreqLabels, LinListsStopAtTheTopMargin)
{
    RecordPtr x = analysed_record(44100.0, SPECMAGS_SCALE_LIN);
    const std::vector<double> tall = {1000, 2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 20000};
    EXPECT_EQ(freqs_of(placed(x.get(), 1000)), tall); // 22000 would sit 3 px from the top
    std::vector<double> short_box(tall.begin(), tall.end() - 1);
    EXPECT_EQ(freqs_of(placed(x.get(), 100)), short_box);

    // the Lin scale puts a label on its row's lower edge: row 46 of 1025 for 1000 Hz
    EXPECT_NEAR(placed(x.get(), 1000)[0].y, 999.0 - 46.0 / 1025.0 * 999.0, 1e-3);

    RecordPtr hi = analysed_record(192000.0, SPECMAGS_SCALE_LIN);
    const std::vector<double> wide = {1000, 10000, 20000, 30000, 40000, 50000, 60000, 70000, 80000, 90000};
    EXPECT_EQ(freqs_of(placed(hi.get(), 1000)), wide);
}

TEST(FreqLabels, LogAndBarkListsSnapWhereTheyShould)
{
    RecordPtr x = analysed_record(44100.0, SPECMAGS_SCALE_LOG);
    const std::vector<double> log = {125, 250, 500, 1000, 2000, 5000, 10000, 20000};
    EXPECT_EQ(freqs_of(placed(x.get(), 2000)), log);
    std::vector<double> lower(log.begin(), log.end() - 1);
    EXPECT_EQ(freqs_of(placed(x.get(), 1000)), lower);

    // snapped labels sit on whole row offsets: Log from 5000 Hz on, Bark's first four
    auto offset = [](const t_specgram_freq_label &l, double height) {
        const double top = height - 1;
        return (top - l.y) / top * 1025.0;
    };
    const std::vector<t_specgram_freq_label> logs = placed(x.get(), 2000);
    for (size_t i = 5; i < logs.size(); i++)
        EXPECT_NEAR(offset(logs[i], 2000), std::round(offset(logs[i], 2000)), 1e-3) << logs[i].freq;

    RecordPtr bark = analysed_record(44100.0, SPECMAGS_SCALE_BARK);
    const std::vector<t_specgram_freq_label> barks = placed(bark.get(), 2000);
    ASSERT_GE(barks.size(), 5u);
    for (size_t i = 0; i < 4; i++)
        EXPECT_NEAR(offset(barks[i], 2000), std::round(offset(barks[i], 2000)), 1e-3) << barks[i].freq;
    EXPECT_GT(std::fabs(offset(barks[4], 2000) - std::round(offset(barks[4], 2000))), 1e-3);
}

TEST(FreqLabels, LabelsBelowTheWindowAreKeptAndUnknownScalesHaveNone)
{
    RecordPtr x = analysed_record(44100.0, SPECMAGS_SCALE_LIN);
    x->display_low = 5000.0;
    const std::vector<t_specgram_freq_label> labels = placed(x.get(), 100);
    ASSERT_GE(labels.size(), 3u);
    EXPECT_GT(labels[0].y, 100.0); // 1000 Hz lies below the bottom edge, clipped by the layer
    EXPECT_EQ(labels[2].freq, 4000.0);

    x->mags.fft_mag_scale = 5;
    EXPECT_TRUE(placed(x.get(), 100).empty());
    SurfacePtr s = make_surface(300, 100);
    x->freq_text = 1;
    t_jgraphics *g = jgraphics_create(s.get());
    specgram_add_text_to_jgraphics(x.get(), g, 300, 100);
    jgraphics_destroy(g);
    EXPECT_TRUE(ink_runs(s.get(), true, 5, 100).empty());
}

TEST(AxisText, FrequencyTicksAreDrawnAtTheLabelPositions)
{
    RecordPtr x = analysed_record(44100.0, SPECMAGS_SCALE_LIN);
    x->freq_text = 1;
    SurfacePtr s = make_surface(300, 100);
    t_jgraphics *g = jgraphics_create(s.get());
    specgram_add_text_to_jgraphics(x.get(), g, 300, 100);
    jgraphics_destroy(g);

    const std::vector<t_specgram_freq_label> labels = placed(x.get(), 100);
    const std::vector<double> ticks = ink_runs(s.get(), true, 5, 100);
    ASSERT_EQ(ticks.size(), labels.size());
    for (size_t i = 0; i < ticks.size(); i++)
        EXPECT_NEAR(ticks[ticks.size() - 1 - i], labels[i].y, 0.6) << labels[i].freq;
    EXPECT_TRUE(ink_runs(s.get(), false, 1, 300).empty()); // no time ticks
}

TEST(AxisText, TimeTicksThinOutToFitTheWidth)
{
    struct Case {
        long width;
        std::vector<int> slots;
    };
    const Case cases[] = {
        {300, {0, 4, 8, 12, 16}},
        {1000, {0, 2, 4, 6, 8, 10, 12, 14, 16, 18}},
        {60, {0, 10}},
    };
    for (const Case &c : cases) {
        RecordPtr x = analysed_record(44100.0, SPECMAGS_SCALE_LIN);
        x->time_text = 1;
        SurfacePtr s = make_surface((int)c.width, 100);
        t_jgraphics *g = jgraphics_create(s.get());
        specgram_add_text_to_jgraphics(x.get(), g, c.width, 100);
        jgraphics_destroy(g);
        const std::vector<double> ticks = ink_runs(s.get(), false, 1, (int)c.width);
        ASSERT_EQ(ticks.size(), c.slots.size()) << c.width;
        for (size_t i = 0; i < ticks.size(); i++)
            EXPECT_NEAR(ticks[i], c.slots[i] / 20.0 * c.width, 0.6) << c.width << " slot " << c.slots[i];
    }
}

TEST(AxisText, BothSwitchesOffLeaveTheDrawingEmpty)
{
    RecordPtr x = analysed_record(44100.0, SPECMAGS_SCALE_MEL);
    SurfacePtr s = make_surface(200, 80);
    t_jgraphics *g = jgraphics_create(s.get());
    specgram_add_text_to_jgraphics(x.get(), g, 200, 80);
    jgraphics_destroy(g);
    for (int py = 0; py < 80; py++)
        for (int px = 0; px < 200; px++)
            ASSERT_EQ(pixel_alpha(s.get(), px, py), 0.0) << px << "," << py;
}

} // namespace
