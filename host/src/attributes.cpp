// Attributes: attribute objects, their properties, the default and custom
// accessors, clip filters, sticky properties, creation dictionaries and the
// "attr_modified" notification.
//
// An attribute is a host-made object (class "attr") whose front is the SDK's
// t_attr, so plug-ins can send it "setmethod", "gettype", "getname",
// "getflags" and "setflags".  Values live in the instance at the registered
// byte offset; the built-in accessors convert between that field and atoms
// by the attribute's type.  Clip filters apply to incoming values before any
// setter, custom or built-in.
#include "internal.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <unordered_set>

using maxhost::Atoms;

struct mh_attr {
    t_attr a; // SDK layout; must stay first
    long offset = 0;
    long size = 1;
    bool use_min = false, use_max = false;
    double min = 0, max = 0;
    std::vector<std::pair<t_symbol *, Atoms>> props;
    Atoms value; // value of a free-standing attribute (sticky properties)
};

namespace {

t_symbol *sym_get() { static t_symbol *s = gensym("get"); return s; }
t_symbol *sym_set() { static t_symbol *s = gensym("set"); return s; }

void *attr_setmethod(mh_attr *x, t_symbol *which, method m)
{
    if (which == sym_get())
        x->a.get = m;
    else if (which == sym_set())
        x->a.set = m;
    return nullptr;
}

void *attr_gettype(mh_attr *x) { return x->a.type; }
void *attr_getname(mh_attr *x) { return x->a.name; }
void *attr_getflags(mh_attr *x) { return (void *)(t_ptr_int)x->a.flags; }
void *attr_setflags(mh_attr *x, long flags)
{
    x->a.flags = flags;
    return nullptr;
}

t_class *attr_class()
{
    static t_class *c = [] {
        t_class *k = mh_internal_class("attr", sizeof(t_attr), nullptr);
        class_addmethod(k, (method)attr_setmethod, "setmethod", A_CANT, 0);
        class_addmethod(k, (method)attr_gettype, "gettype", A_CANT, 0);
        class_addmethod(k, (method)attr_getname, "getname", A_CANT, 0);
        class_addmethod(k, (method)attr_getflags, "getflags", A_CANT, 0);
        class_addmethod(k, (method)attr_setflags, "setflags", A_CANT, 0);
        return k;
    }();
    return c;
}

mh_attr *attr_new(const char *name, t_symbol *type, long flags, long size)
{
    mh_attr *x = new mh_attr();
    mh_adopt(&x->a.ob, attr_class());
    x->a.name = gensym(name);
    x->a.type = type ? type : gensym("atom");
    x->a.flags = flags;
    x->size = size < 1 ? 1 : size;
    return x;
}

mh_attr *class_attr(t_class *c, t_symbol *name)
{
    if (!c)
        return nullptr;
    for (mh_attr *a : mh_class_attr_list(c))
        if (a->a.name == name)
            return a;
    return nullptr;
}

void set_prop(mh_attr *a, t_symbol *prop, const Atoms &value)
{
    for (auto &p : a->props) {
        if (p.first == prop) {
            p.second = value;
            return;
        }
    }
    a->props.emplace_back(prop, value);
}

// Atoms read from a printf-like format: s symbol, l/i/ld integer, f/d double.
Atoms format_atoms(const char *fmt, va_list ap)
{
    Atoms out;
    for (const char *p = fmt; p && *p; p++) {
        t_atom a;
        switch (*p) {
        case 's':
            atom_setsym(&a, va_arg(ap, t_symbol *));
            out.push_back(a);
            break;
        case 'l':
            if (p[1] == 'd')
                p++;
            atom_setlong(&a, va_arg(ap, long));
            out.push_back(a);
            break;
        case 'i':
            atom_setlong(&a, va_arg(ap, int));
            out.push_back(a);
            break;
        case 'f':
        case 'd':
            atom_setfloat(&a, va_arg(ap, double));
            out.push_back(a);
            break;
        default:
            break;
        }
    }
    return out;
}

// Parses a property string; a symbol-typed property without quotes is one word.
Atoms parse_typed(t_symbol *type, const char *text)
{
    std::string s = text ? text : "";
    if (type == gensym("symbol") && s.find('"') == std::string::npos) {
        size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
        t_atom a;
        atom_setsym(&a, gensym(b == std::string::npos ? "" : s.substr(b, e - b + 1).c_str()));
        return Atoms{a};
    }
    Atoms atoms = mh_parse_atoms(s);
    bool integer = type == gensym("long") || type == gensym("char") || type == gensym("atom_long") ||
                   type == gensym("int32");
    bool real = type == gensym("float64") || type == gensym("float32");
    for (t_atom &a : atoms) {
        if (integer && a.a_type == A_FLOAT)
            atom_setlong(&a, (t_atom_long)a.a_w.w_float);
        else if (real && a.a_type == A_LONG)
            atom_setfloat(&a, (double)a.a_w.w_long);
    }
    return atoms;
}

char *field(void *x, mh_attr *a) { return (char *)x + a->offset; }

// Built-in getter: the field (or array) as atoms.
void default_get(void *x, mh_attr *a, long n, t_atom *av)
{
    t_symbol *t = a->a.type;
    char *p = field(x, a);
    for (long i = 0; i < n; i++) {
        if (t == gensym("char"))
            atom_setlong(av + i, ((char *)p)[i]);
        else if (t == gensym("long"))
            atom_setlong(av + i, ((long *)p)[i]);
        else if (t == gensym("atom_long"))
            atom_setlong(av + i, ((t_atom_long *)p)[i]);
        else if (t == gensym("int32"))
            atom_setlong(av + i, ((t_int32 *)p)[i]);
        else if (t == gensym("float32"))
            atom_setfloat(av + i, ((float *)p)[i]);
        else if (t == gensym("float64"))
            atom_setfloat(av + i, ((double *)p)[i]);
        else if (t == gensym("symbol"))
            atom_setsym(av + i, ((t_symbol **)p)[i]);
        else if (t == gensym("atom"))
            av[i] = ((t_atom *)p)[i];
        else if (t == gensym("object"))
            A_SETOBJ(av + i, ((t_object **)p)[i]);
    }
}

// Built-in setter: stores up to `size` atoms into the field.
void default_set(void *x, mh_attr *a, long argc, const t_atom *argv)
{
    t_symbol *t = a->a.type;
    char *p = field(x, a);
    long n = std::min(argc, a->size);
    for (long i = 0; i < n; i++) {
        const t_atom *v = argv + i;
        if (t == gensym("char"))
            ((char *)p)[i] = (char)atom_getlong(v);
        else if (t == gensym("long"))
            ((long *)p)[i] = (long)atom_getlong(v);
        else if (t == gensym("atom_long"))
            ((t_atom_long *)p)[i] = atom_getlong(v);
        else if (t == gensym("int32"))
            ((t_int32 *)p)[i] = (t_int32)atom_getlong(v);
        else if (t == gensym("float32"))
            ((float *)p)[i] = (float)atom_getfloat(v);
        else if (t == gensym("float64"))
            ((double *)p)[i] = atom_getfloat(v);
        else if (t == gensym("symbol"))
            ((t_symbol **)p)[i] = atom_getsym(v);
        else if (t == gensym("atom"))
            ((t_atom *)p)[i] = *v;
        else if (t == gensym("object"))
            ((t_object **)p)[i] = v->a_type == A_OBJ ? v->a_w.w_obj : nullptr;
    }
}

Atoms clip(mh_attr *a, long argc, const t_atom *argv)
{
    Atoms v(argv, argv + (argc > 0 ? argc : 0));
    if (!a->use_min && !a->use_max)
        return v;
    for (t_atom &x : v) {
        if (x.a_type == A_LONG) {
            if (a->use_min && (double)x.a_w.w_long < a->min)
                x.a_w.w_long = (t_atom_long)std::ceil(a->min);
            if (a->use_max && (double)x.a_w.w_long > a->max)
                x.a_w.w_long = (t_atom_long)std::floor(a->max);
        } else if (x.a_type == A_FLOAT) {
            if (a->use_min && !(x.a_w.w_float >= a->min))
                x.a_w.w_float = a->min;
            if (a->use_max && x.a_w.w_float > a->max)
                x.a_w.w_float = a->max;
        }
    }
    return v;
}

void notify_modified(void *x, mh_attr *a)
{
    mh_object_info *info = mh_info(x);
    if (!info)
        return;
    // The object hears about its own attributes even when it is not
    // attached to itself (boxes are, by jbox_new).
    if (std::find(info->listeners.begin(), info->listeners.end(), x) == info->listeners.end()) {
        method fn = mh_find_method(x, gensym("notify"));
        if (fn) {
            t_symbol *name = info->reg_name ? info->reg_name : gensym("");
            typedef t_max_err (*notify_fn)(void *, t_symbol *, t_symbol *, void *, void *);
            ((notify_fn)fn)(x, name, gensym("attr_modified"), x, a);
        }
    }
    object_notify(x, gensym("attr_modified"), a);
}

struct mh_dict {
    t_dictionary d; // SDK layout; first
    std::vector<std::pair<t_symbol *, Atoms>> entries;
};

std::mutex dict_lock;
std::unordered_set<const void *> &live_dicts()
{
    static auto *s = new std::unordered_set<const void *>;
    return *s;
}

} // namespace

