// testui: a small UI external that exercises the host interface end to end.
//
// It has one attribute of every kind the plug-ins use (long, float64, char,
// symbol, rgba, a long with custom accessors and a clip, an enumeration),
// float and general inlets, float, list and message outlets, a notify method
// that records what it hears, mouse callbacks, a paint method with a cached
// layer, and a few messages that make the host call back into it.  It is
// built both against the host's headers and, by sdk-check, against the real
// SDK's, and the same tests run on both builds.
#include "ext.h"
#include "ext_obex.h"
#include "jgraphics.h"

#include <stdio.h>
#include <string.h>

typedef struct _testui {
    t_jbox box;
    void *out_float;    // outlet 0
    void *out_list;     // outlet 1
    void *out_anything; // outlet 2
    long count;         // attribute "count" (clip 0..100)
    double gain;        // attribute "gain"
    char flag;          // attribute "flag"
    t_symbol *label;    // attribute "label"
    t_jrgba color;      // attribute "color"
    long mode;          // attribute "mode" (enumindex, custom setter clamps 0..2)
    long scale_slot;    // storage named by "scale", whose accessors use `scale`
    long scale;
    long notify_count;
    t_symbol *last_notify;
    t_symbol *last_attr;
    long paint_count;
    long layer_draws;
    double last_ft1, last_ft2;
    long last_mouse_kind;
    double mouse_x, mouse_y;
    long mouse_mods;
    long reentry_depth;
} t_testui;

static t_class *s_testui_class;

static void *testui_new(t_symbol *s, long argc, t_atom *argv);
static void testui_free(t_testui *x);

static void testui_out_state(t_testui *x)
{
    t_atom av[3];
    atom_setlong(av, x->count);
    atom_setfloat(av + 1, x->gain);
    atom_setsym(av + 2, x->label ? x->label : gensym(""));
    outlet_list(x->out_list, NULL, 3, av);
}

static void testui_bang(t_testui *x) { testui_out_state(x); }

static void testui_float(t_testui *x, double f) { outlet_float(x->out_float, f * 2.0); }

static void testui_int(t_testui *x, long n) { outlet_float(x->out_float, (double)n + 0.5); }

static void testui_ft1(t_testui *x, double f) { x->last_ft1 = f; }

static void testui_ft2(t_testui *x, double f) { x->last_ft2 = f; }

static void testui_list(t_testui *x, t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    outlet_anything(x->out_anything, gensym("gotlist"), (short)argc, argv);
}

// Typed arguments: an integer, a float and a symbol in one call.
static void testui_mix(t_testui *x, long a, double b, t_symbol *c)
{
    t_atom av[3];
    atom_setlong(av, a);
    atom_setfloat(av + 1, b);
    atom_setsym(av + 2, c);
    outlet_anything(x->out_anything, gensym("mixed"), 3, av);
}

static void testui_anything(t_testui *x, t_symbol *s, long argc, t_atom *argv)
{
    t_atom av[8];
    long n = argc < 7 ? argc : 7;
    atom_setsym(av, s);
    for (long i = 0; i < n; i++)
        av[i + 1] = argv[i];
    outlet_anything(x->out_anything, gensym("anything"), (short)(n + 1), av);
}

// Sends itself a message through its own outlet, which a test patches back
// into inlet 0, `depth` times.
static void testui_reenter(t_testui *x, long depth)
{
    x->reentry_depth++;
    if (depth > 0) {
        t_atom a;
        atom_setlong(&a, depth - 1);
        outlet_anything(x->out_anything, gensym("reenter"), 1, &a);
    }
}

static void testui_deferred(t_testui *x, t_symbol *s, short argc, t_atom *argv)
{
    (void)s;
    outlet_anything(x->out_anything, gensym("deferred"), argc, argv);
}

static void testui_defer(t_testui *x, t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    defer_low(x, (method)testui_deferred, gensym("later"), (short)argc, argv);
}

// The SDK's error(): glibc exports a function of that name too, and a
// plug-in must reach the host's.
static void testui_err(t_testui *x)
{
    (void)x;
    error("testui error %d", 42);
}

static void testui_touch(t_testui *x)
{
    x->count = 42; // behind the setter's back
    object_attr_touch((t_object *)x, gensym("count"));
}

static t_max_err testui_mode_set(t_testui *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc && argv) {
        long v = (long)atom_getlong(argv);
        x->mode = v < 0 ? 0 : (v > 2 ? 2 : v);
    }
    return 0;
}

static t_max_err testui_scale_get(t_testui *x, void *attr, long *argc, t_atom **argv)
{
    (void)attr;
    char alloc;
    if (atom_alloc(argc, argv, &alloc))
        return MAX_ERR_GENERIC;
    atom_setlong(*argv, x->scale);
    return 0;
}

