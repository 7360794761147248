// Patchers, boxes, patch cords and views.
//
// A UI object is its own box: jbox_new fills the t_jbox at the front of its
// record and gives it a host box record.  An object box ("newobj") is a
// small host-made wrapper object holding the object it created.  Patch cords
// connect boxes; messages travel between the objects in them.  Each patcher
// has one view, which painting uses as the patcherview of the SDK calls.
#include "graphics_internal.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

t_object *mh_creating_patcher = nullptr;
mh_box *mh_creating_box = nullptr;

struct mh_line;

struct mh_patcher {
    t_object ob; // first
    std::string folder;
    std::vector<mh_box *> boxes;
    std::vector<mh_line *> lines;
    t_object *view = nullptr;
};

struct mh_line {
    t_object ob; // first
    mh_patcher *patcher = nullptr;
    mh_box *box1 = nullptr, *box2 = nullptr;
    long outlet = 0, inlet = 0;
};

struct mh_view {
    t_object ob; // first
    mh_patcher *patcher = nullptr;
    t_jgraphics *current = nullptr; // the context of the paint in progress
};

struct mh_wrapper {
    t_object ob; // first: what cords of an object box attach to
};

namespace {

maxhost::OutletHook outlet_hook;
maxhost::CursorHook cursor_hook;

t_class *internal(const char *name)
{
    // Host-made records are freed by the host itself, never by object_free.
    return mh_internal_class(name, sizeof(t_object), nullptr);
}

t_class *patcher_class() { static t_class *c = internal("jpatcher"); return c; }
t_class *line_class() { static t_class *c = internal("jpatchline"); return c; }
t_class *view_class() { static t_class *c = internal("jpatcherview"); return c; }
t_class *wrapper_class() { static t_class *c = internal("newobj"); return c; }

std::unordered_set<mh_box *> &live_boxes()
{
    static auto *s = new std::unordered_set<mh_box *>;
    return *s;
}

std::unordered_set<mh_patcher *> &live_patchers()
{
    static auto *s = new std::unordered_set<mh_patcher *>;
    return *s;
}

mh_patcher *as_patcher(t_object *p)
{
    mh_patcher *mp = (mh_patcher *)p;
    return live_patchers().count(mp) ? mp : nullptr;
}

mh_view *as_view(t_object *v)
{
    return v && object_classname(v) == gensym("jpatcherview") ? (mh_view *)v : nullptr;
}

mh_line *as_line(t_object *l)
{
    return l && object_classname(l) == gensym("jpatchline") ? (mh_line *)l : nullptr;
}

long unique_counter = 0;

} // namespace

mh_box *mh_box_of(const void *box_or_object)
{
    mh_object_info *info = mh_info(box_or_object);
    if (!info || !info->box || !live_boxes().count(info->box))
        return nullptr;
    return info->box;
}

void mh_report_outlet(t_object *owner, long outlet, t_symbol *s, long argc, const t_atom *argv)
{
    if (!outlet_hook)
        return;
    mh_box *b = mh_box_of(owner);
    outlet_hook(b && b->box ? b->box : owner, outlet, s, argc, argv);
}

// ---------------------------------------------------------------- the SDK's box calls

static t_max_err patching_rect_set(t_jbox *x, void *attr, long argc, t_atom *argv)
{
    (void)attr;
    if (argc >= 4) {
        x->b_patching_rect.x = atom_getfloat(argv);
        x->b_patching_rect.y = atom_getfloat(argv + 1);
        x->b_patching_rect.width = std::max(1.0, atom_getfloat(argv + 2));
        x->b_patching_rect.height = std::max(1.0, atom_getfloat(argv + 3));
        if (mh_box *b = mh_box_of(x)) {
            b->rect = x->b_patching_rect;
            jbox_redraw(x);
        }
    }
    return MAX_ERR_NONE;
}

void jbox_initclass(t_class *c, long flags)
{
    (void)flags;
    if (!c)
        return;
    c->c_flags |= CLASS_FLAG_UIOBJECT;
    class_addattr(c, attr_offset_array_new("patching_rect", gensym("float64"), 4, 0, nullptr,
                                           (method)patching_rect_set, 0, offsetof(t_jbox, b_patching_rect)));
}

