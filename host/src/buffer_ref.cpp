// buffer~ names and references to them.
//
// The name table keeps every live buffer~ and, per name, the buffer~ objects
// of that name in creation order: the first holds the name (the symbol's
// s_thing points at it); a later one of the same name waits and takes the
// name over when the holder goes away.
//
// A reference (t_buffer_ref) is a host object freed with object_free.  It
// stores only its owner and a name and resolves the name on every call, so
// it always refers to whichever buffer~ holds the name now.  The table keeps
// every live reference in creation order; notifications go to the owners of
// the live references of a name, from the event queue, and a reference freed
// (or renamed) before its event runs is skipped.  The owner is called as
// notify(owner, name, msg, sender, NULL): msg "globalsymbol_binding" (sender
// the new holder) when a buffer~ takes the name, "globalsymbol_unbinding"
// (sender NULL: the buffer~ is gone by then) when it lets go of it, and
// "buffer_modified" (sender the holder) after a dirty mark, a read or a
// resize.  Taking a name is followed by a buffer_modified, since the name
// now stands for other samples.
#include "buffer_internal.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <unordered_set>

struct _buffer_ref {
    t_object ob;      // first: references are host objects
    t_object *owner;  // told of changes through its notify method (borrowed)
    t_symbol *name;   // guarded by the table lock
    uint64_t serial;  // creation order
};

namespace {

struct mh_buffer_table {
    std::mutex lock;
    std::unordered_map<const void *, mh_buffer_ptr> live;              // buffer~ object -> state
    std::unordered_map<t_symbol *, std::vector<mh_buffer_ptr>> by_name; // creation order; front holds the name
    std::map<uint64_t, t_buffer_ref *> refs;                          // live references by serial
    std::unordered_set<const void *> ref_set;                         // the same, by pointer
    uint64_t next_serial = 1;
};

mh_buffer_table &table()
{
    static auto *t = new mh_buffer_table; // lives until exit
    return *t;
}

void ref_free(t_buffer_ref *x)
{
    mh_buffer_table &t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.refs.erase(x->serial);
    t.ref_set.erase(x);
}

t_class *ref_class()
{
    static t_class *c = mh_internal_class("buffer_ref", sizeof(t_buffer_ref), (method)ref_free);
    return c;
}

// The buffer~ holding a name; the caller holds the table lock.
mh_buffer_ptr holder_locked(mh_buffer_table &t, t_symbol *name)
{
    auto it = t.by_name.find(name);
    return it == t.by_name.end() || it->second.empty() ? nullptr : it->second.front();
}

bool alive_locked(mh_buffer_table &t, const mh_buffer_ptr &st)
{
    if (!st)
        return false;
    auto it = t.live.find(st->object);
    return it != t.live.end() && it->second == st;
}

void queue_binding(const mh_buffer_ptr &st)
{
    std::weak_ptr<mh_buffer_state> weak = st;
    t_symbol *name = st->name;
    mh_queue_push([weak, name] {
        static t_symbol *msg = gensym("globalsymbol_binding");
        mh_buffer_deliver(name, msg, weak.lock(), false);
    });
    mh_buffer_mark_modified(st);
}

void queue_unbinding(t_symbol *name)
{
    mh_queue_push([name] {
        static t_symbol *msg = gensym("globalsymbol_unbinding");
        mh_buffer_deliver(name, msg, nullptr, false);
    });
}

} // namespace

// ---------------------------------------------------------------- the name table

bool mh_buffer_add(const mh_buffer_ptr &st)
{
    mh_buffer_table &t = table();
    bool bound;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        t.live[st->object] = st;
        std::vector<mh_buffer_ptr> &list = t.by_name[st->name];
        list.push_back(st);
        bound = list.size() == 1;
        if (bound) {
            st->bound = true;
            st->name->s_thing = st->object;
        }
    }
    if (bound)
        queue_binding(st);
    return bound;
}

