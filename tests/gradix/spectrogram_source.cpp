// The "spectrogram~" class of the colour-bar tests: the stand-in, registered
// through the SDK calls like any plug-in class, or the real plug-in.
#include "spectrogram_source.h"

#include "maxhost.h"

#include "ext_obex.h"
#include "jgraphics.h"

namespace {

struct t_standin {
    t_jbox box;
    void *outlet;
    double mag_min;
    double mag_max;
    long color_scheme;
    t_jrgba custom_color1, custom_color2, custom_color3, custom_color4, custom_color5;
    long textsize;
    long short_stop; // custom colour (1..5) that answers three values; 0 none
};

t_class *standin_class = nullptr;

void *standin_new(t_symbol *, long argc, t_atom *argv)
{
    t_dictionary *d = object_dictionaryarg(argc, argv);
    if (!d)
        return nullptr;
    auto *x = (t_standin *)object_alloc(standin_class);
    jbox_new(&x->box, JBOX_DRAWFIRSTIN | JBOX_GROWBOTH, argc, argv);
    x->box.b_firstin = (t_object *)x;
    x->outlet = outlet_new(x, nullptr);
    attr_dictionary_process(x, d);
    jbox_ready(&x->box);
    return x;
}

void standin_free(t_standin *x) { jbox_free(&x->box); }

void standin_paint(t_standin *, t_object *) {}

t_max_err standin_notify(t_standin *x, t_symbol *s, t_symbol *msg, void *sender, void *data)
{
    return jbox_notify(&x->box, s, msg, sender, data);
}

// Getter of the five custom colours, so that one of them can answer short.
t_max_err standin_custom_get(t_standin *x, t_object *attr, long *ac, t_atom **av)
{
    t_symbol *name = (t_symbol *)object_method(attr, gensym("getname"));
    int stop = name->s_name[12] - '0';
    const t_jrgba *c = &x->custom_color1 + (stop - 1);
    if (!*ac || !*av) {
        *av = (t_atom *)sysmem_newptrclear(4 * sizeof(t_atom));
        *ac = 4;
    }
    long n = stop == x->short_stop ? 3 : 4;
    if (n > *ac)
        n = *ac;
    const double v[4] = {c->red, c->green, c->blue, c->alpha};
    for (long i = 0; i < n; i++)
        atom_setfloat(*av + i, v[i]);
    *ac = n;
    return MAX_ERR_NONE;
}

[[maybe_unused]] void standin_register() // used when the tests run without the real plug-in
{
    t_class *c = class_new("spectrogram~", (method)standin_new, (method)standin_free, sizeof(t_standin), nullptr,
                           A_GIMME, 0);
    c->c_flags |= CLASS_FLAG_NEWDICTIONARY;
    jbox_initclass(c, JBOX_FIXWIDTH);
    class_addmethod(c, (method)standin_paint, "paint", A_CANT, 0);
    class_addmethod(c, (method)standin_notify, "notify", A_CANT, 0);
    CLASS_ATTR_DEFAULT(c, "patching_rect", 0, "0. 0. 300. 100.");
    CLASS_ATTR_DOUBLE(c, "mag_min", 0, t_standin, mag_min);
    CLASS_ATTR_DEFAULT(c, "mag_min", 0, "-100.");
    CLASS_ATTR_DOUBLE(c, "mag_max", 0, t_standin, mag_max);
    CLASS_ATTR_DEFAULT(c, "mag_max", 0, "0.");
    CLASS_ATTR_LONG(c, "color_scheme", 0, t_standin, color_scheme);
    CLASS_ATTR_DEFAULT(c, "color_scheme", 0, "0");
    CLASS_ATTR_RGBA(c, "custom_color1", 0, t_standin, custom_color1);
    CLASS_ATTR_RGBA(c, "custom_color2", 0, t_standin, custom_color2);
    CLASS_ATTR_RGBA(c, "custom_color3", 0, t_standin, custom_color3);
    CLASS_ATTR_RGBA(c, "custom_color4", 0, t_standin, custom_color4);
    CLASS_ATTR_RGBA(c, "custom_color5", 0, t_standin, custom_color5);
    const char *stops[] = {"custom_color1", "custom_color2", "custom_color3", "custom_color4", "custom_color5"};
    const char *defaults[] = {"0. 0. 0. 1.", "0.361 0.039 0.706 1.", "0.851 0.118 0.298 1.", "1. 0.486 0. 1.",
                              "1. 1. 1. 1."};
    for (int i = 0; i < 5; i++) {
        CLASS_ATTR_ACCESSORS(c, stops[i], standin_custom_get, jgraphics_attr_setrgba);
        CLASS_ATTR_DEFAULTNAME(c, stops[i], 0, defaults[i]);
    }
    CLASS_ATTR_LONG(c, "textsize", 0, t_standin, textsize);
    CLASS_ATTR_DEFAULT(c, "textsize", 0, "12");
    class_register(CLASS_BOX, c);
    standin_class = c;
}

} // namespace

bool spectrogram_is_standin()
{
#if GRADIX_TESTS_REAL_SPECTROGRAM
    return false;
#else
    return true;
#endif
}

bool provide_spectrogram_class(std::string *err)
{
#if GRADIX_TESTS_REAL_SPECTROGRAM
    return maxhost::load_external("spectrogram~", err);
#else
    (void)err;
    if (!standin_class)
        standin_register();
    return true;
#endif
}

void standin_shorten_custom_color(t_object *spectrogram, int stop)
{
    if (spectrogram_is_standin())
        ((t_standin *)spectrogram)->short_stop = stop;
}
