// Classes, objects, messages and notifications.
//
// A class is an SDK t_class (its layout is ABI: plug-ins write c_flags)
// embedded at the front of the host's own mh_class record.  Objects are
// zeroed blocks of the class size whose header points at a one-entry message
// list holding the class, as the SDK's legacy macros expect.  The host keeps
// a side record per live object (inlets, outlets, listeners, obex entries).
//
// Methods are called through their exact C signatures: A_CANT methods by the
// host with typed function pointers; typed message methods with integer and
// floating-point arguments in their registers (on x86-64 the two kinds are
// assigned independently, so one call shape serves every mix of up to five
// integer-class and eight double arguments); A_GIMME methods as
// (x, selector, argc, argv).
#include "internal.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

struct mh_method {
    method fn = nullptr;
    std::vector<long> types;
};

struct mh_attr;

struct mh_class {
    t_class c;                // SDK layout; must stay first
    t_messlist header[2];     // header[0].m_sym holds the class; objects point at header + 1
    std::string name;
    std::vector<long> new_types;
    std::unordered_map<t_symbol *, mh_method> methods;
    std::vector<mh_attr *> attrs;
    std::vector<std::pair<t_symbol *, t_object *>> sticky; // active sticky attribute properties
};

namespace {

std::mutex registry_lock;

std::unordered_map<const void *, mh_object_info *> &objects()
{
    static auto *m = new std::unordered_map<const void *, mh_object_info *>;
    return *m;
}

// name space -> class name -> class
std::map<t_symbol *, std::map<t_symbol *, t_class *>> &class_registry()
{
    static auto *m = new std::map<t_symbol *, std::map<t_symbol *, t_class *>>;
    return *m;
}

std::vector<long> read_types(long first, va_list ap)
{
    std::vector<long> types;
    long t = first;
    while (t != A_NOTHING && types.size() < 16) {
        types.push_back(t);
        t = va_arg(ap, int);
    }
    return types;
}

mh_class *new_class(const char *name, method mnew, method mfree, long size)
{
    mh_class *c = new mh_class();
    c->name = name ? name : "";
    c->c.c_sym = gensym(c->name.c_str());
    c->c.c_freefun = mfree;
    c->c.c_size = (t_getbytes_size)std::max<long>(size, (long)sizeof(t_object));
    c->c.c_messlist = c->header;
    c->header[0].m_sym = (t_symbol *)(void *)&c->c;
    c->header[0].m_fun = mnew;
    c->header[1].m_sym = nullptr;
    return c;
}

} // namespace

// ---------------------------------------------------------------- lookups

mh_object_info *mh_info(const void *x)
{
    if (!x)
        return nullptr;
    std::lock_guard<std::mutex> guard(registry_lock);
    auto it = objects().find(x);
    return it == objects().end() ? nullptr : it->second;
}

bool mh_is_object(const void *x) { return mh_info(x) != nullptr; }

mh_class *mh_class_of(const void *x)
{
    mh_object_info *info = mh_info(x);
    return info ? info->cls : nullptr;
}

t_class *mh_find_class(t_symbol *name_space, t_symbol *name)
{
    std::lock_guard<std::mutex> guard(registry_lock);
    auto ns = class_registry().find(name_space);
    if (ns == class_registry().end())
        return nullptr;
    auto it = ns->second.find(name);
    return it == ns->second.end() ? nullptr : it->second;
}

method mh_find_method(const void *x, t_symbol *name, std::vector<long> *types)
{
    mh_class *c = mh_class_of(x);
    if (!c)
        return nullptr;
    auto it = c->methods.find(name);
    if (it == c->methods.end())
        return nullptr;
    if (types)
        *types = it->second.types;
    return it->second.fn;
}

std::vector<mh_attr *> mh_class_attrs(const void *x)
{
    mh_class *c = mh_class_of(x);
    return c ? c->attrs : std::vector<mh_attr *>();
}

// Used by attributes.cpp, which owns the attribute records.
std::vector<mh_attr *> &mh_class_attr_list(t_class *c) { return ((mh_class *)c)->attrs; }
std::vector<std::pair<t_symbol *, t_object *>> &mh_class_sticky(t_class *c) { return ((mh_class *)c)->sticky; }

t_class *mh_internal_class(const char *name, long size, method freefn)
{
    mh_class *c = new_class(name, nullptr, freefn, size);
    class_register(CLASS_NOBOX, &c->c);
    return &c->c;
}

// ---------------------------------------------------------------- classes

