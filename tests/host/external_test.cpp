// The test external, loaded by the host's loader and driven end to end:
// creation from a dictionary with defaults and saved attributes, attribute
// accessors, clips and properties, inlets, outlets and cords (re-entrant
// too), notifications, painting with a cached layer, mouse callbacks,
// cursors, help texts and deferred calls.
#include "maxhost.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct Sent {
    t_object *box;
    long outlet;
    std::string selector;
    maxhost::Atoms args;
};

class External : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char *dir = getenv("TESTUI_DIR"))
            maxhost::add_search_path(dir);
        std::string err;
        ASSERT_TRUE(maxhost::load_external("testui", &err)) << err;
        patcher = maxhost::patcher_new("");
        maxhost::set_outlet_hook([this](t_object *box, long outlet, t_symbol *s, long argc, const t_atom *argv) {
            sent.push_back({box, outlet, s->s_name, maxhost::Atoms(argv, argv + argc)});
        });
    }
    void TearDown() override
    {
        maxhost::patcher_free(patcher);
        maxhost::set_outlet_hook(nullptr);
        maxhost::pump();
    }
    t_object *make(std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {}, const std::string &id = "obj-1")
    {
        maxhost::BoxSpec spec;
        spec.maxclass = "testui";
        spec.id = id;
        spec.attrs = attrs;
        return maxhost::box_new(patcher, spec);
    }
    long peek(t_object *x, const char *what) { return (long)(t_ptr_int)object_method(x, gensym("peek"), gensym(what)); }
    maxhost::Atoms get(t_object *x, const char *name)
    {
        maxhost::Atoms v;
        EXPECT_TRUE(maxhost::attr_get(x, name, &v)) << name;
        return v;
    }
    t_object *patcher = nullptr;
    std::vector<Sent> sent;
};

t_atom num(double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    return a;
}
t_atom lng(long n)
{
    t_atom a;
    atom_setlong(&a, n);
    return a;
}
t_atom sym(const char *s)
{
    t_atom a;
    atom_setsym(&a, gensym(s));
    return a;
}

} // namespace

TEST_F(External, CreationAppliesClassDefaultsThenSavedValues)
{
    t_object *x = make({{"gain", {num(3.25)}}, {"label", {sym("saved")}}});
    ASSERT_TRUE(x);
    EXPECT_FALSE(maxhost::box_is_placeholder(x));
    EXPECT_EQ(maxhost::box_classname(x), "testui");
    EXPECT_EQ(atom_getlong(&get(x, "count")[0]), 7);          // default
    EXPECT_DOUBLE_EQ(atom_getfloat(&get(x, "gain")[0]), 3.25); // saved
    EXPECT_EQ(atom_getsym(&get(x, "label")[0]), gensym("saved"));
    EXPECT_EQ(atom_getlong(&get(x, "flag")[0]), 1);            // "defaultname" counts too
    auto color = get(x, "color");
    ASSERT_EQ(color.size(), 4u);
    EXPECT_DOUBLE_EQ(atom_getfloat(&color[2]), 1.0);
    EXPECT_EQ(peek(x, "firstin"), 1);
    t_rect r = maxhost::box_rect(x);
    EXPECT_DOUBLE_EQ(r.width, 120); // the class's patching_rect default
    EXPECT_DOUBLE_EQ(r.height, 60);
    EXPECT_EQ(maxhost::box_inlet_count(x), 4);
    EXPECT_EQ(maxhost::box_outlet_count(x), 3);
}

TEST_F(External, UnknownClassGivesPlaceholderAndOneError)
{
    maxhost::console_clear();
    maxhost::BoxSpec spec;
    spec.maxclass = "newobj";
    spec.text = "nosuchthing 1 2";
    t_object *b = maxhost::box_new(patcher, spec);
    ASSERT_TRUE(b);
    EXPECT_TRUE(maxhost::box_is_placeholder(b));
    auto lines = maxhost::console_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, "error");
    EXPECT_NE(lines[0].text.find("nosuchthing"), std::string::npos);
}

