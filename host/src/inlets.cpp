// Inlets, outlets and delivery along patch cords.
//
// Inlet 0 is the object itself; inlets made later are placed to the right of
// inlet 0 and to the left of the ones made before them, so a plug-in creates
// its rightmost inlet first (outlets likewise, all of them).  A float inlet
// turns floats and ints into "ftN"; a general inlet passes every message on
// unchanged.  Delivery is synchronous and may re-enter the same object on the
// same thread (a box patched into itself); a depth limit stands in for
// Max's stack-overflow protection.
#include "internal.h"

#include <algorithm>
#include <unordered_set>

struct mh_inlet {
    t_object *owner = nullptr;
    int float_number = 0;      // n for a float inlet ("ftN"), 0 for others
    t_symbol *only = nullptr;  // a named inlet accepts only this message
};

struct mh_connection {
    t_object *dest;
    long inlet;
};

struct mh_outlet {
    t_object *owner = nullptr;
    t_symbol *type = nullptr;
    std::vector<mh_connection> connections;
};

namespace {

int delivery_depth = 0;
const int max_delivery_depth = 512;

std::unordered_set<mh_outlet *> &all_outlets()
{
    static auto *s = new std::unordered_set<mh_outlet *>;
    return *s;
}

// Outlet pointers are handed to plug-ins; only live ones are used.
mh_outlet *as_outlet(void *x)
{
    mh_outlet *o = (mh_outlet *)x;
    return all_outlets().count(o) ? o : nullptr;
}

long outlet_index(mh_outlet *o)
{
    mh_object_info *info = mh_info(o->owner);
    if (!info)
        return -1;
    auto it = std::find(info->outlets.begin(), info->outlets.end(), o);
    return it == info->outlets.end() ? -1 : (long)(it - info->outlets.begin());
}

void *send_out(void *x, t_symbol *s, long ac, const t_atom *av)
{
    mh_outlet *o = as_outlet(x);
    if (!o || !mh_is_object(o->owner))
        return nullptr;
    if (delivery_depth >= max_delivery_depth) {
        object_error(o->owner, "stack overflow: message \"%s\" dropped", s->s_name);
        return nullptr;
    }
    mh_check_unlocked("an outlet call");
    mh_report_outlet(o->owner, outlet_index(o), s, ac, av);
    delivery_depth++;
    // A receiver may change the patch while a message travels; deliver to a
    // copy of the cords.
    std::vector<mh_connection> conns = o->connections;
    for (const mh_connection &c : conns)
        mh_deliver(c.dest, c.inlet, s, ac, av);
    delivery_depth--;
    return (void *)1;
}

} // namespace

int maxhost::delivery_depth() { return ::delivery_depth; }

void *inlet_new(void *x, const char *s)
{
    mh_object_info *info = mh_info(x);
    if (!info)
        return nullptr;
    mh_inlet *in = new mh_inlet();
    in->owner = (t_object *)x;
    in->only = s ? gensym(s) : nullptr;
    info->inlets.insert(info->inlets.begin(), in);
    return in;
}

void *floatin(void *x, short n)
{
    mh_object_info *info = mh_info(x);
    if (!info || n < 1 || n > 9)
        return nullptr;
    mh_inlet *in = new mh_inlet();
    in->owner = (t_object *)x;
    in->float_number = n;
    info->inlets.insert(info->inlets.begin(), in);
    return in;
}

void *outlet_new(void *x, const char *s)
{
    mh_object_info *info = mh_info(x);
    if (!info)
        return nullptr;
    mh_outlet *o = new mh_outlet();
    o->owner = (t_object *)x;
    o->type = s ? gensym(s) : nullptr;
    all_outlets().insert(o);
    info->outlets.insert(info->outlets.begin(), o);
    return o;
}

void *floatout(void *x) { return outlet_new(x, "float"); }

void *listout(void *x) { return outlet_new(x, "list"); }

void *outlet_float(t_outlet *x, double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    return send_out(x, gensym("float"), 1, &a);
}

void *outlet_list(t_outlet *x, t_symbol *s, short ac, t_atom *av)
{
    (void)s;
    return send_out(x, gensym("list"), ac, av);
}

void *outlet_anything(t_outlet *x, t_symbol *s, short ac, t_atom *av)
{
    return send_out(x, s ? s : gensym(""), ac, av);
}

void stdinletinfo(t_object *s, void *b, long a, char *t)
{
    (void)s;
    (void)b;
    if (t)
        *t = a > 0 ? 1 : 0;
}

void mh_deliver(t_object *x, long inlet, t_symbol *s, long argc, const t_atom *argv)
{
    mh_object_info *info = mh_info(x);
    if (!info)
        return;
    if (inlet <= 0) {
        mh_typedmess(x, s, argc, argv);
        return;
    }
    if ((size_t)inlet > info->inlets.size())
        return;
    mh_inlet *in = info->inlets[inlet - 1];
    if (in->float_number) {
        static t_symbol *s_float = gensym("float"), *s_int = gensym("int"), *s_list = gensym("list");
        bool number = (s == s_float || s == s_int || (s == s_list && argc >= 1)) && argc >= 1 &&
                      (argv[0].a_type == A_FLOAT || argv[0].a_type == A_LONG);
        if (!number) {
            object_error(x, "inlet %ld: expected a number, got \"%s\"", inlet, s->s_name);
            return;
        }
        char name[8];
        snprintf(name, sizeof name, "ft%d", in->float_number);
        t_atom a;
        atom_setfloat(&a, atom_getfloat(argv));
        mh_typedmess(x, gensym(name), 1, &a);
        return;
    }
    if (in->only && in->only != s) {
        object_error(x, "inlet %ld: doesn't understand \"%s\"", inlet, s->s_name);
        return;
    }
    mh_typedmess(x, s, argc, argv);
}

// ---------------------------------------------------------------- cords

bool mh_connect(t_object *src, long outlet, t_object *dest, long inlet)
{
    mh_object_info *si = mh_info(src);
    mh_object_info *di = mh_info(dest);
    if (!si || !di || outlet < 0 || (size_t)outlet >= si->outlets.size() || inlet < 0 ||
        (size_t)inlet > di->inlets.size())
        return false;
    si->outlets[outlet]->connections.push_back({dest, inlet});
    return true;
}

void mh_disconnect(t_object *src, long outlet, t_object *dest, long inlet)
{
    mh_object_info *si = mh_info(src);
    if (!si || outlet < 0 || (size_t)outlet >= si->outlets.size())
        return;
    auto &conns = si->outlets[outlet]->connections;
    for (auto it = conns.begin(); it != conns.end(); ++it) {
        if (it->dest == dest && it->inlet == inlet) {
            conns.erase(it);
            return;
        }
    }
}

long mh_inlet_count(t_object *x)
{
    mh_object_info *info = mh_info(x);
    return info ? (long)info->inlets.size() + 1 : 0;
}

long mh_outlet_count(t_object *x)
{
    mh_object_info *info = mh_info(x);
    return info ? (long)info->outlets.size() : 0;
}

void mh_release_io(t_object *x, mh_object_info *info)
{
    // Cords into x from any outlet, then x's own inlets and outlets.
    for (mh_outlet *o : all_outlets()) {
        auto &c = o->connections;
        c.erase(std::remove_if(c.begin(), c.end(), [x](const mh_connection &k) { return k.dest == x; }), c.end());
    }
    for (mh_inlet *in : info->inlets)
        delete in;
    info->inlets.clear();
    for (mh_outlet *o : info->outlets) {
        all_outlets().erase(o);
        delete o;
    }
    info->outlets.clear();
}
