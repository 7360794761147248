// Classes, objects, attributes, notifications and atoms.
#pragma once

#include "ext_mess.h"
#include "ext_dictionary.h"

#define CLASS_BOX gensym("box")
#define CLASS_NOBOX gensym("nobox")

typedef enum {
    ATTR_FLAGS_NONE = 0x0000000,
    ATTR_GET_OPAQUE = 0x00000001,
    ATTR_SET_OPAQUE = 0x00000002,
    ATTR_GET_OPAQUE_USER = 0x00000100,
    ATTR_SET_OPAQUE_USER = 0x00000200,
    ATTR_GET_DEFER = 0x00010000,
    ATTR_GET_USURP = 0x00020000,
    ATTR_GET_DEFER_LOW = 0x00040000,
    ATTR_GET_USURP_LOW = 0x00080000,
    ATTR_SET_DEFER = 0x01000000,
    ATTR_SET_USURP = 0x02000000,
    ATTR_SET_DEFER_LOW = 0x04000000,
    ATTR_SET_USURP_LOW = 0x08000000,
    ATTR_IS_JBOXATTR = 0x10000000,
    ATTR_DIRTY = 0x20000000
} e_max_attrflags;

typedef struct _attr {
    t_object ob;
    t_symbol *name;
    t_symbol *type;
    long flags;
    method get;
    method set;
    void *filterget;
    void *filterset;
    void *reserved;
} t_attr;

#define ATTR_SET_DIRTY(x) (((t_attr *)(x))->flags |= ATTR_DIRTY)
#define ATTR_UNSET_DIRTY(x) (((t_attr *)(x))->flags &= ~ATTR_DIRTY)
#define ATTR_GET_DIRTY(x) (((t_attr *)(x))->flags & ATTR_DIRTY)

BEGIN_USING_C_LINKAGE

t_class *class_new(const char *name, const method mnew, const method mfree, long size, const method mmenu,
                   short type, ...);
t_max_err class_register(t_symbol *name_space, t_class *c);
t_max_err class_addmethod(t_class *c, const method m, const char *name, ...);
t_max_err class_addattr(t_class *c, t_object *attr);
void *class_attr_get(t_class *x, t_symbol *attrname);
t_max_err class_sticky(t_class *x, t_symbol *stickyname, t_symbol *s, t_object *o);
t_max_err class_sticky_clear(t_class *x, t_symbol *stickyname, t_symbol *s);

void *object_alloc(t_class *c);
t_max_err object_free(void *x);
t_symbol *object_classname(void *x);
void *object_method_imp(void *x, void *sym, void *p1, void *p2, void *p3, void *p4, void *p5, void *p6,
                        void *p7, void *p8);
t_max_err object_notify(void *x, t_symbol *s, void *data);
t_max_err object_attach_byptr(void *x, void *registeredobject);
t_max_err object_detach_byptr(void *x, void *registeredobject);
t_max_err object_findregisteredbyptr(t_symbol **name_space, t_symbol **s, void *x);
t_max_err object_obex_lookup(void *x, t_symbol *key, t_object **val);

t_object *attr_offset_new(const char *name, const t_symbol *type, long flags, const method mget,
                          const method mset, long offset);
t_object *attr_offset_array_new(const char *name, t_symbol *type, long size, long flags, method mget,
                                method mset, long offsetcount, long offset);
t_max_err attr_addfilter_clip(void *x, double min, double max, long usemin, long usemax);
void attr_dictionary_process(void *x, t_dictionary *d);
t_dictionary *object_dictionaryarg(long ac, t_atom *av);

t_max_err object_attr_getvalueof(void *x, t_symbol *s, long *argc, t_atom **argv);
t_max_err object_attr_setvalueof(void *x, t_symbol *s, long argc, t_atom *argv);
t_atom_long object_attr_getlong(void *x, t_symbol *s);
t_atom_float object_attr_getfloat(void *x, t_symbol *s);
t_max_err object_attr_touch(t_object *x, t_symbol *attrname);