TEST_F(External, AttributesClipUseAccessorsAndCarryProperties)
{
    t_object *x = make();
    t_atom big = lng(500);
    object_attr_setvalueof(x, gensym("count"), 1, &big);
    EXPECT_EQ(object_attr_getlong(x, gensym("count")), 100); // clip filter
    t_atom nine = lng(9);
    object_attr_setvalueof(x, gensym("mode"), 1, &nine);
    EXPECT_EQ(object_attr_getlong(x, gensym("mode")), 2); // custom setter clamps
    t_atom three = lng(3);
    object_attr_setvalueof(x, gensym("scale"), 1, &three);
    EXPECT_EQ(object_attr_getlong(x, gensym("scale")), 30); // custom getter and setter
    t_atom rgba[] = {num(0.25), num(0.5), num(0.75), num(1)};
    object_attr_setvalueof(x, gensym("color"), 4, rgba);
    t_jrgba c;
    ASSERT_EQ(object_attr_getjrgba(x, gensym("color"), &c), MAX_ERR_NONE);
    EXPECT_DOUBLE_EQ(c.green, 0.5);
    EXPECT_DOUBLE_EQ(object_attr_getfloat(x, gensym("gain")), -6.5);

    auto infos = maxhost::attributes_of(x);
    std::vector<std::string> names;
    for (auto &i : infos)
        names.push_back(i.name);
    std::vector<std::string> expected = {"patching_rect", "count", "gain", "flag", "label", "color", "mode", "scale"};
    EXPECT_EQ(names, expected);
    auto find = [&](const std::string &n) {
        for (auto &i : infos)
            if (i.name == n)
                return i;
        return maxhost::AttrInfo();
    };
    EXPECT_EQ(find("count").category, "Values");
    EXPECT_EQ(find("count").label, "Count");
    EXPECT_TRUE(find("count").save);
    EXPECT_EQ(find("color").category, "Looks");
    EXPECT_EQ(find("color").style, "rgba");
    EXPECT_TRUE(find("color").paint);
    EXPECT_EQ(find("color").size, 4);
    EXPECT_EQ(find("mode").style, "enumindex");
    EXPECT_EQ(find("mode").enumvals, (std::vector<std::string>{"Select", "Move", "Draw Shapes"}));
    EXPECT_EQ(find("scale").category, "Other");
    EXPECT_EQ(find("gain").label, "Gain (dB)");
}

TEST_F(External, AttributeChangesNotifyTheObjectWithTheAttributeName)
{
    t_object *x = make();
    long before = peek(x, "notify_count");
    t_atom v = num(1.5);
    object_attr_setvalueof(x, gensym("gain"), 1, &v);
    EXPECT_EQ(peek(x, "notify_count"), before + 1);
    EXPECT_EQ((t_symbol *)object_method(x, gensym("peek"), gensym("last_attr")), gensym("gain"));
    maxhost::send(x, 0, gensym("touch"), 0, nullptr);
    EXPECT_EQ((t_symbol *)object_method(x, gensym("peek"), gensym("last_attr")), gensym("count"));
    EXPECT_EQ(object_attr_getlong(x, gensym("count")), 42);
    // An attribute name sent as a message sets it.
    t_atom l = sym("fromamessage");
    maxhost::send(x, 0, gensym("label"), 1, &l);
    EXPECT_EQ(atom_getsym(&get(x, "label")[0]), gensym("fromamessage"));
}