t_max_err jbox_new(t_jbox *b, long flags, long argc, t_atom *argv)
{
    (void)flags;
    mh_object_info *info = mh_info(b);
    if (!info)
        return MAX_ERR_INVALID_PTR;
    mh_box *box = mh_creating_box;
    if (!box || box->box) {
        box = new mh_box(); // a box made outside box_new (e.g. directly by a test)
        live_boxes().insert(box);
    }
    box->box = &b->b_ob;
    box->object = &b->b_ob;
    box->ui = true;
    box->patcher = mh_creating_patcher;
    info->box = box;
    b->b_patcher = mh_creating_patcher;
    t_dictionary *d = object_dictionaryarg(argc, argv);
    maxhost::Atoms rect;
    if (d && mh_dict_get(d, gensym("patching_rect"), &rect) && rect.size() >= 4)
        patching_rect_set(b, nullptr, 4, rect.data());
    if (box->rect.width <= 0 || box->rect.height <= 0) {
        if (b->b_patching_rect.width <= 0)
            b->b_patching_rect = {0, 0, 100, 100};
        box->rect = b->b_patching_rect;
    } else {
        b->b_patching_rect = box->rect;
    }
    char name[32];
    snprintf(name, sizeof name, "u%09ld", ++unique_counter);
    mh_register(b, CLASS_BOX, gensym(name));
    b->b_id = gensym(box->id.empty() ? name : box->id.c_str());
    if (box->patcher)
        mh_obex_store(b, gensym("#P"), box->patcher);
    mh_obex_store(b, gensym("#B"), &b->b_ob);
    object_attach_byptr(b, b);
    return MAX_ERR_NONE;
}

void jbox_ready(t_jbox *b)
{
    if (mh_box *box = mh_box_of(b)) {
        box->ready = true;
        jbox_redraw(b);
    }
}

void jbox_free(t_jbox *b)
{
    object_detach_byptr(b, b);
    if (mh_box *box = mh_box_of(b)) {
        for (mh_box_layer *layer : box->layers)
            mh_layer_free(layer);
        box->layers.clear();
        box->ready = false;
    }
}

void jbox_redraw(t_jbox *b)
{
    mh_check_main_thread("jbox_redraw");
    mh_box *box = mh_box_of(b);
    if (!box || !box->ready || box->redraw_pending)
        return;
    box->redraw_pending = true;
    mh_queue_push([box] {
        if (!live_boxes().count(box) || !box->object)
            return;
        box->redraw_pending = false;
        maxhost::paint_box(box->box, &box->picture);
        if (mh_redraw_hook())
            mh_redraw_hook()(box->box);
    });
}

void mh_redraw_all()
{
    for (mh_box *b : live_boxes())
        if (b->ui && b->object)
            jbox_redraw((t_jbox *)b->object);
}

t_max_err jbox_notify(t_jbox *b, t_symbol *s, t_symbol *msg, void *sender, void *data)
{
    (void)s;
    if (msg == gensym("attr_modified") && sender == b) {
        const maxhost::Atoms *paint = mh_attr_prop_of((t_object *)data, gensym("paint"));
        if (paint && !paint->empty() && atom_getlong(&(*paint)[0]))
            jbox_redraw(b);
    }
    return MAX_ERR_NONE;
}

t_object *jbox_get_object(t_object *b)
{
    mh_box *box = mh_box_of(b);
    return box ? box->object : nullptr;
}

t_max_err jbox_get_rect_for_view(t_object *box, t_object *patcherview, t_rect *rect)
{
    (void)patcherview;
    mh_box *b = mh_box_of(box);
    if (!b || !rect)
        return MAX_ERR_GENERIC;
    *rect = b->rect;
    return MAX_ERR_NONE;
}

t_object *jpatcher_get_firstline(t_object *p)
{
    mh_patcher *mp = as_patcher(p);
    return mp && !mp->lines.empty() ? &mp->lines.front()->ob : nullptr;
}

t_object *jpatcher_get_firstview(t_object *p)
{
    mh_patcher *mp = as_patcher(p);
    return mp ? mp->view : nullptr;
}

t_object *jpatchline_get_box1(t_object *l)
{
    mh_line *line = as_line(l);
    return line && line->box1 ? line->box1->box : nullptr;
}

long jpatchline_get_outletnum(t_object *l)
{
    mh_line *line = as_line(l);
    return line ? line->outlet : 0;
}

