// Console output.  Any thread may call these; lines reach the host console.
#pragma once

#include "ext_mess.h"

BEGIN_USING_C_LINKAGE
void post(const char *fmt, ...);
void error(const char *fmt, ...);
void object_post(t_object *x, const char *s, ...);
void object_error(t_object *x, const char *s, ...);
void object_warn(t_object *x, const char *s, ...);
END_USING_C_LINKAGE
