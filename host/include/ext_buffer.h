// buffer~ access.  Locked samples are 32-bit floats interleaved by frame:
// sample i of channel c is at i * channelcount + c.
#pragma once

#include "ext_mess.h"

typedef struct _buffer_ref t_buffer_ref;
typedef t_object t_buffer_obj;

BEGIN_USING_C_LINKAGE
t_buffer_ref *buffer_ref_new(t_object *self, t_symbol *name);
void buffer_ref_set(t_buffer_ref *x, t_symbol *name);
t_atom_long buffer_ref_exists(t_buffer_ref *x);
t_buffer_obj *buffer_ref_getobject(t_buffer_ref *x);
t_max_err buffer_ref_notify(t_buffer_ref *x, t_symbol *s, t_symbol *msg, void *sender, void *data);
float *buffer_locksamples(t_buffer_obj *buffer_object);
void buffer_unlocksamples(t_buffer_obj *buffer_object);
#ifndef C74_BUFFER_INTERNAL
t_atom_long buffer_getchannelcount(t_buffer_obj *buffer_object);
t_atom_long buffer_getframecount(t_buffer_obj *buffer_object);
t_atom_float buffer_getsamplerate(t_buffer_obj *buffer_object);
t_max_err buffer_setdirty(t_buffer_obj *buffer_object);
#endif
END_USING_C_LINKAGE