// ---------------------------------------------------------------- creation of attributes

t_object *attr_offset_new(const char *name, const t_symbol *type, long flags, const method mget, const method mset,
                          long offset)
{
    mh_attr *a = attr_new(name, const_cast<t_symbol *>(type), flags, 1);
    a->a.get = mget;
    a->a.set = mset;
    a->offset = offset;
    return &a->a.ob;
}

t_object *attr_offset_array_new(const char *name, t_symbol *type, long size, long flags, method mget, method mset,
                                long offsetcount, long offset)
{
    (void)offsetcount; // fixed-length arrays only
    mh_attr *a = attr_new(name, type, flags, size);
    a->a.get = mget;
    a->a.set = mset;
    a->offset = offset;
    return &a->a.ob;
}

t_object *attribute_new_parse(const char *attrname, t_symbol *type, long flags, const char *parsestr)
{
    mh_attr *a = attr_new(attrname, type, flags, 1);
    a->value = parse_typed(type ? type : gensym("atom"), parsestr);
    return &a->a.ob;
}

t_object *attribute_new_format(const char *attrname, t_symbol *type, long flags, const char *fmt, ...)
{
    mh_attr *a = attr_new(attrname, type, flags, 1);
    va_list ap;
    va_start(ap, fmt);
    a->value = format_atoms(fmt, ap);
    va_end(ap);
    return &a->a.ob;
}

