// Colour tables and the dB-to-colour mapping: published entries, the Hot rule,
// index rounding at the entry boundaries, NaN and infinities, inverted schemes,
// grey ramps, the five-stop custom gradient with alpha, and unknown schemes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "colormap.h"
#include "colormap_tables.h"

namespace {

struct TableEntry {
    const char *name;
    t_colormap_table table;
    int index;
    float r, g, b;
};

const TableEntry kPublishedEntries[] = {
    {"viridis", viridisColormap, 0, 0.267004f, 0.004874f, 0.329415f},
    {"viridis", viridisColormap, 255, 0.993248f, 0.906157f, 0.143936f},
    {"magma", magmaColormap, 0, 0.001462f, 0.000466f, 0.013866f},
    {"magma", magmaColormap, 255, 0.987053f, 0.991438f, 0.749504f},
    {"inferno", infernoColormap, 0, 0.001462f, 0.000466f, 0.013866f},
    {"inferno", infernoColormap, 255, 0.988362f, 0.998364f, 0.644924f},
    {"plasma", plasmaColormap, 0, 0.050383f, 0.029803f, 0.527975f},
    {"plasma", plasmaColormap, 255, 0.940015f, 0.975158f, 0.131326f},
    {"cividis", cividisColormap, 0, 0.0f, 0.135112f, 0.304751f},
    {"cividis", cividisColormap, 255, 0.995737f, 0.909344f, 0.217772f},
    {"turbo", turboColormap, 0, 0.18995f, 0.07176f, 0.23217f},
    {"turbo", turboColormap, 128, 0.64362f, 0.98999f, 0.23356f},
    {"turbo", turboColormap, 255, 0.4796f, 0.01583f, 0.01055f},
    {"hot", hotColormap, 0, 0.0f, 0.0f, 0.0f},
    {"hot", hotColormap, 1, 0.010458f, 0.0f, 0.0f},
    {"hot", hotColormap, 96, 1.0f, 0.003922f, 0.0f},
    {"hot", hotColormap, 128, 1.0f, 0.338562f, 0.0f},
    {"hot", hotColormap, 192, 1.0f, 1.0f, 0.011765f},
    {"hot", hotColormap, 255, 1.0f, 1.0f, 1.0f},
    {"roseus", roseusColormap, 0, 0.003922f, 0.003922f, 0.003922f},   // 010101
    {"roseus", roseusColormap, 128, 0.764706f, 0.156863f, 0.517647f}, // C32884
    {"roseus", roseusColormap, 255, 0.996078f, 0.984314f, 0.976471f}, // FEFBF9
};

TEST(ColormapTables, HoldThePublishedEntries)
{
    for (const TableEntry &e : kPublishedEntries) {
        SCOPED_TRACE(std::string(e.name) + " entry " + std::to_string(e.index));
        EXPECT_FLOAT_EQ(e.table[e.index][0], e.r);
        EXPECT_FLOAT_EQ(e.table[e.index][1], e.g);
        EXPECT_FLOAT_EQ(e.table[e.index][2], e.b);
    }
}

TEST(ColormapTables, LutIsInSchemeOrder)
{
    const t_colormap_table expected[COLORMAP_TABLE_COUNT] = {
        roseusColormap, viridisColormap, magmaColormap,  infernoColormap,
        plasmaColormap, cividisColormap, turboColormap, hotColormap};
    for (int s = 0; s < COLORMAP_TABLE_COUNT; s++)
        EXPECT_EQ(colormapLUT[s], expected[s]) << "scheme " << s;
}

TEST(ColormapTables, HotFollowsItsRuleEverywhere)
{
    auto clamp01 = [](double v) { return v < 0 ? 0.0 : (v > 1 ? 1.0 : v); };
    for (int i = 0; i < COLORMAP_TABLE_SIZE; i++) {
        const double x = i / 255.0;
        EXPECT_NEAR(hotColormap[i][0], clamp01(8 * x / 3), 6e-7) << i;
        EXPECT_NEAR(hotColormap[i][1], clamp01(8 * x / 3 - 1), 6e-7) << i;
        EXPECT_NEAR(hotColormap[i][2], clamp01(4 * x - 3), 6e-7) << i;
    }
}

t_colormap_params Params(long scheme, const t_jrgba *custom = nullptr, double lo = -100, double hi = 0)
{
    t_colormap_params p;
    colormap_params_set(&p, lo, hi, scheme, custom);
    return p;
}

t_jrgba Map(const t_colormap_params &p, float mag)
{
    t_jrgba c = {-1, -1, -1, -1};
    colormap_magnitude_to_color(&p, &c, mag);
    return c;
}

void ExpectEntry(const t_jrgba &c, t_colormap_table table, int index)
{
    EXPECT_EQ(c.red, table[index][0]) << "entry " << index;
    EXPECT_EQ(c.green, table[index][1]) << "entry " << index;
    EXPECT_EQ(c.blue, table[index][2]) << "entry " << index;
    EXPECT_EQ(c.alpha, 1.0);
}

void ExpectColor(const t_jrgba &c, double r, double g, double b, double a)
{
    EXPECT_FLOAT_EQ(c.red, r);
    EXPECT_FLOAT_EQ(c.green, g);
    EXPECT_FLOAT_EQ(c.blue, b);
    EXPECT_FLOAT_EQ(c.alpha, a);
}

// The magnitude whose normalised position is `entry` / 255 on -100..0 dB.
float MagAtEntry(double entry) { return (float)(-100.0 + 100.0 * entry / 255.0); }

TEST(ColormapMapping, TableIndexRoundsHalfUp)
{
    const t_colormap_params p = Params(COLORMAP_VIRIDIS);
    ExpectEntry(Map(p, -100.0f), viridisColormap, 0);
    ExpectEntry(Map(p, -140.0f), viridisColormap, 0);
    ExpectEntry(Map(p, -50.0f), viridisColormap, 128); // 127.5 + 0.5
    ExpectEntry(Map(p, 0.0f), viridisColormap, 255);
    ExpectEntry(Map(p, 12.0f), viridisColormap, 255);
    ExpectEntry(Map(p, MagAtEntry(0.4)), viridisColormap, 0);
    ExpectEntry(Map(p, MagAtEntry(0.6)), viridisColormap, 1);
    ExpectEntry(Map(p, MagAtEntry(254.4)), viridisColormap, 254);
    ExpectEntry(Map(p, MagAtEntry(254.6)), viridisColormap, 255);
}

TEST(ColormapMapping, EveryTableAndItsInversion)
{
    for (long s = 0; s < COLORMAP_TABLE_COUNT; s++) {
        SCOPED_TRACE("scheme " + std::to_string(s));
        const t_colormap_params p = Params(s);
        const t_colormap_params inv = Params(s + COLORMAP_INVERTED);
        ExpectEntry(Map(p, -100.0f), colormapLUT[s], 0);
        ExpectEntry(Map(p, 0.0f), colormapLUT[s], 255);
        ExpectEntry(Map(inv, -100.0f), colormapLUT[s], 255);
        ExpectEntry(Map(inv, 0.0f), colormapLUT[s], 0);
        ExpectEntry(Map(inv, MagAtEntry(10)), colormapLUT[s], 245);
    }
}

TEST(ColormapMapping, NanAndInfinitiesGoToTheEnds)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const t_colormap_params p = Params(COLORMAP_MAGMA);
    const t_colormap_params inv = Params(COLORMAP_MAGMA + COLORMAP_INVERTED);
    ExpectEntry(Map(p, nan), magmaColormap, 0);
    ExpectEntry(Map(p, -inf), magmaColormap, 0);
    ExpectEntry(Map(p, inf), magmaColormap, 255);
    ExpectEntry(Map(inv, nan), magmaColormap, 255);
    ExpectEntry(Map(inv, -inf), magmaColormap, 255);