t_object *jpatchline_get_box2(t_object *l)
{
    mh_line *line = as_line(l);
    return line && line->box2 ? line->box2->box : nullptr;
}

long jpatchline_get_inletnum(t_object *l)
{
    mh_line *line = as_line(l);
    return line ? line->inlet : 0;
}

t_object *jpatchline_get_nextline(t_object *b)
{
    mh_line *line = as_line(b);
    if (!line || !line->patcher)
        return nullptr;
    auto &lines = line->patcher->lines;
    auto it = std::find(lines.begin(), lines.end(), line);
    if (it == lines.end() || ++it == lines.end())
        return nullptr;
    return &(*it)->ob;
}

t_object *patcherview_get_jgraphics(t_object *pv)
{
    mh_view *v = as_view(pv);
    return v ? (t_object *)v->current : nullptr;
}

void patcherview_canvas_to_screen(t_object *pv, double cx, double cy, long *sx, long *sy)
{
    (void)pv;
    if (sx)
        *sx = (long)std::lround(cx);
    if (sy)
        *sy = (long)std::lround(cy);
}

void jmouse_setcursor(t_object *patcherview, t_object *box, t_jmouse_cursortype type)
{
    (void)patcherview;
    mh_check_main_thread("jmouse_setcursor");
    mh_box *b = mh_box_of(box);
    if (!b)
        return;
    b->cursor = type;
    if (cursor_hook)
        cursor_hook(b->box, type);
}

void mh_box_forget(t_object *x)
{
    mh_object_info *info = mh_info(x);
    mh_box *b = info ? info->box : nullptr;
    if (!b || !live_boxes().count(b))
        return;
    if (b->object == x)
        b->object = nullptr;
    if (b->box == x)
        b->box = nullptr;
    for (mh_box_layer *layer : b->layers)
        mh_layer_free(layer);
    b->layers.clear();
    if (!b->patcher) { // a box that no patcher holds goes with its object
        live_boxes().erase(b);
        delete b;
    }
}

// ---------------------------------------------------------------- views

static mh_view *new_view(mh_patcher *p)
{
    mh_view *v = new mh_view();
    mh_adopt(&v->ob, view_class());
    v->patcher = p;
    return v;
}

void mh_view_set_graphics(t_object *view, t_jgraphics *g)
{
    if (mh_view *v = as_view(view))
        v->current = g;
}

t_object *mh_detached_view()
{
    static mh_view *v = new_view(nullptr);
    return &v->ob;
}

// ---------------------------------------------------------------- front-end interface

namespace {

void free_line(mh_line *line)
{
    if (line->box1 && line->box2 && line->box1->object && line->box2->object)
        mh_disconnect(line->box1->object, line->outlet, line->box2->object, line->inlet);
    mh_unadopt(&line->ob);
    delete line;
}

// Creates the object of an object box from its text: "class arg ...".
t_object *create_newobj(mh_box *box, t_class *c, t_symbol *name, maxhost::Atoms &args)
{
    mh_class_new_info info = mh_class_new_fn(c);
    if (!info.fn)
        return nullptr;
    mh_creating_box = box;
    t_object *x = nullptr;
    if (!info.types.empty() && info.types[0] == A_GIMME) {
        typedef void *(*gimme_new)(t_symbol *, long, t_atom *);
        x = (t_object *)((gimme_new)info.fn)(name, (long)args.size(), args.empty() ? nullptr : args.data());
    } else {
        x = (t_object *)mh_call_typed_new(info.fn, info.types, (long)args.size(), args.data());
    }
    mh_creating_box = nullptr;
    return x;
}

// Creates a UI object from its class defaults and saved attributes.
t_object *create_ui(mh_box *box, t_class *c, t_symbol *name,
                    const std::vector<std::pair<t_symbol *, maxhost::Atoms>> &saved)
{
    mh_class_new_info info = mh_class_new_fn(c);
    if (!info.fn)
        return nullptr;
    std::vector<std::pair<t_symbol *, maxhost::Atoms>> entries;
    if (c->c_flags & CLASS_FLAG_NEWDICTIONARY)
        entries = mh_class_defaults(c);
    for (const auto &s : saved) {
        auto it = std::find_if(entries.begin(), entries.end(), [&](auto &e) { return e.first == s.first; });
        if (it != entries.end())
            it->second = s.second;
        else
            entries.push_back(s);
    }
    maxhost::Atoms rect;
    for (auto &e : entries)
        if (e.first == gensym("patching_rect"))
            rect = e.second;
    if (box->rect.width > 0 && box->rect.height > 0) {
        rect.assign(4, t_atom());
        atom_setfloat(&rect[0], box->rect.x);
        atom_setfloat(&rect[1], box->rect.y);
        atom_setfloat(&rect[2], box->rect.width);
        atom_setfloat(&rect[3], box->rect.height);
        auto it = std::find_if(entries.begin(), entries.end(),
                               [](auto &e) { return e.first == gensym("patching_rect"); });
        if (it != entries.end())
            it->second = rect;
        else
            entries.emplace_back(gensym("patching_rect"), rect);
    }
    box->rect = {0, 0, 0, 0};
    if (rect.size() >= 4)
        box->rect = {atom_getfloat(&rect[0]), atom_getfloat(&rect[1]), atom_getfloat(&rect[2]),
                     atom_getfloat(&rect[3])};
    t_dictionary *d = mh_dict_new(entries);
    t_atom arg;
    A_SETOBJ(&arg, (t_object *)d);
    mh_creating_box = box;
    typedef void *(*gimme_new)(t_symbol *, long, t_atom *);
    t_object *x = (t_object *)((gimme_new)info.fn)(name, 1, &arg);
    mh_creating_box = nullptr;
    mh_dict_free(d);
    return x;
}

} // namespace