static t_max_err testui_scale_set(t_testui *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc && argv)
        x->scale = (long)atom_getlong(argv) * 10;
    return 0;
}

static t_max_err testui_notify(t_testui *x, t_symbol *s, t_symbol *msg, void *sender, void *data)
{
    x->notify_count++;
    x->last_notify = msg;
    if (msg == gensym("attr_modified") && sender == x)
        x->last_attr = (t_symbol *)object_method((t_object *)data, gensym("getname"));
    return jbox_notify((t_jbox *)x, s, msg, sender, data);
}

static void testui_paint(t_testui *x, t_object *view)
{
    t_rect rect;
    t_jgraphics *g = (t_jgraphics *)patcherview_get_jgraphics(view);
    jbox_get_rect_for_view((t_object *)x, view, &rect);
    x->paint_count++;
    t_jgraphics *lg = jbox_start_layer((t_object *)x, view, gensym("bg"), rect.width, rect.height);
    if (lg) {
        x->layer_draws++;
        jgraphics_set_source_jrgba(lg, &x->color);
        jgraphics_rectangle(lg, 0, 0, rect.width, rect.height);
        jgraphics_fill(lg);
        jbox_end_layer((t_object *)x, view, gensym("bg"));
    }
    jbox_paint_layer((t_object *)x, view, gensym("bg"), 0, 0);
    (void)g;
}

static void testui_record_mouse(t_testui *x, long kind, t_pt pt, long modifiers)
{
    x->last_mouse_kind = kind;
    x->mouse_x = pt.x;
    x->mouse_y = pt.y;
    x->mouse_mods = modifiers;
    t_atom av[4];
    atom_setlong(av, kind);
    atom_setfloat(av + 1, pt.x);
    atom_setfloat(av + 2, pt.y);
    atom_setlong(av + 3, modifiers);
    outlet_anything(x->out_anything, gensym("mouse"), 4, av);
}

static void testui_mousedown(t_testui *x, t_object *view, t_pt pt, long modifiers)
{
    jmouse_setcursor(view, (t_object *)x, JMOUSE_CURSOR_CROSSHAIR);
    testui_record_mouse(x, 1, pt, modifiers);
}

static void testui_mousedrag(t_testui *x, t_object *view, t_pt pt, long modifiers)
{
    (void)view;
    testui_record_mouse(x, 2, pt, modifiers);
}

static void testui_mouseup(t_testui *x, t_object *view, t_pt pt, long modifiers)
{
    (void)view;
    testui_record_mouse(x, 3, pt, modifiers);
}

static void testui_assist(t_testui *x, void *b, long m, long a, char *s)
{
    (void)x;
    (void)b;
    snprintf(s, ASSIST_MAX_STRING_LEN, "%s %ld", m == ASSIST_INLET ? "inlet" : "outlet", a);
}

// Answers a query from a test: the record's fields by name.
static void *testui_peek(t_testui *x, t_symbol *what)
{
    if (what == gensym("notify_count"))
        return (void *)(t_ptr_int)x->notify_count;
    if (what == gensym("last_attr"))
        return x->last_attr;
    if (what == gensym("paint_count"))
        return (void *)(t_ptr_int)x->paint_count;
    if (what == gensym("layer_draws"))
        return (void *)(t_ptr_int)x->layer_draws;
    if (what == gensym("ft1"))
        return (void *)(t_ptr_int)(x->last_ft1 * 1000);
    if (what == gensym("ft2"))
        return (void *)(t_ptr_int)(x->last_ft2 * 1000);
    if (what == gensym("reentry"))
        return (void *)(t_ptr_int)x->reentry_depth;
    if (what == gensym("firstin"))
        return (void *)(t_ptr_int)(x->box.b_firstin == (t_object *)x);
    return NULL;
}