    ExpectColor(Map(Params(COLORMAP_GREYSCALE), nan), 0, 0, 0, 1);
    ExpectColor(Map(Params(COLORMAP_GREYSCALE_INVERTED), -inf), 1, 1, 1, 1);
}

TEST(ColormapMapping, ViridisInvertedAtTopIsDarkViolet)
{
    ExpectEntry(Map(Params(COLORMAP_VIRIDIS + COLORMAP_INVERTED), 0.0f), viridisColormap, 0);
}

TEST(ColormapMapping, GreyRampsAreContinuous)
{
    ExpectColor(Map(Params(COLORMAP_GREYSCALE), -70.0f), 0.3, 0.3, 0.3, 1.0);
    ExpectColor(Map(Params(COLORMAP_GREYSCALE_INVERTED), -70.0f), 0.7, 0.7, 0.7, 1.0);
    // No stepping: values inside one table entry still differ.
    EXPECT_NE(Map(Params(COLORMAP_GREYSCALE), -70.0f).red, Map(Params(COLORMAP_GREYSCALE), -69.9f).red);
}

const t_jrgba kStops[COLORMAP_CUSTOM_STOPS] = {
    {0.0, 0.1, 0.2, 0.0},
    {0.4, 0.5, 0.8, 0.5},
    {0.9, 0.2, 0.3, 1.0},
    {0.25, 0.75, 0.125, 0.6},
    {1.0, 0.9, 0.05, 0.3},
};