t_max_err class_addattr(t_class *c, t_object *attr)
{
    if (!c || !attr)
        return MAX_ERR_INVALID_PTR;
    mh_attr *a = (mh_attr *)attr;
    for (auto &sticky : mh_class_sticky(c))
        set_prop(a, sticky.first, ((mh_attr *)sticky.second)->value);
    auto &list = mh_class_attr_list(c);
    for (auto &existing : list) {
        if (existing->a.name == a->a.name) {
            existing = a;
            return MAX_ERR_NONE;
        }
    }
    list.push_back(a);
    return MAX_ERR_NONE;
}

void *class_attr_get(t_class *x, t_symbol *attrname)
{
    mh_attr *a = class_attr(x, attrname);
    return a ? &a->a.ob : nullptr;
}

t_max_err class_sticky(t_class *x, t_symbol *stickyname, t_symbol *s, t_object *o)
{
    if (!x || !o)
        return MAX_ERR_INVALID_PTR;
    if (stickyname != gensym("sticky_attr"))
        return MAX_ERR_NONE; // sticky method properties carry nothing this host uses
    auto &list = mh_class_sticky(x);
    for (auto &entry : list) {
        if (entry.first == s) {
            entry.second = o;
            return MAX_ERR_NONE;
        }
    }
    list.emplace_back(s, o);
    return MAX_ERR_NONE;
}

t_max_err class_sticky_clear(t_class *x, t_symbol *stickyname, t_symbol *s)
{
    if (!x)
        return MAX_ERR_INVALID_PTR;
    if (stickyname != gensym("sticky_attr"))
        return MAX_ERR_NONE;
    auto &list = mh_class_sticky(x);
    list.erase(std::remove_if(list.begin(), list.end(), [s](auto &e) { return !s || e.first == s; }), list.end());
    return MAX_ERR_NONE;
}

t_max_err class_attr_addattr_parse(t_class *c, const char *attrname, const char *attrname2, t_symbol *type,
                                   long flags, const char *parsestr)
{
    (void)flags;
    mh_attr *a = class_attr(c, gensym(attrname));
    if (!a)
        return MAX_ERR_GENERIC;
    set_prop(a, gensym(attrname2), parse_typed(type ? type : a->a.type, parsestr));
    return MAX_ERR_NONE;
}

