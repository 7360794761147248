// Symbols, inlets and outlets, deferred calls and modal dialogs.
#pragma once

#include "ext_mess.h"

BEGIN_USING_C_LINKAGE
t_symbol *gensym(const char *s);
t_symbol *gensym_tr(const char *s);
char *str_tr(const char *s);

void *inlet_new(void *x, const char *s);
void *floatin(void *x, short n);
void *outlet_new(void *x, const char *s);
void *floatout(void *x);
void *listout(void *x);
void *outlet_float(t_outlet *x, double f);
void *outlet_list(t_outlet *x, t_symbol *s, short ac, t_atom *av);
void *outlet_anything(t_outlet *x, t_symbol *s, short ac, t_atom *av);

void *defer_low(void *ob, method fn, t_symbol *sym, short argc, t_atom *argv);

short saveasdialog_extended(char *name, short *vol, t_fourcc *type, t_fourcc *typelist, short numtypes);
long jdialog_showtext(const char *prompt, const char *deftext, long flags, const char **text);
END_USING_C_LINKAGE