namespace maxhost {

t_object *patcher_new(const std::string &folder)
{
    mh_patcher *p = new mh_patcher();
    mh_adopt(&p->ob, patcher_class());
    p->folder = folder;
    p->view = &new_view(p)->ob;
    live_patchers().insert(p);
    if (!folder.empty())
        mh_set_default_folder(folder);
    return &p->ob;
}

void patcher_free(t_object *patcher)
{
    mh_patcher *p = as_patcher(patcher);
    if (!p)
        return;
    while (!p->boxes.empty())
        box_free(p->boxes.back()->box);
    live_patchers().erase(p);
    mh_view *v = as_view(p->view);
    mh_unadopt(&v->ob);
    delete v;
    mh_unadopt(&p->ob);
    delete p;
}

t_object *patcher_view(t_object *patcher)
{
    mh_patcher *p = as_patcher(patcher);
    return p ? p->view : nullptr;
}

std::string patcher_folder(t_object *patcher)
{
    mh_patcher *p = as_patcher(patcher);
    return p ? p->folder : std::string();
}

t_object *box_new(t_object *patcher, const BoxSpec &spec)
{
    mh_patcher *p = as_patcher(patcher);
    if (!p)
        return nullptr;
    mh_box *box = new mh_box();
    live_boxes().insert(box);
    box->patcher = patcher;
    box->id = spec.id;
    box->varname = spec.varname;
    box->maxclass = spec.maxclass;
    box->rect = spec.rect;
    p->boxes.push_back(box);

    std::string classname = spec.maxclass;
    Atoms args;
    std::vector<std::pair<t_symbol *, Atoms>> saved;
    for (const auto &a : spec.attrs)
        saved.emplace_back(gensym(a.first.c_str()), a.second);
    if (spec.maxclass == "newobj") {
        Atoms words = mh_parse_atoms(spec.text);
        classname = words.empty() ? "" : mh_atom_to_string(words[0]);
        args.assign(words.begin() + (words.empty() ? 0 : 1), words.end());
    }
    t_class *c = classname.empty() ? nullptr : find_box_class(classname);
    t_object *x = nullptr;
    mh_creating_patcher = patcher;
    if (c && (c->c_flags & CLASS_FLAG_NEWDICTIONARY)) {
        // A UI class typed into an object box takes its @name value arguments.
        for (size_t i = 0; i < args.size(); i++) {
            if (args[i].a_type != A_SYM || args[i].a_w.w_sym->s_name[0] != '@')
                continue;
            size_t j = i + 1;
            while (j < args.size() && !(args[j].a_type == A_SYM && args[j].a_w.w_sym->s_name[0] == '@'))
                j++;
            saved.emplace_back(gensym(args[i].a_w.w_sym->s_name + 1), Atoms(args.begin() + i + 1, args.begin() + j));
            i = j - 1;
        }
        x = create_ui(box, c, gensym(classname.c_str()), saved);
    } else if (c) {
        mh_wrapper *w = new mh_wrapper();
        mh_adopt(&w->ob, wrapper_class());
        mh_info(&w->ob)->box = box;
        box->box = &w->ob;
        x = create_newobj(box, c, gensym(classname.c_str()), args);
        if (x) {
            box->object = x;
            mh_info(x)->box = box;
            mh_obex_store(x, gensym("#P"), patcher);
            mh_obex_store(x, gensym("#B"), box->box);
        }
    }
    mh_creating_patcher = nullptr;
    if (!x) {
        if (!c)
            error("%s: No such object", classname.empty() ? "(empty)" : classname.c_str());
        else
            error("%s: could not create object", classname.c_str());
        box->placeholder = true;
        box->object = nullptr;
        if (!box->box) {
            mh_wrapper *w = new mh_wrapper();
            mh_adopt(&w->ob, wrapper_class());
            mh_info(&w->ob)->box = box;
            box->box = &w->ob;
        }
    }
    if (box->rect.width <= 0 || box->rect.height <= 0)
        box->rect = {spec.rect.x, spec.rect.y, 100, 22};
    return box->box;
}

void box_free(t_object *boxobj)
{
    mh_box *box = mh_box_of(boxobj);
    if (!box)
        return;
    mh_patcher *p = as_patcher(box->patcher);
    if (p) {
        for (size_t i = 0; i < p->lines.size();) {
            mh_line *l = p->lines[i];
            if (l->box1 == box || l->box2 == box) {
                p->lines.erase(p->lines.begin() + i);
                free_line(l);
            } else {
                i++;
            }
        }
        p->boxes.erase(std::remove(p->boxes.begin(), p->boxes.end(), box), p->boxes.end());
    }
    box->patcher = nullptr;
    t_object *wrapper = (box->box && box->box != box->object) ? box->box : nullptr;
    if (box->object)
        object_free(box->object); // for a UI box this also ends the box record
    if (wrapper && mh_is_object(wrapper)) {
        mh_unadopt(wrapper);
        delete (mh_wrapper *)wrapper;
    }
    if (live_boxes().count(box)) {
        live_boxes().erase(box);
        for (mh_box_layer *layer : box->layers)
            mh_layer_free(layer);
        delete box;
    }
}

std::vector<t_object *> patcher_boxes(t_object *patcher)
{
    std::vector<t_object *> out;
    if (mh_patcher *p = as_patcher(patcher))
        for (mh_box *b : p->boxes)
            out.push_back(b->box);
    return out;
}

t_object *find_box(t_object *patcher, const std::string &key)
{
    mh_patcher *p = as_patcher(patcher);
    if (!p)
        return nullptr;
    for (mh_box *b : p->boxes)
        if (!b->varname.empty() && b->varname == key)
            return b->box;
    for (mh_box *b : p->boxes)
        if (b->id == key)
            return b->box;
    return nullptr;
}

std::string box_id(t_object *box)
{
    mh_box *b = mh_box_of(box);
    return b ? b->id : std::string();
}

std::string box_varname(t_object *box)
{
    mh_box *b = mh_box_of(box);
    return b ? b->varname : std::string();
}

std::string box_classname(t_object *box)
{
    mh_box *b = mh_box_of(box);
    if (!b || !b->object)
        return std::string();
    t_symbol *s = object_classname(b->object);
    return s ? s->s_name : std::string();
}

bool box_is_placeholder(t_object *box)
{
    mh_box *b = mh_box_of(box);
    return !b || b->placeholder;
}

bool box_is_ui(t_object *box)
{
    mh_box *b = mh_box_of(box);
    return b && b->ui && b->object && mh_find_method(b->object, gensym("paint"));
}

t_rect box_rect(t_object *box)
{
    mh_box *b = mh_box_of(box);
    return b ? b->rect : t_rect{0, 0, 0, 0};
}

void box_set_size(t_object *box, double width, double height)
{
    mh_box *b = mh_box_of(box);
    if (!b)
        return;
    b->rect.width = std::max(1.0, width);
    b->rect.height = std::max(1.0, height);
    if (b->ui && b->object) {
        ((t_jbox *)b->object)->b_patching_rect = b->rect;
        jbox_redraw((t_jbox *)b->object);
    }
}

long box_inlet_count(t_object *box)
{
    mh_box *b = mh_box_of(box);
    return b && b->object ? mh_inlet_count(b->object) : 0;
}

long box_outlet_count(t_object *box)
{
    mh_box *b = mh_box_of(box);
    return b && b->object ? mh_outlet_count(b->object) : 0;
}

std::string box_assist(t_object *box, bool outlet, long index)
{
    mh_box *b = mh_box_of(box);
    method m = b && b->object ? mh_find_method(b->object, gensym("assist")) : nullptr;
    if (!m)
        return "";
    char text[ASSIST_MAX_STRING_LEN + 12] = "";
    typedef void (*assist_fn)(void *, void *, long, long, char *);
    ((assist_fn)m)(b->object, b->object, outlet ? ASSIST_OUTLET : ASSIST_INLET, index, text);
    return text;
}

t_object *connect(t_object *patcher, t_object *box1, long outlet, t_object *box2, long inlet)
{
    mh_patcher *p = as_patcher(patcher);
    mh_box *b1 = mh_box_of(box1), *b2 = mh_box_of(box2);
    if (!p || !b1 || !b2)
        return nullptr;
    if (!b1->object || !b2->object || !mh_connect(b1->object, outlet, b2->object, inlet)) {
        error("cannot connect outlet %ld of %s to inlet %ld of %s", outlet, b1->id.c_str(), inlet, b2->id.c_str());
        return nullptr;
    }
    mh_line *line = new mh_line();
    mh_adopt(&line->ob, line_class());
    line->patcher = p;
    line->box1 = b1;
    line->box2 = b2;
    line->outlet = outlet;
    line->inlet = inlet;
    p->lines.push_back(line);
    return &line->ob;
}

void disconnect(t_object *patcher, t_object *lineobj)
{
    mh_patcher *p = as_patcher(patcher);
    mh_line *line = as_line(lineobj);
    if (!p || !line)
        return;
    p->lines.erase(std::remove(p->lines.begin(), p->lines.end(), line), p->lines.end());
    free_line(line);
}

void send(t_object *box, long inlet, t_symbol *selector, long argc, const t_atom *argv)
{
    mh_box *b = mh_box_of(box);
    t_object *target = b ? b->object : box;
    if (target && mh_is_object(target))
        mh_deliver(target, inlet, selector, argc, argv);
}

void set_outlet_hook(OutletHook hook) { outlet_hook = std::move(hook); }

void mouse(t_object *box, Mouse kind, double x, double y, long modifiers)
{
    static const char *names[] = {"mouseenter", "mousemove", "mousedown", "mousedrag",
                                  "mouseup",    "mouseleave", "mousedoubleclick"};
    mh_box *b = mh_box_of(box);
    if (!b || !b->object)
        return;
    method fn = mh_find_method(b->object, gensym(names[(int)kind]));
    if (!fn)
        return;
    t_object *view = b->patcher ? jpatcher_get_firstview(b->patcher) : mh_detached_view();
    typedef void (*mouse_fn)(t_object *, t_object *, t_pt, long);
    ((mouse_fn)fn)(b->object, view, t_pt{x, y}, modifiers);
}

void mouse_wheel(t_object *box, double x, double y, double dx, double dy, long modifiers)
{
    mh_box *b = mh_box_of(box);
    method fn = b && b->object ? mh_find_method(b->object, gensym("mousewheel")) : nullptr;
    if (!fn)
        return;
    t_object *view = b->patcher ? jpatcher_get_firstview(b->patcher) : mh_detached_view();
    typedef void (*wheel_fn)(t_object *, t_object *, t_pt, long, double, double);
    ((wheel_fn)fn)(b->object, view, t_pt{x, y}, modifiers, dx, dy);
}

long box_cursor(t_object *box)
{
    mh_box *b = mh_box_of(box);
    return b ? b->cursor : -1;
}

void set_cursor_hook(CursorHook hook) { cursor_hook = std::move(hook); }

t_object *find_buffer(const std::string &name)
{
    t_symbol *s = gensym(name.c_str());
    t_object *x = s->s_thing;
    return x && mh_is_object(x) && object_classname(x) == gensym("buffer~") ? x : nullptr;
}

} // namespace maxhost