void mh_buffer_remove(const mh_buffer_ptr &st)
{
    mh_buffer_table &t = table();
    bool was_bound;
    mh_buffer_ptr successor;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        t.live.erase(st->object);
        std::vector<mh_buffer_ptr> &list = t.by_name[st->name];
        list.erase(std::remove(list.begin(), list.end(), st), list.end());
        was_bound = st->bound;
        st->bound = false;
        if (was_bound) {
            successor = list.empty() ? nullptr : list.front();
            st->name->s_thing = successor ? successor->object : nullptr;
            if (successor)
                successor->bound = true;
        }
        if (list.empty())
            t.by_name.erase(st->name);
    }
    if (!was_bound)
        return;
    queue_unbinding(st->name);
    if (successor)
        queue_binding(successor);
}

mh_buffer_ptr mh_buffer_find(const void *x)
{
    if (!x)
        return nullptr;
    mh_buffer_table &t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.live.find(x);
    return it == t.live.end() ? nullptr : it->second;
}

mh_buffer_ptr mh_buffer_bound(t_symbol *name)
{
    if (!name)
        return nullptr;
    mh_buffer_table &t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return holder_locked(t, name);
}

std::vector<mh_buffer_ptr> mh_buffer_all()
{
    mh_buffer_table &t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    std::vector<mh_buffer_ptr> all;
    for (const auto &entry : t.live)
        all.push_back(entry.second);
    return all;
}

void mh_buffer_deliver(t_symbol *name, t_symbol *msg, const mh_buffer_ptr &sender, bool only_if_bound)
{
    typedef t_max_err (*notify_fn)(void *, t_symbol *, t_symbol *, void *, void *);
    static t_symbol *s_notify = gensym("notify");
    mh_buffer_table &t = table();
    std::vector<std::pair<uint64_t, t_buffer_ref *>> targets;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        for (const auto &r : t.refs)
            if (r.second->name == name)
                targets.push_back(r);
    }
    for (const auto &target : targets) {
        t_object *owner, *from;
        {
            // An earlier owner's notify may have freed or renamed references,
            // or freed the buffer~ itself.
            std::lock_guard<std::mutex> guard(t.lock);
            auto it = t.refs.find(target.first);
            if (it == t.refs.end() || it->second != target.second || target.second->name != name)
                continue;
            bool sender_alive = alive_locked(t, sender);
            if (only_if_bound && !(sender_alive && sender->bound))
                return;
            owner = target.second->owner;
            from = sender_alive ? sender->object : nullptr;
        }
        method fn = owner && mh_is_object(owner) ? mh_find_method(owner, s_notify) : nullptr;
        if (fn)
            ((notify_fn)fn)(owner, name, msg, from, nullptr);
    }
}

// ---------------------------------------------------------------- references

t_buffer_ref *buffer_ref_new(t_object *self, t_symbol *name)
{
    t_buffer_ref *x = (t_buffer_ref *)object_alloc(ref_class());
    if (!x)
        return nullptr;
    x->owner = self;
    mh_buffer_table &t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    x->name = name ? name : gensym("");
    x->serial = t.next_serial++;
    t.refs[x->serial] = x;
    t.ref_set.insert(x);
    return x;
}

void buffer_ref_set(t_buffer_ref *x, t_symbol *name)
{
    mh_buffer_table &t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.ref_set.count(x))
        x->name = name ? name : gensym("");
}

t_buffer_obj *buffer_ref_getobject(t_buffer_ref *x)
{
    mh_buffer_table &t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (!t.ref_set.count(x))
        return nullptr;
    mh_buffer_ptr st = holder_locked(t, x->name);
    return st ? st->object : nullptr;
}

t_atom_long buffer_ref_exists(t_buffer_ref *x) { return buffer_ref_getobject(x) ? 1 : 0; }

t_max_err buffer_ref_notify(t_buffer_ref *x, t_symbol *s, t_symbol *msg, void *sender, void *data)
{
    (void)s;
    (void)msg;
    (void)sender;
    (void)data;
    // A reference resolves its name on every call, so binding changes need
    // no bookkeeping here.
    mh_buffer_table &t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.ref_set.count(x) ? MAX_ERR_NONE : MAX_ERR_INVALID_PTR;
}
