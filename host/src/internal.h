// Private header of the stand-in host.  Not part of the SDK interface:
// plug-ins must never include it (they see only host/include).
//
// Everything declared by the SDK headers is exported from libmaxhost (the
// visibility pragma below makes every SDK declaration default-visible, and a
// definition takes the visibility of its first declaration); everything else
// in the host is hidden.  Host-internal helpers carry the prefix mh_ so that
// no reader mistakes them for SDK calls.
#pragma once

#ifndef MAXHOST_BUILDING
#error "internal.h is private to the stand-in host; plug-ins include the SDK headers only"
#endif

#pragma GCC visibility push(default)
#include "ext.h"
#include "ext_obex.h"
#include "ext_obex_util.h"
#include "jgraphics.h"
#include "ext_buffer.h"
#include "ext_critical.h"
#include "ext_sysparallel.h"
#pragma GCC visibility pop

#include "maxhost.h"

#include <functional>
#include <string>
#include <vector>

// ---- symbols and atoms (symbols.cpp) ----
t_symbol *mh_sym(const std::string &s);
std::string mh_atom_to_string(const t_atom &a);

// ---- classes and objects (objects.cpp) ----
struct mh_class;                       // host-side data of a t_class
mh_class *mh_class_of(const void *x);  // class record of an object, or null
t_class *mh_find_class(t_symbol *name_space, t_symbol *name);
// The method registered under `name`, or null.  `types` receives its A_* list.
method mh_find_method(const void *x, t_symbol *name, std::vector<long> *types = nullptr);
// True for objects made by object_alloc (and not freed yet).
bool mh_is_object(const void *x);
// Creates an object of a host-internal class from a C++ type that embeds
// t_object first; the class is registered in the "nobox" name space.
t_class *mh_internal_class(const char *name, long size, method freefn);

// ---- attributes (attributes.cpp) ----
struct mh_attr;
mh_attr *mh_attr_find(const void *x, t_symbol *name);

// ---- plug-in search path (loader.cpp) ----
// The folders searched for plug-ins, in order (added ones first, then
// $MAXHOST_PATH, then the build's externals folder).
std::vector<std::string> mh_search_paths();

// ---- paths (paths.cpp) ----
// Folder id for a directory (created on first use; ids are stable).
short mh_path_id_for_folder(const std::string &folder);
// The folder of an id; false for an unknown id.
bool mh_path_folder(short id, std::string *folder);

// ---- event queue (threads.cpp) ----
void mh_queue_push(std::function<void()> fn);
bool mh_on_main_thread();

// ---- debug checks of the rules a plug-in keeps in a real Max (threads.cpp) ----
// Debug builds (NDEBUG not defined) stop the process with a message naming
// `call` when an outlet, notification or deferral is made while the calling
// thread holds a critical region or a buffer~ sample lock (the patch below
// an outlet runs at once and may paint, lock, or call back), or when a UI
// call comes from another thread than the main one.  Release builds skip them.
#ifdef NDEBUG
inline void mh_check_unlocked(const char *) {}
inline void mh_check_main_thread(const char *) {}
#else
void mh_check_unlocked(const char *call);
void mh_check_main_thread(const char *call);
#endif
// ---- buffer~ sample locks (buffer_samples.cpp) ----
// True when the calling thread holds the samples of some buffer~.
bool mh_samples_locked_here();

// ---- host-side records kept for every object (objects.cpp) ----
struct mh_inlet;
struct mh_outlet;
struct mh_box;

struct mh_object_info {
    mh_class *cls = nullptr;
    std::vector<mh_inlet *> inlets;   // inlets 1.. (inlet 0 is the object itself)
    std::vector<mh_outlet *> outlets; // left to right
    std::vector<void *> listeners;    // clients attached to this object, in attach order
    std::vector<void *> attached_to;  // objects this one listens to
    t_symbol *reg_name = nullptr;     // registered name, null when not registered
    t_symbol *reg_namespace = nullptr;
    std::vector<std::pair<t_symbol *, t_object *>> obex; // "#P", "#B", ...
    mh_box *box = nullptr;            // the box that holds this object, if any
};