TEST_F(External, InletsOutletsAndCords)
{
    t_object *a = make({}, "a"), *b = make({}, "b");
    ASSERT_TRUE(maxhost::connect(patcher, a, 0, b, 1)); // float out -> ft1
    ASSERT_TRUE(maxhost::connect(patcher, a, 2, b, 3)); // anything out -> general inlet
    EXPECT_FALSE(maxhost::connect(patcher, a, 7, b, 0)); // no such outlet
    t_atom f = num(2.5);
    maxhost::send(a, 0, gensym("float"), 1, &f);
    EXPECT_EQ(peek(b, "ft1"), 5000); // 2.5 * 2 arrives as ft1
    t_atom mixed[] = {lng(3), num(0.5), sym("go")};
    maxhost::send(a, 0, gensym("mix"), 3, mixed);
    // "mixed 3 0.5 go" left a's outlet 2, reached b's general inlet, and b's
    // anything method echoed it on b's outlet 2.
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0].selector, "float");
    EXPECT_EQ(sent[1].box, a);
    EXPECT_EQ(sent[1].outlet, 2);
    EXPECT_EQ(sent[1].selector, "mixed");
    EXPECT_EQ(atom_getlong(&sent[1].args[0]), 3);
    EXPECT_DOUBLE_EQ(atom_getfloat(&sent[1].args[1]), 0.5);
    EXPECT_EQ(atom_getsym(&sent[1].args[2]), gensym("go"));
    EXPECT_EQ(sent[2].box, b);
    EXPECT_EQ(sent[2].selector, "anything");
    t_atom i = lng(3);
    maxhost::send(b, 2, gensym("int"), 1, &i); // an int into a float inlet arrives as a float
    EXPECT_EQ(peek(b, "ft2"), 3000);
    sent.clear();
    maxhost::send(a, 0, gensym("bang"), 0, nullptr);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].selector, "list");
    EXPECT_EQ(sent[0].outlet, 1);
}

TEST_F(External, ReentrantDeliveryThroughAFeedbackCord)
{
    t_object *a = make();
    ASSERT_TRUE(maxhost::connect(patcher, a, 2, a, 0));
    t_atom d = lng(5);
    maxhost::send(a, 0, gensym("reenter"), 1, &d);
    EXPECT_EQ(peek(a, "reentry"), 6);
}

TEST_F(External, PaintingUsesTheLayerCacheUntilInvalidated)
{
    t_object *x = make();
    maxhost::pump(); // jbox_ready scheduled a first repaint
    maxhost::Image img;
    ASSERT_TRUE(maxhost::last_picture(x, &img));
    EXPECT_EQ(img.width, 120);
    EXPECT_EQ(img.height, 60);
    EXPECT_EQ(img.rgba[2], 255); // blue background from the default colour
    EXPECT_EQ(img.rgba[3], 255);
    long draws = peek(x, "layer_draws");
    ASSERT_TRUE(maxhost::paint_box(x, &img));
    EXPECT_EQ(peek(x, "layer_draws"), draws); // cached layer reused
    jbox_invalidate_layer(x, nullptr, gensym("bg"));
    t_atom red[] = {num(1), num(0), num(0), num(1)};
    object_attr_setvalueof(x, gensym("color"), 4, red);
    ASSERT_TRUE(maxhost::paint_box(x, &img));
    EXPECT_EQ(peek(x, "layer_draws"), draws + 1);
    EXPECT_EQ(img.rgba[0], 255);
    EXPECT_EQ(img.rgba[2], 0);
    maxhost::box_set_size(x, 30, 20);
    ASSERT_TRUE(maxhost::paint_box(x, &img));
    EXPECT_EQ(img.width, 30);
    EXPECT_EQ(peek(x, "layer_draws"), draws + 2); // a new size redraws the layer
}

// At a paint scale above 1 the picture has that many pixels per point and
// the box still draws in points: its layer, filled edge to edge in points,
// covers every pixel, scaled up and composited back (both drawing backends).
TEST_F(External, PaintScaleMultipliesThePixelsOfPictureAndLayers)
{
    t_object *x = make();
    maxhost::pump();
    long draws = peek(x, "layer_draws");
    maxhost::Image img;
    for (double scale : {2.0, 1.5}) {
        maxhost::set_paint_scale(scale);
        ASSERT_TRUE(maxhost::paint_box(x, &img));
        EXPECT_EQ(img.width, int(120 * scale));
        EXPECT_EQ(img.height, int(60 * scale));
        for (size_t corner : {size_t(0), img.rgba.size() - 4}) {
            EXPECT_EQ(img.rgba[corner + 2], 255) << scale; // blue
            EXPECT_EQ(img.rgba[corner + 3], 255) << scale; // opaque
        }
    }
    EXPECT_EQ(peek(x, "layer_draws"), draws + 2); // each new scale redraws the layer
    maxhost::set_paint_scale(1);
}