C74_EXPORT void ext_main(void *r)
{
    (void)r;
    t_class *c = class_new("testui", (method)testui_new, (method)testui_free, sizeof(t_testui), (method)NULL,
                           A_GIMME, 0);
    c->c_flags |= CLASS_FLAG_NEWDICTIONARY;
    jbox_initclass(c, JBOX_FIXWIDTH);

    class_addmethod(c, (method)stdinletinfo, "inletinfo", A_CANT, 0);
    class_addmethod(c, (method)testui_assist, "assist", A_CANT, 0);
    class_addmethod(c, (method)testui_paint, "paint", A_CANT, 0);
    class_addmethod(c, (method)testui_mousedown, "mousedown", A_CANT, 0);
    class_addmethod(c, (method)testui_mousedrag, "mousedrag", A_CANT, 0);
    class_addmethod(c, (method)testui_mouseup, "mouseup", A_CANT, 0);
    class_addmethod(c, (method)testui_notify, "notify", A_CANT, 0);
    class_addmethod(c, (method)testui_peek, "peek", A_CANT, 0);
    class_addmethod(c, (method)testui_bang, "bang", 0);
    class_addmethod(c, (method)testui_float, "float", A_FLOAT, 0);
    class_addmethod(c, (method)testui_int, "int", A_LONG, 0);
    class_addmethod(c, (method)testui_ft1, "ft1", A_FLOAT, 0);
    class_addmethod(c, (method)testui_ft2, "ft2", A_FLOAT, 0);
    class_addmethod(c, (method)testui_list, "list", A_GIMME, 0);
    class_addmethod(c, (method)testui_mix, "mix", A_LONG, A_FLOAT, A_SYM, 0);
    class_addmethod(c, (method)testui_reenter, "reenter", A_LONG, 0);
    class_addmethod(c, (method)testui_defer, "defer", A_GIMME, 0);
    class_addmethod(c, (method)testui_touch, "touch", 0);
    class_addmethod(c, (method)testui_err, "err", 0);
    class_addmethod(c, (method)testui_anything, "anything", A_GIMME, 0);

    CLASS_ATTR_DEFAULT(c, "patching_rect", 0, "0. 0. 120. 60.");

    CLASS_STICKY_CATEGORY(c, 0, "Values");
    CLASS_ATTR_LONG(c, "count", 0, t_testui, count);
    CLASS_ATTR_STYLE_LABEL(c, "count", 0, "text", "Count");
    CLASS_ATTR_FILTER_CLIP(c, "count", 0, 100);
    CLASS_ATTR_DEFAULT_SAVE(c, "count", 0, "7");

    CLASS_ATTR_DOUBLE(c, "gain", 0, t_testui, gain);
    CLASS_ATTR_LABEL(c, "gain", 0, "Gain (dB)");
    CLASS_ATTR_DEFAULT_SAVE(c, "gain", 0, "-6.5");

    CLASS_ATTR_CHAR(c, "flag", 0, t_testui, flag);
    CLASS_ATTR_STYLE_LABEL(c, "flag", 0, "onoff", "Flag");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "flag", 0, "1");

    CLASS_ATTR_SYM(c, "label", 0, t_testui, label);
    CLASS_ATTR_LABEL(c, "label", 0, "Label");
    CLASS_ATTR_SAVE(c, "label", 0);
    CLASS_STICKY_CATEGORY_CLEAR(c);

    CLASS_STICKY_CATEGORY(c, 0, "Looks");
    CLASS_ATTR_RGBA(c, "color", 0, t_testui, color);
    CLASS_ATTR_STYLE_LABEL(c, "color", 0, "rgba", "Colour");
    CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, "color", 0, "0. 0. 1. 1.");

    CLASS_ATTR_LONG(c, "mode", 0, t_testui, mode);
    CLASS_ATTR_ENUMINDEX(c, "mode", 0, "Select Move \"Draw Shapes\"");
    CLASS_ATTR_LABEL(c, "mode", 0, "Mode");
    CLASS_ATTR_ACCESSORS(c, "mode", NULL, testui_mode_set);
    CLASS_ATTR_DEFAULT(c, "mode", 0, "1");

    CLASS_ATTR_LONG(c, "scale", 0, t_testui, scale_slot);
    CLASS_ATTR_ACCESSORS(c, "scale", testui_scale_get, testui_scale_set);
    CLASS_ATTR_CATEGORY(c, "scale", 0, "Other");
    CLASS_STICKY_CATEGORY_CLEAR(c);

    class_register(CLASS_BOX, c);
    s_testui_class = c;
}

static void *testui_new(t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    t_dictionary *d = object_dictionaryarg(argc, argv);
    if (!d)
        return NULL;
    t_testui *x = (t_testui *)object_alloc(s_testui_class);
    if (!x)
        return NULL;
    jbox_new(&x->box, JBOX_DRAWFIRSTIN | JBOX_DRAWINLAST | JBOX_GROWBOTH, argc, argv);
    x->box.b_firstin = (t_object *)x;
    inlet_new(x, NULL);  // inlet 3: general
    floatin(x, 2);       // inlet 2
    floatin(x, 1);       // inlet 1
    x->out_anything = outlet_new(x, NULL);
    x->out_list = listout(x);
    x->out_float = floatout(x);
    x->label = gensym("");
    attr_dictionary_process(x, d);
    jbox_ready(&x->box);
    return x;
}

static void testui_free(t_testui *x) { jbox_free(&x->box); }