t_class *class_new(const char *name, const method mnew, const method mfree, long size, const method mmenu,
                   short type, ...)
{
    (void)mmenu;
    mh_class *c = new_class(name, mnew, mfree, size);
    va_list ap;
    va_start(ap, type);
    c->new_types = read_types(type, ap);
    va_end(ap);
    return &c->c;
}

t_max_err class_register(t_symbol *name_space, t_class *c)
{
    if (!c || !name_space)
        return MAX_ERR_INVALID_PTR;
    c->c_flags |= CLASS_FLAG_REGISTERED;
    if (name_space == CLASS_BOX)
        c->c_flags |= CLASS_FLAG_BOX;
    std::lock_guard<std::mutex> guard(registry_lock);
    class_registry()[name_space][c->c_sym] = c;
    return MAX_ERR_NONE;
}

t_max_err class_addmethod(t_class *c, const method m, const char *name, ...)
{
    if (!c || !name)
        return MAX_ERR_INVALID_PTR;
    va_list ap;
    va_start(ap, name);
    int first = va_arg(ap, int);
    mh_method entry;
    entry.fn = m;
    entry.types = read_types(first, ap);
    va_end(ap);
    ((mh_class *)c)->methods[gensym(name)] = entry;
    c->c_messcount++;
    return MAX_ERR_NONE;
}

// ---------------------------------------------------------------- objects

void *object_alloc(t_class *c)
{
    if (!c)
        return nullptr;
    t_object *x = (t_object *)calloc(1, c->c_size);
    if (!x)
        return nullptr;
    mh_adopt(x, c);
    return x;
}

t_max_err object_free(void *x)
{
    mh_object_info *info = mh_info(x);
    if (!info)
        return MAX_ERR_INVALID_PTR;
    t_object *ob = (t_object *)x;
    // Listeners learn first, while the object is still whole.
    object_notify(x, gensym("free"), nullptr);
    if (info->cls->c.c_freefun)
        ((void (*)(void *))info->cls->c.c_freefun)(x);
    // Whatever the free method left: subscriptions both ways, cords, box.
    for (void *client : std::vector<void *>(info->listeners))
        object_detach_byptr(client, x);
    for (void *reg : std::vector<void *>(info->attached_to))
        object_detach_byptr(x, reg);
    mh_release_io(ob, info);
    mh_box_forget(ob);
    {
        std::lock_guard<std::mutex> guard(registry_lock);
        objects().erase(x);
    }
    delete info;
    ob->o_magic = 0;
    free(x);
    return MAX_ERR_NONE;
}

t_symbol *object_classname(void *x)
{
    mh_class *c = mh_class_of(x);
    return c ? c->c.c_sym : nullptr;
}

void *object_method_imp(void *x, void *sym, void *p1, void *p2, void *p3, void *p4, void *p5, void *p6,
                        void *p7, void *p8)
{
    method fn = mh_find_method(x, (t_symbol *)sym);
    if (!fn)
        return nullptr;
    typedef void *(*fn9)(void *, void *, void *, void *, void *, void *, void *, void *, void *);
    return ((fn9)fn)(x, p1, p2, p3, p4, p5, p6, p7, p8);
}

