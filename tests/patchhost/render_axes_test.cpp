// The figure's axis arithmetic and the analysis resolution render chooses:
// round tick values on every magnitude scale and time span, placed where
// the object's rows put those frequencies, and one frame per plot column.
#include "render.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace patchhost::render;

namespace {

// At most `digits` significant digits (two: 20, 1500, 22000; not 1234).
bool round_value(double v, int digits = 2)
{
    if (v == 0)
        return true;
    double p = std::pow(10.0, std::floor(std::log10(std::fabs(v))) - (digits - 1));
    double m = v / p;
    return std::fabs(m - std::round(m)) < 1e-6;
}

// 1, 2 or 5 times a power of ten.
bool step_125(double step)
{
    double m = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    return std::fabs(m - 1) < 1e-6 || std::fabs(m - 2) < 1e-6 || std::fabs(m - 5) < 1e-6;
}

void expect_spaced(const std::vector<Tick> &ticks, double length, double gap, const std::string &what)
{
    ASSERT_GE(ticks.size(), 3u) << what;
    for (size_t i = 0; i < ticks.size(); i++) {
        EXPECT_GE(ticks[i].pos, -1e-9) << what;
        EXPECT_LE(ticks[i].pos, length + 1e-9) << what;
        if (i > 0) {
            EXPECT_GT(ticks[i].value, ticks[i - 1].value) << what;
            EXPECT_GE(ticks[i].pos - ticks[i - 1].pos, gap - 1e-9) << what;
        }
        EXPECT_FALSE(ticks[i].label.empty()) << what;
    }
}

} // namespace

TEST(RenderAxes, FrequencyTicksAreRoundOnEveryScaleAndRate)
{
    const char *names[] = {"Lin", "Mel", "Log", "Bark", "ERB"};
    for (double sr : {44100.0, 48000.0, 96000.0})
        for (int scale = scale_lin; scale <= scale_erb; scale++)
            for (double length : {100.0, 328.0, 1000.0}) {
                std::string what = std::string(names[scale]) + " at " + std::to_string((int)sr) + " Hz, " +
                                   std::to_string((int)length) + " px";
                auto ticks = frequency_ticks(scale, sr / 2, length, 20);
                expect_spaced(ticks, length, 20, what);
                const double step = ticks[1].value - ticks[0].value;
                for (const Tick &t : ticks) {
                    // Lin: multiples of a 1-2-5 step; the others: one digit and zeros.
                    if (scale == scale_lin)
                        EXPECT_TRUE(step_125(step) && std::fabs(std::remainder(t.value, step)) < 1e-6)
                            << what << ": " << t.value;
                    else
                        EXPECT_TRUE(round_value(t.value, 1)) << what << ": " << t.value;
                    EXPECT_LE(t.value, sr / 2) << what;
                    EXPECT_NEAR(t.pos, scale_position(scale, t.value, sr / 2) * length, 1e-6) << what;
                }
            }
}

TEST(RenderAxes, FrequencyLabelsUseKiloForThousands)
{
    auto ticks = frequency_ticks(scale_log, 24000, 328, 20);
    std::vector<std::string> labels;
    for (const Tick &t : ticks)
        labels.push_back(t.label);
    EXPECT_NE(std::find(labels.begin(), labels.end(), "100"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "1k"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "10k"), labels.end());
}

// The positions agree with the object's row-edge tables: row i of R rows
// has its lower edge at height i / R.
TEST(RenderAxes, ScalePositionsMatchTheRowEdges)
{
    const double h = 24000, r = 1025;
    // Mel edge 512 is about 3451 Hz; ERB edge 512 about 2120 Hz; Log edge 0 is 20 Hz.
    EXPECT_NEAR(scale_position(scale_mel, 3451, h), 512 / r, 2e-4);
    EXPECT_NEAR(scale_position(scale_erb, 2120, h), 512 / r, 2e-4);
    EXPECT_NEAR(scale_position(scale_log, 20, h), 0, 1e-6);
    EXPECT_NEAR(scale_position(scale_log, h, h), 1, 1e-6);
    EXPECT_NEAR(scale_position(scale_lin, 12000, h), 0.5, 1e-12);
    // Bark edge 0 is 1960 * 0.53 / 26.28 Hz.
    EXPECT_NEAR(scale_position(scale_bark, 1960 * 0.53 / 26.28, h), 0, 1e-9);
    EXPECT_LT(scale_position(scale_bark, h, h), 1);
}

