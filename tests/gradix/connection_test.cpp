// The colour bar as a class and its link to a spectrogram~: attributes and
// help text, which cord connects it, what deleting the spectrogram does,
// and which notifications send which layer to be drawn again.
#include "gradix_fixture.h"

namespace {

const Px kBlack{0, 0, 0, 255};
const Px kWhite{255, 255, 255, 255};
const Px kRoseusTop{0xFE, 0xFB, 0xF9, 255}; // entry 255 of Roseus

maxhost::AttrInfo info_of(const std::vector<maxhost::AttrInfo> &infos, const std::string &name)
{
    for (const auto &i : infos)
        if (i.name == name)
            return i;
    ADD_FAILURE() << "no attribute " << name;
    return {};
}

} // namespace

TEST_F(GradixTest, RegistersABoxWithThreeTextAttributes)
{
    t_object *x = bar();
    EXPECT_EQ(maxhost::box_inlet_count(x), 1);
    EXPECT_EQ(maxhost::box_outlet_count(x), 1);
    EXPECT_DOUBLE_EQ(maxhost::box_rect(x).width, 33);
    EXPECT_DOUBLE_EQ(maxhost::box_rect(x).height, 100);

    auto infos = maxhost::attributes_of(x);
    std::vector<std::string> names;
    for (const auto &i : infos)
        names.push_back(i.name);
    EXPECT_EQ(names, (std::vector<std::string>{"patching_rect", "textsize", "textjustification", "textcolor"}));
    auto size = info_of(infos, "textsize"), just = info_of(infos, "textjustification"),
         color = info_of(infos, "textcolor");
    EXPECT_EQ(size.category + "/" + size.label, "Display/Text Size");
    EXPECT_EQ(just.category + "/" + just.label + "/" + just.style, "Display/Text Justification/enumindex");
    EXPECT_EQ(just.enumvals, (std::vector<std::string>{"left", "center", "right"}));
    EXPECT_EQ(color.category + "/" + color.label + "/" + color.style, "Color/Text Color/rgba");
    EXPECT_TRUE(size.save && just.save && color.save);
    EXPECT_TRUE(color.paint);
    EXPECT_FALSE(size.paint || just.paint); // their repaint comes from the notify handler

    EXPECT_EQ(object_attr_getlong(x, gensym("textsize")), 12);
    EXPECT_EQ(object_attr_getlong(x, gensym("textjustification")), 1);
    t_jrgba c;
    ASSERT_EQ(object_attr_getjrgba(x, gensym("textcolor"), &c), MAX_ERR_NONE);
    EXPECT_TRUE(c.red == 1 && c.green == 1 && c.blue == 1 && c.alpha == 1);
    set(x, "textsize", {lnum(100)});
    EXPECT_EQ(object_attr_getlong(x, gensym("textsize")), 72);
    set(x, "textsize", {lnum(0)});
    EXPECT_EQ(object_attr_getlong(x, gensym("textsize")), 1);
    set(x, "textjustification", {lnum(5)});
    EXPECT_EQ(object_attr_getlong(x, gensym("textjustification")), 2);

    char text[ASSIST_MAX_STRING_LEN] = "";
    object_method(x, gensym("assist"), nullptr, (void *)ASSIST_OUTLET, (void *)0, text);
    EXPECT_STREQ(text, "Connect to inlet of spectrogram~ object");
    char in[ASSIST_MAX_STRING_LEN] = "";
    object_method(x, gensym("assist"), nullptr, (void *)ASSIST_INLET, (void *)0, in);
    EXPECT_STREQ(in, "");
}

TEST_F(GradixTest, UnpatchedBarIsBlackWithoutLabels)
{
    spectrogram();
    maxhost::Image img = paint(bar());
    ASSERT_EQ(img.width, 33);
    ASSERT_EQ(img.height, 100);
    for (int y = 0; y < img.height; y++)
        for (int x = 0; x < img.width; x++)
            ASSERT_EQ(px(img, x, y), kBlack) << x << "," << y;
}

TEST_F(GradixTest, FirstCordInThePatchersOrderWins)
{
    t_object *grey = spectrogram({{"color_scheme", {lnum(8)}}});
    t_object *roseus = spectrogram();
    t_object *x = bar();
    t_object *first = maxhost::connect(patcher, x, 0, grey, 0);
    ASSERT_TRUE(first);
    ASSERT_TRUE(maxhost::connect(patcher, x, 0, roseus, 0));
    EXPECT_EQ(px(paint(x), 0, 0), kWhite); // Greyscale at mag_max

    maxhost::disconnect(patcher, first);
    EXPECT_EQ(px(paint(x), 0, 0), kRoseusTop); // the next cord takes over at the next paint
}

