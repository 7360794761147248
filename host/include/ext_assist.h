// Inlet and outlet help.
#pragma once

#include "ext_mess.h"

enum t_assist_function { ASSIST_INLET = 1, ASSIST_OUTLET = 2 };
#define ASSIST_MAX_STRING_LEN 500

BEGIN_USING_C_LINKAGE
void stdinletinfo(t_object *s, void *b, long a, char *t);
END_USING_C_LINKAGE
