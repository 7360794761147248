// Critical regions: mutexes that the thread holding them may enter again.
// A null region is the host's global one.
#pragma once

#include "ext_mess.h"
#ifndef _WIN32
#include <pthread.h>
typedef pthread_mutex_t *t_critical;
#else
typedef struct _critical *t_critical;
#endif

BEGIN_USING_C_LINKAGE
void critical_new(t_critical *x);
void critical_enter(t_critical x);
void critical_exit(t_critical x);
void critical_free(t_critical x);
short critical_tryenter(t_critical x);
END_USING_C_LINKAGE