t_max_err atom_setlong(t_atom *a, t_atom_long b);
t_max_err atom_setfloat(t_atom *a, double b);
t_max_err atom_setsym(t_atom *a, t_symbol *b);
t_atom_long atom_getlong(const t_atom *a);
t_atom_float atom_getfloat(const t_atom *a);
t_symbol *atom_getsym(const t_atom *a);
long atom_gettype(const t_atom *a);
t_max_err atom_alloc(long *ac, t_atom **av, char *alloc);

END_USING_C_LINKAGE

// On 64-bit builds object_method passes every argument as a pointer-sized
// value to object_method_imp, padding with zeros to 10 arguments.
#define C74_VARFUN_P(a) ((void *)(t_ptr_int)(a))
#define C74_VARFUN_COUNT(...) C74_VARFUN_COUNT_(__VA_ARGS__, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define C74_VARFUN_COUNT_(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, N, ...) N
#define C74_VARFUN_CAT(a, b) C74_VARFUN_CAT_(a, b)
#define C74_VARFUN_CAT_(a, b) a##b
#define C74_VARFUN(f, ...) C74_VARFUN_CAT(C74_VARFUN_, C74_VARFUN_COUNT(__VA_ARGS__))(f, __VA_ARGS__)
#define C74_VARFUN_2(f, a, b) f(C74_VARFUN_P(a), C74_VARFUN_P(b), 0, 0, 0, 0, 0, 0, 0, 0)
#define C74_VARFUN_3(f, a, b, c) f(C74_VARFUN_P(a), C74_VARFUN_P(b), C74_VARFUN_P(c), 0, 0, 0, 0, 0, 0, 0)
#define C74_VARFUN_4(f, a, b, c, d) \
    f(C74_VARFUN_P(a), C74_VARFUN_P(b), C74_VARFUN_P(c), C74_VARFUN_P(d), 0, 0, 0, 0, 0, 0)
#define C74_VARFUN_5(f, a, b, c, d, e) \
    f(C74_VARFUN_P(a), C74_VARFUN_P(b), C74_VARFUN_P(c), C74_VARFUN_P(d), C74_VARFUN_P(e), 0, 0, 0, 0, 0)
#define C74_VARFUN_6(f, a, b, c, d, e, g)                                                                     \
    f(C74_VARFUN_P(a), C74_VARFUN_P(b), C74_VARFUN_P(c), C74_VARFUN_P(d), C74_VARFUN_P(e), C74_VARFUN_P(g), \
      0, 0, 0, 0)
#define C74_VARFUN_7(f, a, b, c, d, e, g, h)                                                                  \
    f(C74_VARFUN_P(a), C74_VARFUN_P(b), C74_VARFUN_P(c), C74_VARFUN_P(d), C74_VARFUN_P(e), C74_VARFUN_P(g), \
      C74_VARFUN_P(h), 0, 0, 0)
#define C74_VARFUN_8(f, a, b, c, d, e, g, h, i)                                                               \
    f(C74_VARFUN_P(a), C74_VARFUN_P(b), C74_VARFUN_P(c), C74_VARFUN_P(d), C74_VARFUN_P(e), C74_VARFUN_P(g), \
      C74_VARFUN_P(h), C74_VARFUN_P(i), 0, 0)
#define C74_VARFUN_9(f, a, b, c, d, e, g, h, i, j)                                                            \
    f(C74_VARFUN_P(a), C74_VARFUN_P(b), C74_VARFUN_P(c), C74_VARFUN_P(d), C74_VARFUN_P(e), C74_VARFUN_P(g), \
      C74_VARFUN_P(h), C74_VARFUN_P(i), C74_VARFUN_P(j), 0)
#define C74_VARFUN_10(f, a, b, c, d, e, g, h, i, j, k)                                                        \
    f(C74_VARFUN_P(a), C74_VARFUN_P(b), C74_VARFUN_P(c), C74_VARFUN_P(d), C74_VARFUN_P(e), C74_VARFUN_P(g), \
      C74_VARFUN_P(h), C74_VARFUN_P(i), C74_VARFUN_P(j), C74_VARFUN_P(k))

#define object_method(...) C74_VARFUN(object_method_imp, __VA_ARGS__)
