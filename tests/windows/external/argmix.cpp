// argmix: a test object whose typed methods take every mix of argument
// types the host's dispatch must place: integers and doubles interleaved,
// doubles first, more than fit in registers, default arguments, symbols, a
// float inlet, and typed creation arguments.  Each method sends what it
// received out of its outlet as "NAME ARG...", so a transcript shows whether
// every value arrived in its place.  Built against the host's headers here
// and, by the Windows check, against the real SDK for Windows x64, whose
// calling convention puts each argument in the register of its position.
#include "ext.h"
#include "ext_obex.h"
#include "win_dll_entry.h"

typedef struct _argmix {
    t_object ob;
    void *out;
    long created_long;
    double created_float;
    t_symbol *created_sym;
} t_argmix;

static t_class *s_argmix_class;

static void argmix_report(t_argmix *x, const char *name, long argc, t_atom *argv)
{
    outlet_anything(x->out, gensym(name), (short)argc, argv);
}

static void argmix_bang(t_argmix *x)
{
    t_atom av[3];
    atom_setlong(av, x->created_long);
    atom_setfloat(av + 1, x->created_float);
    atom_setsym(av + 2, x->created_sym);
    argmix_report(x, "created", 3, av);
}

static void argmix_int(t_argmix *x, long n)
{
    t_atom a;
    atom_setlong(&a, n);
    argmix_report(x, "int", 1, &a);
}

static void argmix_float(t_argmix *x, double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    argmix_report(x, "float", 1, &a);
}

static void argmix_ft1(t_argmix *x, double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    argmix_report(x, "ft1", 1, &a);
}

static void argmix_mixed(t_argmix *x, double a, long b, double c, t_symbol *d, long e, double f, long g)
{
    t_atom av[7];
    atom_setfloat(av, a);
    atom_setlong(av + 1, b);
    atom_setfloat(av + 2, c);
    atom_setsym(av + 3, d);
    atom_setlong(av + 4, e);
    atom_setfloat(av + 5, f);
    atom_setlong(av + 6, g);
    argmix_report(x, "mixed", 7, av);
}

static void argmix_doubles(t_argmix *x, double a, double b, double c, long d)
{
    t_atom av[4];
    atom_setfloat(av, a);
    atom_setfloat(av + 1, b);
    atom_setfloat(av + 2, c);
    atom_setlong(av + 3, d);
    argmix_report(x, "doubles", 4, av);
}

static void argmix_floats(t_argmix *x, double a, double b, double c, double d, double e, double f, double g)
{
    t_atom av[7];
    double v[7] = {a, b, c, d, e, f, g};
    for (int i = 0; i < 7; i++)
        atom_setfloat(av + i, v[i]);
    argmix_report(x, "floats", 7, av);
}

static void argmix_longs(t_argmix *x, long a, long b, long c, long d, long e, long f, long g)
{
    t_atom av[7];
    long v[7] = {a, b, c, d, e, f, g};
    for (int i = 0; i < 7; i++)
        atom_setlong(av + i, v[i]);
    argmix_report(x, "longs", 7, av);
}

static void argmix_typed(t_argmix *x, t_symbol *a, double b, long c, double d)
{
    t_atom av[4];
    atom_setsym(av, a);
    atom_setfloat(av + 1, b);
    atom_setlong(av + 2, c);
    atom_setfloat(av + 3, d);
    argmix_report(x, "typed", 4, av);
}

static void argmix_defaults(t_argmix *x, long a, double b, t_symbol *c)
{
    t_atom av[3];
    atom_setlong(av, a);
    atom_setfloat(av + 1, b);
    atom_setsym(av + 2, c);
    argmix_report(x, "defaults", 3, av);
}

static void *argmix_new(long n, double f, t_symbol *s)
{
    t_argmix *x = (t_argmix *)object_alloc(s_argmix_class);
    if (!x)
        return NULL;
    floatin(x, 1);
    x->out = outlet_new(x, NULL);
    x->created_long = n;
    x->created_float = f;
    x->created_sym = s;
    return x;
}

C74_EXPORT void ext_main(void *r)
{
    (void)r;
    t_class *c = class_new("argmix", (method)argmix_new, (method)NULL, sizeof(t_argmix), (method)NULL, A_DEFLONG,
                           A_DEFFLOAT, A_DEFSYM, 0);
    class_addmethod(c, (method)argmix_bang, "bang", 0);
    class_addmethod(c, (method)argmix_int, "int", A_LONG, 0);
    class_addmethod(c, (method)argmix_float, "float", A_FLOAT, 0);
    class_addmethod(c, (method)argmix_ft1, "ft1", A_FLOAT, 0);
    class_addmethod(c, (method)argmix_mixed, "mixed", A_FLOAT, A_LONG, A_FLOAT, A_SYM, A_LONG, A_FLOAT, A_LONG, 0);
    class_addmethod(c, (method)argmix_doubles, "doubles", A_FLOAT, A_FLOAT, A_FLOAT, A_LONG, 0);
    class_addmethod(c, (method)argmix_floats, "floats", A_FLOAT, A_FLOAT, A_FLOAT, A_FLOAT, A_FLOAT, A_FLOAT,
                    A_FLOAT, 0);
    class_addmethod(c, (method)argmix_longs, "longs", A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, 0);
    class_addmethod(c, (method)argmix_typed, "typed", A_SYM, A_FLOAT, A_LONG, A_DEFFLOAT, 0);
    class_addmethod(c, (method)argmix_defaults, "defaults", A_DEFLONG, A_DEFFLOAT, A_DEFSYM, 0);
    class_register(CLASS_BOX, c);
    s_argmix_class = c;
}
