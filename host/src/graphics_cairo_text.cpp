// Text on the cairo backend's drawing contexts: font selection through
// fontconfig, drawing and measuring.  The SDK's plug-ins name Max's fonts
// ("Arial" above all); on Linux those resolve to their metric-compatible
// Liberation faces, chosen explicitly so that a machine with another Arial,
// or without fontconfig's alias rules, still draws and measures text the
// same way.  A family that fontconfig cannot find falls back to Liberation
// Sans instead of whatever the machine's default sans happens to be.
//
// Faces are resolved once per (family, slant, weight) and kept for the life
// of the process.  Rendering options are fixed per context (mh_text_init):
// greyscale antialiasing, no hinting, unhinted metrics.
#include "graphics_cairo.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

namespace {

std::string mh_lower(const std::string &s)
{
    std::string out(s);
    for (char &c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The Liberation family standing in for a Max font name, or the name itself.
std::string mh_metric_family(const std::string &family)
{
    static const std::map<std::string, std::string> aliases = {
        {"", "Liberation Sans"},
        {"arial", "Liberation Sans"},
        {"helvetica", "Liberation Sans"},
        {"helvetica neue", "Liberation Sans"},
        {"sans", "Liberation Sans"},
        {"sans-serif", "Liberation Sans"},
        {"times", "Liberation Serif"},
        {"times new roman", "Liberation Serif"},
        {"serif", "Liberation Serif"},
        {"courier", "Liberation Mono"},
        {"courier new", "Liberation Mono"},
        {"monospace", "Liberation Mono"},
    };
    auto it = aliases.find(mh_lower(family));
    return it == aliases.end() ? family : it->second;
}

// fontconfig's best match for a family, slant and weight; null if none.
// With `exact`, a match of another family counts as none.
FcPattern *mh_match(const std::string &family, bool italic, bool bold, bool exact)
{
    FcPattern *want = FcPatternCreate();
    if (!want)
        return nullptr;
    FcPatternAddString(want, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
    FcPatternAddInteger(want, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddInteger(want, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcConfigSubstitute(nullptr, want, FcMatchPattern);
    FcDefaultSubstitute(want);
    FcResult result = FcResultNoMatch;
    FcPattern *found = FcFontMatch(nullptr, want, &result);
    FcPatternDestroy(want);
    FcChar8 *found_family = nullptr;
    FcChar8 *file = nullptr;
    bool usable = found && FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch &&
                  FcPatternGetString(found, FC_FAMILY, 0, &found_family) == FcResultMatch;
    if (usable && exact)
        usable = mh_lower(reinterpret_cast<const char *>(found_family)) == mh_lower(family);
    if (!usable && found) {
        FcPatternDestroy(found);
        found = nullptr;
    }
    return found;
}

// A cairo face for a matched font file.  Only the file, its index and any
// synthetic emboldening or slant are kept from the match: the machine's
// hinting and antialiasing preferences are left out.
cairo_font_face_t *mh_face_for_match(FcPattern *match)
{
    FcPattern *p = FcPatternCreate();
    if (!p)
        return nullptr;
    FcChar8 *file = nullptr;
    int index = 0;
    FcBool embolden = FcFalse;
    FcMatrix *matrix = nullptr;
    FcPatternGetString(match, FC_FILE, 0, &file);
    FcPatternAddString(p, FC_FILE, file);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch)
        FcPatternAddInteger(p, FC_INDEX, index);
    if (FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden) == FcResultMatch)
        FcPatternAddBool(p, FC_EMBOLDEN, embolden);
    if (FcPatternGetMatrix(match, FC_MATRIX, 0, &matrix) == FcResultMatch)
        FcPatternAddMatrix(p, FC_MATRIX, matrix);
    FcPatternAddBool(p, FC_HINTING, FcFalse);
    cairo_font_face_t *face = cairo_ft_font_face_create_for_pattern(p);
    FcPatternDestroy(p);
    if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) {
        cairo_font_face_destroy(face);
        return nullptr;
    }
    return face;
}

cairo_font_face_t *mh_resolve_face(const std::string &family, bool italic, bool bold)
{
    std::string wanted = mh_metric_family(family);
    FcPattern *match = mh_match(wanted, italic, bold, true);
    if (!match)
        match = mh_match("Liberation Sans", italic, bold, true);
    if (!match)
        match = mh_match(wanted, italic, bold, false);
    cairo_font_face_t *face = match ? mh_face_for_match(match) : nullptr;
    if (match)
        FcPatternDestroy(match);
    if (!face)
        face = cairo_toy_font_face_create(wanted.c_str(), italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                                          bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    return face;
}

// The face for a family, slant and weight, borrowed from the process-wide cache.
cairo_font_face_t *mh_font_face(const char *family, bool italic, bool bold)
{
    using key_t = std::tuple<std::string, bool, bool>;
    static std::mutex mutex;
    static std::map<key_t, cairo_font_face_t *> cache;
    key_t key{mh_lower(family ? family : ""), italic, bold};
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    cairo_font_face_t *face = mh_resolve_face(family ? family : "", italic, bold);
    cache.emplace(key, face);
    return face;
}

// Length of the valid UTF-8 sequence at s (at most n bytes), or 0 if invalid.
size_t mh_utf8_sequence(const unsigned char *s, size_t n)
{
    unsigned c = s[0];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 0;
    if (len == 0 || len > n)
        return 0;
    uint32_t cp = len == 1 ? c : c & (0x7f >> len);
    for (size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xc0) != 0x80)
            return 0;
        cp = cp << 6 | (s[i] & 0x3f);
    }
    static const uint32_t min_cp[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < min_cp[len] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
        return 0;
    return len;
}

// The text as cairo may take it: invalid UTF-8 (which would put the context
// into an error state and end all its drawing) becomes U+FFFD.
const char *mh_clean_utf8(const char *text, std::string *scratch)
{
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    size_t n = std::char_traits<char>::length(text);
    size_t i = 0;
    while (i < n && mh_utf8_sequence(s + i, n - i))
        i += mh_utf8_sequence(s + i, n - i);
    if (i == n)
        return text;
    scratch->assign(text, i);
    while (i < n) {
        size_t len = mh_utf8_sequence(s + i, n - i);
        if (len) {
            scratch->append(text + i, len);
            i += len;
        } else {
            scratch->append("\xef\xbf\xbd");
            ++i;
        }
    }
    return scratch->c_str();
}

} // namespace

void mh_text_init(cairo_t *cr)
{
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    cairo_set_font_face(cr, mh_font_face("Arial", false, false));
    cairo_set_font_size(cr, 10.0);
}

void jgraphics_select_font_face(t_jgraphics *g, const char *family, t_jgraphics_font_slant slant,
                                t_jgraphics_font_weight weight)
{
    if (g)
        cairo_set_font_face(g->cr, mh_font_face(family, slant == JGRAPHICS_FONT_SLANT_ITALIC,
                                                weight == JGRAPHICS_FONT_WEIGHT_BOLD));
}

void jgraphics_set_font_size(t_jgraphics *g, double size)
{
    if (g && std::isfinite(size))
        cairo_set_font_size(g->cr, size < 0 ? 0 : size);
}

void jgraphics_show_text(t_jgraphics *g, const char *utf8)
{
    cairo_t *cr = mh_graphics_cairo(g);
    if (!cr || !utf8)
        return;
    std::string scratch;
    cairo_show_text(cr, mh_clean_utf8(utf8, &scratch));
}

// Width is the text's advance; height is the font's ascent plus descent (a
// line's height, whatever characters the text holds).
void jgraphics_text_measure(t_jgraphics *g, const char *utf8, double *width, double *height)
{
    double w = 0, h = 0;
    if (g) {
        cairo_font_extents_t fe;
        cairo_font_extents(g->cr, &fe);
        h = fe.ascent + fe.descent;
        if (utf8) {
            std::string scratch;
            cairo_text_extents_t te;
            cairo_text_extents(g->cr, mh_clean_utf8(utf8, &scratch), &te);
            w = te.x_advance;
        }
    }
    if (width)
        *width = w;
    if (height)
        *height = h;
}