t_max_err class_attr_addattr_format(t_class *c, const char *attrname, const char *attrname2, const t_symbol *type,
                                    long flags, const char *fmt, ...)
{
    (void)type;
    (void)flags;
    mh_attr *a = class_attr(c, gensym(attrname));
    if (!a)
        return MAX_ERR_GENERIC;
    va_list ap;
    va_start(ap, fmt);
    set_prop(a, gensym(attrname2), format_atoms(fmt, ap));
    va_end(ap);
    return MAX_ERR_NONE;
}

t_max_err class_attr_addattr_atoms(t_class *c, const char *attrname, const char *attrname2, t_symbol *type,
                                   long flags, long ac, t_atom *av)
{
    (void)type;
    (void)flags;
    mh_attr *a = class_attr(c, gensym(attrname));
    if (!a)
        return MAX_ERR_GENERIC;
    set_prop(a, gensym(attrname2), Atoms(av, av + (ac > 0 ? ac : 0)));
    return MAX_ERR_NONE;
}

t_max_err attr_addfilter_clip(void *x, double min, double max, long usemin, long usemax)
{
    if (!x)
        return MAX_ERR_INVALID_PTR;
    mh_attr *a = (mh_attr *)x;
    a->use_min = usemin != 0;
    a->use_max = usemax != 0;
    a->min = min;
    a->max = max;
    return MAX_ERR_NONE;
}

// ---------------------------------------------------------------- values

mh_attr *mh_attr_find(const void *x, t_symbol *name)
{
    for (mh_attr *a : mh_class_attrs(x))
        if (a->a.name == name)
            return a;
    return nullptr;
}

t_max_err object_attr_getvalueof(void *x, t_symbol *s, long *argc, t_atom **argv)
{
    mh_attr *a = mh_attr_find(x, s);
    if (!a || !argc || !argv)
        return MAX_ERR_GENERIC;
    if (a->a.flags & ATTR_GET_OPAQUE)
        return MAX_ERR_GENERIC;
    if (a->a.get) {
        typedef t_max_err (*getter)(void *, void *, long *, t_atom **);
        return ((getter)a->a.get)(x, a, argc, argv);
    }
    if (!*argc || !*argv) {
        *argv = (t_atom *)sysmem_newptrclear(sizeof(t_atom) * a->size);
        if (!*argv)
            return MAX_ERR_OUT_OF_MEM;
        *argc = a->size;
    }
    default_get(x, a, std::min(*argc, a->size), *argv);
    *argc = std::min(*argc, a->size);
    return MAX_ERR_NONE;
}

t_max_err object_attr_setvalueof(void *x, t_symbol *s, long argc, t_atom *argv)
{
    mh_attr *a = mh_attr_find(x, s);
    if (!a)
        return MAX_ERR_GENERIC;
    if (a->a.flags & ATTR_SET_OPAQUE)
        return MAX_ERR_GENERIC;
    Atoms v = clip(a, argc, argv);
    if (a->a.set) {
        typedef t_max_err (*setter)(void *, void *, long, t_atom *);
        ((setter)a->a.set)(x, a, (long)v.size(), v.empty() ? nullptr : v.data());
    } else {
        default_set(x, a, (long)v.size(), v.data());
    }
    notify_modified(x, a);
    return MAX_ERR_NONE;
}

t_atom_long object_attr_getlong(void *x, t_symbol *s)
{
    long ac = 0;
    t_atom *av = nullptr;
    t_atom_long v = 0;
    if (object_attr_getvalueof(x, s, &ac, &av) == MAX_ERR_NONE && ac > 0)
        v = atom_getlong(av);
    if (av)
        sysmem_freeptr(av);
    return v;
}

t_atom_float object_attr_getfloat(void *x, t_symbol *s)
{
    long ac = 0;
    t_atom *av = nullptr;
    t_atom_float v = 0;
    if (object_attr_getvalueof(x, s, &ac, &av) == MAX_ERR_NONE && ac > 0)
        v = atom_getfloat(av);
    if (av)
        sysmem_freeptr(av);
    return v;
}

t_max_err object_attr_touch(t_object *x, t_symbol *attrname)
{
    mh_attr *a = mh_attr_find(x, attrname);
    if (!a)
        return MAX_ERR_GENERIC;
    notify_modified(x, a);
    return MAX_ERR_NONE;
}

