// Text: "Arial" is drawn and measured with Liberation Sans, the same on
// every machine; the current point is the left end of the baseline; text
// that is not valid UTF-8 neither crashes nor disables the context.
#include "graphics_test_util.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

// Leaks inside libraries, reported by LeakSanitizer: fontconfig loses a
// pattern while parsing the system's configuration (once per process), and
// cairo's toy font API, used here for the reference pictures, loses the
// patterns of the faces it resolves.  The default unwinder cannot see past
// fontconfig's frames, so the suppression names the library.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace {

// Liberation Sans metrics in font units (2048 per em): digit advance, ascender, descender.
constexpr double kUnitsPerEm = 2048, kDigitAdvance = 1139, kAscent = 1854, kDescent = 434;

std::string fontconfig_family_for(const char *name)
{
    FcPattern *want = FcNameParse(reinterpret_cast<const FcChar8 *>(name));
    FcConfigSubstitute(nullptr, want, FcMatchPattern);
    FcDefaultSubstitute(want);
    FcResult result;
    FcPattern *found = FcFontMatch(nullptr, want, &result);
    std::string family;
    FcChar8 *s = nullptr;
    if (found && FcPatternGetString(found, FC_FAMILY, 0, &s) == FcResultMatch)
        family = reinterpret_cast<const char *>(s);
    if (found)
        FcPatternDestroy(found);
    FcPatternDestroy(want);
    return family;
}

void measure(const char *family, double size, const char *text, double *w, double *h,
             t_jgraphics_font_weight weight = JGRAPHICS_FONT_WEIGHT_NORMAL)
{
    SurfacePtr s = make_surface(4, 4);
    GraphicsPtr g(jgraphics_create(s.get()));
    jgraphics_select_font_face(g.get(), family, JGRAPHICS_FONT_SLANT_NORMAL, weight);
    jgraphics_set_font_size(g.get(), size);
    jgraphics_text_measure(g.get(), text, w, h);
}

// Black text on white, drawn by the host.
std::vector<uint32_t> host_picture(const char *family, const char *text, int w, int h)
{
    SurfacePtr s = make_surface(w, h);
    GraphicsPtr g(jgraphics_create(s.get()));
    jgraphics_set_source_rgb(g.get(), 1, 1, 1);
    jgraphics_rectangle(g.get(), 0, 0, w, h);
    jgraphics_fill(g.get());
    jgraphics_set_source_rgb(g.get(), 0, 0, 0);
    jgraphics_select_font_face(g.get(), family, JGRAPHICS_FONT_SLANT_NORMAL, JGRAPHICS_FONT_WEIGHT_NORMAL);
    jgraphics_set_font_size(g.get(), 12);
    jgraphics_move_to(g.get(), 3, 15);
    jgraphics_show_text(g.get(), text);
    std::vector<uint32_t> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgba8 p = pixel(s.get(), x, y);
            out.push_back(uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | uint32_t(p.b));
        }
    return out;
}

// The same picture drawn straight with cairo and the named installed face.
std::vector<uint32_t> cairo_picture(const char *face, const char *text, int w, int h)
{
    cairo_surface_t *cs = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t *cr = cairo_create(cs);
    cairo_font_options_t *o = cairo_font_options_create();
    cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, o);
    cairo_font_options_destroy(o);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_select_font_face(cr, face, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    cairo_move_to(cr, 3, 15);
    cairo_show_text(cr, text);
    cairo_surface_flush(cs);
    std::vector<uint32_t> out;
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<const uint32_t *>(cairo_image_surface_get_data(cs) +
                                                        y * cairo_image_surface_get_stride(cs));
        for (int x = 0; x < w; ++x)
            out.push_back(line[x] & 0xffffff);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(cs);
    return out;
}

} // namespace

TEST(Text, TheMachineOffersLiberationSansForArial)
{
    EXPECT_EQ(fontconfig_family_for("Liberation Sans"), "Liberation Sans");
    EXPECT_EQ(fontconfig_family_for("Arial"), "Liberation Sans");
}

