// Attribute registration macros and the attribute-property helpers they call.
#pragma once

#include "ext_obex.h"
#include "ext_proto.h"

BEGIN_USING_C_LINKAGE
t_object *attribute_new_parse(const char *attrname, t_symbol *type, long flags, const char *parsestr);
t_object *attribute_new_format(const char *attrname, t_symbol *type, long flags, const char *fmt, ...);
t_max_err class_attr_addattr_parse(t_class *c, const char *attrname, const char *attrname2, t_symbol *type,
                                   long flags, const char *parsestr);
t_max_err class_attr_addattr_format(t_class *c, const char *attrname, const char *attrname2,
                                    const t_symbol *type, long flags, const char *fmt, ...);
t_max_err class_attr_addattr_atoms(t_class *c, const char *attrname, const char *attrname2, t_symbol *type,
                                   long flags, long ac, t_atom *av);
END_USING_C_LINKAGE

#define USESYM(x) gensym(#x)

#define CLASS_ATTR_ATTR_PARSE class_attr_addattr_parse
#define CLASS_ATTR_ATTR_FORMAT class_attr_addattr_format
#define CLASS_ATTR_ATTR_ATOMS class_attr_addattr_atoms

#define CLASS_ATTR_SCALAR_(c, attrname, flags, structname, structmember, typename, ctype)                  \
    {                                                                                                   \
        C74_STATIC_ASSERT(structmembersize(structname, structmember) == sizeof(ctype),                    \
                          "structmember must be " #ctype " type");                                        \
        class_addattr((c), attr_offset_new(attrname, gensym(typename), (flags), (method)0L, (method)0L,  \
                                           calcoffset(structname, structmember)));                       \
    }

#define CLASS_ATTR_CHAR(c, attrname, flags, structname, structmember) \
    CLASS_ATTR_SCALAR_(c, attrname, flags, structname, structmember, "char", char)
#define CLASS_ATTR_LONG(c, attrname, flags, structname, structmember) \
    CLASS_ATTR_SCALAR_(c, attrname, flags, structname, structmember, "long", long)
#define CLASS_ATTR_ATOM_LONG(c, attrname, flags, structname, structmember) \
    CLASS_ATTR_SCALAR_(c, attrname, flags, structname, structmember, "atom_long", t_atom_long)
#define CLASS_ATTR_INT32(c, attrname, flags, structname, structmember) \
    CLASS_ATTR_SCALAR_(c, attrname, flags, structname, structmember, "int32", t_int32)
#define CLASS_ATTR_FLOAT(c, attrname, flags, structname, structmember) \
    CLASS_ATTR_SCALAR_(c, attrname, flags, structname, structmember, "float32", float)
#define CLASS_ATTR_DOUBLE(c, attrname, flags, structname, structmember) \
    CLASS_ATTR_SCALAR_(c, attrname, flags, structname, structmember, "float64", double)
#define CLASS_ATTR_SYM(c, attrname, flags, structname, structmember) \
    CLASS_ATTR_SCALAR_(c, attrname, flags, structname, structmember, "symbol", t_symbol *)
#define CLASS_ATTR_ATOM(c, attrname, flags, structname, structmember) \
    CLASS_ATTR_SCALAR_(c, attrname, flags, structname, structmember, "atom", t_atom)
#define CLASS_ATTR_OBJ(c, attrname, flags, structname, structmember) \
    CLASS_ATTR_SCALAR_(c, attrname, flags, structname, structmember, "object", t_object *)

#define CLASS_ATTR_LONG_ARRAY(c, attrname, flags, structname, structmember, size)                         \
    class_addattr((c), attr_offset_array_new(attrname, gensym("long"), (size), (flags), (method)0L,        \
                                             (method)0L, 0, calcoffset(structname, structmember)))
#define CLASS_ATTR_DOUBLE_ARRAY(c, attrname, flags, structname, structmember, size)                       \
    class_addattr((c), attr_offset_array_new(attrname, gensym("float64"), (size), (flags), (method)0L,     \
                                             (method)0L, 0, calcoffset(structname, structmember)))

#define CLASS_ATTR_ACCESSORS(c, attrname, getter, setter)                                                  \
    {                                                                                                   \
        t_object *theattr = (t_object *)class_attr_get(c, gensym(attrname));                            \
        object_method(theattr, gensym("setmethod"), USESYM(get), getter);                                 \
        object_method(theattr, gensym("setmethod"), USESYM(set), setter);                                 \
    }

#define CLASS_ATTR_FILTER_CLIP(c, attrname, minval, maxval) \
    attr_addfilter_clip(class_attr_get(c, gensym(attrname)), minval, maxval, 1, 1)
#define CLASS_ATTR_FILTER_MIN(c, attrname, minval) \
    attr_addfilter_clip(class_attr_get(c, gensym(attrname)), minval, 0, 1, 0)
#define CLASS_ATTR_FILTER_MAX(c, attrname, maxval) \
    attr_addfilter_clip(class_attr_get(c, gensym(attrname)), 0, maxval, 0, 1)

#define CLASS_ATTR_TYPED_PROPERTY_(c, attrname, propname, flags, parsestr)                                 \
    {                                                                                                   \
        t_object *theattr = (t_object *)class_attr_get(c, gensym(attrname));                            \
        class_attr_addattr_parse(c, attrname, propname, (t_symbol *)object_method(theattr, gensym("gettype")), \
                                 flags, parsestr);                                                      \
    }

#define CLASS_ATTR_MIN(c, attrname, flags, parsestr) CLASS_ATTR_TYPED_PROPERTY_(c, attrname, "min", flags, parsestr)
#define CLASS_ATTR_MAX(c, attrname, flags, parsestr) CLASS_ATTR_TYPED_PROPERTY_(c, attrname, "max", flags, parsestr)
#define CLASS_ATTR_DEFAULT(c, attrname, flags, parsestr) \
    CLASS_ATTR_TYPED_PROPERTY_(c, attrname, "default", flags, parsestr)
#define CLASS_ATTR_DEFAULTNAME(c, attrname, flags, parsestr) \
    CLASS_ATTR_TYPED_PROPERTY_(c, attrname, "defaultname", flags, parsestr)

#define CLASS_ATTR_SAVE(c, attrname, flags) class_attr_addattr_parse(c, attrname, "save", USESYM(long), flags, "1")
#define CLASS_ATTR_SELFSAVE(c, attrname, flags) \
    class_attr_addattr_parse(c, attrname, "selfsave", USESYM(long), flags, "1")
#define CLASS_ATTR_PAINT(c, attrname, flags) class_attr_addattr_parse(c, attrname, "paint", USESYM(long), flags, "1")
#define CLASS_ATTR_INVISIBLE(c, attrname, flags) \
    class_attr_addattr_parse(c, attrname, "invisible", USESYM(long), flags, "1")
#define CLASS_ATTR_BASIC(c, attrname, flags) class_attr_addattr_parse(c, attrname, "basic", USESYM(long), flags, "1")
#define CLASS_ATTR_DONTSAVE(c, attrname, flags) \
    class_attr_addattr_parse(c, attrname, "dontsave", USESYM(long), flags, "1")
#define CLASS_ATTR_ORDER(c, attrname, flags, parsestr) \
    class_attr_addattr_parse(c, attrname, "order", USESYM(long), flags, parsestr)

#define CLASS_ATTR_DEFAULT_SAVE(c, attrname, flags, parsestr) \
    {                                                       \
        CLASS_ATTR_DEFAULT(c, attrname, flags, parsestr);   \
        CLASS_ATTR_SAVE(c, attrname, flags);                \
    }
#define CLASS_ATTR_DEFAULT_PAINT(c, attrname, flags, parsestr) \
    {                                                        \
        CLASS_ATTR_DEFAULT(c, attrname, flags, parsestr);    \
        CLASS_ATTR_PAINT(c, attrname, flags);                \
    }
#define CLASS_ATTR_DEFAULT_SAVE_PAINT(c, attrname, flags, parsestr) \
    {                                                             \
        CLASS_ATTR_DEFAULT(c, attrname, flags, parsestr);         \
        CLASS_ATTR_SAVE(c, attrname, flags);                      \
        CLASS_ATTR_PAINT(c, attrname, flags);                     \
    }
#define CLASS_ATTR_DEFAULTNAME_SAVE(c, attrname, flags, parsestr) \
    {                                                           \
        CLASS_ATTR_DEFAULTNAME(c, attrname, flags, parsestr);   \
        CLASS_ATTR_SAVE(c, attrname, flags);                    \
    }
#define CLASS_ATTR_DEFAULTNAME_PAINT(c, attrname, flags, parsestr) \
    {                                                            \
        CLASS_ATTR_DEFAULTNAME(c, attrname, flags, parsestr);    \
        CLASS_ATTR_PAINT(c, attrname, flags);                    \
    }
#define CLASS_ATTR_DEFAULTNAME_SAVE_PAINT(c, attrname, flags, parsestr) \
    {                                                                 \
        CLASS_ATTR_DEFAULTNAME(c, attrname, flags, parsestr);         \
        CLASS_ATTR_SAVE(c, attrname, flags);                          \
        CLASS_ATTR_PAINT(c, attrname, flags);                         \
    }

#define CLASS_ATTR_STYLE(c, attrname, flags, parsestr) \
    class_attr_addattr_parse(c, attrname, "style", USESYM(symbol), flags, parsestr)
#define CLASS_ATTR_LABEL(c, attrname, flags, labelstr) \
    class_attr_addattr_format(c, attrname, "label", USESYM(symbol), flags, "s", gensym_tr(labelstr))
#define CLASS_ATTR_STYLE_LABEL(c, attrname, flags, stylestr, labelstr)                               \
    {                                                                                              \
        class_attr_addattr_parse(c, attrname, "style", USESYM(symbol), flags, stylestr);            \
        class_attr_addattr_format(c, attrname, "label", USESYM(symbol), flags, "s", gensym_tr(labelstr)); \
    }
#define CLASS_ATTR_CATEGORY(c, attrname, flags, parsestr) \
    class_attr_addattr_parse(c, attrname, "category", USESYM(symbol), flags, str_tr(parsestr))
#define CLASS_ATTR_ENUM(c, attrname, flags, parsestr)                                     \
    {                                                                                   \
        CLASS_ATTR_STYLE(c, attrname, flags, "enum");                                   \
        class_attr_addattr_parse(c, attrname, "enumvals", USESYM(atom), flags, parsestr); \
    }
#define CLASS_ATTR_ENUMINDEX(c, attrname, flags, parsestr)                                \
    {                                                                                   \
        CLASS_ATTR_STYLE(c, attrname, flags, "enumindex");                              \
        class_attr_addattr_parse(c, attrname, "enumvals", USESYM(atom), flags, parsestr); \
    }
#define CLASS_ATTR_ENUMINDEX_N_(c, attrname, flags, n, ...)                                         \
    {                                                                                             \
        const char *theitems[] = {__VA_ARGS__};                                                   \
        t_atom aaa[n];                                                                            \
        long iii;                                                                                 \
        CLASS_ATTR_STYLE(c, attrname, flags, "enumindex");                                        \
        for (iii = 0; iii < n; iii++)                                                             \
            atom_setsym(aaa + iii, gensym_tr(theitems[iii]));                                     \
        class_attr_addattr_atoms(c, attrname, "enumvals", USESYM(atom), flags, n, aaa);           \
    }
#define CLASS_ATTR_ENUMINDEX2(c, a, f, e1, e2) CLASS_ATTR_ENUMINDEX_N_(c, a, f, 2, e1, e2)
#define CLASS_ATTR_ENUMINDEX3(c, a, f, e1, e2, e3) CLASS_ATTR_ENUMINDEX_N_(c, a, f, 3, e1, e2, e3)
#define CLASS_ATTR_ENUMINDEX4(c, a, f, e1, e2, e3, e4) CLASS_ATTR_ENUMINDEX_N_(c, a, f, 4, e1, e2, e3, e4)
#define CLASS_ATTR_ENUMINDEX5(c, a, f, e1, e2, e3, e4, e5) CLASS_ATTR_ENUMINDEX_N_(c, a, f, 5, e1, e2, e3, e4, e5)
#define CLASS_ATTR_ENUMINDEX6(c, a, f, e1, e2, e3, e4, e5, e6) \
    CLASS_ATTR_ENUMINDEX_N_(c, a, f, 6, e1, e2, e3, e4, e5, e6)
#define CLASS_ATTR_ENUMINDEX7(c, a, f, e1, e2, e3, e4, e5, e6, e7) \
    CLASS_ATTR_ENUMINDEX_N_(c, a, f, 7, e1, e2, e3, e4, e5, e6, e7)

#define CLASS_STICKY_ATTR(c, name, flags, parsestr)                                        \
    {                                                                                    \
        t_object *attr = attribute_new_parse(name, NULL, flags, parsestr);               \
        class_sticky(c, gensym("sticky_attr"), gensym(name), attr);                      \
    }
#define CLASS_STICKY_ATTR_CLEAR(c, name) \
    class_sticky_clear(c, gensym("sticky_attr"), name ? gensym(name) : NULL)
#define CLASS_STICKY_CATEGORY(c, flags, name)                                                   \
    {                                                                                         \
        t_object *attr = attribute_new_format("category", NULL, flags, "s", gensym_tr(name)); \
        class_sticky(c, gensym("sticky_attr"), gensym("category"), attr);                     \
    }
#define CLASS_STICKY_CATEGORY_CLEAR(c) class_sticky_clear(c, gensym("sticky_attr"), gensym("category"))
#define CLASS_STICKY_METHOD(c, name, flags, parsestr)                                      \
    {                                                                                    \
        t_object *attr = attribute_new_parse(name, NULL, flags, parsestr);               \
        class_sticky(c, gensym("sticky_method"), gensym(name), attr);                    \
    }
#define CLASS_STICKY_METHOD_CLEAR(c, name) \
    class_sticky_clear(c, gensym("sticky_method"), name ? gensym(name) : NULL)