void jrgba_set(t_jrgba *prgba, double r, double g, double b, double a)
{
    if (!prgba)
        return;
    prgba->red = r;
    prgba->green = g;
    prgba->blue = b;
    prgba->alpha = a;
}

t_max_err jgraphics_attr_setrgba(t_object *x, t_object *attr, long argc, t_atom *argv)
{
    mh_attr *a = (mh_attr *)attr;
    if (!x || !a)
        return MAX_ERR_INVALID_PTR;
    double *c = (double *)field(x, a);
    for (long i = 0; i < argc && i < 4; i++)
        c[i] = atom_getfloat(argv + i);
    return MAX_ERR_NONE;
}

t_max_err object_attr_getjrgba(void *ob, t_symbol *s, t_jrgba *c)
{
    long ac = 0;
    t_atom *av = nullptr;
    t_max_err err = object_attr_getvalueof(ob, s, &ac, &av);
    if (err == MAX_ERR_NONE && ac >= 4 && c) {
        c->red = atom_getfloat(av);
        c->green = atom_getfloat(av + 1);
        c->blue = atom_getfloat(av + 2);
        c->alpha = atom_getfloat(av + 3);
    } else if (err == MAX_ERR_NONE) {
        err = MAX_ERR_GENERIC;
    }
    if (av)
        sysmem_freeptr(av);
    return err;
}

t_max_err object_attr_setjrgba(void *ob, t_symbol *s, t_jrgba *c)
{
    if (!c)
        return MAX_ERR_INVALID_PTR;
    t_atom av[4];
    atom_setfloat(av, c->red);
    atom_setfloat(av + 1, c->green);
    atom_setfloat(av + 2, c->blue);
    atom_setfloat(av + 3, c->alpha);
    return object_attr_setvalueof(ob, s, 4, av);
}

t_max_err mh_attr_set_message(t_object *x, t_symbol *name, long argc, const t_atom *argv, bool *handled)
{
    *handled = false;
    if (!mh_attr_find(x, name))
        return MAX_ERR_GENERIC;
    *handled = true;
    return object_attr_setvalueof(x, name, argc, const_cast<t_atom *>(argv));
}

t_symbol *mh_attr_name(mh_attr *a) { return a ? a->a.name : nullptr; }

const Atoms *mh_attr_prop(mh_attr *a, t_symbol *prop)
{
    if (!a)
        return nullptr;
    for (auto &p : a->props)
        if (p.first == prop)
            return &p.second;
    return nullptr;
}

const Atoms *mh_attr_prop_of(t_object *attr_object, t_symbol *prop)
{
    if (!attr_object || object_classname(attr_object) != gensym("attr"))
        return nullptr;
    return mh_attr_prop((mh_attr *)attr_object, prop);
}

// ---------------------------------------------------------------- dictionaries

t_dictionary *mh_dict_new(const std::vector<std::pair<t_symbol *, Atoms>> &entries)
{
    mh_dict *d = new mh_dict();
    d->entries = entries;
    std::lock_guard<std::mutex> guard(dict_lock);
    live_dicts().insert(d);
    return &d->d;
}

void mh_dict_free(t_dictionary *d)
{
    if (!d)
        return;
    {
        std::lock_guard<std::mutex> guard(dict_lock);
        live_dicts().erase(d);
    }
    delete (mh_dict *)d;
}

bool mh_dict_get(t_dictionary *d, t_symbol *key, Atoms *value)
{
    for (auto &e : ((mh_dict *)d)->entries) {
        if (e.first == key) {
            if (value)
                *value = e.second;
            return true;
        }
    }
    return false;
}

t_dictionary *object_dictionaryarg(long ac, t_atom *av)
{
    // The host passes the creation dictionary as the last atom, an A_OBJ.
    if (ac < 1 || !av || av[ac - 1].a_type != A_OBJ)
        return nullptr;
    void *d = av[ac - 1].a_w.w_obj;
    std::lock_guard<std::mutex> guard(dict_lock);
    return live_dicts().count(d) ? (t_dictionary *)d : nullptr;
}

void attr_dictionary_process(void *x, t_dictionary *d)
{
    if (!x || !d)
        return;
    for (mh_attr *a : mh_class_attrs(x)) {
        Atoms v;
        if (mh_dict_get(d, a->a.name, &v))
            object_attr_setvalueof(x, a->a.name, (long)v.size(), v.data());
    }
}