TEST(Text, ArialMeasuresWithLiberationSansMetrics)
{
    double w = 0, h = 0;
    measure("Arial", 12, "1000", &w, &h);
    EXPECT_NEAR(w, 4 * 12 * kDigitAdvance / kUnitsPerEm, 1e-9); // 26.695
    EXPECT_NEAR(h, 12 * (kAscent + kDescent) / kUnitsPerEm, 1e-9); // 13.406
    double w2 = 0, h2 = 0;
    measure("Arial", 12, "1000", &w2, &h2);
    EXPECT_EQ(w, w2);
    measure("Arial", 24, "1000", &w2, &h2);
    EXPECT_NEAR(w2, 2 * w, 1e-9); // unhinted: advances scale exactly
    EXPECT_NEAR(h2, 2 * h, 1e-9);
    measure("Arial", 12, "", &w2, &h2);
    EXPECT_EQ(w2, 0);
    EXPECT_NEAR(h2, h, 1e-12); // an empty string still has a line's height
}

TEST(Text, ArialIsDrawnWithLiberationSans)
{
    const char *text = "Hg 1000 kHz";
    std::vector<uint32_t> ours = host_picture("Arial", text, 90, 20);
    EXPECT_EQ(ours, cairo_picture("Liberation Sans", text, 90, 20));
    EXPECT_NE(ours, cairo_picture("DejaVu Sans", text, 90, 20));
    EXPECT_NE(ours, host_picture("Arial", "Hg 1000 kHy", 90, 20));
}

TEST(Text, UnknownFamiliesAndBoldStillUseLiberation)
{
    double w = 0, h = 0, wu = 0, hu = 0, wb = 0, hb = 0;
    measure("Arial", 12, "Wide text", &w, &h);
    measure("No Such Family 123", 12, "Wide text", &wu, &hu);
    measure(nullptr, 12, "Wide text", &wb, &hb);
    EXPECT_EQ(wu, w);
    EXPECT_EQ(wb, w);
    measure("Arial", 12, "Wide text", &wb, &hb, JGRAPHICS_FONT_WEIGHT_BOLD);
    EXPECT_GT(wb, w); // Liberation Sans Bold is wider
    EXPECT_NEAR(hb, h, 1e-9);
}

TEST(Text, CurrentPointIsTheLeftEndOfTheBaseline)
{
    SurfacePtr s = make_surface(40, 30);
    GraphicsPtr g(jgraphics_create(s.get()));
    jgraphics_set_source_rgb(g.get(), 0, 0, 0);
    jgraphics_select_font_face(g.get(), "Arial", JGRAPHICS_FONT_SLANT_NORMAL, JGRAPHICS_FONT_WEIGHT_NORMAL);
    jgraphics_set_font_size(g.get(), 12);
    jgraphics_move_to(g.get(), 10, 20);
    jgraphics_show_text(g.get(), "H"); // cap height 8.3 px, no descender
    int top = 30, bottom = -1, left = 40;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            if (pixel(s.get(), x, y).a > 0) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
            }
    EXPECT_EQ(bottom, 19);
    EXPECT_EQ(top, 11);
    EXPECT_EQ(left, 10);
}

TEST(Text, InvalidUtf8DoesNotDisableTheContext)
{
    SurfacePtr s = make_surface(30, 20);
    GraphicsPtr g(jgraphics_create(s.get()));
    jgraphics_set_source_rgb(g.get(), 0, 0, 0);
    jgraphics_move_to(g.get(), 2, 15);
    jgraphics_show_text(g.get(), "a\xff\xc3(");
    jgraphics_show_text(g.get(), nullptr);
    double w = -1, h = -1;
    jgraphics_text_measure(g.get(), "\xed\xa0\x80", &w, &h); // an encoded surrogate
    EXPECT_GT(w, 0);
    jgraphics_text_measure(nullptr, "x", &w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    jgraphics_set_source_rgb(g.get(), 0, 0, 1);
    jgraphics_rectangle(g.get(), 25, 0, 5, 5);
    jgraphics_fill(g.get());
    EXPECT_EQ(pixel(s.get(), 27, 2), kBlue);
}