TEST(RenderAxes, TimeTicksAreRoundFromFiftyMillisecondsToAnHour)
{
    for (double span : {0.05, 0.3, 1.0, 1.4, 7.9, 60.0, 119.0, 600.0, 2400.0, 3600.0})
        for (double length : {300.0, 1054.0}) {
            std::string title;
            auto ticks = time_ticks(span, length, 72, &title);
            std::string what = std::to_string(span) + " s over " + std::to_string((int)length) + " px";
            expect_spaced(ticks, length, 72, what);
            EXPECT_EQ(ticks[0].value, 0) << what;
            double step = ticks[1].value - ticks[0].value;
            // Below two minutes a 1-2-5 step, above it steps that divide the clock.
            if (span < 120)
                EXPECT_TRUE(step_125(step)) << what << ": step " << step;
            else
                EXPECT_TRUE(std::fmod(60, step) == 0 || std::fmod(step, 60) == 0) << what << ": step " << step;
            for (const Tick &t : ticks)
                EXPECT_NEAR(std::remainder(t.value, step), 0, step * 1e-6) << what << ": " << t.value;
            EXPECT_NE(title.find('('), std::string::npos) << what;
        }
}

TEST(RenderAxes, TimeLabelsCarryTheirUnit)
{
    std::string title;
    auto ms = time_ticks(0.05, 1054, 72, &title);
    EXPECT_EQ(title, "Time (ms)");
    EXPECT_EQ(ms[1].label, "5");
    auto s = time_ticks(1.4, 1054, 72, &title);
    EXPECT_EQ(title, "Time (s)");
    EXPECT_EQ(s[1].label, "0.1");
    auto min = time_ticks(600, 1054, 72, &title);
    EXPECT_EQ(title, "Time (min:s)");
    EXPECT_EQ(min[1].label, "1:00");
    auto hours = time_ticks(3600, 1054, 72, &title);
    EXPECT_EQ(title, "Time (h:mm:ss)");
    EXPECT_EQ(hours.back().label, "1:00:00");
}

TEST(RenderAxes, DecibelTicksKeepBothEnds)
{
    auto ticks = db_ticks(-97.5, -10, 300, 19);
    ASSERT_GE(ticks.size(), 4u);
    EXPECT_EQ(ticks.front().label, "-97.5");
    EXPECT_EQ(ticks.back().label, "-10");
    for (size_t i = 1; i < ticks.size(); i++)
        EXPECT_GE(ticks[i].pos - ticks[i - 1].pos, 19 - 1e-9);
}

// At 1200 x 400 the plot is 1054 x 326 pixels.
TEST(RenderResolution, OneFramePerColumnAtTheDefaultSize)
{
    Layout l;
    ASSERT_TRUE(figure_layout(1200, 400, 1, &l));
    EXPECT_EQ(l.width, 1200);
    EXPECT_EQ(l.height, 400);
    // One second at 48 kHz: a window that fills the rows, the overlap that
    // makes up the frames.
    Resolution one = choose_resolution(48000, l.plot_w, l.plot_h);
    EXPECT_EQ(one.win_size, 1024);
    EXPECT_GE(one.frames, l.plot_w);
    EXPECT_LE(one.overlap, 64);
    EXPECT_GE(one.win_size / 2 + 1, l.plot_h);
    // Ten minutes: the longest window, no overlap needed.
    Resolution ten = choose_resolution(600 * 48000, l.plot_w, l.plot_h);
    EXPECT_EQ(ten.win_size, 4096);
    EXPECT_EQ(ten.overlap, 1);
    EXPECT_GE(ten.frames, l.plot_w);
    EXPECT_EQ(ten.frames, frame_count(600 * 48000, 4096, 4096));
}

TEST(RenderResolution, StaysWithinTheObjectsLimits)
{
    // 50 ms: the window shrinks so that 64 overlapping frames per window
    // still reach the columns.
    Resolution tiny = choose_resolution(2400, 1054, 326);
    EXPECT_GE(tiny.win_size, 256);
    EXPECT_LE(tiny.overlap, 64);
    // Shorter than a window: one frame, nothing out of range.
    Resolution blip = choose_resolution(10, 1054, 326);
    EXPECT_EQ(blip.frames, 1);
    EXPECT_GE(blip.overlap, 1);
    // A tall plot of a short sound stays inside the grid budget.
    Resolution tall = choose_resolution(20 * 48000, 4000, 30000);
    EXPECT_LE(8.0 * tall.frames * (tall.win_size / 2 + 1), k_grid_budget_bytes);
    EXPECT_LE(tall.win_size, 32768);
}

TEST(RenderLayout, PanelsStackAndTinySizesAreRefused)
{
    Layout one, three;
    ASSERT_TRUE(figure_layout(1200, 400, 1, &one));
    ASSERT_TRUE(figure_layout(1200, 400, 3, &three));
    EXPECT_EQ(three.plot_h, one.plot_h);
    EXPECT_EQ(three.height, 400 + 2 * three.panel_step);
    EXPECT_EQ(three.bar_h, three.height - (one.height - one.bar_h));
    Layout tiny;
    EXPECT_FALSE(figure_layout(100, 60, 1, &tiny));
}
