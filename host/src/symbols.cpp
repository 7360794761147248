// Symbols, atoms and memory.
//
// Symbols are interned for the life of the process: one t_symbol per string,
// never freed, so pointer equality is string equality.  The table is guarded
// so that any thread may call gensym.
#include "internal.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

struct mh_symbol_table {
    std::mutex lock;
    std::unordered_map<std::string, t_symbol *> map;
};

mh_symbol_table &symbols()
{
    static mh_symbol_table *table = new mh_symbol_table; // lives until exit
    return *table;
}

} // namespace

t_symbol *gensym(const char *s)
{
    if (!s)
        s = "";
    mh_symbol_table &t = symbols();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.map.find(s);
    if (it != t.map.end())
        return it->second;
    t_symbol *sym = new t_symbol;
    sym->s_name = strdup(s);
    sym->s_thing = nullptr;
    t.map.emplace(sym->s_name, sym);
    return sym;
}

t_symbol *gensym_tr(const char *s) { return gensym(s); }

char *str_tr(const char *s) { return const_cast<char *>(s); }

t_symbol *mh_sym(const std::string &s) { return gensym(s.c_str()); }

t_max_err atom_setlong(t_atom *a, t_atom_long b)
{
    if (!a)
        return MAX_ERR_INVALID_PTR;
    a->a_type = A_LONG;
    a->a_w.w_long = b;
    return MAX_ERR_NONE;
}

t_max_err atom_setfloat(t_atom *a, double b)
{
    if (!a)
        return MAX_ERR_INVALID_PTR;
    a->a_type = A_FLOAT;
    a->a_w.w_float = b;
    return MAX_ERR_NONE;
}

t_max_err atom_setsym(t_atom *a, t_symbol *b)
{
    if (!a)
        return MAX_ERR_INVALID_PTR;
    a->a_type = A_SYM;
    a->a_w.w_sym = b ? b : gensym("");
    return MAX_ERR_NONE;
}

t_atom_long atom_getlong(const t_atom *a)
{
    if (!a)
        return 0;
    switch (a->a_type) {
    case A_LONG:
        return a->a_w.w_long;
    case A_FLOAT:
        return (t_atom_long)a->a_w.w_float;
    case A_SYM:
        return a->a_w.w_sym ? (t_atom_long)strtoll(a->a_w.w_sym->s_name, nullptr, 10) : 0;
    default:
        return 0;
    }
}

t_atom_float atom_getfloat(const t_atom *a)
{
    if (!a)
        return 0;
    switch (a->a_type) {
    case A_LONG:
        return (t_atom_float)a->a_w.w_long;
    case A_FLOAT:
        return a->a_w.w_float;
    case A_SYM:
        return a->a_w.w_sym ? strtod(a->a_w.w_sym->s_name, nullptr) : 0;
    default:
        return 0;
    }
}

t_symbol *atom_getsym(const t_atom *a)
{
    if (a && a->a_type == A_SYM && a->a_w.w_sym)
        return a->a_w.w_sym;
    return gensym("");
}

long atom_gettype(const t_atom *a) { return a ? (long)a->a_type : (long)A_NOTHING; }

t_max_err atom_alloc(long *ac, t_atom **av, char *alloc)
{
    if (!ac || !av)
        return MAX_ERR_INVALID_PTR;
    if (*ac && *av) {
        if (alloc)
            *alloc = 0;
        return MAX_ERR_NONE;
    }
    *av = (t_atom *)sysmem_newptrclear(sizeof(t_atom));
    if (!*av)
        return MAX_ERR_OUT_OF_MEM;
    *ac = 1;
    if (alloc)
        *alloc = 1;
    return MAX_ERR_NONE;
}

std::string mh_atom_to_string(const t_atom &a)
{
    char buf[64];
    switch (a.a_type) {
    case A_LONG:
        snprintf(buf, sizeof buf, "%ld", (long)a.a_w.w_long);
        return buf;
    case A_FLOAT:
        snprintf(buf, sizeof buf, "%g", a.a_w.w_float);
        return buf;
    case A_SYM:
        return a.a_w.w_sym ? a.a_w.w_sym->s_name : "";
    default:
        return "?";
    }
}

t_ptr sysmem_newptr(t_ptr_size size) { return (t_ptr)malloc(size ? size : 1); }

t_ptr sysmem_newptrclear(t_ptr_size size) { return (t_ptr)calloc(1, size ? size : 1); }

void sysmem_freeptr(void *ptr) { free(ptr); }