TEST_F(External, RedrawsAreCoalescedUntilTheQueueRuns)
{
    t_object *x = make();
    maxhost::pump();
    long paints = peek(x, "paint_count");
    jbox_redraw((t_jbox *)x);
    jbox_redraw((t_jbox *)x);
    jbox_redraw((t_jbox *)x);
    EXPECT_EQ(peek(x, "paint_count"), paints);
    maxhost::pump();
    EXPECT_EQ(peek(x, "paint_count"), paints + 1);
}

TEST_F(External, MouseCallbacksGetThePointByValueAndTheModifiers)
{
    t_object *x = make();
    maxhost::mouse(x, maxhost::Mouse::down, 12.5, 30.25, eShiftKey | ePopupMenu);
    ASSERT_FALSE(sent.empty());
    const Sent &m = sent.back();
    EXPECT_EQ(m.selector, "mouse");
    EXPECT_EQ(atom_getlong(&m.args[0]), 1);
    EXPECT_DOUBLE_EQ(atom_getfloat(&m.args[1]), 12.5);
    EXPECT_DOUBLE_EQ(atom_getfloat(&m.args[2]), 30.25);
    EXPECT_EQ(atom_getlong(&m.args[3]), eShiftKey | ePopupMenu);
    EXPECT_EQ(maxhost::box_cursor(x), JMOUSE_CURSOR_CROSSHAIR);
    maxhost::mouse(x, maxhost::Mouse::drag, 1, 2, 0);
    EXPECT_EQ(atom_getlong(&sent.back().args[0]), 2);
}

TEST_F(External, APlugInsErrorReachesTheHostConsoleNotGlibc)
{
    t_object *x = make();
    maxhost::console_clear();
    maxhost::send(x, 0, gensym("err"), 0, nullptr);
    auto lines = maxhost::console_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, "error");
    EXPECT_EQ(lines[0].text, "testui error 42");
}

TEST_F(External, AssistAndDeferredMessages)
{
    t_object *x = make();
    char text[ASSIST_MAX_STRING_LEN] = "";
    object_method(x, gensym("assist"), nullptr, (void *)ASSIST_OUTLET, (void *)2, text);
    EXPECT_STREQ(text, "outlet 2");
    maxhost::pump();
    sent.clear();
    t_atom a = lng(8);
    maxhost::send(x, 0, gensym("defer"), 1, &a);
    EXPECT_TRUE(sent.empty()); // not yet
    maxhost::pump();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].selector, "deferred");
    EXPECT_EQ(atom_getlong(&sent[0].args[0]), 8);
}

TEST_F(External, PatcherAndBoxAreFoundThroughObexAndCords)
{
    t_object *a = make({}, "a"), *b = make({}, "b");
    maxhost::connect(patcher, a, 1, b, 0);
    t_object *p = nullptr, *box = nullptr;
    ASSERT_EQ(object_obex_lookup(a, gensym("#P"), &p), MAX_ERR_NONE);
    ASSERT_EQ(object_obex_lookup(a, gensym("#B"), &box), MAX_ERR_NONE);
    EXPECT_EQ(p, patcher);
    EXPECT_EQ(box, a);
    t_object *line = jpatcher_get_firstline(p);
    ASSERT_TRUE(line);
    EXPECT_EQ(jpatchline_get_box1(line), a);
    EXPECT_EQ(jpatchline_get_box2(line), b);
    EXPECT_EQ(jpatchline_get_outletnum(line), 1);
    EXPECT_EQ(jpatchline_get_inletnum(line), 0);
    EXPECT_EQ(jbox_get_object(jpatchline_get_box2(line)), b);
    EXPECT_EQ(jpatchline_get_nextline(line), nullptr);
    EXPECT_NE(jpatcher_get_firstview(p), nullptr);
    t_symbol *ns = nullptr, *name = nullptr;
    EXPECT_EQ(object_findregisteredbyptr(&ns, &name, a), MAX_ERR_NONE);
    EXPECT_EQ(ns, gensym("box"));
    maxhost::box_free(b);
    EXPECT_EQ(jpatcher_get_firstline(p), nullptr); // its cord went with it
}