TEST_F(GradixTest, CordsFromOtherBoxesOrToOtherClassesAreIgnored)
{
    t_object *spec = spectrogram();
    t_object *x = bar();
    t_object *other_bar = bar();
    t_object *third_bar = bar();
    ASSERT_TRUE(maxhost::connect(patcher, x, 0, other_bar, 0)); // to another class
    ASSERT_TRUE(maxhost::connect(patcher, spec, 0, x, 0));      // into the bar, not out of it
    ASSERT_TRUE(maxhost::connect(patcher, third_bar, 0, spec, 0)); // someone else's cord
    EXPECT_EQ(px(paint(x), 0, 0), kBlack);
    EXPECT_EQ(px(paint(other_bar), 0, 0), kBlack);
    EXPECT_EQ(px(paint(third_bar), 0, 0), kRoseusTop);
}

TEST_F(GradixTest, DeletingTheSpectrogramBlackensTheBarAndANewCordConnectsOnBang)
{
    t_object *spec = spectrogram();
    t_object *x = patched_bar(spec);
    EXPECT_EQ(px(paint(x), 0, 0), kRoseusTop);

    maxhost::box_free(spec);
    EXPECT_TRUE(bar_stale(x)); // the "free" notice sent both layers to be redrawn
    EXPECT_TRUE(text_stale(x));
    EXPECT_FALSE(maxhost::queue_empty()); // and asked for a repaint
    EXPECT_EQ(px(paint(x), 0, 0), kBlack);

    t_object *next = spectrogram();
    ASSERT_TRUE(maxhost::connect(patcher, x, 0, next, 0));
    set(next, "mag_max", {fnum(-10)});
    EXPECT_FALSE(bar_stale(x)); // not listening yet

    maxhost::send(x, 0, gensym("bang"), 0, nullptr);
    EXPECT_FALSE(bar_stale(x)); // a bang connects but does not repaint
    set(next, "mag_max", {fnum(-5)});
    EXPECT_TRUE(bar_stale(x)); // now it listens
    EXPECT_EQ(px(paint(x), 0, 0), kRoseusTop);

    t_object *late = patched_bar(next); // loadbang connects as bang does
    object_method(late, gensym("loadbang"));
    set(next, "color_scheme", {lnum(8)});
    EXPECT_TRUE(bar_stale(late));
}

TEST_F(GradixTest, ColourAttributesOfTheSpectrogramRedrawBothLayers)
{
    t_object *spec = spectrogram();
    t_object *x = patched_bar(spec);
    paint(x);
    ASSERT_FALSE(bar_stale(x) || text_stale(x));

    set(spec, "textsize", {lnum(30)});
    EXPECT_FALSE(bar_stale(x) || text_stale(x));

    const maxhost::Atoms grey = {fnum(0.5), fnum(0.5), fnum(0.5), fnum(1)};
    const std::vector<std::pair<const char *, maxhost::Atoms>> changes = {
        {"mag_max", {fnum(-3)}}, {"mag_min", {fnum(-90)}}, {"color_scheme", {lnum(3)}},
        {"custom_color1", grey}, {"custom_color5", grey}};
    for (const auto &change : changes) {
        set(spec, change.first, change.second);
        EXPECT_TRUE(bar_stale(x)) << change.first;
        EXPECT_TRUE(text_stale(x)) << change.first;
        paint(x);
    }
    EXPECT_TRUE(near(px(paint(x), 0, 0), Px{252, 255, 164, 255})); // Inferno, entry 255
}

TEST_F(GradixTest, OwnTextAttributesRedrawOnlyTheLabels)
{
    t_object *spec = spectrogram();
    t_object *x = patched_bar(spec);
    paint(x);
    set(x, "textsize", {lnum(9)});
    EXPECT_FALSE(bar_stale(x));
    EXPECT_TRUE(text_stale(x));
    paint(x);
    set(x, "textjustification", {lnum(0)});
    EXPECT_FALSE(bar_stale(x));
    EXPECT_TRUE(text_stale(x));
    paint(x);
    set_rgba(x, "textcolor", 1, 0, 0);
    EXPECT_FALSE(bar_stale(x));
    EXPECT_TRUE(text_stale(x));
}