// The record of a live object, or null.  Valid until the object is freed.
mh_object_info *mh_info(const void *x);
// Registers an object under a name in a name space (jbox_new, buffer~).
void mh_register(void *x, t_symbol *name_space, t_symbol *name);
void mh_obex_store(void *x, t_symbol *key, t_object *value);
// Delivers a message to inlet 0 of an object the way a patch cord does:
// typed methods, attributes, then "anything".  Reports an unknown message.
void mh_typedmess(t_object *x, t_symbol *s, long argc, const t_atom *argv);
// Delivers a message to any inlet of an object (inlets.cpp).
void mh_deliver(t_object *x, long inlet, t_symbol *s, long argc, const t_atom *argv);
// Removes every cord into and out of an object and frees its inlets and
// outlets (inlets.cpp); called when an object is freed.
void mh_release_io(t_object *x, mh_object_info *info);

// ---- attributes (attributes.cpp) ----
t_max_err mh_attr_set_message(t_object *x, t_symbol *name, long argc, const t_atom *argv, bool *handled);
// The class attributes of an object in registration order.
std::vector<mh_attr *> mh_class_attrs(const void *x);

// ---- boxes (patcher.cpp) ----
struct mh_box_layer;
struct mh_box {
    t_object *box = nullptr;     // what patch cords connect: the UI object itself, or a wrapper
    t_object *object = nullptr;  // the object in the box
    t_object *patcher = nullptr;
    std::string id, varname, maxclass;
    bool ui = false;
    bool placeholder = false;
    bool ready = false;
    bool redraw_pending = false;
    long cursor = -1;
    t_rect rect{0, 0, 0, 0};
    std::vector<mh_box_layer *> layers;
    maxhost::Image picture;      // last scheduled repaint
};
// The box record of a box or of the object it holds, or null.
mh_box *mh_box_of(const void *box_or_object);
// Called when an object that is a box (or is held by one) is freed.
void mh_box_forget(t_object *x);
// Patcher being filled by box_new, for jbox_new's "#P" (null otherwise).
extern t_object *mh_creating_patcher;
extern mh_box *mh_creating_box;
// Reports an outlet message to the front end's hook (patcher.cpp).
void mh_report_outlet(t_object *owner, long outlet, t_symbol *s, long argc, const t_atom *argv);
void mh_adopt(t_object *x, t_class *c);
void mh_unadopt(t_object *x);
std::vector<mh_attr *> &mh_class_attr_list(t_class *c);
std::vector<std::pair<t_symbol *, t_object *>> &mh_class_sticky(t_class *c);
// Attribute queries for the box code and front ends (attributes.cpp).
t_symbol *mh_attr_name(mh_attr *a);
const maxhost::Atoms *mh_attr_prop(mh_attr *a, t_symbol *prop);
const maxhost::Atoms *mh_attr_prop_of(t_object *attr_object, t_symbol *prop);
// Parses a Max-style argument string: words, double-quoted words, numbers.
maxhost::Atoms mh_parse_atoms(const std::string &text);
// Builds the creation dictionary of a new box (defaults, then saved values).
t_dictionary *mh_dict_new(const std::vector<std::pair<t_symbol *, maxhost::Atoms>> &entries);
void mh_dict_free(t_dictionary *d);
bool mh_dict_get(t_dictionary *d, t_symbol *key, maxhost::Atoms *value);
// The class defaults ("default" / "defaultname") of a class, in attribute order.
std::vector<std::pair<t_symbol *, maxhost::Atoms>> mh_class_defaults(t_class *c);
// Patch cords between objects (inlets.cpp).
bool mh_connect(t_object *src, long outlet, t_object *dest, long inlet);
void mh_disconnect(t_object *src, long outlet, t_object *dest, long inlet);
long mh_inlet_count(t_object *x);
long mh_outlet_count(t_object *x);
// Layers and repaint hook (layers.cpp).
void mh_layer_free(mh_box_layer *layer);
const maxhost::RedrawHook &mh_redraw_hook();
// A view for boxes that no patcher holds (patcher.cpp).
t_object *mh_detached_view();
// Constructor of a class and its argument types (objects.cpp).
struct mh_class_new_info {
    method fn = nullptr;
    std::vector<long> types;
};
mh_class_new_info mh_class_new_fn(t_class *c);
// Calls a constructor with typed (non-GIMME) arguments.
void *mh_call_typed_new(method fn, const std::vector<long> &types, long argc, const t_atom *argv);
// Default folder for relative file names (paths.cpp).
void mh_set_default_folder(const std::string &folder);
std::string mh_default_folder();
