// What the colour bar draws: the colours at its ends under the table and
// custom schemes, and which dB labels appear where.  Labels are found in the
// picture as rows of green ink over a Greyscale bar (grey pixels have equal
// red and green).
#include "gradix_fixture.h"

namespace {

struct LabelInk {
    int y0 = 0, y1 = 0;    // first and last row with ink
    int x0 = 1 << 30, x1 = -1; // first and last column with ink
    double centre() const { return (y0 + y1) / 2.0; }
};

std::vector<LabelInk> label_runs(const maxhost::Image &img)
{
    std::vector<LabelInk> runs;
    bool open = false;
    for (int y = 0; y < img.height; y++) {
        bool ink = false;
        for (int x = 0; x < img.width; x++) {
            Px p = px(img, x, y);
            if (p.g - p.r > 40) {
                if (!open)
                    runs.push_back(LabelInk{y, y});
                open = ink = true;
                runs.back().y1 = y;
                runs.back().x0 = std::min(runs.back().x0, x);
                runs.back().x1 = std::max(runs.back().x1, x);
            }
        }
        open = ink;
    }
    return runs;
}

} // namespace

class GradixLabels : public GradixTest {
protected:
    t_object *grey_bar(double mag_min, double mag_max, long justification = 1)
    {
        spec = spectrogram({{"color_scheme", {lnum(8)}}});
        set(spec, "mag_max", {fnum(mag_max)});
        set(spec, "mag_min", {fnum(mag_min)});
        return patched_bar(spec, {{"textcolor", {fnum(0), fnum(1), fnum(0), fnum(1)}},
                                  {"textjustification", {lnum(justification)}}});
    }
    // Expects one label run per value, each centred near its value's height.
    void expect_labels(t_object *x, double mag_min, double mag_max, const std::vector<int> &values)
    {
        maxhost::Image img = paint(x);
        auto runs = label_runs(img);
        ASSERT_EQ(runs.size(), values.size());
        for (size_t i = 0; i < values.size(); i++) {
            // Runs go top down, so the highest value comes first.
            double y = img.height - (values[i] - mag_min) / (mag_max - mag_min) * img.height;
            EXPECT_NEAR(runs[i].centre(), y, 4) << values[i];
        }
    }
    t_object *spec = nullptr;
};

TEST_F(GradixLabels, StepFollowsTheRangeAndLabelsThatStickOutAreLeftOut)
{
    t_object *x = grey_bar(-100, 0);
    expect_labels(x, -100, 0, {-20, -40, -60, -80});
    set(spec, "mag_min", {fnum(-97.5)});
    set(spec, "mag_max", {fnum(-10)});
    expect_labels(x, -97.5, -10, {-20, -40, -60, -80});
    set(spec, "mag_min", {fnum(-30)});
    set(spec, "mag_max", {fnum(0)});
    set(x, "textsize", {lnum(9)});
    expect_labels(x, -30, 0, {-5, -10, -15, -20, -25}); // every 5 dB from -30
}

TEST_F(GradixLabels, JustificationPlacesTheText)
{
    t_object *x = grey_bar(-100, 0, 0);
    for (const LabelInk &r : label_runs(paint(x))) {
        EXPECT_GE(r.x0, 5);
        EXPECT_LE(r.x0, 7);
    }
    set(x, "textjustification", {lnum(2)});
    for (const LabelInk &r : label_runs(paint(x))) {
        EXPECT_LE(r.x1, 27); // 5 pixels clear of the right edge of a 33-pixel bar
        EXPECT_GE(r.x1, 25);
    }
    set(x, "textjustification", {lnum(1)});
    for (const LabelInk &r : label_runs(paint(x)))
        EXPECT_NEAR((r.x0 + r.x1 + 1) / 2.0, 16.5, 1.5);
}

TEST_F(GradixTest, TableSchemesSpanTheBarAndAOnePixelBarShowsMagMin)
{
    t_object *x = patched_bar(spectrogram());
    maxhost::Image img = paint(x);
    EXPECT_EQ(px(img, 0, 0), Px({0xFE, 0xFB, 0xF9, 255}));  // Roseus entry 255 at mag_max
    EXPECT_EQ(px(img, 32, 99), Px({0x01, 0x01, 0x01, 255})); // entry 0 at mag_min
    maxhost::box_set_size(x, 10, 1);
    img = paint(x);
    ASSERT_EQ(img.width, 10);
    ASSERT_EQ(img.height, 1);
    EXPECT_EQ(px(img, 5, 0), Px({0x01, 0x01, 0x01, 255}));
}

TEST_F(GradixTest, CustomSchemesPutTheirEndStopsAtTheEnds)
{
    t_object *spec = spectrogram({{"color_scheme", {lnum(9)}}});
    set_rgba(spec, "custom_color1", 1, 0, 0);
    set_rgba(spec, "custom_color5", 0, 0, 1);
    t_object *x = patched_bar(spec);
    maxhost::Image img = paint(x);
    EXPECT_EQ(px(img, 0, 0), Px({0, 0, 255, 255}));
    EXPECT_EQ(px(img, 0, 99), Px({255, 0, 0, 255}));
    set(spec, "color_scheme", {lnum(19)}); // Custom - Inverted
    img = paint(x);
    EXPECT_EQ(px(img, 0, 0), Px({255, 0, 0, 255}));
    EXPECT_EQ(px(img, 32, 99), Px({0, 0, 255, 255}));
}

TEST_F(GradixTest, ACustomStopWithFewerThanFourValuesTakesTheDefault)
{
    if (!spectrogram_is_standin())
        GTEST_SKIP() << "needs the stand-in's short custom colour";
    t_object *spec = spectrogram({{"color_scheme", {lnum(9)}}});
    set_rgba(spec, "custom_color2", 0, 1, 0);
    t_object *x = patched_bar(spec);
    maxhost::box_set_size(x, 33, 5); // rows at 1, 3/4, 1/2, 1/4 and 0 of the range
    EXPECT_EQ(px(paint(x), 0, 3), Px({0, 255, 0, 255}));
    standin_shorten_custom_color(spec, 2);
    jbox_invalidate_layer(x, nullptr, gensym("magnitudes_layer"));
    EXPECT_TRUE(near(px(paint(x), 0, 3), Px{92, 10, 180, 255})); // default violet 0.361 0.039 0.706
}