// Exported for code that takes the address of object_method.
#undef object_method
extern "C" __attribute__((visibility("default"))) void *object_method(void *x, t_symbol *s, ...)
{
    va_list ap;
    va_start(ap, s);
    void *p[8];
    for (int i = 0; i < 8; i++)
        p[i] = va_arg(ap, void *);
    va_end(ap);
    return object_method_imp(x, s, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
}

// ---------------------------------------------------------------- registration and obex

void mh_register(void *x, t_symbol *name_space, t_symbol *name)
{
    mh_object_info *info = mh_info(x);
    if (!info)
        return;
    info->reg_namespace = name_space;
    info->reg_name = name;
}

t_max_err object_findregisteredbyptr(t_symbol **name_space, t_symbol **s, void *x)
{
    mh_object_info *info = mh_info(x);
    if (!info || !info->reg_name)
        return MAX_ERR_GENERIC;
    if (name_space)
        *name_space = info->reg_namespace;
    if (s)
        *s = info->reg_name;
    return MAX_ERR_NONE;
}

void mh_obex_store(void *x, t_symbol *key, t_object *value)
{
    mh_object_info *info = mh_info(x);
    if (!info)
        return;
    for (auto &entry : info->obex) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    info->obex.emplace_back(key, value);
}

t_max_err object_obex_lookup(void *x, t_symbol *key, t_object **val)
{
    mh_object_info *info = mh_info(x);
    if (!info || !val)
        return MAX_ERR_INVALID_PTR;
    for (auto &entry : info->obex) {
        if (entry.first == key && entry.second) {
            *val = entry.second;
            return MAX_ERR_NONE;
        }
    }
    *val = nullptr;
    return MAX_ERR_GENERIC;
}

// ---------------------------------------------------------------- notifications

t_max_err object_attach_byptr(void *x, void *registeredobject)
{
    mh_object_info *client = mh_info(x);
    mh_object_info *reg = mh_info(registeredobject);
    if (!client || !reg)
        return MAX_ERR_INVALID_PTR;
    if (std::find(reg->listeners.begin(), reg->listeners.end(), x) == reg->listeners.end()) {
        reg->listeners.push_back(x);
        client->attached_to.push_back(registeredobject);
    }
    return MAX_ERR_NONE;
}

t_max_err object_detach_byptr(void *x, void *registeredobject)
{
    mh_object_info *reg = mh_info(registeredobject);
    mh_object_info *client = mh_info(x);
    if (reg)
        reg->listeners.erase(std::remove(reg->listeners.begin(), reg->listeners.end(), x), reg->listeners.end());
    if (client)
        client->attached_to.erase(std::remove(client->attached_to.begin(), client->attached_to.end(),
                                              registeredobject),
                                  client->attached_to.end());
    return (reg || client) ? MAX_ERR_NONE : MAX_ERR_INVALID_PTR;
}

t_max_err object_notify(void *x, t_symbol *s, void *data)
{
    mh_object_info *info = mh_info(x);
    if (!info)
        return MAX_ERR_INVALID_PTR;
    if (!info->listeners.empty()) // only a listener runs code the caller does not own
        mh_check_unlocked("object_notify");
    t_symbol *name = info->reg_name ? info->reg_name : gensym("");
    typedef t_max_err (*notify_fn)(void *, t_symbol *, t_symbol *, void *, void *);
    for (void *client : std::vector<void *>(info->listeners)) {
        // A listener may detach others (or itself) while being told.
        mh_object_info *reg = mh_info(x);
        if (!reg || std::find(reg->listeners.begin(), reg->listeners.end(), client) == reg->listeners.end())
            continue;
        method fn = mh_find_method(client, gensym("notify"));
        if (fn)
            ((notify_fn)fn)(client, name, s, x, data);
    }
    return MAX_ERR_NONE;
}

// ---------------------------------------------------------------- typed messages

// A typed method is called with exactly the parameters it declares, in
// order, each as its own C type: longs and symbols as pointer-sized
// integers, floats as doubles.  Only the exact function type is portable:
// System V passes integers and doubles in separate register files, so any
// order would do there, but Windows x64 gives each position one register,
// integer or floating point, and a double in the wrong position arrives as
// garbage.  The templates below pick the exact type from the argument
// pattern at run time (2 to the n instantiations for n arguments).

namespace {

constexpr size_t mh_max_typed_args = 7;

struct mh_typed_args {
    size_t count = 0;
    bool is_double[mh_max_typed_args] = {};
    intptr_t i[mh_max_typed_args] = {};
    double d[mh_max_typed_args] = {};
};

// The registered types' values from the atoms (missing atoms give 0 or the
// empty symbol); false for a type that is not an argument or too many.
bool mh_typed_args_of(const std::vector<long> &types, long argc, const t_atom *argv, mh_typed_args *out)
{
    if (types.size() > mh_max_typed_args)
        return false;
    for (size_t k = 0; k < types.size(); k++) {
        const t_atom *a = (long)k < argc ? argv + k : nullptr;
        switch (types[k]) {
        case A_LONG:
        case A_DEFLONG:
            out->i[k] = (intptr_t)atom_getlong(a);
            break;
        case A_FLOAT:
        case A_DEFFLOAT:
            out->is_double[k] = true;
            out->d[k] = atom_getfloat(a);
            break;
        case A_SYM:
        case A_DEFSYM:
            out->i[k] = (intptr_t)atom_getsym(a);
            break;
        default:
            return false;
        }
    }
    out->count = types.size();
    return true;
}

// Calls fn as R fn([void *self,] Done..., the rest of args from position k).
template <typename R, typename... Done>
R mh_call_positional_from(void *fn, void *self, bool with_self, const mh_typed_args &args, size_t k, Done... done)
{
    if constexpr (sizeof...(Done) < mh_max_typed_args) {
        if (k < args.count) {
            if (args.is_double[k])
                return mh_call_positional_from<R>(fn, self, with_self, args, k + 1, done..., args.d[k]);
            return mh_call_positional_from<R>(fn, self, with_self, args, k + 1, done..., args.i[k]);
        }
    }
    if (with_self)
        return ((R(*)(void *, Done...))fn)(self, done...);
    return ((R(*)(Done...))fn)(done...);
}

template <typename R>
R mh_call_positional(void *fn, void *self, bool with_self, const mh_typed_args &args)
{
    return mh_call_positional_from<R>(fn, self, with_self, args, 0);
}

} // namespace


namespace {

// Calls a typed method with its arguments coerced to the registered types.
bool call_typed(method fn, t_object *x, const std::vector<long> &types, long argc, const t_atom *argv)
{
    mh_typed_args args;
    if (!mh_typed_args_of(types, argc, argv, &args))
        return false;
    mh_call_positional<void>((void *)fn, (void *)x, true, args);
    return true;
}

bool call_method(t_object *x, t_symbol *name, t_symbol *s, long argc, const t_atom *argv)
{
    std::vector<long> types;
    method fn = mh_find_method(x, name, &types);
    if (!fn)
        return false;
    if (!types.empty() && types[0] == A_CANT)
        return false;
    if (!types.empty() && types[0] == A_GIMME) {
        typedef void (*gimme_fn)(void *, t_symbol *, long, t_atom *);
        ((gimme_fn)fn)(x, s, argc, (t_atom *)argv);
        return true;
    }
    return call_typed(fn, x, types, argc, argv);
}

} // namespace

void mh_typedmess(t_object *x, t_symbol *s, long argc, const t_atom *argv)
{
    if (!mh_is_object(x) || !s)
        return;
    static t_symbol *s_float = gensym("float"), *s_int = gensym("int"), *s_list = gensym("list"),
                    *s_anything = gensym("anything");
    if (call_method(x, s, s, argc, argv))
        return;
    // Numbers reach whichever number method the class has.
    if (s == s_float && call_method(x, s_int, s_int, argc, argv))
        return;
    if (s == s_int && call_method(x, s_float, s_float, argc, argv))
        return;
    if (s == s_list && argc == 1 && argv[0].a_type == A_FLOAT && call_method(x, s_float, s_float, 1, argv))
        return;
    if (s == s_list && argc == 1 && argv[0].a_type == A_LONG && call_method(x, s_int, s_int, 1, argv))
        return;
    bool handled = false;
    mh_attr_set_message(x, s, argc, argv, &handled);
    if (handled)
        return;
    if (call_method(x, s_anything, s, argc, argv))
        return;
    object_error(x, "doesn't understand \"%s\"", s->s_name);
}

// ---------------------------------------------------------------- host-made objects

// Gives a block that the host allocated itself (a C++ record starting with
// t_object) an object header and a record, so that it answers messages.
void mh_adopt(t_object *x, t_class *c)
{
    mh_class *mc = (mh_class *)c;
    x->o_messlist = mc->header + 1;
    x->o_magic = MAGIC;
    mh_object_info *info = new mh_object_info();
    info->cls = mc;
    std::lock_guard<std::mutex> guard(registry_lock);
    objects()[x] = info;
}

// Undoes mh_adopt; the caller frees the block.
void mh_unadopt(t_object *x)
{
    mh_object_info *info = nullptr;
    {
        std::lock_guard<std::mutex> guard(registry_lock);
        auto it = objects().find(x);
        if (it == objects().end())
            return;
        info = it->second;
        objects().erase(it);
    }
    delete info;
    x->o_magic = 0;
}

mh_class_new_info mh_class_new_fn(t_class *c)
{
    mh_class_new_info info;
    if (!c)
        return info;
    mh_class *mc = (mh_class *)c;
    info.fn = mc->header[0].m_fun;
    info.types = mc->new_types;
    return info;
}

void *mh_call_typed_new(method fn, const std::vector<long> &types, long argc, const t_atom *argv)
{
    mh_typed_args args;
    if (!mh_typed_args_of(types, argc, argv, &args))
        return nullptr;
    return mh_call_positional<void *>((void *)fn, nullptr, false, args);
}

std::vector<maxhost::MethodInfo> maxhost::methods_of(t_class *c)
{
    std::vector<maxhost::MethodInfo> out;
    if (!c)
        return out;
    for (const auto &entry : ((mh_class *)c)->methods)
        out.push_back({entry.first->s_name, entry.second.types});
    std::sort(out.begin(), out.end(), [](const auto &a, const auto &b) { return a.name < b.name; });
    return out;
}
