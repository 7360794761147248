// The rendering tests' fixture and readers (see render_host_util.h).
#include "test_png.h"
#include "render_host_util.h"

#include <png.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <ostream>

bool read_png(const std::string &path, PngImage *out)
{
    TestPng p;
    if (!test_png_read(path, &p))
        return false;
    out->width = p.width;
    out->height = p.height;
    out->has_phys = p.has_phys && p.unit == PNG_RESOLUTION_METER;
    out->ppm_x = p.ppm_x;
    out->ppm_y = p.ppm_y;
    out->rgba = p.rgba;
    return p.rgba8();
}

std::ostream &operator<<(std::ostream &os, const Rgb8 &c)
{
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

static int byte_of(double c)
{
    if (!(c > 0.0))
        return 0;
    return c >= 1.0 ? 255 : (int)(c * 255.0 + 0.5);
}

Rgb8 expected_color(t_specgram *x, float mag)
{
    t_colormap_params p;
    colormap_params_set(&p, x->mag_min, x->mag_max, x->color_scheme, &x->custom_color1);
    t_jrgba c;
    colormap_magnitude_to_color(&p, &c, mag);
    return Rgb8{byte_of(c.red), byte_of(c.green), byte_of(c.blue)};
}

float grid_max(t_specgram *x, long c_lo, long c_hi, long r_lo, long r_hi)
{
    float m = -INFINITY;
    const long bins = (long)x->mags.num_bins;
    for (long c = c_lo; c <= c_hi; c++)
        for (long r = r_lo; r <= r_hi; r++)
            m = std::fmax(m, x->mags.mags_db[c * bins + r]);
    return m;
}

void RenderHostTest::SetUp()
{
    std::string err;
    ASSERT_TRUE(maxhost::load_external("spectrogram~", &err)) << err;
    char tmpl[] = "/tmp/render_object_XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    folder = tmpl;
    patcher = maxhost::patcher_new(folder);
    maxhost::set_outlet_hook([this](t_object *, long, t_symbol *, long, const t_atom *) { outlet_messages++; });
    maxhost::pump();
    maxhost::console_clear();
}

void RenderHostTest::TearDown()
{
    maxhost::patcher_free(patcher);
    maxhost::set_outlet_hook(nullptr);
    maxhost::pump();
    std::string cmd = "rm -rf '" + folder + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

t_atom RenderHostTest::sym(const char *s)
{
    t_atom a;
    atom_setsym(&a, gensym(s));
    return a;
}

t_atom RenderHostTest::num(double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    return a;
}

t_atom RenderHostTest::lng(long n)
{
    t_atom a;
    atom_setlong(&a, n);
    return a;
}

t_object *RenderHostTest::make_buffer(const std::string &name, long frames, double sr)
{
    maxhost::BoxSpec spec;
    spec.maxclass = "newobj";
    spec.text = "buffer~ " + name + " 1000 1";
    t_object *box = maxhost::box_new(patcher, spec);
    t_atom a = num(sr);
    maxhost::send(box, 0, gensym("sr"), 1, &a);
    t_atom n = lng(frames);
    maxhost::send(box, 0, gensym("sizeinsamps"), 1, &n);
    maxhost::pump();
    return box;
}

void RenderHostTest::fill_buffer(const std::string &name, const std::function<float(long)> &fn)
{
    t_object *b = maxhost::find_buffer(name);
    ASSERT_TRUE(b);
    const long frames = (long)buffer_getframecount(b);
    float *p = buffer_locksamples(b);
    ASSERT_TRUE(p);
    for (long i = 0; i < frames; i++)
        p[i] = fn(i);
    buffer_setdirty(b);
    buffer_unlocksamples(b);
    maxhost::pump();
}

t_specgram *RenderHostTest::make_specgram(const std::string &buffer, double w, double h,
                                          std::vector<std::pair<std::string, maxhost::Atoms>> attrs)
{
    maxhost::BoxSpec spec;
    spec.maxclass = "spectrogram~";
    spec.rect = {0, 0, w, h};
    spec.attrs = {{"freq_text", {lng(0)}}, {"time_text", {lng(0)}},
                  {"selection_linecolor", {num(0), num(1), num(0), num(0)}}};
    if (!buffer.empty())
        spec.attrs.push_back({"buffer_name", {sym(buffer.c_str())}});
    for (auto &a : attrs)
        spec.attrs.push_back(a);
    t_object *box = maxhost::box_new(patcher, spec);
    EXPECT_FALSE(maxhost::box_is_placeholder(box));
    maxhost::pump();
    return (t_specgram *)box;
}

void RenderHostTest::send(t_specgram *x, long inlet, const char *sel, std::vector<t_atom> args)
{
    maxhost::send((t_object *)x, inlet, gensym(sel), (long)args.size(), args.data());
    maxhost::pump();
}

void RenderHostTest::set_attr(t_specgram *x, const char *name, std::vector<t_atom> value)
{
    EXPECT_TRUE(maxhost::attr_set((t_object *)x, name, value)) << name;
    maxhost::pump();
}

maxhost::Image RenderHostTest::paint(t_specgram *x)
{
    maxhost::Image img;
    EXPECT_TRUE(maxhost::paint_box((t_object *)x, &img));
    return img;
}

std::vector<maxhost::ConsoleLine> RenderHostTest::lines()
{
    std::vector<maxhost::ConsoleLine> out;
    for (const maxhost::ConsoleLine &l : maxhost::console_lines())
        if (l.classname == "spectrogram~")
            out.push_back(l);
    return out;
}
