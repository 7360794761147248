// The fixture of the colour-bar tests: a patcher with gradix and
// spectrogram~ boxes in it, attribute helpers, pictures and pixels, and a
// probe telling which of the bar's two layers wait to be drawn again.
#pragma once

#include "maxhost.h"
#include "spectrogram_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct Px {
    int r, g, b, a;
    bool operator==(const Px &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};
inline std::ostream &operator<<(std::ostream &os, const Px &p)
{
    return os << "(" << p.r << "," << p.g << "," << p.b << "," << p.a << ")";
}
inline Px px(const maxhost::Image &img, int x, int y)
{
    const uint8_t *p = img.rgba.data() + ((size_t)y * img.width + x) * 4;
    return Px{p[0], p[1], p[2], p[3]};
}
inline bool near(const Px &a, const Px &b, int tol = 1)
{
    return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol &&
           std::abs(a.a - b.a) <= tol;
}

inline t_atom fnum(double v)
{
    t_atom a;
    atom_setfloat(&a, v);
    return a;
}
inline t_atom lnum(long v)
{
    t_atom a;
    atom_setlong(&a, v);
    return a;
}
inline t_atom sym(const std::string &s)
{
    t_atom a;
    atom_setsym(&a, gensym(s.c_str()));
    return a;
}

class GradixTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string err;
        ASSERT_TRUE(provide_spectrogram_class(&err)) << err;
        ASSERT_TRUE(maxhost::load_external("gradix", &err)) << err;
        patcher = maxhost::patcher_new(folder);
        maxhost::console_clear();
    }
    void TearDown() override
    {
        maxhost::patcher_free(patcher);
        maxhost::pump();
    }

    t_object *box(const std::string &cls, std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {})
    {
        maxhost::BoxSpec spec;
        spec.maxclass = cls;
        spec.id = "obj-" + std::to_string(++boxes);
        spec.attrs = std::move(attrs);
        t_object *b = maxhost::box_new(patcher, spec);
        EXPECT_TRUE(b && !maxhost::box_is_placeholder(b)) << cls;
        return b;
    }
    t_object *bar(std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {}) { return box("gradix", attrs); }
    t_object *spectrogram(std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {})
    {
        return box("spectrogram~", attrs);
    }
    // A colour bar patched into a spectrogram~ (its outlet 0 to inlet 0).
    t_object *patched_bar(t_object *spec, std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {})
    {
        t_object *b = bar(attrs);
        EXPECT_TRUE(maxhost::connect(patcher, b, 0, spec, 0));
        return b;
    }

    // Sets an attribute the way the inspector does (setter, then listeners).
    void set(t_object *x, const char *name, maxhost::Atoms v)
    {
        ASSERT_EQ(object_attr_setvalueof(x, gensym(name), (long)v.size(), v.data()), MAX_ERR_NONE) << name;
    }
    void set_rgba(t_object *x, const char *name, double r, double g, double b, double a = 1)
    {
        set(x, name, {fnum(r), fnum(g), fnum(b), fnum(a)});
    }

    maxhost::Image paint(t_object *b)
    {
        maxhost::Image img;
        EXPECT_TRUE(maxhost::paint_box(b, &img));
        return img;
    }

    // Whether a layer of box b waits to be drawn again.  jbox_start_layer
    // hands out a context only for such a layer; the probe then puts the
    // layer back in that state.
    bool stale(t_object *b, const char *layer)
    {
        t_object *view = maxhost::patcher_view(patcher);
        t_rect r = maxhost::box_rect(b);
        t_symbol *name = gensym(layer);
        if (!jbox_start_layer(b, view, name, r.width, r.height))
            return false;
        jbox_end_layer(b, view, name);
        jbox_invalidate_layer(b, view, name);
        return true;
    }
    bool bar_stale(t_object *b) { return stale(b, "magnitudes_layer"); }
    bool text_stale(t_object *b) { return stale(b, "text_layer"); }

    std::string folder; // the patch's folder, set by a derived fixture before SetUp
    t_object *patcher = nullptr;
    int boxes = 0;
};