std::vector<std::pair<t_symbol *, Atoms>> mh_class_defaults(t_class *c)
{
    std::vector<std::pair<t_symbol *, Atoms>> out;
    for (mh_attr *a : mh_class_attr_list(c)) {
        const Atoms *v = mh_attr_prop(a, gensym("default"));
        if (!v)
            v = mh_attr_prop(a, gensym("defaultname"));
        if (v)
            out.emplace_back(a->a.name, *v);
    }
    return out;
}

// ---------------------------------------------------------------- parsing

Atoms mh_parse_atoms(const std::string &text)
{
    Atoms out;
    size_t i = 0, n = text.size();
    while (i < n) {
        while (i < n && isspace((unsigned char)text[i]))
            i++;
        if (i >= n)
            break;
        std::string word;
        bool quoted = false;
        if (text[i] == '"') {
            quoted = true;
            i++;
            while (i < n && text[i] != '"') {
                if (text[i] == '\\' && i + 1 < n)
                    i++;
                word += text[i++];
            }
            i++;
        } else {
            while (i < n && !isspace((unsigned char)text[i]))
                word += text[i++];
        }
        t_atom a;
        char *end = nullptr;
        if (!quoted && !word.empty()) {
            long long l = strtoll(word.c_str(), &end, 10);
            if (end && *end == 0) {
                atom_setlong(&a, (t_atom_long)l);
                out.push_back(a);
                continue;
            }
            double f = strtod(word.c_str(), &end);
            if (end && *end == 0 && word != "-" && word != "+") {
                atom_setfloat(&a, f);
                out.push_back(a);
                continue;
            }
        }
        atom_setsym(&a, gensym(word.c_str()));
        out.push_back(a);
    }
    return out;
}

// ---------------------------------------------------------------- front-end interface

namespace maxhost {

std::vector<AttrInfo> attributes_of(t_object *object)
{
    std::vector<AttrInfo> out;
    auto first_sym = [](const Atoms *v) -> std::string {
        return v && !v->empty() ? mh_atom_to_string((*v)[0]) : std::string();
    };
    for (mh_attr *a : mh_class_attrs(object)) {
        AttrInfo info;
        info.name = a->a.name->s_name;
        info.type = a->a.type->s_name;
        info.size = a->size;
        info.category = first_sym(mh_attr_prop(a, gensym("category")));
        info.label = first_sym(mh_attr_prop(a, gensym("label")));
        info.style = first_sym(mh_attr_prop(a, gensym("style")));
        if (const Atoms *e = mh_attr_prop(a, gensym("enumvals")))
            for (const t_atom &v : *e)
                info.enumvals.push_back(mh_atom_to_string(v));
        const Atoms *save = mh_attr_prop(a, gensym("save"));
        info.save = save && !save->empty() && atom_getlong(&(*save)[0]);
        const Atoms *paint = mh_attr_prop(a, gensym("paint"));
        info.paint = paint && !paint->empty() && atom_getlong(&(*paint)[0]);
        const Atoms *def = mh_attr_prop(a, gensym("default"));
        if (!def)
            def = mh_attr_prop(a, gensym("defaultname"));
        if (def)
            info.default_value = *def;
        info.has_min = a->use_min;
        info.has_max = a->use_max;
        info.min = a->min;
        info.max = a->max;
        out.push_back(info);
    }
    return out;
}

bool attr_get(t_object *object, const std::string &name, Atoms *value)
{
    long ac = 0;
    t_atom *av = nullptr;
    if (object_attr_getvalueof(object, gensym(name.c_str()), &ac, &av) != MAX_ERR_NONE)
        return false;
    if (value)
        value->assign(av, av + ac);
    if (av)
        sysmem_freeptr(av);
    return true;
}

bool attr_set(t_object *object, const std::string &name, const Atoms &value)
{
    Atoms v = value;
    return object_attr_setvalueof(object, gensym(name.c_str()), (long)v.size(), v.data()) == MAX_ERR_NONE;
}

Atoms attr_property(t_object *object, const std::string &attr, const std::string &property)
{
    const Atoms *v = mh_attr_prop(mh_attr_find(object, gensym(attr.c_str())), gensym(property.c_str()));
    return v ? *v : Atoms();
}

} // namespace maxhost