void ExpectStop(const t_jrgba &c, const t_jrgba &stop)
{
    ExpectColor(c, (float)stop.red, (float)stop.green, (float)stop.blue, (float)stop.alpha);
}

TEST(ColormapMapping, CustomGradientInterpolatesAllFourChannels)
{
    const t_colormap_params p = Params(COLORMAP_CUSTOM, kStops);
    ExpectStop(Map(p, -100.0f), kStops[0]);
    ExpectColor(Map(p, -87.5f), (0.0 + 0.4) / 2, (0.1 + 0.5) / 2, (0.2 + 0.8) / 2, (0.0 + 0.5) / 2);
    ExpectStop(Map(p, -75.0f), kStops[1]);
    ExpectStop(Map(p, -50.0f), kStops[2]);
    ExpectStop(Map(p, -25.0f), kStops[3]);
    ExpectStop(Map(p, 0.0f), kStops[4]);
    ExpectStop(Map(p, 30.0f), kStops[4]);
}

TEST(ColormapMapping, CustomInvertedRunsFromTheLastStop)
{
    const t_colormap_params p = Params(COLORMAP_CUSTOM_INVERTED, kStops);
    ExpectStop(Map(p, -100.0f), kStops[4]);
    ExpectStop(Map(p, std::numeric_limits<float>::quiet_NaN()), kStops[4]);
    ExpectStop(Map(p, -75.0f), kStops[3]);
    ExpectStop(Map(p, 0.0f), kStops[0]);
}

TEST(ColormapMapping, NullCustomUsesTheDefaultStops)
{
    const t_colormap_params p = Params(COLORMAP_CUSTOM);
    EXPECT_EQ(p.custom, colormap_default_custom);
    ExpectColor(Map(p, -100.0f), 0, 0, 0, 1);
    ExpectColor(Map(p, -75.0f), 0.361, 0.039, 0.706, 1);
    ExpectColor(Map(p, 0.0f), 1, 1, 1, 1);
}

TEST(ColormapMapping, EqualEndsSplitAtTheValue)
{
    const t_colormap_params p = Params(COLORMAP_PLASMA, nullptr, -50, -50);
    ExpectEntry(Map(p, -60.0f), plasmaColormap, 0);
    ExpectEntry(Map(p, -50.0f), plasmaColormap, 0);
    ExpectEntry(Map(p, -49.9f), plasmaColormap, 255);
    ExpectColor(Map(Params(COLORMAP_CUSTOM, kStops, -50, -50), -50.0f), 0.0, 0.1, 0.2, 0.0);
}

TEST(ColormapMapping, UnknownSchemesAreOpaqueWhite)
{
    for (long s : {-1L, 20L, 21L, 1000L})
        ExpectColor(Map(Params(s), -50.0f), 1, 1, 1, 1);
}

TEST(ColormapMapping, SchemeEnumerationHasOneItemPerScheme)
{
    // Items are words or quoted phrases; count them the way the host splits them.
    const char *text = COLORMAP_SCHEME_ENUM;
    int items = 0;
    bool quoted = false, in_item = false;
    for (const char *c = text; *c; c++) {
        if (*c == '"')
            quoted = !quoted;
        if (*c == ' ' && !quoted) {
            in_item = false;
        } else if (!in_item) {
            in_item = true;
            items++;
        }
    }
    EXPECT_EQ(items, COLORMAP_SCHEME_COUNT);
    EXPECT_NE(std::string(text).find("\"Greyscale - Inverted\" \"Custom - Inverted\""), std::string::npos);
}

} // namespace
